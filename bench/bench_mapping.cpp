// Times pairing by name and finishing the subject step on large lists: N
// exchange subjects against N system subjects, every second name shared, the
// rest created by the finish operation, as an automatic import does it.
// usage: bench_mapping [N]   (default 2000)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "data/CDataAccess.h"
#include "data/Schema.h"
#include "core/Interaction.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingModel.h"

namespace {

void fill(CDataAccess& dal, int n, bool exchange) {
  dal.BeginTrans();
  for (int i = 0; i < n; ++i) {
    const QString side = exchange ? QStringLiteral("甲") : QStringLiteral("乙");
    const QString name = QStringLiteral("专业") + QString::number(i) + (i % 2 == 0 ? QString() : side);
    if (exchange)
      dal.ExecQuery(QStringLiteral("insert into Subject (SubjectID,name) values (?,?)"), {1000 + i, name});
    else
      dal.ExecQuery(QStringLiteral("insert into Subject (name) values (?)"), {name});
  }
  dal.CommitTrans();
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
  QTemporaryDir home;
  qputenv("CORVINA_HOME", home.path().toUtf8());
  const QString systemFile = home.filePath(QStringLiteral("system.db"));
  QFile(systemFile).open(QIODevice::WriteOnly);
  const QString connect = QStringLiteral("Driver=SQLite3;Database=") + systemFile;
  {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(connect);
    dal.BeginTrans();
    Schema::createSystemTables(dal);
    dal.CommitTrans();
    fill(dal, n, false);
  }
  QFile ini(home.filePath(QStringLiteral("odbc.ini")));
  ini.open(QIODevice::WriteOnly);
  ini.write("[ODBC]\r\nConnectionString=" + connect.toUtf8() + "\r\n");
  ini.close();
  const QString exchange = home.filePath(QStringLiteral("course.mdb"));
  Schema::writeSqliteTemplate(exchange);

  ImportSession g(interaction());
  g.bAutoMap = true;
  g.ImportSourceDAL().OpenExchangeFile(exchange, ExchangeAccess::Write);
  fill(g.ImportSourceDAL(), n, true);

  MappingModel& form = g.mappingForm();
  form.intStep = 1;
  QElapsedTimer timer;
  timer.start();
  form.AutoNameMap(1);
  const qint64 named = timer.restart();
  const int paired = form.SubjectPairMap().size() - 1;
  form.FinishSubjectMap();
  const qint64 finished = timer.elapsed();
  QTextStream(stdout) << n << " subjects on each side: load and pairing by name " << named << " ms (" << paired
                      << " pairs), finishing " << finished << " ms (" << g.SubjectMap.size() - 1 - paired
                      << " subjects created, " << g.SubjectMap.size() << " entries in SubjectMap)\n";
  g.releaseConnections();
  return 0;
}
