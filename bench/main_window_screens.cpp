// Shows the login window and the main window on the system database of the
// program folder (e.g. after `corvina init-demo`) and photographs the X screen
// with ImageMagick's `import` at each stage, including the transfer frame in
// the middle of an import. Meant to run under Xvfb.
// usage: main_window_screens OUTPUT_FOLDER
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextStream>
#include <QThread>

#include "core/Interaction.h"
#include "export/CExport.h"
#include "resources/Strings.h"
#include "ui/TransferFrame.h"
#include "ui/frmCorvina.h"
#include "ui/frmLogin.h"

#include "ScreenSupport.h"

namespace {

using Screens::settle;
using Screens::shoot;

// Answers every question with its first button; a message is shown in a real
// box for a moment, photographed, and closed.
class PhotographingInteraction : public Interaction {
 public:
  QString nextMessageShot;
  Answer MsgBox(const QString& prompt, MessageStyle style, const QString&) override {
    QTextStream(stdout) << "message: " << prompt << '\n';
    if (!nextMessageShot.isEmpty()) {
      QMessageBox box(QMessageBox::Information, Res::str(Res::TransferTitle), prompt);
      box.show();
      shoot(nextMessageShot);
      nextMessageShot.clear();
    }
    return answersOf(style.buttons).front();
  }
  std::optional<QString> InputBox(const QString&, const QString&, const QString& defaultText) override {
    return defaultText;
  }
};

// Lets the window run until the bar has passed percent or the transfer ended.
void runUntil(TransferFrame* frame, int percent) {
  while (frame->isTransferring() && frame->ProgressBar1->value() < percent) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
}

void runToEnd(TransferFrame* frame) {
  while (frame->isTransferring()) {
    QApplication::processEvents();
    QThread::msleep(5);
  }
  settle();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    QTextStream(stderr) << "usage: main_window_screens OUTPUT_FOLDER\n";
    return 2;
  }
  Screens::outputFolder() = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(Screens::outputFolder());
  auto ui = std::make_shared<PhotographingInteraction>();
  Interaction::install(ui);

  {
    frmLogin login;
    login.show();
    shoot(QStringLiteral("0-login"));
  }

  frmCorvina w;
  w.show();
  w.sprSubject()->selectRow(0);
  shoot(QStringLiteral("1-subject-page"));

  w.findChild<QTabWidget*>(QStringLiteral("tabMain"))->setCurrentIndex(1);
  shoot(QStringLiteral("2-course-page"));

  // An exchange file of the first listed course, imported again automatically.
  QString file = Screens::outputFolder() + QStringLiteral("/course.mdb");
  QFile::remove(file);
  {
    CExport e(*ui);
    e.ExportCourseData(file, frmCorvina::CellText(w.sprCourse(), 0, 1).toInt());
  }
  w.findChild<QTabWidget*>(QStringLiteral("tabCourse"))->setCurrentIndex(1);
  TransferFrame* frame = w.Frame3();
  frame->cboAction->setCurrentIndex(1);
  emit frame->cboAction->activated(1);
  frame->txtFileName->setText(file);
  shoot(QStringLiteral("3-transfer-frame"));

  frame->cmdIO->click();
  runUntil(frame, 40);
  shoot(QStringLiteral("4-transfer-frame-importing"));
  ui->nextMessageShot = QStringLiteral("5-import-finished");
  runToEnd(frame);
  w.findChild<QTabWidget*>(QStringLiteral("tabCourse"))->setCurrentIndex(0);
  shoot(QStringLiteral("6-course-page-after-import"));

  // The same file again, cancelled half-way: nothing of it stays.
  w.findChild<QTabWidget*>(QStringLiteral("tabCourse"))->setCurrentIndex(1);
  frame->cmdIO->click();
  runUntil(frame, 40);
  ui->nextMessageShot = QStringLiteral("8-import-cancelled");
  frame->cmdCancel->click();
  shoot(QStringLiteral("7-transfer-frame-cancelling"));
  runToEnd(frame);

  // Every course exported: the label says which of how many, the bar covers the run.
  const QString allFolder = Screens::outputFolder() + QStringLiteral("/all");
  QDir().mkpath(allFolder);
  frame->dialogs.browseFolder = [allFolder](const QString&, const QString&) { return allFolder; };
  frame->cboAction->setCurrentIndex(5);
  emit frame->cboAction->activated(5);
  frame->cmdIO->click();
  runUntil(frame, 10);
  shoot(QStringLiteral("9-export-all-running"));
  runToEnd(frame);
  return 0;
}
