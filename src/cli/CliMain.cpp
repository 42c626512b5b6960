#include "cli/CliMain.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include "cli/CommandLine.h"
#include "cli/InitDemo.h"
#include "data/DataError.h"
#include "data/Schema.h"

namespace {
QStringList arguments(int argc, char* argv[]) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  return args;
}

int makeTemplate(const QStringList& args) {
  if (args.size() < 3) {
    QTextStream(stderr) << "usage: corvina make-template FILE\n";
    return 2;
  }
  Schema::writeSqliteTemplate(args.at(2));
  return 0;
}
}  // namespace

bool CliMain::wantsCommand(int argc, char* argv[]) {
  const QString command = arguments(argc, argv).value(1);
  return command == QLatin1String("make-template") || command == QLatin1String("init-demo") ||
         CommandLine::isCommand(command);
}

int CliMain::run(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = arguments(argc, argv);
  const QString command = args.value(1);
  try {
    if (command == QLatin1String("make-template")) return makeTemplate(args);
    if (command == QLatin1String("init-demo")) return runInitDemo(args.mid(2));
    return CommandLine::run(args.mid(1));
  } catch (const DataError& e) {
    QTextStream(stderr) << e.description() << '\n';
    return 1;
  }
}
