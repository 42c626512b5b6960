#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include <map>
#include <vector>

// Helpers for the writer tests: a mirror shaped like the exchange tables, a
// copy of the template to write into, and the independent readers that check
// what was written, all turning values into the same comparable text.
#include <ostream>

// Readable failure output for compared rows.
inline void PrintTo(const QString& s, std::ostream* os) {
  const QByteArray utf8 = s.toUtf8();
  *os << '"' << (utf8.size() > 80 ? utf8.left(80).toStdString() + "..." : utf8.toStdString()) << '"';
}

namespace JetWriterTest {

using Rows = std::vector<QStringList>;

QString templatePath();  // the Jet template in the source tree

class Workspace {
 public:
  Workspace();
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  QString path(const QString& name) const { return dir_.filePath(name); }
  // A writable copy of the template under name.
  QString copyTemplate(const QString& name = QStringLiteral("course.mdb")) const;
  QSqlDatabase& mirror() { return mirror_; }
  void insert(const QString& table, const QVariantList& values);
  void exec(const QString& sql);
  // The mirror's rows in comparable text, in insertion order.
  Rows expected(const QString& table);

 private:
  QTemporaryDir dir_;
  QString connection_;
  QSqlDatabase mirror_;
};

// Comparable text of a value: NULL, integers, doubles (shortest exact form),
// dates "yyyy-MM-dd HH:mm:ss", text as is. Typed by the exchange schema;
// tables outside it keep their text, numbers in shortest form.
QString nullText();
QString canonical(const QString& table, int column, const QVariant& v);

// Corvina's own reader (the exchange-file backend's loader) over every table.
std::map<QString, Rows> corvinaReader(const QString& file);
// mdb-export (mdbtools) of one table, or an error text in *error.
Rows mdbExport(const QString& file, const QString& table, QString* error);
// mdb-count (mdbtools): the row count the table definition holds.
int mdbCount(const QString& file, const QString& table);
// The npm package mdb-reader over every table; empty map and *skip set when
// node or the package is not available.
std::map<QString, Rows> mdbReader(const QString& file, QString* skip);

QByteArray fileBytes(const QString& file);

// Raw outputs, for comparing a file with its rewritten copy: mdb-export of
// one table, and mdb-reader's JSON of every table (empty, *skip set, when
// node or the package is missing).
QString mdbExportText(const QString& file, const QString& table);
QString mdbReaderJson(const QString& file, QString* skip);
QStringList mdbTables(const QString& file);

}  // namespace JetWriterTest
