#pragma once
#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

#include <optional>

#include "data/ExchangeCheck.h"
#include "data/RowPipeline.h"

// The working copy of an Access (Jet 4) file: its tables loaded into a SQLite
// database under the same table and column names, in the same column order,
// so the engines' statements run on it unchanged.
namespace Jet {

struct TableFacts {
  QString name;
  int indexCount = 0;
  qint64 rows = 0;
};

// What reading a file learned besides its rows.
struct FileFacts {
  quint32 jetVersion = 0;     // libmdb's numbering: 1 = Jet 4
  quint32 encryptionKey = 0;  // 0 when the file is not encrypted
  QVector<TableFacts> tables;
};

// Date/Time values arrive as Access stores them (days since 1899-12-30, the
// fraction the time of day) and are kept as text "yyyy-MM-dd HH:mm:ss".
// Empty when the number is no date Access can hold.
std::optional<QString> dateText(double accessDate);

// Turns the reader's stream into tables and rows on db. The stream may
// arrive in pieces of any size. Throws DataError on a malformed stream or a
// failure the reader reported.
class MirrorBuilder {
 public:
  // With checkedPath, the values of the course tables are checked on the
  // way in as ExchangeCheck::checkCourseValues checks a file, and refused
  // naming that file.
  explicit MirrorBuilder(QSqlDatabase db, QString checkedPath = {});
  ~MirrorBuilder();
  MirrorBuilder(const MirrorBuilder&) = delete;
  MirrorBuilder& operator=(const MirrorBuilder&) = delete;

  void feed(const char* data, qsizetype size);
  // True once the reader said it sent everything.
  bool finished() const { return finished_; }
  const FileFacts& facts() const { return facts_; }

 private:
  struct Column {
    QString name;
    quint8 type = 0;
    quint32 size = 0;
  };
  void handle(quint8 kind, const char* payload, quint32 size);
  [[noreturn]] void refuseIncomplete(const char* payload, quint32 size);
  void startTable(const char* payload, quint32 size);
  void addRow(const char* payload, quint32 size);
  void finish();

  QSqlDatabase db_;
  QByteArray pending_;
  qsizetype consumed_ = 0;
  bool headerSeen_ = false;
  bool finished_ = false;
  bool inTransaction_ = false;
  FileFacts facts_;
  QVector<Column> columns_;
  std::optional<Bulk::SqliteStatement> insert_;
  QString checkedPath_;
  std::optional<ExchangeCheck::RowCheck> check_;
};

// Loads every user table of the Jet file at path into db (an open SQLite
// database without those tables). libmdb reads the file in a child process,
// so a damaged file costs that process, never this one; a reader silent for
// idleTimeoutMs is killed. Values are checked as MirrorBuilder does when
// checkValues. Throws DataError.
constexpr int ReaderIdleTimeoutMs = 20000;
FileFacts loadMirror(const QString& path, QSqlDatabase db, int idleTimeoutMs = ReaderIdleTimeoutMs,
                     bool checkValues = false);

}  // namespace Jet
