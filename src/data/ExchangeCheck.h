#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <QStringView>

#include <chrono>
#include <optional>
#include <vector>

namespace Bulk {
struct Cell;
}
namespace Schema {
struct Column;
}

// Exchange files come from other machines. Before an import uses one, what it
// holds is checked against the exchange schema, so that a wrong value is
// refused with its table, column and row named instead of surfacing halfway
// through an import.
namespace ExchangeCheck {

// Refuses a SQLite-format file holding views, triggers or virtual tables:
// code the import would run without knowing. Throws DataError.
void refuseCode(const QSqlDatabase& db, const QString& path);

// Refuses a SQLite-format file whose committed changes still wait in a
// write-ahead log beside it: read without them it would be stale, and
// merging them would mean writing to another program's file. Throws DataError.
void refuseUnmergedLog(const QString& path);

// Every value of the course tables the file holds must fit its column in the
// exchange schema: whole numbers in range for IDs and integers, numbers for
// reals, text (no longer than the column allows) for text and memo, dates for
// dates. Throws DataError naming the first value that does not.
void checkCourseValues(const QSqlDatabase& db, const QString& path);

// The check of checkCourseValues for one table whose values arrive row by
// row (an Access file's, on their way into its working copy), so that the
// rows need not be read a second time.
class RowCheck {
 public:
  // columns: the table's, in the order the values come. Tables and columns
  // outside the exchange schema are let through.
  RowCheck(const QString& table, const QStringList& columns);
  // Why a value of the current row does not fit its column, in the words of
  // checkCourseValues; empty when it fits.
  std::optional<QString> misfit(int column, const Bulk::Cell& value) const;
  // The same for text that arrives as UTF-16.
  std::optional<QString> misfitText(int column, QStringView text) const;
  // The refusal of a date an Access file holds outside the range Access
  // itself keeps to (a day number, as the file has it).
  std::optional<QString> impossibleDate(int column, double accessDate) const;
  void nextRow() { ++row_; }

 private:
  QString refusal(int column, const QString& why, const QString& value) const;

  QString table_;
  QStringList names_;
  std::vector<const Schema::Column*> columns_;
  qint64 row_ = 1;
};

// What checkCourseValues throws: the file named, then why.
[[noreturn]] void refuse(const QString& path, const QString& text);

// Cuts short any statement on db that keeps SQLite busy for longer than
// limit (time spent running it, not time the caller spends between rows):
// a recursive view or a huge cross join must not run forever. The statement
// then fails as interrupted. Lifts the limit when it goes.
class StatementTimeLimit {
 public:
  StatementTimeLimit(const QSqlDatabase& db, std::chrono::milliseconds limit);
  ~StatementTimeLimit();
  StatementTimeLimit(const StatementTimeLimit&) = delete;
  StatementTimeLimit& operator=(const StatementTimeLimit&) = delete;

 private:
  static int onTrace(unsigned type, void* self, void*, void*);
  static int onProgress(void* self);

  void* handle_ = nullptr;  // sqlite3*, kept opaque so that callers need no sqlite3.h
  std::chrono::nanoseconds limit_;
  std::chrono::nanoseconds busy_{0};
  std::chrono::steady_clock::time_point lastSeen_;
};

}  // namespace ExchangeCheck
