// Corvina's Access reader: files other programs made read as mdb-export
// prints them; a damaged file is read whole or refused, never a crash, never
// a short import; the reading process is started safely beside busy threads.
#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QSqlQuery>

#include <algorithm>
#include <cstring>
#include <limits>
#include <atomic>
#include <cmath>
#include <optional>
#include <thread>

#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/SqliteBackend.h"
#include "data/jet/JetExchange.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetPageTable.h"
#include "data/jet/JetStream.h"
#include "data/jet/JetWriter.h"
#include "jet/JetSupport.h"

using namespace JetTest;

namespace {

// mdb-export prints doubles with 16 significant digits, singles with 8, an
// empty text as NULL, binary as hex.
bool sameAsExported(const QString& table, int column, const QVariant& v, const QString& theirs) {
  bool numeric = false;
  const double number = theirs.toDouble(&numeric);
  if (numeric && v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QByteArray)
    return std::fabs(v.toDouble() - number) <= 1e-7 * std::max(1.0, std::fabs(number));
  const QString ours = v.typeId() == QMetaType::QByteArray ? v.toByteArray().toHex().toUpper() : canonical(table, column, v);
  return ours == theirs.toUpper() || ours == theirs || (ours.isEmpty() && theirs == "<NULL>");
}

// The samples and files Access itself made (rows moved to overflow pages,
// deleted rows, compressed text, every column type) read value by value as
// mdb-export prints them, with what a user looks for first. Written back
// unchanged where the writer can, every reader sees exactly what it saw
// before (compressed text, long memo chains, pages that held rows before).
TEST(JetReaderFiles, ReadAsMdbExportPrintsThemAndSurviveAWriteBack) {
  const struct {
    const char* file;
    std::vector<std::pair<QString, QString>> facts;  // query, answer
  } cases[] = {
      {"samples/course-english.mdb",
       {{"select Name from Course", "大学英语（一）"}, {"select max(length(Stem)) from ProblemGroup", "81214"},
        {"select count(*) from ProblemGroup where instr(Stem, char(0)) + instr(Stem, char(65533))", "0"}}},
      {"samples/paper-english.mdb",
       {{"select count(*) || '/' || count(Score) from AnswerSheet", "3/2"},
        {"select group_concat(name) from pragma_table_info('AnswerSheet')", "PaperID,StudentCode,Answers,Score,Lastupdated"}}},
      {"access-made/delTestV2000.mdb", {}}, {"access-made/overflowTestV2000.mdb", {}}, {"access-made/testUnicodeCompV2003.mdb", {}},
      {"access-made/testV2000.mdb", {}}, {"access-made/test2V2000.mdb", {}},
  };
  const Workspace w;
  int rewritten = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const QString original = shared(c.file);
    const MemoryDb ours;
    Jet::loadMirror(original, ours.db());
    QSqlQuery q(ours.db());
    for (const auto& [query, answer] : c.facts) EXPECT_TRUE(q.exec(query) && q.next() && q.value(0).toString() == answer) << query.toStdString();
    for (const QString& table : mdbTables(original)) {
      const Rows exported = mdbExport(original, table, true);
      ASSERT_TRUE(!exported.empty() && q.exec("select \"" + exported[0].join("\", \"") + "\" from \"" + table + "\" order by rowid"));
      size_t row = 1;
      for (; q.next() && row < exported.size(); ++row)
        for (int i = 0; i < exported[0].size(); ++i)
          EXPECT_TRUE(sameAsExported(table, i, q.value(i), exported[row][i])) << table.toStdString() << " row " << row << ": "
              << canonical(table, i, q.value(i)).toStdString() << " against " << exported[row][i].toStdString();
      EXPECT_TRUE(!q.isValid() && row == exported.size()) << table.toStdString() << ": other rows than mdb-export shows";
    }
    if (!Jet::unwritableReason(original).isEmpty()) continue;  // tables with indexes
    const QString copy = writeFile(w.path("copy.mdb"), readFile(original));
    Jet::writeBack(copy, copy, ours.db());
    ++rewritten;
    EXPECT_EQ(mdbTables(copy), mdbTables(original));
    for (const QString& table : mdbTables(original)) {
      EXPECT_EQ(mdbExport(copy, table), mdbExport(original, table)) << table.toStdString();
      EXPECT_EQ(mdbCount(copy, table), mdbCount(original, table)) << table.toStdString();
    }
    EXPECT_EQ(mdbReader(copy), mdbReader(original));
  }
  EXPECT_EQ(rewritten, 4) << "the samples and the Access files without indexes are writable";
}

// The rows of every table the import sees, or nothing when refused.
std::optional<std::map<QString, size_t>> load(const QString& path, const QString& message) {
  try {
    const auto conn = Connection::openExchangeFile(path, ExchangeAccess::Read);
    std::map<QString, size_t> rows;
    for (const Jet::TableFacts& t : dynamic_cast<const Jet::JetConnection&>(*conn).facts().tables)
      rows[t.name] = tableRows(conn->database(), t.name).size();
    return rows;
  } catch (const DataError& e) {
    EXPECT_TRUE(!e.description().isEmpty() && e.description().contains(message)) << e.description().toStdString();
    return std::nullopt;
  }
}

// A file cut at any page, or with bytes or pages changed anywhere, either
// loads with every row of the original (which mdb-export sees too), or is
// refused with the engine's error saying what is wrong where it can.
TEST(JetReaderCompleteness, EveryDamagedFileIsReadWholeOrRefused) {
  const QByteArray jet = readFile(shared("Template.mdb"));
  const Workspace w;
  QRandomGenerator random(20261206);
  for (const QString source : {"samples/course-english.mdb", "samples/paper-english.mdb"}) {
    const QByteArray bytes = readFile(shared(source));
    const auto whole = load(shared(source), {});
    ASSERT_TRUE(whole && bytes.size() % 4096 == 0);
    for (const auto& [table, rows] : *whole) EXPECT_EQ(rows, mdbExport(shared(source), table).size()) << table.toStdString();
    const auto page = [&](int number, const auto& change) {
      QByteArray changed = bytes;
      for (int at = 0; at < 4096; ++at) changed[number * 4096 + at] = change(changed[number * 4096 + at], at);
      return changed;
    };
    struct Variant {
      QString what;
      QByteArray bytes;
      bool mayLoad = true;
      QString message = {};  // part of the refusal
    };
    std::vector<Variant> variants{
        {"empty", {}, false, "文件是空的"},
        {"noise", QByteArray(65536, '\x5A'), false, "不是 Access 或 SQLite 格式"},
        {"catalog zeroed", page(2, [](char, int) { return '\0'; }), false},
        {"Jet 3", QByteArray(jet).replace(0x14, 1, QByteArray(1, '\0')), false},
        {"not whole pages", bytes.left(bytes.size() - 100), false, "不是整页"},
    };
    for (const int length : {0x20, 100, 4096, 4097, 8192, 3 * 4096 + 17}) variants.push_back({"cut", bytes.left(length), false});
    if (source.contains("course")) {  // the refusal says in the user's language which table lacks what
      variants.push_back({"40 pages", bytes.left(40 * 4096), false, "文件不完整：表 Subject 只能读出 0 行，应有 3 行。"});
      variants.push_back({"40 pages and 10", bytes.left(40 * 4096 + 10), false, "文件不完整：文件末尾缺少 4086 字节，不是整页。"});
    }
    for (int p = 1; p * 4096 < bytes.size(); ++p) {
      variants.push_back({QStringLiteral("cut at page %1").arg(p), bytes.left(p * 4096)});
      if (p % 7 == 1) variants.push_back({"page of ones", page(p, [](char, int) { return '\xFF'; })});
      if (p % 7 == 1) variants.push_back({"page flipped", page(p, [](char c, int at) { return at % 37 ? c : char(~c); })});
    }
    for (int i = 0; i < 220; ++i) {
      variants.push_back({QStringLiteral("bytes changed %1").arg(i), bytes});
      // Page 0 only holds the header; the damage that matters is on the table pages.
      for (int k = 0, n = 1 + int(random.bounded(3)); k < n; ++k)
        variants.back().bytes[4096 + random.bounded(bytes.size() - 4096)] = char(random.bounded(256));
    }
    int complete = 0;
    for (const Variant& v : variants) {
      SCOPED_TRACE((source + ": " + v.what).toStdString());
      const auto rows = load(writeFile(w.path("variant.mdb"), v.bytes), v.message);
      EXPECT_TRUE(!rows || v.mayLoad) << "a damaged file was accepted";
      EXPECT_EQ(rows.value_or(*whole), *whole);
      complete += bool(rows);
    }
    std::printf("%s: %d of %zu variants read whole, the rest refused\n", qPrintable(source), complete, variants.size());
  }
}

// Inputs the fuzzer found that made libmdb crash, allocate without end or
// loop: the reading process takes the blow and the caller hears of it. The
// loops are cut by the reader's silence limit, shortened here (on a busy
// machine it only cuts them sooner).
TEST(JetReaderCompleteness, FuzzerFindingsAreRefused) {
  const QDir data(QStringLiteral(CORVINA_SOURCE_DIR "/tests/jet/data"));
  ASSERT_GE(data.entryList({"*.mdb"}).size(), 4);
  for (const QString& name : data.entryList({"*.mdb"})) {
    const MemoryDb m;
    EXPECT_THROW(Jet::loadMirror(data.filePath(name), m.db(), name.startsWith("timeout-") ? 1500 : 20000), DataError) << name.toStdString();
  }
}

std::atomic<long> messagesLogged{0};

// The reading program is started with exec, so a read cannot hang on a lock
// another thread held when the child was made: threads keep the allocator
// and Qt's message lock busy meanwhile. The reader has no silence limit here:
// on a loaded machine the reads only take longer.
TEST(JetWorkingCopy, ReadsBesideBusyThreadsNeverHang) {
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { ++messagesLogged; });
  std::atomic<bool> stop{false};
  std::vector<std::thread> neighbours;
  for (int i = 0; i < 3; ++i)
    neighbours.emplace_back([&stop, i] {
      while (!stop) {
        std::vector<std::unique_ptr<std::string>> garbage;
        for (int k = 0; k < 64; ++k) garbage.push_back(std::make_unique<std::string>(64 + k * i, 'x'));
        qInfo("neighbour %d holds %d strings", i, int(garbage.size()));
      }
    });
  int complete = 0;
  std::thread([&] {
    for (int i = 0; i < 100; ++i) {
      const MemoryDb m;
      EXPECT_NO_THROW(complete += Jet::loadMirror(shared("samples/paper-english.mdb"), m.db(), -1).tables.size() == 15) << i;
    }
  }).join();
  stop = true;
  for (auto& t : neighbours) t.join();
  qInstallMessageHandler(previous);
  EXPECT_EQ(complete, 100);
  EXPECT_GT(messagesLogged.load(), 0);
}

}  // namespace

namespace {

// A reader's stream of one table with two columns, for the loader.
struct StreamWriter {
  QByteArray out;
  static QByteArray str(const QByteArray& bytes) { return le(quint32(bytes.size())) + bytes; }
  template <typename T>
  static QByteArray le(T v) {
    QByteArray b(sizeof(T), '\0');
    std::memcpy(b.data(), &v, sizeof(T));
    return b;
  }
  void message(char kind, const QByteArray& payload) { out += kind + le(quint32(payload.size())) + payload; }
};

QByteArray valueBytes(const QVariant& v) {
  using S = StreamWriter;
  if (v.isNull()) return QByteArray(1, char(Jet::Stream::Null));
  if (v.typeId() == QMetaType::Int) return char(Jet::Stream::Int32) + S::le(qint32(v.toInt()));
  if (v.typeId() == QMetaType::Double) return char(Jet::Stream::Double) + S::le(v.toDouble());
  if (v.typeId() == QMetaType::Float) return char(Jet::Stream::DateTime) + S::le(double(v.toFloat()));  // an Access day
  const QString text = v.toString();
  return char(Jet::Stream::Text) + S::str(QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
}

}  // namespace

// Values of an import's file are checked as they arrive, with the words the
// check of a SQLite-format file uses: refused naming table, row and column,
// before the rest is read. A file read for an export is not checked.
TEST(JetWorkingCopy, ValuesAreCheckedOnTheWayIn) {
  constexpr quint8 Long = 4, Double = 7, DateTime = 8, Text = 10;
  struct Case {
    const char* table;
    std::pair<const char*, quint8> columns[2];
    QVariantList second;   // the second row; the first is all NULL
    const char* refusal;   // empty: the file loads
    bool evenUnchecked = false;  // refused also when the file is read for an export
  };
  const auto day = [](float accessDay) { return QVariant(accessDay); };
  const Case cases[] = {
      {"Problem", {{"ProblemID", Long}, {"Score", Double}}, {2, 2.5}, ""},
      {"Problem", {{"ProblemID", Long}, {"Score", Double}}, {2, std::numeric_limits<double>::infinity()}, "表 Problem 第 2 行的 Score 列不是数字"},
      {"Problem", {{"ProblemID", Long}, {"Score", Text}}, {2, "abc"}, "表 Problem 第 2 行的 Score 列不是数字（abc）"},
      {"Course", {{"CourseID", Long}, {"Name", Text}}, {2, QString(101, QChar(u'课'))}, "表 Course 第 2 行的 Name 列超过 100 个字符"},
      {"Course", {{"CourseID", Long}, {"Name", Text}}, {2, QString(50, QChar(0xD83D)).replace(QChar(0xD83D), "😀")}, ""},
      {"Course", {{"CourseID", Long}, {"Lastupdated", Text}}, {2, "2024-02-30 08:30:00"}, "表 Course 第 2 行的 Lastupdated 列不是日期"},
      {"Course", {{"CourseID", Text}, {"Name", Text}}, {"x", "y"}, "表 Course 第 2 行的 CourseID 列不是整数（x）"},
      {"Notes", {{"Note", Long}, {"Text", Text}}, {2, QString(300, 'n')}, ""},  // outside the exchange schema
      // What an Access file holds and every backend stores as it is: no NUL, no lone surrogate, days 0100-01-01 to 9999-12-31.
      {"Course", {{"CourseID", Long}, {"Name", Text}}, {2, QString("a") + QChar(0) + "b"}, "表 Course 第 2 行的 Name 列含有空字符（NUL）（a\\x00b）"},
      {"Course", {{"CourseID", Long}, {"Description", Text}}, {2, QString(QChar(0xDC00)) + "x"}, "表 Course 第 2 行的 Description 列含有不成对的代理字符"},
      {"Course", {{"CourseID", Long}, {"Name", Text}}, {2, QString("x") + QChar(0xD83D)}, "表 Course 第 2 行的 Name 列含有不成对的代理字符"},
      {"Course", {{"CourseID", Long}, {"Lastupdated", DateTime}}, {2, day(-657434)}, ""},  // 0100-01-01
      {"Course", {{"CourseID", Long}, {"Lastupdated", DateTime}}, {2, day(-657435)}, "表 Course 第 2 行的 Lastupdated 列超出 Access 文件的日期范围", true},
      {"Course", {{"CourseID", Long}, {"Lastupdated", DateTime}}, {2, day(-693593)}, "表 Course 第 2 行的 Lastupdated 列超出 Access 文件的日期范围", true},
      {"Course", {{"CourseID", Long}, {"Lastupdated", DateTime}}, {2, day(2958465)}, ""},  // 9999-12-31
      {"Course", {{"CourseID", Long}, {"Lastupdated", DateTime}}, {2, day(2958466)}, "表 Course 第 2 行的 Lastupdated 列超出 Access 文件的日期范围", true},
  };
  for (const Case& c : cases) {
    for (const bool checked : {true, false}) {
      SCOPED_TRACE(std::string(c.table) + " " + c.second.value(1).toString().left(12).toStdString() + (checked ? " checked" : ""));
      StreamWriter s;
      s.message('H', StreamWriter::le(quint32(1)) + StreamWriter::le(quint32(0)));
      QByteArray table = StreamWriter::str(c.table) + StreamWriter::le(quint32(0)) + StreamWriter::le(quint16(2));
      for (const auto& [name, type] : c.columns)
        table += StreamWriter::str(name) + char(type) + StreamWriter::le(quint32(type == Text ? 510 : 8)) + '\0' + '\0';
      s.message('T', table);
      s.message('R', valueBytes(QVariant()) + valueBytes(QVariant()));  // NULL fits any column
      s.message('R', valueBytes(c.second[0]) + valueBytes(c.second[1]));
      s.message('Z', StreamWriter::le(quint32(1)));
      const MemoryDb m;
      QString refusal;
      try {
        Jet::MirrorOptions options;
        options.checkedPath = checked ? QStringLiteral("in.mdb") : QString();
        Jet::MirrorBuilder builder(m.db(), options);
        builder.feed(s.out.constData(), s.out.size());
        EXPECT_TRUE(builder.finished());
      } catch (const DataError& e) {
        refusal = e.description();
      }
      if (checked && *c.refusal) {
        EXPECT_TRUE(refusal.startsWith("'in.mdb': ") && refusal.contains(c.refusal)) << refusal.toStdString();
      } else if (c.evenUnchecked) {
        EXPECT_TRUE(refusal.contains(c.refusal)) << refusal.toStdString();
      } else {
        EXPECT_EQ(refusal, QString());
      }
    }
  }
}

// An import's large tables are read from the file when they are asked for,
// as a statement would give them from the working copy: every row, in the
// order asked for. A file changed since it was opened is refused then.
TEST(JetWorkingCopy, WholeTablesComeFromTheFileInTheOrderAskedFor) {
  struct Case {
    const char* what;
    std::vector<int> ids;         // problem IDs in the order the file holds them
    std::vector<int> changedTo;   // the file's problems when the statement runs (empty: unchanged)
    const char* refusal;          // empty: the rows arrive in ProblemID order
  };
  const Case cases[] = {
      {"in order", {3, 5, 9}, {}, ""},
      {"out of order", {9, 3, 5}, {}, ""},
      {"none", {}, {}, ""},
      {"a row fewer since", {3, 5, 9}, {3, 5}, "在导入过程中被改动了（表 Problem）"},
      {"reordered since", {3, 5, 9}, {3, 9, 5}, "在导入过程中被改动了（表 Problem）"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto write = [](const Workspace& w, const std::vector<int>& ids, const QString& to) {
      w.mirror.exec("DELETE FROM Problem");
      for (const int id : ids)
        w.insert("Problem", {id, 1, QStringLiteral("c%1").arg(id), QStringLiteral("第%1题").arg(id), QVariant(), 1.5,
                             "2024-01-02 03:04:05"});
      Jet::writeBack(w.file, to, w.mirror.db());
    };
    const Workspace w;
    const QString file = w.path("in.mdb");
    write(w, c.ids, file);
    QStringList bodies;
    QString refusal;
    try {
      CDataAccess dal{CDataAccess::Unconnected{}};
      dal.OpenExchangeFile(file, ExchangeAccess::Read, {{"Problem", "ProblemID"}});
      if (!c.changedTo.empty()) write(w, c.changedTo, file);
      Bulk::Query rows = dal.TableRows("Problem", "ProblemID");
      const int body = rows.column("Body");
      while (rows.next()) bodies << rows.at(body).toString();
    } catch (const DataError& e) {
      refusal = e.description();
    }
    if (*c.refusal) {
      EXPECT_TRUE(refusal.contains(c.refusal) && refusal.contains(file)) << refusal.toStdString();
      continue;
    }
    EXPECT_EQ(refusal, QString());
    std::vector<int> sorted = c.ids;
    std::sort(sorted.begin(), sorted.end());
    QStringList expected;
    for (const int id : sorted) expected << QStringLiteral("第%1题").arg(id);
    EXPECT_EQ(bodies, expected);
  }
}

// A streamed table's rows are not in the working copy: any statement that
// names it, in whatever case or spelling, is refused naming the table rather
// than seeing no rows. Other tables, and the table's layout, stay open.
TEST(JetWorkingCopy, StatementsOnAStreamedTableAreRefusedByName) {
  const struct {
    const char* statement;
    const char* refusedTable;  // empty: the statement runs
  } cases[] = {
      {"select * from Problem", "Problem"},
      {"select count(*) from PROBLEM p", "Problem"},
      {"select ProblemID from [Problem] where ProblemID=3", "Problem"},
      {"select * from ProblemsContents pc where pc.ProblemID=3", "ProblemsContents"},
      {"select * from \"ProblemsFeatures\"", "ProblemsFeatures"},
      {"delete from ProblemsFeatures", "ProblemsFeatures"},
      {"select * from ProblemGroup", ""},
      {"select * from Course", ""},
  };
  const Workspace w;
  w.insert("Problem", {3, 1, "c3", QStringLiteral("第3题"), QVariant(), 1.5, "2024-01-02 03:04:05"});
  const QString file = w.path("in.mdb");
  Jet::writeBack(w.file, file, w.mirror.db());
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenExchangeFile(file, ExchangeAccess::Read,
                       {{"Problem", "ProblemID"}, {"ProblemsContents", ""}, {"ProblemsFeatures", ""}});
  for (const auto& c : cases) {
    QString refusal;
    try {
      dal.ExecQuery(c.statement);
    } catch (const DataError& e) {
      refusal = e.description();
    }
    const QString expected = *c.refusedTable ? QStringLiteral("Table %1 is read from the Access file only as a whole")
                                                   .arg(QLatin1String(c.refusedTable))
                                             : QString();
    EXPECT_TRUE(expected.isEmpty() ? refusal.isEmpty() : refusal.startsWith(expected))
        << c.statement << " → " << refusal.toStdString();
  }
  EXPECT_EQ(dal.ColumnsOf("Problem").value(0), "ProblemID");
  Bulk::Query problems = dal.TableRows("Problem", "ProblemID");
  ASSERT_TRUE(problems.next());
  EXPECT_EQ(problems.at("Body").toString(), QStringLiteral("第3题"));
  EXPECT_FALSE(problems.next());
}

// Compressed text (FF FE, then one byte a character) may switch to two bytes
// a character and back at any 00 byte, as often as it likes, and end in
// either mode; a 00 inside a two-byte character is no switch. Access writes
// such values for text mixing Chinese and Latin: here the last 8 bytes of a
// chapter name Access stored compressed ("Unit 1 Growing Up") are replaced.
TEST(JetValues, CompressedTextSwitchesWidthWithinOneValue) {
  const struct {
    QByteArray stored;  // in place of "owing Up"
    QString read;
  } rows[] = {
      {QByteArray("ab\0\x2D\x4E\0cd", 8), "ab中cd"},
      {QByteArray("abcde\0\x2D\x4E", 8), "abcde中"},
      {QByteArray("\0\x2D\x4E\x87\x65\0ab", 8), "中文ab"},
      {QByteArray("ab\0\0cdef", 8), "abcdef"},
      {QByteArray("\0A\0B\0\0cd", 8), "ABcd"},
      {QByteArray("owing Up", 8), "owing Up"},
  };
  const QByteArray sample = readFile(shared("samples/course-english.mdb"));
  const qsizetype at = sample.indexOf("\xFF\xFEUnit 1 Growing Up");
  ASSERT_GE(at, 0);
  const QTemporaryDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.read.toStdString());
    EXPECT_EQ(Jet::writer::decodeText("\xFF\xFE" + row.stored), row.read);
    const QString file = writeFile(dir.filePath("mixed.mdb"), QByteArray(sample).replace(at + 11, 8, row.stored));
    QStringList names;
    for (const QStringList& content : corvinaReader(file).at("Content")) names << content.value(4);
    EXPECT_TRUE(names.contains("Unit 1 Gr" + row.read)) << names.join('|').toStdString();
  }
}
