// An exchange file is read whole or refused: a file cut at any page, or with
// bytes changed anywhere, either loads with every row of the original (which
// mdb-export sees too), or is refused with the engine's error. Never a crash,
// never a short import.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <iostream>
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

// The rows of every table the import sees, or nothing when refused.
std::optional<std::map<QString, size_t>> load(const QString& path) {
  try {
    const auto conn = Connection::openExchangeFile(path, ExchangeAccess::Read);
    std::map<QString, size_t> rows;
    for (const Jet::TableFacts& t : dynamic_cast<const Jet::JetConnection&>(*conn).facts().tables)
      rows[t.name] = tableRows(conn->database(), t.name).size();
    return rows;
  } catch (const DataError& e) {
    EXPECT_FALSE(e.description().isEmpty());
    return std::nullopt;
  }
}

TEST(JetReaderCompleteness, EveryCutAndChangedVariantIsReadWholeOrRefused) {
  const TestEnv env;
  const ScopedInteraction scope{std::make_shared<ScriptedInteraction>()};
  // A course this program exported, through the Access template.
  writeFile(env.path("Template.mdb"), readFile(TestEnv::builtJetTemplate()));
  QString exported = env.path("course.mdb");
  {
    CDataAccess dal;
    ASSERT_TRUE(CExport(interaction()).ExportCourseData(exported, DemoData::create(dal, 120).bigCourseId).succeeded());
  }
  const struct {
    QString file;
    int byteChanges;  // variants with a few bytes changed
  } sources[] = {{exported, 240}, {shared("samples/course-english.mdb"), 220}, {shared("samples/paper-english.mdb"), 220}};
  const Workspace w;
  QRandomGenerator random(20261206);
  for (const auto& source : sources) {
    const QByteArray bytes = readFile(source.file);
    const auto whole = load(source.file);
    ASSERT_TRUE(whole && bytes.size() % 4096 == 0) << source.file.toStdString();
    for (const auto& [table, rows] : *whole) EXPECT_EQ(rows, mdbExport(source.file, table).size()) << table.toStdString();
    std::vector<QByteArray> variants{bytes.left(bytes.size() - 100)};
    for (qsizetype page = 1; page * 4096 < bytes.size(); ++page) variants.push_back(bytes.left(page * 4096));
    for (int i = 0; i < source.byteChanges; ++i) {
      variants.push_back(bytes);
      // Page 0 only holds the header; the damage that matters is on the table pages.
      for (int k = 0, n = 1 + int(random.bounded(3)); k < n; ++k)
        variants.back()[4096 + random.bounded(bytes.size() - 4096)] = char(random.bounded(256));
    }
    int complete = 0;
    for (size_t v = 0; v < variants.size(); ++v) {
      SCOPED_TRACE(QStringLiteral("%1, variant %2").arg(source.file).arg(v).toStdString());
      const auto rows = load(writeFile(w.path(QStringLiteral("variant-%1.mdb").arg(v)), variants[v]));
      complete += bool(rows);
      EXPECT_EQ(rows.value_or(*whole), *whole);
    }
    std::cout << source.file.section('/', -1).toStdString() << ": " << complete << " of " << variants.size()
              << " variants read whole, the rest refused\n";
  }
}

}  // namespace
