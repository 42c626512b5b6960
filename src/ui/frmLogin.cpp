#include "ui/frmLogin.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "core/Interaction.h"
#include "data/DataError.h"
#include "resources/Strings.h"
#include "login/LoginCheck.h"
#include "ui/AsteriskEcho.h"
#include "ui/frmCorvina.h"
#include "ui/frmSysOdbcIni.h"
#include "ui/UserSettings.h"

frmLogin::frmLogin(QWidget* parent)
    : QDialog(parent),
      Frame1(new QGroupBox(QStringLiteral("请输入您的用户名和密码"), this)),
      Label1(new QLabel(QStringLiteral("用户名："), Frame1)),
      inputName(new QLineEdit(Frame1)),
      Label2(new QLabel(QStringLiteral("密  码："), Frame1)),
      inputPWD(new QLineEdit(Frame1)),
      cmdOk(new QPushButton(QStringLiteral("确定(&O)"), this)),
      cmdCancel(new QPushButton(QStringLiteral("取消(&C)"), this)),
      Command1(new QPushButton(QStringLiteral("连接设置"), this)) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(QStringLiteral("登录"));
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Label1->setObjectName(QStringLiteral("Label1"));
  inputName->setObjectName(QStringLiteral("inputName"));
  Label2->setObjectName(QStringLiteral("Label2"));
  inputPWD->setObjectName(QStringLiteral("inputPWD"));
  echoAsterisks(inputPWD);
  cmdOk->setObjectName(QStringLiteral("cmdOk"));
  cmdOk->setDefault(true);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  Command1->setObjectName(QStringLiteral("Command1"));
  Command1->setAutoDefault(false);

  auto* fields = new QGridLayout(Frame1);
  fields->addWidget(Label1, 0, 0);
  fields->addWidget(inputName, 0, 1);
  fields->addWidget(Label2, 1, 0);
  fields->addWidget(inputPWD, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Command1);
  buttons->addStretch();
  buttons->addWidget(cmdOk);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Frame1);
  layout->addLayout(buttons);
  setMinimumWidth(340);
  WithoutMaximiseButton(*this);
  // A small form: it takes the size its fields need, at any scale.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(inputName, inputPWD);
  setTabOrder(inputPWD, cmdOk);
  setTabOrder(cmdOk, cmdCancel);
  connect(cmdOk, &QPushButton::clicked, this, &frmLogin::cmdOk_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
  connect(Command1, &QPushButton::clicked, this, &frmLogin::Command1_Click);
}

void frmLogin::cmdOk_Click() {
  if (LoginCheck::login(inputName->text(), inputPWD->text()) != LoginCheck::Outcome::Success) {
    // The password that failed is not left for the next try.
    inputPWD->clear();
    inputPWD->setFocus();
    return;
  }
  // The main window becomes the only window; it lives until it is closed.
  try {
    auto main = std::make_unique<frmCorvina>();
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    main.release();  // owned by its own close from now on
  } catch (const DataError& e) {
    // A main window that cannot load leaves the login open for another try.
    interaction().MsgBox(e.description(), {MessageKind::Error}, Res::str(Res::AppTitle));
    return;
  }
  accept();
  emit loggedIn();
}

void frmLogin::cmdCancel_Click() { reject(); }

void frmLogin::Command1_Click() {
  frmSysOdbcIni dialog(this);
  dialog.exec();
}
