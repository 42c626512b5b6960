// Files the import refuses, questions the user answers, cancels, failures in
// the middle and references the file does not hold.
#include <QDate>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "import/ImportFixture.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {
const QString kConflictTail = QStringLiteral(
    "，请选择是否继续\r\n   选择[确定]更改名称后继续导入课程，\r\n   选择[取消]则不导入该课程。");
}

class RefusedFile : public ImportTest {};

TEST_F(RefusedFile, EmptyCourseTableIsRefusedBeforeAnythingIsWritten) {
  ExchangeFile file(env, QStringLiteral("empty.mdb"));
  file.exec(QStringLiteral("insert into Subject values (1,'数学',NULL)"));
  file.close();
  const QStringList before = Snapshot();

  EXPECT_FALSE(ImportCourse(file.path()));
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].prompt, Res::str(318));
  EXPECT_EQ(ui->shown[0].flags, Vb::Exclamation);
  EXPECT_EQ(ui->shown[0].title, QStringLiteral("导入导出"));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(progress.empty());
}

TEST_F(RefusedFile, MissingTableIsAConnectionFailure) {
  ExchangeFile file(env, QStringLiteral("broken.mdb"));
  WriteDemoCourse(file);
  file.exec(QStringLiteral("drop table ProblemsContents"));
  file.close();
  const QStringList before = Snapshot();

  EXPECT_FALSE(ImportCourse(file.path()));
  ASSERT_EQ(ui->prompts().size(), 1);
  // The system's message, then the reason and the file.
  EXPECT_TRUE(ui->prompts()[0].startsWith(QStringLiteral("连接数据库失败！\r\n"))) << ui->prompts()[0].toStdString();
  EXPECT_TRUE(ui->prompts()[0].contains(QStringLiteral("ProblemsContents")));
  EXPECT_TRUE(ui->prompts()[0].endsWith(file.path()));
  EXPECT_EQ(ui->shown[0].flags, Vb::OKOnly);
  EXPECT_TRUE(ui->shown[0].title.isEmpty());
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(RefusedFile, FileThatIsNoDatabaseIsAConnectionFailure) {
  const QString path = env.path(QStringLiteral("text.mdb"));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("this is not a database at all, just some text standing in for one");
  f.close();

  EXPECT_FALSE(ImportCourse(path));
  ASSERT_EQ(ui->prompts().size(), 1);
  EXPECT_TRUE(ui->prompts()[0].startsWith(QStringLiteral("连接数据库失败！\r\n"))) << ui->prompts()[0].toStdString();
}

// Each way a path can fail to be an exchange file is named after the system's
// message, with the path; nothing is written and nothing hangs (a fifo).
TEST_F(RefusedFile, EachOpenFailureSaysWhy) {
  const QString dir = env.path(QStringLiteral("odd"));
  ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/folder.mdb")));
  QFile(dir + QStringLiteral("/empty.mdb")).open(QIODevice::WriteOnly);
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir + QStringLiteral("/fifo.mdb")).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(dir + QStringLiteral("/gone.mdb"), dir + QStringLiteral("/dangling.mdb")));
  const struct {
    const char* name;
    const char* reason;
  } rows[] = {{"missing.mdb", "文件不存在。"},   {"dangling.mdb", "文件不存在。"},
              {"folder.mdb", "这是文件夹，不是文件。"}, {"fifo.mdb", "不是普通文件。"},
              {"empty.mdb", "文件是空的。"}};
  const QStringList before = Snapshot();
  for (const auto& row : rows) {
    ui->shown.clear();
    const QString path = dir + QLatin1Char('/') + QLatin1String(row.name);
    EXPECT_FALSE(ImportCourse(path)) << row.name;
    ASSERT_EQ(ui->prompts().size(), 1) << row.name;
    EXPECT_EQ(ui->prompts()[0], QStringLiteral("连接数据库失败！\r\n") + QString::fromUtf8(row.reason) +
                                    QStringLiteral("\r\n") + path);
  }
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(RefusedFile, PaperFileWithoutPapersIsRefused) {
  ExchangeFile file(env, QStringLiteral("nopaper.mdb"));
  file.close();
  EXPECT_FALSE(import.ImportPaperData(file.path()).succeeded());
  EXPECT_EQ(ui->prompts(), QStringList{Res::str(318)});
}

class NameConflict : public ImportTest {};

TEST_F(NameConflict, CancelWritesNothingAndShowsNoMapping) {
  env.exec(QStringLiteral("insert into Course (Name) values ('高等数学')"));
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.close();
  const QStringList before = Snapshot();
  ui->answers.push_back(Vb::Cancel);

  EXPECT_FALSE(ImportCourse(file.path()));
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].prompt, QStringLiteral("已经存在相同名称的课程高等数学") + kConflictTail);
  EXPECT_EQ(ui->shown[0].flags, Vb::OKCancel | Vb::Exclamation);
  EXPECT_EQ(ui->shown[0].title, QStringLiteral("请选择"));
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(NameConflict, OkImportsUnderTheDatedName) {
  env.exec(QStringLiteral("insert into Course (Name) values ('高等数学')"));
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.close();
  ui->answers.push_back(Vb::OK);
  ScriptDemoMapping();

  ASSERT_TRUE(ImportCourse(file.path()));
  const QString renamed = QStringLiteral("高等数学[%1]").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course where Name='%1' and CourseCode='%1'").arg(renamed)), 1);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course where Name='高等数学'")), 1);
}

TEST_F(NameConflict, NameWithQuotesIsFoundAndWritten) {
  const QString name = QStringLiteral("O'Neil's \"数学\"; drop table Course --");
  ExchangeFile file(env, QStringLiteral("quote.mdb"));
  WriteDemoCourse(file, name);
  file.close();
  auto dal = env.dal();
  dal->ExecQuery(QString(), QStringLiteral("insert into Course (Name) values (?)"), QVariantList{name});
  ui->answers.push_back(Vb::OK);
  ScriptDemoMapping();

  ASSERT_TRUE(ImportCourse(file.path()));
  EXPECT_EQ(ui->prompts().value(0), QStringLiteral("已经存在相同名称的课程") + name + kConflictTail);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course")), 3);
}

TEST_F(NameConflict, AutomaticMappingStillAsks) {
  env.exec(QStringLiteral("insert into Course (Name) values ('高等数学')"));
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.close();
  import.session().bAutoMap = true;
  ui->answers.push_back(Vb::Cancel);

  EXPECT_FALSE(ImportCourse(file.path()));
  EXPECT_EQ(ui->prompts().size(), 1);
}

TEST_F(NameConflict, NamesDifferingOnlyInCaseAreTheSameCourse) {
  const struct {
    const char* stored;
    const char* imported;
    bool asked;
  } rows[] = {{"Algebra", "algebra", true}, {"GEOMETRY", "Geometry", true}, {"Logic", "Logic II", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.imported);
    env.exec(QStringLiteral("insert into Course (Name) values ('%1')").arg(QLatin1String(row.stored)));
    ExchangeFile file(env, QStringLiteral("course.mdb"));
    WriteDemoCourse(file, QLatin1String(row.imported));
    file.close();
    ui->shown.clear();
    ui->answers.push_back(Vb::Cancel);
    ScriptDemoMapping();

    EXPECT_EQ(ImportCourse(file.path()), !row.asked);
    EXPECT_EQ(ui->prompts().value(0) == QStringLiteral("已经存在相同名称的课程") + QLatin1String(row.imported) + kConflictTail,
              row.asked);
    ui->answers.clear();
    ui->mappingSteps.clear();
  }
}

class MappingCancel : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    ExchangeFile file(env, QStringLiteral("course.mdb"));
    WriteDemoCourse(file);
    path = file.path();
  }
  void CancelAtStep(size_t step) {
    ScriptDemoMapping();
    ui->mappingSteps.resize(step);
    ui->mappingSteps.back() = [](MappingModel& form) { form.cmdCancel_Click(); };
  }
  QString path;
};

TEST_F(MappingCancel, SubjectStepCancelWritesNothing) {
  const QStringList before = Snapshot();
  CancelAtStep(1);
  EXPECT_FALSE(ImportCourse(path));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(progress.empty());
}

TEST_F(MappingCancel, FeatureStepCancelTakesBackTheNumberedFeatureItCreated) {
  CancelAtStep(2);
  EXPECT_FALSE(ImportCourse(path));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Feature where FeatureNumber=7")), 0);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course")), 1);
  EXPECT_TRUE(progress.empty());
}

TEST_F(MappingCancel, PartitionStepCancelStopsBeforeTheNextFeature) {
  CancelAtStep(3);
  EXPECT_FALSE(ImportCourse(path));
  EXPECT_EQ(ui->shown.size(), 3u);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course")), 1);
  EXPECT_TRUE(progress.empty());
}

class TablePhaseFailure : public ImportTest {};

TEST_F(TablePhaseFailure, RollsBackEverythingTheTablePhaseWrote) {
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.close();
  ScriptDemoMapping();
  // The database itself refuses the feature values, as a full disk would.
  if (TestEnv::onPostgres()) {
    env.exec(QStringLiteral("create function refuse_row() returns trigger language plpgsql as "
                            "$$ begin raise exception 'disk full'; end $$"));
    env.exec(QStringLiteral("create trigger refuse before insert on ProblemsFeatures "
                            "for each row execute function refuse_row()"));
  } else {
    env.exec(QStringLiteral("create trigger refuse before insert on ProblemsFeatures begin "
                            "select raise(abort, 'disk full'); end"));
  }
  QStringList beforeTablePhase;
  import.ImportProgress = [&](qint16 n, const QString& text) {
    progress.emplace_back(n, text);
    if (n == 0) beforeTablePhase = Snapshot();
  };

  const QStringList before = Snapshot();
  const TransferResult result = import.ImportCourseData(file.path());
  EXPECT_EQ(result.status, TransferResult::Status::Failed);
  EXPECT_TRUE(result.reason.contains(QStringLiteral("disk full"))) << result.reason.toStdString();
  ASSERT_FALSE(beforeTablePhase.isEmpty());
  EXPECT_EQ(progress.back().first, 60);
  EXPECT_FALSE(import.session().ImportDestDAL().IsInTransaction());
  // One transaction: the feature 7 the mapping created is gone with the rest.
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Feature where FeatureNumber=7")), 0);

  // Once the cause is gone the same file imports completely.
  env.exec(TestEnv::onPostgres() ? QStringLiteral("drop trigger refuse on ProblemsFeatures")
                                  : QStringLiteral("drop trigger refuse"));
  import.session().releaseConnections();
  ScriptDemoMapping();
  ASSERT_TRUE(ImportCourse(file.path()));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures")), 4);
}

TEST_F(TablePhaseFailure, FailureRaisedByTheCallerMidwayAlsoRollsBack) {
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.close();
  ScriptDemoMapping();
  QStringList before;
  import.ImportProgress = [&](qint16 n, const QString&) {
    if (n == 0) before = Snapshot();
    if (n == 50) throw std::runtime_error("stopped");
  };
  const QStringList atStart = Snapshot();
  EXPECT_EQ(import.ImportCourseData(file.path()).status, TransferResult::Status::Failed);
  ASSERT_FALSE(before.isEmpty());
  EXPECT_EQ(Snapshot(), atStart);
}

class LooseReferences : public ImportTest {};

TEST_F(LooseReferences, RowsPointingOutsideTheFileAreSkippedAndCounted) {
  ExchangeFile file(env, QStringLiteral("loose.mdb"));
  WriteDemoCourse(file);
  file.exec(QStringLiteral("insert into ProblemsContents values (777,31,NULL),(51,888,NULL)"));
  file.exec(QStringLiteral("insert into ProblemsFeatures values (51,10,1,9,NULL),(51,66,1,1,NULL)"));
  file.exec(QStringLiteral("insert into Syllabus values (32,9,1,NULL,NULL)"));
  file.exec(QStringLiteral("insert into CoursesSubjects values (1,9)"));
  file.exec(QStringLiteral("insert into Problem values (54,77,'P-54','b54',NULL,NULL,NULL)"));
  file.close();
  ScriptDemoMapping();

  ASSERT_TRUE(ImportCourse(file.path()));
  const QMap<QString, int> expected{{QStringLiteral("ProblemsContents"), 2},
                                    {QStringLiteral("ProblemsFeatures"), 1},
                                    {QStringLiteral("ProblemsFeatures.Value"), 1},
                                    {QStringLiteral("Syllabus"), 1},
                                    {QStringLiteral("CoursesSubjects"), 1},
                                    {QStringLiteral("Problem"), 1}};
  EXPECT_EQ(import.SkippedRows(), expected);
  EXPECT_FALSE(import.SkippedSummary().isEmpty());
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsContents")), 3);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures")), 5);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures where Value is null and FeatureID=20")), 1);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from CoursesSubjects where SubjectID is null")), 0);
  EXPECT_TRUE(Scalar(QStringLiteral("select ProblemGroupID from Problem where Body='b54'")).isNull());
}

TEST_F(LooseReferences, UnusableContentTreeIsReportedAndTheImportGoesOn) {
  int round = 0;
  for (const QString& tree : {QStringLiteral("NULL"), QStringLiteral("''"), QStringLiteral("'<ROOT><CONTENT'"),
                              QStringLiteral("'<ROOT><CONTENT ID=\"x\"/></ROOT>'"),
                              QStringLiteral("'<ROOT><CONTENT ID=\"4711\"/></ROOT>'"),
                              QStringLiteral("'<ROOT><SECTION ID=\"31\"/></ROOT>'")}) {
    SCOPED_TRACE(tree.toStdString());
    const QString name = QStringLiteral("tree%1").arg(++round);
    ExchangeFile file(env, name + QStringLiteral(".mdb"));
    WriteDemoCourse(file, name);
    file.exec(QStringLiteral("update Course set ContentHierarchy=") + tree);
    file.close();
    ScriptDemoMapping();

    ASSERT_TRUE(ImportCourse(file.path()));
    EXPECT_EQ(import.SkippedRows().value(QStringLiteral("ContentHierarchy")), 1);
    EXPECT_EQ(progress.back().first, 100);
    // Contents arrived and kept the level the file gave them.
    EXPECT_EQ(Count(QStringLiteral("select LEVEL from Content where ContentID=(select max(ContentID) from Content "
                                   "where Name='第一小节')")),
              2);
  }
}

TEST_F(LooseReferences, SecondCourseRowOfAFileIsIgnoredAndItsContentsJoinTheFirst) {
  ExchangeFile file(env, QStringLiteral("two.mdb"));
  WriteDemoCourse(file);
  file.exec(QStringLiteral("insert into Course values (2,1,'线性代数',NULL,NULL,NULL,NULL)"));
  file.exec(QStringLiteral("insert into Content values (35,2,0,0,'矩阵',NULL,NULL)"));
  file.close();
  ScriptDemoMapping();

  ASSERT_TRUE(ImportCourse(file.path()));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course where Name='线性代数'")), 0);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Content where CourseID=(select CourseID from Course where "
                                 "Name='高等数学')")),
            5);
}

class InconsistentFile : public ImportTest {};

TEST_F(InconsistentFile, RepeatedPartitionValueNamesFeatureAndValueAndCreatesNothing) {
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.exec(QStringLiteral("insert into FeaturePartition values (122,12,'丙',1,1,0,NULL,NULL)"));
  file.close();
  import.session().bAutoMap = true;

  const TransferResult result = import.ImportCourseData(file.path());
  EXPECT_EQ(result.status, TransferResult::Status::Failed);
  EXPECT_TRUE(result.reason.endsWith(QStringLiteral("文件中指标 自定义 的分区编号 1 重复。"))) << result.reason.toStdString();
  EXPECT_EQ(Count(QStringLiteral("select count(*) from FeaturePartition where FeatureID=22")), 2);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Course")), 1);
}

// The file's own IDs must be whole numbers used once; a file that breaks this
// is refused, naming the table, and nothing of it is written.
TEST_F(InconsistentFile, RowIdsThatCannotBeToldApartAreRefused) {
  const struct {
    const char* extraRow;
    const char* reason;
  } rows[] = {
      {"insert into Content values (31,1,0,0,'重复','x',NULL)", "文件中表 Content 的编号 31 重复。"},
      {"insert into Content values (NULL,1,0,0,'无编号','x',NULL)", "文件中表 Content 有一行没有编号。"},
  };
  for (const auto& row : rows) {
    ExchangeFile file(env, QStringLiteral("ids.mdb"));
    WriteDemoCourse(file);
    file.exec(QString::fromUtf8(row.extraRow));
    file.close();
    import.session().bAutoMap = true;
    const QStringList before = Snapshot();
    const TransferResult result = import.ImportCourseData(file.path());
    EXPECT_EQ(result.status, TransferResult::Status::Failed) << row.extraRow;
    EXPECT_TRUE(result.reason.endsWith(QString::fromUtf8(row.reason))) << result.reason.toStdString();
    EXPECT_EQ(Snapshot(), before) << row.extraRow;
    QFile::remove(file.path());
  }
}

// Cancelled at each stage of the table phase, or while the subjects are
// paired, an import leaves the system database exactly as it was.
TEST_F(TablePhaseFailure, CancelAtAnyStageLeavesTheSystemDatabaseAsItWas) {
  ExchangeFile file(env, QStringLiteral("course.mdb"));
  WriteDemoCourse(file);
  file.close();
  const QStringList before = Snapshot();
  for (const int stage : {-1, 0, 20, 40, 60, 90}) {
    auto cancel = std::make_shared<CancelFlag>();
    CImport cancelled(*ui, cancel);
    cancelled.session().bAutoMap = true;
    if (stage < 0) cancel->request();
    cancelled.ImportProgress = [&](qint16 bar, const QString&) {
      if (bar >= stage) cancel->request();
    };
    const TransferResult result = cancelled.ImportCourseData(file.path());
    EXPECT_EQ(result.status, TransferResult::Status::Cancelled) << stage;
    EXPECT_EQ(Snapshot(), before) << stage;
  }
}
