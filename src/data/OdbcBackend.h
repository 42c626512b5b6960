#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

#include "data/Connection.h"
#include "data/OdbcStatement.h"
#include "data/Rows.h"

// Database servers reached through ODBC: SQL Server (FreeTDS) and any other
// server; PostgreSQL builds on this (PostgresBackend). Statements go through
// the ODBC interface itself (Odbc::Statement): forward-only, text as wide
// characters, each read to its end or closed before the next one runs. Rows
// go many to an INSERT (within 1,000 rows and 2,100 parameters); a new key
// comes back from the insert itself, one row per statement.
class OdbcConnection : public Connection {
 public:
  OdbcConnection(const QString& connectString, Dialect dialect);

  std::unique_ptr<Bulk::RowSource> select(const QString& sql, const QVariantList& params) const override;
  void execute(const QString& sql, const QVariantList& params) override;
  std::unique_ptr<Bulk::TableWriter> writer(const QString& table, const QStringList& columns,
                                            const QString& keyColumn, Bulk::ReadBack readBack) override;
  void updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                    const std::vector<std::pair<qint32, QString>>& values) override;

  // The connection's ODBC handle, for statements of its own.
  Odbc::Handle handle() const;
  // An INSERT of one row that hands back the new row's keyColumn: OUTPUT
  // INSERTED on SQL Server, RETURNING elsewhere.
  virtual QString insertReturningKey(const QString& table, const QStringList& columns, const QString& keyColumn) const;
  // A statement run once, its parameters bound, its rows (if any) let go.
  void run(const QString& sql, const Bulk::Row& params = {}) const;
  // The first column of the first row of a query (Null when it gives none).
  Bulk::Cell firstValue(const QString& sql, const Bulk::Row& params = {}) const;

 protected:
  void lockImports(const std::function<void()>& waiting, const std::function<void()>& checkCancel) override;
};

// What the ODBC backends share about values and single rows.
namespace OdbcRows {
// How a table's columns take values, as the driver describes them.
std::vector<Odbc::ValueKind> columnKinds(const OdbcConnection& conn, const QString& table, const QStringList& columns);
// Binds a value for a column of that kind: text dates and numbers turned
// into the column's type, anything else as it is.
void bind(Odbc::Statement& statement, int i, Odbc::ValueKind column, const Bulk::Cell& value);
Bulk::Cell cellOf(const QVariant& v);

// One row per statement, the prepared statement reused: for rows the caller
// looks up at once, and for new keys that only the insert can tell.
class SingleRows : public Bulk::TableWriter {
 public:
  SingleRows(const OdbcConnection& conn, const QString& table, const QStringList& columns, const QString& keyColumn);
  qint32 add(const Bulk::Row& values) override;
  void flush() override {}

 private:
  std::vector<Odbc::ValueKind> kinds_;
  bool wantKey_;
  Odbc::Statement insert_;
};
}  // namespace OdbcRows
