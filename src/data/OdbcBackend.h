#pragma once
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

#include "data/Connection.h"
#include "data/Rows.h"

// Database servers reached through ODBC: SQL Server (FreeTDS) and any other
// server; PostgreSQL builds on this (PostgresBackend). Every statement is
// forward-only and read to its end (or let go) before the next one runs, so
// one connection never has two result sets open. Rows go many to an INSERT
// (within 1,000 rows and 2,100 parameters per statement); a new key comes
// back from the insert itself, one row per statement.
class OdbcConnection : public Connection {
 public:
  OdbcConnection(const QString& connectString, Dialect dialect);

  std::unique_ptr<Bulk::RowSource> select(const QString& sql, const QVariantList& params) const override;
  std::unique_ptr<Bulk::TableWriter> writer(const QString& table, const QStringList& columns,
                                            const QString& keyColumn, Bulk::ReadBack readBack) override;
  void updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                    const std::vector<std::pair<qint32, QString>>& values) override;

  // An INSERT of one row that hands back the new row's keyColumn: OUTPUT
  // INSERTED on SQL Server, RETURNING elsewhere.
  virtual QString insertReturningKey(const QString& table, const QStringList& columns, const QString& keyColumn) const;
};

// What the ODBC backends share about values and single rows.
namespace OdbcRows {
// The QMetaType ids of a table's columns as the driver reports them.
QVector<int> columnTypes(const Connection& conn, const QString& table, const QStringList& columns);
// What a server column of that type is given: text dates and numbers turned
// into the column's type, anything else as it is.
QVariant value(int columnType, const Bulk::Cell& c);
bool isIntegerType(int type);
bool isNumberType(int type);
bool isDateType(int type);

// One row per statement, the prepared statement reused: for rows the caller
// looks up at once, and for new keys that only the insert can tell.
class SingleRows : public Bulk::TableWriter {
 public:
  SingleRows(const OdbcConnection& conn, const QString& table, const QStringList& columns, const QString& keyColumn);
  qint32 add(const Bulk::Row& values) override;
  void flush() override {}

 private:
  const OdbcConnection& conn_;
  QVector<int> types_;
  bool wantKey_;
  QSqlQuery insert_;
};
}  // namespace OdbcRows
