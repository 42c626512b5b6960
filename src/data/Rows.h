#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

class Connection;

// The one way the engine reads and writes rows. A Query reads the rows of a
// statement forward, fields by name or position; a Writer appends rows to one
// table, every insert the engine makes, handing back the new key when asked.
// How either is done is the backend's business (Connection and its kinds:
// SQLite, PostgreSQL, SQL Server and other ODBC servers, Access).
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

// What a backend hands out for a query: the column names, then the rows.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const QStringList& columns() const = 0;
  // The next row; false at the end.
  virtual bool next(Row& row) = 0;
};

// When the rows a writer is given must be visible to statements on the same
// connection.
enum class ReadBack {
  AfterFlush,  // once flush() has run: rows may wait to go many to a statement
  AtOnce,      // as soon as add() returns: the caller looks the table up between rows
  Never,       // not before the connection is released: an Access file takes them into its pages
};

// What a backend does with the rows of one destination table.
class TableWriter {
 public:
  virtual ~TableWriter() = default;
  // The new key when the writer was asked for it, else 0.
  virtual qint32 add(const Row& values) = 0;
  // Writes rows still held and gives reserved keys that were not used back.
  virtual void flush() = 0;
};

// The rows of a statement, read forward. Rows come as the database gives
// them; the statement is let go as soon as the last row has been read.
class Query {
 public:
  explicit Query(std::unique_ptr<RowSource> rows);
  Query(Query&&) noexcept;
  Query& operator=(Query&&) noexcept;
  ~Query();

  const QStringList& columns() const { return names_; }
  int columnCount() const { return int(names_.size()); }
  // Case-insensitive; column() raises a DataError naming the field.
  std::optional<int> findColumn(const QString& name) const;
  int column(const QString& name) const;

  // Moves to the next row (the first on the first call); false at the end.
  bool next();
  // True when the statement gives no row at all; moves to the first row
  // when no row was asked for yet.
  bool empty();
  // The current row's fields; raise a DataError when there is no current row.
  const Row& row() const;
  const Cell& at(int i) const;
  const Cell& at(const QString& name) const { return at(column(name)); }
  QVariant value(int i) const { return at(i).toVariant(); }
  QVariant value(const QString& name) const { return at(column(name)).toVariant(); }

 private:
  std::unique_ptr<RowSource> rows_;
  QStringList names_;
  Row row_;
  bool started_ = false;
  bool onRow_ = false;
  bool any_ = false;
};

// Appends rows to one table, columns in the given order. With a key column,
// add() hands back the key the database gave the new row.
class Writer {
 public:
  Writer(Connection& conn, const QString& table, const QStringList& columns, const QString& keyColumn = {},
         ReadBack readBack = ReadBack::AfterFlush);
  Writer(Writer&&) noexcept;
  ~Writer();

  qint32 add(const Row& values) { return backend_->add(values); }
  // Must be called before the rows are read back or the transaction ends
  // (nothing to do with ReadBack::AtOnce).
  void flush() { backend_->flush(); }

 private:
  std::unique_ptr<TableWriter> backend_;
};

}  // namespace Bulk
