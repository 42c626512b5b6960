#pragma once
// Helpers of the Access file tests: the shared sample files, a mirror of the
// exchange tables to write from, and three independent readers (Corvina's,
// mdbtools' and the npm package mdb-reader) giving the same comparable text.
#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <map>
#include <vector>

#include "support/TestEnv.h"

namespace JetTest {

using Rows = std::vector<QStringList>;

QString shared(const QString& name);  // a file of the shared Access folder
QString writeFile(const QString& path, const QByteArray& bytes);

// An in-memory SQLite database that goes with its owner.
struct MemoryDb {
  MemoryDb();
  ~MemoryDb();
  QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
  void exec(const QString& sql, const QVariantList& values = {}) const;
  const QString name;
};

// A temporary folder with a copy of the Jet template and a mirror of the exchange tables.
struct Workspace {
  Workspace();
  QString path(const QString& name) const { return dir.filePath(name); }
  void insert(const QString& table, const QVariantList& values) const;
  QStringList leftovers() const;  // files a write left beside its destination
  QTemporaryDir dir;
  MemoryDb mirror;
  QString file;
};

// Values as comparable text, typed by the exchange schema: NULL as "<NULL>",
// numbers in shortest exact form, dates "yyyy-MM-dd HH:mm:ss".
QString canonical(const QString& table, int column, const QVariant& v);
Rows tableRows(const QSqlDatabase& db, const QString& table);

std::map<QString, Rows> corvinaReader(const QString& file);  // the course tables
// mdb-export of one table (header first when asked); throws when it fails.
Rows mdbExport(const QString& file, const QString& table, bool header = false);
int mdbCount(const QString& file, const QString& table);
QStringList mdbTables(const QString& file);
// mdb-reader over every table; a test failure when node or mdb-reader is missing.
std::map<QString, Rows> mdbReader(const QString& file);

}  // namespace JetTest
