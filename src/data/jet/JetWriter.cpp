#include "data/jet/JetWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/DataError.h"
#include "data/SqliteBackend.h"
#include "data/jet/JetPageFile.h"
#include "data/jet/JetPageTable.h"
#include "data/jet/JetWriterRows.h"

namespace Jet {

namespace {

using namespace writer;

constexpr int VersionOffset = 0x14;
constexpr quint8 Jet4Version = 0x01;
constexpr int MaskedRegion = 0x18;
constexpr int EncryptionKeyOffset = 0x3E;
constexpr qint64 CopyChunk = 1 << 20;

// Page 0 hides 128 bytes under a fixed RC4 keystream (key C7 DA 39 6B).
std::array<quint8, 128> headerMask() {
  std::array<quint8, 256> s{};
  for (int i = 0; i < 256; ++i) s[size_t(i)] = quint8(i);
  const quint8 key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[size_t(i)] + key[i % 4]) & 0xFF;
    std::swap(s[size_t(i)], s[size_t(j)]);
  }
  std::array<quint8, 128> out{};
  for (int n = 0, i = 0, j = 0; n < 128; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[size_t(i)]) & 0xFF;
    std::swap(s[size_t(i)], s[size_t(j)]);
    out[size_t(n)] = s[size_t((s[size_t(i)] + s[size_t(j)]) & 0xFF)];
  }
  return out;
}

QString headerProblem(const QByteArray& page0, qint64 fileSize) {
  if (page0.size() < PageSize || page0.mid(4, 15) != QByteArrayLiteral("Standard Jet DB"))
    return QStringLiteral("它不是 Access 数据库");
  if (quint8(page0[VersionOffset]) != Jet4Version)
    return QStringLiteral("它不是 Access 2000-2003 (Jet 4) 格式");
  if (fileSize % PageSize != 0 || fileSize < 3 * PageSize) return QStringLiteral("文件已损坏（页不完整）");
  const std::array<quint8, 128> mask = headerMask();
  quint32 key = 0;
  for (int i = 0; i < 4; ++i) {
    const int at = EncryptionKeyOffset + i;
    key |= quint32(quint8(page0[at]) ^ mask[size_t(at - MaskedRegion)]) << (8 * i);
  }
  if (key != 0) return QStringLiteral("数据库已加密");
  return {};
}

QString lockFileOf(const QString& path) {
  const QFileInfo info(path);
  const QDir dir = info.absoluteDir();
  for (const QString& suffix : {QStringLiteral(".ldb"), QStringLiteral(".LDB")}) {
    const QString lock = dir.filePath(info.completeBaseName() + suffix);
    if (QFileInfo::exists(lock)) return lock;
  }
  return {};
}

QString lockProblem(const QString& path) {
  const QString lock = lockFileOf(path);
  return lock.isEmpty() ? QString()
                        : QStringLiteral("它正在 Access 中打开（锁定文件 %1 存在）").arg(QDir::toNativeSeparators(lock));
}

QString indexProblem(PageFile& file) {
  for (const CatalogEntry& e : readCatalog(file)) {
    if (e.system) continue;
    // The counts alone decide; the rest of the definition need not make sense.
    const QByteArray tdef = file.readPage(e.tdefPage);
    if (quint8(tdef[0]) != TdefPage) return QStringLiteral("文件已损坏（表 %1）").arg(e.name);
    if (u32(tdef, 47) > 0 || u32(tdef, 51) > 0)
      return QStringLiteral("表 %1 有索引，本程序不能同时更新索引").arg(e.name);
  }
  return {};
}

[[noreturn]] void refuse(const QString& path, const QString& reason) {
  fail(QStringLiteral("不能写入 '%1'：%2。").arg(QDir::toNativeSeparators(path), reason));
}

void copyInto(const QString& source, QFile& target) {
  QFile in(source);
  if (!in.open(QIODevice::ReadOnly)) refuse(source, in.errorString());
  while (!in.atEnd()) {
    const QByteArray chunk = in.read(CopyChunk);
    if (chunk.isEmpty() && in.error() != QFile::NoError) refuse(source, in.errorString());
    if (target.write(chunk) != chunk.size()) refuse(target.fileName(), target.errorString());
  }
}

const CatalogEntry& findTable(const std::vector<CatalogEntry>& catalog, const QString& name) {
  for (const CatalogEntry& e : catalog)
    if (!e.system && e.name.compare(name, Qt::CaseInsensitive) == 0) return e;
  fail(QStringLiteral("文件中没有表 %1。").arg(name));
}

}  // namespace

// 0666 less the umask. The umask is read, not set and restored: another
// thread creating a file meanwhile would get the wrong mode.
mode_t newFileMode() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
      if (!line.startsWith("Umask:")) continue;
      bool ok = false;
      const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
      if (ok) return 0666 & ~mask;
    }
  }
  return 0644;
}

namespace {

// Makes the rename itself survive a power cut.
void syncFolderOf(const QString& path) {
  const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
  const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void replaceDestination(QTemporaryFile& temp, const QString& destination) {
  if (::fsync(temp.handle()) != 0) refuse(destination, QStringLiteral("新文件不能存到磁盘上"));
  // The new file keeps the mode of the one it replaces; a file that is new
  // gets what any new file gets (the temporary file starts as 0600).
  struct stat old {};
  const QByteArray path = QFile::encodeName(destination);
  ::fchmod(temp.handle(), ::stat(path.constData(), &old) == 0 ? old.st_mode & 07777 : newFileMode());
  if (std::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(destination).constData()) != 0)
    refuse(destination, QStringLiteral("新文件不能替换它（%1）").arg(QString::fromLocal8Bit(strerror(errno))));
  temp.setAutoRemove(false);
  syncFolderOf(destination);
}

}  // namespace

QString unwritableReason(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return f.errorString();
  const QString header = headerProblem(f.read(PageSize), f.size());
  if (!header.isEmpty()) return header;
  const QString lock = lockProblem(path);
  if (!lock.isEmpty()) return lock;
  try {
    PageFile file(f);
    return indexProblem(file);
  } catch (const DataError& e) {
    return QStringLiteral("文件已损坏（%1）").arg(e.description());
  }
}

FileUpdate::FileUpdate(const QString& source, const QString& destination) : destination_(destination) {
  for (const QString& path : {source, destination}) {
    if (path != source && !QFileInfo::exists(path)) continue;
    const QString reason = path == source ? unwritableReason(path) : lockProblem(path);
    if (!reason.isEmpty()) refuse(destination, reason);
  }
  const QFileInfo target(destination);
  temp_ = std::make_unique<QTemporaryFile>(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
  if (!temp_->open()) refuse(destination, temp_->errorString());
  copyInto(source, *temp_);
  file_ = std::make_unique<PageFile>(*temp_);
  catalog_ = readCatalog(*file_);
}

FileUpdate::~FileUpdate() = default;

TableWriter& FileUpdate::table(const QString& name) {
  const CatalogEntry& entry = findTable(catalog_, name);
  std::unique_ptr<TableWriter>& writer = tables_[entry.name];
  if (!writer) {
    writer = std::make_unique<TableWriter>(*file_, readTableDef(*file_, entry.tdefPage));
    writer->empty();
  }
  return *writer;
}

void FileUpdate::appendFrom(QSqlDatabase& mirror, const QString& mirrorTable) {
  TableWriter& writer = table(mirrorTable);
  QString quoted = mirrorTable;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  try {
    SqliteStatement query(mirror, QStringLiteral("SELECT * FROM \"%1\"").arg(quoted));
    const int count = query.columnCount();
    QStringList names;
    for (int i = 0; i < count; ++i) names << query.columnName(i);
    writer.bindColumns(names);
    Bulk::Row row(static_cast<size_t>(count));
    while (query.step()) {
      for (int i = 0; i < count; ++i) query.read(i, row[size_t(i)]);
      writer.append(row);
    }
  } catch (const DataError& e) {
    if (e.source() != QLatin1String("QSQLITE")) throw;
    fail(QStringLiteral("表 %1 不能读取：%2").arg(mirrorTable, e.description()));
  }
}

void FileUpdate::commit() {
  for (const auto& [name, writer] : tables_) {
    try {
      writer->finish();
    } catch (const DataError& e) {
      fail(QStringLiteral("表 %1：%2").arg(name, e.description()));
    }
  }
  file_->flush();
  replaceDestination(*temp_, destination_);
}

void FileUpdate::appendTables(QSqlDatabase& mirror) {
  for (const QString& table : mirror.tables(QSql::Tables)) {
    if (table.startsWith(QLatin1String("sqlite_"))) continue;
    try {
      appendFrom(mirror, table);
    } catch (const DataError& e) {
      fail(QStringLiteral("表 %1：%2").arg(table, e.description()));
    }
  }
}

void writeBack(const QString& source, const QString& destination, QSqlDatabase mirror) {
  FileUpdate update(source, destination);
  update.appendTables(mirror);
  update.commit();
}

}  // namespace Jet
