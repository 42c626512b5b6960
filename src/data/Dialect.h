#pragma once
#include <QString>

// The SQL dialects the system database can speak. Statements are sent as the
// original writes them; where a database rejects one, the variant lives here.
enum class Dialect { SQLite, PostgreSQL, SQLServer, Other };

namespace Sql {
QString dialectName(Dialect d);
// Savepoints inside a transaction: set, undo back to, and let go of one
// (nothing to send for the last on SQL Server).
QString savepoint(Dialect d, const QString& name);
QString rollbackToSavepoint(Dialect d, const QString& name);
QString releaseSavepoint(Dialect d, const QString& name);
// "column=?" compared without regard to case, as the system's own databases
// compare names (SQL Server's default collation already does; SQLite and
// PostgreSQL compare exactly unless told).
QString equalsIgnoringCase(Dialect d, const QString& column);
// The login's check that a user holds a right, through a role, a group's role
// or directly. The right number is written in; the user name is the one "?".
QString userRightQuery(Dialect d, long rightId);
}  // namespace Sql
