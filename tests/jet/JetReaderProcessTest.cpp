// The reading program is started with exec, so a read cannot hang on a lock
// another thread of this process held at the moment a child was made.
#include <gtest/gtest.h>

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "JetReaderSupport.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/jet/JetExchange.h"

using namespace JetTest;

namespace {

std::atomic<long> messagesLogged{0};
void countMessage(QtMsgType, const QMessageLogContext&, const QString&) { ++messagesLogged; }

// Threads that keep the allocator and Qt's message lock busy until stopped.
class BusyNeighbours {
 public:
  explicit BusyNeighbours(int count) : previous_(qInstallMessageHandler(countMessage)) {
    for (int i = 0; i < count; ++i)
      threads_.emplace_back([this, i] {
        while (!stop_) {
          std::vector<std::unique_ptr<std::string>> garbage;
          for (int k = 0; k < 64; ++k) garbage.push_back(std::make_unique<std::string>(64 + k * i, 'x'));
          qInfo("neighbour %d holds %d strings", i, int(garbage.size()));
        }
      });
  }
  ~BusyNeighbours() {
    stop_ = true;
    for (auto& t : threads_) t.join();
    qInstallMessageHandler(previous_);
  }

 private:
  QtMessageHandler previous_;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

TEST(JetReaderProcess, ReadsBesideBusyThreadsNeverHang) {
  const QString jetDir = sharedJetDir();
  if (jetDir.isEmpty()) GTEST_SKIP() << "the shared Access files are missing";
  const QString file = jetDir + "/samples/paper-english.mdb";
  const BusyNeighbours neighbours(3);
  int complete = 0;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      try {
        const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
        const auto* jet = dynamic_cast<const Jet::JetConnection*>(conn.get());
        if (jet && jet->facts().tables.size() == 15) ++complete;
      } catch (const DataError& e) {
        ADD_FAILURE() << "read " << i << ": " << e.description().toStdString();
      }
    }
  });
  worker.join();
  EXPECT_EQ(complete, 100);
  EXPECT_GT(messagesLogged.load(), 0);
}

}  // namespace
