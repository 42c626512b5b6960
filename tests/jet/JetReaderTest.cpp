// Corvina's Access reader against files other programs made, and against
// damaged files: read as mdb-export and mdb-reader read them, or refused with
// the engine's error, never a crash.
#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <functional>

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetReader.h"
#include "data/jet/JetStream.h"
#include "jet/JetSupport.h"

using namespace JetTest;

namespace {

constexpr int pageSize = 4096;

Rows sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// mdb-export prints doubles with 16 significant digits, singles with 8, an
// empty text as NULL, binary as hex.
bool sameAsExported(const QString& table, int column, const QVariant& v, const QString& theirs) {
  const QString ours = canonical(table, column, v);
  bool numeric = false;
  const double number = theirs.toDouble(&numeric);
  if (numeric && v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QByteArray)
    return std::fabs(v.toDouble() - number) <= 1e-7 * std::max(1.0, std::fabs(number));
  return ours == (v.typeId() == QMetaType::QByteArray ? theirs.toUpper() : theirs) || (ours.isEmpty() && theirs == "<NULL>");
}

// The samples and files Access itself made (rows moved to overflow pages,
// deleted rows, compressed text, every column type): every value as
// mdb-export prints it and, where mdb-reader prints the types alike, every row
// as mdb-reader sees it; and what a user would look for first.
TEST(JetReaderFiles, ReadAsTheOtherReadersReadThem) {
  const struct {
    const char* file;
    bool mdbReader;
    std::vector<std::pair<QString, QString>> facts;  // query, answer
  } cases[] = {
      {"samples/course-english.mdb", true,
       {{"select Name from Course", "大学英语（一）"},
        {"select max(length(Stem)) from ProblemGroup", "81214"},
        {"select count(*) from ProblemGroup where instr(Stem, char(0)) + instr(Stem, char(65533))", "0"}}},
      {"samples/paper-english.mdb", true,
       {{"select count(*) || '/' || count(Score) from AnswerSheet", "3/2"},
        {"select group_concat(name) from pragma_table_info('AnswerSheet')", "PaperID,StudentCode,Answers,Score,Lastupdated"}}},
      {"access-made/delTestV2000.mdb", true, {}},
      {"access-made/overflowTestV2000.mdb", true, {}},
      {"access-made/testUnicodeCompV2003.mdb", true, {}},
      {"access-made/testV2000.mdb", false, {}},
      {"access-made/test2V2000.mdb", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString file = shared(c.file);
    const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
    QSqlQuery q(conn->database());
    for (const auto& [query, answer] : c.facts) EXPECT_TRUE(q.exec(query) && q.next() && q.value(0).toString() == answer) << query.toStdString();
    for (const QString& table : mdbTables(file)) {
      SCOPED_TRACE(table.toStdString());
      const Rows exported = mdbExport(file, table, true);
      ASSERT_FALSE(exported.empty());
      ASSERT_TRUE(q.exec("select \"" + exported[0].join("\", \"") + "\" from \"" + table + "\" order by rowid"));
      size_t row = 1;
      for (; q.next() && row < exported.size(); ++row)
        for (int i = 0; i < exported[0].size(); ++i)
          EXPECT_TRUE(sameAsExported(table, i, q.value(i), exported[row][i]))
              << "row " << row << " column " << exported[0][i].toStdString() << ": " << canonical(table, i, q.value(i)).toStdString()
              << " against " << exported[row][i].toStdString();
      EXPECT_FALSE(q.isValid()) << "more rows than mdb-export shows";
      EXPECT_EQ(row, exported.size()) << "fewer rows than mdb-export shows";
    }
    QString skip;
    if (!c.mdbReader) continue;
    for (const auto& [table, rows] : mdbReader(file, &skip))
      EXPECT_EQ(sorted(tableRows(conn->database(), table)), sorted(rows)) << table.toStdString();
  }
}

// Damaged files: refused with the engine's error, or (where the damage may
// leave a readable file) loaded; never a crash, never a hang.
TEST(JetReaderBadFiles, AreRefusedNeverACrash) {
  const QByteArray course = readFile(shared("samples/course-english.mdb")), jet = readFile(shared("Template.mdb"));
  QRandomGenerator random(20261206);
  const auto noise = [&](qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    return bytes;
  };
  const auto page = [&](int number, const std::function<char(char, int)>& change) {
    QByteArray bytes = course;
    for (int at = 0; at < pageSize; ++at) bytes[number * pageSize + at] = change(bytes[number * pageSize + at], at);
    return bytes;
  };
  struct Case {
    QString what;
    QByteArray bytes;
    bool mayLoad;
    QString message;  // part of the refusal
  };
  std::vector<Case> cases{
      {"empty", {}, false, "文件是空的"},
      {"noise", noise(64 * 1024), false, "不是 Access 或 SQLite 格式"},
      {"catalog zeroed", page(2, [](char, int) { return '\0'; }), false, {}},
      {"Jet 3", QByteArray(jet).replace(0x14, 1, QByteArray(1, '\0')), false, {}},
      {"half", course.left(course.size() / 2), true, {}},
      {"last page gone", course.left(course.size() - pageSize), true, {}},
      // The refusal says in the user's language which table lacks what.
      {"40 pages", course.left(40 * pageSize), false, "文件不完整：表 Subject 只能读出 0 行，应有 3 行。"},
      {"40 pages and 10 bytes", course.left(40 * pageSize + 10), false, "文件不完整：文件末尾缺少 4086 字节，不是整页。"},
  };
  for (const int length : {0x20, 100, pageSize, pageSize + 1, 2 * pageSize, 3 * pageSize + 17})
    cases.push_back({QStringLiteral("cut at %1").arg(length), course.left(length), false, {}});
  for (int i = 0; i < 8; ++i)
    cases.push_back({QStringLiteral("random %1").arg(i), jet.left(pageSize) + noise(pageSize * (2 + i * 3)), true, {}});
  for (int p = 1; p < course.size() / pageSize; p += 7) {
    cases.push_back({QStringLiteral("page %1 all ones").arg(p), page(p, [](char, int) { return '\xFF'; }), true, {}});
    cases.push_back({QStringLiteral("page %1 flipped").arg(p), page(p, [](char c, int at) { return at % 37 ? c : char(~c); }), true, {}});
  }
  QTemporaryDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what.toStdString());
    try {
      Connection::openExchangeFile(writeFile(dir.filePath(c.what + ".mdb"), c.bytes), ExchangeAccess::Read);
      EXPECT_TRUE(c.mayLoad) << "a damaged file was accepted";
    } catch (const DataError& e) {
      EXPECT_TRUE(e.description().contains(c.message)) << e.description().toStdString();
    }
  }
}

// Inputs the fuzzer found that made libmdb crash, allocate without end or
// loop: the reading process takes the blow and the caller hears the file
// named. The loops are cut by the reader's silence limit, shortened here (on a
// busy machine it only cuts them sooner).
TEST(JetReaderBadFiles, FuzzerFindingsAreRefused) {
  const QDir data(QStringLiteral(CORVINA_SOURCE_DIR "/tests/jet/data"));
  const QStringList files = data.entryList({"*.mdb"}, QDir::Files);
  ASSERT_GE(files.size(), 4);
  for (const QString& name : files) {
    const MemoryDb m;
    EXPECT_THROW(
        try { Jet::loadMirror(data.filePath(name), m.db(), name.startsWith("timeout-") ? 1500 : 20000); } catch (const DataError& e) {
          EXPECT_TRUE(e.description().contains(data.filePath(name))) << e.description().toStdString();
          throw;
        },
        DataError) << name.toStdString();
  }
}

// The stream from the reading process: pieces of any size build the same
// tables, a cut stream is unfinished, a garbled one an error at worst, and
// the reader's own reason reaches the caller.
TEST(JetReaderStream, BuildsTheSameTablesFromPiecesOfAnySize) {
  QTemporaryDir dir;
  QFile out(dir.filePath("stream"));
  ASSERT_TRUE(out.open(QIODevice::ReadWrite));
  ASSERT_EQ(Jet::streamFile(QFile::encodeName(shared("samples/paper-english.mdb")).constData(), out.handle()), 0);
  out.seek(0);
  const QByteArray stream = out.readAll();
  const MemoryDb whole, bytewise, cut;
  Jet::MirrorBuilder a(whole.db()), b(bytewise.db()), c(cut.db());
  a.feed(stream.constData(), stream.size());
  for (qsizetype i = 0; i < stream.size(); ++i) b.feed(stream.constData() + i, 1);
  c.feed(stream.constData(), stream.size() - 3);
  ASSERT_TRUE(a.finished() && b.finished());
  EXPECT_FALSE(c.finished());
  ASSERT_EQ(a.facts().tables.size(), 15);
  for (const Jet::TableFacts& t : a.facts().tables) EXPECT_EQ(tableRows(whole.db(), t.name), tableRows(bytewise.db(), t.name));
  EXPECT_EQ(tableRows(whole.db(), "AnswerSheet").size(), 3u);

  QRandomGenerator random(7);
  for (int i = 0; i < 200; ++i) {
    QByteArray garbled = stream;
    for (int k = 0; k < 4; ++k) garbled[random.bounded(garbled.size())] = char(random.bounded(256));
    const MemoryDb m;
    try {
      Jet::MirrorBuilder(m.db()).feed(garbled.constData(), garbled.size());
    } catch (const DataError&) {
    }
  }
  const QByteArray reason = "the table catalog cannot be read";
  const quint32 lengths[] = {quint32(reason.size() + 4), quint32(reason.size())};
  const QByteArray failure =
      char(Jet::Stream::Failure) + QByteArray(reinterpret_cast<const char*>(lengths), sizeof lengths) + reason;
  const MemoryDb m;
  EXPECT_THROW(try { Jet::MirrorBuilder(m.db()).feed(failure.constData(), failure.size()); } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains(QString::fromLatin1(reason)));
    throw;
  },
               DataError);
}

}  // namespace
