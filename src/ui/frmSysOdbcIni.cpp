#include "ui/frmSysOdbcIni.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
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
#include "ui/UserSettings.h"

frmSysOdbcIni::frmSysOdbcIni(QWidget* parent)
    : QDialog(parent),
      settings_(AppPaths::iniFile()),
      cboProvider(new QComboBox(this)),
      txtDataSource(new QLineEdit(this)),
      txtInitialCatalog(new QLineEdit(this)),
      txtUserID(new QLineEdit(this)),
      txtPassWord(new QLineEdit(this)),
      txtString(new QLineEdit(this)),
      lblDataSource(new QLabel(QStringLiteral("服务器"), this)),
      cmdBrowse(new QPushButton(QStringLiteral("浏览(&B)..."), this)),
      cmdTest(new QPushButton(QStringLiteral("测试连接"), this)),
      cmdClose(new QPushButton(QStringLiteral("关闭"), this)) {
  setObjectName(QStringLiteral("frmSysOdbcIni"));
  setWindowTitle(QStringLiteral("设置数据源"));
  setModal(true);
  WithoutMaximiseButton(*this);
  cboProvider->setObjectName(QStringLiteral("cboProvider"));
  cboProvider->setEditable(true);
  cboProvider->addItems({QStringLiteral("{SQL Server}"), QStringLiteral("{PostgreSQL Unicode}"), SqliteProvider});
  txtDataSource->setObjectName(QStringLiteral("txtDataSource"));
  txtInitialCatalog->setObjectName(QStringLiteral("txtInitialCatalog"));
  txtUserID->setObjectName(QStringLiteral("txtUserID"));
  txtPassWord->setObjectName(QStringLiteral("txtPassWord"));
  echoAsterisks(txtPassWord);
  txtString->setObjectName(QStringLiteral("txtString"));
  txtString->setMinimumWidth(360);
  cmdTest->setObjectName(QStringLiteral("cmdTest"));
  cmdClose->setObjectName(QStringLiteral("cmdClose"));
  cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
  cmdBrowse->setAutoDefault(false);
  txtString->setPlaceholderText(QStringLiteral("完整的连接字符串（可选）"));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("驱动"), cboProvider);
  auto* source = new QHBoxLayout;
  source->addWidget(txtDataSource);
  source->addWidget(cmdBrowse);
  form->addRow(lblDataSource, source);
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
  // A small form: it takes the size its fields need, at any scale.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(cmdTest, &QPushButton::clicked, this, &frmSysOdbcIni::cmdTest_Click);
  connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(cmdBrowse, &QPushButton::clicked, this, &frmSysOdbcIni::cmdBrowse_Click);
  connect(cboProvider, &QComboBox::currentTextChanged, this, [this] {
    SwitchDriverFields();
    cboProvider_Change();
  });
  connect(txtDataSource, &QLineEdit::textChanged, this, &frmSysOdbcIni::showSqliteString);
  Form_Load();
}

bool frmSysOdbcIni::sqliteChosen() const { return cboProvider->currentText() == SqliteProvider; }

void frmSysOdbcIni::cboProvider_Change() {
  const bool sqlite = sqliteChosen();
  lblDataSource->setText(sqlite ? QStringLiteral("数据库文件") : QStringLiteral("服务器"));
  cmdBrowse->setVisible(sqlite);
  for (QWidget* serverOnly : {static_cast<QWidget*>(txtInitialCatalog), static_cast<QWidget*>(txtUserID),
                              static_cast<QWidget*>(txtPassWord)})
    serverOnly->setEnabled(!sqlite);
  // For a file the string follows the file box; for a server it is typed.
  txtString->setReadOnly(sqlite);
  const bool showsSqliteString =
      Connection::connectValue(txtString->text(), QStringLiteral("Driver")).compare(SqliteProvider, Qt::CaseInsensitive) == 0;
  if (!sqlite && showsSqliteString) txtString->clear();
  showSqliteString();
}

void frmSysOdbcIni::showSqliteString() {
  if (sqliteChosen()) txtString->setText(ConnectionSettings::sqliteString(txtDataSource->text().trimmed()));
}

void frmSysOdbcIni::cmdBrowse_Click() {
  const QString chosen = QFileDialog::getOpenFileName(
      this, QStringLiteral("选择数据库文件"), QFileInfo(txtDataSource->text().trimmed()).absolutePath(),
      QStringLiteral("SQLite 数据库 (*.db *.sqlite *.sqlite3);;所有文件 (*)"));
  if (!chosen.isEmpty()) txtDataSource->setText(chosen);
}

void frmSysOdbcIni::Form_Load() {
  const OdbcIniFields f = settings_.Load();
  loading_ = true;
  cboProvider->setCurrentText(f.Provider);
  showFields(f);
  loading_ = false;
  driverFields_.clear();
  shownDriver_ = cboProvider->currentText();
  cboProvider_Change();
}

void frmSysOdbcIni::showFields(const OdbcIniFields& f) {
  txtDataSource->setText(f.DataSource);
  txtInitialCatalog->setText(f.InitialCatalog);
  txtUserID->setText(f.UserID);
  txtPassWord->setText(f.PassWord);
  txtString->setText(f.ConnectionString);
}

// A SQLite file is no server name, nor a server's login a file: the boxes of
// the driver left are put aside and those of the driver chosen from the list
// come back (empty the first time). A name being typed changes nothing yet.
void frmSysOdbcIni::SwitchDriverFields() {
  const QString driver = cboProvider->currentText();
  if (loading_ || driver == shownDriver_ || cboProvider->findText(driver) < 0) return;
  driverFields_.insert(shownDriver_, fields());
  shownDriver_ = driver;
  showFields(driverFields_.value(driver));
}

OdbcIniFields frmSysOdbcIni::fields() const {
  return {cboProvider->currentText(), txtDataSource->text(), txtInitialCatalog->text(),
          txtUserID->text(),          txtPassWord->text(),   txtString->text()};
}

void frmSysOdbcIni::cmdTest_Click() {
  if (settings_.TestAndSave(fields())) Form_Load();
}
