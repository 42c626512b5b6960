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

const QString S = "{SQL Server}";
OdbcIniFields filled() { return {S, "db01", "yarrow", "sa", "pw", ""}; }

struct Scripted {
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
};

// The test button checks the boxes, opens the working string and saves only
// what opened. "@" stands for the settings folder. SQLite strings are opened
// for real; a stand-in server refuses a string without a server.
TEST(SettingsDialogLogic, TestAndSave) {
  const struct {
    OdbcIniFields fields;
    QString opened;  // the working string; empty: no connection tried
    QStringList prompts;  // each a message's beginning
  } rows[] = {
      {{S, "db01", "yarrow", "sa", "", "Driver=SQLite3;Database=/x.db"}, {}, {kEmpty}},
      {{}, "Driver={SQL Server};Server=;Database=;Uid=;Pwd=;", {kFailed + "no server"}},
      {{S, " db01 ", "yarrow", " sa", "pw", ""}, "Driver={SQL Server};Server=db01;Database=yarrow;Uid=sa;Pwd=pw;", {kOk}},
      {{S, "db01", "yarrow", "sa", "pw", "Driver=X;Server=db01;" + QString(110, 'x')}, {}, {kTooLong}},
      {{S, "db01", "yarrow", "sa", QString(121, 'p'), ""}, {}, {kTooLong}},  // 128 once scrambled
      {{S, "db01", "yarrow", "sa", QString(120, 'p'), ""},
       "Driver={SQL Server};Server=db01;Database=yarrow;Uid=sa;Pwd=" + QString(120, 'p') + ';', {kOk}},
      {{S, "  " + QString(127, 'd'), "yarrow", "sa", "pw", ""}, {}, {kTooLong}},  // would come back cut
      {{S, "db01", "yarrow", "sa", "pw", "Driver=SQLite3;Database=@/system.db"}, "Driver=SQLite3;Database=@/system.db", {kOk}},
      {{S, "db01", "yarrow", "sa", "pw", "Driver=SQLite3;Database=@/missing.db"}, "Driver=SQLite3;Database=@/missing.db", {kFailed}},
      // The SQLite entry needs only the file, and is saved as the full string.
      {{SqliteProvider, "@/system.db", "", "", "", ""}, "Driver=SQLite3;Database=@/system.db", {kOk}},
      {{SqliteProvider, "", "", "", "", ""}, {}, {kEmpty}},
      {{SqliteProvider, "@/missing.db", "", "", "", ""}, "Driver=SQLite3;Database=@/missing.db", {kFailed}},
  };
  for (const auto& row : rows) {
    SettingsFolder folder;
    Scripted s;
    const auto here = [&](QString text) { return text.replace('@', folder.dir.path()); };
    folder.writeFile(here("@/system.db"), "");
    OdbcIniFields f = row.fields;
    f.DataSource = here(f.DataSource);
    f.ConnectionString = here(f.ConnectionString);
    const std::string what = (f.DataSource + ' ' + f.PassWord.left(3) + ' ' + f.ConnectionString).toStdString();
    SysOdbcIniSettings settings(folder.ini());
    const bool sqlite = f.Provider == SqliteProvider || f.ConnectionString.contains("SQLite");
    QString opened;
    if (!sqlite)
      settings.openConnection = [&](const QString& c) {
        opened = c;
        if (c.contains("Server=;")) throw DataError(-1, "ODBC", "no server");
      };
    const bool saved = row.prompts == QStringList{kOk};
    EXPECT_EQ(settings.TestAndSave(f), saved) << what;
    EXPECT_EQ(sqlite ? settings.WorkingString() : opened, here(row.opened)) << what;
    QStringList prompts = s.ui->prompts();
    for (int i = 0; i < prompts.size() && i < row.prompts.size(); ++i) prompts[i] = prompts[i].left(row.prompts[i].size());
    EXPECT_EQ(prompts, row.prompts) << what;
    for (const auto& shown : s.ui->shown)
      EXPECT_TRUE(!shown.prompt.startsWith(kFailed) || (shown.flags & Vb::IconMask) == Vb::Critical) << what;
    EXPECT_EQ(QFile::exists(folder.ini()), saved) << what;
    if (!saved) continue;
    const OdbcIniFields back = settings.Load();
    EXPECT_EQ(back.PassWord + '|' + back.UserID, f.PassWord + '|' + f.UserID) << what;  // as typed
    EXPECT_FALSE(folder.readFile(folder.ini()).contains("User ID=" + f.UserID.toUtf8() + "\r")) << what;  // scrambled
    EXPECT_TRUE(!sqlite || ConnectionSettings::connectionString() == settings.WorkingString()) << what;
  }
}

TEST(SettingsDialogLogic, AnUnwritableFileIsAFailureAndAnEarlierFullStringIsKept) {
  SettingsFolder folder;
  Scripted s;
  SysOdbcIniSettings unwritable(folder.dir.path() + "/no/such/folder/odbc.ini");
  unwritable.openConnection = [](const QString&) {};
  EXPECT_FALSE(unwritable.TestAndSave(filled()));
  EXPECT_EQ(s.ui->busyOn, 1);  // the busy pointer while the provider tries
  ASSERT_EQ(s.ui->prompts().size(), 2);
  EXPECT_TRUE(s.ui->lastPrompt().startsWith(kFailed));
  EXPECT_EQ(s.ui->shown[1].title, "错误");
  WriteIniString("ODBC", "ConnectionString", "Driver=SQLite3;Database=/earlier.db", folder.ini());
  SysOdbcIniSettings settings(folder.ini());
  settings.openConnection = [](const QString&) {};
  ASSERT_TRUE(settings.TestAndSave(filled()));
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), "Driver=SQLite3;Database=/earlier.db");
}

int argc = 1;
char arg0[] = "test_settings";
char* argv[] = {arg0, nullptr};

// A stored SQLite string shows as the SQLite entry with its file; back to a
// server the boxes come from the file. Close saves nothing.
TEST(SettingsDialogWindow, ShowsTheFileAndCloseSavesNothing) {
  if (!qApp) new QApplication(argc, argv);
  SettingsFolder folder;
  Scripted s;
  const QString connect = "Driver=SQLite3;Database=" + folder.dir.path() + "/demo.db";
  WriteIniString("ODBC", "ConnectionString", connect, folder.ini());
  WriteIniString("ODBC", "User ID", ScrambleText("sa", kKey), folder.ini());
  const QByteArray before = folder.readFile(folder.ini());
  frmSysOdbcIni dialog;
  dialog.show();
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  auto* user = dialog.findChild<QLineEdit*>("txtUserID");
  auto* server = dialog.findChild<QLineEdit*>("txtDataSource");
  ASSERT_TRUE(provider && user && server);
  EXPECT_EQ(QStringList({provider->currentText(), server->text()}), QStringList({SqliteProvider, folder.dir.path() + "/demo.db"}));
  EXPECT_FALSE(user->isEnabled());
  provider->setCurrentText("{SQL Server}");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("txtString")->text(), "");
  EXPECT_TRUE(user->isEnabled());
  EXPECT_EQ(user->text(), "sa");
  server->setText("db02");
  dialog.findChild<QPushButton*>("cmdClose")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(folder.readFile(folder.ini()), before);
  EXPECT_TRUE(s.ui->shown.empty());
}

}  // namespace
