#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "resources/Strings.h"
#include "data/Scramble.h"
#include "settings/SettingsFixture.h"
#include "support/ScriptedInteraction.h"
#include "ui/frmSysOdbcIni.h"

namespace {
const QString kKey = ConnectionSettings::Key;
const QString kEmpty = "参数不能有空项!重新输入参数!";
const QString kTooLong = "参数过长!每项不能超过127个字符，重新输入参数!";
const QString kOk = "连接成功！";
const QString kFailed = "连接失败！\r\n";

OdbcIniFields filled(const QString& connectionString = QString()) {
  return {"{SQL Server}", "db01", "yarrow", "sa", "pw", connectionString};
}
OdbcIniFields with(OdbcIniFields f, QString OdbcIniFields::*box, const QString& value) {
  f.*box = value;
  return f;
}

struct Scripted {
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
};

// The test button: checks the boxes, opens the working string and saves only
// what opened. "@" in a file name stands for the settings folder; a row with
// fake set stands a server in, which refuses a string without a server.
TEST(SettingsDialogLogic, TestAndSave) {
  const struct {
    OdbcIniFields fields;
    bool fake;
    QString opened;  // expected working string; empty: no connection tried
    QStringList prompts;  // each a message's beginning
    bool saved;
  } rows[] = {
      {with(filled("Driver=SQLite3;Database=/x.db"), &OdbcIniFields::PassWord, ""), true, {}, {kEmpty}, false},
      {{}, true, "Driver={SQL Server};Server=;Database=;Uid=;Pwd=;", {kFailed + "no server"}, false},
      {with(with(filled(), &OdbcIniFields::DataSource, " db01 "), &OdbcIniFields::UserID, " sa"), true,
       "Driver={SQL Server};Server=db01;Database=yarrow;Uid=sa;Pwd=pw;", {kOk}, true},
      {filled("Driver=X;Server=db01;" + QString(110, 'x')), true, {}, {kTooLong}, false},
      {with(filled(), &OdbcIniFields::PassWord, QString(121, 'p')), true, {}, {kTooLong}, false},  // 128 scrambled
      {with(filled(), &OdbcIniFields::PassWord, QString(120, 'p')), true,
       "Driver={SQL Server};Server=db01;Database=yarrow;Uid=sa;Pwd=" + QString(120, 'p') + ';', {kOk}, true},
      {with(filled(), &OdbcIniFields::DataSource, "  " + QString(127, 'd')), true, {}, {kTooLong}, false},
      {filled("Driver=SQLite3;Database=@/system.db"), false, "Driver=SQLite3;Database=@/system.db", {kOk}, true},
      {filled("Driver=SQLite3;Database=@/missing.db"), false, {}, {kFailed}, false},
      // The SQLite entry needs only the file, and is saved as the full string.
      {{SqliteProvider, "@/system.db", "", "", "", ""}, false, "Driver=SQLite3;Database=@/system.db", {kOk}, true},
      {{SqliteProvider, "", "", "", "", ""}, false, {}, {kEmpty}, false},
      {{SqliteProvider, "@/missing.db", "", "", "", ""}, false, {}, {kFailed}, false},
  };
  int n = 0;
  for (const auto& row : rows) {
    SettingsFolder folder;
    Scripted s;
    const auto here = [&](QString text) { return text.replace('@', folder.dir.path()); };
    folder.writeFile(here("@/system.db"), "");
    OdbcIniFields fields = row.fields;
    fields.DataSource = here(fields.DataSource);
    fields.ConnectionString = here(fields.ConnectionString);
    SysOdbcIniSettings settings(folder.ini());
    QString opened;
    if (row.fake)
      settings.openConnection = [&](const QString& c) {
        opened = c;
        if (c.contains("Server=;")) throw DataError(-1, "ODBC", "no server");
      };
    EXPECT_EQ(settings.TestAndSave(fields), row.saved) << "row " << n;
    if (row.fake) {
      EXPECT_EQ(opened, row.opened) << "row " << n;
    }
    if (!row.opened.isEmpty()) {
      EXPECT_EQ(settings.WorkingString(), here(row.opened)) << "row " << n;
    }
    QStringList prompts = s.ui->prompts();
    for (int i = 0; i < prompts.size() && i < row.prompts.size(); ++i) prompts[i] = prompts[i].left(row.prompts[i].size());
    EXPECT_EQ(prompts, row.prompts) << "row " << n;
    EXPECT_EQ(QFile::exists(folder.ini()), row.saved) << "row " << n;
    if (row.saved) {
      const OdbcIniFields back = settings.Load();
      EXPECT_EQ(back.PassWord, fields.PassWord) << "row " << n;
      EXPECT_EQ(back.UserID, fields.UserID) << "row " << n;  // saved as typed, scrambled
      EXPECT_FALSE(folder.readFile(folder.ini()).contains("User ID=" + fields.UserID.toUtf8() + "\r")) << "row " << n;
      if (fields.Provider == SqliteProvider || !fields.ConnectionString.isEmpty()) {
        EXPECT_EQ(ConnectionSettings::connectionString(), settings.WorkingString()) << "row " << n;
      }
    }
    ++n;
  }
}

TEST(SettingsDialogLogic, FailuresAreShownAsErrorsAndAnEarlierFullStringIsKept) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings unwritable(folder.dir.path() + "/no/such/folder/odbc.ini");
  unwritable.openConnection = [](const QString&) {};
  EXPECT_FALSE(unwritable.TestAndSave(filled()));
  EXPECT_EQ(s.ui->busyOn, 1);  // the busy pointer while the provider tries
  ASSERT_EQ(s.ui->shown.size(), 2u);
  EXPECT_EQ(s.ui->shown[0].prompt, kOk);
  EXPECT_TRUE(s.ui->shown[1].prompt.startsWith(kFailed));
  EXPECT_EQ(s.ui->shown[1].title, "错误");
  EXPECT_EQ(s.ui->shown[1].flags & Vb::IconMask, Vb::Critical);

  WriteIniString("ODBC", "ConnectionString", "Driver=SQLite3;Database=/earlier.db", folder.ini());
  SysOdbcIniSettings settings(folder.ini());
  settings.openConnection = [](const QString&) {};
  ASSERT_TRUE(settings.TestAndSave(filled()));
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), "Driver=SQLite3;Database=/earlier.db");
  EXPECT_EQ(settings.Load().DataSource, "/earlier.db");  // the string in force shows
}

// ---- the window ----

int argc = 1;
char arg0[] = "test_settings";
char* argv[] = {arg0, nullptr};

void app() {
  static QApplication* instance = qApp ? qobject_cast<QApplication*>(qApp) : new QApplication(argc, argv);
  (void)instance;
}

TEST(SettingsDialogWindow, LoadsTheBoxesFromTheFileAndSavesAfterATest) {
  app();
  SettingsFolder folder;
  Scripted s;
  WriteIniString("ODBC", "Provider", "{PostgreSQL Unicode}", folder.ini());
  WriteIniString("ODBC", "Data Source", "db01", folder.ini());
  WriteIniString("ODBC", "User ID", ScrambleText("sa", kKey), folder.ini());
  frmSysOdbcIni dialog;
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  auto* password = dialog.findChild<QLineEdit*>("txtPassWord");
  ASSERT_TRUE(provider && password);
  EXPECT_EQ(provider->currentText(), "{PostgreSQL Unicode}");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("txtDataSource")->text(), "db01");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("txtUserID")->text(), "sa");
  dialog.settings().openConnection = [](const QString&) {};
  dialog.findChild<QLineEdit*>("txtInitialCatalog")->setText("yarrow");
  password->setText("pw");
  EXPECT_EQ(password->displayText(), "**");
  dialog.findChild<QPushButton*>("cmdTest")->click();
  EXPECT_EQ(s.ui->prompts(), QStringList{kOk});
  EXPECT_EQ(ReadIniString("ODBC", "Initial Catalog", folder.ini()), "yarrow");
  EXPECT_EQ(UnscrambleText(ReadIniString("ODBC", "PassWord", folder.ini()), kKey), "pw");
}

TEST(SettingsDialogWindow, AFullSqliteStringShowsAsTheSqliteEntryAndCloseSavesNothing) {
  app();
  SettingsFolder folder;
  Scripted s;
  const QString connect = "Driver=SQLite3;Database=" + folder.dir.path() + "/demo.db";
  WriteIniString("ODBC", "ConnectionString", connect, folder.ini());
  const QByteArray before = folder.readFile(folder.ini());
  frmSysOdbcIni dialog;
  dialog.show();
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  auto* full = dialog.findChild<QLineEdit*>("txtString");
  auto* user = dialog.findChild<QLineEdit*>("txtUserID");
  ASSERT_TRUE(provider && full && user);
  EXPECT_EQ(full->text(), connect);
  EXPECT_EQ(provider->currentText(), SqliteProvider);
  EXPECT_EQ(dialog.findChild<QLineEdit*>("txtDataSource")->text(), folder.dir.path() + "/demo.db");
  EXPECT_FALSE(user->isEnabled());
  // Back to a server: the file's string no longer stands in for the boxes.
  provider->setCurrentText("{SQL Server}");
  EXPECT_EQ(full->text(), "");
  EXPECT_TRUE(user->isEnabled());
  dialog.findChild<QPushButton*>("cmdClose")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(folder.readFile(folder.ini()), before);
  EXPECT_TRUE(s.ui->shown.empty());
}

}  // namespace
