// Times the demo generator: corvina init-demo --problems N in-process.
// usage: bench_demo_data [N]   (default 100000)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "data/Schema.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const int problems = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("system.db"));
  QFile(file).open(QIODevice::WriteOnly);
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(QStringLiteral("Driver=SQLite3;Database=") + file);
  dal.BeginTrans();
  Schema::createSystemTables(dal);
  dal.CommitTrans();
  QElapsedTimer timer;
  timer.start();
  const DemoData::Summary s = DemoData::create(dal, problems);
  const double seconds = timer.elapsed() / 1000.0;
  dal.CloseConnection();
  QTextStream(stdout) << "problems in the first course: " << problems << ", all problems: " << s.problems
                      << ", made in " << seconds << " s (" << qRound(s.problems / seconds)
                      << " problems/s, each with its links and feature values), file "
                      << QFile(file).size() / (1024 * 1024) << " MiB\n";
  return 0;
}
