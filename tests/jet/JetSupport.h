#pragma once
// Helpers of the Access file tests: the shared sample files, a mirror shaped
// like the exchange tables to write from, and the independent readers
// (Corvina's own, mdb-export/mdb-count of mdbtools, the npm package
// mdb-reader), all turning values into the same comparable text.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <map>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os) {
  const QByteArray utf8 = s.toUtf8();
  *os << '"' << (utf8.size() > 80 ? utf8.left(80).toStdString() + "..." : utf8.toStdString()) << '"';
}

namespace JetTest {

using Rows = std::vector<QStringList>;

QString shared(const QString& name);  // a file of the shared Access folder
QString templatePath();               // the Jet template in the source tree
QByteArray readFile(const QString& path);
QString writeFile(const QString& path, const QByteArray& bytes);

// An in-memory SQLite database that goes with its owner.
class MemoryDb {
 public:
  MemoryDb();
  ~MemoryDb();
  MemoryDb(const MemoryDb&) = delete;
  MemoryDb& operator=(const MemoryDb&) = delete;
  QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

 private:
  QString name_;
};

// A temporary folder with a mirror holding the exchange tables.
class Workspace {
 public:
  Workspace();
  QString path(const QString& name) const { return dir_.filePath(name); }
  QString copyTemplate(const QString& name = QStringLiteral("course.mdb")) const;
  QSqlDatabase mirror() const { return mirror_.db(); }
  void insert(const QString& table, const QVariantList& values);
  void exec(const QString& sql);
  Rows expected(const QString& table) const { return tableRows(mirror(), table); }
  // Files a write left beside its destination.
  QStringList leftovers() const;
  static Rows tableRows(const QSqlDatabase& db, const QString& table);

 private:
  QTemporaryDir dir_;
  MemoryDb mirror_;
};

// Comparable text of a value: NULL, integers, doubles (shortest exact form),
// dates "yyyy-MM-dd HH:mm:ss", text as is; typed by the exchange schema,
// tables outside it keep their text, numbers in shortest form.
QString nullText();
QString canonical(const QString& table, int column, const QVariant& v);

// Corvina's own reader over every course table.
std::map<QString, Rows> corvinaReader(const QString& file);
// mdb-export of one table, NULL as nullText(), header first when asked;
// throws when it fails. A run longer than a minute counts as no rows (a
// damaged file may make it loop).
Rows mdbExport(const QString& file, const QString& table, bool header = false);
QString mdbExportText(const QString& file, const QString& table, bool header = false);
int mdbCount(const QString& file, const QString& table);
QStringList mdbTables(const QString& file);
// mdb-reader over every table (JSON text, or typed rows); *skip is set when
// node or the package is not available.
QString mdbReaderJson(const QString& file, QString* skip);
std::map<QString, Rows> mdbReader(const QString& file, QString* skip);

}  // namespace JetTest
