#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>

#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Dialect.h"
#include "login/LoginCheck.h"
#include "support/TestEnv.h"

// What the engines rely on from the system database, on each backend.
namespace {

class SystemDatabase : public ::testing::Test {
 protected:
  int count(const QString& sql) const { return env.scalar("select count(*) from " + sql).toInt(); }
  TestEnv env;
  CDataAccess dal;
};

// Each value is written through a recordset or as a bound parameter, then read
// back by its generated ID under a column name in another case.
TEST_F(SystemDatabase, ValuesTravelUnchangedAndGeneratedIdsComeBack) {
  QString longText;
  for (int i = 0; longText.size() < 150000; ++i) longText += QStringLiteral("题目正文 Body text, line %1.\n").arg(i);
  const QDateTime when(QDate(2024, 3, 5), QTime(14, 30, 15));
  const struct { const char* table; const char* column; QVariant value; QVariant expected; } rows[] = {
      {"Subject", "name", QStringLiteral("O'Brien\"; drop table Subject; -- 中文"), {}},
      {"Subject", "description", QVariant(), {}},
      {"Problem", "Body", longText, {}},
      {"Content", "Lastupdated", when, {}},
      {"Content", "Lastupdated", QStringLiteral("2024-03-05 14:30:15"), when},
      {"Feature", "minimum", 0.5, {}},
      {"Feature", "FeatureNumber", 0, {}}};
  QHash<QString, int> lastId;
  for (bool bound : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(QStringLiteral("%1.%2 bound %3").arg(row.table, row.column).arg(bound).toStdString());
      const QString idColumn = QString(row.table) + "ID";
      RecordsetPtr rs;
      int id = 0;
      if (bound) {
        dal.ExecQuery("", QStringLiteral("insert into %1 (%2) values (?)").arg(row.table, row.column), {row.value});
        id = env.scalar(QStringLiteral("select max(%1) from %2").arg(idColumn, row.table)).toInt();
      } else {
        dal.GetConnectedRecordset(QStringLiteral("select * from %1 where 1=0").arg(row.table), rs);
        rs->AddNew();
        rs->SetValue(row.column, row.value);
        rs->Update();
        id = rs->Value(idColumn.toLower()).toInt();
      }
      EXPECT_GT(id, lastId.value(row.table));
      lastId[row.table] = id;
      dal.GetConnectedRecordset(
          QStringLiteral("select %1 from %2 where %3 = ?").arg(row.column, row.table, idColumn), {id}, rs);
      ASSERT_FALSE(rs->Eof());
      const QVariant read = rs->Value(QString(row.column).toUpper());
      const QVariant expected = row.expected.isValid() ? row.expected : row.value;
      if (expected.metaType().id() == QMetaType::QDateTime) {
        // A timestamp, or ISO text.
        const QDateTime stamp = read.toDateTime().isValid()
                                    ? read.toDateTime() : QDateTime::fromString(read.toString(), "yyyy-MM-dd HH:mm:ss");
        EXPECT_EQ(stamp, when) << read.toString().toStdString();
      } else {
        EXPECT_EQ(read.isNull(), expected.isNull());
        EXPECT_EQ(read.toString(), expected.toString());
      }
    }
  }
}

// Copied rows keep their IDs (-1 is in every system database); later generated
// ones go past them, whatever keys were reserved before.
TEST_F(SystemDatabase, ExplicitIdsAreKeptAndGeneratedOnesNeverCollideWithThem) {
  dal.ExecQuery("", "insert into Subject (SubjectID, name) values (-1, ?)", {QStringLiteral("公共")});
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where 1=0", rs);
  int highest = -1;
  for (int explicitId : {7, 0, 100, 0, 0}) {
    rs->AddNew();
    if (explicitId) rs->SetValue("SubjectID", explicitId);
    rs->SetValue("name", "s");
    rs->Update();
    const int id = rs->Value(0).toInt();
    if (explicitId) EXPECT_EQ(id, explicitId);
    else EXPECT_GT(id, highest);
    highest = std::max(id, highest);
  }
  EXPECT_EQ(count("Subject"), 6);
  EXPECT_EQ(count("(select distinct SubjectID from Subject) ids"), 6);
}

TEST_F(SystemDatabase, RollbackLeavesNothingCommitKeepsAndAFailureLeavesTheConnectionUsable) {
  dal.ExecQuery("", "insert into Course (KeySubjectID, Name) values (1, 'kept')");
  dal.BeginTrans();
  EXPECT_TRUE(dal.IsInTransaction());
  dal.ExecQuery("", "insert into Subject (name) values ('gone')");
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Course", rs);
  rs->SetValue("Name", QStringLiteral("改名"));
  rs->Update();
  EXPECT_THROW(dal.ExecQuery("", "select * from NoSuchTable"), DataError);
  dal.RollbackTrans();
  EXPECT_EQ(count("Subject") + count("Course where Name = 'kept'"), 1);

  try {
    dal.ExecQuery("", "insert into NoSuchTable (x) values (1)");
    ADD_FAILURE() << "the statement should fail";
  } catch (const DataError& e) {
    EXPECT_EQ(e.source(), "DataAccessAPI");
    EXPECT_TRUE(e.description().contains("nosuchtable", Qt::CaseInsensitive)) << e.description().toStdString();
  }
  dal.BeginTrans();
  dal.ExecQuery("", "insert into Subject (name) values ('kept')");
  dal.CommitTrans();
  EXPECT_FALSE(dal.IsInTransaction());
  EXPECT_EQ(count("Subject"), 1);
}

// Thousands of rows stream out of one connection into another; a disconnected
// recordset writes its edits back in one batch.
TEST_F(SystemDatabase, LongTablesStreamAndDisconnectedEditsGoBackInOneBatch) {
  dal.BeginTrans();
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from ProblemsContents where 1=0", rs);
  for (int i = 1; i <= 3000; ++i) {
    rs->AddNew();
    rs->SetValue("ProblemID", i);
    rs->SetValue("ContentID", i % 17);
  }
  rs->Update();
  dal.CommitTrans();
  CDataAccess writer;
  RecordsetPtr target;
  writer.GetConnectedRecordset("select * from ProblemsFeatures where 1=0", target);
  dal.GetConnectedRecordset("select * from ProblemsContents order by ProblemID", rs);
  EXPECT_EQ(rs->RecordCount(), 3000);
  for (; !rs->Eof(); rs->MoveNext()) {
    target->AddNew();
    target->SetValue("ProblemID", rs->Value("ProblemID"));
    target->SetValue("FeatureID", rs->Value(1));
  }
  target->Update();
  EXPECT_EQ(count("ProblemsFeatures"), 3000);
  EXPECT_EQ(env.scalar("select sum(FeatureID) from ProblemsFeatures").toLongLong(),
            env.scalar("select sum(ContentID) from ProblemsContents").toLongLong());

  dal.ExecQuery("", "insert into Subject (name) values ('a')");
  dal.GetRecordset("", "select * from Subject", rs);
  EXPECT_FALSE(rs->HasActiveConnection());
  rs->SetValue("name", QStringLiteral("甲"));
  rs->AddNew();
  rs->SetValue("name", QStringLiteral("乙"));
  rs->Update();
  dal.PutRecordset("", rs);
  EXPECT_EQ(count("Subject where name in ('甲', '乙')"), 2);
  EXPECT_EQ(count("Subject"), 2);
}

// The statements that differ by backend: course names compared without case,
// and the right of the one user logging in, through a role, a group or directly.
TEST_F(SystemDatabase, EachBackendComparesNamesWithoutCaseAndChecksTheRightOfThatUser) {
  dal.ExecQuery("", "insert into Course (KeySubjectID, Name) values (1, 'Linear Algebra')");
  const QString sameName = "select count(*) from Course where " + Sql::equalsIgnoringCase(dal.dialect(), "Name");
  for (const char* name : {"Linear Algebra", "LINEAR algebra", "Linear Algebra 2"}) {
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sameName, {QString(name)}, rs);
    EXPECT_EQ(rs->Value(0).toInt(), QString(name).size() == 14 ? 1 : 0) << name;
  }
  for (const char* name : {"role", "group", "direct", "none"})
    dal.ExecQuery("", "insert into userinfo (Name) values (?)", {QString(name)});
  const auto user = [&](const char* name) {
    return env.scalar(QString("select userid from userinfo where Name = '%1'").arg(name)).toString();
  };
  env.exec("insert into RolesRights (roleid, rightid) values (1, 35)");
  env.exec("insert into RolesRights (roleid, rightid) values (2, 10)");
  env.exec("insert into userrole (userid, roleid) values (" + user("role") + ", 1)");
  env.exec("insert into userrole (userid, roleid) values (" + user("none") + ", 2)");
  env.exec("insert into grouprole (groupid, roleid) values (7, 1)");
  env.exec("insert into groupuser (groupid, userid) values (7, " + user("group") + ")");
  env.exec("insert into UsersRights (userid, rightid) values (" + user("direct") + ", 35)");
  for (const char* name : {"role", "group", "direct", "none"})
    EXPECT_EQ(LoginCheck::CheckRight(name, 35), QString(name) != "none") << name;
  EXPECT_TRUE(LoginCheck::CheckRight("none", 10));
}

// Connection strings are read without regard to key case; an empty exchange file is named as such.
TEST_F(SystemDatabase, ConnectionKeysInAnyCaseAndAnEmptyExchangeFileNamed) {
  EXPECT_EQ(Connection::connectValue("DRIVER=SQLite3;database=/d/x.db;", "Database"), "/d/x.db");
  QFile empty(env.path("empty.mdb"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  CDataAccess exchange{CDataAccess::Unconnected{}};
  try {
    exchange.OpenExchangeFile(empty.fileName(), ExchangeAccess::Read);
    ADD_FAILURE() << "an empty file opened";
  } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains("文件是空的。")) << e.description().toStdString();
  }
}

}  // namespace
