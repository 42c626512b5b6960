#include "export/ExportFixture.h"

#include <QDir>

#include "data/DataError.h"

namespace {

// Course 10 (the one exported): subjects 1 and 2 through CoursesSubjects, key
// subject 4 only on the course row; contents 100..102; partitions 11 and 12 of
// feature 1, 21 of feature 2, 31 of feature 3; problem 1000 linked to two
// contents, 1001 in group 7, 1002 linked to nothing. Course 20 is a
// neighbour whose rows must stay out; course 30 has nothing at all, course 40
// only a key subject.
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
         "insert into Course (CourseID, KeySubjectID, Name) values (40, 3, '化学实验')",
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

  static QString ids(const QString& file, const QString& sql) { return column(file, sql).join(','); }
};

TEST_F(CourseExport, WritesTheCourseWithEverythingThatHangsOnItUnchanged) {
  const QString file = exportCourse(10);
  EXPECT_TRUE(ui->shown.empty()) << "a missing destination is created without a question";
  expectProgressToTheEnd();
  const std::pair<const char*, const char*> rows[] = {
      // Key subject 4 only on the course row and the values; -1 always.
      {"select SubjectID from Subject order by 1", "-1,1,2,4"},
      {"select CourseID from Course", "10"},
      {"select SubjectID from CoursesSubjects order by 1", "1,2"},
      {"select ContentID from Content order by 1", "100,101,102"},
      {"select ContentID || SubjectID from Syllabus order by 1", "1001,1012"},
      {"select FeatureID from Feature order by 1", "1,2,3"},  // feature 1 reached by two partitions, once
      {"select FeaturePartitionID from FeaturePartition order by 1", "11,12,21,31"},
      {"select FeaturePartitionID from CoursesFeaturePartitions order by 1", "11,12,21,31"},
      {"select ProblemGroupID from ProblemGroup", "7"},
      {"select ProblemID from Problem order by 1", "1000,1001"},  // linked twice, once; unlinked left out
      {"select ProblemID || '-' || ContentID from ProblemsContents order by 1", "1000-100,1000-101,1001-102"},
      // Only values of the course's features, only of exported problems.
      {"select ProblemID || '-' || FeatureID from ProblemsFeatures order by 1", "1000-1,1000-2,1001-3"},
      {"select count(*) from PaperDesign, Paper, AnswerSheet", "0"},
      {"select Name || '|' || Description || '|' || CourseCode || '|' || ContentHierarchy || '|' || Lastupdated || "
       "'|' || KeySubjectID from Course", "数据结构|必修|DS-1|<ContentHierarchy/>|2024-01-02 03:04:05|4"},
      {"select description is null from Subject where SubjectID=-1", "1"},
      {"select Body || '|' || Score from Problem where ProblemID=1000", "题干|2.5"},
      {"select ExtProperties from FeaturePartition where FeaturePartitionID=11", "<EXT/>"},
  };
  for (const auto& [sql, expected] : rows) EXPECT_EQ(ids(file, sql), expected) << sql;
}

// Courses with little or nothing, one that does not exist, and the course
// taken from the property when none is passed.
TEST_F(CourseExport, SparseUnknownAndPropertyCoursesExportWhatTheyHave) {
  run({"insert into CoursesSubjects (CourseID, SubjectID) values (30, null)",
       "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID) values (30, null)"});
  const struct {
    int course;  // -1: the property, set to 20
    const char *subjects, *courses, *problems, *features;
  } rows[] = {{30, "-1", "30", "", ""}, {40, "-1,3", "40", "", ""}, {77, "-1", "", "", ""}, {-1, "-1,3", "20", "2000", "9"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.course);
    QString file = env.path(QStringLiteral("c%1.mdb").arg(row.course));
    CExport exporter(*ui);  // nobody listening to the progress
    exporter.nCourseID = 20;
    ASSERT_TRUE(exporter.ExportCourseData(file, row.course).succeeded());
    EXPECT_EQ(ids(file, "select SubjectID from Subject order by 1"), row.subjects);
    EXPECT_EQ(ids(file, "select CourseID from Course"), row.courses);
    EXPECT_EQ(ids(file, "select ProblemID from Problem"), row.problems);
    EXPECT_EQ(ids(file, "select FeatureID from Feature"), row.features);
    EXPECT_EQ(count(file, "Content") + count(file, "Syllabus") + count(file, "ProblemsFeatures"), row.course < 0 ? 3 : 0);
  }
}

// A replaced file holds exactly what a new one would; an exchange file
// without a column the system has gets the rest of the row.
TEST_F(CourseExport, ReplacedOrNarrowFileHoldsWhatANewOneWould) {
  const QString fresh = exportCourse(10, QStringLiteral("fresh.mdb"));
  const QString replaced = exportCourse(20, QStringLiteral("replaced.mdb"));
  ui->answers = {Vb::Yes, Vb::Yes};
  exportCourse(10, QStringLiteral("replaced.mdb"));
  EXPECT_EQ(dump(replaced), dump(fresh));

  const QString narrow = freshExchangeFile("narrow.mdb");
  execIn(narrow, "alter table Problem drop column Body");
  ui->answers = {Vb::Yes, Vb::Yes};
  exportCourse(10, QStringLiteral("narrow.mdb"));
  EXPECT_EQ(ids(narrow, "select ProblemCode from Problem order by 1"), "P-1000,P-1001");
}

// A failure part-way leaves a replaced file as it was and no new file or
// working copy behind, and never says the export finished.
TEST_F(CourseExport, FailurePartWayLeavesEveryFileAsItWas) {
  const QString replaced = exportCourse(20, QStringLiteral("replaced.mdb"));
  execIn(replaced, "alter table Problem add column Reviewer text");
  const struct {
    QString file, templateChange, reason;
  } rows[] = {{replaced, QString(), QStringLiteral("Reviewer")},
              {env.path("new.mdb"), QStringLiteral("alter table ProblemsFeatures add column Weight real"),
               QStringLiteral("Weight")}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file.toStdString());
    if (!row.templateChange.isEmpty()) execIn(env.path("Template.mdb"), row.templateChange);
    const QStringList filesBefore = QDir(env.home()).entryList(QDir::Files | QDir::Hidden);
    const QString before = QFile::exists(row.file) ? dump(row.file) : QString();
    progress.clear();
    ui->answers = {Vb::Yes, Vb::Yes};
    QString path = row.file;
    const TransferResult result = newExport()->ExportCourseData(path, 10);
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_TRUE(result.reason.contains(row.reason)) << result.reason.toStdString();
    EXPECT_EQ(QFile::exists(row.file) ? dump(row.file) : QString(), before);
    EXPECT_EQ(QDir(env.home()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    EXPECT_NE(progress.back().second, Res::str(347));
  }
}

// Cancelled at each stage, an export leaves an existing file byte for byte as
// it was and no new file (nor working copy) behind.
TEST_F(CourseExport, CancelAtEachStageLeavesEveryFileAsItWas) {
  QString existing = env.path("existing.mdb");
  ASSERT_TRUE(newExport()->ExportCourseData(existing, 20).succeeded());
  const QByteArray existingBytes = bytes(existing);
  for (const int stage : {0, 25, 45, 70, 80}) {
    for (const bool replace : {true, false}) {
      SCOPED_TRACE(testing::Message() << stage << replace);
      const QStringList filesBefore = QDir(env.home()).entryList(QDir::Files | QDir::Hidden);
      auto cancel = std::make_shared<CancelFlag>();
      CExport exporter(*ui, cancel);
      exporter.ExportProgress = [&](qint16 bar, const QString&) {
        if (bar >= stage) cancel->request();
      };
      if (replace) ui->answers = {Vb::Yes, Vb::Yes};
      QString file = replace ? existing : env.path("new.mdb");
      EXPECT_EQ(exporter.ExportCourseData(file, 10).status, TransferResult::Status::Cancelled);
      EXPECT_TRUE(bytes(existing) == existingBytes);
      EXPECT_EQ(QDir(env.home()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    }
  }
}

}  // namespace
