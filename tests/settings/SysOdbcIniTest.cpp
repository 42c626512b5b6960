#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "resources/Strings.h"
#include "settings/SettingsFixture.h"
#include "support/ScriptedInteraction.h"
#include "data/SysOdbcIniSettings.h"

namespace {
const QString kEmpty = "参数不能有空项!重新输入参数!";
const QString kTooLong = "参数过长!每项不能超过127个字符，重新输入参数!";
const QString kOk = "连接成功！";
const QString kFailed = "连接失败！\r\n";

const QString S = "{SQL Server}";

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
      // A file that cannot be written is a failure, not a success.
      {{S, "db01", "*", "sa", "pw", ""}, "Driver={SQL Server};Server=db01;Database=*;Uid=sa;Pwd=pw;", {kOk, kFailed}},
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
    if (f.InitialCatalog == "*") QDir().mkpath(folder.ini());
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
    EXPECT_EQ(QFileInfo(folder.ini()).isFile(), saved) << what;
    if (!saved) continue;
    const OdbcIniFields back = settings.Load();
    EXPECT_EQ(back.PassWord + '|' + back.UserID, f.PassWord + '|' + f.UserID) << what;  // as typed
    EXPECT_FALSE(folder.readFile(folder.ini()).contains("User ID=" + f.UserID.toUtf8() + "\r")) << what;  // scrambled
    EXPECT_TRUE(!sqlite || ConnectionSettings::connectionString() == settings.WorkingString()) << what;
  }
}

}  // namespace
