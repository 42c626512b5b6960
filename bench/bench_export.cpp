// Exports the big course of the demo database and reports the rate.
// usage: bench_export [problems] [--template FILE]
//   problems: size of the big course (default 100000)
//   FILE: another exchange-file template, e.g. the Access-format one
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

namespace {
// A program folder of its own: the built template and an odbc.ini naming a
// fresh system database.
QString prepareProgramFolder(const QTemporaryDir& dir, const QString& templateFile) {
  const QString home = dir.path();
  QFile::copy(templateFile, home + "/Template.mdb");
  QFile::setPermissions(home + "/Template.mdb", QFile::ReadOwner | QFile::WriteOwner);
  QFile db(home + "/system.db");
  db.open(QIODevice::WriteOnly);
  db.close();
  QFile ini(home + "/odbc.ini");
  ini.open(QIODevice::WriteOnly);
  ini.write("[ODBC]\r\nConnectionString=" + Bench::sqliteConnect(db.fileName()).toUtf8() + "\r\n");
  ini.close();
  qputenv("CORVINA_HOME", home.toUtf8());
  return home;
}

}  // namespace

// The export alone, in a process of its own (see Bench::runAlone).
int exportOnly(int courseId, QString file, QTextStream& out) {
  QElapsedTimer t;
  t.start();
  const std::clock_t cpuStart = std::clock();
  CExport exporter(interaction());
  qint64 stageStart = 0;
  QString stage;
  exporter.ExportProgress = [&](qint16 bar, const QString& message) {
    if (!stage.isEmpty()) out << "  " << stage << ' ' << (t.elapsed() - stageStart) << " ms\n";
    stage = QString::number(bar) + ' ' + message;
    stageStart = t.elapsed();
  };
  const TransferResult result = exporter.ExportCourseData(file, courseId);
  const double seconds = t.elapsed() / 1000.0;
  if (!result.succeeded()) {
    out << "export failed: " << result.reason << '\n';
    return 1;
  }
  out << "  " << stage << " and closing the file " << (t.elapsed() - stageStart) << " ms\n";
  const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  out << "CPU time " << QString::number(cpuSeconds, 'f', 2)
      << " s (the machine is shared: wall time includes waiting)\n";
  out << "peak RSS of the exporting process (VmHWM): " << Bench::statusKb("VmHWM:") << " kB\n";
  out << "seconds: " << seconds << '\n';
  return 0;
}

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() > 3 && args.at(1) == QLatin1String("--export-only")) {
    QTextStream out(stdout);
    return exportOnly(args.at(2).toInt(), args.at(3), out);
  }
  const int problems = args.size() > 1 && !args.at(1).startsWith('-') ? args.at(1).toInt() : 100000;
  const int templateAt = args.indexOf(QStringLiteral("--template"));
  const QString templateFile = templateAt > 0 && templateAt + 1 < args.size()
                                   ? args.at(templateAt + 1)
                                   : QCoreApplication::applicationDirPath() + QStringLiteral("/Template.mdb");
  QTextStream out(stdout);
  try {
    QTemporaryDir dir;
    // BENCH_KEEP=1 leaves the folder for profiling "--export-only" alone.
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("BENCH_KEEP"));
    const QString home = prepareProgramFolder(dir, templateFile);
    out << "folder: " << home << '\n';
    out << "template: " << templateFile << '\n';
    DemoData::Summary summary;
    {
      CDataAccess dal;
      dal.BeginTrans();
      Schema::createSystemTables(dal);
      dal.CommitTrans();
      QElapsedTimer t;
      t.start();
      summary = DemoData::create(dal, problems);
      out << "demo database: " << summary.problems << " problems, " << summary.contents << " contents in "
          << QString::number(t.elapsed() / 1000.0, 'f', 2) << " s\n";
    }
    const QString file = home + QStringLiteral("/bench.mdb");
    const double seconds =
        Bench::runAlone({QStringLiteral("--export-only"), QString::number(summary.bigCourseId), file}, out);
    if (seconds < 0) return 1;
    const qint64 rows = Bench::rowsIn(file);
    out << "course " << summary.bigCourseId << " exported: " << rows << " rows in " << QString::number(seconds, 'f', 2)
        << " s, " << QString::number(rows / seconds, 'f', 0) << " rows/s\n";
    out << "exchange file: " << QFile(file).size() / 1024 << " KiB\n";
    const auto [limit, limitRows] =
        Bench::sqliteCourseCopy(home + "/system.db", home + "/limit.db", summary.bigCourseId, false);
    Bench::printLimit(out, QStringLiteral("SQLite's own copy of the course into an empty database without indexes"),
                      seconds, limit, limitRows);
    return 0;
  } catch (const std::exception& e) {
    return Bench::failed(out, e);
  }
}
