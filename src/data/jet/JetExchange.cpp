#include "data/jet/JetExchange.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <mutex>

#include "data/DataError.h"
#include "data/jet/JetWriter.h"
#include "data/jet/JetWriterRows.h"

namespace Jet {
namespace {

const QString engineSource = QStringLiteral("Microsoft JET Database Engine");

const QString workDirPrefix = QStringLiteral("corvina-mirror-");

std::unique_ptr<QTemporaryDir> makeWorkDir() {
  static std::once_flag staleRemoved;
  std::call_once(staleRemoved, [] { removeStaleWorkingCopies(QDir::tempPath()); });
  auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + '/' + workDirPrefix +
                                             QString::number(QCoreApplication::applicationPid()) +
                                             QStringLiteral("-XXXXXX"));
  if (!dir->isValid())
    throw DataError(DataError::GenericNumber, engineSource,
                    withDetail(QStringLiteral("无法为工作副本建立临时文件夹。"), dir->errorString()));
  return dir;
}

bool processGone(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

}  // namespace

int removeStaleWorkingCopies(const QString& tempFolder, std::chrono::hours minimumAge) {
  const QDateTime before = QDateTime::currentDateTime().addSecs(-std::chrono::seconds(minimumAge).count());
  int removed = 0;
  const QFileInfoList entries =
      QDir(tempFolder).entryInfoList({workDirPrefix + '*'}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QFileInfo& entry : entries) {
    // corvina-mirror-<pid>-XXXXXX
    bool isNumber = false;
    const qint64 pid = entry.fileName().mid(workDirPrefix.size()).section('-', 0, 0).toLongLong(&isNumber);
    if (!isNumber || entry.isSymLink() || entry.ownerId() != ::getuid() || entry.lastModified() > before ||
        !processGone(pid))
      continue;
    if (QDir(entry.filePath()).removeRecursively()) ++removed;
  }
  return removed;
}

bool isJetFile(const QByteArray& head) {
  return head.size() >= 0x15 && head.mid(4, 15) == QByteArrayLiteral("Standard Jet DB");
}

std::shared_ptr<Connection> openExchange(const QString& path, ExchangeAccess access,
                                         const QVector<WholeTableRead>& wholeTables) {
  return std::make_shared<JetConnection>(path, access, wholeTables);
}

JetConnection::JetConnection(const QString& path, ExchangeAccess access, const QVector<WholeTableRead>& wholeTables)
    : Connection(path, Dialect::SQLite, true), path_(path), access_(access), workDir_(makeWorkDir()) {
  // The copy is private to this connection: no other process shares it, so
  // it needs neither a journal on disk nor syncing.
  const QString file = workDir_->filePath(QStringLiteral("mirror.db"));
  openDatabase(QStringLiteral("QSQLITE"), file, QString());
  QSqlQuery pragma(database());
  pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
  // With the journal in memory SQLite never opens the file by name again: it
  // goes from the folder at once, and a run that is killed leaves nothing.
  const bool journalInMemory = pragma.exec(QStringLiteral("PRAGMA journal_mode=MEMORY")) && pragma.next() &&
                               pragma.value(0).toString().compare(QLatin1String("memory"), Qt::CaseInsensitive) == 0;
  pragma.finish();
  if (journalInMemory && QFile::remove(file)) workDir_->remove();
  // An import gets the same check of values as from a SQLite-format file,
  // made as the rows arrive.
  MirrorOptions options;
  if (access == ExchangeAccess::Read) {
    options.checkedPath = path;
    for (const WholeTableRead& read : wholeTables) options.passOver[read.table.toLower()] = read.orderColumn;
  }
  facts_ = loadMirror(path, database(), ReaderIdleTimeoutMs, options);
  for (const TableFacts& table : std::as_const(facts_.tables))
    if (!table.stored) serveFromFile(table, wholeTables);
  savedChanges_ = totalChanges();
}

// A table the file holds out of the order its statement asks for is read
// into the working copy after all, where the statement sorts it.
void JetConnection::serveFromFile(const TableFacts& table, const QVector<WholeTableRead>& wholeTables) {
  if (!table.ascending) {
    MirrorOptions fill;
    fill.checkedPath = path_;
    fill.fill = table.name;
    loadMirror(path_, database(), ReaderIdleTimeoutMs, fill);
    return;
  }
  for (const WholeTableRead& read : wholeTables)
    if (read.table.compare(table.name, Qt::CaseInsensitive) == 0) fromFile_.emplace_back(read, table);
}

std::unique_ptr<Bulk::RowSource> JetConnection::rowsOf(const QString& statement) const {
  for (const auto& [read, table] : fromFile_)
    if (read.statement == statement) return readTable(path_, table, read.orderColumn, true);
  return nullptr;
}

JetConnection::~JetConnection() = default;

qint64 JetConnection::totalChanges() const {
  QSqlQuery q(database());
  if (!q.exec(QStringLiteral("SELECT total_changes()")) || !q.next()) raise(q.lastError());
  return q.value(0).toLongLong();
}

bool JetConnection::changed() const {
  return pendingChanges_ || updateCommitted_ || (!inTransaction() && totalChanges() != savedChanges_);
}

// SQLite counts rolled-back changes too, so the counter is checked at the
// transaction's edges: a failed export leaves the file byte-for-byte as it was.
void JetConnection::transactionStarted() {
  if (totalChanges() != savedChanges_) pendingChanges_ = true;
  changesAtBegin_ = totalChanges();
}

void JetConnection::transactionEnded(bool committed) {
  if (committed && totalChanges() != changesAtBegin_) pendingChanges_ = true;
  savedChanges_ = totalChanges();
  if (update_ && !updateCommitted_) {
    if (committed)
      updateCommitted_ = true;
    else
      update_.reset();
  }
}

namespace {

// Rows handed to one table of a file update.
class PageRows : public Bulk::RowSink {
 public:
  PageRows(writer::TableWriter& table, const QString& name, const QStringList& columns)
      : table_(table), name_(name) {
    table_.bindColumns(columns);
  }
  void add(const Bulk::Row& row) override {
    try {
      table_.append(row);
    } catch (const DataError& e) {
      throw DataError(e.number(), e.source(), QStringLiteral("表 %1：%2").arg(name_, e.description()));
    }
  }

 private:
  writer::TableWriter& table_;
  QString name_;
};

bool isEmptyTable(const QSqlDatabase& db, const QString& table) {
  QString quoted = table;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  Bulk::SqliteStatement q(db, QStringLiteral("SELECT 1 FROM \"%1\" LIMIT 1").arg(quoted));
  return !q.step();
}

}  // namespace

// Only while the rows can still be dropped whole: inside the transaction
// that first wrote past the working copy. Later ones take the working copy.
std::unique_ptr<Bulk::RowSink> JetConnection::directRows(const QString& table, const QStringList& columns) {
  if (access_ == ExchangeAccess::Read || !inTransaction() || updateCommitted_ || !isEmptyTable(database(), table))
    return nullptr;
  if (!update_) update_ = std::make_unique<FileUpdate>(path_, path_);
  return std::make_unique<PageRows>(update_->table(table), table, columns);
}

// Tables written past the working copy keep what they were given; the
// others are written from the copy.
void JetConnection::release() {
  if (access_ == ExchangeAccess::Read || !changed()) return;
  const std::unique_ptr<FileUpdate> update = update_ ? std::move(update_) : std::make_unique<FileUpdate>(path_, path_);
  updateCommitted_ = false;
  QSqlDatabase mirror = database();
  update->appendTables(mirror);
  update->commit();
  savedChanges_ = totalChanges();
  pendingChanges_ = false;
}

}  // namespace Jet
