#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QVariant>

#include <iostream>
#include <vector>

#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/Schema.h"

namespace {
// Server databases made by this process, in order; each TestEnv drops its own.
std::vector<QString>& serverDatabases() {
  static std::vector<QString> names;
  return names;
}

QString env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

void onServer(const QString& sql) {
  CDataAccess admin{CDataAccess::Unconnected{}};
  admin.OpenConnection(TestEnv::postgresConnect(QStringLiteral("postgres")));
  admin.ExecQuery(sql);
}

void createSchema(const QString& connect) {
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(connect);
  dal.BeginTrans();
  Schema::createSystemTables(dal);
  dal.CommitTrans();
}

// On the server backend every test needs the server: without it they are
// skipped as a whole, saying why, rather than run against nothing.
class ServerBackendCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!TestEnv::onPostgres()) return;
    if (!TestEnv::postgresConfigured()) {
      // gtest reports tests skipped here as passed; ctest counts this line as a skip.
      std::cout << "[  SKIPPED ] no PostgreSQL test server (CORVINA_PG_PORT unset; ./test.sh starts one)"
                << std::endl;
      GTEST_SKIP() << "PostgreSQL backend requested but no test server is configured: server tests skipped";
    }
    try {
      onServer(QStringLiteral("SELECT 1"));
    } catch (const DataError& e) {
      FAIL() << "The PostgreSQL test server does not answer: " << e.description().toStdString();
    }
  }
};
[[maybe_unused]] const auto* const serverBackendCheck =
    ::testing::AddGlobalTestEnvironment(new ServerBackendCheck);  // gtest owns it
}  // namespace

TestEnv::TestEnv() {
  // What the windows remember goes into this test's folder, never the user's.
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path(QStringLiteral("settings")));
  previousHome_ = qgetenv("CORVINA_HOME");
  qputenv("CORVINA_HOME", dir_.path().toUtf8());
  QFile::copy(builtTemplate(), path(QStringLiteral("Template.mdb")));
  QFile::setPermissions(path(QStringLiteral("Template.mdb")),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
  firstServerDb_ = serverDatabases().size();
  systemConnect_ = createSystemDb(systemDb());
  useSystemDb(systemConnect_);
}

TestEnv::~TestEnv() {
  auto& names = serverDatabases();
  while (names.size() > firstServerDb_) {
    try {
      onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(names.back()));
    } catch (const DataError&) {
      // The server goes with the test run anyway.
    }
    names.pop_back();
  }
  if (previousHome_.isEmpty())
    qunsetenv("CORVINA_HOME");
  else
    qputenv("CORVINA_HOME", previousHome_);
}

QString TestEnv::builtTemplate() { return QStringLiteral(CORVINA_BINARY_DIR "/Template.sqlite.mdb"); }

QString TestEnv::builtJetTemplate() { return QStringLiteral(CORVINA_BINARY_DIR "/Template.mdb"); }

bool TestEnv::onPostgres() {
  return env("CORVINA_TEST_BACKEND").compare(QLatin1String("postgres"), Qt::CaseInsensitive) == 0;
}

bool TestEnv::postgresConfigured() { return !env("CORVINA_PG_PORT").isEmpty(); }

QString TestEnv::postgresConnect(const QString& database) {
  const QString host = env("CORVINA_PG_HOST");
  return QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5;")
      .arg(host.isEmpty() ? QStringLiteral("127.0.0.1") : host, env("CORVINA_PG_PORT"), database,
           env("CORVINA_PG_USER"), env("CORVINA_PG_PASSWORD"));
}

QString TestEnv::createPostgresSystemDb() {
  static int counter = 0;
  const QString name = QStringLiteral("cv%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
  onServer(QStringLiteral("CREATE DATABASE %1 ENCODING 'UTF8'").arg(name));
  serverDatabases().push_back(name);
  const QString connect = postgresConnect(name);
  createSchema(connect);
  // Tests check lists of rows with SQLite's group_concat; the server gets one too.
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(connect);
  dal.ExecQuery(QStringLiteral(
      "CREATE FUNCTION group_concat_step(acc text, v anyelement) RETURNS text LANGUAGE sql IMMUTABLE AS $$ "
      "SELECT CASE WHEN v IS NULL THEN acc WHEN acc IS NULL THEN CAST(v AS text) "
      "ELSE acc || ',' || CAST(v AS text) END $$"));
  dal.ExecQuery(QStringLiteral(
      "CREATE AGGREGATE group_concat(anyelement) (SFUNC = group_concat_step, STYPE = text)"));
  return connect;
}

QString TestEnv::createSqliteSystemDb(const QString& file) {
  QFile::remove(file);
  QFile f(file);
  f.open(QIODevice::WriteOnly);
  f.close();
  const QString connect = QStringLiteral("Driver=SQLite3;Database=") + file;
  createSchema(connect);
  return connect;
}

QString TestEnv::createSystemDb(const QString& file) {
  return onPostgres() ? createPostgresSystemDb() : createSqliteSystemDb(file);
}

void TestEnv::useSystemDb(const QString& connectString) const {
  QFile f(path(QStringLiteral("odbc.ini")));
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write("[ODBC]\r\nConnectionString=" + connectString.toUtf8() + "\r\n");
}

std::unique_ptr<CDataAccess> TestEnv::dal() const { return std::make_unique<CDataAccess>(); }

void TestEnv::exec(const QString& sql) const { dal()->ExecQuery(sql); }

QVariant TestEnv::scalar(const QString& sql) const {
  auto d = dal();
  Bulk::Query rows = d->OpenQuery(sql);
  return rows.next() ? rows.value(0) : QVariant();
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
