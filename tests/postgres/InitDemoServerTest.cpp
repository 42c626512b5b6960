#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include "cli/InitDemo.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "support/TestEnv.h"

// init-demo --connect fills an empty server database, and never touches one
// that already holds the system tables.
namespace {

class InitDemoOnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestEnv::onPostgres()) GTEST_SKIP() << "runs in the pg.* set, against the PostgreSQL test server";
    name = QStringLiteral("cvinit%1").arg(QCoreApplication::applicationPid());
    admin("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    admin("CREATE DATABASE " + name + " ENCODING 'UTF8'");
    connect = TestEnv::postgresConnect(name);
    QFile::remove(env.path("odbc.ini"));
  }
  void TearDown() override {
    if (!name.isEmpty()) admin("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  }
  static void admin(const QString& sql) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(TestEnv::postgresConnect("postgres"));
    dal.ExecQuery("", sql);
  }
  int count(const QString& table) const {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(connect);
    RecordsetPtr rs;
    dal.GetConnectedRecordset("select count(*) from " + table, rs);
    return rs->Value(0).toInt();
  }

  TestEnv env;
  QString name;
  QString connect;
};

TEST_F(InitDemoOnServer, FillsAnEmptyDatabaseAndPointsTheSettingsAtIt) {
  EXPECT_EQ(runInitDemo({"--problems", "30", "--connect", connect}), 0);
  EXPECT_EQ(count("Problem"), 30 + 4 * 24);
  EXPECT_EQ(count("Subject where SubjectID = -1"), 1);
  EXPECT_GT(count("userinfo"), 0);

  QFile ini(env.path("odbc.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromUtf8(ini.readAll()).contains("ConnectionString=" + connect));
  // The program's own data access object now reaches the server database.
  CDataAccess dal;
  EXPECT_EQ(dal.dialect(), Dialect::PostgreSQL);
}

TEST_F(InitDemoOnServer, TakesThePasswordFromTheEnvironmentWhenTheStringHasNone) {
  const QString withoutPassword = QString(connect).remove(QRegularExpression("Pwd=[^;]*;"));
  ASSERT_NE(withoutPassword, connect);
  qputenv("CORVINA_DB_PASSWORD", qgetenv("CORVINA_PG_PASSWORD"));
  const int status = runInitDemo({"--problems", "0", "--connect", withoutPassword});
  qunsetenv("CORVINA_DB_PASSWORD");
  EXPECT_EQ(status, 0);
  EXPECT_GT(count("userinfo"), 0);
  CDataAccess dal;  // the settings written reach the server
  EXPECT_EQ(dal.dialect(), Dialect::PostgreSQL);
}

TEST_F(InitDemoOnServer, LeavesADatabaseWithTheSystemTablesAsItWas) {
  ASSERT_EQ(runInitDemo({"--problems", "0", "--connect", connect}), 0);
  {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(connect);
    dal.ExecQuery("", "insert into Subject (name) values (?)", {QStringLiteral("管理员自建")});
  }
  const int subjects = count("Subject");
  const int problems = count("Problem");
  EXPECT_EQ(runInitDemo({"--connect", connect}), 1);
  EXPECT_EQ(runInitDemo({"--force", "--connect", connect}), 1);
  EXPECT_EQ(count("Subject"), subjects);
  EXPECT_EQ(count("Problem"), problems);
}

TEST_F(InitDemoOnServer, AnUnreachableServerFailsWithoutWritingSettings) {
  EXPECT_EQ(runInitDemo({"--connect", "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=a;Pwd=b;"}),
            1);
  EXPECT_FALSE(QFile::exists(env.path("odbc.ini")));
}

}  // namespace
