// A SQLite-format exchange file is untrusted input: opened for an import it is
// read-only, code in it is refused, and every value of the course tables must
// fit the exchange schema before the import sees it.
#include <gtest/gtest.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/ExchangeCheck.h"
#include "support/TestEnv.h"

namespace {

// A copy of the SQLite-format template with statements run on it.
QString exchangeFileWith(const QTemporaryDir& dir, const QStringList& statements) {
  const QString file = dir.filePath(QStringLiteral("exchange.mdb"));
  QFile::remove(file);
  QFile::copy(TestEnv::builtTemplate(), file);
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
    db.setDatabaseName(file);
    db.open();
    QSqlQuery q(db);
    for (const QString& sql : statements) EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("setup"));
  return file;
}

// The refusal text, or empty when the file opened.
QString refusalOf(const QString& file) {
  try {
    Connection::openExchangeFile(file, ExchangeAccess::Read);
    return QString();
  } catch (const DataError& e) {
    return e.description();
  }
}

const QString goodCourse = QStringLiteral(
    "insert into Course (CourseID, KeySubjectID, Name, Lastupdated) values (1, -1, '大学英语', '2024-05-01 08:30:00')");

struct Case {
  const char* what;
  QStringList statements;
  QString refusal;  // part of the message; empty: the file opens
};

class ExchangeValues : public ::testing::TestWithParam<Case> {};

TEST_P(ExchangeValues, AreCheckedAgainstTheSchemaWithTableColumnAndRowNamed) {
  const QTemporaryDir dir;
  const QString refusal = refusalOf(exchangeFileWith(dir, GetParam().statements));
  if (GetParam().refusal.isEmpty())
    EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
  else
    EXPECT_TRUE(refusal.contains(GetParam().refusal)) << refusal.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Files, ExchangeValues,
    ::testing::Values(
        Case{"good", {goodCourse, "insert into Problem (ProblemID, ProblemGroupID, Score) values (5, 0, 2.5)"}, ""},
        Case{"wholeRealId", {"insert into Problem (ProblemID, ProblemGroupID, Score) values (5.0, 0, 2)"}, ""},
        Case{"scoreText",
             {"insert into Problem (ProblemID, ProblemGroupID, Score) values (5, 0, 2)",
              "insert into Problem (ProblemID, ProblemGroupID, Score) values (6, 0, 'abc')"},
             "表 Problem 第 2 行的 Score 列不是数字（abc）"},
        Case{"badDate",
             {"insert into Course (CourseID, KeySubjectID, Name, Lastupdated) values (1, -1, 'x', 'not a date')"},
             "表 Course 第 1 行的 Lastupdated 列不是日期"},
        Case{"isoDate",
             {"insert into Course (CourseID, KeySubjectID, Name, Lastupdated) values (1, -1, 'x', '2024-05-01T08:30:00.5')"},
             ""},
        Case{"noSuchDay",
             {"insert into Course (CourseID, KeySubjectID, Name, Lastupdated) values (1, -1, 'x', '2024-02-30 08:30:00')"},
             "Lastupdated 列不是日期"},
        Case{"blobName", {"insert into Course (CourseID, KeySubjectID, Name) values (1, -1, x'00ff')"},
             "表 Course 第 1 行的 Name 列不是文本（二进制数据）"},
        Case{"longName",
             {"insert into Course (CourseID, KeySubjectID, Name) values (1, -1, '" + QString(101, QChar(u'课')) + "')"},
             "Name 列超过 100 个字符"},
        Case{"hugeId", {"insert into Course (CourseID, KeySubjectID, Name) values (1099511627776, -1, 'x')"},
             "CourseID 列超出范围"},
        Case{"fractionId", {"insert into Course (CourseID, KeySubjectID, Name) values (1.5, -1, 'x')"},
             "CourseID 列不是整数"},
        Case{"view", {"create view Everything as select * from Course, Problem"}, "视图 Everything"},
        Case{"recursiveView",
             {"create view Forever as with recursive n(i) as (select 1 union all select i + 1 from n) select i from n"},
             "视图 Forever"},
        Case{"trigger", {"create trigger Spy after insert on Course begin delete from Problem; end"}, "触发器 Spy"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ExchangeFile, OpenedForImportIsNeverWritten) {
  const QTemporaryDir dir;
  const QString file = exchangeFileWith(dir, {goodCourse});
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray before = f.readAll();
  f.close();
  {
    const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
    QSqlQuery q(conn->database());
    EXPECT_FALSE(q.exec("delete from Course"));
    EXPECT_FALSE(q.exec("create table Extra (x int)"));
    EXPECT_TRUE(q.exec("select count(*) from Course") && q.next() && q.value(0).toInt() == 1);
  }
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
  EXPECT_FALSE(QFile::exists(file + "-journal") || QFile::exists(file + "-wal") || QFile::exists(file + "-shm"));
}

TEST(ExchangeFile, AStatementRunningTooLongIsCut) {
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("limit"));
  db.setDatabaseName(QStringLiteral(":memory:"));
  ASSERT_TRUE(db.open());
  {
    const ExchangeCheck::StatementTimeLimit limit(db, std::chrono::milliseconds(300));
    QSqlQuery q(db);
    EXPECT_FALSE(q.exec("with recursive n(i) as (select 1 union all select i + 1 from n) select count(*) from n"));
    // Time the caller spends between rows is not the statement's.
    ASSERT_TRUE(q.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 4) select i from n"));
    int rows = 0;
    while (q.next()) {
      QThread::msleep(150);
      ++rows;
    }
    EXPECT_EQ(rows, 4);
  }
  db.close();
  db = QSqlDatabase();
  QSqlDatabase::removeDatabase(QStringLiteral("limit"));
}

}  // namespace
