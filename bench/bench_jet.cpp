// Writing a large course into an Access (Jet 4) exchange file.
// Usage: bench_jet [problems=100000] [template=Template.mdb beside the executable]
// The course (one problem group per ten problems, each problem with a body,
// an answer, a content link and two feature values) is generated in a SQLite
// mirror on disk, so that the figures show the writer's own memory.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

#include "BenchSupport.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "data/jet/JetWriter.h"

namespace {

void exec(QSqlQuery& q, const QString& sql) {
  if (!q.exec(sql)) throw std::runtime_error(q.lastError().text().toStdString());
}

qint64 fillCourse(QSqlDatabase& db, int problems) {
  QSqlQuery q(db);
  for (const QString& ddl : Schema::exchangeDdl()) exec(q, ddl);
  exec(q, QStringLiteral("BEGIN"));
  exec(q, QStringLiteral("INSERT INTO Course VALUES (1, 1, '大学英语（一）', 'bench', 'ENG-1', '<h/>', '2024-01-01 00:00:00')"));
  exec(q, QStringLiteral("INSERT INTO Content VALUES (1, 1, 0, 1, '第一章', '', '2024-01-01 00:00:00')"));
  QSqlQuery group(db), problem(db), link(db), feature(db);
  group.prepare(QStringLiteral("INSERT INTO ProblemGroup VALUES (?, '<g/>', ?, '2024-01-01 00:00:00')"));
  problem.prepare(QStringLiteral("INSERT INTO Problem VALUES (?, ?, ?, ?, ?, 1.5, '2024-01-01 08:30:00')"));
  link.prepare(QStringLiteral("INSERT INTO ProblemsContents VALUES (?, 1, '2024-01-01 00:00:00')"));
  feature.prepare(QStringLiteral("INSERT INTO ProblemsFeatures VALUES (?, ?, 1, ?, '2024-01-01 00:00:00')"));
  qint64 rows = 2;
  for (int i = 1; i <= problems; ++i) {
    if (i % 10 == 1) {
      group.addBindValue(i / 10 + 1);
      group.addBindValue(QStringLiteral("阅读下面的短文，回答问题。Read the passage. ").repeated(20));
      group.exec();
      ++rows;
    }
    problem.addBindValue(i);
    problem.addBindValue(i / 10 + 1);
    problem.addBindValue(QStringLiteral("P%1").arg(i));
    problem.addBindValue(QStringLiteral("第%1题：Which of the following is correct? A. 是 B. 否 C. 都对 D. 都不对").arg(i));
    problem.addBindValue(QStringLiteral("A"));
    link.addBindValue(i);
    if (!problem.exec() || !link.exec()) throw std::runtime_error("insert failed");
    for (int f = 1; f <= 2; ++f) {
      feature.addBindValue(i);
      feature.addBindValue(f);
      feature.addBindValue(f * 10 + i % 4);
      feature.exec();
    }
    rows += 4;
  }
  exec(q, QStringLiteral("COMMIT"));
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int problems = argc > 1 ? std::atoi(argv[1]) : 100000;
  const QString templ = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QCoreApplication::applicationDirPath() + QStringLiteral("/Template.mdb");
  QTemporaryDir dir;
  const QString target = dir.filePath(QStringLiteral("course.mdb"));
  QFile::copy(templ, target);
  QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
  try {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
    db.setDatabaseName(dir.filePath(QStringLiteral("mirror.db")));
    if (!db.open()) throw std::runtime_error("mirror cannot be opened");
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size=-2000"));
    const qint64 rows = fillCourse(db, problems);
    const long rssBefore = Bench::statusKb("VmRSS:");
    const long peakBefore = Bench::statusKb("VmHWM:");
    QElapsedTimer timer;
    timer.start();
    Jet::writeBack(target, target, db);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("problems:          %d\n", problems);
    std::printf("rows written:      %lld (all tables)\n", static_cast<long long>(rows));
    std::printf("write time:        %.2f s\n", seconds);
    std::printf("rows/s:            %.0f\n", rows / seconds);
    std::printf("file size:         %.1f MiB\n", QFile(target).size() / 1048576.0);
    std::printf("RSS before write:  %ld KiB (peak so far %ld KiB)\n", rssBefore, peakBefore);
    std::printf("peak RSS (VmHWM):  %ld KiB\n", Bench::statusKb("VmHWM:"));
  } catch (const DataError& e) {
    std::fprintf(stderr, "%s\n", qPrintable(e.description()));
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
