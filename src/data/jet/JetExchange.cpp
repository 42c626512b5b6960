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

#include <QRegularExpression>

#include "data/DataError.h"
#include "data/SqliteBackend.h"
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
    throw DataError(engineSource, withDetail(QStringLiteral("无法为工作副本建立临时文件夹。"), dir->errorString()));
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
                                         const QVector<StreamedTable>& streamed) {
  return std::make_shared<JetConnection>(path, access, streamed);
}

JetConnection::JetConnection(const QString& path, ExchangeAccess access, const QVector<StreamedTable>& streamed)
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
    for (const StreamedTable& read : streamed) options.passOver[read.table.toLower()] = read.orderColumn;
  }
  facts_ = loadMirror(path, database(), ReaderIdleTimeoutMs, options);
  for (const TableFacts& table : std::as_const(facts_.tables))
    if (!table.stored) serveFromFile(table, streamed);
  savedChanges_ = totalChanges();
}

// A table the file holds out of the order asked for is read into the
// working copy after all, where a statement sorts it.
void JetConnection::serveFromFile(const TableFacts& table, const QVector<StreamedTable>& streamed) {
  if (!table.ascending) {
    MirrorOptions fill;
    fill.checkedPath = path_;
    fill.fill = table.name;
    loadMirror(path_, database(), ReaderIdleTimeoutMs, fill);
    return;
  }
  for (const StreamedTable& read : streamed)
    if (read.table.compare(table.name, Qt::CaseInsensitive) == 0) fromFile_.emplace_back(read, table);
}

void JetConnection::refuseStreamed(const QString& sql) const {
  for (const auto& [read, table] : fromFile_) {
    const QRegularExpression named(QStringLiteral("(^|[^A-Za-z0-9_])") + QRegularExpression::escape(table.name) +
                                       QStringLiteral("($|[^A-Za-z0-9_])"),
                                   QRegularExpression::CaseInsensitiveOption);
    if (named.match(sql).hasMatch())
      throw DataError(engineSource, QStringLiteral("Table %1 is read from the Access file only as a whole; "
                                                   "the statement naming it is refused: %2").arg(table.name, sql));
  }
}

std::unique_ptr<Bulk::RowSource> JetConnection::select(const QString& sql, const QVariantList& params) const {
  refuseStreamed(sql);
  return SqliteRows::select(database(), sql, params);
}

void JetConnection::execute(const QString& sql, const QVariantList& params) {
  refuseStreamed(sql);
  Connection::execute(sql, params);
}

std::unique_ptr<Bulk::RowSource> JetConnection::tableRows(const QString& table, const QString& orderColumn) const {
  for (const auto& [read, facts] : fromFile_) {
    if (read.table.compare(table, Qt::CaseInsensitive) != 0) continue;
    if (read.orderColumn.compare(orderColumn, Qt::CaseInsensitive) != 0)
      throw DataError(engineSource, QStringLiteral("Table %1 is read from the Access file in the order of '%2' only.")
                                        .arg(facts.name, read.orderColumn));
    return readTable(path_, facts, read.orderColumn, true);
  }
  return Connection::tableRows(table, orderColumn);
}

// A streamed table is still there, empty, in the working copy.
QStringList JetConnection::columnsOf(const QString& table) const {
  return SqliteRows::select(database(), QStringLiteral("select * from %1 where 1=0").arg(table), {})->columns();
}

void JetConnection::updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                                 const std::vector<std::pair<qint32, QString>>& values) {
  refuseStreamed(table);
  SqliteRows::updateColumn(database(), table, keyColumn, column, values);
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
class PageRows : public Bulk::TableWriter {
 public:
  PageRows(writer::TableWriter& table, const QString& name, const QStringList& columns)
      : table_(table), name_(name) {
    table_.bindColumns(columns);
  }
  qint32 add(const Bulk::Row& row) override {
    try {
      table_.append(row);
    } catch (const DataError& e) {
      throw DataError(e.number(), e.source(), QStringLiteral("表 %1：%2").arg(name_, e.description()));
    }
    return 0;
  }
  void flush() override {}

 private:
  writer::TableWriter& table_;
  QString name_;
};

bool isEmptyTable(const QSqlDatabase& db, const QString& table) {
  QString quoted = table;
  quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
  SqliteStatement q(db, QStringLiteral("SELECT 1 FROM \"%1\" LIMIT 1").arg(quoted));
  return !q.step();
}

}  // namespace

std::unique_ptr<Bulk::TableWriter> JetConnection::writer(const QString& table, const QStringList& columns,
                                                         const QString& keyColumn, Bulk::ReadBack readBack) {
  refuseStreamed(table);
  if (readBack == Bulk::ReadBack::Never && keyColumn.isEmpty())
    if (auto pages = pageWriter(table, columns)) return pages;
  return SqliteRows::writer(database(), table, columns, keyColumn, readBack);
}

// Only while the rows can still be dropped whole: inside the transaction
// that first wrote past the working copy. Later ones take the working copy.
std::unique_ptr<Bulk::TableWriter> JetConnection::pageWriter(const QString& table, const QStringList& columns) {
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
