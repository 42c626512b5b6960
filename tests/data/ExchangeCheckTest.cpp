// A SQLite-format exchange file is untrusted input: opened for an import it is
// read-only, code in it is refused, and every value of the course tables must
// fit the exchange schema before the import sees it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "data/Connection.h"
#include "data/DataError.h"
#include "support/TestEnv.h"

namespace {

// A copy of the SQLite-format template with statements run on it, and the
// refusal opening it for an import gives (empty when it opens).
QString refusalOf(const QString& file, const QStringList& statements) {
  QFile::remove(file);
  QFile::copy(TestEnv::builtTemplate(), file);
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "setup");
    db.setDatabaseName(file);
    db.open();
    for (const QString& sql : statements) EXPECT_TRUE(QSqlQuery(db).exec(sql)) << sql.toStdString();
  }
  QSqlDatabase::removeDatabase("setup");
  try {
    Connection::openExchangeFile(file, ExchangeAccess::Read);
    return QString();
  } catch (const DataError& e) {
    return e.description();
  }
}

const QString course = "insert into Course (CourseID, KeySubjectID, Name, Lastupdated) values ";

TEST(ExchangeFile, ValuesAreCheckedAgainstTheSchemaWithTableColumnAndRowNamed) {
  const struct {
    QStringList statements;
    QString refusal;  // part of the message; empty: the file opens
  } cases[] = {
      {{course + "(1, -1, '大学英语', '2024-05-01 08:30:00')", "insert into Problem (ProblemID, ProblemGroupID, Score) values (5, 0, 2.5)"}, ""},
      {{"insert into Problem (ProblemID, ProblemGroupID, Score) values (5.0, 0, 2)"}, ""},
      {{"insert into Problem (ProblemID, ProblemGroupID, Score) values (5, 0, 2)",
        "insert into Problem (ProblemID, ProblemGroupID, Score) values (6, 0, 'abc')"},
       "表 Problem 第 2 行的 Score 列不是数字（abc）"},
      {{course + "(1, -1, 'x', 'not a date')"}, "表 Course 第 1 行的 Lastupdated 列不是日期"},
      {{course + "(1, -1, 'x', '2024-05-01T08:30:00.5')"}, ""},
      {{course + "(1, -1, 'x', '2024-02-30 08:30:00')"}, "Lastupdated 列不是日期"},
      {{course + "(1, -1, x'00ff', NULL)"}, "表 Course 第 1 行的 Name 列不是文本（二进制数据）"},
      {{course + "(1, -1, '" + QString(101, QChar(u'课')) + "', NULL)"}, "Name 列超过 100 个字符"},
      {{course + "(1099511627776, -1, 'x', NULL)"}, "CourseID 列超出范围"},
      {{course + "(1.5, -1, 'x', NULL)"}, "CourseID 列不是整数"},
      {{"create view Everything as select * from Course, Problem"}, "视图 Everything"},
      {{"create view Forever as with recursive n(i) as (select 1 union all select i + 1 from n) select i from n"}, "视图 Forever"},
      {{"create trigger Spy after insert on Course begin delete from Problem; end"}, "触发器 Spy"},
  };
  const QTemporaryDir dir;
  for (const auto& c : cases) {
    const QString refusal = refusalOf(dir.filePath("exchange.mdb"), c.statements);
    EXPECT_TRUE(c.refusal.isEmpty() ? refusal.isEmpty() : refusal.contains(c.refusal))
        << c.statements.join("; ").toStdString() << " → " << refusal.toStdString();
  }
}

// Opened for an import the file is never written, not even a journal beside it.
TEST(ExchangeFile, OpenedForImportIsNeverWritten) {
  const QTemporaryDir dir;
  const QString file = dir.filePath("exchange.mdb");
  ASSERT_EQ(refusalOf(file, {course + "(1, -1, '大学英语', NULL)"}), QString());
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray before = f.readAll();
  {
    const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
    QSqlQuery q(conn->database());
    EXPECT_FALSE(q.exec("delete from Course") || q.exec("create table Extra (x int)"));
    EXPECT_TRUE(q.exec("select count(*) from Course") && q.next() && q.value(0).toInt() == 1);
  }
  EXPECT_TRUE(f.seek(0) && f.readAll() == before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"exchange.mdb"});
}

}  // namespace
