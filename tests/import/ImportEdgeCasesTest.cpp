// Files the import refuses, failures and cancels part-way, and references the
// file does not hold. Whatever stops an import, the system database is left
// exactly as it was.
#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include "data/CDataAccess.h"
#include "import/ImportFixture.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

// Files imported one after another by the same import: each bad one is
// refused with the reason and the path, writes nothing and never hangs (a
// fifo); the good files before and after arrive completely.
class RefusedFile : public ImportTest {};

TEST_F(RefusedFile, EachBadFileSaysWhyAndTheOthersArrive) {
  const QString dir = env.path(QStringLiteral("odd"));
  ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/folder.mdb")));
  QFile(dir + QStringLiteral("/empty.mdb")).open(QIODevice::WriteOnly);
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir + QStringLiteral("/fifo.mdb")).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(dir + QStringLiteral("/gone.mdb"), dir + QStringLiteral("/dangling.mdb")));
  QFile text(dir + QStringLiteral("/text.mdb"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("this is not a database at all, just some text standing in for one");
  text.close();
  {
    ExchangeFile noCourse(env, QStringLiteral("odd/nocourse.mdb"));
    noCourse.exec(QStringLiteral("insert into Subject values (1,'数学',NULL)"));
  }
  DemoFile(QStringLiteral("odd/notable.mdb"), {QStringLiteral("drop table ProblemsContents")});
  const QString failed = QStringLiteral("连接数据库失败！\r\n");
  const struct {
    const char* name;
    QString prompt;  // ends with the path unless it is the empty-file message
  } rows[] = {{"good1.mdb", QString()},
              {"missing.mdb", failed + QStringLiteral("文件不存在。\r\n")},
              {"dangling.mdb", failed + QStringLiteral("文件不存在。\r\n")},
              {"folder.mdb", failed + QStringLiteral("这是文件夹，不是文件。\r\n")},
              {"fifo.mdb", failed + QStringLiteral("不是普通文件。\r\n")},
              {"empty.mdb", failed + QStringLiteral("文件是空的。\r\n")},
              {"text.mdb", failed},
              {"notable.mdb", failed},
              {"nocourse.mdb", Res::str(318)},
              {"good2.mdb", QString()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const QString path = dir + QLatin1Char('/') + QLatin1String(row.name);
    ui->shown.clear();
    if (row.prompt.isNull()) {
      DemoFile(QStringLiteral("odd/") + QLatin1String(row.name), {}, QLatin1String(row.name));
      ScriptDemoMapping();
      EXPECT_TRUE(ImportCourse(path));
      EXPECT_EQ(Count(QStringLiteral("select count(*) from Content where CourseID=(select CourseID from Course "
                                     "where Name='%1')").arg(QLatin1String(row.name))), 4);
      continue;
    }
    const QStringList before = Snapshot();
    EXPECT_FALSE(ImportCourse(path));
    ASSERT_EQ(ui->prompts().size(), 1);
    const QString prompt = ui->prompts()[0];
    EXPECT_TRUE(prompt.startsWith(row.prompt)) << prompt.toStdString();
    EXPECT_TRUE(row.prompt == Res::str(318) || prompt.endsWith(path)) << prompt.toStdString();
    EXPECT_EQ(ui->shown[0].title.isEmpty(), row.prompt != Res::str(318));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(progress.empty());
  }
  ui->shown.clear();
  EXPECT_FALSE(import.ImportPaperData(dir + QStringLiteral("/nocourse.mdb")).succeeded());
  EXPECT_EQ(ui->prompts(), QStringList{Res::str(318)});
}

class TablePhaseFailure : public ImportTest {};

// The database refuses the rows of one table, as a full disk would: the bar
// stays at the stage that failed, the reason reaches the caller, and one
// transaction takes back everything, the feature the mapping created included.
TEST_F(TablePhaseFailure, FullDiskAtAnyTableRollsBackEverything) {
  const QString file = DemoFile(QStringLiteral("course.mdb"));
  const QStringList before = Snapshot();
  const struct {
    const char* table;
    int bar;
  } rows[] = {{"Course", 0}, {"ProblemsContents", 50}, {"ProblemsFeatures", 60}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.table);
    RefuseInserts(QLatin1String(row.table), true);
    ScriptDemoMapping();
    progress.clear();
    const TransferResult result = import.ImportCourseData(file);
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_TRUE(result.reason.contains(QStringLiteral("disk full"))) << result.reason.toStdString();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(row.bar, Res::str(323 + row.bar / 10)));
    EXPECT_FALSE(import.session().ImportDestDAL().IsInTransaction());
    EXPECT_EQ(Snapshot(), before);
    RefuseInserts(QLatin1String(row.table), false);
    import.session().releaseConnections();
  }
  // Once the cause is gone the same file imports completely.
  ScriptDemoMapping();
  ASSERT_TRUE(ImportCourse(file));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures")), 4);
}

// Cancelled in a mapping dialog, before it starts or at any stage of the table
// phase, an import leaves the system database as it was.
TEST_F(TablePhaseFailure, CancelAtAnyStageLeavesTheSystemDatabaseAsItWas) {
  const QString file = DemoFile(QStringLiteral("course.mdb"));
  const QStringList before = Snapshot();
  const struct {
    size_t dialog;  // cancel in this mapping dialog; 0: the cancel flag at bar
    int bar;
  } rows[] = {{1, 0}, {2, 0}, {3, 0}, {0, -1}, {0, 0}, {0, 20}, {0, 40}, {0, 60}, {0, 90}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.dialog << "/" << row.bar);
    auto cancel = std::make_shared<CancelFlag>();
    CImport flagged(*ui, cancel);
    CImport& importer = row.dialog ? import : flagged;
    if (row.dialog) {
      ScriptDemoMapping();
      ui->mappingSteps.resize(row.dialog);
      ui->mappingSteps.back() = [](MappingModel& form) { form.cmdCancel_Click(); };
    } else {
      flagged.session().bAutoMap = true;
      if (row.bar < 0) cancel->request();
    }
    progress.clear();
    importer.ImportProgress = [&](qint16 bar, const QString& text) {
      progress.emplace_back(bar, text);
      if (bar >= row.bar) cancel->request();
    };
    EXPECT_EQ(importer.ImportCourseData(file).status,
              row.dialog ? TransferResult::Status::Declined : TransferResult::Status::Cancelled);
    EXPECT_TRUE(!row.dialog || progress.empty());
    EXPECT_TRUE(ui->mappingSteps.empty());
    EXPECT_EQ(Snapshot(), before);
  }
}

class LooseReferences : public ImportTest {};

// Rows pointing at what the file does not hold are left out or written
// without the reference, and counted; a second course row of a file is
// ignored and its contents join the first.
TEST_F(LooseReferences, RowsPointingOutsideTheFileAreSkippedAndCounted) {
  ScriptDemoMapping();
  // 丙 stands for the same system partition as 甲: the course's weight is written once.
  ui->mappingSteps.back() = [this](MappingModel& form) {
    for (const auto& [from, to] : {std::pair{120, 220}, {121, 221}, {122, 220}}) import.session().FeaturePartitionMap.add(from, to);
    import.session().PartitionValueMap->add(1, 5);
    import.session().PartitionValueMap->add(2, 6);
    import.session().PartitionValueMap->add(3, 5);
    form.Unload();
  };
  ASSERT_TRUE(ImportCourse(DemoFile(
      QStringLiteral("loose.mdb"),
      {QStringLiteral("insert into ProblemsContents values (777,31,NULL),(51,888,NULL)"),
       QStringLiteral("insert into ProblemsFeatures values (51,10,1,9,NULL),(51,66,1,1,NULL)"),
       QStringLiteral("insert into Syllabus values (32,9,1,NULL,NULL)"),
       QStringLiteral("insert into CoursesSubjects values (1,9)"),
       QStringLiteral("insert into Problem values (54,77,'P-54','b54',NULL,NULL,NULL)"),
       QStringLiteral("update Course set KeySubjectID=9"),
       QStringLiteral("insert into FeaturePartition values (122,12,'丙',3,3,0,NULL,NULL)"),
       QStringLiteral("insert into CoursesFeaturePartitions values (1,122,0.9,NULL)"),
       QStringLiteral("insert into Course values (2,1,'线性代数',NULL,NULL,NULL,NULL)"),
       QStringLiteral("insert into Content values (35,2,0,0,'矩阵',NULL,NULL)")})));
  const QMap<QString, int> expected{{QStringLiteral("Course"), 1},
                                    {QStringLiteral("ProblemsContents"), 2},
                                    {QStringLiteral("ProblemsFeatures"), 1},
                                    {QStringLiteral("ProblemsFeatures.Value"), 1},
                                    {QStringLiteral("Syllabus"), 1},
                                    {QStringLiteral("CoursesSubjects"), 1},
                                    {QStringLiteral("Problem"), 1}};
  EXPECT_EQ(import.SkippedRows(), expected);
  EXPECT_TRUE(import.SkippedSummary().startsWith(QStringLiteral("文件中引用缺失而未导入或置空的记录：")));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsContents")), 3);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures")), 5);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures where Value is null and FeatureID=20")), 1);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from CoursesSubjects where SubjectID is null")), 0);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from CoursesFeaturePartitions where FeaturePartitionID=220")), 1);
  EXPECT_TRUE(Scalar(QStringLiteral("select ProblemGroupID from Problem where Body='b54'")).isNull());
  EXPECT_TRUE(Scalar(QStringLiteral("select KeySubjectID from Course where Name='高等数学'")).isNull());
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course where Name='线性代数'")), 0);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Content where CourseID=(select CourseID from Course where "
                                 "Name='高等数学')")), 5);
}

class InconsistentFile : public ImportTest {};

// A file whose own IDs or partition values cannot be told apart is refused,
// naming the table or feature, and nothing of it is written.
TEST_F(InconsistentFile, IdsThatCannotBeToldApartAreRefused) {
  const struct {
    const char* extraRow;
    const char* reason;
  } rows[] = {
      {"insert into Content values (31,1,0,0,'重复','x',NULL)", "文件中表 Content 的编号 31 重复。"},
      {"insert into Content values (NULL,1,0,0,'无编号','x',NULL)", "文件中表 Content 有一行没有编号。"},
      {"insert into FeaturePartition values (122,12,'丙',1,1,0,NULL,NULL)", "文件中指标 自定义 的分区编号 1 重复。"},
  };
  const QStringList before = Snapshot();
  int round = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.extraRow);
    import.session().bAutoMap = true;
    const TransferResult result =
        import.ImportCourseData(DemoFile(QStringLiteral("ids%1.mdb").arg(++round), {QString::fromUtf8(row.extraRow)}));
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_TRUE(result.reason.endsWith(QString::fromUtf8(row.reason))) << result.reason.toStdString();
    EXPECT_EQ(Snapshot(), before);
  }
}
