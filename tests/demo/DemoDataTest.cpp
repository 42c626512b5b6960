#include <gtest/gtest.h>

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

TEST(DemoData, AFailureLeavesTheDatabaseAsItWas) {
  TestEnv env;
  env.exec(QStringLiteral("drop table AnswerSheet"));
  auto dal = env.dal();
  EXPECT_THROW(DemoData::create(*dal, 10), DataError);
  EXPECT_FALSE(dal->IsInTransaction());
  EXPECT_EQ(env.scalar(QStringLiteral("select count(*) from Subject")).toInt(), 0);
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
  // The demo users log in as described; jiaowu holds the right only through a group's role.
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  using LoginCheck::Outcome;
  for (const auto& [user, password, outcome] : {std::tuple{"admin", "admin", Outcome::Success},
                                                {"teacher", "teacher", Outcome::NoRight},
                                                {"jiaowu", "jiaowu", Outcome::Success},
                                                {"管理员", "密码", Outcome::Success},
                                                {"admin", "teacher", Outcome::WrongPassword}})
    EXPECT_EQ(LoginCheck::login(QString::fromUtf8(user), QString::fromUtf8(password)), outcome) << user;
  // Settings someone wrote are left alone.
  WriteIniString("ODBC", "ConnectionString", "Driver={SQL Server};Server=exam", ini);
  ASSERT_EQ(runInitDemo({"--problems", "0", "--force"}), 0);
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", ini), QStringLiteral("Driver={SQL Server};Server=exam"));
  qputenv("CORVINA_HOME", previous);
}

}  // namespace
