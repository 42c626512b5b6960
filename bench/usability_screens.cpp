// Photographs what a new user meets, with the program's own application setup:
// the main window as first placed, a question box, the save dialog, the About
// box and the settings dialog, each with Qt's texts in Chinese. Uses the
// system database of the program folder (e.g. after `corvina init-demo`).
// Meant to run under Xvfb.
// usage: usability_screens OUTPUT_FOLDER [SQLITE-FILE]
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTableWidget>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <functional>

#include "core/Interaction.h"
#include "resources/Strings.h"
#include "ui/AboutBox.h"
#include "ui/AppSetup.h"
#include "ui/QtInteraction.h"
#include "ui/frmCorvina.h"
#include "ui/frmSysOdbcIni.h"

#include "ScreenSupport.h"

namespace {

using Screens::settle;
using Screens::shoot;

// Photographs the modal dialog that open() shows, then closes it.
void shootModal(const QString& name, const std::function<void()>& open) {
  QTimer::singleShot(600, [name] {
    shoot(name);
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
  });
  open();
}

void reportPlacement(const QWidget& w) {
  const QRect area = w.screen()->availableGeometry();
  const QRect frame = w.frameGeometry();
  QTextStream(stdout) << "screen area " << area.width() << 'x' << area.height() << ", window " << frame.x() << ','
                      << frame.y() << ' ' << frame.width() << 'x' << frame.height() << ", inside: "
                      << (area.contains(frame) ? "yes" : "no") << '\n';
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    QTextStream(stderr) << "usage: usability_screens OUTPUT_FOLDER [SQLITE-FILE]\n";
    return 2;
  }
  PrepareApplication(app);
  Screens::outputFolder() = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(Screens::outputFolder());
  Interaction::install(std::make_shared<QtInteraction>());

  frmCorvina w;
  w.show();
  w.sprSubject()->selectRow(0);
  shoot(QStringLiteral("1-main-window"));
  reportPlacement(w);

  shootModal(QStringLiteral("2-question-box"), [] {
    interaction().MsgBox(QStringLiteral("已经存在相同名称的课程数据结构，请选择是否继续\r\n   选择[确定]更改名称后继续导入课程，\r\n"
                                        "   选择[取消]则不导入该课程。"),
                         {MessageKind::Warning, Buttons::OkCancel}, QStringLiteral("请选择"));
  });
  shootModal(QStringLiteral("3-yes-no-box"), [] {
    interaction().MsgBox(QStringLiteral("文件已经存在，是否覆盖？"), {MessageKind::Question, Buttons::YesNo}, Res::str(Res::TransferTitle));
  });
  shootModal(QStringLiteral("4-save-dialog"), [&w] {
    QFileDialog::getSaveFileName(&w, QStringLiteral("导出到"), QDir::homePath(), QStringLiteral("Access 文件 (*.mdb)"));
  });
  shootModal(QStringLiteral("5-about"), [&w] { ShowAbout(&w); });

  frmSysOdbcIni settings(&w);
  shootModal(QStringLiteral("6-settings-as-saved"), [&settings] { settings.exec(); });
  if (argc > 2) {
    auto* provider = settings.findChild<QComboBox*>(QStringLiteral("cboProvider"));
    provider->setCurrentIndex(provider->findText(QStringLiteral("SQLite3")));
    settings.findChild<QLineEdit*>(QStringLiteral("txtDataSource"))->setText(QString::fromLocal8Bit(argv[2]));
    shootModal(QStringLiteral("7-settings-sqlite"), [&settings] { settings.exec(); });
  }
  return 0;
}
