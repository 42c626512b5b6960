#pragma once
#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "data/ExchangeCheck.h"
#include "data/SqliteBackend.h"

// The working copy of an Access (Jet 4) file: its tables loaded into a SQLite
// database under the same table and column names, in the same column order,
// so the engines' statements run on it unchanged.
namespace Jet {

struct TableFacts {
  QString name;
  int indexCount = 0;
  qint64 rows = 0;
  bool stored = true;     // its rows are in the working copy
  bool ascending = true;  // the watched column rose from row to row (MirrorOptions)
};

// What a reading of the file builds.
struct MirrorOptions {
  // Values of the course tables are checked on the way in as
  // ExchangeCheck::checkCourseValues checks a file, refused naming this path.
  QString checkedPath;
  // Tables (lower-case names) whose rows are checked and counted but not
  // stored: a reader takes them whole later (TableStream). Each names a
  // column whose rising order is watched, or none.
  std::map<QString, QString> passOver;
  // Only this table is read; its rows are handed out (takeRow), nothing is
  // stored. Its watched column, if any, is named in passOver.
  QString deliver;
  // Only this table is read, into the working copy's table of that name
  // (an earlier reading created it).
  QString fill;
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
  explicit MirrorBuilder(QSqlDatabase db, MirrorOptions options = {});
  ~MirrorBuilder();
  MirrorBuilder(const MirrorBuilder&) = delete;
  MirrorBuilder& operator=(const MirrorBuilder&) = delete;

  void feed(const char* data, qsizetype size);
  // True once the reader said it sent everything.
  bool finished() const { return finished_; }
  const FileFacts& facts() const { return facts_; }
  // The delivered table's columns once it started, and its rows in order.
  const QStringList& columnNames() const { return columnNames_; }
  std::optional<Bulk::Row> takeRow();

 private:
  struct Column {
    QString name;
    quint8 type = 0;
    quint32 size = 0;
  };
  enum class Mode { Store, PassOver, Deliver, Skip };
  Mode modeOf(const QString& table) const;
  void createTable(const QString& table, const QStringList& definitions, const QStringList& names);
  void watchOrder(TableFacts& table);
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
  std::optional<SqliteStatement> insert_;
  MirrorOptions options_;
  Mode mode_ = Mode::Store;
  QStringList columnNames_;
  std::optional<ExchangeCheck::RowCheck> check_;
  Bulk::Row row_;
  int orderAt_ = -1;
  qint64 lastKey_ = 0;
  std::deque<Bulk::Row> delivered_;
};

// Loads every user table of the Jet file at path into db (an open SQLite
// database without those tables), as options say. libmdb reads the file in a
// child process, so a damaged file costs that process, never this one; a
// reader silent for idleTimeoutMs is killed. Throws DataError.
constexpr int ReaderIdleTimeoutMs = 20000;
FileFacts loadMirror(const QString& path, QSqlDatabase db, int idleTimeoutMs = ReaderIdleTimeoutMs,
                     const MirrorOptions& options = {});

// One table of the Jet file at path read anew, row by row: a table a first
// reading passed over (MirrorOptions::passOver), as that reading found it.
// Its values are checked again, and the rows must be as many as it counted
// and, with orderColumn, still in rising order of that column; otherwise the
// file changed in between and reading it fails.
std::unique_ptr<Bulk::RowSource> readTable(const QString& path, const TableFacts& expected,
                                           const QString& orderColumn, bool checkValues);

}  // namespace Jet
