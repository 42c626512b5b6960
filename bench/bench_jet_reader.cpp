// Loading Access (Jet 4) exchange files into their working copy.
//
// usage: bench_jet_reader make FILE [problems] [template]
//          writes a course-sized exchange file: the template (default: the
//          one beside this program) filled with that many problems (default
//          100000), each with a memo body and answer, a content link and a
//          feature value, through the exchange-file connection
//        bench_jet_reader read FILE [times]
//          loads FILE (default once) and reports the rate, the fastest and
//          median time of one read (the reader program's start included) and
//          the peak memory of this process and of the reading process
#include <sys/resource.h>

#include <algorithm>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/jet/JetExchange.h"

namespace {

QTextStream& out() {
  static QTextStream s(stdout);
  return s;
}

long peakRssKb(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_maxrss;
}

void exec(QSqlQuery& q) {
  if (!q.exec()) throw DataError(QStringLiteral("bench"), q.lastError().text());
}

int make(const QString& file, int problems, const QString& templateFile) {
  QFile::remove(file);
  if (!QFile::copy(templateFile, file)) {
    out() << "cannot copy the template " << templateFile << '\n';
    return 1;
  }
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
  const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Write);
  QSqlDatabase db = conn->database();
  db.transaction();
  QSqlQuery q(db);
  q.exec("insert into Course (CourseID, KeySubjectID, Name, CourseCode, Lastupdated) values "
         "(1, -1, '大学英语（一）', 'EN-1', '2024-05-01 08:30:00')");
  q.exec("insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (1, 1, 0, 1, '第一章')");
  q.exec("insert into ProblemGroup (ProblemGroupID, Stem) values (1, 'Read the passage.')");
  QSqlQuery problem(db), link(db), value(db);
  problem.prepare("insert into Problem (ProblemID, ProblemGroupID, ProblemCode, Body, Answer, Score, Lastupdated) "
                  "values (?, ?, ?, ?, ?, ?, ?)");
  link.prepare("insert into ProblemsContents (ProblemID, ContentID, Lastupdated) values (?, 1, ?)");
  value.prepare("insert into ProblemsFeatures (ProblemID, FeatureID, SubjectID, Value, Lastupdated) values (?, 1, -1, ?, ?)");
  const QString body = QStringLiteral("<p>选择正确的答案 Choose the right answer: %1 ") + QString(120, QChar(u'题'));
  const QString date = QStringLiteral("2024-05-01 08:30:00");
  for (int i = 1; i <= problems; ++i) {
    problem.addBindValue(i);
    problem.addBindValue(i % 10 == 0 ? 1 : 0);
    problem.addBindValue(QStringLiteral("P%1").arg(i, 6, 10, QChar('0')));
    problem.addBindValue(body.arg(i));
    problem.addBindValue(QStringLiteral("ABCD").mid(i % 4, 1));
    problem.addBindValue(2.5);
    problem.addBindValue(date);
    exec(problem);
    link.addBindValue(i);
    link.addBindValue(date);
    exec(link);
    value.addBindValue(i);
    value.addBindValue(i % 5);
    value.addBindValue(date);
    exec(value);
  }
  db.commit();
  QElapsedTimer timer;
  timer.start();
  conn->release();
  out() << "wrote " << problems << " problems (" << 3 * problems + 3 << " rows) in " << timer.elapsed()
        << " ms; file " << QFileInfo(file).size() / 1024 << " KiB\n";
  return 0;
}

int read(const QString& file, int times) {
  out() << "peak RSS before loading: " << peakRssKb(RUSAGE_SELF) << " KiB\n";
  std::vector<double> ms;
  for (int i = 0; i < times; ++i) {
    QElapsedTimer timer;
    timer.start();
    const auto conn = Connection::openExchangeFile(file, ExchangeAccess::Read);
    ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    const auto* jet = dynamic_cast<const Jet::JetConnection*>(conn.get());
    qint64 rows = 0;
    for (const Jet::TableFacts& t : jet->facts().tables) rows += t.rows;
    out() << "loaded " << rows << " rows of " << jet->facts().tables.size() << " tables ("
          << QFileInfo(file).size() / 1024 << " KiB) in " << QString::number(ms.back(), 'f', 2) << " ms: "
          << qint64(rows * 1000 / std::max(ms.back(), 0.001)) << " rows/s\n";
  }
  std::sort(ms.begin(), ms.end());
  out() << "one read: min " << QString::number(ms.front(), 'f', 2) << " ms, median "
        << QString::number(ms[ms.size() / 2], 'f', 2) << " ms over " << times << " reads\n";
  out() << "peak RSS: this process " << peakRssKb(RUSAGE_SELF) << " KiB, reading process "
        << peakRssKb(RUSAGE_CHILDREN) << " KiB\n";
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  try {
    if (args.size() >= 3 && args[1] == QLatin1String("make"))
      return make(args[2], args.value(3, QStringLiteral("100000")).toInt(),
                  args.value(4, app.applicationDirPath() + QStringLiteral("/Template.mdb")));
    if (args.size() >= 3 && args[1] == QLatin1String("read")) return read(args[2], args.value(3, "1").toInt());
  } catch (const DataError& e) {
    out() << "failed: " << e.description() << '\n';
    return 1;
  }
  out() << "usage: bench_jet_reader make FILE [problems] [template] | read FILE [times]\n";
  return 2;
}
