#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <memory>

#include "cli/CommandLine.h"
#include "cli/InitDemo.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "ui/QtInteraction.h"
#include "ui/frmLogin.h"

namespace {
int makeTemplate(const QStringList& args) {
  if (args.size() < 3) {
    QTextStream(stderr) << "usage: corvina make-template FILE\n";
    return 2;
  }
  Schema::writeSqliteTemplate(args.at(2));
  return 0;
}

int runWindows(int argc, char* argv[]) {
  QApplication app(argc, argv);
  Interaction::install(std::make_shared<QtInteraction>());
  frmLogin login;
  // Cancelling the login ends the program; a login hands over to the main window.
  QObject::connect(&login, &QDialog::rejected, &app, &QCoreApplication::quit);
  login.show();
  return app.exec();
}
}  // namespace

int main(int argc, char* argv[]) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const QString command = args.value(1);
  try {
    if (command == QLatin1String("make-template")) {
      QCoreApplication app(argc, argv);
      return makeTemplate(args);
    }
    if (command == QLatin1String("init-demo")) {
      QCoreApplication app(argc, argv);
      return runInitDemo(args.mid(2));
    }
    if (CommandLine::isCommand(command)) {
      QCoreApplication app(argc, argv);
      return CommandLine::run(args.mid(1));
    }
    return runWindows(argc, argv);
  } catch (const DataError& e) {
    QTextStream(stderr) << e.description() << '\n';
    return 1;
  }
}
