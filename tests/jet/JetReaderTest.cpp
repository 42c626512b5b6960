// Corvina's Access reader against files other programs made, and against
// damaged files: read like mdb-export and mdb-reader read them, or refused
// with the engine's error, never a crash.
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
#include "data/jet/JetExchange.h"
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

QString scalar(const QSqlDatabase& db, const QString& sql) {
  QSqlQuery q(db);
  return q.exec(sql) && q.next() ? q.value(0).toString() : QStringLiteral("<none>");
}

// The samples: every course table with its columns in order, the values
// mdb-reader sees, and what a user would look for first.
TEST(JetReaderSamples, ReadAsMdbReaderReadsThem) {
  const struct {
    const char* file;
    const char* query;
    const char* answer;
  } cases[] = {
      {"course-english.mdb", "select Name from Course", "大学英语（一）"},
      {"course-english.mdb", "select max(length(Stem)) from ProblemGroup", "81214"},
      {"course-english.mdb",
       "select count(*) from ProblemGroup where instr(Stem, char(0)) or instr(Stem, char(65533))", "0"},
      {"paper-english.mdb", "select count(*) from AnswerSheet where Score is null", "1"},
      {"paper-english.mdb", "select count(*) || '/' || count(Score) from AnswerSheet", "3/2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const QString file = shared(QStringLiteral("samples/") + c.file);
    const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
    EXPECT_EQ(scalar(conn->database(), QString::fromUtf8(c.query)), QString::fromUtf8(c.answer));
    QString skip;
    const auto theirs = mdbReader(file, &skip);
    for (const QString& table : Schema::courseTableNames()) {
      const Rows ours = Workspace::tableRows(conn->database(), table);
      QStringList columns;
      for (const Schema::Column& column : Schema::find(table)->columns) columns << column.name;
      EXPECT_EQ(scalar(conn->database(), QStringLiteral("select group_concat(name, ',') from pragma_table_info('%1')").arg(table)),
                columns.join(','));
      if (skip.isEmpty()) {
        EXPECT_EQ(sorted(ours), sorted(theirs.at(table))) << table.toStdString();
      }
    }
  }
}

// Files Access itself made (rows moved to overflow pages, deleted rows,
// compressed text, every column type): value by value as mdb-export prints
// them, and the text-only ones as mdb-reader sees them.
TEST(JetReaderAccessMade, EveryFileReadsAsTheOtherReadersReadIt) {
  const QDir dir(shared(QStringLiteral("access-made")));
  const QStringList files = dir.entryList({"*.mdb"}, QDir::Files, QDir::Name);
  ASSERT_EQ(files.size(), 5);
  for (const QString& name : files) {
    const QString file = dir.filePath(name);
    const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
    int compared = 0;
    for (const QString& table : mdbTables(file)) {
      SCOPED_TRACE((name + " / " + table).toStdString());
      const Rows exported = mdbExport(file, table, true);
      ASSERT_FALSE(exported.empty());
      QSqlQuery q(conn->database());
      ASSERT_TRUE(q.exec("select \"" + exported[0].join("\", \"") + "\" from \"" + table + "\" order by rowid"));
      size_t row = 1;
      for (; q.next() && row < exported.size(); ++row)
        for (int c = 0; c < exported[0].size(); ++c, ++compared) {
          const QString ours = canonical(table, c, q.value(c));
          const bool binary = q.value(c).typeId() == QMetaType::QByteArray;
          const QString theirs = binary ? exported[row].value(c).toUpper() : exported[row].value(c);
          bool numeric = false;
          const double number = theirs.toDouble(&numeric);
          // mdb-export prints doubles with 16 significant digits, singles with 8.
          if (ours != theirs && numeric && q.value(c).typeId() != QMetaType::QString)
            EXPECT_LE(std::fabs(q.value(c).toDouble() - number), 1e-7 * std::max(1.0, std::fabs(number)));
          else
            EXPECT_EQ(ours, theirs) << "row " << row << " column " << exported[0][c].toStdString();
        }
      EXPECT_FALSE(q.isValid()) << "more rows than mdb-export shows";
      EXPECT_EQ(row, exported.size()) << "fewer rows than mdb-export shows";
    }
    EXPECT_GT(compared, 0) << name.toStdString();
    if (name == "testV2000.mdb" || name == "test2V2000.mdb") continue;  // types mdb-reader prints otherwise
    QString skip;
    for (const auto& [table, rows] : mdbReader(file, &skip)) {
      EXPECT_FALSE(rows.empty()) << table.toStdString();
      EXPECT_EQ(sorted(Workspace::tableRows(conn->database(), table)), sorted(rows)) << table.toStdString();
    }
  }
}

// Damaged files: refused with the engine's error, or (where the damage may
// leave a readable file) loaded; never a crash, never a hang.
TEST(JetReaderBadFiles, AreRefusedNeverACrash) {
  enum Outcome { Refused, LoadedOrRefused };
  const QByteArray course = readFile(shared("samples/course-english.mdb"));
  const QByteArray jetTemplate = readFile(shared("Template.mdb"));
  ASSERT_GT(course.size(), 40 * pageSize);
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
    Outcome outcome;
    QString message;  // part of the refusal, when it matters
  };
  std::vector<Case> cases{
      {"empty", {}, Refused, "文件是空的"},
      {"noise", noise(64 * 1024), Refused, "不是 Access 或 SQLite 格式"},
      {"catalog zeroed", page(2, [](char, int) { return '\0'; }), Refused, {}},
      {"Jet 3", QByteArray(jetTemplate).replace(0x14, 1, QByteArray(1, '\0')), Refused, {}},
      {"half", course.left(course.size() / 2), LoadedOrRefused, {}},
      {"last page gone", course.left(course.size() - pageSize), LoadedOrRefused, {}},
  };
  for (const int length : {0x20, 100, pageSize, pageSize + 1, 2 * pageSize, 3 * pageSize + 17})
    cases.push_back({QStringLiteral("cut at %1").arg(length), course.left(length), Refused, {}});
  for (int i = 0; i < 8; ++i)
    cases.push_back({QStringLiteral("random body %1").arg(i), jetTemplate.left(pageSize) + noise(pageSize * (2 + i * 3)), LoadedOrRefused, {}});
  for (int p = 1; p < course.size() / pageSize; p += 7) {
    cases.push_back({QStringLiteral("page %1 all ones").arg(p), page(p, [](char, int) { return '\xFF'; }), LoadedOrRefused, {}});
    cases.push_back({QStringLiteral("page %1 flipped").arg(p), page(p, [](char c, int at) { return at % 37 ? c : char(~c); }),
                     LoadedOrRefused, {}});
  }
  QTemporaryDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what.toStdString());
    const QString path = writeFile(dir.filePath(c.what + ".mdb"), c.bytes);
    try {
      EXPECT_TRUE(Connection::openExchangeFile(path, ExchangeAccess::Read)->database().isOpen());
      EXPECT_EQ(c.outcome, LoadedOrRefused) << "a damaged file was accepted";
    } catch (const DataError& e) {
      EXPECT_TRUE(e.description().contains(c.message)) << e.description().toStdString();
    }
  }
}

// Inputs the fuzzer found that made libmdb crash, allocate without end or
// loop: the reading process takes the blow and the caller hears the file
// named. The loops are cut by the reader's silence limit, shortened here
// (on a busy machine it only cuts them sooner).
TEST(JetReaderBadFiles, FuzzerFindingsAreRefused) {
  const QDir data(QStringLiteral(CORVINA_SOURCE_DIR "/tests/jet/data"));
  const QStringList files = data.entryList({"*.mdb"}, QDir::Files, QDir::Name);
  ASSERT_GE(files.size(), 4);
  for (const QString& name : files) {
    SCOPED_TRACE(name.toStdString());
    MemoryDb m;
    const QString path = data.filePath(name);
    try {
      Jet::loadMirror(path, m.db(), name.startsWith("timeout-") ? 1500 : 20000);
      ADD_FAILURE() << "a damaged file was accepted";
    } catch (const DataError& e) {
      EXPECT_TRUE(e.description().contains(path)) << e.description().toStdString();
    }
  }
}

// The stream between the reading process and the working copy: pieces of any
// size build the same tables; a cut stream is unfinished, a garbled one an
// error at worst, and the reader's own reason reaches the caller.
TEST(JetReaderStream, BuildsTheSameTablesFromPiecesOfAnySize) {
  QTemporaryDir dir;
  QFile out(dir.filePath("stream"));
  ASSERT_TRUE(out.open(QIODevice::ReadWrite));
  ASSERT_EQ(Jet::streamFile(QFile::encodeName(shared("samples/paper-english.mdb")).constData(), out.handle()), 0);
  out.seek(0);
  const QByteArray stream = out.readAll();
  MemoryDb whole, bytewise, cut;
  Jet::MirrorBuilder a(whole.db()), b(bytewise.db()), c(cut.db());
  a.feed(stream.constData(), stream.size());
  for (qsizetype i = 0; i < stream.size(); ++i) b.feed(stream.constData() + i, 1);
  c.feed(stream.constData(), stream.size() - 3);
  ASSERT_TRUE(a.finished() && b.finished());
  EXPECT_FALSE(c.finished());
  ASSERT_EQ(a.facts().tables.size(), 15);
  for (const Jet::TableFacts& t : a.facts().tables)
    EXPECT_EQ(Workspace::tableRows(whole.db(), t.name), Workspace::tableRows(bytewise.db(), t.name)) << t.name.toStdString();
  EXPECT_EQ(Workspace::tableRows(whole.db(), "AnswerSheet").size(), 3u);

  QRandomGenerator random(7);
  for (int i = 0; i < 200; ++i) {
    QByteArray garbled = stream;
    for (int k = 0; k < 4; ++k) garbled[random.bounded(garbled.size())] = char(random.bounded(256));
    MemoryDb m;
    try {
      Jet::MirrorBuilder(m.db()).feed(garbled.constData(), garbled.size());
    } catch (const DataError&) {
    }
  }

  const QByteArray reason = "the table catalog cannot be read";
  const quint32 lengths[] = {quint32(reason.size() + 4), quint32(reason.size())};
  const QByteArray failure = QByteArray(1, char(Jet::Stream::Failure)) +
                             QByteArray(reinterpret_cast<const char*>(lengths), sizeof lengths) + reason;
  MemoryDb m;
  try {
    Jet::MirrorBuilder(m.db()).feed(failure.constData(), failure.size());
    ADD_FAILURE() << "a failure message was not reported";
  } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains(QString::fromLatin1(reason)));
  }
}

// Before the base day the date counts down while the time still counts up; a
// time that rounds to midnight is the next day; days out of range are none.
TEST(JetReaderDates, AccessDayNumbersBecomeText) {
  const struct {
    double days;
    const char* text;  // empty: no date
  } cases[] = {
      {0.0, "1899-12-30 00:00:00"},       {29932.0, "1981-12-12 00:00:00"}, {27293.5, "1974-09-21 12:00:00"},
      {-1.25, "1899-12-29 06:00:00"},     {1.0 - 1e-9, "1899-12-31 00:00:00"},
      {2958465.0 + 86399.0 / 86400.0, "9999-12-31 23:59:59"}, {-657434.0, "0100-01-01 00:00:00"},
      {std::nan(""), ""}, {3e6, ""}, {-7e5, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Jet::dateText(c.days).value_or(QString()), QString::fromLatin1(c.text)) << c.days;
}

}  // namespace
