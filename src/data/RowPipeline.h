#pragma once
#include <QByteArray>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "data/Dialect.h"

class Connection;
class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// The bulk row path of the export and the import: a reader per source query
// and a writer per destination table, column positions resolved once, values
// carried as the database gave them. SQLite is spoken to through its own
// interface with prepared statements reused for every row or group of rows;
// PostgreSQL gets arrays unnested by the server, other servers multi-row
// INSERT statements; an Access file takes rows straight into its pages, and
// gives its large tables straight from the file. Ordinary queries stay with
// CDataAccess.
namespace Bulk {

// One value: SQLite's storage classes. Text is UTF-8.
struct Cell {
  enum class Kind : quint8 { Null, Int, Real, Text, Blob };
  Kind kind = Kind::Null;
  qint64 i = 0;
  double d = 0;
  QByteArray bytes;

  static Cell integer(qint64 v) { return {Kind::Int, v, 0, {}}; }
  static Cell text(const QString& s) { return {Kind::Text, 0, 0, s.toUtf8()}; }
  static Cell fromVariant(const QVariant& v);
  bool isNull() const { return kind == Kind::Null; }
  // The value as an integer as the original's conversions take it: numbers
  // rounded, numeric text read, anything else 0.
  qint32 toInt() const;
  QString toString() const;
  QVariant toVariant() const;
};
using Row = std::vector<Cell>;

// Where a writer's rows go when a backend has a faster way than statements
// (an Access file's page writer). Rows given to it are not seen by
// statements on the connection before the connection is released.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void add(const Row& values) = 0;
};

// Rows a backend hands out itself for a statement that reads a whole table
// (an Access file's large tables, read anew from the file when wanted).
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const QStringList& columns() const = 0;
  // The next row; false at the end.
  virtual bool next(Row& row) = 0;
};

// Rows the caller never reads back through the connection may take the
// backend's own way into the file.
enum class ReadBack { Needed, NotNeeded };

// A prepared statement on a SQLite connection, run once per row.
class SqliteStatement {
 public:
  SqliteStatement(const QSqlDatabase& db, const QString& sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  void bind(int i, const Cell& c);
  void bindText16(int i, const char16_t* text, int units);
  // Steps once; true while rows come.
  bool step();
  void reset();
  int columnCount() const;
  QString columnName(int i) const;
  void read(int i, Cell& c) const;
  sqlite3* handle() const { return db_; }
  [[noreturn]] void raise() const;

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// The sqlite3 handle under a QSQLITE connection.
sqlite3* sqliteHandle(const QSqlDatabase& db);

class Reader {
 public:
  Reader(const Connection& conn, const QString& sql);
  // The rows a source hands out, as if a statement had read them.
  Reader(const Connection& conn, std::unique_ptr<RowSource> rows);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  const QStringList& columns() const { return names_; }
  // Case-insensitive; raises 3265 as a recordset does when absent.
  int column(const QString& name) const;
  std::optional<int> findColumn(const QString& name) const;
  // Moves to the next row; false at the end.
  bool next();
  const Row& row() const { return row_; }
  const Cell& at(int i) const { return row_[size_t(i)]; }

 private:
  const Connection& conn_;
  std::unique_ptr<RowSource> source_;
  std::unique_ptr<SqliteStatement> sqlite_;
  std::unique_ptr<QSqlQuery> query_;
  QStringList names_;
  Row row_;
};

// Appends rows to one table. With keyColumn, add() hands back the key the
// database generated for the row (SQLite: the rowid; PostgreSQL: numbers
// reserved from the column's sequence in blocks; SQL Server and other
// servers: one statement per row that outputs it). PostgreSQL gets thousands
// of rows per statement as one array per column, unnested by the server: a
// statement of a few parameters costs little to send and to plan however
// many rows it carries.
class Writer {
 public:
  Writer(Connection& conn, const QString& table, const QStringList& columns, const QString& keyColumn = {},
         ReadBack readBack = ReadBack::Needed);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  qint32 add(const Row& values);
  // Writes rows still held for a multi-row statement and gives reserved keys
  // that were not used back; must be called before the rows are read back
  // or the transaction ends.
  void flush();

 private:
  void addSqlite(const Row& values);
  QString sqliteInsert(int rows) const;
  void writeSqliteGroup();
  void insertOne(const Row& values);
  qint32 addSingle(const Row& values);
  void addToArrays(const Row& values, qint32 key);
  void readColumnTypes();
  qint32 reserveKey();
  QString batchStatement(int rows) const;
  QString arrayStatement() const;
  QVariant serverValue(int column, const Cell& c) const;
  void appendElement(QByteArray& array, int column, const Cell& c) const;
  void writeBatch(int rows);
  void writeArrays();
  void returnUnusedKeys();

  const Connection& conn_;
  Dialect dialect_;
  QString table_;
  QStringList columns_;
  QString keyColumn_;
  QVector<int> types_;  // QMetaType ids of the destination columns
  std::unique_ptr<RowSink> sink_;
  std::unique_ptr<SqliteStatement> sqlite_;
  std::unique_ptr<SqliteStatement> sqliteGroup_;
  // Servers: rows waiting for the next multi-row statement; on PostgreSQL
  // held column by column as array literals, one parameter per column.
  int batchRows_ = 0;
  std::vector<Row> pending_;
  std::vector<QByteArray> arrays_;
  int arrayRows_ = 0;
  qsizetype arrayBytes_ = 0;
  QStringList serverTypes_;
  std::unique_ptr<QSqlQuery> arrayInsert_;
  std::unique_ptr<QSqlQuery> fullBatch_;
  std::unique_ptr<QSqlQuery> single_;
  QString sequence_;
  std::vector<qint32> reserved_;
  size_t nextReserved_ = 0;
};

// Sets column to a new text in the rows whose keyColumn holds the paired
// key: one reused statement on SQLite, a few hundred rows per statement on
// PostgreSQL, one reused statement per row elsewhere.
void updateColumn(const Connection& conn, const QString& table, const QString& keyColumn, const QString& column,
                  const std::vector<std::pair<qint32, QString>>& values);

}  // namespace Bulk
