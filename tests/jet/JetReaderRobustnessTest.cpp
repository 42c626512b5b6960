#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "JetReaderSupport.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/jet/JetExchange.h"
#include "data/jet/JetMirror.h"
#include "data/jet/JetReader.h"
#include "data/jet/JetStream.h"
#include "support/TestEnv.h"

using namespace JetTest;

namespace {

#define REQUIRE_SHARED()                                                                    \
  const QString jetDir = sharedJetDir();                                                    \
  if (jetDir.isEmpty()) GTEST_SKIP() << "the shared Access files (../shared/jet beside the " \
                                        "source tree) are missing: Access reader tests skipped"

constexpr int pageSize = 4096;

// Opening must fail with the engine's error, never crash or hang the caller.
void expectRefused(const QString& path) {
  SCOPED_TRACE(path.toStdString());
  try {
    openForImport(path);
    ADD_FAILURE() << "a damaged file was accepted";
  } catch (const DataError& e) {
    EXPECT_FALSE(e.description().isEmpty());
  }
}

// A file that may or may not be readable: either it loads, or it is refused
// with a DataError. Nothing else is acceptable.
void expectLoadedOrRefused(const QString& path) {
  SCOPED_TRACE(path.toStdString());
  try {
    const auto conn = openForImport(path);
    EXPECT_TRUE(conn->database().isOpen());
  } catch (const DataError&) {
  }
}

QByteArray withPage(QByteArray file, int page, char fill) {
  if ((page + 1) * pageSize <= file.size()) file.replace(page * pageSize, pageSize, QByteArray(pageSize, fill));
  return file;
}

TEST(JetReaderBadFiles, TruncatedFilesAreRefused) {
  REQUIRE_SHARED();
  QTemporaryDir dir;
  const QByteArray course = readFile(jetDir + "/samples/course-english.mdb");
  ASSERT_GT(course.size(), 3 * pageSize);
  for (const int length : {0x20, 100, pageSize, pageSize + 1, 2 * pageSize, 3 * pageSize + 17})
    expectRefused(writeFile(dir.filePath(QStringLiteral("cut-%1.mdb").arg(length)), course.left(length)));
  // Cut in the middle of the rows: whatever libmdb makes of it, we survive.
  for (const qsizetype length : {course.size() / 2, course.size() - pageSize})
    expectLoadedOrRefused(writeFile(dir.filePath(QStringLiteral("cut-%1.mdb").arg(length)), course.left(length)));
}

TEST(JetReaderBadFiles, RandomBytesBehindAJetHeaderAreRefused) {
  REQUIRE_SHARED();
  QTemporaryDir dir;
  const QByteArray header = readFile(jetDir + "/Template.mdb").left(pageSize);
  QRandomGenerator random(20261206);
  for (int i = 0; i < 8; ++i) {
    QByteArray body(pageSize * (2 + i * 3), Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(body.data()), body.size() / 4);
    expectLoadedOrRefused(writeFile(dir.filePath(QStringLiteral("random-%1.mdb").arg(i)), header + body));
  }
  QByteArray noise(64 * 1024, Qt::Uninitialized);
  random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
  expectRefused(writeFile(dir.filePath("noise.mdb"), noise));
}

TEST(JetReaderBadFiles, DamagedCatalogAndDataPagesNeverCrashTheProgram) {
  REQUIRE_SHARED();
  QTemporaryDir dir;
  const QByteArray course = readFile(jetDir + "/samples/course-english.mdb");
  // Page 2 holds the definition of the catalog table itself.
  expectRefused(writeFile(dir.filePath("catalog-zero.mdb"), withPage(course, 2, '\0')));
  const int pages = int(course.size() / pageSize);
  for (int page = 1; page < pages; page += 7) {
    expectLoadedOrRefused(writeFile(dir.filePath(QStringLiteral("ff-%1.mdb").arg(page)), withPage(course, page, '\xFF')));
    QByteArray flipped = course;
    for (int at = page * pageSize; at < (page + 1) * pageSize; at += 37) flipped[at] = char(~flipped[at]);
    expectLoadedOrRefused(writeFile(dir.filePath(QStringLiteral("flip-%1.mdb").arg(page)), flipped));
  }
}

TEST(JetReaderBadFiles, OnlyJet4FilesAreRead) {
  REQUIRE_SHARED();
  QTemporaryDir dir;
  QByteArray jet3 = readFile(jetDir + "/Template.mdb");
  jet3[0x14] = 0;  // the version byte of a Jet 3 (Access 97) file
  expectRefused(writeFile(dir.filePath("jet3.mdb"), jet3));
}

class MemoryDb;
void expectRefusedWithin(const QString& path, int idleTimeoutMs);

// Inputs the fuzzer found that made libmdb crash or loop; the reading
// process takes the blow and the import hears "cannot be read". The loops
// are cut by the reader's silence limit, shortened here to keep the test
// quick.
TEST(JetReaderBadFiles, FuzzerFindingsAreRefused) {
  const QDir data(QStringLiteral(CORVINA_SOURCE_DIR) + "/tests/jet/data");
  // oom-*: libmdb allocating without end, stopped by the reader's memory limit.
  const QStringList crashes = data.entryList({"crash-*.mdb", "oom-*.mdb"}, QDir::Files, QDir::Name);
  const QStringList loops = data.entryList({"timeout-*.mdb"}, QDir::Files, QDir::Name);
  ASSERT_FALSE(crashes.isEmpty() && loops.isEmpty());
  for (const QString& f : crashes) expectRefused(data.filePath(f));
  for (const QString& f : loops) expectRefusedWithin(data.filePath(f), 1500);
}

TEST(JetReaderBadFiles, TheImportSeesAFailedConnection) {
  REQUIRE_SHARED();
  TestEnv env;
  const QString bad = writeFile(env.path("bad.mdb"), readFile(jetDir + "/Template.mdb").left(2 * pageSize));
  CDataAccess dal{CDataAccess::Unconnected{}};
  try {
    dal.OpenExchangeFile(bad, ExchangeAccess::Read);
    FAIL() << "a damaged file was opened";
  } catch (const DataError& e) {
    EXPECT_EQ(e.source(), DataError::DataAccessSource);
    EXPECT_TRUE(e.description().contains(bad)) << e.description().toStdString();
  }
  EXPECT_FALSE(dal.IsConnected());
}

// ---- The stream between the reading process and the working copy --------

QByteArray streamOf(const QString& file) {
  QTemporaryDir dir;
  QFile out(dir.filePath("stream"));
  EXPECT_TRUE(out.open(QIODevice::ReadWrite));
  EXPECT_EQ(Jet::streamFile(QFile::encodeName(file).constData(), out.handle()), 0);
  out.seek(0);
  return out.readAll();
}

class MemoryDb {
 public:
  MemoryDb() : name_(QStringLiteral("jet-stream-%1").arg(counter_++)) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(QStringLiteral(":memory:"));
    db.open();
  }
  ~MemoryDb() {
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
  }
  QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

 private:
  static inline int counter_ = 0;
  QString name_;
};

void expectRefusedWithin(const QString& path, int idleTimeoutMs) {
  SCOPED_TRACE(path.toStdString());
  MemoryDb m;
  try {
    Jet::loadMirror(path, m.db(), idleTimeoutMs);
    ADD_FAILURE() << "a damaged file was accepted";
  } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains(path)) << e.description().toStdString();
  }
}

TEST(JetReaderStream, PiecesOfAnySizeBuildTheSameTables) {
  REQUIRE_SHARED();
  const QByteArray stream = streamOf(jetDir + "/samples/paper-english.mdb");
  MemoryDb whole, bytewise;
  Jet::MirrorBuilder a(whole.db());
  a.feed(stream.constData(), stream.size());
  Jet::MirrorBuilder b(bytewise.db());
  for (qsizetype i = 0; i < stream.size(); ++i) b.feed(stream.constData() + i, 1);
  ASSERT_TRUE(a.finished());
  ASSERT_TRUE(b.finished());
  ASSERT_EQ(a.facts().tables.size(), b.facts().tables.size());
  for (int t = 0; t < a.facts().tables.size(); ++t) {
    const QString table = a.facts().tables[t].name;
    EXPECT_EQ(rows(whole.db(), "select * from \"" + table + "\""), rows(bytewise.db(), "select * from \"" + table + "\""))
        << table.toStdString();
  }
  EXPECT_EQ(rows(whole.db(), "select count(*) from AnswerSheet").first().first().toInt(), 3);
}

TEST(JetReaderStream, ACutOrGarbledStreamIsAnErrorNotACrash) {
  REQUIRE_SHARED();
  const QByteArray stream = streamOf(jetDir + "/samples/paper-english.mdb");
  {
    MemoryDb m;
    Jet::MirrorBuilder cut(m.db());
    cut.feed(stream.constData(), stream.size() - 3);
    EXPECT_FALSE(cut.finished());
  }
  QRandomGenerator random(7);
  for (int i = 0; i < 200; ++i) {
    QByteArray garbled = stream;
    for (int k = 0; k < 4; ++k) garbled[random.bounded(garbled.size())] = char(random.bounded(256));
    MemoryDb m;
    try {
      Jet::MirrorBuilder b(m.db());
      b.feed(garbled.constData(), garbled.size());
    } catch (const DataError&) {
    }
  }
}

TEST(JetReaderStream, TheReadersReasonReachesTheCaller) {
  QByteArray failure;
  const QByteArray reason = "the table catalog cannot be read";
  failure.append(char(Jet::Stream::Failure));
  const quint32 length = quint32(reason.size() + 4);
  const quint32 textLength = quint32(reason.size());
  failure.append(reinterpret_cast<const char*>(&length), 4);
  failure.append(reinterpret_cast<const char*>(&textLength), 4);
  failure.append(reason);
  MemoryDb m;
  Jet::MirrorBuilder b(m.db());
  try {
    b.feed(failure.constData(), failure.size());
    FAIL();
  } catch (const DataError& e) {
    EXPECT_TRUE(e.description().contains(QString::fromLatin1(reason)));
  }
}

// ---- Dates as Access stores them ----------------------------------------

TEST(JetReaderDates, AccessDayNumbersBecomeText) {
  EXPECT_EQ(Jet::dateText(0.0), QStringLiteral("1899-12-30 00:00:00"));
  EXPECT_EQ(Jet::dateText(29932.0), QStringLiteral("1981-12-12 00:00:00"));
  EXPECT_EQ(Jet::dateText(27293.5), QStringLiteral("1974-09-21 12:00:00"));
  // Before the base day the date counts down while the time still counts up.
  EXPECT_EQ(Jet::dateText(-1.25), QStringLiteral("1899-12-29 06:00:00"));
  // A time that rounds to midnight is the next day.
  EXPECT_EQ(Jet::dateText(1.0 - 1e-9), QStringLiteral("1899-12-31 00:00:00"));
  EXPECT_EQ(Jet::dateText(2958465.0 + 86399.0 / 86400.0), QStringLiteral("9999-12-31 23:59:59"));
  EXPECT_EQ(Jet::dateText(-657434.0), QStringLiteral("0100-01-01 00:00:00"));
  EXPECT_FALSE(Jet::dateText(std::nan("")));
  EXPECT_FALSE(Jet::dateText(3e6));
  EXPECT_FALSE(Jet::dateText(-7e5));
}

// ---- The working copy and writing back ------------------------------------

TEST(JetReaderWorkingCopy, AFileReadAndLeftUnchangedIsNotWritten) {
  REQUIRE_SHARED();
  QTemporaryDir dir;
  const QString file = dir.filePath("paper.mdb");
  const QByteArray before = readFile(jetDir + "/samples/paper-english.mdb");
  writeFile(file, before);
  {
    const auto conn = openForImport(file);
    auto* jet = dynamic_cast<Jet::JetConnection*>(conn.get());
    ASSERT_NE(jet, nullptr);
    QSqlQuery q(conn->database());
    ASSERT_TRUE(q.exec("select * from AnswerSheet"));
    ASSERT_TRUE(q.exec("delete from Subject where 1=0"));
    EXPECT_FALSE(jet->changed());
    conn->release();
  }
  EXPECT_EQ(readFile(file), before);
}

TEST(JetReaderWorkingCopy, ChangesAreNoticedAndWrittenBackOrRefusedWithoutDamage) {
  REQUIRE_SHARED();
  QTemporaryDir dir;
  const QString file = dir.filePath("paper.mdb");
  const QByteArray before = readFile(jetDir + "/samples/paper-english.mdb");
  writeFile(file, before);
  // Opened for writing: a file opened for an import is never written back.
  const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Write);
  auto* jet = dynamic_cast<Jet::JetConnection*>(conn.get());
  ASSERT_NE(jet, nullptr);
  EXPECT_EQ(jet->facts().jetVersion, 1u);
  EXPECT_EQ(jet->facts().tables.size(), 15);
  QSqlQuery q(conn->database());
  ASSERT_TRUE(q.exec("delete from AnswerSheet where Score is null"));
  EXPECT_TRUE(jet->changed());
  bool written = true;
  try {
    conn->release();
  } catch (const DataError&) {
    written = false;
  }
  if (written) {
    EXPECT_FALSE(jet->changed());
    const auto again = openForImport(file);
    EXPECT_EQ(rows(again->database(), "select count(*) from AnswerSheet").first().first().toInt(), 2);
  } else {
    EXPECT_EQ(readFile(file), before) << "a refused write changed the file";
  }
}

}  // namespace
