#include "cli/CliMain.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

#include "cli/CommandLine.h"
#include "cli/InitDemo.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "Version.h"

namespace {
QStringList arguments(int argc, char* argv[]) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  return args;
}

const char kMakeTemplateUsage[] =
    "usage: corvina make-template FILE\n\n"
    "Writes a SQLite-format exchange-file template, made from the schema, to FILE.\n";

bool isVersionOption(const QString& word) { return word == QLatin1String("--version") || word == QLatin1String("-v"); }
bool isHelpOption(const QString& word) { return word == QLatin1String("--help") || word == QLatin1String("-h"); }

int makeTemplate(const QStringList& args) {
  const QStringList rest = args.mid(2);
  if (std::any_of(rest.begin(), rest.end(), isHelpOption)) {
    QTextStream(stdout) << kMakeTemplateUsage;
    return 0;
  }
  // A dashed word is an option we do not know, not a file name (./-x names such a file).
  if (rest.size() != 1 || rest.front().startsWith('-')) {
    QTextStream(stderr) << kMakeTemplateUsage;
    return 2;
  }
  Schema::writeSqliteTemplate(rest.front());
  return 0;
}
}  // namespace

bool CliMain::wantsCommand(int argc, char* argv[]) {
  const QString command = arguments(argc, argv).value(1);
  return isVersionOption(command) || command == QLatin1String("make-template") || command == QLatin1String("init-demo") ||
         CommandLine::isCommand(command);
}

int CliMain::run(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = arguments(argc, argv);
  const QString command = args.value(1);
  if (isVersionOption(command)) {
    QTextStream(stdout) << "Corvina " << CORVINA_VERSION_TEXT << '\n';
    return 0;
  }
  try {
    if (command == QLatin1String("make-template")) return makeTemplate(args);
    if (command == QLatin1String("init-demo")) return runInitDemo(args.mid(2));
    return CommandLine::run(args.mid(1));
  } catch (const DataError& e) {
    QTextStream(stderr) << e.description() << '\n';
    return 1;
  }
}
