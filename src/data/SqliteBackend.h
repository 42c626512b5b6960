#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <memory>

#include "data/Connection.h"
#include "data/Rows.h"

struct sqlite3;
struct sqlite3_stmt;
namespace ExchangeCheck {
class StatementTimeLimit;
}

// SQLite: the embedded or offline system database, SQLite-format exchange
// files, and the working copy of an Access file. Rows are read and written
// through SQLite's own interface on the handle Qt opened, with prepared
// statements reused for every row or group of rows.

// A prepared statement on a SQLite connection.
class SqliteStatement {
 public:
  SqliteStatement(const QSqlDatabase& db, const QString& sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  void bind(int i, const Bulk::Cell& c);
  void bindText16(int i, const char16_t* text, int units);
  // Steps once; true while rows come.
  bool step();
  void reset();
  int columnCount() const;
  QString columnName(int i) const;
  void read(int i, Bulk::Cell& c) const;
  sqlite3* handle() const { return db_; }
  [[noreturn]] void raise() const;

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// The sqlite3 handle under a QSQLITE connection.
sqlite3* sqliteHandle(const QSqlDatabase& db);

// The row interface on any connection whose database is SQLite (an Access
// file's working copy uses it too).
namespace SqliteRows {
std::unique_ptr<Bulk::RowSource> select(const QSqlDatabase& db, const QString& sql, const QVariantList& params);
std::unique_ptr<Bulk::TableWriter> writer(const QSqlDatabase& db, const QString& table, const QStringList& columns,
                                          const QString& keyColumn, Bulk::ReadBack readBack);
void updateColumn(const QSqlDatabase& db, const QString& table, const QString& keyColumn, const QString& column,
                  const std::vector<std::pair<qint32, QString>>& values);
}  // namespace SqliteRows

// A plain SQLite file: the embedded or offline system database, or a
// SQLite-format exchange file.
class SqliteConnection : public Connection {
 public:
  // readOnly: a file from elsewhere that this program must not change and
  // whose statements run under a time limit.
  SqliteConnection(const QString& connectString, const QString& path, bool exchange, bool readOnly = false);
  ~SqliteConnection() override;

  std::unique_ptr<Bulk::RowSource> select(const QString& sql, const QVariantList& params) const override;
  std::unique_ptr<Bulk::TableWriter> writer(const QString& table, const QStringList& columns,
                                            const QString& keyColumn, Bulk::ReadBack readBack) override;
  void updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                    const std::vector<std::pair<qint32, QString>>& values) override;

 private:
  std::unique_ptr<ExchangeCheck::StatementTimeLimit> timeLimit_;
};
