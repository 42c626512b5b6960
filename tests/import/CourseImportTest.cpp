// A whole course travels from an exchange file into a system database that
// already holds other subjects, features and partitions under other IDs, and
// back out and in again.
#include <QDate>

#include "export/CExport.h"
#include "import/ImportFixture.h"
#include "resources/Strings.h"

class CourseImport : public ImportTest {};

// Mapped by hand, every row arrives with its references translated; exported
// again and imported under a dated name with automatic mapping, the copy has
// the same rows under new IDs again.
TEST_F(CourseImport, EveryRowArrivesTranslatedAndTheRoundTripGivesTheSameCourse) {
  const auto list = [](const char* rows) { return QStringLiteral("select group_concat(r) from (%1) t").arg(QString::fromUtf8(rows)); };
  const std::pair<QString, QString> rows[] = {
      {"select KeySubjectID || '|' || CourseCode || '|' || Description from Course where CourseID={course}", "7|高等数学|微积分"},
      {list("select ContentID || ':' || PARENTCONTENTID || '/' || LEVEL as r from Content where CourseID={course} "
            "order by ContentID"), "{c1}:0/0,{c2}:{c1}/1,{c3}:{c2}/2,{c4}:0/0"},
      {"select ContentHierarchy from Course where CourseID={course}",
       "<ROOT><CONTENT ID=\"{c1}\"><CONTENT ID=\"{c2}\"><CONTENT ID=\"{c3}\"/></CONTENT></CONTENT><CONTENT ID=\"{c4}\"/></ROOT>"},
      // Syllabus, the course's subjects and the values through the subject map.
      {list("select ContentID || ':' || SubjectID || ':' || DefaultWeight || ':' || Requirement as r from Syllabus "
            "where ContentID in ({c1},{c2},{c3},{c4}) order by ContentID"), "{c1}:7:0.5:掌握,{c4}:3:0.25:了解"},
      {list("select SubjectID as r from CoursesSubjects where CourseID={course} order by SubjectID"), "3,7"},
      // Paired partitions with their weights, those of the type-1 feature in bulk with weight 0.
      {list("select FeaturePartitionID || ':' || cast(DefaultWeight * 10 as integer) as r from CoursesFeaturePartitions "
            "where CourseID={course} order by FeaturePartitionID"), "200:3,201:2,210:0,211:0,212:0,220:1,221:5"},
      {"select count(*) from Feature where FeatureNumber=5 or (FeatureNumber=7 and name='时长')", "2"},  // 7 created once
      // In ascending old ID, in the new group, with their codes or a new one.
      {list("select coalesce(ProblemGroupID, 0) || ':' || case when ProblemCode like '________-____-____-____-____________' "
            "then 'new' else ProblemCode end as r from Problem where ProblemID in ({p51},{p52},{p53}) order by ProblemID"),
       "{g}:P-51,{g}:new,0:P-53"},
      {"select ProblemHierarchy from ProblemGroup where ProblemGroupID={g}",
       "<GROUP><PROBLEM ID=\"{p51}\"/><PROBLEM ID=\"{p52}\"/><PROBLEM ID=\"999\"/></GROUP>"},
      {list("select ProblemID || ':' || ContentID as r from ProblemsContents where ProblemID in ({p51},{p52},{p53}) "
            "order by ProblemID"), "{p51}:{c1},{p52}:{c3},{p53}:{c4}"},
      // Values through the value maps; a type-1 value unchanged.
      {list("select ProblemID || ':' || FeatureID || ':' || SubjectID || ':' || Value as r from ProblemsFeatures "
            "where ProblemID in ({p51},{p52},{p53}) order by ProblemID, FeatureID"),
       "{p51}:20:7:1,{p52}:20:7:12,{p52}:22:3:6,{p53}:21:7:3"},
  };
  QMap<QString, QString> id;
  const auto expectCourse = [&](int ordinal) {
    SCOPED_TRACE(ordinal);
    EXPECT_TRUE(ui->mappingSteps.empty() && ui->answers.empty());
    EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
    // The bar only moves forward, under the busy pointer, and ends on the success message.
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LT(progress[i - 1].first, progress[i].first);
    EXPECT_EQ(progress.back(), std::make_pair(100, Res::str(333)));
    EXPECT_EQ(ui->busyOn, ordinal);
    // The new IDs, found by what the rows hold, all above the ones before.
    for (const auto& [key, sql] : std::initializer_list<std::pair<const char*, const char*>>{
             {"course", "select max(CourseID) from Course"}, {"c1", "select max(ContentID) from Content where Name='第一章'"},
             {"c2", "select max(ContentID) from Content where Name='第一节'"}, {"c3", "select max(ContentID) from Content where Name='第一小节'"},
             {"c4", "select max(ContentID) from Content where Name='第二章'"}, {"p51", "select max(ProblemID) from Problem where Body='b51'"},
             {"p52", "select max(ProblemID) from Problem where Body='b52'"}, {"p53", "select max(ProblemID) from Problem where Body='b53'"},
             {"g", "select max(ProblemGroupID) from ProblemGroup"}}) {
      const QString before = id.value(key, "500");
      id[key] = Scalar(QString::fromUtf8(sql)).toString();
      EXPECT_GT(id[key].toInt(), before.toInt()) << key;
    }
    for (auto [sql, expected] : rows) {
      for (auto it = id.cbegin(); it != id.cend(); ++it) {
        sql.replace('{' + it.key() + '}', it.value());
        expected.replace('{' + it.key() + '}', it.value());
      }
      EXPECT_EQ(Scalar(sql).toString().toStdString(), expected.toStdString()) << sql.toStdString();
    }
  };
  ScriptDemoMapping();
  ASSERT_TRUE(ImportCourse(DemoFile("course.mdb")));
  expectCourse(1);

  QString back = env.path("back.mdb");
  ASSERT_TRUE(CExport(*ui).ExportCourseData(back, Count("select max(CourseID) from Course")).succeeded());
  import.session().bAutoMap = true;
  ui->answers.push_back(Answer::Ok);
  ASSERT_TRUE(ImportCourse(back));
  EXPECT_EQ(Count("select count(*) from Course where Name='高等数学" + QDate::currentDate().toString("[yyyyMMdd]") + "'"), 1);
  expectCourse(2);
}

// Partitions pair by number only for features with a type.
TEST_F(CourseImport, FeatureWithoutATypeGetsNoPartitionsPaired) {
  // 难度 is a range feature in the system; the file's shares its number. Type 0: both its partitions join it.
  import.session().bAutoMap = true;
  for (const auto& [type, partitions] : {std::pair{"NULL", 3}, {"0", 5}}) {
    ASSERT_TRUE(ImportCourse(DemoFile("typed.mdb", {QStringLiteral("update Feature set type=%1 where FeatureID=11").arg(type)},
                                      QStringLiteral("课程") + type)));
    EXPECT_EQ(Count("select count(*) from FeaturePartition where FeatureID=21"), partitions) << type;
  }
}
