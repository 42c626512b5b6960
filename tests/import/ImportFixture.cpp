#include "import/ImportFixture.h"

#include <QFile>

#include "data/CDataAccess.h"
#include "data/Schema.h"
#include "mapping/MappingModel.h"

namespace {
QString Ext(int basicType) {
  return QStringLiteral("<EXT><GROUP TYPE=\"BOOL\">false</GROUP><BASICTYPE TYPE=\"INTEGER\">%1</BASICTYPE></EXT>")
      .arg(basicType);
}
}  // namespace

QStringList DemoCourse(const QString& courseName) {
  return {
      QStringLiteral("insert into Subject values (1,'数学','数学专业'),(2,'物理','物理专业')"),
      QStringLiteral("insert into Course values (1,1,'%1','微积分',NULL,'<ROOT><CONTENT ID=\"31\"><CONTENT ID=\"32\">"
                     "<CONTENT ID=\"33\"/></CONTENT></CONTENT><CONTENT ID=\"34\"/></ROOT>','2024-01-02')")
          .arg(QString(courseName).replace(QLatin1Char('\''), QStringLiteral("''"))),
      QStringLiteral("insert into CoursesSubjects values (1,1),(1,2)"),
      QStringLiteral("insert into Content values (31,1,0,0,'第一章','c1',NULL),(32,1,31,1,'第一节','c2',NULL),"
                     "(33,1,32,2,'第一小节','c3',NULL),(34,1,0,0,'第二章','c4',NULL)"),
      QStringLiteral("insert into Syllabus values (31,1,0.5,'掌握',NULL),(34,2,0.25,'了解',NULL)"),
      QStringLiteral("insert into Feature values (10,'题型',1,0,NULL,NULL,NULL,NULL),(11,'难度',5,1,1,5,1,NULL),"
                     "(12,'自定义',0,0,NULL,NULL,NULL,NULL),(13,'时长',7,1,0,60,5,NULL)"),
      QStringLiteral("insert into FeaturePartition values (100,10,'单选',1,1,1,'%1',NULL),(101,10,'填空',2,2,2,'%2',NULL),"
                     "(110,11,'易',1,1,0,NULL,NULL),(111,11,'难',5,5,0,NULL,NULL),(120,12,'甲',1,1,0,NULL,NULL),"
                     "(121,12,'乙',2,2,0,NULL,NULL),(130,13,'短',0,10,0,NULL,NULL)")
          .arg(Ext(4), Ext(3)),
      QStringLiteral("insert into CoursesFeaturePartitions values (1,100,0.3,NULL),(1,101,0.2,NULL),(1,110,0.7,NULL),"
                     "(1,120,0.1,NULL),(1,121,0.5,NULL),(1,130,0.4,NULL)"),
      QStringLiteral("insert into ProblemGroup values (41,'<GROUP><PROBLEM ID=\"51\"/><PROBLEM ID=\"52\"/>"
                     "<PROBLEM ID=\"999\"/></GROUP>','共同题干',NULL)"),
      QStringLiteral("insert into Problem values (53,0,'P-53','b53','a53',3,NULL),(51,41,'P-51','b51','a51',1,NULL),"
                     "(52,41,NULL,'b52','a52',2,NULL)"),
      QStringLiteral("insert into ProblemsContents values (51,31,NULL),(52,33,NULL),(53,34,NULL)"),
      QStringLiteral("insert into ProblemsFeatures values (51,10,1,1,NULL),(52,10,1,2,NULL),(52,12,2,2,NULL),"
                     "(53,11,1,3,NULL)")};
}

void ImportTest::SetUp() {
  scope = std::make_unique<ScopedInteraction>(ui);
  for (const QString& sql :
       {QStringLiteral("insert into Subject values (3,'物理',NULL),(7,'数学',NULL),(500,'化学',NULL)"),
        QStringLiteral("insert into Feature values (20,'题型',1,0,NULL,NULL,NULL,NULL),(21,'难度',5,1,1,5,1,NULL),"
                       "(22,'自定义',0,0,NULL,NULL,NULL,NULL),(500,'其他',9,0,NULL,NULL,NULL,NULL)"),
        QStringLiteral("insert into FeaturePartition values (200,20,'单选题',1,1,1,'%1',NULL),"
                       "(201,20,'问答题',12,12,2,'%2',NULL),(210,21,'一级',1,1,0,NULL,NULL),(211,21,'二级',2,2,0,NULL,NULL),"
                       "(212,21,'三级',3,3,0,NULL,NULL),(220,22,'甲',5,5,0,NULL,NULL),(221,22,'乙',6,6,0,NULL,NULL),"
                       "(500,500,'x',0,0,0,NULL,NULL)")
            .arg(Ext(4), Ext(1)),
        QStringLiteral("insert into Course values (500,500,'已有课程',NULL,NULL,NULL,NULL)"),
        QStringLiteral("insert into Content values (500,500,0,0,'已有章节',NULL,NULL)"),
        QStringLiteral("insert into ProblemGroup values (500,NULL,NULL,NULL)"),
        QStringLiteral("insert into Problem values (500,NULL,'P-51',NULL,NULL,NULL,NULL)")})
    env.exec(sql);
  import.ImportProgress = [this](qint16 n, const QString& text) { progress.emplace_back(n, text); };
}

void ImportTest::TearDown() {
  import.session().releaseConnections();
  scope.reset();
}

void ImportTest::ScriptDemoMapping() {
  ImportSession& g = import.session();
  const auto step = [this](auto fill) {
    ui->mappingSteps.push_back([fill](MappingModel& form) {
      fill(form);
      form.Unload();
    });
  };
  step([&g](MappingModel&) { g.SubjectMap.add(1, 7), g.SubjectMap.add(2, 3); });
  step([&g](MappingModel&) { g.FeatureMap.add(12, 22); });
  // The problem types: 单选 pairs by number, 填空 differs from the system's 问答题.
  step([&g](MappingModel& form) {
    EXPECT_EQ(form.tmpPartitionMap.size(), 1);
    EXPECT_EQ(form.tmpPartitionMap.value(100), 200);
    g.FeaturePartitionMap.add(100, 200), g.FeaturePartitionMap.add(101, 201);
    g.PartitionValueMap->add(1, 1), g.PartitionValueMap->add(2, 12);
  });
  step([&g](MappingModel&) {
    g.FeaturePartitionMap.add(120, 220), g.FeaturePartitionMap.add(121, 221);
    g.PartitionValueMap->add(1, 5), g.PartitionValueMap->add(2, 6);
  });
}

bool ImportTest::ImportCourse(const QString& file) {
  progress.clear();
  return import.ImportCourseData(file).succeeded();
}

QString ImportTest::WriteFile(const QString& name, const QStringList& statements) const {
  const QString path = env.path(name);
  QFile::remove(path);
  QFile::copy(env.path(QStringLiteral("Template.mdb")), path);
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenExchangeFile(path, ExchangeAccess::Write);
  for (const QString& sql : statements) dal.ExecQuery(sql);
  dal.CloseConnection();
  return path;
}

void ImportTest::RefuseInserts(const QString& table, bool refuse) const {
  const QString trigger = QStringLiteral("refuse_") + table;
  const bool pg = TestEnv::onPostgres();
  if (!refuse) return env.exec(QStringLiteral("drop trigger %1%2").arg(trigger, pg ? QStringLiteral(" on ") + table : QString()));
  if (pg)
    env.exec(QStringLiteral("create or replace function refuse_row() returns trigger language plpgsql as "
                            "$$ begin raise exception 'disk full'; end $$"));
  env.exec(QString::fromLatin1(pg ? "create trigger %1 before insert on %2 for each row execute function refuse_row()"
                                 : "create trigger %1 before insert on %2 begin select raise(abort, 'disk full'); end")
               .arg(trigger, table));
}

QStringList ImportTest::Snapshot() const {
  QStringList rows;
  auto dal = env.dal();
  for (const QString& table : Schema::courseTableNames()) {
    Bulk::Query records = dal->OpenQuery(QStringLiteral("select * from ") + table);
    while (records.next()) {
      QStringList cells;
      for (int i = 0; i < records.columnCount(); ++i) cells << records.value(i).toString();
      rows << table + QLatin1Char(':') + cells.join(QLatin1Char('|'));
    }
  }
  rows.sort();
  return rows;
}
