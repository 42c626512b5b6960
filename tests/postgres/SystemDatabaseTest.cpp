#include <gtest/gtest.h>

#include <QDateTime>

#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "support/TestEnv.h"

// What the engines rely on from the system database, run against each backend:
// reading, adding rows with the generated ID read back, editing, statements,
// transactions, Chinese and long text, dates and NULLs.
namespace {

QString longText(int size) {
  QString s;
  s.reserve(size);
  const QString unit = QStringLiteral("题目正文 Body text, line %1.\n");
  for (int i = 0; s.size() < size; ++i) s += unit.arg(i);
  s.truncate(size);
  return s;
}

class SystemDatabase : public ::testing::Test {
 protected:
  TestEnv env;
  CDataAccess dal;
};

TEST_F(SystemDatabase, AddNewReadsTheGeneratedIdBackAndRowsReadByAnyCase) {
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where 1=0", rs);
  rs->AddNew();
  rs->SetValue("name", QStringLiteral("数学"));
  rs->SetValue("Description", QStringLiteral("高等数学"));
  rs->Update();
  const int first = rs->Value("SubjectID").toInt();
  rs->AddNew();
  rs->SetValue(1, QStringLiteral("物理"));
  rs->Update();
  const int second = rs->Value(0).toInt();
  EXPECT_GT(first, 0);
  EXPECT_GT(second, first);

  dal.GetConnectedRecordset("select SubjectID, Name, DESCRIPTION from Subject order by SubjectID", rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("subjectid").toInt(), first);
  EXPECT_EQ(rs->Value("NAME").toString(), QStringLiteral("数学"));
  EXPECT_EQ(rs->Value("description").toString(), QStringLiteral("高等数学"));
  rs->MoveNext();
  EXPECT_EQ(rs->Value("SubjectId").toInt(), second);
  EXPECT_TRUE(rs->Value("Description").isNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
}

TEST_F(SystemDatabase, ExplicitIdsAreKeptAndLaterGeneratedIdsDoNotCollideWithThem) {
  // Subject -1 exists in every system database; copied rows keep their IDs.
  dal.ExecQuery("", "insert into Subject (SubjectID, name) values (-1, ?)", {QStringLiteral("公共")});
  dal.ExecQuery("", "insert into Subject (SubjectID, name) values (7, 'seven')");
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where 1=0", rs);
  rs->AddNew();
  rs->SetValue("name", "generated");
  rs->Update();
  EXPECT_GT(rs->Value(0).toInt(), 7);
  rs->AddNew();
  rs->SetValue("SubjectID", 100);
  rs->SetValue("name", "hundred");
  rs->Update();
  EXPECT_EQ(rs->Value(0).toInt(), 100);
  rs->AddNew();
  rs->SetValue("name", "after hundred");
  rs->Update();
  EXPECT_GT(rs->Value(0).toInt(), 100);
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 5);
  EXPECT_EQ(env.scalar("select name from Subject where SubjectID = -1").toString(), QStringLiteral("公共"));
}

TEST_F(SystemDatabase, EditingTheCurrentRowWritesItBack) {
  dal.ExecQuery("", "insert into Course (KeySubjectID, Name, CourseCode) values (1, 'old', 'C1')");
  dal.ExecQuery("", "insert into Course (KeySubjectID, Name, CourseCode) values (1, 'other', 'C2')");
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Course where CourseCode = 'C1'", rs);
  ASSERT_FALSE(rs->Eof());
  rs->SetValue("Name", QStringLiteral("新课程"));
  rs->SetValue("KeySubjectID", 42);
  rs->Update();
  EXPECT_EQ(env.scalar("select Name from Course where CourseCode = 'C1'").toString(), QStringLiteral("新课程"));
  EXPECT_EQ(env.scalar("select KeySubjectID from Course where CourseCode = 'C1'").toInt(), 42);
  EXPECT_EQ(env.scalar("select Name from Course where CourseCode = 'C2'").toString(), "other");
}

TEST_F(SystemDatabase, BoundTextTravelsUnchangedAndIsNeverTakenAsSql) {
  const QString hostile = QStringLiteral("O'Brien\"; drop table Subject; -- 中文");
  dal.ExecQuery("", "insert into Subject (name, description) values (?, ?)", {hostile, QStringLiteral("说明")});
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where name = ?", {hostile}, rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("name").toString(), hostile);
  EXPECT_EQ(rs->Value("description").toString(), QStringLiteral("说明"));
}

TEST_F(SystemDatabase, MemoTextOverAHundredThousandCharactersIsKeptWhole) {
  const QString body = longText(150000);
  const QString answer = longText(120001);
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Problem where 1=0", rs);
  rs->AddNew();
  rs->SetValue("Body", body);
  rs->SetValue("Answer", answer);
  rs->SetValue("ProblemCode", "P-long");
  rs->Update();
  const int id = rs->Value(0).toInt();

  dal.GetConnectedRecordset("select Body, Answer from Problem where ProblemID = " + QString::number(id), rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("Body").toString().size(), body.size());
  EXPECT_EQ(rs->Value("Body").toString(), body);
  EXPECT_EQ(rs->Value("Answer").toString(), answer);

  dal.ExecQuery("", "update Problem set Answer = ? where ProblemID = " + QString::number(id), {body});
  EXPECT_EQ(env.scalar("select Answer from Problem where ProblemID = " + QString::number(id)).toString(), body);
}

TEST_F(SystemDatabase, DatesRoundTripWhetherGivenAsDateOrAsText) {
  const QDateTime when(QDate(2024, 3, 5), QTime(14, 30, 15));
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Content where 1=0", rs);
  rs->AddNew();
  rs->SetValue("Name", "as date");
  rs->SetValue("Lastupdated", when);
  rs->Update();
  rs->AddNew();
  rs->SetValue("Name", "as text");
  rs->SetValue("Lastupdated", QStringLiteral("2024-03-05 14:30:15"));
  rs->Update();
  dal.ExecQuery("", "insert into Content (Name, Lastupdated) values ('bound', ?)", {when});

  dal.GetConnectedRecordset("select Name, Lastupdated from Content order by ContentID", rs);
  int rows = 0;
  for (; !rs->Eof(); rs->MoveNext(), ++rows) {
    const QVariant v = rs->Value("LastUpdated");
    QDateTime read = v.toDateTime();  // a timestamp, or ISO text
    if (!read.isValid()) read = QDateTime::fromString(v.toString(), "yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(read, when) << rs->Value("Name").toString().toStdString() << ": " << v.toString().toStdString();
  }
  EXPECT_EQ(rows, 3);
}

TEST_F(SystemDatabase, NullsStayNullAndNumbersKeepTheirValues) {
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Feature where 1=0", rs);
  rs->AddNew();
  rs->SetValue("name", "range");
  rs->SetValue("FeatureNumber", 0);
  rs->SetValue("type", 1);
  rs->SetValue("minimum", 0.5);
  rs->SetValue("maximum", 9.75);
  rs->SetValue("valueincrement", QVariant());
  rs->Update();
  dal.GetConnectedRecordset("select * from Feature", rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("FeatureNumber").toInt(), 0);
  EXPECT_EQ(rs->Value("TYPE").toInt(), 1);
  EXPECT_DOUBLE_EQ(rs->Value("minimum").toDouble(), 0.5);
  EXPECT_DOUBLE_EQ(rs->Value("maximum").toDouble(), 9.75);
  EXPECT_TRUE(rs->Value("valueincrement").isNull());
  EXPECT_TRUE(rs->Value("description").isNull());
  EXPECT_EQ(env.scalar("select count(*) from Feature where description is null").toInt(), 1);
}

TEST_F(SystemDatabase, RolledBackWorkLeavesNothingAndCommittedWorkStays) {
  dal.BeginTrans();
  dal.ExecQuery("", "insert into Subject (name) values ('gone')");
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Subject where 1=0", rs);
  rs->AddNew();
  rs->SetValue("name", "gone too");
  rs->Update();
  dal.RollbackTrans();
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);

  dal.BeginTrans();
  dal.ExecQuery("", "insert into Subject (name) values ('kept')");
  dal.CommitTrans();
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 1);
  EXPECT_FALSE(dal.IsInTransaction());
}

TEST_F(SystemDatabase, AFailedStatementRaisesTheDriverErrorAsDataAccessApi) {
  try {
    dal.ExecQuery("", "insert into NoSuchTable (x) values (1)");
    FAIL() << "the statement should fail";
  } catch (const DataError& e) {
    EXPECT_EQ(e.source(), "DataAccessAPI");
    EXPECT_TRUE(e.description().contains("nosuchtable", Qt::CaseInsensitive)) << e.description().toStdString();
  }
  // The connection is still usable afterwards, in and out of a transaction.
  dal.ExecQuery("", "insert into Subject (name) values ('after')");
  dal.BeginTrans();
  EXPECT_THROW(dal.ExecQuery("", "select * from NoSuchTable"), DataError);
  dal.RollbackTrans();
  dal.ExecQuery("", "insert into Subject (name) values ('again')");
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 2);
}

TEST_F(SystemDatabase, LongTablesStreamAndCountWhileAnotherConnectionWrites) {
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
  RecordsetPtr source;
  dal.GetConnectedRecordset("select * from ProblemsContents order by ProblemID", source);
  EXPECT_EQ(source->RecordCount(), 3000);
  RecordsetPtr target;
  writer.GetConnectedRecordset("select * from ProblemsFeatures where 1=0", target);
  int copied = 0;
  for (; !source->Eof(); source->MoveNext(), ++copied) {
    target->AddNew();
    target->SetValue("ProblemID", source->Value("ProblemID"));
    target->SetValue("FeatureID", source->Value(1));
  }
  target->Update();
  EXPECT_EQ(copied, 3000);
  EXPECT_EQ(env.scalar("select count(*) from ProblemsFeatures").toInt(), 3000);
  EXPECT_EQ(env.scalar("select sum(FeatureID) from ProblemsFeatures").toLongLong(),
            env.scalar("select sum(ContentID) from ProblemsContents").toLongLong());
}

TEST_F(SystemDatabase, DisconnectedRecordsetWritesItsChangesBackInOneBatch) {
  dal.ExecQuery("", "insert into Subject (name) values ('a')");
  RecordsetPtr rs;
  dal.GetRecordset("", "select * from Subject", rs);
  EXPECT_FALSE(rs->HasActiveConnection());
  rs->SetValue("name", QStringLiteral("甲"));
  rs->AddNew();
  rs->SetValue("name", QStringLiteral("乙"));
  rs->Update();
  dal.PutRecordset("", rs);
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 2);
  EXPECT_EQ(env.scalar("select count(*) from Subject where name in ('甲', '乙')").toInt(), 2);
}

}  // namespace
