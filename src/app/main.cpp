#include <QApplication>

#include <memory>

#include "cli/CliMain.h"
#include "ui/AppSetup.h"
#include "ui/QtInteraction.h"
#include "ui/frmLogin.h"

int main(int argc, char* argv[]) {
  if (CliMain::wantsCommand(argc, argv)) return CliMain::run(argc, argv);
  QApplication app(argc, argv);
  PrepareApplication(app);
  Interaction::install(std::make_shared<QtInteraction>());
  frmLogin login;
  // Cancelling the login ends the program; a login hands over to the main window.
  QObject::connect(&login, &QDialog::rejected, &app, &QCoreApplication::quit);
  login.show();
  return app.exec();
}
