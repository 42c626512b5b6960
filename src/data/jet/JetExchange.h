#pragma once
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

#include "data/Connection.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetWriter.h"

// Access (Jet 4) exchange files.
namespace Jet {
// True when the first bytes are those of a Jet database header.
bool isJetFile(const QByteArray& head);
// Opens a Jet exchange file as a connection; throws DataError.
std::shared_ptr<Connection> openExchange(const QString& path, ExchangeAccess access,
                                         const QVector<StreamedTable>& streamed = {});

// Removes the working-copy folders earlier runs left in tempFolder when they
// were killed: this program's own (corvina-mirror-<pid>-...), owned by this
// user, unchanged for minimumAge and whose process is gone. Returns how many
// went. Run once per process before its first working copy.
int removeStaleWorkingCopies(const QString& tempFolder, std::chrono::hours minimumAge = std::chrono::hours(6));

// A Jet exchange file opened as a SQLite working copy (a temporary file, so
// memory stays flat however many rows the file holds; unlinked as soon as it
// is open, so that no exit path leaves it behind). Statements run on the
// copy; release() writes the copy back into the file when statements changed
// it.
class JetConnection : public Connection {
 public:
  // Opened for reading, the streamed tables are left out of the working copy
  // and read anew from the file when tableRows asks for them, unless the
  // file does not hold their rows in the order asked for. A statement that
  // names such a table is refused, naming it: it would see no rows.
  JetConnection(const QString& path, ExchangeAccess access, const QVector<StreamedTable>& streamed = {});
  ~JetConnection() override;

  void release() override;
  void transactionStarted() override;
  void transactionEnded(bool committed) override;
  std::unique_ptr<Bulk::RowSource> select(const QString& sql, const QVariantList& params) const override;
  void execute(const QString& sql, const QVariantList& params) override;
  std::unique_ptr<Bulk::RowSource> tableRows(const QString& table, const QString& orderColumn) const override;
  QStringList columnsOf(const QString& table) const override;
  // Inside a transaction on a file open for writing, rows nobody reads back
  // (ReadBack::Never) of a table that is empty in the working copy go
  // straight to the file's pages; they are written with the rest when the
  // transaction is committed and the connection released, and dropped with
  // a rollback. Such a writer must go before its transaction ends. Other
  // rows go into the working copy.
  std::unique_ptr<Bulk::TableWriter> writer(const QString& table, const QStringList& columns,
                                            const QString& keyColumn, Bulk::ReadBack readBack) override;
  void updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                    const std::vector<std::pair<qint32, QString>>& values) override;

  const QString& path() const { return path_; }
  // What the reader learned: version, encryption, tables with index counts.
  const FileFacts& facts() const { return facts_; }
  // True when statements changed the working copy since it was loaded or
  // last written back; changes rolled back do not count.
  bool changed() const;

 private:
  qint64 totalChanges() const;
  void serveFromFile(const TableFacts& table, const QVector<StreamedTable>& streamed);
  std::unique_ptr<Bulk::TableWriter> pageWriter(const QString& table, const QStringList& columns);
  // Raises naming the streamed table the statement names, if any.
  void refuseStreamed(const QString& sql) const;

  QString path_;
  ExchangeAccess access_;
  std::unique_ptr<QTemporaryDir> workDir_;
  FileFacts facts_;
  qint64 savedChanges_ = 0;   // SQLite's change counter when last in step with the file
  bool pendingChanges_ = false;  // committed changes not yet written back
  qint64 changesAtBegin_ = 0;
  // Tables written past the working copy, and whether a transaction that
  // wrote them was committed.
  std::unique_ptr<FileUpdate> update_;
  bool updateCommitted_ = false;
  // Tables served from the file, with what the first reading found of them.
  std::vector<std::pair<StreamedTable, TableFacts>> fromFile_;
};

}  // namespace Jet
