// The data access object on the system database (SQLite, or the server as
// pg.*) and on exchange files: what callers see of connections, recordsets,
// transactions and the statements each dialect needs.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QSqlQuery>

#include <tuple>

#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/Dialect.h"
#include "support/TestEnv.h"

namespace {

// The DataError a call raises (number, source and description), or "none".
template <typename Call>
QString raised(Call call) {
  try {
    call();
    return QStringLiteral("none");
  } catch (const DataError& e) {
    return QString::number(e.number()) + " " + e.source() + ": " + e.description();
  }
}

TEST(DataAccess, ConnectionsGoWhereTheyAreToldOrFailNamingWhy) {
  const TestEnv env;
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject", rs);
  EXPECT_TRUE(rs->Eof() && rs->Bof());
  // A statement for another database leaves the held one alone.
  dal.ExecQuery(TestEnv::createSystemDb(env.path("there.db")), "insert into Subject (name) values ('there')");
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  // Keys of a connection string in any case; the held connection replaced.
  TestEnv::createSqliteSystemDb(env.path("other.db"));
  dal.OpenConnection("DRIVER=SQLite3;database=" + env.path("other.db"));
  dal.ExecQuery("", "insert into Subject (name) values ('other')");
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  dal.GetConnectedRecordset("select name from Subject", rs);
  EXPECT_EQ(rs->Value("NAME").toString(), "other");
  // A failed query leaves the caller's variable empty; a failed open holds nothing usable.
  EXPECT_TRUE(raised([&] { dal.GetConnectedRecordset("select * from NoSuchTable", rs); }).contains("NoSuchTable", Qt::CaseInsensitive));
  EXPECT_EQ(rs, nullptr);
  EXPECT_TRUE(raised([&] { dal.OpenConnection("Driver=SQLite3;Database=" + env.path("nope.db")); }).contains("nope.db"));
  EXPECT_FALSE(dal.IsConnected());
  EXPECT_TRUE(raised([&] { dal.GetConnectedRecordset("select * from Subject", rs); }).contains("DataAccessAPI"));
  env.useSystemDb("Driver=SQLite3;Database=" + env.path("missing.db"));
  const QString unreachable = raised([] { CDataAccess dal; });
  EXPECT_TRUE(unreachable.contains("DataAccessAPI: ") && unreachable.contains("missing.db")) << unreachable.toStdString();
}

// New rows read their generated key back; an edit updates the row its first
// column names; field names in any case; dates stored in the one text form;
// a disconnected recordset writes its changes in one batch.
TEST(DataAccess, RecordsetsAddEditAndBatchRows) {
  const TestEnv env;
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Course where 1=0", rs);
  for (const char* name : {"数学", "物理"}) {
    rs->AddNew();
    rs->SetValue("NAME", QString::fromUtf8(name));
    rs->SetValue("lastUPDATED", QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    rs->Update();
  }
  EXPECT_EQ(env.scalar("select count(*) from Course where Lastupdated='2024-05-06 07:08:09'").toInt(), 2);
  EXPECT_TRUE(raised([&] { rs->SetValue("NoSuchColumn", 1); }).startsWith(QString::number(DataError::ItemNotFound)));
  dal.GetConnectedRecordset("select * from Course where CourseID=" + QString::number(rs->Value("courseid").toInt() - 1), rs);
  rs->SetValue("Description", QStringLiteral("改过"));
  rs->Update();
  EXPECT_EQ(env.scalar("select Description from Course where Name='数学'").toString(), "改过");
  EXPECT_TRUE(env.scalar("select Description from Course where Name='物理'").isNull());

  dal.GetRecordset("", "select * from Subject where 1=0", rs);
  for (const char* name : {"a", "b", "c"}) {
    rs->AddNew();
    rs->SetValue("name", QString::fromLatin1(name));
    rs->Update();
  }
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  dal.PutRecordset("", rs);
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 3);
  EXPECT_FALSE(rs->HasActiveConnection());
}

// A transaction is known as open until it ends, keeps or drops its rows as
// asked, and takes the system database for writing at once: a second import
// waits its turn instead of failing when both have read.
TEST(DataAccess, TransactionsHoldTheDatabaseAndEndAsAsked) {
  for (const bool commit : {true, false}) {
    const TestEnv env;
    CDataAccess dal;
    EXPECT_FALSE(dal.IsInTransaction());
    dal.BeginTrans();
    EXPECT_TRUE(dal.IsInTransaction());
    if (!TestEnv::onPostgres()) {
      QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "second-writer");
      other.setDatabaseName(env.systemDb());
      other.setConnectOptions("QSQLITE_BUSY_TIMEOUT=0");
      EXPECT_TRUE(other.open() && !QSqlQuery(other).exec("BEGIN IMMEDIATE")) << "a second writer got in";
      other = QSqlDatabase();
      QSqlDatabase::removeDatabase("second-writer");
    }
    dal.ExecQuery("", "insert into Subject (name) values ('x')");
    commit ? dal.CommitTrans() : dal.RollbackTrans();
    EXPECT_FALSE(dal.IsInTransaction());
    EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), commit ? 1 : 0);
  }
}

// The statements each dialect gets work on the system database: names
// compared ignoring case, and the right of exactly the user logging in (amy
// has right 5 of her own, bob right 6 through a role).
TEST(DataAccess, DialectStatementsFindWhatTheyShould) {
  const TestEnv env;
  for (const char* sql : {"insert into userinfo (Name) values ('amy'), ('bob')", "insert into Course (Name) values ('English')",
                          "insert into UsersRights select userid, 5 from userinfo where Name='amy'",
                          "insert into userrole select userid, 9 from userinfo where Name='bob'", "insert into RolesRights values (9, 6)"})
    env.exec(sql);
  CDataAccess dal;
  const auto rows = [&](const QString& sql, const QString& value) {
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sql, {value}, rs);
    return rs->Eof() ? QString() : rs->Value(1).toString();
  };
  EXPECT_EQ(rows("select CourseID, Name from Course where " + Sql::equalsIgnoringCase(dal.dialect(), "Name"), "ENGLISH"), "English");
  for (const auto& [right, user, found] : {std::tuple{5, "amy", "amy"}, {5, "bob", ""}, {6, "bob", "bob"}, {6, "amy", ""}})
    EXPECT_EQ(rows(Sql::userRightQuery(dal.dialect(), right), user), found) << right << user;
}

// Exchange files are told by their first bytes (Access or SQLite); anything
// else is refused saying what it is, and nothing is then held.
TEST(DataAccess, ExchangeFilesAreRecognisedByTheirFirstBytes) {
  const TestEnv env;
  CDataAccess dal{CDataAccess::Unconnected{}};
  for (const QString& file : {TestEnv::builtJetTemplate(), TestEnv::builtTemplate()}) {
    dal.OpenExchangeFile(file, ExchangeAccess::Read);
    RecordsetPtr rs;
    dal.GetConnectedRecordset("select * from Course", rs);
    EXPECT_EQ(rs->FieldCount(), 7);
  }
  QFile junk(env.path("junk.mdb"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("this is not a database at all") > 0);
  junk.close();
  const QString error = raised([&] { dal.OpenExchangeFile(junk.fileName(), ExchangeAccess::Read); });
  EXPECT_TRUE(error.contains("DataAccessAPI: ") && error.contains("不是 Access 或 SQLite 格式")) << error.toStdString();
  EXPECT_FALSE(dal.IsConnected());
}

}  // namespace
