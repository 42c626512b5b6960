// libFuzzer target for SQLite-format exchange files opened for an import:
// the bytes are the file. Opening must either succeed with every check passed
// or fail with a DataError; a crash, a hang or a leak is a bug.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>

#include "data/Connection.h"
#include "data/DataError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Other first bytes go to the Access reader, which has a target of its own.
  static const char header[] = "SQLite format 3";
  if (size < sizeof header || std::memcmp(data, header, sizeof header) != 0) return 0;
  // A file with a name of its own: SQLite resolves symbolic links, so a
  // memory file under /proc/self/fd cannot be opened by path.
  static const QString path =
      QDir::tempPath() + QStringLiteral("/exchange-check-fuzz-%1.mdb").arg(QCoreApplication::applicationPid());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
  file.write(reinterpret_cast<const char*>(data), qint64(size));
  file.close();
  try {
    const auto conn = Connection::openExchangeFile(path, ExchangeAccess::Read);
  } catch (const DataError&) {
  }
  return 0;
}
