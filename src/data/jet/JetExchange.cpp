#include "data/jet/JetExchange.h"

#include <QSqlError>
#include <QSqlQuery>

#include "data/DataError.h"
#include "data/ExchangeCheck.h"
#include "data/jet/JetWriter.h"

namespace Jet {
namespace {

const QString engineSource = QStringLiteral("Microsoft JET Database Engine");

std::unique_ptr<QTemporaryDir> makeWorkDir() {
  auto dir = std::make_unique<QTemporaryDir>();
  if (!dir->isValid())
    throw DataError(DataError::GenericNumber, engineSource,
                    QStringLiteral("No temporary folder for the working copy: %1").arg(dir->errorString()));
  return dir;
}

}  // namespace

bool isJetFile(const QByteArray& head) {
  return head.size() >= 0x15 && head.mid(4, 15) == QByteArrayLiteral("Standard Jet DB");
}

std::shared_ptr<Connection> openExchange(const QString& path, ExchangeAccess access) {
  return std::make_shared<JetConnection>(path, access);
}

JetConnection::JetConnection(const QString& path, ExchangeAccess access)
    : Connection(path, Dialect::SQLite, true), path_(path), access_(access), workDir_(makeWorkDir()) {
  // The copy is private to this connection: no other process shares it, so
  // it needs neither a journal on disk nor syncing.
  openDatabase(QStringLiteral("QSQLITE"), workDir_->filePath(QStringLiteral("mirror.db")), QString());
  QSqlQuery pragma(database());
  pragma.exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
  pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
  facts_ = loadMirror(path, database());
  // The working copy is a SQLite database too: an import gets the same check
  // of values as from a SQLite-format file.
  if (access == ExchangeAccess::Read) ExchangeCheck::checkCourseValues(database(), path);
  savedChanges_ = totalChanges();
}

JetConnection::~JetConnection() = default;

qint64 JetConnection::totalChanges() const {
  QSqlQuery q(database());
  if (!q.exec(QStringLiteral("SELECT total_changes()")) || !q.next()) raise(q.lastError());
  return q.value(0).toLongLong();
}

bool JetConnection::changed() const {
  return pendingChanges_ || (!inTransaction() && totalChanges() != savedChanges_);
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
}

void JetConnection::release() {
  if (access_ == ExchangeAccess::Read || !changed()) return;
  writeBack(path_, path_, database());
  savedChanges_ = totalChanges();
  pendingChanges_ = false;
}

}  // namespace Jet
