// libFuzzer target for SQLite-format exchange files opened for an import:
// the bytes are the file. Opening must either succeed with every check passed
// or fail with a DataError; a crash, a hang or a leak is a bug.
#include <sys/mman.h>
#include <unistd.h>

#include <QString>

#include <cstdint>
#include <cstring>

#include "data/Connection.h"
#include "data/DataError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Other first bytes go to the Access reader, which has a target of its own.
  static const char header[] = "SQLite format 3";
  if (size < sizeof header || std::memcmp(data, header, sizeof header) != 0) return 0;
  const int fd = ::memfd_create("exchange.mdb", 0);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) break;
    done += std::size_t(n);
  }
  try {
    const auto conn = Connection::openExchangeFile(QStringLiteral("/proc/self/fd/%1").arg(fd), ExchangeAccess::Read);
  } catch (const DataError&) {
  }
  ::close(fd);
  return 0;
}
