#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include "cli/InitDemo.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/Dialect.h"
#include "login/LoginCheck.h"
#include "support/TestEnv.h"

// What the engines rely on from the system database, on each backend.
namespace {

class SystemDatabase : public ::testing::Test {
 protected:
  TestEnv env;
  CDataAccess dal;
};

// Copied rows keep their IDs (-1 is in every system database); generated ones go past them, whatever was reserved.
TEST_F(SystemDatabase, ExplicitIdsAreKeptAndGeneratedOnesNeverCollideWithThem) {
  dal.ExecQuery("insert into Subject (SubjectID, name) values (-1, ?)", {QStringLiteral("公共")});
  Bulk::Writer withId = dal.InsertInto("Subject", {"SubjectID", "name"}, {}, Bulk::ReadBack::AtOnce);
  Bulk::Writer generated = dal.InsertInto("Subject", {"name"}, "SubjectID", Bulk::ReadBack::AtOnce);
  int highest = -1;
  for (int explicitId : {7, 0, 100, 0, 0}) {
    const int id = explicitId ? (withId.add({Bulk::Cell::integer(explicitId), Bulk::Cell::text("s")}), explicitId)
                              : generated.add({Bulk::Cell::text("s")});
    EXPECT_TRUE(explicitId ? id == explicitId : id > highest) << id;
    highest = std::max(id, highest);
  }
  EXPECT_EQ(env.scalar("select count(distinct SubjectID) from Subject").toInt(), 6);
}

// The statements that differ by backend: course names compared without case,
// and the right of the one user logging in, through a role, a group or directly.
// Connection string keys are read in any case.
TEST_F(SystemDatabase, EachBackendComparesNamesWithoutCaseAndChecksTheRightOfThatUser) {
  EXPECT_EQ(Connection::connectValue("DRIVER=SQLite3;database=/d/x.db;", "Database"), "/d/x.db");
  dal.ExecQuery("insert into Course (KeySubjectID, Name) values (1, 'Linear Algebra')");
  const QString sameName = "select count(*) from Course where " + Sql::equalsIgnoringCase(dal.dialect(), "Name");
  for (const QString name : {"Linear Algebra", "LINEAR algebra", "Linear Algebra 2"}) {
    Bulk::Query count = dal.OpenQuery(sameName, {name});
    ASSERT_TRUE(count.next());
    EXPECT_EQ(count.at(0).toInt(), name.size() == 14 ? 1 : 0) << name.toStdString();
  }
  for (const char* sql : {"userinfo (userid, Name) values (1, 'role'), (2, 'group'), (3, 'direct'), (4, 'none')",
                          "RolesRights (roleid, rightid) values (1, 35), (2, 10)", "userrole (userid, roleid) values (1, 1), (4, 2)",
                          "grouprole (groupid, roleid) values (7, 1)", "groupuser (groupid, userid) values (7, 2)",
                          "UsersRights (userid, rightid) values (3, 35)"})
    env.exec(QString("insert into ") + sql);
  for (const QString name : {"role", "group", "direct", "none"})
    EXPECT_EQ(LoginCheck::CheckRight(name, 35), name != "none") << name.toStdString();
  EXPECT_TRUE(LoginCheck::CheckRight("none", 10));
}

// init-demo --connect fills an empty server database (the password from the
// environment when the string has none), and never touches one in use.
TEST(InitDemoOnServer, FillsAnEmptyDatabaseOnlyAndPointsTheSettingsAtIt) {
  if (!TestEnv::onPostgres()) GTEST_SKIP() << "runs in the pg.* set, against the PostgreSQL test server";
  TestEnv env;
  const QString name = QStringLiteral("cvinit%1").arg(QCoreApplication::applicationPid());
  CDataAccess admin{CDataAccess::Unconnected{}};
  admin.OpenConnection(TestEnv::postgresConnect("postgres"));
  admin.ExecQuery("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  admin.ExecQuery("CREATE DATABASE " + name + " ENCODING 'UTF8'");
  const QString connect = TestEnv::postgresConnect(name);
  const QString withoutPassword = QString(connect).remove(QRegularExpression("Pwd=[^;]*;"));
  QFile::remove(env.path("odbc.ini"));  // the settings are written only where there are none
  qputenv("CORVINA_DB_PASSWORD", qgetenv("CORVINA_PG_PASSWORD"));
  EXPECT_EQ(runInitDemo({"--problems", "30", "--connect", withoutPassword}), 0);
  qunsetenv("CORVINA_DB_PASSWORD");
  QFile ini(env.path("odbc.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_TRUE(ini.readAll().contains("ConnectionString=" + withoutPassword.toUtf8()));
  // The program's own data access now reaches the filled database.
  EXPECT_EQ(CDataAccess().dialect(), Dialect::PostgreSQL);
  const auto count = [&](const QString& table) { return env.scalar("select count(*) from " + table).toInt(); };
  EXPECT_EQ(count("Problem"), 30 + 4 * 24);
  EXPECT_EQ(count("Subject where SubjectID = -1") * count("userinfo"), 5);  // and the demo users

  env.exec("insert into Subject (name) values ('管理员自建')");
  const int subjects = count("Subject");
  ini.remove();
  const QString unreachable = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=a;Pwd=b;";
  for (const QStringList& args : {QStringList{"--connect", connect}, QStringList{"--force", "--connect", connect},
                                  QStringList{"--connect", unreachable}})
    EXPECT_EQ(runInitDemo(args), 1) << args.join(' ').toStdString();
  EXPECT_FALSE(ini.exists());
  env.useSystemDb(connect);
  EXPECT_EQ(count("Subject"), subjects);
  EXPECT_EQ(count("Problem"), 30 + 4 * 24);
  admin.ExecQuery("DROP DATABASE " + name + " WITH (FORCE)");
}

}  // namespace
