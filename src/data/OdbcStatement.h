#pragma once
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

#include "data/Rows.h"

// One statement on an ODBC connection, spoken to through the ODBC interface
// itself so that every server gets what the original's "{SQL Server}" driver
// got: forward-only, read-only cursors (FreeTDS turns anything else into a
// server cursor that only a SELECT may open), text bound as wide characters
// (a narrow parameter is converted to the server's code page and loses every
// character outside it), and at most one result set open on the connection
// (SQL Server keeps one unless MARS is on).
namespace Odbc {

using Handle = void*;

// The column kinds a statement reads values as.
enum class ValueKind { Integer, Real, Text, Date, Other };

class Statement {
 public:
  Statement(Handle connection, const QString& sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters, counted from 0; each kept until the next execute.
  void bind(int i, const Bulk::Cell& value);
  void bindDate(int i, const Bulk::Cell& value);  // text "yyyy-MM-dd HH:mm:ss" or NULL
  // Runs the statement; when it gives rows, they are open until fetch says
  // there are no more or close() is called.
  void execute();
  bool fetch();
  void close();
  bool hasResult() const { return open_; }

  int columnCount() const { return int(names_.size()); }
  const QStringList& columnNames() const { return names_; }
  const std::vector<ValueKind>& columnKinds() const { return kinds_; }
  void read(int column, Bulk::Cell& value);
  qint64 rowsAffected() const;

 private:
  struct Param;
  void check(short result) const;
  void describeColumns();

  Handle stmt_ = nullptr;
  QString sql_;
  bool open_ = false;
  QStringList names_;
  std::vector<ValueKind> kinds_;
  std::deque<Param> params_;
};

}  // namespace Odbc
