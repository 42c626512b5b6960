#pragma once
// What the benchmark commands share: memory figures from /proc and the row
// count of an exchange file.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTextStream>

#include <stdexcept>
#include <utility>
#include <vector>

#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Schema.h"

namespace Bench {

// A "VmRSS:"/"VmHWM:"-style field of /proc/self/status in kB, -1 when unknown.
inline long statusKb(const QByteArray& key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
  return -1;
}

// Lets VmHWM start again from the current resident size.
inline void resetPeakRss() {
  QFile clear(QStringLiteral("/proc/self/clear_refs"));
  if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

inline QString sqliteConnect(const QString& file) { return QStringLiteral("Driver=SQLite3;Database=") + file; }

// Rows of the fifteen course tables of an exchange file.
inline qint64 rowsIn(const QString& exchangeFile) {
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenExchangeFile(exchangeFile, ExchangeAccess::Read);
  qint64 rows = 0;
  for (const QString& table : Schema::courseTableNames()) {
    Bulk::Query count = dal.OpenQuery(QStringLiteral("select count(*) from ") + table);
    count.next();
    rows += count.value(0).toLongLong();
  }
  return rows;
}

// The rows of one course, table by table, as conditions on the system
// database's tables; temporary tables cc (contents), cp (problems) and cf
// (features) must exist (courseSelectionSetup).
inline QStringList courseSelectionSetup(int courseId) {
  const QString c = QString::number(courseId);
  return {QStringLiteral("CREATE TEMP TABLE cc AS SELECT ContentID FROM Content WHERE CourseID=") + c,
          QStringLiteral("CREATE TEMP TABLE cp AS SELECT DISTINCT ProblemID FROM ProblemsContents WHERE ContentID "
                         "IN (SELECT ContentID FROM cc)"),
          QStringLiteral("CREATE TEMP TABLE cf AS SELECT DISTINCT FeatureID FROM FeaturePartition WHERE "
                         "FeaturePartitionID IN (SELECT FeaturePartitionID FROM CoursesFeaturePartitions WHERE "
                         "CourseID=") + c + ')'};
}

inline std::vector<std::pair<QString, QString>> courseSelection(int courseId) {
  const QString c = QString::number(courseId);
  return {
      {"Subject", "SubjectID IN (SELECT SubjectID FROM CoursesSubjects WHERE CourseID=" + c +
                      " UNION SELECT KeySubjectID FROM Course WHERE CourseID=" + c +
                      " UNION SELECT SubjectID FROM Syllabus WHERE ContentID IN (SELECT ContentID FROM cc)"
                      " UNION SELECT SubjectID FROM ProblemsFeatures WHERE FeatureID IN (SELECT FeatureID FROM cf)"
                      " AND ProblemID IN (SELECT ProblemID FROM cp))"},
      {"Course", "CourseID=" + c},
      {"CoursesSubjects", "CourseID=" + c},
      {"Content", "CourseID=" + c},
      {"Syllabus", "ContentID IN (SELECT ContentID FROM cc)"},
      {"Feature", "FeatureID IN (SELECT FeatureID FROM cf)"},
      {"FeaturePartition", "FeaturePartitionID IN (SELECT FeaturePartitionID FROM CoursesFeaturePartitions WHERE "
                           "CourseID=" + c + ")"},
      {"CoursesFeaturePartitions", "CourseID=" + c},
      {"ProblemGroup", "ProblemGroupID IN (SELECT ProblemGroupID FROM Problem WHERE ProblemID IN (SELECT ProblemID "
                       "FROM cp))"},
      {"Problem", "ProblemID IN (SELECT ProblemID FROM cp)"},
      {"ProblemsContents", "ContentID IN (SELECT ContentID FROM cc)"},
      {"ProblemsFeatures", "FeatureID IN (SELECT FeatureID FROM cf) AND ProblemID IN (SELECT ProblemID FROM cp)"},
  };
}

inline void run(QSqlQuery& q, const QString& sql) {
  if (!q.exec(sql)) throw std::runtime_error((sql.left(80) + ": " + q.lastError().text()).toStdString());
}

// What SQLite itself takes to copy the course out of the system database
// into targetFile, in one transaction. With the system tables and indexes
// (systemTables) and every ID column shifted, it is the import's limit;
// without, into the exchange tables, the export's. Returns seconds and rows.
inline std::pair<double, qint64> sqliteCourseCopy(const QString& systemDb, const QString& targetFile, int courseId,
                                                  bool systemTables) {
  std::pair<double, qint64> result;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-limit"));
    db.setDatabaseName(systemDb);
    if (!db.open()) throw std::runtime_error(db.lastError().text().toStdString());
    QSqlQuery q(db);
    run(q, QStringLiteral("ATTACH DATABASE '%1' AS x").arg(targetFile));
    const QStringList ddl = systemTables ? Schema::systemDdl(Dialect::SQLite) : Schema::exchangeDdl();
    for (QString stmt : ddl) {
      stmt.replace(QStringLiteral("CREATE TABLE "), QStringLiteral("CREATE TABLE x."));
      stmt.replace(QStringLiteral("CREATE INDEX "), QStringLiteral("CREATE INDEX x."));
      run(q, stmt);
    }
    QElapsedTimer t;
    t.start();
    run(q, QStringLiteral("BEGIN"));
    for (const QString& stmt : courseSelectionSetup(courseId)) run(q, stmt);
    for (const auto& [table, where] : courseSelection(courseId)) {
      QStringList columns;
      QStringList values;
      for (const Schema::Column& column : Schema::find(table)->columns) {
        columns << column.name;
        const bool id = column.name.endsWith(QLatin1String("id"), Qt::CaseInsensitive) &&
                        (column.type == Schema::ColumnType::Id || column.type == Schema::ColumnType::Int);
        values << (systemTables && id ? column.name + QStringLiteral("+1000000") : column.name);
      }
      run(q, QStringLiteral("INSERT INTO x.%1 (%2) SELECT %3 FROM main.%1 WHERE %4")
                 .arg(table, columns.join(','), values.join(','), where));
      result.second += q.numRowsAffected();
    }
    run(q, QStringLiteral("COMMIT"));
    result.first = t.elapsed() / 1000.0;
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bench-limit"));
  return result;
}

// COPY of the course's rows (read from the SQLite system database) into a
// fresh schema of the PostgreSQL database pgConnect names, by psql in one
// transaction. Returns the seconds psql took and the rows.
inline std::pair<double, qint64> postgresCourseCopy(const QString& systemDb, const QString& pgConnect, int courseId,
                                                    const QString& workFolder) {
  const auto value = [&](const char* key) { return Connection::connectValue(pgConnect, QLatin1String(key)); };
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("PGHOST"), value("Server"));
  env.insert(QStringLiteral("PGPORT"), value("Port"));
  env.insert(QStringLiteral("PGUSER"), value("Uid"));
  env.insert(QStringLiteral("PGPASSWORD"), value("Pwd"));
  env.insert(QStringLiteral("PGDATABASE"), value("Database"));
  const auto psql = [&](const QString& file) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("psql"), {QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                     QStringLiteral("-f"), file});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
      throw std::runtime_error(("psql failed: " + p.readAllStandardError()).toStdString());
  };
  const QString setupFile = workFolder + QStringLiteral("/copy-setup.sql");
  const QString copyFile = workFolder + QStringLiteral("/copy.sql");
  {
    QFile setup(setupFile);
    setup.open(QIODevice::WriteOnly);
    setup.write("DROP SCHEMA IF EXISTS copylimit CASCADE;\nCREATE SCHEMA copylimit;\nSET search_path=copylimit;\n");
    for (const QString& stmt : Schema::systemDdl(Dialect::PostgreSQL)) setup.write((stmt + ";\n").toUtf8());
  }
  std::pair<double, qint64> result;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-copy"));
    db.setDatabaseName(systemDb);
    if (!db.open()) throw std::runtime_error(db.lastError().text().toStdString());
    QSqlQuery q(db);
    for (const QString& stmt : courseSelectionSetup(courseId)) run(q, stmt);
    QFile copy(copyFile);
    copy.open(QIODevice::WriteOnly);
    copy.write("SET search_path=copylimit;\nBEGIN;\n");
    for (const auto& [table, where] : courseSelection(courseId)) {
      QStringList columns;
      for (const Schema::Column& column : Schema::find(table)->columns) columns << column.name;
      copy.write(QStringLiteral("COPY %1 (%2) FROM STDIN;\n").arg(table, columns.join(',')).toUtf8());
      q.setForwardOnly(true);
      run(q, QStringLiteral("SELECT %1 FROM %2 WHERE %3").arg(columns.join(','), table, where));
      QByteArray line;
      while (q.next()) {
        line.clear();
        for (int i = 0; i < columns.size(); ++i) {
          if (i) line += '\t';
          const QVariant v = q.value(i);
          if (v.isNull()) {
            line += "\\N";
            continue;
          }
          QByteArray text = v.toString().toUtf8();
          text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r");
          line += text;
        }
        line += '\n';
        copy.write(line);
        ++result.second;
      }
      copy.write("\\.\n");
    }
    copy.write("COMMIT;\n");
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bench-copy"));
  psql(setupFile);
  QElapsedTimer t;
  t.start();
  psql(copyFile);
  result.first = t.elapsed() / 1000.0;
  return result;
}

// Runs this benchmark again with args, so that the measured work has a
// process of its own and its peak RSS is its own; passes its output on and
// returns the seconds it reported on a line "seconds: X" (-1 when it failed).
inline double runAlone(const QStringList& args, QTextStream& out) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(QCoreApplication::applicationFilePath(), args);
  child.waitForFinished(-1);
  double seconds = -1;
  for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
    if (line.startsWith("seconds: "))
      seconds = line.mid(9).toDouble();
    else if (!line.isEmpty())
      out << QString::fromUtf8(line) << '\n';
  }
  out.flush();
  return child.exitCode() == 0 ? seconds : -1;
}

// A benchmark that failed says what failed, with the database's number when it gave one.
inline int failed(QTextStream& out, const std::exception& e) {
  if (const auto* d = dynamic_cast<const DataError*>(&e))
    out << "failed: " << d->number() << ' ' << d->source() << ": " << d->description() << '\n';
  else
    out << "failed: " << e.what() << '\n';
  return 1;
}

inline void printLimit(QTextStream& out, const QString& what, double ours, double limit, qint64 limitRows) {
  out << what << ": " << QString::number(limit, 'f', 2) << " s for " << limitRows << " rows; ours "
      << QString::number(ours, 'f', 2) << " s, ratio " << QString::number(ours / limit, 'f', 1) << "x\n";
}

}  // namespace Bench
