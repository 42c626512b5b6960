#include "jet/JetSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUuid>

#include <stdexcept>

#include "data/Schema.h"
#include "data/jet/JetMirror.h"

namespace JetTest {

namespace {

// Texts may hold any control character: separators no value holds.
const QString FieldSep = QStringLiteral("\x1f<field>\x1f");
const QString RowSep = QStringLiteral("\x1e<row>\x1e");
const QString NullMark = QStringLiteral("\x01<null>\x01");

// Output of a program that must succeed; throws otherwise. A negative wait
// waits for ever.
QString run(const QString& program, const QStringList& args, int waitMs = -1, bool* finished = nullptr) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
  p.setProcessEnvironment(env);
  p.start(program, args);
  p.closeWriteChannel();
  if (!p.waitForFinished(waitMs) && p.state() != QProcess::NotRunning) {
    p.kill();
    p.waitForFinished(-1);
    if (finished) *finished = false;
    return {};
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    throw std::runtime_error((program + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError())).toStdString());
  return QString::fromUtf8(p.readAllStandardOutput());
}

QString nodeDir() { return QStringLiteral(CORVINA_BINARY_DIR "/node"); }

bool ensureMdbReader(QString* skip) {
  if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()) {
    *skip = QStringLiteral("node is not installed: the mdb-reader cross-check is skipped");
    return false;
  }
  // Tests run in parallel: one installs while the others wait for it.
  QDir().mkpath(nodeDir());
  QLockFile lock(nodeDir() + QStringLiteral("/.install.lock"));
  lock.setStaleLockTime(0);
  lock.lock();
  const QString package = nodeDir() + QStringLiteral("/node_modules/mdb-reader/package.json");
  if (!QFile::exists(package) && !QStandardPaths::findExecutable(QStringLiteral("npm")).isEmpty()) {
    try {
      run(QStringLiteral("npm"), {QStringLiteral("install"), QStringLiteral("--no-audit"), QStringLiteral("--no-fund"),
                                  QStringLiteral("--prefix"), nodeDir(), QStringLiteral("mdb-reader")});
    } catch (const std::exception&) {
    }
  }
  if (!QFile::exists(package)) *skip = QStringLiteral("mdb-reader cannot be installed: the cross-check is skipped");
  return skip->isEmpty();
}

const char* const ReaderScript = R"JS(
import { readFileSync } from "fs";
const { default: MDBReader } = await import(process.argv[2]);
const reader = new MDBReader(readFileSync(process.argv[3]));
const out = {};
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  const columns = table.getColumnNames();
  out[name] = table.getData().map((row) => columns.map((c) => {
    const v = row[c];
    if (v === null || v === undefined) return null;
    return v instanceof Date ? { date: v.toISOString() } : v;
  }));
}
process.stdout.write(JSON.stringify(out));
)JS";

}  // namespace

QString shared(const QString& name) { return QStringLiteral(CORVINA_SOURCE_DIR "/../shared/jet/") + name; }
QString templatePath() { return QStringLiteral(CORVINA_SOURCE_DIR "/src/resources/Template.mdb"); }

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
  return path;
}

MemoryDb::MemoryDb() : name_(QUuid::createUuid().toString()) {
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
  db.setDatabaseName(QStringLiteral(":memory:"));
  if (!db.open()) throw std::runtime_error("in-memory database cannot be opened");
}

MemoryDb::~MemoryDb() {
  QSqlDatabase::database(name_, false).close();
  QSqlDatabase::removeDatabase(name_);
}

Workspace::Workspace() {
  for (const QString& ddl : Schema::exchangeDdl()) exec(ddl);
}

QString Workspace::copyTemplate(const QString& name) const {
  const QString target = path(name);
  QFile::remove(target);
  QFile::copy(templatePath(), target);
  QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
  return target;
}

void Workspace::exec(const QString& sql) {
  QSqlQuery q(mirror());
  if (!q.exec(sql)) throw std::runtime_error(q.lastError().text().toStdString());
}

void Workspace::insert(const QString& table, const QVariantList& values) {
  QSqlQuery q(mirror());
  q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, QStringList(values.size(), QStringLiteral("?")).join(',')));
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) throw std::runtime_error(q.lastError().text().toStdString());
}

QStringList Workspace::leftovers() const {
  return QDir(dir_.path()).entryList({QStringLiteral(".*.mdb.*")}, QDir::Files | QDir::Hidden);
}

Rows Workspace::tableRows(const QSqlDatabase& db, const QString& table) {
  QSqlQuery q(db);
  if (!q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table))) throw std::runtime_error("no table " + table.toStdString());
  Rows rows;
  while (q.next()) {
    QStringList row;
    for (int i = 0; i < q.record().count(); ++i) row << canonical(table, i, q.value(i));
    rows.push_back(row);
  }
  return rows;
}

QString nullText() { return QStringLiteral("<NULL>"); }

QString canonical(const QString& table, int column, const QVariant& v) {
  if (v.isNull()) return nullText();
  const Schema::Table* t = Schema::find(table);
  if (!t || column >= t->columns.size()) {
    const bool number = v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
    if (v.typeId() == QMetaType::QByteArray) return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    return number ? QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest) : v.toString();
  }
  switch (t->columns[column].type) {
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

std::map<QString, Rows> corvinaReader(const QString& file) {
  MemoryDb m;
  Jet::loadMirror(file, m.db());
  std::map<QString, Rows> result;
  for (const QString& table : Schema::courseTableNames()) result[table] = Workspace::tableRows(m.db(), table);
  return result;
}

QString mdbExportText(const QString& file, const QString& table, bool header) {
  const QString stamp = QStringLiteral("%Y-%m-%d %H:%M:%S");
  return run(QStringLiteral("mdb-export"), {header ? QStringLiteral("-Q") : QStringLiteral("-H"), QStringLiteral("-Q"), QStringLiteral("-d"), FieldSep,
                                            QStringLiteral("-R"), RowSep, QStringLiteral("-0"), NullMark, QStringLiteral("-b"),
                                            QStringLiteral("hex"), QStringLiteral("-D"), stamp, QStringLiteral("-T"), stamp, file, table},
             60000);
}

Rows mdbExport(const QString& file, const QString& table, bool header) {
  const QString out = mdbExportText(file, table, header);
  Rows rows;
  for (const QString& line : out.split(RowSep, Qt::SkipEmptyParts)) {
    QStringList row;
    for (const QString& field : line.split(FieldSep)) row << (field == NullMark ? nullText() : field);
    rows.push_back(row);
  }
  const Schema::Table* t = Schema::find(table);
  for (size_t r = header ? 1 : 0; t && r < rows.size(); ++r)
    for (int c = 0; c < rows[r].size(); ++c) {
      const Schema::ColumnType type = t->columns[c].type;
      if (rows[r][c] != nullText() && type != Schema::ColumnType::Text && type != Schema::ColumnType::Memo)
        rows[r][c] = canonical(table, c, rows[r][c]);
    }
  return rows;
}

int mdbCount(const QString& file, const QString& table) {
  return run(QStringLiteral("mdb-count"), {file, table}).trimmed().toInt();
}

QStringList mdbTables(const QString& file) {
  return run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file}).split('\n', Qt::SkipEmptyParts);
}

QString mdbReaderJson(const QString& file, QString* skip) {
  if (!ensureMdbReader(skip)) return {};
  const QString script = QDir::temp().filePath(QStringLiteral("corvina-read-%1.mjs").arg(QUuid::createUuid().toString(QUuid::Id128)));
  writeFile(script, ReaderScript);
  const QString module = nodeDir() + QStringLiteral("/node_modules/mdb-reader/lib/node/index.js");
  QString out;
  try {
    out = run(QStringLiteral("node"), {script, module, file});
  } catch (...) {
    QFile::remove(script);
    throw;
  }
  QFile::remove(script);
  return out;
}

std::map<QString, Rows> mdbReader(const QString& file, QString* skip) {
  std::map<QString, Rows> result;
  const QJsonObject tables = QJsonDocument::fromJson(mdbReaderJson(file, skip).toUtf8()).object();
  for (auto it = tables.begin(); it != tables.end(); ++it) {
    Rows& rows = result[it.key()];
    for (const QJsonValue& r : it.value().toArray()) {
      QStringList row;
      const QJsonArray values = r.toArray();
      for (int i = 0; i < values.size(); ++i) {
        const QJsonValue v = values[i];
        const QVariant date = QDateTime::fromString(v[QStringLiteral("date")].toString(), Qt::ISODateWithMs)
                                  .toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        row << canonical(it.key(), i, v.isObject() ? date : v.toVariant());
      }
      rows.push_back(row);
    }
  }
  return result;
}

}  // namespace JetTest
