#pragma once
#include <QString>

#include <stdexcept>

// A raised error: what failed (a driver, a file, a step of the program), the
// words the database or the program gave, and the database's own error
// number when it gave one (0 otherwise). They reach the caller unchanged.
class DataError : public std::runtime_error {
 public:
  DataError(QString source, QString description) : DataError(0, std::move(source), std::move(description)) {}
  DataError(int number, QString source, QString description)
      : std::runtime_error(description.toStdString()),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int number() const { return number_; }
  const QString& source() const { return source_; }
  const QString& description() const { return description_; }

 private:
  int number_;
  QString source_;
  QString description_;
};

// A database driver's or library's own words reach the user only as the
// detail after the program's sentence, which says what failed.
inline QString withDetail(const QString& sentence, const QString& detail) {
  return detail.trimmed().isEmpty() ? sentence : sentence + QStringLiteral("\r\n详细信息：") + detail.trimmed();
}

// The number the error log and the messages show for a failure: the
// database's own, else the one the system has always shown for a failure
// that brings no number of its own.
int shownErrorNumber(const std::exception& e);

// How the windows and the commands word a raised failure: "发生错误：" with
// the number, then the description.
QString failureText(const std::exception& e);
