#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "data/Scramble.h"
#include "resources/Strings.h"
#include "settings/SettingsFixture.h"
#include "support/ScriptedInteraction.h"
#include "ui/frmSysOdbcIni.h"

namespace {
const QString kKey = QStringLiteral("5203916");

OdbcIniFields filled(const QString& connectionString = QString()) {
  return {"{SQL Server}", "db01", "yarrow", "sa", "pw", connectionString};
}

struct Scripted {
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
};

TEST(SettingsDialogLogic, AFullStringWithAnEmptyBoxIsRefusedBeforeAnyConnection) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings settings(folder.ini());
  int attempts = 0;
  settings.openConnection = [&](const QString&) { ++attempts; };
  OdbcIniFields f = filled("Driver=SQLite3;Database=/x.db");
  f.PassWord.clear();
  EXPECT_FALSE(settings.TestAndSave(f));
  EXPECT_EQ(attempts, 0);
  ASSERT_EQ(s.ui->shown.size(), 1u);
  EXPECT_EQ(s.ui->shown[0].prompt, "参数不能有空项!重新输入参数!");
  EXPECT_EQ(s.ui->shown[0].title, "");  // the application title
  EXPECT_FALSE(QFile::exists(folder.ini()));
}

TEST(SettingsDialogLogic, EmptyBoxesOpenAnEmptyServerStringAndReportTheFailure) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings settings(folder.ini());
  QString opened;
  settings.openConnection = [&](const QString& c) {
    opened = c;
    throw DataError(-1, "ODBC", "[unixODBC][Driver Manager]Data source name not found");
  };
  EXPECT_FALSE(settings.TestAndSave(OdbcIniFields{}));
  EXPECT_EQ(opened, "Driver={SQL Server};Server=;Database=;Uid=;Pwd=;");
  EXPECT_EQ(s.ui->busyOn, 1);  // the busy pointer while the provider tries
  ASSERT_EQ(s.ui->shown.size(), 1u);
  EXPECT_EQ(s.ui->shown[0].prompt, "连接失败！\r\n[unixODBC][Driver Manager]Data source name not found");
  EXPECT_EQ(s.ui->shown[0].title, "错误");
  EXPECT_EQ(s.ui->shown[0].flags & Vb::IconMask, Vb::Critical);
  EXPECT_FALSE(QFile::exists(folder.ini()));  // nothing saved after a failed open
}

TEST(SettingsDialogLogic, ARealFailingConnectionIsReportedAndNothingIsSaved) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings settings(folder.ini());
  EXPECT_FALSE(settings.TestAndSave(filled("Driver=SQLite3;Database=" + folder.dir.path() + "/missing.db")));
  ASSERT_EQ(s.ui->shown.size(), 1u);
  EXPECT_TRUE(s.ui->shown[0].prompt.startsWith("连接失败！\r\n"));
  EXPECT_TRUE(s.ui->shown[0].prompt.contains("missing.db"));
  EXPECT_FALSE(QFile::exists(folder.ini()));
}

TEST(SettingsDialogLogic, TheBoxesAreTrimmedIntoTheWorkingStringButSavedAsTyped) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings settings(folder.ini());
  QString opened;
  settings.openConnection = [&](const QString& c) { opened = c; };
  OdbcIniFields f = filled();
  f.DataSource = " db01 ";
  f.UserID = " sa";
  ASSERT_TRUE(settings.TestAndSave(f));
  EXPECT_EQ(opened, "Driver={SQL Server};Server=db01;Database=yarrow;Uid=sa;Pwd=pw;");
  EXPECT_EQ(settings.WorkingString(), opened);
  EXPECT_EQ(s.ui->prompts(), QStringList{"连接成功！"});
  EXPECT_TRUE(folder.readFile(folder.ini()).contains("Data Source= db01 "));
  EXPECT_EQ(UnscrambleText(ReadIniString("ODBC", "User ID", folder.ini()), kKey), " sa");
}

TEST(SettingsDialogLogic, ASuccessfulSaveScramblesTheCredentialsAndKeepsAnEarlierFullString) {
  SettingsFolder folder;
  Scripted s;
  WriteIniString("ODBC", "ConnectionString", "Driver=SQLite3;Database=/earlier.db", folder.ini());
  SysOdbcIniSettings settings(folder.ini());
  settings.openConnection = [](const QString&) {};
  ASSERT_TRUE(settings.TestAndSave(filled()));
  const QString user = ReadIniString("ODBC", "User ID", folder.ini());
  const QString password = ReadIniString("ODBC", "PassWord", folder.ini());
  EXPECT_EQ(user.size(), 2 + 7);
  EXPECT_EQ(password.size(), 2 + 7);
  EXPECT_NE(user, "sa");
  EXPECT_EQ(ReadIniString("ODBC", "Provider", folder.ini()), "{SQL Server}");
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "db01");
  EXPECT_EQ(ReadIniString("ODBC", "Initial Catalog", folder.ini()), "yarrow");
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), "Driver=SQLite3;Database=/earlier.db");
  // Reopening shows the plain values, and the full string that is still in force.
  const OdbcIniFields reloaded = settings.Load();
  EXPECT_EQ(reloaded.UserID, "sa");
  EXPECT_EQ(reloaded.PassWord, "pw");
  EXPECT_EQ(reloaded.ConnectionString, "Driver=SQLite3;Database=/earlier.db");
  EXPECT_EQ(reloaded.Provider, SqliteProvider);
  EXPECT_EQ(reloaded.DataSource, "/earlier.db");
}

// The SQLite entry needs only the file: the string is made from it, tested for
// real and saved as the full string, which the program then uses.
TEST(SettingsDialogLogic, ASqliteFileIsTestedAndSavedAsTheFullString) {
  const struct {
    const char* file;  // relative to the settings folder; empty: none given
    QString firstMessage;
    bool saved;
  } rows[] = {
      {"system.db", "连接成功！", true},
      {"", "参数不能有空项!重新输入参数!", false},
      {"missing.db", "连接失败！", false},
  };
  for (const auto& row : rows) {
    SettingsFolder folder;
    Scripted s;
    const QString file = *row.file ? folder.dir.path() + '/' + row.file : QString();
    folder.writeFile(folder.dir.path() + "/system.db", "");
    SysOdbcIniSettings settings(folder.ini());
    EXPECT_EQ(settings.TestAndSave({SqliteProvider, file, "", "", "", ""}), row.saved) << row.file;
    ASSERT_FALSE(s.ui->shown.empty());
    EXPECT_TRUE(s.ui->shown[0].prompt.startsWith(row.firstMessage)) << s.ui->shown[0].prompt.toStdString();
    EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()),
              row.saved ? "Driver=SQLite3;Database=" + file : QString());
    if (row.saved) {
      EXPECT_EQ(ConnectionSettings::connectionString(), "Driver=SQLite3;Database=" + file);
    }
  }
}

TEST(SettingsDialogLogic, AWorkingFullStringIsSavedAndUsedByTheNextDataAccessObject) {
  SettingsFolder folder;
  Scripted s;
  const QString db = folder.dir.path() + "/system.db";
  {
    QFile f(db);
    f.open(QIODevice::WriteOnly);
  }
  SysOdbcIniSettings settings(folder.ini());
  const QString connect = "Driver=SQLite3;Database=" + db;
  ASSERT_TRUE(settings.TestAndSave(filled(connect)));
  EXPECT_EQ(s.ui->prompts(), QStringList{"连接成功！"});
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), connect);
}

TEST(SettingsDialogLogic, AValueTheFileCannotHandBackIsRefusedBeforeConnecting) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings settings(folder.ini());
  int attempts = 0;
  settings.openConnection = [&](const QString&) { ++attempts; };
  const QString longString = "Driver={PostgreSQL Unicode};Server=db01;Database=yarrow;" + QString(100, 'x');
  EXPECT_FALSE(settings.TestAndSave(filled(longString)));
  OdbcIniFields longPassword = filled();
  longPassword.PassWord = QString(121, 'p');  // 128 characters once scrambled
  EXPECT_FALSE(settings.TestAndSave(longPassword));
  OdbcIniFields paddedServer = filled();
  paddedServer.DataSource = "  " + QString(127, 'd');  // saved as typed, so it would come back cut
  EXPECT_FALSE(settings.TestAndSave(paddedServer));
  EXPECT_EQ(attempts, 0);
  EXPECT_EQ(s.ui->prompts(), QStringList(3, "参数过长!每项不能超过127个字符，重新输入参数!"));
  EXPECT_FALSE(QFile::exists(folder.ini()));
  longPassword.PassWord.chop(1);
  EXPECT_TRUE(settings.TestAndSave(longPassword));
  EXPECT_EQ(settings.Load().PassWord, QString(120, 'p'));
}

TEST(SettingsDialogLogic, ASaveThatCannotBeWrittenIsNotReportedAsSuccess) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings settings(folder.dir.path() + "/no/such/folder/odbc.ini");
  settings.openConnection = [](const QString&) {};
  EXPECT_FALSE(settings.TestAndSave(filled()));
  ASSERT_EQ(s.ui->shown.size(), 2u);
  EXPECT_EQ(s.ui->shown[0].prompt, "连接成功！");
  EXPECT_TRUE(s.ui->shown[1].prompt.startsWith("连接失败！\r\n"));
}

// ---- the window ----

int argc = 1;
char arg0[] = "test_settings";
char* argv[] = {arg0, nullptr};

QApplication& app() {
  static QApplication* instance = qApp ? qobject_cast<QApplication*>(qApp) : new QApplication(argc, argv);
  return *instance;
}

TEST(SettingsDialogWindow, LoadsTheBoxesFromTheFileAndSavesAfterATest) {
  app();
  SettingsFolder folder;
  Scripted s;
  WriteIniString("ODBC", "Provider", "{PostgreSQL Unicode}", folder.ini());
  WriteIniString("ODBC", "Data Source", "db01", folder.ini());
  WriteIniString("ODBC", "User ID", ScrambleText("sa", kKey), folder.ini());
  frmSysOdbcIni dialog;
  EXPECT_EQ(dialog.windowTitle(), "设置数据源");
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  auto* server = dialog.findChild<QLineEdit*>("txtDataSource");
  auto* user = dialog.findChild<QLineEdit*>("txtUserID");
  auto* password = dialog.findChild<QLineEdit*>("txtPassWord");
  auto* full = dialog.findChild<QLineEdit*>("txtString");
  ASSERT_TRUE(provider && server && user && password && full);
  EXPECT_EQ(provider->currentText(), "{PostgreSQL Unicode}");
  EXPECT_EQ(server->text(), "db01");
  EXPECT_EQ(user->text(), "sa");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_GE(provider->findText("{SQL Server}"), 0);

  dialog.settings().openConnection = [](const QString&) {};
  dialog.findChild<QLineEdit*>("txtInitialCatalog")->setText("yarrow");
  password->setText("pw");
  EXPECT_EQ(password->displayText(), "**");
  dialog.findChild<QPushButton*>("cmdTest")->click();
  EXPECT_EQ(s.ui->prompts(), QStringList{"连接成功！"});
  EXPECT_EQ(ReadIniString("ODBC", "Initial Catalog", folder.ini()), "yarrow");
  EXPECT_EQ(UnscrambleText(ReadIniString("ODBC", "PassWord", folder.ini()), kKey), "pw");
  EXPECT_EQ(password->text(), "pw");  // reloaded from the file
}

TEST(SettingsDialogWindow, ShowsTheDemosFullStringAsTheSqliteEntryWithItsFile) {
  app();
  SettingsFolder folder;
  Scripted s;
  const QString db = folder.dir.path() + "/demo.db";
  folder.writeFile(db, "");
  WriteIniString("ODBC", "ConnectionString", "Driver=SQLite3;Database=" + db, folder.ini());
  frmSysOdbcIni dialog;
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  auto* full = dialog.findChild<QLineEdit*>("txtString");
  EXPECT_EQ(full->text(), "Driver=SQLite3;Database=" + db);
  EXPECT_EQ(provider->currentText(), SqliteProvider);
  EXPECT_EQ(dialog.findChild<QLineEdit*>("txtDataSource")->text(), db);
  EXPECT_FALSE(dialog.findChild<QLineEdit*>("txtUserID")->isEnabled());

  dialog.findChild<QPushButton*>("cmdTest")->click();
  EXPECT_EQ(s.ui->prompts(), QStringList{"连接成功！"});
  EXPECT_EQ(ReadIniString("ODBC", "Provider", folder.ini()), SqliteProvider);

  // Back to a server: the file's string no longer stands in for the boxes.
  provider->setCurrentText("{SQL Server}");
  EXPECT_EQ(full->text(), "");
  EXPECT_TRUE(dialog.findChild<QLineEdit*>("txtUserID")->isEnabled());
}

TEST(SettingsDialogWindow, CloseSavesNothing) {
  app();
  SettingsFolder folder;
  Scripted s;
  frmSysOdbcIni dialog;
  dialog.findChild<QLineEdit*>("txtDataSource")->setText("db01");
  dialog.show();
  dialog.findChild<QPushButton*>("cmdClose")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(QFile::exists(folder.ini()));
  EXPECT_TRUE(s.ui->shown.empty());
}

}  // namespace
