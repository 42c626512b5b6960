// An exchange file is read whole or refused: a file cut at any page, or with
// bytes changed anywhere, either loads with every row of the original and
// every row another reader (mdb-export) sees, or is refused with the engine's
// error. Never a crash, never a short import.
#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <iostream>
#include <map>
#include <optional>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "data/jet/JetExchange.h"
#include "export/CExport.h"
#include "jet/JetSupport.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

using namespace JetTest;

namespace {

constexpr int pageSize = 4096;
using RowCounts = std::map<QString, qint64>;

// The rows of every table the import sees, or nothing (and the reason) when
// refused.
std::optional<RowCounts> load(const QString& path, QString* refusal) {
  try {
    const auto conn = Connection::openExchangeFile(path, ExchangeAccess::Read);
    RowCounts counts;
    for (const Jet::TableFacts& t : dynamic_cast<const Jet::JetConnection&>(*conn).facts().tables)
      counts[t.name] = qint64(Workspace::tableRows(conn->database(), t.name).size());
    return counts;
  } catch (const DataError& e) {
    *refusal = e.description();
    return std::nullopt;
  }
}

// A course this program exported into the Access template.
QString exportDemoCourse(const TestEnv& env) {
  // The program folder's template is the Access one.
  writeFile(env.path("Template.mdb"), readFile(TestEnv::builtJetTemplate()));
  QString file = env.path("course.mdb");
  int course = 0;
  {
    CDataAccess dal;
    course = DemoData::create(dal, 120).bigCourseId;
  }
  EXPECT_TRUE(CExport(interaction()).ExportCourseData(file, course).succeeded());
  return file;
}

TEST(JetReaderCompleteness, EveryCutAndChangedVariantIsReadWholeOrRefused) {
  TestEnv env;
  const ScopedInteraction scope{std::make_shared<ScriptedInteraction>()};
  const struct {
    QString file;
    int byteChanges;  // variants with a few bytes changed
  } sources[] = {{exportDemoCourse(env), 240},
                 {shared("samples/course-english.mdb"), 220},
                 {shared("samples/paper-english.mdb"), 220}};
  QTemporaryDir dir;
  QRandomGenerator random(20261206);
  for (const auto& source : sources) {
    const QByteArray bytes = readFile(source.file);
    ASSERT_EQ(bytes.size() % pageSize, 0) << source.file.toStdString();
    QString refusal;
    const std::optional<RowCounts> whole = load(source.file, &refusal);
    ASSERT_TRUE(whole) << refusal.toStdString();
    for (const auto& [table, rows] : *whole) EXPECT_EQ(rows, qsizetype(mdbExport(source.file, table).size())) << table.toStdString();
    std::vector<QByteArray> variants;
    for (qsizetype page = 1; page * pageSize < bytes.size(); ++page) variants.push_back(bytes.left(page * pageSize));
    variants.push_back(bytes.left(bytes.size() - 100));
    for (int i = 0; i < source.byteChanges; ++i) {
      QByteArray changed = bytes;
      // Page 0 only holds the header; the damage that matters is on the table pages.
      for (int k = 0, n = 1 + int(random.bounded(3)); k < n; ++k)
        changed[pageSize + random.bounded(changed.size() - pageSize)] = char(random.bounded(256));
      variants.push_back(changed);
    }
    int complete = 0;
    for (size_t v = 0; v < variants.size(); ++v) {
      SCOPED_TRACE(QStringLiteral("%1, variant %2").arg(source.file).arg(v).toStdString());
      const QString path = writeFile(dir.filePath(QStringLiteral("variant-%1.mdb").arg(v)), variants[v]);
      const std::optional<RowCounts> counts = load(path, &refusal);
      if (!counts) continue;
      ++complete;
      EXPECT_EQ(*counts, *whole);
    }
    std::cout << source.file.section('/', -1).toStdString() << ": " << complete << " of " << variants.size()
              << " variants read whole, the rest refused\n";
  }
}

// The refusal says in the user's language which table lacks what.
TEST(JetReaderCompleteness, RefusalNamesTheTableAndWhatIsMissing) {
  const QByteArray course = readFile(shared("samples/course-english.mdb"));
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
