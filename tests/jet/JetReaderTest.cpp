#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "JetReaderSupport.h"
#include "JetWriterSupport.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Recordset.h"
#include "data/Schema.h"
#include "data/jet/JetExchange.h"
#include "support/TestEnv.h"

using namespace JetTest;

namespace {

#define REQUIRE_SHARED()                                                                    \
  const QString jetDir = sharedJetDir();                                                    \
  if (jetDir.isEmpty()) GTEST_SKIP() << "the shared Access files (../shared/jet beside the " \
                                        "source tree) are missing: Access reader tests skipped"

QVariant scalar(const QSqlDatabase& db, const QString& sql) {
  const auto r = rows(db, sql);
  return r.isEmpty() || r.first().isEmpty() ? QVariant() : r.first().first();
}

// ---- The samples as another program wrote them ----------------------------

TEST(JetReaderSamples, CourseFileLoadsEveryTableWithItsColumnsInOrder) {
  REQUIRE_SHARED();
  const auto conn = openForImport(jetDir + "/samples/course-english.mdb");
  ASSERT_TRUE(conn->isExchangeFile());
  EXPECT_EQ(conn->dialect(), Dialect::SQLite);
  const QSqlDatabase db = conn->database();
  for (const QString& table : Schema::courseTableNames()) {
    QStringList expected;
    for (const Schema::Column& c : Schema::find(table)->columns) expected << c.name;
    EXPECT_EQ(columnNames(db, table), expected) << table.toStdString();
  }
}

TEST(JetReaderSamples, CourseTextAndTheLongStemArriveWhole) {
  REQUIRE_SHARED();
  const auto conn = openForImport(jetDir + "/samples/course-english.mdb");
  const QSqlDatabase db = conn->database();
  EXPECT_EQ(scalar(db, "select Name from Course").toString(), QStringLiteral("大学英语（一）"));
  EXPECT_EQ(scalar(db, "select max(length(Stem)) from ProblemGroup").toInt(), 81214);
  // The long stem is text, not cut at a buffer size, and ends as it began: in
  // characters a reader can show.
  const QString stem = scalar(db, "select Stem from ProblemGroup order by length(Stem) desc").toString();
  EXPECT_EQ(stem.size(), 81214);
  EXPECT_FALSE(stem.contains(QChar(0)));
  EXPECT_FALSE(stem.contains(QChar::ReplacementCharacter));
  EXPECT_GT(scalar(db, "select count(*) from Problem").toInt(), 0);
  EXPECT_GT(scalar(db, "select count(*) from ProblemsFeatures").toInt(), 0);
}

TEST(JetReaderSamples, PaperFileKeepsItsNullScore) {
  REQUIRE_SHARED();
  const auto conn = openForImport(jetDir + "/samples/paper-english.mdb");
  const QSqlDatabase db = conn->database();
  EXPECT_EQ(scalar(db, "select count(*) from AnswerSheet").toInt(), 3);
  EXPECT_EQ(scalar(db, "select count(*) from AnswerSheet where Score is null").toInt(), 1);
  EXPECT_EQ(scalar(db, "select count(*) from Paper").toInt(), 1);
  EXPECT_EQ(scalar(db, "select count(*) from PaperDesign").toInt(), 1);
  EXPECT_EQ(scalar(db, "select count(*) from Subject").toInt(), 2);
}

TEST(JetReaderSamples, ImportConnectStringReachesTheRowsThroughTheDataAccessObject) {
  REQUIRE_SHARED();
  TestEnv env;
  CDataAccess dal;
  dal.OpenExchangeFile(jetDir + "/samples/course-english.mdb", ExchangeAccess::Read);
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select * from Course", rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("name").toString(), QStringLiteral("大学英语（一）"));
}

// The samples read by us and by the independent JavaScript reader agree,
// table by table and value by value.
TEST(JetReaderSamples, SamplesReadTheSameAsMdbReader) {
  REQUIRE_SHARED();
  for (const QString& name : {QStringLiteral("course-english.mdb"), QStringLiteral("paper-english.mdb")}) {
    SCOPED_TRACE(name.toStdString());
    const QString file = jetDir + "/samples/" + name;
    QString skip;
    const auto theirs = JetWriterTest::mdbReader(file, &skip);
    if (!skip.isEmpty()) GTEST_SKIP() << skip.toStdString();
    const auto conn = openForImport(file);
    int compared = 0;
    for (const QString& table : Schema::courseTableNames()) {
      ASSERT_TRUE(theirs.count(table)) << table.toStdString();
      JetWriterTest::Rows ours;
      for (const QVariantList& row : rows(conn->database(), "select * from " + table)) {
        QStringList text;
        for (int c = 0; c < row.size(); ++c) text << JetWriterTest::canonical(table, c, row[c]);
        ours.push_back(text);
        compared += int(row.size());
      }
      JetWriterTest::Rows expected = theirs.at(table);
      std::sort(ours.begin(), ours.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(ours, expected) << table.toStdString();
    }
    EXPECT_GT(compared, 20);
  }
}

// ---- Files Access itself made, against what mdb-export prints -------------

// Returns the number of values compared.
int expectSameAsMdbExport(const QString& file) {
  int compared = 0;
  const auto conn = openForImport(file);
  const QSqlDatabase db = conn->database();
  const QStringList tables = mdbTables(file);
  EXPECT_FALSE(tables.isEmpty()) << "mdb-tables found nothing in " << file.toStdString();
  for (const QString& table : tables) {
    SCOPED_TRACE(QString(file + " / " + table).toStdString());
    const QVector<CsvRow> exported = mdbExport(file, table);
    if (exported.isEmpty()) {
      ADD_FAILURE() << "mdb-export printed nothing";
      continue;
    }
    QStringList header;
    for (const CsvField& f : exported.first()) header << f.text;
    EXPECT_EQ(columnNames(db, table), header);
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec("select * from \"" + table + "\" order by rowid"));
    int row = 1;
    while (q.next()) {
      if (row >= exported.size()) {
        ADD_FAILURE() << "more rows than mdb-export shows";
        break;
      }
      const CsvRow& theirs = exported[row];
      if (theirs.size() != header.size()) {
        ADD_FAILURE() << "row " << row << " of mdb-export has " << theirs.size() << " fields";
        break;
      }
      for (int c = 0; c < header.size(); ++c) {
        const QVariant ours = q.value(c);
        const CsvField& t = theirs[c];
        const QString where = QStringLiteral("row %1 column %2").arg(row).arg(header[c]);
        ++compared;
        if (!t.quoted && t.text == QLatin1String("NULL")) {
          EXPECT_TRUE(ours.isNull()) << where.toStdString();
          continue;
        }
        if (ours.isNull()) {
          ADD_FAILURE() << where.toStdString() << " is NULL, mdb-export shows " << t.text.toStdString();
          continue;
        }
        bool numeric = false;
        const double theirNumber = t.text.toDouble(&numeric);
        if (!t.quoted && numeric && ours.typeId() != QMetaType::QString) {
          // mdb-export prints doubles with 16 significant digits, singles with 8.
          const double mine = ours.toDouble();
          EXPECT_LE(std::fabs(mine - theirNumber), 1e-7 * std::max(1.0, std::fabs(mine))) << where.toStdString();
        } else if (ours.typeId() == QMetaType::QByteArray) {
          EXPECT_EQ(QString::fromLatin1(ours.toByteArray().toHex()).toUpper(), t.text.toUpper())
              << where.toStdString();
        } else if (!t.quoted && numeric) {
          EXPECT_NEAR(ours.toString().toDouble(), theirNumber, 1e-9) << where.toStdString();
        } else {
          EXPECT_EQ(ours.toString(), t.text) << where.toStdString();
        }
      }
      ++row;
    }
    EXPECT_EQ(row, exported.size()) << "fewer rows than mdb-export shows";
  }
  return compared;
}

// Rows Access moved to overflow pages, rows it deleted and its compressed
// text, as the JavaScript reader (which follows Access's own rules for row
// flags) sees them too.
TEST(JetReaderAccessMade, OverflowDeletedAndCompressedRowsAgreeWithMdbReader) {
  REQUIRE_SHARED();
  for (const QString& name : {QStringLiteral("overflowTestV2000.mdb"), QStringLiteral("delTestV2000.mdb"),
                              QStringLiteral("testUnicodeCompV2003.mdb")}) {
    SCOPED_TRACE(name.toStdString());
    const QString file = jetDir + "/access-made/" + name;
    QString skip;
    const QString json = JetWriterTest::mdbReaderJson(file, &skip);
    if (!skip.isEmpty()) GTEST_SKIP() << skip.toStdString();
    const QJsonObject theirs = QJsonDocument::fromJson(json.toUtf8()).object();
    const auto conn = openForImport(file);
    ASSERT_FALSE(theirs.isEmpty());
    for (auto it = theirs.begin(); it != theirs.end(); ++it) {
      const QString table = it.key();
      // These files hold text columns only.
      const auto asText = [](const QVariant& v) { return v.isNull() ? QStringLiteral("<NULL>") : v.toString(); };
      JetWriterTest::Rows ours;
      for (const QVariantList& row : rows(conn->database(), "select * from \"" + table + "\"")) {
        QStringList text;
        for (const QVariant& v : row) text << asText(v);
        ours.push_back(text);
      }
      JetWriterTest::Rows expected;
      for (const QJsonValue& row : it.value().toArray()) {
        QStringList text;
        for (const QJsonValue& v : row.toArray()) text << asText(v.toVariant());
        expected.push_back(text);
      }
      std::sort(ours.begin(), ours.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_FALSE(expected.empty()) << table.toStdString();
      EXPECT_EQ(ours, expected) << table.toStdString();
    }
  }
}

TEST(JetReaderAccessMade, EveryFileReadsAsMdbExportPrintsIt) {
  REQUIRE_SHARED();
  const QDir dir(jetDir + "/access-made");
  const QStringList files = dir.entryList({"*.mdb"}, QDir::Files, QDir::Name);
  ASSERT_EQ(files.size(), 5);
  for (const QString& f : files) {
    const int compared = expectSameAsMdbExport(dir.filePath(f));
    EXPECT_GT(compared, 0) << f.toStdString();
    std::printf("%s: %d values agree with mdb-export\n", qPrintable(f), compared);
  }
}

}  // namespace
