#include <gtest/gtest.h>

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include "cli/InitDemo.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "data/IniFile.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "login/LoginCheck.h"

namespace {

int count(const TestEnv& env, const QString& sql) { return env.scalar(sql).toInt(); }

QDomElement parse(const QString& xml) {
  QDomDocument doc;
  EXPECT_TRUE(static_cast<bool>(doc.setContent(xml))) << xml.toStdString();
  return doc.documentElement();
}

// One demo database shared by the read-only checks below.
class DemoDatabase : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    env_ = new TestEnv;
    auto dal = env_->dal();
    summary_ = DemoData::create(*dal, 90);
  }
  static void TearDownTestSuite() {
    delete env_;
    env_ = nullptr;
  }
  static TestEnv* env_;
  static DemoData::Summary summary_;
  const TestEnv& env() const { return *env_; }
  QString big() const { return QString::number(summary_.bigCourseId); }
};
TestEnv* DemoDatabase::env_ = nullptr;
DemoData::Summary DemoDatabase::summary_;

TEST_F(DemoDatabase, SubjectsIncludeTheSubjectEveryDatabaseHas) {
  EXPECT_EQ(count(env(), "select count(*) from Subject where SubjectID=-1"), 1);
  const int real = count(env(), "select count(*) from Subject where SubjectID>0");
  EXPECT_GE(real, 3);
  EXPECT_LE(real, 5);
  EXPECT_EQ(count(env(), "select count(*) from Subject where SubjectID=0"), 0);
}

TEST_F(DemoDatabase, TheFirstCourseHoldsTheScaledProblemSet) {
  EXPECT_EQ(summary_.bigCourseId, 1);
  EXPECT_EQ(env().scalar("select Name from Course where CourseID=" + big()).toString(), DemoData::BigCourseName);
  EXPECT_GE(count(env(), "select count(*) from Course"), 4);
  const QString problemsOf =
      "select count(distinct pc.ProblemID) from ProblemsContents pc inner join Content c on c.ContentID=pc.ContentID "
      "where c.CourseID=";
  EXPECT_EQ(count(env(), problemsOf + big()), 90);
  EXPECT_EQ(count(env(), problemsOf + "2"), DemoData::SmallCourseProblems);
  EXPECT_EQ(count(env(), "select count(*) from Problem"), summary_.problems);
  // Every problem belongs to one course only.
  EXPECT_EQ(count(env(), "select count(distinct ProblemID) from ProblemsContents"), summary_.problems);
}

TEST_F(DemoDatabase, ContentTreesAreThreeLevelsDeepAndMatchTheirDocuments) {
  RecordsetPtr courses;
  auto dal = env().dal();
  dal->GetConnectedRecordset("select CourseID, ContentHierarchy from Course", courses);
  int checked = 0;
  for (; !courses->Eof(); courses->MoveNext(), ++checked) {
    const QString id = courses->Value("CourseID").toString();
    EXPECT_EQ(count(env(), "select count(distinct LEVEL) from Content where CourseID=" + id), 3);
    // Every CONTENT element names a content of this course whose parent is the enclosing element.
    const QDomElement root = parse(courses->Value("ContentHierarchy").toString());
    const auto elements = root.elementsByTagName("CONTENT");
    EXPECT_EQ(elements.size(), count(env(), "select count(*) from Content where CourseID=" + id));
    for (int i = 0; i < elements.size(); ++i) {
      const QDomElement e = elements.at(i).toElement();
      const QDomElement parent = e.parentNode().toElement();
      const QString expectedParent = parent == root ? "0" : parent.attribute("ID");
      EXPECT_EQ(count(env(), "select count(*) from Content where ContentID=" + e.attribute("ID") +
                                 " and CourseID=" + id + " and PARENTCONTENTID=" + expectedParent),
                1);
    }
    EXPECT_GT(count(env(), "select count(*) from Syllabus s inner join Content c on c.ContentID=s.ContentID "
                           "where c.CourseID=" + id),
              0);
    EXPECT_GT(count(env(), "select count(*) from CoursesSubjects where CourseID=" + id), 0);
  }
  EXPECT_EQ(checked, summary_.courses);
}

TEST_F(DemoDatabase, ProblemTypePartitionsCarryExtDocuments) {
  EXPECT_EQ(count(env(), "select count(*) from Feature where FeatureNumber=1 and type=0"), 1);
  RecordsetPtr rs;
  auto dal = env().dal();
  dal->GetConnectedRecordset(
      "select p.name, p.Minimum, p.FeaturePartitionNumber, p.ExtProperties from FeaturePartition p "
      "inner join Feature f on f.FeatureID=p.FeatureID where f.FeatureNumber=1",
      rs);
  QSet<int> minimums;
  QSet<QString> names;
  for (; !rs->Eof(); rs->MoveNext()) {
    names << rs->Value("name").toString();
    minimums << rs->Value("Minimum").toInt();
    EXPECT_GT(rs->Value("FeaturePartitionNumber").toInt(), 0);
    const QDomElement ext = parse(rs->Value("ExtProperties").toString());
    EXPECT_EQ(ext.tagName(), "EXT");
    EXPECT_EQ(ext.childNodes().size(), 12);
    for (QDomElement e = ext.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
      EXPECT_TRUE(QStringList({"BOOL", "INTEGER", "STRING"}).contains(e.attribute("TYPE"))) << e.tagName().toStdString();
    EXPECT_FALSE(ext.firstChildElement("BASICTYPE").text().isEmpty());
  }
  for (const char* n : {"单选题", "多选题", "判断题", "填空题", "问答题"}) EXPECT_TRUE(names.contains(n)) << n;
  EXPECT_EQ(minimums.size(), names.size());
}

TEST_F(DemoDatabase, TheOtherFeaturesCoverNumberedUserDefinedAndRangeKinds) {
  EXPECT_GE(count(env(), "select count(*) from Feature where FeatureNumber>1 and type=0"), 1);
  EXPECT_EQ(count(env(), "select count(*) from Feature where FeatureNumber=0 and type=0"), 1);
  EXPECT_EQ(count(env(), "select count(*) from Feature where type=1 and maximum>minimum and valueincrement>0"), 1);
  // Every course weights every partition, so an export carries every feature.
  const int partitions = count(env(), "select count(*) from FeaturePartition");
  EXPECT_EQ(count(env(), "select count(*) from CoursesFeaturePartitions where CourseID=" + big()), partitions);
}

TEST_F(DemoDatabase, ProblemsHaveFeatureValuesThatArePartitionValues) {
  const int features = count(env(), "select count(*) from Feature");
  EXPECT_EQ(count(env(), "select count(*) from ProblemsFeatures"), summary_.problems * features);
  // A type-0 value is the Minimum of one of the feature's partitions.
  EXPECT_EQ(count(env(), "select count(*) from ProblemsFeatures pf inner join Feature f on f.FeatureID=pf.FeatureID "
                         "where f.type=0 and not exists (select 1 from FeaturePartition p where "
                         "p.FeatureID=pf.FeatureID and p.Minimum=pf.Value)"),
            0);
  EXPECT_EQ(count(env(), "select count(*) from ProblemsFeatures pf inner join Feature f on f.FeatureID=pf.FeatureID "
                         "where f.type=1 and (pf.Value<f.minimum or pf.Value>f.maximum)"),
            0);
  EXPECT_GT(count(env(), "select count(*) from Problem where ProblemCode is null"), 0);
  EXPECT_EQ(count(env(), "select count(*) from Problem where Body is null or Answer is null"), 0);
}

TEST_F(DemoDatabase, ProblemGroupsListTheirProblems) {
  RecordsetPtr rs;
  auto dal = env().dal();
  dal->GetConnectedRecordset("select ProblemGroupID, ProblemHierarchy from ProblemGroup", rs);
  int groups = 0;
  for (; !rs->Eof(); rs->MoveNext(), ++groups) {
    const QString id = rs->Value("ProblemGroupID").toString();
    const auto problems = parse(rs->Value("ProblemHierarchy").toString()).elementsByTagName("PROBLEM");
    EXPECT_EQ(problems.size(), count(env(), "select count(*) from Problem where ProblemGroupID=" + id));
    for (int i = 0; i < problems.size(); ++i)
      EXPECT_EQ(count(env(), "select count(*) from Problem where ProblemGroupID=" + id + " and ProblemID=" +
                                 problems.at(i).toElement().attribute("ID")),
                1);
  }
  EXPECT_EQ(groups, summary_.problemGroups);
  EXPECT_GT(groups, 0);
}

TEST_F(DemoDatabase, PapersHaveDesignsAndAnswerSheets) {
  EXPECT_GE(count(env(), "select count(*) from PaperDesign"), 1);
  EXPECT_GE(count(env(), "select count(*) from Paper p inner join PaperDesign d on d.PaperDesignID=p.PaperDesignID"), 1);
  EXPECT_GT(count(env(), "select count(*) from AnswerSheet a inner join Paper p on p.PaperID=a.PaperID"), 0);
}

TEST_F(DemoDatabase, DemoUsersLogInAsDescribed) {
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  using LoginCheck::Outcome;
  EXPECT_EQ(LoginCheck::login("admin", "admin"), Outcome::Success);
  EXPECT_EQ(LoginCheck::login("teacher", "teacher"), Outcome::NoRight);
  EXPECT_EQ(LoginCheck::login("jiaowu", "jiaowu"), Outcome::Success);
  EXPECT_EQ(LoginCheck::login("管理员", "密码"), Outcome::Success);
  EXPECT_EQ(LoginCheck::login("admin", "teacher"), Outcome::WrongPassword);
  // jiaowu holds the right only through a group's role.
  EXPECT_EQ(count(env(), "select count(*) from userrole ur inner join userinfo u on u.userid=ur.userid "
                         "where u.Name='jiaowu'"),
            0);
  EXPECT_EQ(count(env(), "select count(*) from UsersRights ur inner join userinfo u on u.userid=ur.userid "
                         "where u.Name='jiaowu'"),
            0);
}

TEST(DemoData, AFailureLeavesTheDatabaseAsItWas) {
  TestEnv env;
  env.exec("drop table AnswerSheet");
  auto dal = env.dal();
  EXPECT_THROW(DemoData::create(*dal, 10), DataError);
  EXPECT_FALSE(dal->IsInTransaction());
  EXPECT_EQ(count(env, "select count(*) from Subject"), 0);
  EXPECT_EQ(count(env, "select count(*) from Problem"), 0);
}

TEST(DemoData, TheProblemCountScales) {
  TestEnv env;
  auto dal = env.dal();
  const DemoData::Summary s = DemoData::create(*dal, 0);
  EXPECT_EQ(s.problems, 4 * DemoData::SmallCourseProblems);
  EXPECT_EQ(count(env, "select count(*) from ProblemsContents pc inner join Content c on c.ContentID=pc.ContentID "
                       "where c.CourseID=" + QString::number(s.bigCourseId)),
            0);
}

// ---- corvina init-demo ----

struct ProgramFolder {
  QTemporaryDir dir;
  QByteArray previous = qgetenv("CORVINA_HOME");
  ProgramFolder() { qputenv("CORVINA_HOME", dir.path().toUtf8()); }
  ~ProgramFolder() { qputenv("CORVINA_HOME", previous); }
  QString db() const { return dir.path() + "/demo/system.db"; }
  QString ini() const { return dir.path() + "/odbc.ini"; }
};

TEST(InitDemo, CreatesTheDatabaseAndSettingsThatReachIt) {
  ProgramFolder folder;
  ASSERT_EQ(runInitDemo({"--problems", "30"}), 0);
  ASSERT_TRUE(QFileInfo::exists(folder.db()));
  EXPECT_FALSE(QFileInfo::exists(folder.db() + ".part"));
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), "Driver=SQLite3;Database=" + folder.db());
  EXPECT_FALSE(QFileInfo(folder.ini()).permissions() & (QFile::ReadGroup | QFile::ReadOther));
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select count(*) from Problem", rs);
  EXPECT_EQ(rs->Value(0).toInt(), 30 + 4 * DemoData::SmallCourseProblems);
}

TEST(InitDemo, AnExistingDatabaseIsKeptUnlessForced) {
  ProgramFolder folder;
  ASSERT_EQ(runInitDemo({"--problems", "3"}), 0);
  const auto firstSize = QFileInfo(folder.db()).size();
  EXPECT_EQ(runInitDemo({"--problems", "600"}), 1);
  EXPECT_EQ(QFileInfo(folder.db()).size(), firstSize);
  EXPECT_EQ(runInitDemo({"--problems", "600", "--force"}), 0);
  EXPECT_GT(QFileInfo(folder.db()).size(), firstSize);
}

TEST(InitDemo, AnExistingOdbcIniIsLeftAlone) {
  ProgramFolder folder;
  WriteIniString("ODBC", "ConnectionString", "Driver={SQL Server};Server=exam", folder.ini());
  ASSERT_EQ(runInitDemo({"--problems", "0"}), 0);
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), "Driver={SQL Server};Server=exam");
}

TEST(InitDemo, BadArgumentsCreateNothing) {
  ProgramFolder folder;
  EXPECT_EQ(runInitDemo({"--problems", "many"}), 2);
  EXPECT_EQ(runInitDemo({"--problems", "-5"}), 2);
  EXPECT_EQ(runInitDemo({"--problems"}), 2);
  EXPECT_EQ(runInitDemo({"--fast"}), 2);
  EXPECT_FALSE(QFileInfo::exists(folder.db()));
  EXPECT_FALSE(QFileInfo::exists(folder.ini()));
}

}  // namespace
