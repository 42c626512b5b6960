#include "JetReaderSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

#include "data/Connection.h"

namespace JetTest {

QString sharedJetDir() {
  const QString dir = QDir::cleanPath(QStringLiteral(CORVINA_SOURCE_DIR) + QStringLiteral("/../shared/jet"));
  return QDir(dir).exists() ? dir : QString();
}

std::shared_ptr<Connection> openForImport(const QString& path) {
  return Connection::openExchangeFile(path, ExchangeAccess::Read);
}

QVector<QVariantList> rows(const QSqlDatabase& db, const QString& sql) {
  QSqlQuery q(db);
  QVector<QVariantList> out;
  if (!q.exec(sql)) return out;
  while (q.next()) {
    QVariantList row;
    for (int i = 0; i < q.record().count(); ++i) row << q.value(i);
    out << row;
  }
  return out;
}

QStringList columnNames(const QSqlDatabase& db, const QString& table) {
  QStringList names;
  const QSqlRecord rec = db.record(table);
  for (int i = 0; i < rec.count(); ++i) names << rec.fieldName(i);
  return names;
}

namespace {
QVector<CsvRow> parseCsv(const QString& text) {
  QVector<CsvRow> out;
  CsvRow row;
  CsvField field;
  bool inQuotes = false;
  bool any = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (inQuotes) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field.text += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        field.text += c;
      }
    } else if (c == '"') {
      inQuotes = true;
      field.quoted = true;
      any = true;
    } else if (c == ',') {
      row << field;
      field = {};
      any = true;
    } else if (c == '\n') {
      row << field;
      out << row;
      row = {};
      field = {};
      any = false;
    } else {
      field.text += c;
      any = true;
    }
  }
  if (any) {
    row << field;
    out << row;
  }
  return out;
}
}  // namespace

QVector<CsvRow> mdbExport(const QString& file, const QString& table) {
  QProcess p;
  p.start(QStringLiteral("mdb-export"),
          {QStringLiteral("-D"), QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("-T"),
           QStringLiteral("%Y-%m-%d %H:%M:%S"), QStringLiteral("-0"), QStringLiteral("NULL"),
           QStringLiteral("-b"), QStringLiteral("hex"), file, table});
  p.waitForFinished(120000);
  return parseCsv(QString::fromUtf8(p.readAllStandardOutput()));
}

int mdbExportRowCount(const QString& file, const QString& table) {
  QProcess p;
  p.start(QStringLiteral("mdb-export"), {QStringLiteral("-0"), QStringLiteral("NULL"), file, table});
  if (!p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  const qsizetype lines = parseCsv(QString::fromUtf8(p.readAllStandardOutput())).size();
  return int(std::max<qsizetype>(lines - 1, 0));  // less the header
}

QStringList mdbTables(const QString& file) {
  QProcess p;
  p.start(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QString writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
  return path;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace JetTest
