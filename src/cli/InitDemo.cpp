#include "cli/InitDemo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTextStream>

#include "cli/CommandLine.h"
#include "core/AppPaths.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/DemoData.h"
#include "data/IniFile.h"
#include "data/Schema.h"

namespace {
constexpr int kMaxProblems = 2'000'000;
const char kUsage[] = "usage: corvina init-demo [--problems N] [--force] [--connect CONNECTION-STRING]";
const char kHelp[] =
    "Creates the demo system database <program folder>/demo/system.db and, when there is no odbc.ini yet,\n"
    "an odbc.ini that names it.\n\n"
    "Options:\n"
    "  --problems N        problems of the first course (default 240)\n"
    "  --force             make the demo database again when it exists\n"
    "  --connect STRING    fill this empty server database instead of the demo file; the database\n"
    "                      password comes from CORVINA_DB_PASSWORD or a prompt when STRING has no Pwd\n"
    "  -h, --help          show this help\n";

struct Options {
  int problems = DemoData::DefaultProblems;
  bool force = false;
  bool help = false;
  QString connect;  // a server database to fill instead of the demo file
  QString error;
};

Options parse(const QStringList& args) {
  Options o;
  for (qsizetype i = 0; i < args.size() && o.error.isEmpty(); ++i) {
    const QString& a = args.at(i);
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      o.help = true;
    } else if (a == QLatin1String("--force")) {
      o.force = true;
    } else if (a == QLatin1String("--connect") && i + 1 < args.size()) {
      o.connect = args.at(++i);
    } else if (a == QLatin1String("--problems") && i + 1 < args.size()) {
      bool ok = false;
      o.problems = args.at(++i).toInt(&ok);
      if (!ok || o.problems < 0 || o.problems > kMaxProblems)
        o.error = QStringLiteral("--problems needs a whole number from 0 to %1").arg(kMaxProblems);
    } else {
      o.error = QStringLiteral("unknown argument: %1").arg(a);
    }
  }
  return o;
}

// Builds the database beside its final place and moves it there only when
// complete, so a failure never leaves half a database behind.
DemoData::Summary build(const QString& target, int problems) {
  const QString work = target + QStringLiteral(".part");
  QFile::remove(work);
  {
    QFile empty(work);
    if (!empty.open(QIODevice::WriteOnly))
      throw DataError(QStringLiteral("init-demo"),
                      QStringLiteral("cannot create %1: %2").arg(work, empty.errorString()));
  }
  DemoData::Summary summary;
  try {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(ConnectionSettings::sqliteString(work));
    {
      Transaction tables(dal);
      Schema::createSystemTables(dal);
      tables.commit();
    }
    summary = DemoData::create(dal, problems);
    dal.CloseConnection();
  } catch (...) {
    QFile::remove(work);
    throw;
  }
  QFile::remove(target);
  if (!QFile::rename(work, target))
    throw DataError(QStringLiteral("init-demo"),
                    QStringLiteral("cannot move %1 to %2").arg(work, target));
  return summary;
}

// A server database is only ever filled when it holds none of our tables:
// nothing there is dropped or overwritten. When filling fails, the tables made
// here are dropped again.
DemoData::Summary buildOnServer(const QString& connect, int problems) {
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(connect);
  bool holdsTables = false;
  for (const QString& table : dal.connection()->database().tables())
    holdsTables = holdsTables || Schema::find(table) != nullptr;
  if (holdsTables)
    throw DataError(QStringLiteral("init-demo"),
                    QStringLiteral("the database already holds the system tables; init-demo --connect fills "
                                   "only an empty database"));
  {
    Transaction tables(dal);
    Schema::createSystemTables(dal);
    tables.commit();
  }
  try {
    return DemoData::create(dal, problems);
  } catch (...) {
    dal.OpenConnection(connect);
    for (const Schema::Table& t : Schema::tables()) {
      try {
        dal.ExecQuery(QStringLiteral("DROP TABLE ") + t.name);
      } catch (const DataError&) {
        // Keep dropping the others; the first error is the one to report.
      }
    }
    throw;
  }
}

// Points a new odbc.ini at the demo database; an existing one is never touched.
int writeSettingsIfMissing(const QString& connect, QTextStream& out, QTextStream& err) {
  const QString ini = AppPaths::iniFile();
  if (QFileInfo::exists(ini)) return 0;
  // The settings file hands back at most 127 characters of a value.
  if (connect.size() > 127) {
    err << "warning: the connection string is longer than odbc.ini can hand back (127 characters); "
           "no odbc.ini written: shorten the path or the string\n";
    return 0;
  }
  if (!WriteIniString(QStringLiteral("ODBC"), QStringLiteral("ConnectionString"), connect, ini)) {
    err << "cannot write " << ini << '\n';
    return 1;
  }
  out << "Connection settings: " << ini << '\n';
  return 0;
}

bool namesKey(const QString& connect, const QString& keys) {
  return connect.contains(QRegularExpression(QStringLiteral("(^|;)\\s*(%1)\\s*=").arg(keys),
                                             QRegularExpression::CaseInsensitiveOption));
}

// A password on the command line shows in the process list: when the string
// names a user but no password, it comes from CORVINA_DB_PASSWORD or a prompt.
QString withPassword(const QString& connect) {
  if (!namesKey(connect, QStringLiteral("uid|user")) || namesKey(connect, QStringLiteral("pwd|password")))
    return connect;
  const QString password = CommandLine::readSecret("CORVINA_DB_PASSWORD", QStringLiteral("Database password: "));
  if (password.isEmpty()) return connect;
  const QString value = password.contains(';') ? '{' + password + '}' : password;
  return connect + (connect.endsWith(';') ? QString() : QStringLiteral(";")) + QStringLiteral("Pwd=") + value + ';';
}

int initDemoOnServer(const Options& options, QTextStream& out, QTextStream& err) {
  Options o = options;
  o.connect = withPassword(options.connect);
  try {
    QElapsedTimer timer;
    timer.start();
    const DemoData::Summary s = buildOnServer(o.connect, o.problems);
    out << "Demo system database on the server: " << s.courses << " courses, " << s.contents << " contents, "
        << s.problems << " problems (" << DemoData::BigCourseName << ", CourseID " << s.bigCourseId << "), "
        << s.users << " users, made in " << timer.elapsed() << " ms\n";
  } catch (const DataError& e) {
    err << "init-demo failed: " << e.description() << '\n';
    return 1;
  }
  return writeSettingsIfMissing(o.connect, out, err);
}
}  // namespace

int runInitDemo(const QStringList& args) {
  QTextStream out(stdout);
  QTextStream err(stderr);
  const Options o = parse(args);
  if (o.help) {
    out << kUsage << "\n\n" << kHelp;
    return 0;
  }
  if (!o.error.isEmpty()) {
    err << o.error << '\n' << kUsage << '\n';
    return 2;
  }
  if (!o.connect.isEmpty()) return initDemoOnServer(o, out, err);
  const QString target = AppPaths::demoDatabase();
  if (QFileInfo::exists(target) && !o.force) {
    err << "The demo database already exists: " << target << "\n(use --force to make it again)\n";
    return 1;
  }
  QDir().mkpath(QFileInfo(target).absolutePath());
  try {
    QElapsedTimer timer;
    timer.start();
    const DemoData::Summary s = build(target, o.problems);
    out << "Demo system database: " << target << '\n'
        << "  " << s.courses << " courses, " << s.contents << " contents, " << s.problems << " problems ("
        << DemoData::BigCourseName << ", CourseID " << s.bigCourseId << ", holds the scaled set), "
        << s.users << " users, made in " << timer.elapsed() << " ms\n";
  } catch (const DataError& e) {
    err << "init-demo failed: " << e.description() << '\n';
    return 1;
  }
  return writeSettingsIfMissing(ConnectionSettings::sqliteString(QFileInfo(target).absoluteFilePath()),
                                out, err);
}
