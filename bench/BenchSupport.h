#pragma once
// What the benchmark commands share: memory figures from /proc and the row
// count of an exchange file.
#include <QByteArray>
#include <QFile>
#include <QString>

#include "data/CDataAccess.h"
#include "data/Schema.h"

namespace Bench {

// A "VmRSS:"/"VmHWM:"-style field of /proc/self/status in kB, -1 when unknown.
inline long statusKb(const QByteArray& key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
  return -1;
}

// Lets VmHWM start again from the current resident size.
inline void resetPeakRss() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

inline QString sqliteConnect(const QString& file) { return QStringLiteral("Driver=SQLite3;Database=") + file; }

// Rows of the fifteen course tables of an exchange file.
inline qint64 rowsIn(const QString& exchangeFile) {
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenExchangeFile(exchangeFile, ExchangeAccess::Read);
  qint64 rows = 0;
  for (const QString& table : Schema::courseTableNames()) {
    RecordsetPtr rs;
    dal.GetConnectedRecordset(QStringLiteral("select count(*) from ") + table, rs);
    rows += rs->Value(0).toLongLong();
  }
  return rows;
}

}  // namespace Bench
