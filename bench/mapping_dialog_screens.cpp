// Opens the mapping dialog on the demo system database and an exchange file
// from another school, for looking at each step (e.g. under Xvfb with a
// screenshot tool). The dialog closes itself after the given seconds.
// usage: mapping_dialog_screens STEP [--named] [--seconds N]
//   STEP 1 subjects, 2 user-defined features, 3 partitions of 认知层次;
//   --named presses 名称对应 first.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "data/Schema.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingModel.h"
#include "ui/frmImport.h"
#include "ui/QtInteraction.h"

namespace {

QString makeSystemDb(const QString& file) {
  QFile(file).open(QIODevice::WriteOnly);
  const QString connect = QStringLiteral("Driver=SQLite3;Database=") + file;
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(connect);
  dal.BeginTrans();
  Schema::createSystemTables(dal);
  dal.CommitTrans();
  DemoData::create(dal, DemoData::SmallCourseProblems);
  return connect;
}

void run(CDataAccess& dal, const QString& sql, const QVariantList& values) { dal.ExecQuery(sql, values); }

// Subjects, a user-defined feature and partitions as another school keeps them.
void fillExchangeFile(CDataAccess& x) {
  const QString subject = QStringLiteral("insert into Subject (SubjectID,name,description) values (?,?,?)");
  run(x, subject, {-1, QStringLiteral("公共基础"), QStringLiteral("各专业共用")});
  run(x, subject, {31, QStringLiteral("软件工程"), QString()});
  run(x, subject, {32, QStringLiteral("人工智能"), QString()});
  run(x, subject, {33, QStringLiteral("计算机科学与技术"), QString()});
  run(x, subject, {34, QStringLiteral("电子信息工程"), QString()});
  run(x, subject, {35, QStringLiteral("网络工程 "), QStringLiteral("名称带空格")});
  const QString feature =
      QStringLiteral("insert into Feature (FeatureID,name,FeatureNumber,type,minimum,maximum,valueincrement) "
                     "values (?,?,0,?,?,?,?)");
  run(x, feature, {41, QStringLiteral("认知层次"), 0, 1, 4, 1});
  run(x, feature, {42, QStringLiteral("教学要求"), 0, 1, 3, 1});
  run(x, feature, {43, QStringLiteral("能力维度"), 1, 0, 10, 1});
  const QString partition =
      QStringLiteral("insert into FeaturePartition (FeaturePartitionID,FeatureID,name,Minimum,Maximum,"
                     "FeaturePartitionNumber) values (?,41,?,?,?,0)");
  const char* levels[] = {"识记", "理解", "应用", "分析", "综合", "评价"};
  for (int i = 0; i < 6; ++i) run(x, partition, {411 + i, QString::fromUtf8(levels[i]), i + 1, i + 1});
}

qint32 systemFeature(ImportSession& g, const QString& name) {
  Bulk::Query rows = g.ImportDestDAL().OpenQuery(QStringLiteral("select FeatureID from Feature where name=?"), {name});
  return rows.next() ? rows.at(0).toInt() : 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const qint32 step = args.value(0, QStringLiteral("1")).toInt();
  const bool named = args.contains(QStringLiteral("--named"));
  const int seconds = args.contains(QStringLiteral("--seconds"))
                          ? args.value(args.indexOf(QStringLiteral("--seconds")) + 1).toInt()
                          : 5;

  QTemporaryDir home;
  qputenv("CORVINA_HOME", home.path().toUtf8());
  const QString connect = makeSystemDb(home.filePath(QStringLiteral("system.db")));
  QFile ini(home.filePath(QStringLiteral("odbc.ini")));
  ini.open(QIODevice::WriteOnly);
  ini.write("[ODBC]\r\nConnectionString=" + connect.toUtf8() + "\r\n");
  ini.close();
  const QString exchange = home.filePath(QStringLiteral("course.mdb"));
  Schema::writeSqliteTemplate(exchange);

  Interaction::install(std::make_shared<QtInteraction>());
  ImportSession g(interaction());
  g.ImportSourceDAL().OpenExchangeFile(exchange, ExchangeAccess::Write);
  fillExchangeFile(g.ImportSourceDAL());

  MappingModel& form = g.mappingForm();
  form.intStep = step;
  // This file goes through three steps: subjects, features, the partitions of 认知层次.
  form.nStepNumber = step;
  form.nStepCount = 3;
  if (step == 3) {
    // 认知层次 was paired in step 2; 识记 came paired by its number.
    form.SourceFeatureID = 41;
    form.DestFeatureID = systemFeature(g, QStringLiteral("认知层次"));
    form.bIntegerType = true;
    Bulk::Query rows = g.ImportDestDAL().OpenQuery(
        QStringLiteral("select FeaturePartitionID from FeaturePartition where FeatureID=") +
        QString::number(form.DestFeatureID));
    if (rows.next()) form.tmpPartitionMap.add(411, rows.at(0).toInt());
  }
  form.Load();
  if (named) form.pairByName();

  QTimer::singleShot(seconds * 1000, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  QTextStream out(stdout);
  out << "step " << step << ", caption " << form.Caption << '\n';
  out.flush();
  showMappingDialog(form);
  out << "closed: bCancel " << form.bCancel << '\n';
  g.releaseConnections();
  return 0;
}
