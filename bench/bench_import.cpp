// Imports the big demo course into a fresh system database with automatic
// mapping and reports the rate.
// usage: bench_import [problems] [connection-string]   (default 100000)
// With a connection string the course is imported into that (empty) server
// database, e.g. "Driver={PostgreSQL Unicode};Server=127.0.0.1;...".
// The demo database is generated and its big course exported first; the
// figures cover the import only (peak RSS is reset before it starts).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <ctime>

#include "BenchSupport.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "data/Schema.h"
#include "export/CExport.h"
#include "core/Interaction.h"
#include "import/CImport.h"

namespace {
// Points odbc.ini at a new, empty system database with the full schema: a
// SQLite file, or the server database serverConnect names.
void useFreshSystemDb(const QString& home, const QString& name, const QString& serverConnect = QString()) {
  const QString file = home + '/' + name;
  QFile db(file);
  db.open(QIODevice::WriteOnly);
  db.close();
  QFile ini(home + "/odbc.ini");
  ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
  ini.write("[ODBC]\r\nConnectionString=" +
            (serverConnect.isEmpty() ? Bench::sqliteConnect(file) : serverConnect).toUtf8() + "\r\n");
  ini.close();
  CDataAccess dal;
  dal.BeginTrans();
  Schema::createSystemTables(dal);
  dal.CommitTrans();
}

QString exportBigCourse(const QString& home, int problems, QTextStream& out, int& courseId) {
  useFreshSystemDb(home, QStringLiteral("first.db"));
  CDataAccess dal;
  QElapsedTimer t;
  t.start();
  const DemoData::Summary summary = DemoData::create(dal, problems);
  out << "demo database: " << summary.problems << " problems in " << QString::number(t.elapsed() / 1000.0, 'f', 1)
      << " s\n";
  QString file = home + QStringLiteral("/bench.mdb");
  t.restart();
  CExport exporter(interaction());
  exporter.ExportCourseData(file, summary.bigCourseId);
  courseId = summary.bigCourseId;
  out << "big course exported in " << QString::number(t.elapsed() / 1000.0, 'f', 1) << " s\n";
  return file;
}
}  // namespace

// The statements a PostgreSQL server ran for this database since the last
// reset, as pg_stat_statements counts them (top-level statements: each one a
// round trip); -1 when the server does not count them.
qint64 serverStatements(const QString& server, bool reset) {
  try {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(server);
    if (reset) {
      dal.ExecQuery(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_stat_statements"));
      dal.OpenQuery(QStringLiteral("SELECT pg_stat_statements_reset()")).next();
      return 0;
    }
    Bulk::Query count = dal.OpenQuery(QStringLiteral(
        "SELECT coalesce(sum(calls),0) FROM pg_stat_statements WHERE dbid=(SELECT oid FROM pg_database WHERE "
        "datname=current_database()) AND query NOT LIKE '%pg_stat_statements%'"));
    return count.next() ? count.at(0).toInt() : -1;
  } catch (const DataError&) {
    return -1;
  }
}

void printStatements(QTextStream& out, const QString& what, qint64 n) {
  out << "statements the server ran for " << what << ": "
      << (n < 0 ? QStringLiteral("not counted (pg_stat_statements not loaded)") : QString::number(n)) << '\n';
}

// The course exported again from the server, its statements counted.
void exportFromServer(const QString& server, const QString& home, QTextStream& out) {
  int courseId = 0;
  {
    CDataAccess dal;
    Bulk::Query course = dal.OpenQuery(QStringLiteral("select max(CourseID) from Course"));
    if (course.next()) courseId = course.at(0).toInt();
  }
  serverStatements(server, true);
  QElapsedTimer t;
  t.start();
  QString file = home + QStringLiteral("/from-server.mdb");
  CExport exporter(interaction());
  const bool ok = exporter.ExportCourseData(file, courseId).succeeded();
  out << "exported again from the server " << (ok ? "" : "(failed) ") << "in "
      << QString::number(t.elapsed() / 1000.0, 'f', 2) << " s\n";
  printStatements(out, QStringLiteral("the export"), serverStatements(server, false));
}

// The import alone, in a process of its own (see Bench::runAlone).
int importOnly(const QString& file, qint64 rows, QTextStream& out) {
  CImport importer(interaction());
  importer.session().bAutoMap = true;
  QElapsedTimer t;
  qint64 stageStart = 0;
  QString stage;
  importer.ImportProgress = [&](qint16 bar, const QString& message) {
    out << "  " << (stage.isEmpty() ? QStringLiteral("opening the file and mapping") : stage) << ' '
        << (t.elapsed() - stageStart) << " ms\n";
    stage = QString::number(bar) + ' ' + message;
    stageStart = t.elapsed();
  };
  t.start();
  const std::clock_t cpuStart = std::clock();
  const TransferResult result = importer.ImportCourseData(file);
  const double seconds = t.elapsed() / 1000.0;
  const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  importer.session().releaseConnections();
  if (!result.succeeded()) {
    out << "import failed: " << result.reason << '\n';
    return 1;
  }
  out << "imported " << rows << " exchange rows in " << QString::number(seconds, 'f', 2) << " s, "
      << QString::number(rows / seconds, 'f', 0) << " rows/s\n";
  out << "CPU time " << QString::number(cpuSeconds, 'f', 2) << " s, " << QString::number(rows / cpuSeconds, 'f', 0)
      << " rows per CPU second (the machine is shared: wall time includes waiting)\n";
  out << "peak RSS of the importing process (VmHWM) " << Bench::statusKb("VmHWM:") << " kB\n";
  if (!importer.SkippedRows().isEmpty()) out << importer.SkippedSummary() << '\n';
  out << "seconds: " << seconds << '\n';
  return 0;
}

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc > 3 && QByteArray(argv[1]) == "--import-only") {
    QTextStream out(stdout);
    return importOnly(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong(), out);
  }
  const int problems = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
  QTextStream out(stdout);
  try {
    QTemporaryDir dir;
    // BENCH_KEEP=1 leaves the folder for profiling "--import-only" alone.
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("BENCH_KEEP"));
    const QString home = dir.path();
    out << "folder: " << home << '\n';
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Template.mdb"), home + "/Template.mdb");
    qputenv("CORVINA_HOME", home.toUtf8());

    int courseId = 0;
    const QString file = exportBigCourse(home, problems, out, courseId);
    const qint64 rows = Bench::rowsIn(file);
    useFreshSystemDb(home, QStringLiteral("second.db"), argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());

    const QString server = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!server.isEmpty()) serverStatements(server, true);
    const double seconds = Bench::runAlone({QStringLiteral("--import-only"), file, QString::number(rows)}, out);
    if (seconds < 0) return 1;
    if (!server.isEmpty()) {
      printStatements(out, QStringLiteral("the import"), serverStatements(server, false));
      exportFromServer(server, home, out);
    }
    if (argc > 2) {
      const auto [limit, limitRows] =
          Bench::postgresCourseCopy(home + "/first.db", QString::fromLocal8Bit(argv[2]), courseId, home);
      Bench::printLimit(out, QStringLiteral("PostgreSQL's COPY of the same rows in one transaction"), seconds, limit,
                        limitRows);
    } else {
      const auto [limit, limitRows] = Bench::sqliteCourseCopy(home + "/first.db", home + "/limit.db", courseId, true);
      Bench::printLimit(out, QStringLiteral("SQLite appending the same rows to a system database with its indexes, IDs shifted"),
                        seconds, limit, limitRows);
    }
    return 0;
  } catch (const std::exception& e) {
    return Bench::failed(out, e);
  }
}
