#pragma once
#include <QSqlDatabase>
#include <QString>

#include <chrono>

// Exchange files come from other machines. Before an import uses one, what it
// holds is checked against the exchange schema, so that a wrong value is
// refused with its table, column and row named instead of surfacing halfway
// through an import.
namespace ExchangeCheck {

// Refuses a SQLite-format file holding views, triggers or virtual tables:
// code the import would run without knowing. Throws DataError.
void refuseCode(const QSqlDatabase& db, const QString& path);

// Every value of the course tables the file holds must fit its column in the
// exchange schema: whole numbers in range for IDs and integers, numbers for
// reals, text (no longer than the column allows) for text and memo, dates for
// dates. Throws DataError naming the first value that does not.
void checkCourseValues(const QSqlDatabase& db, const QString& path);

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
