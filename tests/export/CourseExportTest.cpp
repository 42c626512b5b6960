#include <QDir>

#include "export/ExportFixture.h"

namespace {

// Course 10 (the one exported): subjects 1 and 2 through CoursesSubjects, key
// subject 4 on the course row, 5 on values, 3 on a syllabus row; contents 100..102; partitions 11 and 12 of
// feature 1, 21 of feature 2, 31 of feature 3; problem 1000 linked to two
// contents, 1001 in group 7, 1002 linked to nothing. Course 20 is a
// neighbour whose rows must stay out.
class CourseExport : public ExportTest {
 protected:
  void SetUp() override {
    run({"insert into Subject (SubjectID, name, description) values (-1,'公共基础',null),(1,'数学','理科'),(2,'物理',null),"
         "(3,'化学',null),(4,'计算机',null),(5,'生物',null)",
         "insert into Course (CourseID, KeySubjectID, Name, Description, CourseCode, ContentHierarchy, Lastupdated) "
         "values (10, 4, '数据结构', '必修', 'DS-1', '<ContentHierarchy/>', '2024-01-02 03:04:05')",
         "insert into Course (CourseID, KeySubjectID, Name) values (20,3,'有机化学')",
         "insert into CoursesSubjects (CourseID, SubjectID) values (10,1),(10,2),(20,3)",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (100,10,0,1,'第一章'),"
         "(101,10,100,2,'第一节'),(102,10,0,1,'第二章'),(200,20,0,1,'烷烃')",
         // Content 101's syllabus row is filed under a subject the course does not list.
         "insert into Syllabus (ContentID, SubjectID, DefaultWeight, Requirement) values (100,1,0.5,'掌握'),"
         "(101,3,0.25,'了解'),(200,3,1,null)",
         "insert into Feature (FeatureID, name, FeatureNumber, type) values (1,'题型',1,0),(2,'认知层次',0,0),(9,'其他',0,0)",
         "insert into Feature (FeatureID, name, FeatureNumber, type, minimum, maximum, valueincrement) "
         "values (3, '答题时间', 3, 1, 1, 30, 1)",
         "insert into FeaturePartition (FeaturePartitionID, FeatureID, name, Minimum, Maximum, FeaturePartitionNumber, "
         "ExtProperties) values (11,1,'单选题',1,1,1,'<EXT/>'),(12,1,'多选题',2,null,null,null),(21,2,'识记',1,null,null,null),"
         "(31,3,'分钟',1,null,null,null),(91,9,'别的',1,null,null,null)",
         "insert into CoursesFeaturePartitions (CourseID, FeaturePartitionID, DefaultWeight) values (10,11,0.5),"
         "(10,12,0.5),(10,21,null),(10,31,null),(20,91,null)",
         "insert into ProblemGroup (ProblemGroupID, ProblemHierarchy) values (7,'<ProblemHierarchy/>'),(8,'<other/>')",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode, Body, Score) values (1000,0,'P-1000','题干',2.5),"
         "(1001,7,'P-1001',null,null),(1002,0,'P-1002',null,null),(2000,8,'P-2000',null,null)",
         "insert into ProblemsContents (ProblemID, ContentID) values (1000,100),(1000,101),(1001,102),(2000,200)",
         "insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value) values (1000,1,5,1),(1000,2,5,1),"
         "(1000,9,5,1),(1001,3,5,12),(1002,1,5,2),(2000,9,3,1)"});
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
      // Key subject 4 only on the course row, 5 only on values; -1 always.
      {"select SubjectID from Subject order by 1", "-1,1,2,3,4,5"},
      {"select CourseID from Course", "10"},
      {"select SubjectID from CoursesSubjects order by 1", "1,2"},
      {"select ContentID from Content order by 1", "100,101,102"},
      {"select ContentID || SubjectID from Syllabus order by 1", "1001,1013"},
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

// A replaced file holds exactly what a new one would.
TEST_F(CourseExport, ReplacedFileHoldsWhatANewOneWould) {
  const QString fresh = exportCourse(10, QStringLiteral("fresh.mdb"));
  const QString replaced = exportCourse(20, QStringLiteral("replaced.mdb"));
  ui->answers = {Answer::Yes, Answer::Yes};
  exportCourse(10, QStringLiteral("replaced.mdb"));
  EXPECT_EQ(dump(replaced), dump(fresh));
}

// A failure or a cancel at any stage leaves every file byte for byte as it
// was, no new file or working copy behind, and never says the export finished.
TEST_F(CourseExport, FailureOrCancelAtAnyStageLeavesEveryFileAsItWas) {
  const QString existing = exportCourse(20, "existing.mdb"), broken = exportCourse(20, "broken.mdb");
  execIn(broken, "alter table Problem add column Reviewer text");  // a column the system lacks
  std::vector<std::pair<QString, int>> rows;  // the file, the bar the export is cancelled at
  for (const int stage : {0, 25, 45, 70, 80}) rows.insert(rows.end(), {{existing, stage}, {env.path("new.mdb"), stage}});
  rows.insert(rows.end(), {{broken, -1}, {env.path("new.mdb"), -2}});  // -2: the template has a column too many
  const auto files = [&] {
    QMap<QString, QByteArray> all;
    for (const QString& file : QDir(env.home()).entryList(QDir::Files | QDir::Hidden)) all[file] = readFile(env.path(file));
    return all;
  };
  for (const auto& [target, stage] : rows) {
    SCOPED_TRACE(testing::Message() << target.toStdString() << stage);
    if (stage == -2) execIn(env.path("Template.mdb"), "alter table ProblemsFeatures add column Weight real");
    const QMap<QString, QByteArray> before = files();
    auto cancel = std::make_shared<CancelFlag>();
    CExport exporter(*ui, cancel);
    progress.clear();
    exporter.ExportProgress = [&, stage = stage](qint16 bar, const QString& message) {
      progress.emplace_back(bar, message);
      if (stage >= 0 && bar >= stage) cancel->request();
    };
    ui->answers = {Answer::Yes, Answer::Yes};
    QString file = target;
    const TransferResult result = exporter.ExportCourseData(file, 10);
    EXPECT_EQ(result.status, stage >= 0 ? TransferResult::Status::Cancelled : TransferResult::Status::Failed);
    EXPECT_TRUE(stage >= 0 || result.reason.contains(stage == -1 ? "Reviewer" : "Weight")) << result.reason.toStdString();
    EXPECT_TRUE(progress.empty() || progress.back().second != Res::str(347));
    EXPECT_TRUE(files() == before);
  }
}

}  // namespace
