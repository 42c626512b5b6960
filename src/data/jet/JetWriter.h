#pragma once
#include <QSqlDatabase>
#include <QString>

// Writing rows into Access (Jet 4) exchange files. No library writes Jet files,
// so the pages are written here: data pages, memo (LVAL) pages, usage maps and
// the row counts of the table definitions. Schema changes are not supported;
// the tables must exist in the file already, without indexes.
#include <sys/types.h>

#include <map>
#include <memory>
#include <vector>

class QTemporaryFile;

namespace Jet {

namespace writer {
class PageFile;
class TableWriter;
struct CatalogEntry;
}  // namespace writer

// An Access file being rewritten: a copy of `source` beside `destination`
// whose tables are replaced one by one. The copy replaces `destination` only
// on commit() and is removed if the update is dropped before. Throws
// DataError with a clear text on any failure.
class FileUpdate {
 public:
  FileUpdate(const QString& source, const QString& destination);
  ~FileUpdate();
  FileUpdate(const FileUpdate&) = delete;
  FileUpdate& operator=(const FileUpdate&) = delete;

  // The writer of a table of the file (its name in any case), emptied the
  // first time it is asked for.
  writer::TableWriter& table(const QString& name);
  // Appends the rows of every table of the SQLite database `mirror` to the
  // file's table of that name.
  void appendTables(QSqlDatabase& mirror);
  // Completes every table, saves the copy to disk and renames it over the
  // destination.
  void commit();

 private:
  void appendFrom(QSqlDatabase& mirror, const QString& mirrorTable);

  QString destination_;
  std::unique_ptr<QTemporaryFile> temp_;
  std::unique_ptr<writer::PageFile> file_;
  std::vector<writer::CatalogEntry> catalog_;
  std::map<QString, std::unique_ptr<writer::TableWriter>> tables_;  // by their names in the file
};

// Writes every table of `mirror` into a copy of `source` (the file as it was
// opened), replacing each table's rows, and renames the result over
// `destination` only when complete. Columns are matched by name. Throws
// DataError with a clear text on any failure, leaving `destination` untouched.
void writeBack(const QString& source, const QString& destination, QSqlDatabase mirror);

// Why a file cannot be written safely (a table with indexes, encrypted, not
// Jet 4, an .ldb lock beside it, damaged), empty when it can.
QString unwritableReason(const QString& path);
// The mode a new file gets here: 0666 less the umask.
mode_t newFileMode();

}  // namespace Jet
