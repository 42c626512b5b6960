// An exchange file is read whole or refused: a file cut at any page, or with
// bytes changed anywhere, either loads with every row another reader
// (mdb-export) sees in every table, or is refused with the engine's error
// before anything is written. Never a crash, never a short import.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <iostream>
#include <map>

#include "JetReaderSupport.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "data/jet/JetExchange.h"
#include "core/Interaction.h"
#include "export/CExport.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

using namespace JetTest;

namespace {

constexpr int pageSize = 4096;

using RowCounts = std::map<std::string, qint64>;

// What became of the variants of one file.
struct Tally {
  int complete = 0;
  int refused = 0;
  qint64 slowestMs = 0;
  QString slowest;
};

// Loads a file; the row count of every table, or nothing when refused.
std::optional<RowCounts> load(const QString& path, QString* refusal) {
  try {
    const auto conn = openForImport(path);
    RowCounts counts;
    for (const Jet::TableFacts& t : dynamic_cast<const Jet::JetConnection&>(*conn).facts().tables) counts[t.name.toStdString()] = t.rows;
    return counts;
  } catch (const DataError& e) {
    *refusal = e.description();
    return std::nullopt;
  }
}

// The one rule every variant obeys: refused, or every row of the original
// and at least every row mdb-export sees.
void checkVariant(const QString& path, const RowCounts& original, Tally& tally) {
  SCOPED_TRACE(path.toStdString());
  QElapsedTimer timer;
  timer.start();
  QString refusal;
  const std::optional<RowCounts> counts = load(path, &refusal);
  if (timer.elapsed() > tally.slowestMs) {
    tally.slowestMs = timer.elapsed();
    tally.slowest = path.section('/', -1);
  }
  if (!counts) {
    ++tally.refused;
    EXPECT_FALSE(refusal.isEmpty());
    return;
  }
  ++tally.complete;
  EXPECT_EQ(*counts, original);
  for (const auto& [table, rows] : *counts)
    EXPECT_GE(rows, mdbExportRowCount(path, QString::fromStdString(table))) << "table " << table << " was read short";
}

// A course exported by this program into the Access template.
QString exportDemoCourse(const TestEnv& env) {
  QFile::remove(env.path("Template.mdb"));
  QFile::copy(TestEnv::builtJetTemplate(), env.path("Template.mdb"));
  QFile::setPermissions(env.path("Template.mdb"), QFile::ReadOwner | QFile::WriteOwner);
  int course = 0;
  {
    CDataAccess dal;
    course = DemoData::create(dal, 120).bigCourseId;
  }
  CExport exporter(interaction());
  QString file = env.path("course.mdb");
  EXPECT_TRUE(exporter.ExportCourseData(file, course).succeeded());
  return file;
}

struct Source {
  const char* name;
  int byteChanges;  // variants with a few bytes changed
};
// Test names and messages show the file, not the structure's bytes.
void PrintTo(const Source& s, std::ostream* os) { *os << s.name; }

class JetReaderCompleteness : public ::testing::TestWithParam<Source> {
 protected:
  TestEnv env;
  ScopedInteraction scope{std::make_shared<ScriptedInteraction>()};

  QString original() {
    if (QString::fromLatin1(GetParam().name) == QLatin1String("export")) return exportDemoCourse(env);
    const QString dir = sharedJetDir();
    return dir.isEmpty() ? QString() : dir + "/samples/" + GetParam().name;
  }
};

TEST_P(JetReaderCompleteness, EveryCutAndChangedVariantIsReadWholeOrRefused) {
  if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty()) GTEST_SKIP() << "no mdb-export";
  const QString source = original();
  if (source.isEmpty()) GTEST_SKIP() << "the shared Access samples are missing";
  const QByteArray bytes = readFile(source);
  ASSERT_EQ(bytes.size() % pageSize, 0);
  QString refusal;
  const std::optional<RowCounts> whole = load(source, &refusal);
  ASSERT_TRUE(whole) << refusal.toStdString();
  QTemporaryDir dir;
  Tally cuts, changes;
  const int pages = int(bytes.size() / pageSize);
  for (int page = 1; page < pages; ++page) {
    checkVariant(writeFile(dir.filePath(QStringLiteral("cut-%1.mdb").arg(page)), bytes.left(qsizetype(page) * pageSize)), *whole, cuts);
    if (page == pages - 1) checkVariant(writeFile(dir.filePath("cut-partial.mdb"), bytes.left(bytes.size() - 100)), *whole, cuts);
  }
  QRandomGenerator random(20261206);
  for (int i = 0; i < GetParam().byteChanges; ++i) {
    QByteArray changed = bytes;
    const int count = 1 + int(random.bounded(3));
    // Page 0 only holds the header; the damage that matters is on the table pages.
    for (int k = 0; k < count; ++k) changed[pageSize + random.bounded(changed.size() - pageSize)] = char(random.bounded(256));
    checkVariant(writeFile(dir.filePath(QStringLiteral("changed-%1.mdb").arg(i)), changed), *whole, changes);
  }
  std::cout << GetParam().name << " (" << pages << " pages): cuts " << cuts.complete << " complete, " << cuts.refused
            << " refused; byte changes " << changes.complete << " complete, " << changes.refused
            << " refused; slowest " << std::max(cuts.slowestMs, changes.slowestMs) << " ms ("
            << (cuts.slowestMs > changes.slowestMs ? cuts.slowest : changes.slowest).toStdString() << ")\n";
  EXPECT_EQ(cuts.complete + cuts.refused, pages);
}

INSTANTIATE_TEST_SUITE_P(Files, JetReaderCompleteness,
                         ::testing::Values(Source{"export", 240}, Source{"course-english.mdb", 220},
                                           Source{"paper-english.mdb", 220}),
                         [](const auto& info) {
                           const std::string name(info.param.name);
                           return name.substr(0, name.find_first_of("-."));
                         });

// The refusal says in the user's language which table lacks what.
TEST(JetReaderRefusal, NamesTheTableAndWhatIsMissing) {
  const QString jetDir = sharedJetDir();
  if (jetDir.isEmpty()) GTEST_SKIP() << "the shared Access samples are missing";
  const QByteArray course = readFile(jetDir + "/samples/course-english.mdb");
  const struct {
    qsizetype length;
    QString message;
  } cases[] = {
      {40 * pageSize, QStringLiteral("文件不完整：表 Subject 只能读出 0 行，应有 3 行。")},
      {40 * pageSize + 10, QStringLiteral("文件不完整：文件末尾缺少 4086 字节，不是整页。")},
  };
  QTemporaryDir dir;
  for (const auto& c : cases) {
    QString refusal;
    EXPECT_FALSE(load(writeFile(dir.filePath(QStringLiteral("cut-%1.mdb").arg(c.length)), course.left(c.length)), &refusal));
    EXPECT_TRUE(refusal.endsWith(c.message)) << refusal.toStdString();
  }
}

}  // namespace
