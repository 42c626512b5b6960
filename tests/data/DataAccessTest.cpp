// The data access object on the system database (SQLite, or the server as
// pg.*) and on exchange files: what callers see of connections, queries,
// writers, transactions and rows written in bulk.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "data/BulkUpdate.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/ExchangeCheck.h"
#include "data/Rows.h"
#include "data/SqliteBackend.h"
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
  EXPECT_TRUE(dal.OpenQuery("select * from Subject").empty());
  // Keys of a connection string in any case; the held connection replaced.
  TestEnv::createSqliteSystemDb(env.path("other.db"));
  dal.OpenConnection("DRIVER=SQLite3;database=" + env.path("other.db"));
  dal.ExecQuery("insert into Subject (name) values (?)", {"other"});
  EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), 0);
  Bulk::Query names = dal.OpenQuery("select name from Subject");
  ASSERT_TRUE(names.next());
  EXPECT_EQ(names.value("NAME").toString(), "other");
  EXPECT_FALSE(names.next());
  // A failed statement names what failed; a failed open holds nothing usable.
  EXPECT_TRUE(raised([&] { dal.OpenQuery("select * from NoSuchTable"); }).contains("NoSuchTable", Qt::CaseInsensitive));
  EXPECT_TRUE(raised([&] { dal.OpenConnection("Driver=SQLite3;Database=" + env.path("nope.db")); }).contains("nope.db"));
  EXPECT_TRUE(raised([&] { dal.OpenQuery("select * from Subject"); }).contains("DataAccessAPI") && !dal.IsConnected());
  env.useSystemDb("Driver=SQLite3;Database=" + env.path("missing.db"));
  const QString unreachable = raised([] { CDataAccess dal; });
  EXPECT_TRUE(unreachable.contains("DataAccessAPI: ") && unreachable.contains("missing.db")) << unreachable.toStdString();
}

// A query reads forward: fields by name in any case or by position, while
// there is a current row; a field it lacks, or a field past the last row,
// is refused saying so. Rows a writer adds at once are there for the next
// statement, with their generated keys handed out one after another, and
// dates stored in the one text form.
TEST(DataAccess, QueriesReadForwardAndWritersAddRowsAtOnce) {
  const TestEnv env;
  CDataAccess dal;
  Bulk::Writer courses = dal.InsertInto("Course", {"NAME", "lastUPDATED"}, "CourseID", Bulk::ReadBack::AtOnce);
  std::vector<qint32> keys;
  for (const char* name : {"数学", "物理", "化学"}) {
    keys.push_back(courses.add({Bulk::Cell::text(QString::fromUtf8(name)),
                                Bulk::Cell::fromVariant(QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)))}));
    EXPECT_EQ(env.scalar(QString("select count(*) from Course where CourseID=%1").arg(keys.back())).toInt(), 1);
  }
  EXPECT_EQ(keys.back() - keys.front(), 2) << "keys handed out one after another";
  EXPECT_EQ(env.scalar("select count(*) from Course where Lastupdated='2024-05-06 07:08:09'").toInt(), 3);
  Bulk::Query rows = dal.OpenQuery("select CourseID, Name from Course where CourseID>=? order by CourseID", {keys[1]});
  EXPECT_TRUE(raised([&] { rows.value("name"); }).contains("current record"));
  const struct {
    QString field;
    QString value;  // or the start of the refusal
  } reads[] = {{"courseid", QString::number(keys[1])}, {"NAME", "物理"}, {"1", "物理"}, {"Description", "Item cannot be found"}};
  ASSERT_TRUE(rows.next());
  for (const auto& read : reads) {
    bool position = false;
    const int at = read.field.toInt(&position);
    QString got;
    try {
      got = (position ? rows.value(at) : rows.value(read.field)).toString();
    } catch (const DataError& e) {
      got = e.description();
    }
    EXPECT_TRUE(got.startsWith(read.value)) << read.field.toStdString() << ": " << got.toStdString();
  }
  ASSERT_TRUE(rows.next());
  EXPECT_EQ(rows.at(0).toInt(), keys[2]);
  EXPECT_FALSE(rows.next());
  EXPECT_TRUE(raised([&] { rows.at(0); }).contains("current record"));
}

// One result set open per connection, as SQL Server has it: while a query
// still has rows to give, every other statement on its connection is
// refused, whatever the database; read to the end or let go, it holds
// nothing up, and another connection still reads.
TEST(DataAccess, AQueryWithRowsLeftHoldsItsConnectionUntilReadOrLetGo) {
  const TestEnv env;
  env.exec("insert into Subject (name) values ('甲')");
  env.exec("insert into Subject (name) values ('乙')");
  const struct {
    const char* what;
    std::function<void(CDataAccess&)> statement;
  } statements[] = {
      {"a statement", [](CDataAccess& d) { d.ExecQuery("update Subject set description=name"); }},
      {"another query", [](CDataAccess& d) { d.OpenQuery("select count(*) from Course"); }},
      {"a writer", [](CDataAccess& d) { d.InsertInto("Subject", {"name"}).add({Bulk::Cell::text("丙")}); }},
      {"a column update", [](CDataAccess& d) { d.UpdateColumn("Subject", "SubjectID", "description", {{1, "x"}}); }},
  };
  enum class Left { RowsToGive, ReadToTheEnd, LetGo };
  for (const auto& statement : statements) {
    for (const Left left : {Left::RowsToGive, Left::ReadToTheEnd, Left::LetGo}) {
      SCOPED_TRACE(std::string(statement.what) + " after a query " +
                   (left == Left::RowsToGive ? "with rows left" : left == Left::ReadToTheEnd ? "read" : "let go"));
      CDataAccess dal;
      auto query = std::make_unique<Bulk::Query>(dal.OpenQuery("select SubjectID from Subject"));
      ASSERT_TRUE(query->next());
      if (left == Left::ReadToTheEnd)
        while (query->next()) {
        }
      if (left == Left::LetGo) query.reset();
      const QString why = raised([&] { statement.statement(dal); });
      EXPECT_EQ(why.contains("还有一个查询的结果没有读完"), left == Left::RowsToGive) << why.toStdString();
      EXPECT_EQ(left == Left::RowsToGive, why != "none") << why.toStdString();
      CDataAccess other;
      EXPECT_EQ(raised([&] { other.OpenQuery("select count(*) from Subject").next(); }), "none");
    }
  }
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
    dal.ExecQuery("insert into Subject (name) values ('x')");
    commit ? dal.CommitTrans() : dal.RollbackTrans();
    EXPECT_FALSE(dal.IsInTransaction());
    EXPECT_EQ(env.scalar("select count(*) from Subject").toInt(), commit ? 1 : 0);
  }
}

// A scope's writes stay only when it commits: inside an open transaction it
// is a savepoint, undone alone; the outer scope's end decides for both.
TEST(DataAccess, ScopesKeepTheirWritesOnlyWhenCommitted) {
  const struct {
    bool innerCommits;
    bool outerCommits;
    QStringList kept;
  } cases[] = {{true, true, {"a", "b"}}, {false, true, {"a"}}, {true, false, {}}, {false, false, {}}};
  for (const auto& c : cases) {
    const TestEnv env;
    CDataAccess dal;
    {
      Transaction outer(dal);
      dal.ExecQuery("insert into Subject (name) values ('a')");
      {
        Transaction inner(dal, "step");
        dal.ExecQuery("insert into Subject (name) values ('b')");
        if (c.innerCommits) inner.commit();
      }
      if (c.outerCommits) outer.commit();
    }
    EXPECT_FALSE(dal.IsInTransaction());
    QStringList kept;
    Bulk::Query names = dal.OpenQuery("select name from Subject order by name");
    while (names.next()) kept << names.at(0).toString();
    EXPECT_EQ(kept, c.kept) << c.innerCommits << c.outerCommits;
  }
}

// Exchange files are told by their first bytes (Access or SQLite); anything
// else is refused saying what it is, and nothing is then held.
TEST(DataAccess, ExchangeFilesAreRecognisedByTheirFirstBytes) {
  const TestEnv env;
  CDataAccess dal{CDataAccess::Unconnected{}};
  // Whatever the file's name holds: characters a URI gives meaning to, blanks, Chinese, a leading dash.
  for (const QString name : {"题库 #1?.mdb", "100% 完成.mdb", "-a;b&c.mdb"}) {
    for (const QString& built : {TestEnv::builtJetTemplate(), TestEnv::builtTemplate()}) {
      QFile::remove(env.path(name));
      QFile::copy(built, env.path(name));
      dal.OpenExchangeFile(env.path(name), ExchangeAccess::Read);
      EXPECT_EQ(dal.OpenQuery("select * from Course").columnCount(), 7) << name.toStdString();
    }
  }
  QFile junk(env.path("junk.mdb"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("this is not a database at all") > 0);
  junk.close();
  const QString error = raised([&] { dal.OpenExchangeFile(junk.fileName(), ExchangeAccess::Read); });
  EXPECT_TRUE(error.contains("DataAccessAPI: ") && error.contains("不是 Access 或 SQLite 格式")) << error.toStdString();
  EXPECT_FALSE(dal.IsConnected());
}

// Rows written in bulk read back unchanged with the keys the writer handed
// out, whether they fit one statement or need many, and the next key the
// database generates follows the last one used.
TEST(BulkRows, WrittenRowsKeepTheirValuesAndKeysAndTheNextKeyFollows) {
  for (const int count : {1, 250, 5001}) {
    SCOPED_TRACE(count);
    const TestEnv env;
    const std::unique_ptr<CDataAccess> dal = env.dal();
    const auto code = [](int i) { return QStringLiteral("题%1").arg(i); };
    const auto body = [](int i) { return QStringLiteral("正文 'x'\n%1").arg(i); };
    const auto stamp = [](int i) { return QStringLiteral("2024-09-01 08:%1:00").arg(i % 60, 2, 10, QChar('0')); };
    dal->BeginTrans();
    std::vector<qint32> keys;
    {
      Bulk::Writer writer = dal->InsertInto("Problem", {"ProblemCode", "Body", "Score", "Lastupdated"}, "ProblemID");
      for (int i = 0; i < count; ++i)
        keys.push_back(writer.add({Bulk::Cell::text(code(i)), i % 2 ? Bulk::Cell() : Bulk::Cell::text(body(i)),
                                   Bulk::Cell{Bulk::Cell::Kind::Real, 0, i + 0.5, {}}, Bulk::Cell::text(stamp(i))}));
      writer.flush();
    }
    dal->CommitTrans();
    Bulk::Query reader = dal->OpenQuery("select ProblemID, ProblemCode, Body, Score, Lastupdated from Problem order by ProblemID");
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(reader.next());
      EXPECT_EQ(reader.at(0).toInt(), keys[size_t(i)]);
      EXPECT_EQ(reader.at(1).toString(), code(i));
      EXPECT_EQ(reader.at(2).isNull() ? QString("NULL") : reader.at(2).toString(), i % 2 ? "NULL" : body(i));
      EXPECT_DOUBLE_EQ(reader.at(3).toVariant().toDouble(), i + 0.5);
      EXPECT_TRUE(reader.at(4).toString().startsWith(stamp(i).left(16)));
    }
    EXPECT_FALSE(reader.next());
    env.exec("insert into Problem (ProblemCode) values ('next')");
    EXPECT_EQ(env.scalar("select ProblemID from Problem where ProblemCode='next'").toInt(), keys.back() + 1);
    // Rows whose keys nobody wants, written in groups: all of them, in order.
    dal->BeginTrans();
    {
      Bulk::Writer links = dal->InsertInto("ProblemsContents", {"ProblemID", "ContentID", "Lastupdated"});
      for (int i = 0; i < count; ++i) links.add({Bulk::Cell::integer(i), Bulk::Cell::integer(i % 7), Bulk::Cell::text(stamp(i))});
      links.flush();
    }
    dal->CommitTrans();
    Bulk::Query links = dal->OpenQuery("select ProblemID, ContentID from ProblemsContents order by ProblemID");
    int read = 0;
    for (; links.next(); ++read) EXPECT_EQ(links.at(1).toInt(), links.at(0).toInt() % 7);
    EXPECT_EQ(read, count);
  }
}

// Rows updated together take the given values, converted to each column's
// type as an insert converts them; other rows and other columns stay; the
// same connection can do it again (the temporary table is gone).
TEST(BulkRows, UpdatedRowsTakeTheirValuesAndTheOthersStay) {
  const TestEnv env;
  env.exec("insert into Problem (ProblemID, ProblemGroupID, ProblemCode, Body, Score) values "
           "(1,5,'a','one',1),(2,5,'b','two',2),(3,5,'c','three',3)");
  const std::unique_ptr<CDataAccess> dal = env.dal();
  using C = Bulk::Cell;
  const struct {
    std::vector<Bulk::Row> rows;  // ProblemID, ProblemGroupID, Body, Score, Lastupdated
    const char* expected;         // every row: group:body:score:date
  } rows[] = {
      {{}, "1:5:one:1:-,2:5:two:2:-,3:5:three:3:-"},
      {{{C::integer(1), C(), C::text("新 'x'"), C::text("2.5"), C::text("2024-03-05 08:00:00")},
        {C::integer(3), C::integer(8), C(), C{C::Kind::Real, 0, 9.0, {}}, C::text("2024-03-05 10:20:30")}},
       "1:-:新 'x':2.5:2024-03-05 08:00,2:5:two:2:-,3:8:-:9:2024-03-05 10:20"},
      {{{C::integer(2), C::integer(6), C::text("again"), C::integer(4), C()}},
       "1:-:新 'x':2.5:2024-03-05 08:00,2:6:again:4:-,3:8:-:9:2024-03-05 10:20"},
  };
  for (const auto& row : rows) {
    dal->BeginTrans();
    dal->UpdateRows("Problem", "ProblemID", {"ProblemGroupID", "Body", "Score", "Lastupdated"}, row.rows);
    dal->CommitTrans();
    QStringList found;
    Bulk::Query reader = dal->OpenQuery("select ProblemID, ProblemGroupID, Body, Score, Lastupdated from Problem "
                                        "order by ProblemID");
    while (reader.next()) {
      QStringList cells{reader.at(0).toString()};
      for (int i = 1; i < 5; ++i)
        cells << (reader.at(i).isNull() ? QStringLiteral("-")
                  : i == 3          ? QString::number(reader.at(i).toVariant().toDouble())
                  : i == 4          ? reader.at(i).toString().left(16)
                                    : reader.at(i).toString());
      found << cells.join(':');
    }
    EXPECT_EQ(found.join(',').toStdString(), row.expected);
  }
}

// Values that a server statement could take for syntax (quotes, braces,
// backslashes, the word NULL) or convert on the way (numbers as text, dates
// in their other spellings) arrive as they were given.
TEST(BulkRows, AwkwardValuesArriveAsGiven) {
  using Cell = Bulk::Cell;
  struct Row {
    const char* column;
    Cell value;
    QString expected;  // "<null>" for NULL; dates compared to the second
  };
  const std::vector<Row> rows{
      {"Body", Cell::text(R"(a"b\c{d},e)"), R"(a"b\c{d},e)"},
      {"Body", Cell::text("NULL"), "NULL"},
      {"Body", Cell::text(""), ""},
      {"Body", Cell(), "<null>"},
      {"Body", Cell::text(" 前后 \n换行\t"), " 前后 \n换行\t"},
      {"ProblemCode", Cell::text("{\"x\"}"), "{\"x\"}"},
      {"ProblemGroupID", Cell{Cell::Kind::Real, 0, 3.0, {}}, "3"},
      {"ProblemGroupID", Cell::text("17"), "17"},
      {"Score", Cell::text("1.25"), "1.25"},
      {"Score", Cell::integer(7), "7"},
      {"Score", Cell{Cell::Kind::Real, 0, 0.1, {}}, "0.1"},
      {"Lastupdated", Cell::text("2024-02-29T23:59:58"), "2024-02-29 23:59:58"},
      {"Lastupdated", Cell::text("2024-01-02 03:04:05.678"), "2024-01-02 03:04:05"},
      {"Lastupdated", Cell::text("1900-01-01"), "1900-01-01 00:00:00"},
  };
  const TestEnv env;
  const std::unique_ptr<CDataAccess> dal = env.dal();
  dal->BeginTrans();
  std::vector<qint32> keys;
  for (const Row& row : rows) {
    Bulk::Writer writer = dal->InsertInto("Problem", {row.column}, "ProblemID");
    keys.push_back(writer.add({row.value}));
    writer.flush();
  }
  dal->CommitTrans();
  for (size_t i = 0; i < rows.size(); ++i) {
    Bulk::Query reader = dal->OpenQuery(QStringLiteral("select %1 from Problem where ProblemID=%2")
                                            .arg(QLatin1String(rows[i].column))
                                            .arg(keys[i]));
    ASSERT_TRUE(reader.next()) << i;
    const Cell& back = reader.at(0);
    QString text = back.isNull() ? QStringLiteral("<null>") : back.toString();
    if (QLatin1String(rows[i].column) == QLatin1String("Lastupdated")) text = text.left(19).replace('T', ' ');
    if (QLatin1String(rows[i].column) == QLatin1String("Lastupdated") && text.size() == 10) text += " 00:00:00";
    EXPECT_EQ(text, rows[i].expected) << "row " << i;
  }
}

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
  const QString error = raised([&] { Connection::openExchangeFile(file, ExchangeAccess::Read); });
  return error == "none" ? QString() : error;
}

const QString course = "insert into Course (CourseID, KeySubjectID, Name, Lastupdated) values ";

// What the check of rows on their way in (an Access file's, whose text
// arrives as UTF-16) says of the Course and Problem rows of a file: the
// first refusal, or empty.
QString rowCheckRefusal(const QString& file) {
  QString refusal;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "rows");
    db.setDatabaseName(file);
    db.open();
    for (const QString table : {"Course", "Problem"}) {
      SqliteStatement rows(db, "select * from " + table);
      QStringList names;
      for (int i = 0; i < rows.columnCount(); ++i) names << rows.columnName(i);
      ExchangeCheck::RowCheck check(table, names);
      Bulk::Cell v;
      while (refusal.isEmpty() && rows.step()) {
        for (int i = 0; i < names.size() && refusal.isEmpty(); ++i) {
          rows.read(i, v);
          const QString text = QString::fromUtf8(v.bytes);
          refusal = (v.kind == Bulk::Cell::Kind::Text ? check.misfitText(i, text) : check.misfit(i, v)).value_or("");
        }
        check.nextRow();
      }
    }
  }
  QSqlDatabase::removeDatabase("rows");
  return refusal;
}

// A SQLite-format exchange file is untrusted input: code in it is refused,
// every value of the course tables must fit the exchange schema (the refusal
// names table, row and column), and a file opened for an import is never
// written, not even a journal beside it.
TEST(ExchangeFile, IsCheckedAgainstTheSchemaAndNeverWritten) {
  const struct {
    QStringList statements;
    QString refusal;  // part of the message; empty: the file opens
    bool utf16 = true;  // the value can arrive as UTF-16 text, as an Access file's does
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
      // A column's length counts characters: Chinese ones, and those past the 16-bit range (two UTF-16 units), at it and one past.
      {{course + "(1, -1, '" + QString(100, QChar(u'课')) + "', NULL)"}, ""},
      {{course + "(1, -1, '" + QString(101, QChar(u'课')) + "', NULL)"}, "Name 列超过 100 个字符"},
      {{course + "(1, -1, '" + QString::fromUcs4(U"\U00020000").repeated(100) + "', NULL)"}, ""},
      {{course + "(1, -1, '" + QString::fromUcs4(U"\U00020000").repeated(101) + "', NULL)"}, "Name 列超过 100 个字符"},
      {{course + "(1099511627776, -1, 'x', NULL)"}, "CourseID 列超出范围"},
      {{course + "(1.5, -1, 'x', NULL)"}, "CourseID 列不是整数"},
      // Dates and texts an Access file can hold: from 0100-01-01, no NUL, well-formed UTF-8 without surrogates.
      {{course + "(1, -1, 'x', '0099-12-31 23:59:59')"}, "表 Course 第 1 行的 Lastupdated 列早于 Access 文件能存的最早日期"},
      {{course + "(1, -1, 'x', '0001-01-01')"}, "Lastupdated 列早于 Access 文件能存的最早日期 0100-01-01（0001-01-01）"},
      {{course + "(1, -1, 'x', '0100-01-01')", course + "(2, -1, 'y', '9999-12-31 23:59:59')"}, ""},
      {{course + "(1, -1, 'a' || char(0) || 'b', NULL)"}, "表 Course 第 1 行的 Name 列含有空字符（NUL）"},
      {{"insert into Problem (ProblemID, ProblemGroupID, Body) values (5, 0, 'b' || char(0))"}, "表 Problem 第 1 行的 Body 列含有空字符（NUL）（b\\x00）"},
      {{course + "(1, -1, cast(x'41ff' as text), NULL)"}, "表 Course 第 1 行的 Name 列不是有效的 UTF-8 文本", false},
      {{course + "(1, -1, cast(x'c0af' as text), NULL)"}, "Name 列不是有效的 UTF-8 文本", false},  // an overlong '/'
      {{course + "(1, -1, cast(x'eda080' as text), NULL)"}, "Name 列含有不成对的代理字符", false},
      {{course + "(1, -1, cast(x'f09f9880e4b8ad' as text), NULL)"}, ""},  // 😀中
      {{"create view Everything as select * from Course, Problem"}, "视图 Everything"},
      {{"create view Forever as with recursive n(i) as (select 1 union all select i + 1 from n) select i from n"}, "视图 Forever"},
      {{"create trigger Spy after insert on Course begin delete from Problem; end"}, "触发器 Spy"},
  };
  const QTemporaryDir dir;
  const QString file = dir.filePath("exchange.mdb");
  const auto bytes = [&] { return readFile(file); };
  for (const auto& c : cases) {
    const QString refusal = refusalOf(file, c.statements);
    EXPECT_TRUE(c.refusal.isEmpty() ? refusal.isEmpty() : refusal.contains(c.refusal))
        << c.statements.join("; ").toStdString() << " → " << refusal.toStdString();
    if (!c.statements.join(' ').startsWith("create")) {
      const QString onTheWay = rowCheckRefusal(file);
      EXPECT_TRUE(c.refusal.isEmpty() || !c.utf16 ? onTheWay.isEmpty() : onTheWay.contains(c.refusal)) << onTheWay.toStdString();
    }
    if (!refusal.isEmpty()) continue;
    const QByteArray before = bytes();
    {
      const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
      QSqlQuery q(conn->database());
      EXPECT_FALSE(q.exec("delete from Course") || q.exec("delete from Problem") || q.exec("create table Extra (x int)"));
    }
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"exchange.mdb"});
  }
}

}  // namespace
