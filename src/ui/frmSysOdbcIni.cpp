#include "ui/frmSysOdbcIni.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AppPaths.h"
#include "core/Interaction.h"
#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "data/Scramble.h"
#include "resources/Strings.h"
#include "ui/AsteriskEcho.h"

frmSysOdbcIni::frmSysOdbcIni(QWidget* parent)
    : QDialog(parent),
      settings_(AppPaths::iniFile()),
      cboProvider(new QComboBox(this)),
      txtDataSource(new QLineEdit(this)),
      txtInitialCatalog(new QLineEdit(this)),
      txtUserID(new QLineEdit(this)),
      txtPassWord(new QLineEdit(this)),
      txtString(new QLineEdit(this)),
      cmdTest(new QPushButton(QStringLiteral("测试连接"), this)),
      cmdClose(new QPushButton(QStringLiteral("关闭"), this)) {
  setObjectName(QStringLiteral("frmSysOdbcIni"));
  setWindowTitle(QStringLiteral("设置数据源"));
  setModal(true);
  cboProvider->setObjectName(QStringLiteral("cboProvider"));
  cboProvider->setEditable(true);
  cboProvider->addItems({QStringLiteral("{SQL Server}"), QStringLiteral("{PostgreSQL Unicode}")});
  txtDataSource->setObjectName(QStringLiteral("txtDataSource"));
  txtInitialCatalog->setObjectName(QStringLiteral("txtInitialCatalog"));
  txtUserID->setObjectName(QStringLiteral("txtUserID"));
  txtPassWord->setObjectName(QStringLiteral("txtPassWord"));
  echoAsterisks(txtPassWord);
  txtString->setObjectName(QStringLiteral("txtString"));
  txtString->setMinimumWidth(360);
  cmdTest->setObjectName(QStringLiteral("cmdTest"));
  cmdClose->setObjectName(QStringLiteral("cmdClose"));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("驱动"), cboProvider);
  form->addRow(QStringLiteral("服务器"), txtDataSource);
  form->addRow(QStringLiteral("数据库"), txtInitialCatalog);
  form->addRow(QStringLiteral("用户名"), txtUserID);
  form->addRow(QStringLiteral("口令"), txtPassWord);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdTest);
  buttons->addWidget(cmdClose);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(txtString);
  layout->addLayout(buttons);

  connect(cmdTest, &QPushButton::clicked, this, &frmSysOdbcIni::cmdTest_Click);
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
  Form_Load();
}

void frmSysOdbcIni::Form_Load() {
  const OdbcIniFields f = settings_.Load();
  txtDataSource->setText(f.DataSource);
  cboProvider->setCurrentText(f.Provider);
  txtInitialCatalog->setText(f.InitialCatalog);
  txtUserID->setText(f.UserID);
  txtPassWord->setText(f.PassWord);
}

OdbcIniFields frmSysOdbcIni::fields() const {
  return {cboProvider->currentText(), txtDataSource->text(), txtInitialCatalog->text(),
          txtUserID->text(),          txtPassWord->text(),   txtString->text()};
}

void frmSysOdbcIni::cmdTest_Click() {
  if (settings_.TestAndSave(fields())) Form_Load();
}
