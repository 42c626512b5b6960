// libFuzzer target for the Access file reader: the bytes are a file named
// .mdb. Both halves run in this process here (the program runs the libmdb
// half in a child), so a crash in either shows up: crashes inside libmdb are
// what the child process exists for, crashes in our code are bugs.
#include <sys/mman.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <cstdio>

#include "data/DataError.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetReader.h"

namespace {

int memoryFile(const char* name) { return ::memfd_create(name, 0); }

void writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) return;
    done += std::size_t(n);
  }
}

// Feeds the reader's stream to the mirror builder in uneven pieces.
void buildMirror(int streamFd) {
  QSqlDatabase db = QSqlDatabase::database(QStringLiteral("fuzz"), false);
  if (!db.isValid()) {
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fuzz"));
    db.setDatabaseName(QStringLiteral(":memory:"));
  }
  db.open();
  try {
    Jet::MirrorBuilder builder(db);
    char buffer[7919];
    ::lseek(streamFd, 0, SEEK_SET);
    ssize_t n;
    while ((n = ::read(streamFd, buffer, sizeof buffer)) > 0) builder.feed(buffer, n);
  } catch (const DataError&) {
  }
  db.close();  // a fresh in-memory database for the next input
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int in = memoryFile("input.mdb");
  const int out = memoryFile("stream");
  writeAll(in, data, size);
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", in);
  Jet::streamFile(path, out);
  buildMirror(out);
  ::close(in);
  ::close(out);
  return 0;
}
