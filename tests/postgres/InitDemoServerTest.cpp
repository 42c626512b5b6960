#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include "cli/InitDemo.h"
#include "data/CDataAccess.h"
#include "support/TestEnv.h"

// init-demo --connect fills an empty server database, and never touches one
// that already holds the system tables.
namespace {

class InitDemoOnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestEnv::onPostgres()) GTEST_SKIP() << "runs in the pg.* set, against the PostgreSQL test server";
    name = QStringLiteral("cvinit%1").arg(QCoreApplication::applicationPid());
    connect = TestEnv::postgresConnect(name);
  }
  void TearDown() override {
    if (!name.isEmpty()) admin("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
  }
  void emptyDatabase() {
    TearDown();
    admin("CREATE DATABASE " + name + " ENCODING 'UTF8'");
    QFile::remove(env.path("odbc.ini"));
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
  QString settings() const {
    QFile ini(env.path("odbc.ini"));
    return ini.open(QIODevice::ReadOnly) ? QString::fromUtf8(ini.readAll()) : QString();
  }

  TestEnv env;
  QString name;
  QString connect;
};

// The password comes with the connection string or, when it has none, from the environment.
TEST_F(InitDemoOnServer, FillsAnEmptyDatabaseAndPointsTheSettingsAtIt) {
  for (const bool passwordInString : {true, false}) {
    SCOPED_TRACE(passwordInString);
    emptyDatabase();
    const QString given = passwordInString ? connect : QString(connect).remove(QRegularExpression("Pwd=[^;]*;"));
    ASSERT_EQ(given == connect, passwordInString);
    qputenv("CORVINA_DB_PASSWORD", passwordInString ? QByteArray("wrong") : qgetenv("CORVINA_PG_PASSWORD"));
    EXPECT_EQ(runInitDemo({"--problems", "30", "--connect", given}), 0);
    qunsetenv("CORVINA_DB_PASSWORD");
    EXPECT_EQ(count("Problem"), 30 + 4 * 24);
    EXPECT_EQ(count("Subject where SubjectID = -1"), 1);
    EXPECT_GT(count("userinfo"), 0);
    EXPECT_TRUE(settings().contains("ConnectionString=" + given));
    EXPECT_EQ(CDataAccess().dialect(), Dialect::PostgreSQL);  // the program's own data access reaches it
  }
}

TEST_F(InitDemoOnServer, LeavesAUsedDatabaseAsItWasAndWritesNoSettingsOnFailure) {
  emptyDatabase();
  ASSERT_EQ(runInitDemo({"--problems", "0", "--connect", connect}), 0);
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(connect);
  dal.ExecQuery("", "insert into Subject (name) values (?)", {QStringLiteral("管理员自建")});
  const int subjects = count("Subject");
  const int problems = count("Problem");
  QFile::remove(env.path("odbc.ini"));
  const QString unreachable = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x;Uid=a;Pwd=b;";
  for (const QStringList& args : {QStringList{"--connect", connect}, QStringList{"--force", "--connect", connect},
                                  QStringList{"--connect", unreachable}})
    EXPECT_EQ(runInitDemo(args), 1) << args.join(' ').toStdString();
  EXPECT_EQ(count("Subject"), subjects);
  EXPECT_EQ(count("Problem"), problems);
  EXPECT_TRUE(settings().isEmpty());
}

}  // namespace
