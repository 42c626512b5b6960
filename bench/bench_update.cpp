// Updates the big demo course in place from a file in which 1 % of its
// problems changed, and imports the same file anew into the same database,
// in one run: prints both times and their ratio.
// usage: bench_update [problems] [connection-string]   (default 100000)
// With a connection string (an empty server database) the system database is
// that one; with BENCH_PG_LOG naming the test server's log file the
// statements each run sent are counted there too (log_statement is set for
// the database for the run).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include "BenchSupport.h"
#include "core/Interaction.h"
#include "core/UpdatePreview.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "resources/Strings.h"

namespace {
// Says yes to writing: the dated copy of an import anew, the update's preview.
class Yes : public Interaction {
 public:
  Answer MsgBox(const QString&, MessageStyle, const QString&) override { return Answer::Ok; }
  std::optional<QString> InputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
  Answer ConfirmCourseUpdate(const UpdatePreview& preview) override {
    summary = preview.lines().mid(0, 9).join(QStringLiteral("\n  "));
    return Answer::Ok;
  }
  QString summary;
};

void pointAt(const QString& home, const QString& connect) {
  QFile ini(home + "/odbc.ini");
  ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
  ini.write("[ODBC]\r\nConnectionString=" + connect.toUtf8() + "\r\n");
}

void createSchema() {
  CDataAccess dal;
  dal.BeginTrans();
  Schema::createSystemTables(dal);
  dal.CommitTrans();
}

// The server's log grows by a line per statement while log_statement is set.
qint64 loggedStatements(qint64 fromByte) {
  QFile log(qEnvironmentVariable("BENCH_PG_LOG"));
  if (!log.open(QIODevice::ReadOnly) || !log.seek(fromByte)) return -1;
  qint64 n = 0;
  for (const QByteArray& line : log.readAll().split('\n'))
    if (line.contains("LOG:  statement: ") || line.contains("LOG:  execute ")) ++n;
  return n;
}

qint64 logSize() { return QFile(qEnvironmentVariable("BENCH_PG_LOG")).size(); }

void setStatementLog(const QString& connect, bool on) {
  CDataAccess dal;
  const QString db = Connection::connectValue(connect, QStringLiteral("Database"));
  dal.ExecQuery(QStringLiteral("ALTER DATABASE %1 SET log_statement='%2'").arg(db, on ? "all" : "none"));
}

// One run in a process of its own: the import or the update of one file.
int runOne(const QString& what, const QString& file) {
  QTextStream out(stdout);
  Yes yes;
  CImport importer(yes);
  importer.session().bAutoMap = true;
  QElapsedTimer t;
  qint64 stageStart = 0;
  QString stage = QStringLiteral("opening, pairing and the preview");
  importer.ImportProgress = [&](qint16 bar, const QString& message) {
    out << "  " << stage << ' ' << (t.elapsed() - stageStart) << " ms\n";
    stage = QString::number(bar) + ' ' + message;
    stageStart = t.elapsed();
  };
  t.start();
  const TransferResult result = what == "--update-only" ? importer.UpdateCourseData(file) : importer.ImportCourseData(file);
  const double seconds = t.elapsed() / 1000.0;
  importer.session().releaseConnections();
  if (!result.succeeded()) {
    out << what << " failed: " << result.reason << '\n';
    return 1;
  }
  if (!yes.summary.isEmpty()) out << "  " << yes.summary << '\n';
  out << "  peak RSS (VmHWM) " << Bench::statusKb("VmHWM:") << " kB\n";
  out << "seconds: " << seconds << '\n';
  return 0;
}

// Runs statements on the SQLite database of the demo.
void change(const QString& systemDb, const QStringList& statements) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-revise"));
    db.setDatabaseName(systemDb);
    if (!db.open()) throw std::runtime_error(db.lastError().text().toStdString());
    QSqlQuery q(db);
    for (const QString& sql : statements) Bench::run(q, sql);
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bench-revise"));
}

QString courseProblems(int courseId) {
  return QStringLiteral("SELECT pc.ProblemID FROM ProblemsContents pc JOIN Content c ON c.ContentID=pc.ContentID "
                        "WHERE c.CourseID=%1").arg(courseId);
}
}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc > 2 && (QByteArray(argv[1]) == "--update-only" || QByteArray(argv[1]) == "--import-only"))
    return runOne(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
  const int problems = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
  const QString server = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  const bool countStatements = !server.isEmpty() && !qEnvironmentVariableIsEmpty("BENCH_PG_LOG");
  QTextStream out(stdout);
  try {
    QTemporaryDir dir;
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("BENCH_KEEP"));
    const QString home = dir.path();
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Template.mdb"), home + "/Template.mdb");
    qputenv("CORVINA_HOME", home.toUtf8());

    const QString first = home + "/first.db";
    QFile(first).open(QIODevice::WriteOnly);
    pointAt(home, Bench::sqliteConnect(first));
    createSchema();
    int courseId = 0;
    {
      CDataAccess dal;
      courseId = DemoData::create(dal, problems).bigCourseId;
    }
    QString original = home + "/original.mdb";
    QString revised = home + "/revised.mdb";
    // Problems without a code cannot be paired, and an update adds them again: the demo's get codes first.
    change(first, {QStringLiteral("UPDATE Problem SET ProblemCode='C-' || ProblemID WHERE ProblemCode IS NULL")});
    if (!CExport(interaction()).ExportCourseData(original, courseId).succeeded()) throw std::runtime_error("export failed");
    change(first, {QStringLiteral("UPDATE Problem SET Body=Body || ' (revised)' WHERE ProblemID % 100 = 0 AND "
                                  "ProblemID IN (%1)").arg(courseProblems(courseId))});
    if (!CExport(interaction()).ExportCourseData(revised, courseId).succeeded()) throw std::runtime_error("export failed");
    out << "course of " << problems << " problems exported twice, the second time with 1 % of the bodies revised\n";

    const QString target = home + "/system.db";
    QFile(target).open(QIODevice::WriteOnly);
    pointAt(home, server.isEmpty() ? Bench::sqliteConnect(target) : server);
    createSchema();
    out << "importing the course into the " << (server.isEmpty() ? "SQLite" : "server") << " system database:\n";
    if (Bench::runAlone({QStringLiteral("--import-only"), original}, out) < 0) return 1;
    if (countStatements) setStatementLog(server, true);

    qint64 from = countStatements ? logSize() : 0;
    out << "updating it from the revised file:\n";
    const double update = Bench::runAlone({QStringLiteral("--update-only"), revised}, out);
    const qint64 updateStatements = countStatements ? loggedStatements(from) : -1;
    from = countStatements ? logSize() : 0;
    out << "importing the revised file anew (a dated copy beside it):\n";
    const double anew = Bench::runAlone({QStringLiteral("--import-only"), revised}, out);
    const qint64 anewStatements = countStatements ? loggedStatements(from) : -1;
    if (countStatements) setStatementLog(server, false);
    if (update < 0 || anew < 0) return 1;
    out << "update " << QString::number(update, 'f', 2) << " s, import anew " << QString::number(anew, 'f', 2)
        << " s, ratio " << QString::number(update / anew, 'f', 2) << '\n';
    if (countStatements)
      out << "statements sent: update " << updateStatements << ", import anew " << anewStatements << '\n';
    return 0;
  } catch (const std::exception& e) {
    return Bench::failed(out, e);
  }
}
