#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

class Connection;

// Helpers of the Access file reader tests.
namespace JetTest {

// The shared Access files beside the source tree ("<source>/../shared/jet"),
// or an empty string when that folder is missing.
QString sharedJetDir();

// Opens an exchange file the way the import does.
std::shared_ptr<Connection> openForImport(const QString& path);

// Every row of a query, each a list of values.
QVector<QVariantList> rows(const QSqlDatabase& db, const QString& sql);
QStringList columnNames(const QSqlDatabase& db, const QString& table);

// One field of mdb-export's CSV output: text, and whether it was quoted
// (an unquoted NULL marker stands for a NULL value).
struct CsvField {
  QString text;
  bool quoted = false;
};
using CsvRow = QVector<CsvField>;
// Runs mdb-export on a table (dates as "yyyy-MM-dd HH:mm:ss", NULL marked
// "NULL", binary as hex) and parses its output, header row first.
QVector<CsvRow> mdbExport(const QString& file, const QString& table);
QStringList mdbTables(const QString& file);
// Rows mdb-export prints for a table (-1 when it does not finish in time).
int mdbExportRowCount(const QString& file, const QString& table);

// A copy of a file under dir with its bytes changed by edit.
QString writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

}  // namespace JetTest
