#include "export/ExportFixture.h"

#include <QDir>

#include "data/DataError.h"

namespace {

// Course 10 (the one exported): subjects 1 and 2 through CoursesSubjects, key
// subject 4 only on the course row; contents 100..102; partitions 11 and 12 of
// feature 1, 21 of feature 2, 31 of feature 3; problem 1000 linked to two
// contents, 1001 in group 7, 1002 linked to nothing. Course 20 is a
// neighbour whose rows must stay out; course 30 has nothing at all.
class CourseExport : public ExportTest {
 protected:
  void SetUp() override {
    run({"insert into Subject (SubjectID, name, description) values (-1, '公共基础', null)",
         "insert into Subject (SubjectID, name, description) values (1, '数学', '理科')",
         "insert into Subject (SubjectID, name) values (2, '物理')",
         "insert into Subject (SubjectID, name) values (3, '化学')",
         "insert into Subject (SubjectID, name) values (4, '计算机')",
         "insert into Course (CourseID, KeySubjectID, Name, Description, CourseCode, ContentHierarchy, Lastupdated) "
         "values (10, 4, '数据结构', '必修', 'DS-1', '<ContentHierarchy/>', '2024-01-02 03:04:05')",
         "insert into Course (CourseID, KeySubjectID, Name) values (20, 3, '有机化学')",
         "insert into Course (CourseID, KeySubjectID, Name) values (30, null, '空课程')",
         "insert into CoursesSubjects (CourseID, SubjectID) values (10, 1)",
         "insert into CoursesSubjects (CourseID, SubjectID) values (10, 2)",
         "insert into CoursesSubjects (CourseID, SubjectID) values (20, 3)",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (100, 10, 0, 1, '第一章')",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (101, 10, 100, 2, '第一节')",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (102, 10, 0, 1, '第二章')",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (200, 20, 0, 1, '烷烃')",
         "insert into Syllabus (ContentID, SubjectID, DefaultWeight, Requirement) values (100, 1, 0.5, '掌握')",
         "insert into Syllabus (ContentID, SubjectID, DefaultWeight, Requirement) values (101, 2, 0.25, '了解')",
         "insert into Syllabus (ContentID, SubjectID, DefaultWeight) values (200, 3, 1)",
         "insert into Feature (FeatureID, name, FeatureNumber, type) values (1, '题型', 1, 0)",
         "insert into Feature (FeatureID, name, FeatureNumber, type) values (2, '认知层次', 0, 0)",
         "insert into Feature (FeatureID, name, FeatureNumber, type, minimum, maximum, valueincrement) "
         "values (3, '答题时间', 3, 1, 1, 30, 1)",
         "insert into Feature (FeatureID, name, FeatureNumber, type) values (9, '其他', 0, 0)",
         "insert into FeaturePartition (FeaturePartitionID, FeatureID, name, Minimum, Maximum, "
         "FeaturePartitionNumber, ExtProperties) values (11, 1, '单选题', 1, 1, 1, '<EXT/>')",
         "insert into FeaturePartition (FeaturePartitionID, FeatureID, name, Minimum) values (12, 1, '多选题', 2)",
         "insert into FeaturePartition (FeaturePartitionID, FeatureID, name, Minimum) values (21, 2, '识记', 1)",
         "insert into FeaturePartition (FeaturePartitionID, FeatureID, name, Minimum) values (31, 3, '分钟', 1)",
         "insert into FeaturePartition (FeaturePartitionID, FeatureID, name, Minimum) values (91, 9, '别的', 1)",
         "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID, DefaultWeight) values (10, 11, 0.5)",
         "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID, DefaultWeight) values (10, 12, 0.5)",
         "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID) values (10, 21)",
         "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID) values (10, 31)",
         "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID) values (20, 91)",
         "insert into ProblemGroup (ProblemGroupID, ProblemHierarchy) values (7, '<ProblemHierarchy/>')",
         "insert into ProblemGroup (ProblemGroupID, ProblemHierarchy) values (8, '<other/>')",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode, Body, Score) values (1000, 0, 'P-1000', '题干', 2.5)",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode) values (1001, 7, 'P-1001')",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode) values (1002, 0, 'P-1002')",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode) values (2000, 8, 'P-2000')",
         "insert into ProblemsContents (ProblemID, ContentID) values (1000, 100)",
         "insert into ProblemsContents (ProblemID, ContentID) values (1000, 101)",
         "insert into ProblemsContents (ProblemID, ContentID) values (1001, 102)",
         "insert into ProblemsContents (ProblemID, ContentID) values (2000, 200)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (1000, 1, 4, 1)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (1000, 2, 4, 1)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (1000, 9, 4, 1)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (1001, 3, 4, 12)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (1002, 1, 4, 2)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (2000, 9, 3, 1)"});
  }

  QString exportCourse(qint32 courseId, const QString& name = QStringLiteral("out.mdb")) {
    QString file = env.path(name);
    newExport()->ExportCourseData(file, courseId);
    return file;
  }

  static QStringList ids(const QString& file, const QString& table, const QString& columns = QStringLiteral("*")) {
    return column(file, QStringLiteral("select ") + columns + QStringLiteral(" from ") + table +
                            QStringLiteral(" order by 1"));
  }
};

TEST_F(CourseExport, WritesTheCourseWithEverythingThatHangsOnIt) {
  const QString file = exportCourse(10);

  EXPECT_TRUE(ui->shown.empty()) << "a missing destination is created without a question";
  EXPECT_EQ(ids(file, "Subject"), QStringList({"-1", "1", "2", "4"})) << "key subject 4 is not in CoursesSubjects";
  EXPECT_EQ(ids(file, "Course"), QStringList({"10"}));
  EXPECT_EQ(ids(file, "CoursesSubjects", "SubjectID"), QStringList({"1", "2"}));
  EXPECT_EQ(ids(file, "Content"), QStringList({"100", "101", "102"}));
  EXPECT_EQ(ids(file, "Syllabus"), QStringList({"100", "101"}));
  EXPECT_EQ(ids(file, "Feature"), QStringList({"1", "2", "3"})) << "feature 1 reached by two partitions, once";
  EXPECT_EQ(ids(file, "FeaturePartition"), QStringList({"11", "12", "21", "31"}));
  EXPECT_EQ(ids(file, "CoursesFeaturePartitions", "FeaturePartitionID"), QStringList({"11", "12", "21", "31"}));
  EXPECT_EQ(ids(file, "ProblemGroup"), QStringList({"7"}));
  EXPECT_EQ(ids(file, "Problem"), QStringList({"1000", "1001"})) << "linked twice, exported once; unlinked left out";
  EXPECT_EQ(column(file, "select ProblemID || '-' || ContentID from ProblemsContents order by 1"),
            QStringList({"1000-100", "1000-101", "1001-102"}));
  EXPECT_EQ(column(file, "select ProblemID || '-' || FeatureID from ProblemsFeatures order by 1"),
            QStringList({"1000-1", "1000-2", "1001-3"}))
      << "only values of the course's features, only of exported problems";
  EXPECT_EQ(count(file, "PaperDesign") + count(file, "Paper") + count(file, "AnswerSheet"), 0);
}

TEST_F(CourseExport, CopiesEveryColumnUnchanged) {
  const QString file = exportCourse(10);
  EXPECT_EQ(column(file, "select Name || '|' || Description || '|' || CourseCode || '|' || ContentHierarchy || '|' || "
                         "Lastupdated || '|' || KeySubjectID from Course"),
            QStringList({"数据结构|必修|DS-1|<ContentHierarchy/>|2024-01-02 03:04:05|4"}));
  EXPECT_EQ(column(file, "select description is null from Subject where SubjectID=-1"), QStringList({"1"}));
  EXPECT_EQ(column(file, "select Body || '|' || Score from Problem where ProblemID=1000"), QStringList({"题干|2.5"}));
  EXPECT_EQ(column(file, "select ExtProperties from FeaturePartition where FeaturePartitionID=11"),
            QStringList({"<EXT/>"}));
  EXPECT_EQ(column(file, "select maximum || '/' || valueincrement from Feature where FeatureID=3"),
            QStringList({"30.0/1.0"}));
}

TEST_F(CourseExport, RaisesFourteenProgressEventsInOrder) {
  exportCourse(10);
  EXPECT_EQ(bars(), (std::vector<int>{0, 10, 15, 20, 25, 30, 35, 40, 45, 50, 60, 70, 80, 100}));
  QStringList messages;
  for (const auto& p : progress) messages << p.second;
  QStringList expected;
  for (int id = 334; id <= 347; ++id) expected << Res::str(id);
  EXPECT_EQ(messages, expected);
}

TEST_F(CourseExport, CourseWithoutAnythingStillExports) {
  const QString file = exportCourse(30);
  EXPECT_EQ(ids(file, "Subject"), QStringList({"-1"})) << "no subjects and no key subject: only the fixed -1";
  EXPECT_EQ(ids(file, "Course"), QStringList({"30"}));
  for (const char* table : {"CoursesSubjects", "Content", "Syllabus", "Feature", "FeaturePartition",
                            "CoursesFeaturePartitions", "ProblemGroup", "Problem", "ProblemsContents",
                            "ProblemsFeatures"})
    EXPECT_EQ(count(file, table), 0) << table;
  EXPECT_EQ(progress.size(), 14u);
}

TEST_F(CourseExport, UnknownCourseWritesOnlyTheCommonSubject) {
  const QString file = exportCourse(77);
  EXPECT_EQ(ids(file, "Subject"), QStringList({"-1"}));
  EXPECT_EQ(count(file, "Course"), 0);
}

TEST_F(CourseExport, PropertyCourseIdIsUsedWhenNoneIsPassed) {
  QString file = env.path("prop.mdb");
  CExport exporter(*ui);  // nobody listening to the progress
  exporter.nCourseID = 20;
  exporter.ExportCourseData(file);
  EXPECT_EQ(ids(file, "Course"), QStringList({"20"}));
  EXPECT_EQ(ids(file, "Problem"), QStringList({"2000"}));
  EXPECT_EQ(ids(file, "Feature"), QStringList({"9"}));
}

TEST_F(CourseExport, SecondCallOnTheSameObjectFailsToConnect) {
  QString file = env.path("twice.mdb");
  auto exporter = newExport();
  exporter->ExportCourseData(file, 10);
  const QString before = dump(file);
  EXPECT_EQ(exporter->SourceDAL, nullptr);
  EXPECT_EQ(exporter->DestDAL, nullptr);

  ui->answers = {Vb::Yes, Vb::Yes};
  exporter->ExportCourseData(file, 20);
  ASSERT_EQ(ui->shown.size(), 3u);
  EXPECT_TRUE(ui->shown[2].prompt.startsWith("连接数据库失败！\r\n")) << ui->shown[2].prompt.toStdString();
  EXPECT_EQ(ui->shown[2].flags, Vb::OKOnly);
  EXPECT_TRUE(ui->shown[2].title.isEmpty()) << "the application title";
  EXPECT_EQ(dump(file), before);
  EXPECT_EQ(progress.size(), 14u) << "the second call writes nothing";
}

TEST_F(CourseExport, OverwritingAFileThatHoldsAnotherCourseEmptiesItFirst) {
  const QString file = exportCourse(20);
  ui->answers = {Vb::Yes, Vb::Yes};
  exportCourse(10);
  EXPECT_EQ(ids(file, "Course"), QStringList({"10"}));
  EXPECT_EQ(ids(file, "Problem"), QStringList({"1000", "1001"}));
  EXPECT_EQ(ids(file, "Subject"), QStringList({"-1", "1", "2", "4"}));
}

// The original wrote "(-1,)" for a course without key subject and failed.
TEST_F(CourseExport, EmptyReferencesDoNotBreakTheIdLists) {
  run({"insert into CoursesSubjects (CourseID, SubjectID) values (30, null)",
       "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID) values (30, null)"});
  const QString file = exportCourse(30);
  EXPECT_EQ(ids(file, "Subject"), QStringList({"-1"}));
  EXPECT_EQ(count(file, "CoursesSubjects"), 1);
  EXPECT_EQ(count(file, "Feature"), 0);
}

TEST_F(CourseExport, SystemColumnMissingInTheExchangeFileIsNotExported) {
  const QString file = freshExchangeFile("narrow.mdb");
  execIn(file, "alter table Problem drop column Body");
  QString path = file;
  ui->answers = {Vb::Yes, Vb::Yes};
  newExport()->ExportCourseData(path, 10);
  EXPECT_EQ(ids(file, "Problem"), QStringList({"1000", "1001"}));
  EXPECT_EQ(column(file, "select ProblemCode from Problem order by 1"), QStringList({"P-1000", "P-1001"}));
}

// A failure part-way leaves the exchange file exactly as it was.
TEST_F(CourseExport, FailurePartWayLeavesAnOverwrittenFileUnchanged) {
  const QString file = exportCourse(20);
  execIn(file, "alter table Problem add column Reviewer text");
  const QString before = dump(file);
  progress.clear();

  ui->answers = {Vb::Yes, Vb::Yes};
  QString path = file;
  auto exporter = newExport();
  const TransferResult result = exporter->ExportCourseData(path, 10);
  EXPECT_EQ(result.status, TransferResult::Status::Failed) << "an exchange column the system lacks must fail the export";
  EXPECT_TRUE(result.reason.contains(QString::number(DataError::ItemNotFound)) && result.reason.contains("Reviewer"))
      << result.reason.toStdString();
  EXPECT_EQ(bars().back(), 60) << "the bar stays at the stage that failed";
  EXPECT_EQ(dump(file), before);
  EXPECT_EQ(exporter->DestDAL, nullptr) << "the exchange file is let go";
}

TEST_F(CourseExport, FailurePartWayLeavesNoNewFileBehind) {
  execIn(env.path("Template.mdb"), "alter table ProblemsFeatures add column Weight real");
  const QStringList before = QDir(env.home()).entryList(QDir::Files | QDir::Hidden);
  QString path = env.path("new.mdb");
  EXPECT_EQ(newExport()->ExportCourseData(path, 10).status, TransferResult::Status::Failed);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(QDir(env.home()).entryList(QDir::Files | QDir::Hidden), before) << "no working copy left beside it";
  EXPECT_EQ(bars().back(), 80);
  EXPECT_NE(progress.back().second, Res::str(347)) << "a failed export never says it finished";
}

}  // namespace

namespace {
// Cancelled at each stage, an export leaves an existing file byte for byte as
// it was and no new file (nor working copy) behind.
class CancelledExport : public CourseExport {};

TEST_F(CancelledExport, LeavesEveryFileAsItWasAtEachStage) {
  QString existing = env.path("existing.mdb");
  ASSERT_TRUE(newExport()->ExportCourseData(existing, 20).succeeded());
  const QByteArray existingBytes = bytes(existing);
  for (const int stage : {0, 25, 45, 70, 80}) {
    for (const bool replace : {true, false}) {
      const QStringList filesBefore = QDir(env.home()).entryList(QDir::Files | QDir::Hidden);
      auto cancel = std::make_shared<CancelFlag>();
      CExport exporter(*ui, cancel);
      exporter.ExportProgress = [&](qint16 bar, const QString&) {
        if (bar >= stage) cancel->request();
      };
      if (replace) ui->answers = {Vb::Yes, Vb::Yes};
      QString file = replace ? existing : env.path("new.mdb");
      const TransferResult result = exporter.ExportCourseData(file, 10);
      EXPECT_EQ(result.status, TransferResult::Status::Cancelled) << stage;
      EXPECT_TRUE(bytes(existing) == existingBytes) << stage;
      EXPECT_EQ(QDir(env.home()).entryList(QDir::Files | QDir::Hidden), filesBefore) << stage << replace;
    }
  }
}
}  // namespace
