// Administrators importing at the same time on one system database: the
// second import waits, saying so, until the first has committed, and then
// finds the course and the items the first created instead of making them
// again.
#include <QSemaphore>

#include <thread>

#include "import/ImportFixture.h"

namespace {
const QString kWaiting = QStringLiteral("另一个导入正在进行，等待…");

// One import on a thread of its own, with its own interaction and connections.
struct Importer {
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  QStringList labels;
  TransferResult result;
  std::function<void(qint16)> onProgress;
  std::thread thread;

  void start(const QString& file) {
    thread = std::thread([this, file] {
      CImport import(*ui);
      import.session().bAutoMap = true;
      import.ImportProgress = [this](qint16 bar, const QString& text) {
        labels << text;
        if (onProgress) onProgress(bar);
      };
      result = import.ImportCourseData(file);
    });
  }
};
}  // namespace

class ConcurrentImport : public ImportTest {};

TEST_F(ConcurrentImport, TheSecondWaitsForTheFirstAndFindsWhatItWrote) {
  struct Row {
    const char* what;
    bool sameCourse;
  };
  // The feature 时长 is new to the system in the first round only.
  const Row rows[] = {{"two courses that bring the same new feature", false}, {"the same course twice", true}};
  int round = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ++round;
    const QString course = QStringLiteral("课程%1").arg(round);
    const QString first = DemoFile(QStringLiteral("first%1.mdb").arg(round), {}, course);
    const QString second =
        DemoFile(QStringLiteral("second%1.mdb").arg(round), {}, row.sameCourse ? course : course + QStringLiteral("乙"));

    // The first holds its transaction open once its course row is written.
    QSemaphore firstHolds, letFirstGo, secondWaitsOrEnds;
    Importer a, b;
    a.onProgress = [&](qint16 bar) {
      if (bar != 10) return;
      firstHolds.release();
      letFirstGo.acquire();
    };
    b.ui->answers.push_back(Answer::Cancel);  // the name that exists by then: not imported again
    b.onProgress = [&](qint16) {
      if (b.labels.last() == kWaiting) secondWaitsOrEnds.release();
    };
    a.start(first);
    firstHolds.acquire();
    b.start(second);
    // Without the lock the second would not wait: it would end instead.
    std::thread watch([&] {
      b.thread.join();
      secondWaitsOrEnds.release();
    });
    secondWaitsOrEnds.acquire();
    const bool waited = b.labels.contains(kWaiting);
    letFirstGo.release();
    a.thread.join();
    watch.join();

    EXPECT_TRUE(waited) << b.labels.join('\n').toStdString();
    EXPECT_TRUE(a.result.succeeded()) << a.result.reason.toStdString();
    EXPECT_EQ(b.result.succeeded(), !row.sameCourse) << b.result.reason.toStdString();
    EXPECT_EQ(Count(QStringLiteral("select count(*) from Course where Name='%1'").arg(course)), 1);
    EXPECT_EQ(Count("select count(*) from Feature where name='时长'"), 1);
  }
}
