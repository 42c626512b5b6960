#pragma once
#include <QString>

#include <stdexcept>

// A raised error: number, source and description reach the caller unchanged.
class DataError : public std::runtime_error {
 public:
  DataError(int number, QString source, QString description)
      : std::runtime_error(description.toStdString()),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int number() const { return number_; }
  const QString& source() const { return source_; }
  const QString& description() const { return description_; }

  // The source the data access object puts on everything it raises again.
  static inline const QString DataAccessSource = QStringLiteral("DataAccessAPI");
  // ADO's generic "unspecified error" number, for failures without a native number.
  static constexpr int GenericNumber = -2147467259;
  // ADO's "item cannot be found in the collection" for an unknown field name.
  static constexpr int ItemNotFound = 3265;

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

// How the windows and the commands word a raised failure: "发生错误：" with
// the number, then the description.
inline QString failureText(const std::exception& e) {
  const auto* d = dynamic_cast<const DataError*>(&e);
  const int number = d ? d->number() : DataError::GenericNumber;
  const QString description = d ? d->description() : QString::fromUtf8(e.what());
  return QStringLiteral("发生错误：") + QString::number(number) + QStringLiteral("\r\n") + description;
}
