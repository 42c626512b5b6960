// The Access writer, checked by three independent readers: Corvina's own,
// mdb-export/mdb-count (mdbtools) and mdb-reader (npm).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <functional>

#include "data/DataError.h"
#include "data/Schema.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetWriter.h"
#include "data/jet/JetWriterRows.h"
#include "jet/JetSupport.h"

using namespace JetTest;

namespace {

// Rows for every exchange table: ordinary values, the extremes of each type,
// Chinese text, full-length text, memos inline and in long chains, empty text
// and a row of NULLs.
void fillEveryTable(Workspace& w) {
  QString longStem;
  for (int i = 0; longStem.size() < 100000; ++i) longStem += QStringLiteral("第%1段：阅读下面的短文 and answer. ").arg(i);
  const QString full255 = QString(255, QChar(0x4E2D));
  const QVariant null;
  w.insert("Subject", {1, "大学英语", "公共课"});
  w.insert("Subject", {2147483647, "", full255});
  w.insert("Course", {7, 1, "大学英语（一）", "desc", "ENG-1", "<h><n id=\"1\"/></h>", "2024-03-05 14:30:59"});
  w.insert("Course", {-2147483647 - 1, 0, QString(100, 'x'), full255, "c", QString(5000, QChar(0x6587)), "1901-02-03 04:05:06"});
  w.insert("CoursesSubjects", {7, 1});
  w.insert("Content", {10, 7, 0, 1, "第一章", "短", "2000-01-01 00:00:00"});
  w.insert("Content", {11, 7, 10, -32768, "Chapter 1.1", QString(64, 'm'), "2999-12-31 23:59:59"});
  w.insert("Content", {12, 7, 10, 32767, "x", QString(65, 'm'), "2038-01-19 03:14:08"});
  w.insert("Syllabus", {10, 1, 0.1, "掌握", "2024-02-29 12:00:00"});
  w.insert("Syllabus", {11, 1, -1.5e300, "", "1900-01-01 00:00:00"});
  w.insert("Syllabus", {12, 1, 4.9406564584124654e-324, "x", "2024-01-01 00:00:00"});
  w.insert("Feature", {3, "题型", 1, 0, 0.0, 100.0, 0.5, "problem type"});
  w.insert("FeaturePartition", {30, 3, "单选", 1, 2, 1, "<ext a=\"1\"/>", "单项选择"});
  w.insert("CoursesFeaturePartitions", {7, 30, 2.25, "2023-07-08 09:10:11"});
  w.insert("ProblemGroup", {100, "<g/>", longStem.left(100000), "2024-01-02 03:04:05"});
  w.insert("ProblemGroup", {101, "", QString(4072, 'a'), "2024-01-02 03:04:05"});
  w.insert("ProblemGroup", {102, "", QString(4072, QChar(0x4E00)), "2024-01-02 03:04:05"});
  w.insert("Problem", {1000, 100, "P-1", "What is 1+1?", "2", 2.5, "2024-01-02 03:04:05"});
  w.insert("Problem", {1001, 100, null, QString(4076, QChar(0x3042)), "", 0.0, "2024-01-02 03:04:05"});
  w.insert("ProblemsContents", {1000, 10, "2024-01-02 03:04:05"});
  w.insert("ProblemsFeatures", {1000, 3, 1, 30, "2024-01-02 03:04:05"});
  w.insert("PaperDesign", {5, 1, "期末试卷设计", "<design/>", "2024-06-01 08:00:00"});
  w.insert("Paper", {6, 5, "期末试卷A", QString(3000, 'p'), "2024-06-02 08:00:00"});
  w.insert("AnswerSheet", {6, "2024001", "ABCD", 88.5, "2024-06-03 10:00:00"});
  w.insert("AnswerSheet", {6, "2024002", "", null, "2024-06-03 10:00:00"});
  for (const QString& table : Schema::courseTableNames())
    w.insert(table, QVariantList(Schema::find(table)->columns.size(), null));
}

// mdb-export prints an empty text like NULL; the other readers tell them apart.
QStringList emptyTextAsNull(const QString& table, QStringList row) {
  for (int i = 0; i < row.size(); ++i) {
    const Schema::ColumnType type = Schema::find(table)->columns[i].type;
    if ((type == Schema::ColumnType::Text || type == Schema::ColumnType::Memo) && row[i].isEmpty()) row[i] = nullText();
  }
  return row;
}

// Every table as each reader sees it equals the mirror, and mdb-count
// finds the row count the table definition holds.
void expectReadersAgree(Workspace& w, const QString& file) {
  QString skip;
  const std::map<QString, Rows> js = mdbReader(file, &skip);
  const std::map<QString, Rows> ours = corvinaReader(file);
  for (const QString& table : Schema::courseTableNames()) {
    SCOPED_TRACE(table.toStdString());
    const Rows expected = w.expected(table);
    Rows forExport;
    for (const QStringList& row : expected) forExport.push_back(emptyTextAsNull(table, row));
    EXPECT_EQ(mdbExport(file, table), forExport) << "mdb-export";
    EXPECT_EQ(mdbCount(file, table), int(expected.size()));
    EXPECT_EQ(ours.at(table), expected) << "Corvina";
    if (skip.isEmpty()) {
      EXPECT_EQ(js.at(table), expected) << "mdb-reader";
    }
  }
  if (!skip.isEmpty()) std::printf("%s\n", qPrintable(skip));
}

}  // namespace

TEST(JetWriter, EveryTableTypeAndValueReadsBackTheSameInEveryReader) {
  Workspace w;
  const QString source = w.copyTemplate();
  const QByteArray sourceBytes = readFile(source);
  fillEveryTable(w);
  // To another destination: the source stays as it was.
  const QString file = w.path("exported.mdb");
  Jet::writeBack(source, file, w.mirror());
  EXPECT_EQ(readFile(source), sourceBytes);
  expectReadersAgree(w, file);

  // In place, twice: the freed pages are reused and the permissions kept.
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
  const QFile::Permissions permissions = QFile::permissions(file);
  const qint64 size = readFile(file).size();
  Jet::writeBack(file, file, w.mirror());
  EXPECT_EQ(readFile(file).size(), size) << "a second write of the same rows must not grow the file";
  EXPECT_EQ(size % 4096, 0);
  EXPECT_EQ(QFile::permissions(file), permissions);
  EXPECT_TRUE(w.leftovers().isEmpty());

  // Fewer rows, then none: the old ones are gone.
  for (const QString& table : Schema::courseTableNames()) w.exec(QStringLiteral("DELETE FROM ") + table);
  w.insert("Subject", {9, "只有一行", QVariant()});
  Jet::writeBack(file, file, w.mirror());
  expectReadersAgree(w, file);
  w.exec("DELETE FROM Subject");
  Jet::writeBack(file, file, w.mirror());
  expectReadersAgree(w, file);
}

TEST(JetWriter, FiftyThousandRowsReadBackTheSame) {
  Workspace w;
  const QString file = w.copyTemplate();
  w.exec("BEGIN");
  for (int i = 0; i < 50000; ++i) {
    const QVariant code = i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("题%1").arg(i));
    w.insert("Problem", {i + 1, i / 10, code, QStringLiteral("第%1题 ").arg(i).repeated(1 + i % 40), QString::number(i % 4),
                         i * 0.25, "2024-05-06 07:08:09"});
  }
  w.exec("COMMIT");
  Jet::writeBack(file, file, w.mirror());
  expectReadersAgree(w, file);
}

// A value the file cannot hold, or a mirror shaped unlike the file, stops the
// write after many rows went out; the destination stays byte for byte.
TEST(JetWriter, AFailurePartWayLeavesTheDestinationByteForByte) {
  const struct {
    const char* change;
    const char* named;  // part of the message
  } cases[] = {
      {"insert into AnswerSheet values (6, '012345678901234567890123456789012345678901234567890', '', 1, NULL)",
       "StudentCode"},
      {"insert into AnswerSheet values (6, 'ok', '', 'not a number', NULL)", "AnswerSheet"},
      {"insert into AnswerSheet values (6, 'ok', '', 1, '31/12/2024')", "AnswerSheet"},
      {"insert into Content values (1, 7, 0, 40000, '16-bit overflow', NULL, NULL)", "Content"},
      {"insert into Content values (1, 7, 0, -32769, '16-bit overflow', NULL, NULL)", "Content"},
      {"create table Extra (a INTEGER)", "Extra"},
      {"alter table Subject add column note TEXT", "Subject"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    Workspace w;
    const QString file = w.copyTemplate();
    fillEveryTable(w);
    Jet::writeBack(file, file, w.mirror());
    const QByteArray before = readFile(file);
    w.exec("BEGIN");
    for (int i = 0; i < 5000; ++i) w.insert("Content", {i, 7, 0, 1, QStringLiteral("节%1").arg(i), QString(300, 'd'), QVariant()});
    w.exec("COMMIT");
    w.exec(QString::fromUtf8(c.change));
    try {
      Jet::writeBack(file, file, w.mirror());
      ADD_FAILURE() << "the write must stop";
    } catch (const DataError& e) {
      EXPECT_TRUE(e.description().contains(QString::fromUtf8(c.named))) << e.description().toStdString();
    }
    EXPECT_TRUE(readFile(file) == before);
    EXPECT_TRUE(w.leftovers().isEmpty());
  }
}

// Files made elsewhere (the samples, Access's own files), read by Corvina and
// written back unchanged: every reader sees exactly what it saw before.
// Covers compressed text, long memo chains and pages that held rows before.
TEST(JetWriter, FilesMadeElsewhereSurviveAReadAndWriteBack) {
  Workspace w;
  int rewritten = 0;
  for (const QString name : {"samples/course-english.mdb", "samples/paper-english.mdb", "access-made/delTestV2000.mdb",
                             "access-made/overflowTestV2000.mdb", "access-made/testUnicodeCompV2003.mdb",
                             "access-made/test2V2000.mdb"}) {
    SCOPED_TRACE(name.toStdString());
    const QString original = shared(name);
    ASSERT_TRUE(QFileInfo::exists(original));
    if (!Jet::unwritableReason(original).isEmpty()) continue;  // e.g. tables with indexes
    const QString copy = writeFile(w.path(QFileInfo(name).fileName()), readFile(original));
    {
      MemoryDb mirror;
      Jet::loadMirror(original, mirror.db());
      Jet::writeBack(copy, copy, mirror.db());
    }
    ++rewritten;
    const QStringList tables = mdbTables(original);
    EXPECT_EQ(mdbTables(copy), tables);
    for (const QString& table : tables) {
      EXPECT_EQ(mdbExportText(copy, table), mdbExportText(original, table)) << table.toStdString();
      EXPECT_EQ(mdbCount(copy, table), mdbCount(original, table)) << table.toStdString();
    }
    QString skip;
    const QString before = mdbReaderJson(original, &skip);
    if (skip.isEmpty()) {
      EXPECT_EQ(mdbReaderJson(copy, &skip), before);
    }
  }
  EXPECT_GE(rewritten, 2) << "the course and paper samples must be writable";
}

// Files the writer cannot write safely are refused, saying why, untouched.
TEST(JetWriter, RefusesFilesItCannotWriteSafely) {
  const auto flip = [](qint64 offset, char bits) {
    return [=](const QString& file) {
      QByteArray bytes = readFile(file);
      bytes[offset] = char(bytes[offset] ^ bits);
      writeFile(file, bytes);
    };
  };
  const struct {
    const char* why;  // empty: writable
    std::function<void(const QString&)> damage;
  } cases[] = {
      {"", [](const QString&) {}},
      {"Jet 4", flip(0x14, 0x01)},             // version 0: Jet 3
      {"Jet 4", flip(0x14, 0x03)},             // version 2: Access 2007
      {"encrypted", flip(0x3E, 0x5A)},         // a database key
      {"indexes", flip(24 * 4096 + 47, 0x01)},  // Subject's definition: one logical index
      {"course.ldb", [](const QString& file) { writeFile(QString(file).replace(".mdb", ".ldb"), {}); }},
      {"not an Access database", [](const QString& file) { writeFile(file, QByteArray(8192, 'x')); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Workspace w;
    const QString file = w.copyTemplate();
    c.damage(file);
    const QString why = QString::fromUtf8(c.why);
    const QString reason = Jet::unwritableReason(file);
    EXPECT_TRUE(why.isEmpty() ? reason.isEmpty() : reason.contains(why, Qt::CaseInsensitive)) << reason.toStdString();
    if (why.isEmpty()) continue;
    const QByteArray before = readFile(file);
    w.insert("Subject", {1, "x", "y"});
    try {
      Jet::writeBack(file, file, w.mirror());
      ADD_FAILURE() << "the write must be refused";
    } catch (const DataError& e) {
      EXPECT_TRUE(e.description().contains(why, Qt::CaseInsensitive)) << e.description().toStdString();
    }
    EXPECT_TRUE(readFile(file) == before);
    EXPECT_TRUE(w.leftovers().isEmpty());
  }
}

// Dates are days since 1899-12-30; before it the time of day still counts
// forward, as Access stores it (some readers get those wrong, so they are
// checked on the encoding itself).
TEST(JetWriterValues, DatesBecomeAccessDayNumbers) {
  const struct {
    const char* text;
    double days;  // NaN: refused
  } cases[] = {
      {"1899-12-30 00:00:00", 0.0},       {"1899-12-29 06:00:00", -1.25},     {"1753-01-01T00:00:00", -53688.0},
      {"1981-12-12 00:00:00", 29932.0},   {"2000-01-01T12:00:00.000", 36526.5}, {"2000-01-01", 36526.0},
      {"9999-12-31 23:59:59", 2958465.0 + 86399.0 / 86400.0}, {"31/12/2024", NAN}, {"", NAN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    bool ok = false;
    const double days = Jet::writer::toJetDate(QString::fromLatin1(c.text), &ok);
    EXPECT_EQ(ok, !std::isnan(c.days));
    if (ok) {
      EXPECT_EQ(days, c.days);
    }
  }
}

TEST(JetWriterValues, TextIsCompressedOnlyWhereAllowedAndSafe) {
  const struct {
    QString text;
    bool compressible;
    QByteArray bytes;
  } cases[] = {
      {"abc", true, QByteArray("\xFF\xFE" "abc", 5)},
      {"abc", false, QByteArray("a\0b\0c\0", 6)},
      {"中a", true, QByteArray("\x2D\x4E" "a\0", 4)},  // Chinese text stays two bytes a character
      {QString(QChar(0xFEFF)) + "x", false, QByteArray("x\0", 2)},  // else read as the compression marker
      {QString(1025, 'a'), true, QByteArray("a\0", 2).repeated(1025)},  // long values stay plain
  };
  for (const auto& c : cases) EXPECT_EQ(Jet::writer::encodeText(c.text, c.compressible), c.bytes) << c.text.left(10).toStdString();
}
