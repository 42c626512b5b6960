// The working copy an Access file is read into: nothing of it left in the
// temporary folder, written back only when changed; and the reading process,
// started safely beside busy threads.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>

#include <atomic>
#include <thread>

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/jet/JetExchange.h"
#include "data/jet/JetMirror.h"
#include "jet/JetSupport.h"

using namespace JetTest;

namespace {

// Read for an import: nothing in the temporary folder, transactions work,
// statements that change nothing leave the file as it was. Opened for
// writing, a change is written back (or refused leaving the file whole).
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
    try {
      conn->release();
      EXPECT_FALSE(jet.changed());
      EXPECT_EQ(corvinaReader(file).at("AnswerSheet").size(), access == ExchangeAccess::Write ? 2u : 3u);
      EXPECT_EQ(readFile(file) == before, access == ExchangeAccess::Read);
    } catch (const DataError&) {
      EXPECT_EQ(readFile(file), before) << "a refused write changed the file";
    }
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
      try {
        complete += Jet::loadMirror(shared("samples/paper-english.mdb"), m.db(), -1).tables.size() == 15;
      } catch (const DataError& e) {
        ADD_FAILURE() << "read " << i << ": " << e.description().toStdString();
      }
    }
  }).join();
  stop = true;
  for (auto& t : neighbours) t.join();
  qInstallMessageHandler(previous);
  EXPECT_EQ(complete, 100);
  EXPECT_GT(messagesLogged.load(), 0);
}

}  // namespace
