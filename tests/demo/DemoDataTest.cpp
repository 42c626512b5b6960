#include <gtest/gtest.h>

#include <QDomDocument>
#include <QFileInfo>
#include <QTemporaryDir>

#include "cli/InitDemo.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "data/IniFile.h"
#include "login/LoginCheck.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

namespace {

int count(const TestEnv& env, const QString& sql) { return env.scalar(sql).toInt(); }

// Elements named tag whose ID is not a row of sql (%1: the ID, %2: the ID of
// the enclosing element or 0 at the root), for every XML document query gives.
int strayElements(const TestEnv& env, const QString& query, const QString& tag, const QString& sql) {
  int stray = 0;
  RecordsetPtr rs;
  env.dal()->GetConnectedRecordset(query, rs);
  for (; !rs->Eof(); rs->MoveNext()) {
    QDomDocument doc;
    if (!doc.setContent(rs->Value(1).toString())) return -1;
    const QDomElement root = doc.documentElement();
    const auto elements = root.elementsByTagName(tag);
    for (int i = 0; i < elements.size(); ++i) {
      const QDomElement e = elements.at(i).toElement(), parent = e.parentNode().toElement();
      const QString parentId = parent == root ? QStringLiteral("0") : parent.attribute(QStringLiteral("ID"));
      stray += count(env, sql.arg(e.attribute(QStringLiteral("ID")), parentId, rs->Value(0).toString())) != 1;
    }
  }
  return stray;
}

// The demo database as the courses, exports and logins use it.
TEST(DemoDatabase, HoldsConsistentCoursesProblemsPapersAndUsers) {
  TestEnv env;
  const DemoData::Summary summary = DemoData::create(*env.dal(), 90);
  const QString big = QString::number(summary.bigCourseId);
  const QString linked = QStringLiteral(" from ProblemsContents pc join Content c on c.ContentID=pc.ContentID ");
  // Each of these counts what would break an export or an import of the demo data.
  for (const QString& sql : {
           "select abs(90-count(distinct pc.ProblemID))" + linked + "where c.CourseID=" + big,  // the scaled course
           "select count(*) from (select pc.ProblemID" + linked + "group by pc.ProblemID having count(distinct c.CourseID)>1) t",
           QStringLiteral("select count(*) from Course where CourseID not in (select CourseID from CoursesSubjects)"),
           QStringLiteral("select count(*) from (select CourseID from Content group by CourseID having count(distinct LEVEL)<>3) t"),
           "select count(*) from FeaturePartition where FeaturePartitionID not in (select FeaturePartitionID from "
           "CoursesFeaturePartitions where CourseID=" + big + ")",
           QStringLiteral("select count(*) from ProblemsFeatures pf join Feature f on f.FeatureID=pf.FeatureID where (f.type=0 and "
                          "not exists (select 1 from FeaturePartition p where p.FeatureID=pf.FeatureID and p.Minimum=pf.Value)) "
                          "or (f.type=1 and (pf.Value<f.minimum or pf.Value>f.maximum))"),
           QStringLiteral("select count(*) from FeaturePartition p join Feature f on f.FeatureID=p.FeatureID where "
                          "f.FeatureNumber=1 and (p.FeaturePartitionNumber<1 or p.ExtProperties not like '<EXT>%<BASICTYPE%')"),
           QStringLiteral("select 1-count(*) from Subject where SubjectID=-1"),
           QStringLiteral("select count(*) from Problem where Body is null or Answer is null"),
           QStringLiteral("select 5-count(*) from FeaturePartition where name in ('单选题','多选题','判断题','填空题','问答题')"),
           QStringLiteral("select case when count(*)>0 then 0 else 1 end from AnswerSheet a join Paper p on p.PaperID=a.PaperID")})
    EXPECT_EQ(count(env, sql), 0) << sql.toStdString();
  // Every tree names the rows of its course under their parents; every group lists its problems.
  EXPECT_EQ(strayElements(env, QStringLiteral("select CourseID, ContentHierarchy from Course"), QStringLiteral("CONTENT"),
                          QStringLiteral("select count(*) from Content where ContentID=%1 and PARENTCONTENTID=%2 and CourseID=%3")), 0);
  EXPECT_EQ(strayElements(env, QStringLiteral("select ProblemGroupID, ProblemHierarchy from ProblemGroup"), QStringLiteral("PROBLEM"),
                          QStringLiteral("select count(*) from Problem where ProblemID=%1 and ProblemGroupID=%3 and %2=%2")), 0);
  EXPECT_EQ(count(env, QStringLiteral("select count(*) from Content")), summary.contents);

  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  using LoginCheck::Outcome;
  // jiaowu holds the right only through a group's role.
  for (const auto& [user, password, outcome] : {std::tuple{"admin", "admin", Outcome::Success},
                                                {"teacher", "teacher", Outcome::NoRight},
                                                {"jiaowu", "jiaowu", Outcome::Success},
                                                {"管理员", "密码", Outcome::Success},
                                                {"admin", "teacher", Outcome::WrongPassword}})
    EXPECT_EQ(LoginCheck::login(QString::fromUtf8(user), QString::fromUtf8(password)), outcome) << user;
}

TEST(DemoData, AFailureLeavesTheDatabaseAsItWas) {
  TestEnv env;
  env.exec(QStringLiteral("drop table AnswerSheet"));
  auto dal = env.dal();
  EXPECT_THROW(DemoData::create(*dal, 10), DataError);
  EXPECT_FALSE(dal->IsInTransaction());
  EXPECT_EQ(count(env, QStringLiteral("select count(*) from Subject")), 0);
}

// corvina init-demo, run step by step in one program folder.
TEST(InitDemo, CreatesKeepsOrReplacesTheDatabaseAsAsked) {
  QTemporaryDir dir;
  const QByteArray previous = qgetenv("CORVINA_HOME");
  qputenv("CORVINA_HOME", dir.path().toUtf8());
  const QString db = dir.path() + QStringLiteral("/demo/system.db"), ini = dir.path() + QStringLiteral("/odbc.ini");
  const struct {
    QStringList args;
    int exit;
    int problems;  // in the database afterwards; -1: there is none
  } rows[] = {{{"--problems", "many"}, 2, -1}, {{"--problems", "-5"}, 2, -1}, {{"--problems"}, 2, -1},
              {{"--fast"}, 2, -1},           {{"--problems", "3"}, 0, 3},   {{"--problems", "600"}, 1, 3},
              {{"--problems", "600", "--force"}, 0, 600}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.join(' ').toStdString());
    EXPECT_EQ(runInitDemo(row.args), row.exit);
    EXPECT_EQ(QFileInfo::exists(db), row.problems >= 0);
    EXPECT_EQ(QFileInfo::exists(ini), row.problems >= 0);
    if (row.problems < 0) continue;
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral(".part")));
    EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", ini), QStringLiteral("Driver=SQLite3;Database=") + db);
    EXPECT_FALSE(QFileInfo(ini).permissions() & (QFile::ReadGroup | QFile::ReadOther));
    CDataAccess dal;
    RecordsetPtr rs;
    dal.GetConnectedRecordset(QStringLiteral("select count(*) from Problem"), rs);
    EXPECT_EQ(rs->Value(0).toInt(), row.problems + 4 * DemoData::SmallCourseProblems);
  }
  // Settings someone wrote are left alone.
  WriteIniString("ODBC", "ConnectionString", "Driver={SQL Server};Server=exam", ini);
  ASSERT_EQ(runInitDemo({"--problems", "0", "--force"}), 0);
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", ini), QStringLiteral("Driver={SQL Server};Server=exam"));
  qputenv("CORVINA_HOME", previous);
}

}  // namespace
