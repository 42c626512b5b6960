#include "jet/JetSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
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
const QString FieldSep = QStringLiteral("\x1f<field>\x1f"), RowSep = QStringLiteral("\x1e<row>\x1e");
const QString NullMark = QStringLiteral("\x01<null>\x01"), NullText = QStringLiteral("<NULL>");

// Output of a program that must succeed.
QString run(const QString& program, const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
  p.setProcessEnvironment(env);
  p.start(program, args);
  p.waitForFinished(-1);
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    throw std::runtime_error((program + " failed: " + QString::fromUtf8(p.readAllStandardError())).toStdString());
  return QString::fromUtf8(p.readAllStandardOutput());
}

const char* const ReaderScript = R"JS(
const { default: MDBReader } = await import(process.argv[1]);
const reader = new MDBReader((await import("fs")).readFileSync(process.argv[2]));
const out = {};
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  out[name] = table.getData().map((row) => table.getColumnNames().map((c) =>
    row[c] instanceof Date ? row[c].toISOString().slice(0, 19).replace("T", " ") : row[c] ?? null));
}
process.stdout.write(JSON.stringify(out));
)JS";

}  // namespace

QString shared(const QString& name) {
  // Beside the checkout, or beside a folder it lies in (a scratch copy).
  static const QString folder = [] {
    QDir dir(QStringLiteral(CORVINA_SOURCE_DIR));
    while (!dir.exists(QStringLiteral("shared/jet")) && dir.cdUp()) continue;
    return dir.filePath(QStringLiteral("shared/jet/"));
  }();
  return folder + name;
}

QString writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
  return path;
}

MemoryDb::MemoryDb() : name(QUuid::createUuid().toString()) {
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
  db.setDatabaseName(QStringLiteral(":memory:"));
  if (!db.open()) throw std::runtime_error("in-memory database cannot be opened");
}

MemoryDb::~MemoryDb() { QSqlDatabase::removeDatabase(name); }

void MemoryDb::exec(const QString& sql, const QVariantList& values) const {
  QSqlQuery q(db());
  q.prepare(sql);
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) throw std::runtime_error(q.lastError().text().toStdString());
}

Workspace::Workspace() : file(writeFile(dir.filePath("course.mdb"), readFile(CORVINA_SOURCE_DIR "/src/resources/Template.mdb"))) {
  for (const QString& ddl : Schema::exchangeDdl()) mirror.exec(ddl);
}

void Workspace::insert(const QString& table, const QVariantList& values) const {
  mirror.exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table, QStringList(values.size(), "?").join(',')), values);
}

QStringList Workspace::leftovers() const {
  return QDir(dir.path()).entryList({QStringLiteral(".*.mdb.*")}, QDir::Files | QDir::Hidden);
}

QString canonical(const QString& table, int column, const QVariant& v) {
  if (v.isNull()) return NullText;
  const Schema::Table* t = Schema::find(table);
  if (!t || column >= t->columns.size()) return v.toString();
  switch (t->columns[column].type) {
    case Schema::ColumnType::Id: case Schema::ColumnType::Int: case Schema::ColumnType::Small:
      return QString::number(qint64(v.toDouble()));
    case Schema::ColumnType::Real: return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case Schema::ColumnType::Date:
      return QDateTime::fromString(v.toString().replace(' ', 'T'), Qt::ISODateWithMs).toString("yyyy-MM-dd HH:mm:ss");
    default: return v.toString();
  }
}

Rows tableRows(const QSqlDatabase& db, const QString& table) {
  QSqlQuery q(db);
  if (!q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table))) throw std::runtime_error("no table");
  Rows rows;
  while (q.next()) {
    rows.emplace_back();
    for (int i = 0; i < q.record().count(); ++i) rows.back() << canonical(table, i, q.value(i));
  }
  return rows;
}

std::map<QString, Rows> corvinaReader(const QString& file) {
  const MemoryDb m;
  Jet::loadMirror(file, m.db());
  std::map<QString, Rows> result;
  for (const QString& table : Schema::courseTableNames()) result[table] = tableRows(m.db(), table);
  return result;
}

Rows mdbExport(const QString& file, const QString& table, bool header) {
  const Schema::Table* t = Schema::find(table);
  Rows rows;
  const QString stamp = QStringLiteral("%Y-%m-%d %H:%M:%S");
  const QString out = run("mdb-export", {header ? "-Q" : "-H", "-Q", "-d", FieldSep, "-R", RowSep, "-0", NullMark, "-b", "hex",
                                         "-D", stamp, "-T", stamp, file, table});
  for (const QString& line : out.split(RowSep, Qt::SkipEmptyParts)) {
    rows.emplace_back();
    for (const QString& field : line.split(FieldSep)) {
      const int c = int(rows.back().size());
      const bool typed = t && rows.size() > (header ? 1u : 0u) && t->columns[c].type != Schema::ColumnType::Text &&
                         t->columns[c].type != Schema::ColumnType::Memo;
      rows.back() << (field == NullMark ? NullText : typed ? canonical(table, c, field) : field);
    }
  }
  return rows;
}

int mdbCount(const QString& file, const QString& table) { return run("mdb-count", {file, table}).trimmed().toInt(); }

QStringList mdbTables(const QString& file) { return run("mdb-tables", {"-1", file}).split('\n', Qt::SkipEmptyParts); }

std::map<QString, Rows> mdbReader(const QString& file) {
  const QString folder = QStringLiteral(CORVINA_BINARY_DIR "/node");
  const QString module = folder + "/node_modules/mdb-reader/lib/node/index.js";
  {
    // Tests run in parallel: one installs while the others wait for it.
    QDir().mkpath(folder);
    QLockFile lock(folder + "/.install.lock");
    lock.setStaleLockTime(0);
    lock.lock();
    try {
      if (!QFile::exists(module)) run("npm", {"install", "--no-audit", "--no-fund", "--prefix", folder, "mdb-reader"});
    } catch (const std::exception&) {  // no npm, or no registry: said below
    }
  }
  if (QStandardPaths::findExecutable("node").isEmpty() || !QFile::exists(module)) {
    ADD_FAILURE() << "node or the npm package mdb-reader is not available (./test.sh installs them)";
    return {};
  }
  const QJsonObject tables =
      QJsonDocument::fromJson(run("node", {"--input-type=module", "-e", ReaderScript, module, file}).toUtf8()).object();
  std::map<QString, Rows> result;
  for (auto it = tables.begin(); it != tables.end(); ++it) {
    Rows& rows = result[it.key()];
    for (const QJsonValue& row : it.value().toArray()) {
      rows.emplace_back();
      for (const QJsonValue& v : row.toArray()) rows.back() << canonical(it.key(), int(rows.back().size()), v.toVariant());
    }
  }
  return result;
}

}  // namespace JetTest
