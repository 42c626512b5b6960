#include "data/DataError.h"

namespace {
// Shown and logged since the first version for failures without a number.
constexpr int kUnnumbered = int(0x80004005u);
}  // namespace

int shownErrorNumber(const std::exception& e) {
  const auto* d = dynamic_cast<const DataError*>(&e);
  return d && d->number() != 0 ? d->number() : kUnnumbered;
}

QString failureText(const std::exception& e) {
  const auto* d = dynamic_cast<const DataError*>(&e);
  const QString description = d ? d->description() : QString::fromUtf8(e.what());
  return QStringLiteral("发生错误：") + QString::number(shownErrorNumber(e)) + QStringLiteral("\r\n") + description;
}
