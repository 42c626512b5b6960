#include <gtest/gtest.h>

#include <cstdio>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "data/DataError.h"
#include "data/Schema.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetWriter.h"
#include "data/jet/JetWriterRows.h"
#include "jet/JetWriterSupport.h"

using namespace JetWriterTest;

namespace {

const QString LongStem = [] {
  QString s;
  const QString piece = QStringLiteral("第%1段：阅读下面的短文 and answer the questions. ");
  for (int i = 0; s.size() < 100000; ++i) s += piece.arg(i);
  return s.left(100000);
}();

// Rows for every exchange table: ordinary values, the extremes of each type,
// Chinese text, full-length text, empty text and a row of NULLs.
void fillEveryTable(Workspace& w) {
  const QString full255 = QString(255, QChar(0x4E2D));
  w.insert("Subject", {1, "大学英语", "公共课"});
  w.insert("Subject", {2147483647, "", full255});
  w.insert("Subject", {QVariant(), QVariant(), QVariant()});
  w.insert("Course", {7, 1, "大学英语（一）", "desc", "ENG-1", "<h><n id=\"1\"/></h>", "2024-03-05 14:30:59"});
  w.insert("Course", {-2147483647 - 1, 0, QString(100, 'x'), full255, "c", QString(5000, QChar(0x6587)), "1901-02-03 04:05:06"});
  w.insert("Course", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("CoursesSubjects", {7, 1});
  w.insert("CoursesSubjects", {QVariant(), QVariant()});
  w.insert("Content", {10, 7, 0, 1, "第一章", "短", "2000-01-01 00:00:00"});
  w.insert("Content", {11, 7, 10, -32768, "Chapter 1.1", QString(64, 'm'), "2999-12-31 23:59:59"});
  w.insert("Content", {12, 7, 10, 32767, "x", QString(65, 'm'), "2038-01-19 03:14:08"});
  w.insert("Content", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("Syllabus", {10, 1, 0.1, "掌握", "2024-02-29 12:00:00"});
  w.insert("Syllabus", {11, 1, -1.5e300, "", "1900-01-01 00:00:00"});
  w.insert("Syllabus", {12, 1, 4.9406564584124654e-324, "x", "2024-01-01 00:00:00"});
  w.insert("Syllabus", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("Feature", {3, "题型", 1, 0, 0.0, 100.0, 0.5, "problem type"});
  w.insert("Feature", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("FeaturePartition", {30, 3, "单选", 1, 2, 1, "<ext a=\"1\"/>", "单项选择"});
  w.insert("FeaturePartition", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("CoursesFeaturePartitions", {7, 30, 2.25, "2023-07-08 09:10:11"});
  w.insert("CoursesFeaturePartitions", {QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("ProblemGroup", {100, "<g/>", LongStem, "2024-01-02 03:04:05"});
  w.insert("ProblemGroup", {101, "", QString(4072, 'a'), "2024-01-02 03:04:05"});
  w.insert("ProblemGroup", {102, "", QString(2036 * 2, QChar(0x4E00)), "2024-01-02 03:04:05"});
  w.insert("ProblemGroup", {QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("Problem", {1000, 100, "P-1", "What is 1+1?", "2", 2.5, "2024-01-02 03:04:05"});
  w.insert("Problem", {1001, 100, QVariant(), QString(4076, QChar(0x3042)), "", 0.0, "2024-01-02 03:04:05"});
  w.insert("Problem", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("ProblemsContents", {1000, 10, "2024-01-02 03:04:05"});
  w.insert("ProblemsContents", {QVariant(), QVariant(), QVariant()});
  w.insert("ProblemsFeatures", {1000, 3, 1, 30, "2024-01-02 03:04:05"});
  w.insert("ProblemsFeatures", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("PaperDesign", {5, 1, "期末试卷设计", "<design/>", "2024-06-01 08:00:00"});
  w.insert("PaperDesign", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("Paper", {6, 5, "期末试卷A", QString(3000, 'p'), "2024-06-02 08:00:00"});
  w.insert("Paper", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
  w.insert("AnswerSheet", {6, "2024001", "ABCD", 88.5, "2024-06-03 10:00:00"});
  w.insert("AnswerSheet", {6, "2024002", "", QVariant(), "2024-06-03 10:00:00"});
  w.insert("AnswerSheet", {QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
}

// mdb-export prints an empty text like NULL; mdb-reader tells them apart.
QStringList emptyTextAsNull(const QString& table, QStringList row) {
  const Schema::Table* t = Schema::find(table);
  for (int i = 0; i < row.size(); ++i) {
    const Schema::ColumnType type = t->columns[i].type;
    if ((type == Schema::ColumnType::Text || type == Schema::ColumnType::Memo) && row[i].isEmpty()) row[i] = nullText();
  }
  return row;
}

void expectRow(const QString& table, size_t row, const char* reader, const QStringList& actual, const QStringList& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << reader << " row " << row;
  const Schema::Table* t = Schema::find(table);
  for (int c = 0; c < expected.size(); ++c)
    EXPECT_EQ(actual[c], expected[c]) << reader << " row " << row << " column " << t->columns[c].name.toStdString();
}

// Every table read back by Corvina's reader, mdb-export and mdb-reader equals the mirror, value
// by value, and the stored row counts agree.
void expectReadersAgree(Workspace& w, const QString& file) {
  QString skip;
  const std::map<QString, Rows> js = mdbReader(file, &skip);
  const std::map<QString, Rows> ours = corvinaReader(file);
  for (const QString& table : Schema::courseTableNames()) {
    SCOPED_TRACE(table.toStdString());
    const Rows expected = w.expected(table);
    QString error;
    const Rows exported = mdbExport(file, table, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(exported.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) expectRow(table, i, "mdb-export", exported[i], emptyTextAsNull(table, expected[i]));
    EXPECT_EQ(mdbCount(file, table), int(expected.size()));
    ASSERT_TRUE(ours.count(table));
    ASSERT_EQ(ours.at(table).size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) expectRow(table, i, "Corvina", ours.at(table)[i], expected[i]);
    if (!skip.isEmpty()) continue;
    ASSERT_TRUE(js.count(table));
    const Rows& fromJs = js.at(table);
    ASSERT_EQ(fromJs.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) expectRow(table, i, "mdb-reader", fromJs[i], expected[i]);
  }
  if (!skip.isEmpty()) GTEST_SKIP() << skip.toStdString();
}

QStringList leftovers(const Workspace& w) {
  return QDir(w.path(QString())).entryList(QStringList{QStringLiteral(".*.mdb.*")}, QDir::Files | QDir::Hidden);
}

}  // namespace

TEST(JetWriter, EveryTableTypeAndValueReadsBackTheSame) {
  Workspace w;
  const QString file = w.copyTemplate();
  fillEveryTable(w);
  Jet::writeBack(file, file, w.mirror());
  EXPECT_EQ(fileBytes(file).size() % 4096, 0);
  EXPECT_TRUE(leftovers(w).isEmpty());
  expectReadersAgree(w, file);
}

TEST(JetWriter, RewritingReplacesRowsAndReusesTheFreedPages) {
  Workspace w;
  const QString file = w.copyTemplate();
  fillEveryTable(w);
  Jet::writeBack(file, file, w.mirror());
  const qint64 firstSize = fileBytes(file).size();
  Jet::writeBack(file, file, w.mirror());
  EXPECT_EQ(fileBytes(file).size(), firstSize) << "a second write of the same rows must not grow the file";

  for (const QString& table : Schema::courseTableNames()) w.exec(QStringLiteral("DELETE FROM ") + table);
  w.insert("Subject", {9, "只有一行", QVariant()});
  Jet::writeBack(file, file, w.mirror());
  expectReadersAgree(w, file);
}

TEST(JetWriter, ZeroRowsLeaveEmptyTables) {
  Workspace w;
  const QString file = w.copyTemplate();
  Jet::writeBack(file, file, w.mirror());
  expectReadersAgree(w, file);
}

TEST(JetWriter, FiftyThousandRowsReadBackTheSame) {
  Workspace w;
  const QString file = w.copyTemplate();
  w.exec("BEGIN");
  for (int i = 0; i < 50000; ++i) {
    const QVariant code = i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("题%1").arg(i));
    const QString body = QStringLiteral("第%1题 ").arg(i).repeated(1 + i % 40);
    w.insert("Problem", {i + 1, i / 10, code, body, QString::number(i % 4), i * 0.25, "2024-05-06 07:08:09"});
  }
  w.exec("COMMIT");
  Jet::writeBack(file, file, w.mirror());
  expectReadersAgree(w, file);
}

TEST(JetWriter, FailurePartWayLeavesTheDestinationByteForByte) {
  Workspace w;
  const QString file = w.copyTemplate();
  fillEveryTable(w);
  Jet::writeBack(file, file, w.mirror());
  const QByteArray before = fileBytes(file);

  // Many rows go out first; then a value the column cannot hold stops the write.
  w.exec("BEGIN");
  for (int i = 0; i < 5000; ++i) w.insert("Content", {i, 7, 0, 1, QStringLiteral("节%1").arg(i), QString(300, 'd'), QVariant()});
  w.exec("COMMIT");
  w.insert("AnswerSheet", {6, QString(51, 'x'), "", 1.0, QVariant()});
  try {
    Jet::writeBack(file, file, w.mirror());
    FAIL() << "a text longer than its column must stop the write";
  } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains("AnswerSheet")) << e.description().toStdString();
    EXPECT_TRUE(e.description().contains("StudentCode")) << e.description().toStdString();
  }
  EXPECT_TRUE(fileBytes(file) == before);
  EXPECT_TRUE(leftovers(w).isEmpty());

  w.exec("DELETE FROM AnswerSheet");
  w.insert("AnswerSheet", {6, "ok", "", "not a date", QVariant()});
  EXPECT_THROW(Jet::writeBack(file, file, w.mirror()), DataError);
  w.exec("DELETE FROM AnswerSheet");
  w.insert("AnswerSheet", {6, "ok", "", 1.0, "31/12/2024"});
  EXPECT_THROW(Jet::writeBack(file, file, w.mirror()), DataError);
  w.exec("DELETE FROM AnswerSheet");
  w.insert("Content", {1, 7, 0, 40000, "16-bit overflow", QVariant(), QVariant()});
  EXPECT_THROW(Jet::writeBack(file, file, w.mirror()), DataError);
  EXPECT_TRUE(fileBytes(file) == before);
  EXPECT_TRUE(leftovers(w).isEmpty());
}

TEST(JetWriter, MirrorTablesAndColumnsMustMatchTheFile) {
  Workspace w;
  const QString file = w.copyTemplate();
  const QByteArray before = fileBytes(file);
  w.exec("CREATE TABLE Extra (a INTEGER)");
  EXPECT_THROW(Jet::writeBack(file, file, w.mirror()), DataError);
  w.exec("DROP TABLE Extra");
  w.exec("ALTER TABLE Subject ADD COLUMN note TEXT");
  EXPECT_THROW(Jet::writeBack(file, file, w.mirror()), DataError);
  EXPECT_TRUE(fileBytes(file) == before);
}

TEST(JetWriter, WritesToAnotherDestinationLeavingTheSource) {
  Workspace w;
  const QString source = w.copyTemplate();
  const QByteArray sourceBytes = fileBytes(source);
  fillEveryTable(w);
  const QString destination = w.path("exported.mdb");
  Jet::writeBack(source, destination, w.mirror());
  EXPECT_TRUE(fileBytes(source) == sourceBytes);
  expectReadersAgree(w, destination);
}

// Files made elsewhere (the course and paper samples, Access's own files):
// read by Corvina and written back unchanged, every reader sees exactly what
// it saw before. Covers compressed text, long memo chains and pages that
// held rows before.
TEST(JetWriter, FilesMadeElsewhereSurviveAReadAndWriteBack) {
  const QString shared = QStringLiteral(CORVINA_SOURCE_DIR "/../shared/jet");
  if (!QFileInfo::exists(shared)) GTEST_SKIP() << "the shared Access files are missing";
  Workspace w;
  int rewritten = 0;
  for (const QString& name : {QStringLiteral("samples/course-english.mdb"), QStringLiteral("samples/paper-english.mdb"),
                              QStringLiteral("access-made/delTestV2000.mdb"), QStringLiteral("access-made/overflowTestV2000.mdb"),
                              QStringLiteral("access-made/testUnicodeCompV2003.mdb"), QStringLiteral("access-made/test2V2000.mdb")}) {
    SCOPED_TRACE(name.toStdString());
    const QString original = shared + '/' + name;
    const QString reason = Jet::unwritableReason(original);
    std::printf("%s: %s\n", qPrintable(name), reason.isEmpty() ? "rewritten" : qPrintable("refused, " + reason));
    if (!reason.isEmpty()) continue;  // e.g. tables with indexes
    const QString copy = w.path(QFileInfo(name).fileName());
    QFile::copy(original, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    const QString connection = QStringLiteral("rewrite-") + QFileInfo(name).baseName();
    {
      QSqlDatabase mirror = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
      mirror.setDatabaseName(QStringLiteral(":memory:"));
      ASSERT_TRUE(mirror.open());
      Jet::loadMirror(original, mirror);
      Jet::writeBack(copy, copy, mirror);
      mirror.close();
    }
    QSqlDatabase::removeDatabase(connection);
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

// ---------------------------------------------------------------- refusals

namespace {

void patchByte(const QString& file, qint64 offset, char value) {
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.seek(offset);
  char old = 0;
  f.getChar(&old);
  f.seek(offset);
  f.putChar(char(old ^ value));
}

void expectRefused(Workspace& w, const QString& file, const QString& why) {
  SCOPED_TRACE(why.toStdString());
  const QString reason = Jet::unwritableReason(file);
  EXPECT_TRUE(reason.contains(why, Qt::CaseInsensitive)) << reason.toStdString();
  const QByteArray before = fileBytes(file);
  w.insert("Subject", {1, "x", "y"});
  try {
    Jet::writeBack(file, file, w.mirror());
    ADD_FAILURE() << "the write must be refused";
  } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains(why, Qt::CaseInsensitive)) << e.description().toStdString();
  }
  EXPECT_TRUE(fileBytes(file) == before);
  EXPECT_TRUE(leftovers(w).isEmpty());
  w.exec("DELETE FROM Subject");
}

}  // namespace

TEST(JetWriter, TheTemplateIsWritable) {
  EXPECT_EQ(Jet::unwritableReason(templatePath()), QString());
}

TEST(JetWriter, RefusesFilesItCannotWriteSafely) {
  Workspace w;
  const QString jet3 = w.copyTemplate("jet3.mdb");
  patchByte(jet3, 0x14, 0x01);  // version 0: Jet 3
  expectRefused(w, jet3, "Jet 4");
  const QString ace = w.copyTemplate("ace.mdb");
  patchByte(ace, 0x14, 0x03);  // version 2: Access 2007
  expectRefused(w, ace, "Jet 4");
  const QString encrypted = w.copyTemplate("encrypted.mdb");
  patchByte(encrypted, 0x3E, 0x5A);
  expectRefused(w, encrypted, "encrypted");
  const QString locked = w.copyTemplate("locked.mdb");
  QFile lock(w.path("locked.ldb"));
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.close();
  expectRefused(w, locked, "locked.ldb");

  const QString indexed = w.copyTemplate("indexed.mdb");
  patchByte(indexed, 24 * 4096 + 47, 0x01);  // Subject's definition: one logical index
  expectRefused(w, indexed, "indexes");

  const QString text = w.path("text.mdb");
  QFile f(text);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(8192, 'x'));
  f.close();
  expectRefused(w, text, "not an Access database");
}

// Dates are days since 1899-12-30; before it the time of day still counts
// forward, as Access stores it (some readers get those wrong, so they are
// checked here on the encoding itself).
TEST(JetWriterValues, DatesBecomeAccessDayNumbers) {
  using Jet::writer::toJetDate;
  bool ok = false;
  EXPECT_EQ(toJetDate(QStringLiteral("1899-12-30 00:00:00"), &ok), 0.0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(toJetDate(QStringLiteral("1899-12-29 06:00:00"), &ok), -1.25);
  EXPECT_EQ(toJetDate(QStringLiteral("1753-01-01T00:00:00"), &ok), -53688.0);
  EXPECT_EQ(toJetDate(QStringLiteral("1981-12-12 00:00:00"), &ok), 29932.0);
  EXPECT_EQ(toJetDate(QStringLiteral("2000-01-01T12:00:00.000"), &ok), 36526.5);
  EXPECT_EQ(toJetDate(QStringLiteral("2000-01-01"), &ok), 36526.0);
  EXPECT_EQ(toJetDate(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59)), &ok), 2958465.0 + 86399.0 / 86400.0);
  EXPECT_TRUE(ok);
  toJetDate(QStringLiteral("31/12/2024"), &ok);
  EXPECT_FALSE(ok);
  toJetDate(QStringLiteral(""), &ok);
  EXPECT_FALSE(ok);
}

TEST(JetWriterValues, TextIsCompressedOnlyWhereAllowedAndSafe) {
  using Jet::writer::encodeText;
  EXPECT_EQ(encodeText(QStringLiteral("abc"), true), QByteArray("\xFF\xFE" "abc", 5));
  EXPECT_EQ(encodeText(QStringLiteral("abc"), false), QByteArray("a\0b\0c\0", 6));
  EXPECT_EQ(encodeText(QStringLiteral("中a"), true), QByteArray("\x2D\x4E" "a\0", 4));
  EXPECT_EQ(encodeText(QString(QChar(0xFEFF)) + QStringLiteral("x"), false), QByteArray("x\0", 2))
      << "a leading byte-order mark would read as the compression marker";
  EXPECT_EQ(encodeText(QString(1025, 'a'), true).size(), 2050) << "long values stay plain";
}
