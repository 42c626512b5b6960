#include "jet/JetWriterSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUuid>

#include <stdexcept>

#include "data/Schema.h"
#include "data/jet/JetMirror.h"

namespace JetWriterTest {

namespace {

const QString FieldSep = QStringLiteral("\x1f");
const QString RowSep = QStringLiteral("\x1e");
const QString NullMark = QStringLiteral("\x01");

Schema::ColumnType typeOf(const QString& table, int column) {
  const Schema::Table* t = Schema::find(table);
  if (!t || column >= t->columns.size()) throw std::runtime_error("unknown table or column");
  return t->columns[column].type;
}

QString run(const QString& program, const QStringList& args, QString* error,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForStarted(30000)) {
    *error = program + QStringLiteral(" cannot be started");
    return {};
  }
  p.closeWriteChannel();
  p.waitForFinished(-1);
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    *error = program + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError());
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

QString nodeDir() { return QStringLiteral(CORVINA_BINARY_DIR "/node"); }

bool ensureMdbReader(QString* skip) {
  // Tests run in parallel: one installs while the others wait for it.
  QDir().mkpath(nodeDir());
  QLockFile lock(nodeDir() + QStringLiteral("/.install.lock"));
  lock.setStaleLockTime(0);
  lock.lock();
  const QString package = nodeDir() + QStringLiteral("/node_modules/mdb-reader/package.json");
  if (QFile::exists(package)) return true;
  if (QStandardPaths::findExecutable(QStringLiteral("npm")).isEmpty()) {
    *skip = QStringLiteral("npm is not installed: the mdb-reader cross-check is skipped");
    return false;
  }
  QString error;
  run(QStringLiteral("npm"), {QStringLiteral("install"), QStringLiteral("--no-audit"), QStringLiteral("--no-fund"),
                             QStringLiteral("--prefix"), nodeDir(), QStringLiteral("mdb-reader")},
      &error);
  if (!QFile::exists(package)) {
    *skip = QStringLiteral("npm cannot install mdb-reader (registry unreachable?): the cross-check is skipped. ") + error;
    return false;
  }
  return true;
}

const char* const ReaderScript = R"JS(
import { readFileSync } from "fs";
const { default: MDBReader } = await import(process.argv[2]);
const reader = new MDBReader(readFileSync(process.argv[3]));
const out = {};
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  const columns = table.getColumnNames();
  out[name] = table.getData().map((row) =>
    columns.map((c) => {
      const v = row[c];
      if (v === null || v === undefined) return null;
      if (v instanceof Date) return { date: v.toISOString() };
      return v;
    }));
}
process.stdout.write(JSON.stringify(out));
)JS";

QString jsonCanonical(const QString& table, int column, const QJsonValue& v) {
  if (v.isNull()) return nullText();
  if (v.isObject()) {
    QDateTime dt = QDateTime::fromString(v.toObject().value(QStringLiteral("date")).toString(), Qt::ISODateWithMs);
    return dt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  }
  if (v.isDouble()) return canonical(table, column, v.toDouble());
  return canonical(table, column, v.toVariant());
}

}  // namespace

QString templatePath() { return QStringLiteral(CORVINA_SOURCE_DIR "/src/resources/Template.mdb"); }

QString nullText() { return QStringLiteral("<NULL>"); }

QString canonical(const QString& table, int column, const QVariant& v) {
  if (v.isNull()) return nullText();
  const Schema::Table* t = Schema::find(table);
  if (!t || column >= t->columns.size()) {
    // A table outside the exchange schema: numbers in their shortest form.
    const bool number = v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
    return number ? QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest) : v.toString();
  }
  switch (typeOf(table, column)) {
    case Schema::ColumnType::Id:
    case Schema::ColumnType::Int:
    case Schema::ColumnType::Small: return QString::number(qint64(v.toDouble()));
    case Schema::ColumnType::Real: return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case Schema::ColumnType::Date: {
      QString text = v.toString();
      if (text.size() > 10 && text[10] == QLatin1Char(' ')) text[10] = QLatin1Char('T');
      return QDateTime::fromString(text, Qt::ISODateWithMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    default: return v.toString();
  }
}

Workspace::Workspace() : connection_(QUuid::createUuid().toString()) {
  mirror_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
  mirror_.setDatabaseName(QStringLiteral(":memory:"));
  if (!mirror_.open()) throw std::runtime_error("mirror cannot be opened");
  for (const QString& ddl : Schema::exchangeDdl()) exec(ddl);
}

Workspace::~Workspace() {
  mirror_.close();
  mirror_ = QSqlDatabase();
  QSqlDatabase::removeDatabase(connection_);
}

QString Workspace::copyTemplate(const QString& name) const {
  const QString target = path(name);
  QFile::remove(target);
  QFile::copy(templatePath(), target);
  QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
  return target;
}

void Workspace::exec(const QString& sql) {
  QSqlQuery q(mirror_);
  if (!q.exec(sql)) throw std::runtime_error(q.lastError().text().toStdString());
}

void Workspace::insert(const QString& table, const QVariantList& values) {
  QStringList marks;
  for (int i = 0; i < values.size(); ++i) marks << QStringLiteral("?");
  QSqlQuery q(mirror_);
  q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, marks.join(',')));
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) throw std::runtime_error(q.lastError().text().toStdString());
}

Rows Workspace::expected(const QString& table) {
  QSqlQuery q(mirror_);
  if (!q.exec(QStringLiteral("SELECT * FROM %1").arg(table))) throw std::runtime_error("mirror read");
  Rows rows;
  while (q.next()) {
    QStringList row;
    for (int i = 0; i < q.record().count(); ++i) row << canonical(table, i, q.value(i));
    rows.push_back(row);
  }
  return rows;
}

std::map<QString, Rows> corvinaReader(const QString& file) {
  std::map<QString, Rows> result;
  const QString name = QUuid::createUuid().toString();
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open()) throw std::runtime_error("reader mirror cannot be opened");
    Jet::loadMirror(file, db);
    for (const QString& table : Schema::courseTableNames()) {
      QSqlQuery q(db);
      if (!q.exec(QStringLiteral("SELECT * FROM \"%1\"").arg(table))) continue;
      Rows rows;
      while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i) row << canonical(table, i, q.value(i));
        rows.push_back(row);
      }
      result[table] = rows;
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return result;
}

QString mdbExportText(const QString& file, const QString& table) {
  QString error;
  const QString out = run(QStringLiteral("mdb-export"),
                          {QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), FieldSep, QStringLiteral("-R"), RowSep,
                           QStringLiteral("-0"), NullMark, QStringLiteral("-T"), QStringLiteral("%Y-%m-%d %H:%M:%S"), file, table},
                          &error);
  if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
  return out;
}

QStringList mdbTables(const QString& file) {
  QString error;
  return run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}, &error).split('\n', Qt::SkipEmptyParts);
}

Rows mdbExport(const QString& file, const QString& table, QString* error) {
  QString out;
  try {
    out = mdbExportText(file, table);
  } catch (const std::exception& e) {
    *error = QString::fromUtf8(e.what());
  }
  Rows rows;
  for (const QString& line : out.split(RowSep, Qt::SkipEmptyParts)) {
    QStringList row;
    const QStringList fields = line.split(FieldSep);
    for (int i = 0; i < fields.size(); ++i) {
      const Schema::ColumnType type = typeOf(table, i);
      const bool text = type == Schema::ColumnType::Text || type == Schema::ColumnType::Memo;
      if (fields[i] == NullMark)
        row << nullText();
      else
        row << (text ? fields[i] : canonical(table, i, fields[i]));
    }
    rows.push_back(row);
  }
  return rows;
}

int mdbCount(const QString& file, const QString& table) {
  QString error;
  const QString out = run(QStringLiteral("mdb-count"), {file, table}, &error);
  return error.isEmpty() ? out.trimmed().toInt() : -1;
}

QString mdbReaderJson(const QString& file, QString* skip) {
  if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()) {
    *skip = QStringLiteral("node is not installed: the mdb-reader cross-check is skipped");
    return {};
  }
  if (!ensureMdbReader(skip)) return {};
  const QString script = QDir::temp().filePath(QStringLiteral("corvina-read-%1.mjs").arg(QUuid::createUuid().toString(QUuid::Id128)));
  QFile f(script);
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(ReaderScript);
  f.close();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
  QString error;
  const QString module = nodeDir() + QStringLiteral("/node_modules/mdb-reader/lib/node/index.js");
  const QString out = run(QStringLiteral("node"), {script, module, file}, &error, env);
  QFile::remove(script);
  if (!error.isEmpty()) throw std::runtime_error(error.toStdString());
  return out;
}

std::map<QString, Rows> mdbReader(const QString& file, QString* skip) {
  std::map<QString, Rows> result;
  const QString out = mdbReaderJson(file, skip);
  if (!skip->isEmpty()) return result;
  const QJsonObject tables = QJsonDocument::fromJson(out.toUtf8()).object();
  for (auto it = tables.begin(); it != tables.end(); ++it) {
    Rows rows;
    for (const QJsonValue& r : it.value().toArray()) {
      QStringList row;
      const QJsonArray values = r.toArray();
      for (int i = 0; i < values.size(); ++i) row << jsonCanonical(it.key(), i, values[i]);
      rows.push_back(row);
    }
    result[it.key()] = rows;
  }
  return result;
}

QByteArray fileBytes(const QString& file) {
  QFile f(file);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

}  // namespace JetWriterTest
