// The Access writer, checked by three independent readers: Corvina's own,
// mdb-export/mdb-count (mdbtools) and mdb-reader (npm); and the working copy
// a file is read into, written back only when changed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSqlQuery>

#include <cmath>
#include <tuple>

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/SqliteBackend.h"
#include "data/Schema.h"
#include "data/jet/JetExchange.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetWriter.h"
#include "data/jet/JetWriterRows.h"
#include "jet/JetSupport.h"

using namespace JetTest;

namespace {

// Six rows for every exchange table, each column cycling through the
// extremes of its type (Chinese and full-length text, memos inline and in long
// chains, empty text), a row of NULLs, and as many problems as asked for.
void fillEveryTable(const Workspace& w, int problems = 0) {
  QString stem;
  for (int i = 0; stem.size() < 100000; ++i) stem += QStringLiteral("第%1段：阅读下面的短文 and answer. ").arg(i);
  for (const QString& table : Schema::courseTableNames()) {
    for (int row = 0; row < 6; ++row) {
      QVariantList values;
      for (const Schema::Column& c : Schema::find(table)->columns) {
        const QVariantList integers{1, 2147483647, -2147483647 - 1, 0, 7, 1000}, picks[] = {
            integers, integers, {1, -32768, 32767, 0, 2, -1},
            {0.1, -1.5e300, 4.9406564584124654e-324, 0.0, 2.25, 88.5},
            {"大学英语", QString(c.size, QChar(0x4E2D)), "", "<ext a=\"1\"/>", QString(c.size, 'x'), "单"},
            {stem.left(100000), QString(4072, 'a'), QString(4072, QChar(0x4E00)), QString(4076, QChar(0x3042)), QString(64, 'm'), "短"},
            {"2024-03-05 14:30:59", "1901-02-03 04:05:06", "2999-12-31 23:59:59", "1900-01-01 00:00:00", "2038-01-19 03:14:08",
             "2024-02-29 12:00:00"}};
        values << picks[int(c.type)][(row + values.size()) % 6];
      }
      w.insert(table, values);
    }
    w.insert(table, QVariantList(Schema::find(table)->columns.size()));
  }
  w.mirror.exec("BEGIN");
  for (int i = 0; i < problems; ++i)
    w.insert("Problem", {i + 2000, i / 10, i % 7 ? QVariant(QStringLiteral("题%1").arg(i)) : QVariant(),
                         QStringLiteral("第%1题 ").arg(i).repeated(1 + i % 40), QString::number(i % 4), i * 0.25, "2024-01-02 03:04:05"});
  w.mirror.exec("COMMIT");
}

// Every table as each reader sees it equals the mirror, and mdb-count finds
// the row count the table definition holds.
void expectReadersAgree(const Workspace& w, const QString& file) {
  const std::map<QString, Rows> js = mdbReader(file), ours = corvinaReader(file);
  for (const QString& table : Schema::courseTableNames()) {
    SCOPED_TRACE(table.toStdString());
    const Rows expected = tableRows(w.mirror.db(), table);
    Rows forExport = expected;  // mdb-export prints an empty text like NULL
    for (QStringList& row : forExport) row.replaceInStrings(QRegularExpression("^$"), "<NULL>");
    EXPECT_EQ(mdbExport(file, table), forExport) << "mdb-export";
    EXPECT_EQ(mdbCount(file, table), int(expected.size()));
    EXPECT_EQ(ours.at(table), expected) << "Corvina";
    EXPECT_EQ(js.count(table) ? js.at(table) : Rows{}, expected) << "mdb-reader";
  }
}

}  // namespace

TEST(JetWriter, EveryTableTypeAndValueReadsBackTheSameInEveryReader) {
  const Workspace w;
  const QByteArray source = readFile(w.file);
  fillEveryTable(w, 50000);
  // To another destination: the source stays as it was.
  const QString file = w.path("exported.mdb");
  Jet::writeBack(w.file, file, w.mirror.db());
  EXPECT_EQ(readFile(w.file), source);
  expectReadersAgree(w, file);

  // In place: the freed pages are reused and the permissions kept.
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
  const QFile::Permissions permissions = QFile::permissions(file);
  const qint64 size = readFile(file).size();
  Jet::writeBack(file, file, w.mirror.db());
  EXPECT_EQ(readFile(file).size(), size) << "a second write of the same rows must not grow the file";
  EXPECT_EQ(size % 4096, 0);
  EXPECT_EQ(QFile::permissions(file), permissions);
  EXPECT_TRUE(w.leftovers().isEmpty());

  // Fewer rows, then none: the old ones are gone.
  for (const QString& table : Schema::courseTableNames()) w.mirror.exec("DELETE FROM " + table);
  w.insert("Subject", {9, "只有一行", QVariant()});
  for (int round = 0; round < 2; ++round) {
    Jet::writeBack(file, file, w.mirror.db());
    expectReadersAgree(w, file);
    w.mirror.exec("DELETE FROM Subject");
  }
}

// A file the writer cannot write safely, a value the file cannot hold, or a
// mirror shaped unlike the file: refused saying why, after many rows went out,
// and the destination stays byte for byte.
TEST(JetWriter, RefusalsLeaveTheDestinationByteForByte) {
  struct Case {
    const char* why;          // part of the message
    const char* change;       // of the mirror
    qint64 at = 0;            // a byte of the file changed
    char bits = 0;
    QByteArray replaced = {};  // the whole file
    bool locked = false;       // by a lock file beside it
  };
  const Case cases[] = {
      {"StudentCode", "insert into AnswerSheet values (6, '012345678901234567890123456789012345678901234567890', '', 1, NULL)"},
      {"AnswerSheet", "insert into AnswerSheet values (6, 'ok', '', 'not a number', NULL)"},
      {"AnswerSheet", "insert into AnswerSheet values (6, 'ok', '', 1, '31/12/2024')"},
      {"Content", "insert into Content values (1, 7, 0, 40000, '16-bit overflow', NULL, NULL)"},
      {"Content", "insert into Content values (1, 7, 0, -32769, '16-bit overflow', NULL, NULL)"},
      {"", "create table Extra (a INTEGER)"},
      {"", "alter table Subject add column note TEXT"},
      {"Jet 4) 格式", "", 0x14, 0x01},              // version 0: Jet 3
      {"Jet 4) 格式", "", 0x14, 0x03},              // version 2: Access 2007
      {"数据库已加密", "", 0x3E, 0x5A},          // a database key
      {"有索引", "", 24 * 4096 + 47, 0x01},  // Subject's definition: one logical index
      {"course.ldb", "", 0, 0, {}, true},
      {"不是 Access 数据库", "", 0, 0, QByteArray(8192, 'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change + std::string(c.why));
    const Workspace w;
    fillEveryTable(w);
    if (*c.change) Jet::writeBack(w.file, w.file, w.mirror.db());
    QByteArray bytes = readFile(w.file);
    bytes[c.at] = char(bytes[c.at] ^ c.bits);
    writeFile(w.file, c.replaced.isEmpty() ? bytes : c.replaced);
    if (c.locked) writeFile(w.path("course.ldb"), {});
    const QString reason = Jet::unwritableReason(w.file);
    EXPECT_TRUE(*c.change || reason.contains(c.why, Qt::CaseInsensitive)) << reason.toStdString();
    const QByteArray before = readFile(w.file);
    fillEveryTable(w, 5000);
    if (*c.change) w.mirror.exec(QString::fromUtf8(c.change));
    try {
      Jet::writeBack(w.file, w.file, w.mirror.db());
      ADD_FAILURE() << "the write must stop";
    } catch (const DataError& e) {
      EXPECT_TRUE(e.description().contains(c.why, Qt::CaseInsensitive)) << e.description().toStdString();
    }
    EXPECT_TRUE(readFile(w.file) == before);
    EXPECT_TRUE(w.leftovers().isEmpty());
  }
}

// Dates are days since 1899-12-30; before it the time of day still counts
// forward, as Access stores it (some readers get those wrong, so both ways
// are checked on the numbers themselves). A time that rounds to midnight is
// the next day; impossible days are refused, texts with a zone read by Qt's
// ISO parser. Text is compressed only where allowed and safe.
TEST(JetValues, AreStoredAsAccessStoresThem) {
  enum Way { Both, Write, Read };
  const std::tuple<const char*, double, Way> dates[] = {  // text and days, empty and NaN when refused
      {"1899-12-30 00:00:00", 0.0, Both}, {"1899-12-29 06:00:00", -1.25, Both}, {"1753-01-01 00:00:00", -53688.0, Both},
      {"1974-09-21 12:00:00", 27293.5, Both}, {"9999-12-31 23:59:59", 2958465.0 + 86399.0 / 86400.0, Both},
      {"2024-02-29 12:00:00", 45351.5, Both}, {"2000-01-01T12:00:00.000", 36526.5, Write}, {"2000-01-01", 36526.0, Write},
      {"1700-03-01 06:00", -72987.25, Write}, {"31/12/2024", NAN, Write}, {"", NAN, Write}, {"2023-02-29", NAN, Write},
      {"1900-02-29", NAN, Write}, {"2024-13-01", NAN, Write}, {"20240101", NAN, Write}, {"1899-12-29T06:00:00Z", -1.25, Write},
      {"2024-01-01 12:00:00Z", 45292.5, Write}, {"0100-01-01 00:00:00", -657434.0, Read}, {"1899-12-31 00:00:00", 1.0 - 1e-9, Read},
      {"", NAN, Read}, {"", 3e6, Read}, {"", -7e5, Read}};
  for (const auto& [text, expected, way] : dates) {
    SCOPED_TRACE(text);
    bool ok = false;
    const double days = Jet::writer::toJetDate(QString::fromLatin1(text), &ok);
    EXPECT_TRUE(way == Read || (ok ? days == expected : std::isnan(expected))) << days;
    EXPECT_EQ(way == Write ? text : Jet::dateText(expected).value_or(""), QString::fromLatin1(text)) << expected;
  }
  const std::tuple<QString, bool, QByteArray> texts[] = {  // text, compressible, bytes
      {"abc", true, QByteArray("\xFF\xFE" "abc", 5)},
      {"abc", false, QByteArray("a\0b\0c\0", 6)},
      {"中a", true, QByteArray("\x2D\x4E" "a\0", 4)},  // Chinese text stays two bytes a character
      {"αβγ", true, QByteArray("\xB1\x03\xB2\x03\xB3\x03", 6)},  // so does anything past Latin-1
      {QChar(0xFEFF) + QString("x"), false, QByteArray("x\0", 2)},  // else read as the compression marker
      {QString(1025, 'a'), true, QByteArray("a\0", 2).repeated(1025)},  // long values stay plain
  };
  for (const auto& [text, compressible, bytes] : texts) EXPECT_EQ(Jet::writer::encodeText(text, compressible), bytes) << text.left(9).toStdString();
}

// Read for an import: nothing in the temporary folder, transactions work,
// statements that change nothing leave the file as it was. Opened for
// writing, a change is written back.
TEST(JetWorkingCopy, IsWrittenBackOnlyWhenChangedAndLeavesNothingBehind) {
  const Workspace w;
  const QByteArray before = readFile(shared("samples/paper-english.mdb"));
  const QString file = writeFile(w.path("paper.mdb"), before);
  for (const ExchangeAccess access : {ExchangeAccess::Read, ExchangeAccess::Write}) {
    const auto conn = Connection::openExchangeFile(file, access);
    auto& jet = dynamic_cast<Jet::JetConnection&>(*conn);
    EXPECT_EQ(QDir::temp().entryList({QStringLiteral("corvina-mirror-%1-*").arg(QCoreApplication::applicationPid())},
                                     QDir::Dirs), QStringList());
    QSqlQuery q(conn->database());
    ASSERT_TRUE(q.exec("delete from Subject where 1=0"));
    EXPECT_FALSE(jet.changed());
    conn->begin();
    ASSERT_TRUE(q.exec("delete from AnswerSheet"));
    conn->rollback();
    EXPECT_EQ(tableRows(conn->database(), "AnswerSheet").size(), 3u);
    EXPECT_TRUE(access == ExchangeAccess::Read || q.exec("delete from AnswerSheet where Score is null"));
    EXPECT_EQ(jet.changed(), access == ExchangeAccess::Write);
    conn->release();
    EXPECT_FALSE(jet.changed());
    EXPECT_EQ(corvinaReader(file).at("AnswerSheet").size(), access == ExchangeAccess::Write ? 2u : 3u);
    EXPECT_EQ(readFile(file) == before, access == ExchangeAccess::Read);
  }
}

// Rows an export never reads back go straight to the file's pages; what the
// file finally holds is the same as through the working copy: committed rows
// kept, rolled-back ones dropped, rows a statement added kept too.
TEST(JetWorkingCopy, RowsPastTheCopyEndAsTheirTransactionsDo) {
  enum Step { Begin, Stream, Statement, Commit, Rollback };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    QStringList expected;  // Subject names in the file, in order
  };
  const Case cases[] = {
      {"committed", {Begin, Stream, Stream, Commit}, {"甲1", "甲2"}},
      {"rolled back", {Begin, Stream, Rollback}, {}},
      {"rolled back, then committed", {Begin, Stream, Rollback, Begin, Stream, Commit}, {"甲2"}},
      {"a table a statement filled first", {Begin, Statement, Stream, Commit}, {"乙1", "甲2"}},
      {"a statement after the rows", {Begin, Stream, Statement, Commit}, {"甲1", "乙2"}},
      {"a later transaction rolled back", {Begin, Stream, Commit, Begin, Stream, Rollback}, {"甲1"}},
      {"a later transaction committed", {Begin, Stream, Commit, Begin, Stream, Commit}, {"甲1", "甲2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Workspace w;
    const QByteArray before = readFile(w.file);
    {
      const auto conn = Connection::openExchangeFile(w.file, ExchangeAccess::Write);
      int n = 0;
      for (const Step step : c.steps) {
        if (step == Begin) conn->begin();
        if (step == Commit) conn->commit();
        if (step == Rollback) conn->rollback();
        if (step == Stream) {
          Bulk::Writer rows(*conn, "Subject", {"SubjectID", "name", "description"}, {}, Bulk::ReadBack::Never);
          ++n;
          rows.add({Bulk::Cell::integer(n), Bulk::Cell::text(QStringLiteral("甲%1").arg(n)), {}});
          rows.flush();
        }
        if (step == Statement) {
          EXPECT_TRUE(QSqlQuery(conn->database()).exec(QStringLiteral("insert into Subject values (%1, '乙%1', NULL)").arg(++n)));
        }
      }
      conn->release();
    }
    QStringList names;
    const std::map<QString, Rows> tables = corvinaReader(w.file);
    for (const QStringList& row : tables.at("Subject")) names << row.value(1);
    EXPECT_EQ(names, c.expected);
    EXPECT_EQ(readFile(w.file) == before, c.expected.isEmpty());
    EXPECT_TRUE(w.leftovers().isEmpty());
  }
}
