#include <gtest/gtest.h>

#include <QFile>

#include <chrono>
#include <thread>

#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "support/TestEnv.h"

namespace {

TEST(DataAccess, NewInstanceIsConnectedToTheSystemDatabase) {
  TestEnv env;
  CDataAccess dal;
  EXPECT_TRUE(dal.IsConnected());
  EXPECT_EQ(dal.ConnectionString(), env.systemConnect());
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject", rs);
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
}

TEST(DataAccess, UnreachableSystemDatabaseFailsCreation) {
  TestEnv env;
  env.useSystemDb("Driver=SQLite3;Database=" + env.path("missing.db"));
  try {
    CDataAccess dal;
    FAIL() << "creation should fail";
  } catch (const DataError& e) {
    EXPECT_EQ(e.source(), "DataAccessAPI");
    EXPECT_TRUE(e.description().contains("missing.db"));
  }
}

TEST(DataAccess, EmptyOpenConnectionKeepsTheHeldConnection) {
  TestEnv env;
  CDataAccess dal;
  auto before = dal.connection();
  dal.OpenConnection("");
  EXPECT_EQ(dal.connection(), before);
}

TEST(DataAccess, RepointingDropsTheOldConnectionAndAFailedOpenHoldsNothingUsable) {
  TestEnv env;
  CDataAccess dal;
  const QString other = TestEnv::createSystemDb(env.path("other.db"));
  dal.OpenConnection(other);
  dal.ExecQuery("", "insert into Subject (name) values ('x')");
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);

  EXPECT_THROW(dal.OpenConnection("Driver=SQLite3;Database=" + env.path("nope.db")), DataError);
  EXPECT_FALSE(dal.IsConnected());
  RecordsetPtr rs;
  try {
    dal.GetConnectedRecordset("select * from Subject", rs);
    FAIL();
  } catch (const DataError& e) {
    EXPECT_EQ(e.source(), "DataAccessAPI");
  }
  EXPECT_EQ(rs, nullptr);
}

TEST(DataAccess, FailedRecordsetLeavesTheCallersVariableEmpty) {
  TestEnv env;
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject", rs);
  ASSERT_NE(rs, nullptr);
  try {
    dal.GetConnectedRecordset("select * from NoSuchTable", rs);
    FAIL();
  } catch (const DataError& e) {
    EXPECT_EQ(e.source(), "DataAccessAPI");
    EXPECT_TRUE(e.description().contains("NoSuchTable", Qt::CaseInsensitive));
  }
  EXPECT_EQ(rs, nullptr);
}

TEST(DataAccess, AddNewUpdateReadsTheGeneratedIdAndEditUpdatesByFirstColumn) {
  TestEnv env;
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where 1=0", rs);
  rs->AddNew();
  rs->SetValue("NAME", QStringLiteral("数学"));
  rs->Update();
  const int first = rs->Value(0).toInt();
  rs->AddNew();
  rs->SetValue("name", QStringLiteral("物理"));
  rs->Update();
  EXPECT_EQ(rs->Value("SubjectID").toInt(), first + 1);

  dal.GetConnectedRecordset("select * from Subject where SubjectID=" + QString::number(first), rs);
  rs->SetValue("description", QStringLiteral("改过"));
  rs->Update();
  EXPECT_EQ(env.scalar("select description from Subject where name='数学'").toString(), "改过");
  EXPECT_TRUE(env.scalar("select description from Subject where name='物理'").isNull());
}

TEST(DataAccess, UnknownFieldNameRaisesItemNotFound) {
  TestEnv env;
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where 1=0", rs);
  rs->AddNew();
  try {
    rs->SetValue("NoSuchColumn", 1);
    FAIL();
  } catch (const DataError& e) {
    EXPECT_EQ(e.number(), DataError::ItemNotFound);
  }
}

TEST(DataAccess, ExecQueryWithAConnectStringLeavesTheHeldConnectionAlone) {
  TestEnv env;
  CDataAccess dal;
  const QString other = TestEnv::createSystemDb(env.path("other.db"));
  dal.ExecQuery(other, "insert into Subject (name) values ('there')");
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  EXPECT_EQ(dal.ConnectionString(), env.systemConnect());
  CDataAccess there{CDataAccess::Unconnected{}};
  there.OpenConnection(other);
  RecordsetPtr rs;
  there.GetConnectedRecordset("select name from Subject", rs);
  EXPECT_EQ(rs->Value(0).toString(), "there");
}

TEST(DataAccess, DisconnectedRecordsetWritesItsChangesInOneBatch) {
  TestEnv env;
  CDataAccess dal;
  RecordsetPtr rs;
  dal.GetRecordset("", "select * from Subject where 1=0", rs);
  EXPECT_FALSE(rs->HasActiveConnection());
  for (const char* n : {"a", "b", "c"}) {
    rs->AddNew();
    rs->SetValue("name", QString::fromLatin1(n));
    rs->Update();
  }
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  dal.PutRecordset("", rs);
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 3);
  EXPECT_FALSE(rs->HasActiveConnection());
}

TEST(DataAccess, RollbackUndoesAndFlagFollowsTransactions) {
  TestEnv env;
  CDataAccess dal;
  EXPECT_FALSE(dal.IsInTransaction());
  dal.BeginTrans();
  EXPECT_TRUE(dal.IsInTransaction());
  dal.ExecQuery("", "insert into Subject (name) values ('gone')");
  dal.RollbackTrans();
  EXPECT_FALSE(dal.IsInTransaction());
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  dal.BeginTrans();
  dal.ExecQuery("", "insert into Subject (name) values ('kept')");
  dal.CommitTrans();
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 1);
}

TEST(DataAccess, TwoWritersOnOneSystemDatabaseTakeTurns) {
  // Two imports at once: each reads, then writes, inside its transaction.
  TestEnv env;
  const auto readThenWrite = [](CDataAccess& dal, const QString& name) {
    dal.BeginTrans();
    RecordsetPtr rs;
    dal.GetConnectedRecordset("select * from Subject", rs);
    rs.reset();
    dal.ExecQuery(QString(), "insert into Subject (name) values (?)", QVariantList{name});
  };
  CDataAccess first;
  readThenWrite(first, "first");
  QString failure;
  std::thread second([&] {
    try {
      CDataAccess dal;
      readThenWrite(dal, "second");
      dal.CommitTrans();
    } catch (const DataError& e) {
      failure = e.description();
    }
  });
  // Lets the second writer reach the database while the first still holds it.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  first.CommitTrans();
  second.join();
  EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 2);
}

TEST(DataAccess, ExchangeFilesAreRecognisedByTheirFirstBytes) {
  TestEnv env;
  CDataAccess dal;
  dal.OpenExchangeFile(env.path("Template.mdb"), ExchangeAccess::Read);
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Course", rs);
  EXPECT_EQ(rs->FieldCount(), 7);
  dal.OpenExchangeFile(TestEnv::builtJetTemplate(), ExchangeAccess::Read);
  EXPECT_TRUE(dal.IsConnected());

  QFile junk(env.path("junk.mdb"));
  junk.open(QIODevice::WriteOnly);
  junk.write("this is not a database at all");
  junk.close();
  EXPECT_THROW(dal.OpenExchangeFile(env.path("junk.mdb"), ExchangeAccess::Read), DataError);
}

}  // namespace
