// Working copies of Access files leave nothing in the temporary folder, and
// the folders of runs that were killed are removed, but only those.
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "JetReaderSupport.h"
#include "data/Connection.h"
#include "data/jet/JetExchange.h"

using namespace JetTest;

namespace {

QStringList ourWorkingFolders() {
  return QDir(QDir::tempPath())
      .entryList({QStringLiteral("corvina-mirror-%1-*").arg(QCoreApplication::applicationPid())},
                 QDir::Dirs | QDir::NoDotAndDotDot);
}

TEST(JetWorkingCopy, IsGoneFromTheTemporaryFolderWhileInUse) {
  const QString jetDir = sharedJetDir();
  if (jetDir.isEmpty()) GTEST_SKIP() << "the shared Access files are missing";
  const auto conn = Connection::openExchangeFile(jetDir + "/samples/paper-english.mdb", ExchangeAccess::Read);
  EXPECT_EQ(ourWorkingFolders(), QStringList());
  QSqlQuery q(conn->database());
  conn->begin();
  EXPECT_TRUE(q.exec("delete from AnswerSheet"));
  conn->rollback();
  EXPECT_TRUE(q.exec("select count(*) from AnswerSheet") && q.next());
  EXPECT_EQ(q.value(0).toInt(), 3);
}

qint64 finishedProcessId() {
  QProcess p;
  p.start(QStringLiteral("true"), {});
  p.waitForStarted();
  const qint64 pid = p.processId();
  p.waitForFinished();
  return pid;
}

struct Leftover {
  const char* what;
  QString name;
  int hoursOld;
  bool removed;
};

TEST(JetWorkingCopy, OnlyStaleFoldersOfGoneRunsAreRemoved) {
  const QString dead = QString::number(finishedProcessId());
  const QString alive = QString::number(QCoreApplication::applicationPid());
  const QVector<Leftover> leftovers{
      {"killed run, old", "corvina-mirror-" + dead + "-aB3xYz", 30, true},
      {"killed run, recent", "corvina-mirror-" + dead + "-Qw12Er", 0, false},
      {"run still going", "corvina-mirror-" + alive + "-Zx98Cv", 30, false},
      {"not ours", "other-mirror-" + dead + "-aB3xYz", 30, false},
      {"no process id", "corvina-mirror-x-aB3xYz", 30, false},
  };
  QTemporaryDir temp;
  for (const Leftover& l : leftovers) {
    const QString folder = temp.filePath(l.name);
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile db(folder + "/mirror.db");
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.close();
    const timeval then{time(nullptr) - l.hoursOld * 3600L, 0};
    const timeval times[2] = {then, then};
    ASSERT_EQ(::utimes(QFile::encodeName(folder).constData(), times), 0);
  }
  EXPECT_EQ(Jet::removeStaleWorkingCopies(temp.path()), 1);
  for (const Leftover& l : leftovers)
    EXPECT_EQ(QDir(temp.filePath(l.name)).exists(), !l.removed) << l.what;
}

}  // namespace
