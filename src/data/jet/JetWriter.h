#pragma once
#include <QSqlDatabase>
#include <QString>

// Writing rows into Access (Jet 4) exchange files. No library writes Jet files,
// so the pages are written here: data pages, memo (LVAL) pages, usage maps and
// the row counts of the table definitions. Schema changes are not supported;
// the tables must exist in the file already, without indexes.
#include <sys/types.h>

namespace Jet {

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
