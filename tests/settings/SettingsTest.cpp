#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>

#include <optional>

#include "data/CRegistry.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "data/Scramble.h"
#include "data/SysOdbcIniSettings.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "support/UiTestApp.h"
#include "ui/UserSettings.h"
#include "ui/frmSysOdbcIni.h"

namespace {
// A program folder of its own (no odbc.ini unless a test writes one) and a
// registry file of its own, for the object's lifetime.
struct SettingsFolder {
  QTemporaryDir dir;
  const QByteArray home = qgetenv("CORVINA_HOME"), registry = qgetenv("CORVINA_REGISTRY");
  SettingsFolder() {
    qputenv("CORVINA_HOME", dir.path().toUtf8());
    qputenv("CORVINA_REGISTRY", registryFile().toUtf8());
  }
  ~SettingsFolder() {
    for (auto [name, value] : {std::pair{"CORVINA_HOME", home}, {"CORVINA_REGISTRY", registry}})
      value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
  }
  QString ini() const { return dir.path() + QStringLiteral("/odbc.ini"); }
  QString registryFile() const { return dir.path() + QStringLiteral("/registry.ini"); }
  void writeFile(const QString& path, const QByteArray& content) const {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(content);
  }
};

const QString kKey = ConnectionSettings::Key;

struct Value {
  const char* key;  // "DB" or "Scrivel"
  const char* name;
  QString value;
};
// Writes registry values; the credentials through SetEncryptValue, as the
// settings window stores them.
void setRegistry(const QList<Value>& values) {
  const CRegistry registry;
  for (const Value& v : values) {
    QString name = QLatin1String(v.name), value = v.value;
    if (name.startsWith("DBUser"))
      registry.SetEncryptValue(name, value);
    else
      registry.SetKeyValue("Oriel", QLatin1String(v.key), name, value);
  }
}

// odbc.ini, when it is a file, decides alone; otherwise the registry does.
TEST(ConnectionSettings, ConnectionStringFromIniOrRegistry) {
  const QString garbage = UnscrambleText("fail to open key", kKey);
  const QString online = "Driver={SQL Server};Server=h;Database=n;";
  const QString offline = "Provider=MSDataShape;Data Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/off.db;";
  const struct {
    std::optional<QByteArray> ini;  // "DIR": a folder of that name
    QList<Value> registry;
    QString expected;
  } rows[] = {
      {"[ODBC]\r\nData Source=x\r\nConnectionString=Driver=SQLite3;Database=/d/s.db\r\n",
       {{"Scrivel", "OnLineStatus", "False"}}, "Driver=SQLite3;Database=/d/s.db"},
      {"[ODBC]\nProvider={x}\nData Source=  db01  \nInitial Catalog=yarrow\nUser ID=" +
           ScrambleText("sa", kKey).toUtf8() + "\nPassWord=" + ScrambleText("s3cret", kKey).toUtf8() + "\n",
       {}, "Driver={SQL Server};Server=db01;Database=yarrow;uid=sa;pwd=s3cret"},
      {"", {{"DB", "SystemDBHost", "registry-host"}}, "Driver={SQL Server};Server=;Database=;uid=;pwd="},
      {"DIR", {{"Scrivel", "OnLineStatus", "False"}, {"Scrivel", "OfflineDBName", "/srv/off.db"}}, offline},
      {{}, {{"Scrivel", "OnLineStatus", "0"}, {"Scrivel", "OfflineDBName", "/srv/off.db"}}, offline},
      {{},
       {{"Scrivel", "OnLineStatus", "True"}, {"DB", "SystemDBHost", "h"}, {"DB", "SystemDBName", "n"},
        {"DB", "WindowsLogin", "False"}, {"DB", "DBUser", "sa"}, {"DB", "DBUserPassword", "  pw "}},
       online + "Uid=sa;Pwd=pw;"},
      // No status: online; no WindowsLogin: user and password.
      {{}, {{"DB", "SystemDBHost", "h"}, {"DB", "SystemDBName", "n"}, {"DB", "DBUser", "u"}, {"DB", "DBUserPassword", "p"}},
       online + "Uid=u;Pwd=p;"},
      // Unreadable values go in as read; the connection then fails.
      {{}, {}, "Driver={SQL Server};Server=fail to open key;Database=fail to open key;Uid=" + garbage + ";Pwd=" +
                   garbage + ";"},
      {{}, {{"Scrivel", "OnLineStatus", "1"}, {"DB", "SystemDBHost", "h"}, {"DB", "SystemDBName", "n"},
            {"DB", "WindowsLogin", "true"}}, online + "Trusted_Connection=Yes;"},
      // The registry's True is -1.
      {{}, {{"Scrivel", "OnLineStatus", "-1"}, {"DB", "SystemDBHost", "h"}, {"DB", "SystemDBName", "n"},
            {"DB", "WindowsLogin", "-1"}}, online + "Trusted_Connection=Yes;"},
      {{}, {{"Scrivel", "OnLineStatus", "yes"}}, "error 13"},  // a type mismatch
      {{}, {{"Scrivel", "OnLineStatus", "True"}, {"DB", "WindowsLogin", ""}}, "error 13"},
  };
  int n = 0;
  for (const auto& row : rows) {
    SettingsFolder folder;
    if (row.ini == "DIR")
      QDir().mkpath(folder.ini());
    else if (row.ini)
      folder.writeFile(folder.ini(), *row.ini);
    setRegistry(row.registry);
    QString outcome;
    try {
      outcome = ConnectionSettings::connectionString();
    } catch (const DataError& e) {
      outcome = QString("error %1").arg(e.number());
    }
    EXPECT_EQ(outcome, row.expected) << "row " << n;
    ++n;
  }
}

TEST(IniFile, Reading) {
  const struct {
    QByteArray file;  // empty: no file
    const char* section;
    const char* key;
    QString expected;
  } rows[] = {
      {"", "ODBC", "Data Source", ""},
      {"[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n", "ODBC", "Data Source", ""},
      {"[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n", "Missing", "Provider", ""},
      {"[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n", "ODBC", "Provider", "x"},
      {"; comment\n[odbc]\n  data source =   db-host  \n", "ODBC", "Data Source", "db-host"},
      {"[ODBC]\r\nData Source=\xb7\xfe\xce\xf1\xc6\xf7\r\n", "ODBC", "Data Source", "服务器"},  // GBK
      {"\xef\xbb\xbf[ODBC]\r\nData Source=db01\r\n", "ODBC", "Data Source", "db01"},
      {"[ODBC]\nConnectionString=" + QByteArray(200, 'c') + "\n", "ODBC", "ConnectionString", QString(127, 'c')},
  };
  for (const auto& row : rows) {
    SettingsFolder folder;
    if (!row.file.isEmpty()) folder.writeFile(folder.ini(), row.file);
    EXPECT_EQ(ReadIniString(row.section, row.key, folder.ini()), row.expected) << row.file.constData();
  }
}

// A write replaces one key in its own section and keeps everything else of a
// file edited by hand; values are cut at 128 characters; only the owner reads it.
TEST(IniFile, Writing) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(), "\xef\xbb\xbf; kept\r\n[ODBC]\r\nProvider={x}\r\nData Source=old\r\n\r\n[Other]\r\nx=1\r\n");
  for (auto [section, key, value] : {std::tuple{"odbc", "data source", QString("服务器一")}, {"ODBC", "Catalog", "yarrow"},
                                     {"ODBC", "PassWord", " spaced " + QString(200, 'x')}, {"Third", "k", "v"}})
    ASSERT_TRUE(WriteIniString(section, key, value, folder.ini()));
  EXPECT_EQ(readFile(folder.ini()),
            QString("\xef\xbb\xbf; kept\r\n[ODBC]\r\nProvider={x}\r\nData Source=服务器一\r\nCatalog=yarrow\r\nPassWord= spaced " +
                    QString(120, 'x') + "\r\n\r\n[Other]\r\nx=1\r\n[Third]\r\nk=v\r\n").toUtf8());
  EXPECT_FALSE(QFileInfo(folder.ini()).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther));
  EXPECT_FALSE(WriteIniString("ODBC", "Provider", "x", folder.dir.path() + "/no/such/folder/odbc.ini"));
}

// The system's other programs change the ANSI (GBK) code of a character, not
// its Unicode one; a text no longer than the key holds nothing.
TEST(Scramble, StoredValuesUnscrambleAndRoundTripsHideTheText) {
  for (auto [stored, plain] : {std::pair{"qaBKBBOBG", "sa"}, {"恿户BH@GKEA", "用户"}, {"涨三惯冷园GKEAGSC", "张三管理员"},
                               {"ABCDEFG", ""}, {"", ""}})
    EXPECT_EQ(UnscrambleText(QString::fromUtf8(stored), kKey), QString::fromUtf8(plain)) << stored;
  EXPECT_EQ(UnscrambleText("ABCDEFGH", kKey).size(), 1);
  QSet<QString> texts;  // the filler is random
  for (const QString& plain : {QString(), QString("sa"), QString("sa"), QString("P@ss w0rd'\"!"), QString("张三管理员")}) {
    const QString scrambled = ScrambleText(plain, kKey);
    texts.insert(scrambled);
    EXPECT_EQ(scrambled.size(), plain.size() + 7) << plain.toStdString();
    EXPECT_EQ(UnscrambleText(scrambled, kKey), plain) << plain.toStdString();
    EXPECT_TRUE(plain.size() < 3 || !scrambled.contains(plain));
    for (QChar c : scrambled) EXPECT_TRUE(c.unicode() < 128 || plain.toUtf8().size() > plain.size());  // ASCII stays ASCII
  }
  EXPECT_EQ(texts.size(), 5);
}

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
      // The program says what failed; a driver's own words only follow as the detail.
      {{S, "db01", "yarrow", "sa", "pw", "Driver=SQLite3;Database=@/missing.db"}, "Driver=SQLite3;Database=@/missing.db",
       {kFailed + "找不到数据库文件 '@/missing.db'。"}},
      {{S, "db01", "yarrow", "sa", "pw", "Driver={Corvina No Such Driver};Server=db01;"}, {},
       {kFailed + "不能连接数据库。\r\n详细信息：[unixODBC]"}},
      // The SQLite entry needs only the file, and is saved as the full string.
      {{SqliteProvider, "@/system.db", "", "", "", ""}, "Driver=SQLite3;Database=@/system.db", {kOk}},
      {{SqliteProvider, "", "", "", "", ""}, {}, {kEmpty}},
      {{SqliteProvider, "@/missing.db", "", "", "", ""}, "Driver=SQLite3;Database=@/missing.db",
       {kFailed + "找不到数据库文件 '@/missing.db'。"}},
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
    if (!sqlite && !f.ConnectionString.contains("No Such Driver"))
      settings.openConnection = [&](const QString& c) {
        opened = c;
        if (c.contains("Server=;")) throw DataError(-1, "ODBC", "no server");
      };
    const bool saved = row.prompts == QStringList{kOk};
    EXPECT_EQ(settings.TestAndSave(f), saved) << what;
    EXPECT_EQ(sqlite ? settings.WorkingString() : opened, here(row.opened)) << what;
    QStringList prompts = s.ui->prompts();
    for (int i = 0; i < prompts.size() && i < row.prompts.size(); ++i) prompts[i] = prompts[i].left(here(row.prompts[i]).size());
    EXPECT_EQ(prompts, QStringList(row.prompts).replaceInStrings("@", folder.dir.path())) << what;
    for (const auto& shown : s.ui->shown)
      EXPECT_TRUE(!shown.prompt.startsWith(kFailed) || shown.style.kind == MessageKind::Error) << what;
    EXPECT_EQ(QFileInfo(folder.ini()).isFile(), saved) << what;
    if (!saved) continue;
    const OdbcIniFields back = settings.Load();
    EXPECT_EQ(back.PassWord + '|' + back.UserID, f.PassWord + '|' + f.UserID) << what;  // as typed
    EXPECT_FALSE(readFile(folder.ini()).contains("User ID=" + f.UserID.toUtf8() + "\r")) << what;  // scrambled
    EXPECT_TRUE(!sqlite || ConnectionSettings::connectionString() == settings.WorkingString()) << what;
  }
}

// The window as an administrator meets it: the stored entry in the boxes, the
// password hidden, a successful test saving, the SQLite entry needing only its
// file, and 关闭 saving nothing more.
TEST(SettingsDialogWindow, LoadTestSwitchAndClose) {
  uiTestApp();
  SettingsFolder folder;
  Scripted s;
  WriteIniString("ODBC", "Provider", "{PostgreSQL Unicode}", folder.ini());
  WriteIniString("ODBC", "Data Source", "db01", folder.ini());
  WriteIniString("ODBC", "User ID", ScrambleText("sa", kKey), folder.ini());
  frmSysOdbcIni dialog;
  const auto box = [&](const char* name) { return dialog.findChild<QLineEdit*>(name); };
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  ASSERT_TRUE(provider && box("txtDataSource") && box("txtUserID") && box("txtPassWord") && box("txtInitialCatalog"));
  EXPECT_EQ(provider->currentText() + '|' + box("txtDataSource")->text() + '|' + box("txtUserID")->text(),
            "{PostgreSQL Unicode}|db01|sa");
  dialog.settings().openConnection = [](const QString&) {};
  box("txtInitialCatalog")->setText("yarrow");
  box("txtPassWord")->setText("pw");
  EXPECT_EQ(box("txtPassWord")->displayText(), "**");
  dialog.findChild<QPushButton*>("cmdTest")->click();
  EXPECT_EQ(s.ui->prompts(), QStringList{kOk});
  EXPECT_EQ(UnscrambleText(ReadIniString("ODBC", "PassWord", folder.ini()), kKey), "pw");
  EXPECT_EQ(ReadIniString("ODBC", "Initial Catalog", folder.ini()), "yarrow");

  provider->setCurrentText(SqliteProvider);
  EXPECT_FALSE(box("txtUserID")->isEnabled());
  const QByteArray saved = readFile(folder.ini());
  box("txtDataSource")->setText(folder.dir.path() + "/other.db");
  dialog.show();
  dialog.findChild<QPushButton*>("cmdClose")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(readFile(folder.ini()), saved);
  EXPECT_EQ(s.ui->prompts().size(), 1);
}

// Each driver keeps its own boxes: a SQLite file never becomes a server name,
// and what was typed for a driver is there again when it is chosen again.
TEST(SettingsDialogWindow, SwitchingDriversKeepsEachDriversFieldsApart) {
  uiTestApp();
  SettingsFolder folder;
  Scripted s;
  const QString file = folder.dir.path() + "/system.db";
  WriteIniString("ODBC", "Provider", SqliteProvider, folder.ini());
  WriteIniString("ODBC", "Data Source", file, folder.ini());
  frmSysOdbcIni dialog;
  auto* provider = dialog.findChild<QComboBox*>("cboProvider");
  const auto box = [&](const char* name) { return dialog.findChild<QLineEdit*>(name); };
  const struct { QString driver; QString typeServer, typeUser; QString server, user; } rows[] = {
      {"{SQL Server}", "db01", "sa", "", ""},
      {SqliteProvider, "", "", file, ""},
      {"{PostgreSQL Unicode}", "pg01", "", "", ""},
      {"{SQL Server}", "", "", "db01", "sa"},
      {"{PostgreSQL Unicode}", "", "", "pg01", ""},
      {SqliteProvider, "", "", file, ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.driver.toStdString());
    provider->setCurrentIndex(provider->findText(row.driver));
    EXPECT_EQ(box("txtDataSource")->text(), row.server);
    EXPECT_EQ(box("txtUserID")->text(), row.user);
    EXPECT_EQ(box("txtString")->text().contains(file), row.driver == SqliteProvider);
    if (!row.typeServer.isEmpty()) box("txtDataSource")->setText(row.typeServer);
    if (!row.typeUser.isEmpty()) box("txtUserID")->setText(row.typeUser);
  }
  EXPECT_TRUE(s.ui->shown.empty());
}

// The five exchange files used last, newest first: the sixth pushes out the
// oldest, and one used again moves to the front instead of standing twice.
TEST(UserSettings, RecentFilesKeepTheFiveNewestAndFoldersComeBack) {
  TestEnv env;
  const struct { const char* use; QStringList recent; } rows[] = {
      {"1", {"1"}},
      {"2", {"2", "1"}},
      {"3|4|5", {"5", "4", "3", "2", "1"}},
      {"6", {"6", "5", "4", "3", "2"}},
      {"4", {"4", "6", "5", "3", "2"}},
      {"", {"4", "6", "5", "3", "2"}}};
  for (const auto& row : rows) {
    for (const QString& f : QString(row.use).split('|', Qt::SkipEmptyParts)) UserSettings::AddRecentFile("/banks/" + f + ".mdb");
    QStringList expected;
    for (const QString& f : row.recent) expected << "/banks/" + f + ".mdb";
    EXPECT_EQ(UserSettings::RecentFiles(), expected) << row.use;
  }
  QDir().mkpath(env.path("banks/old"));
  const struct { const char* dialog; QString chosen; QString remembered; } folders[] = {
      {"openMdbFile", env.path("banks/a.mdb"), env.path("banks")},
      {"browseFolder/选择导出的文件夹", env.path("banks/old"), env.path("banks/old")},
      {"openMdbFile", "", env.path("banks")},  // a cancelled dialog forgets nothing
      {"saveMdbFile", env.path("banks/old/b.mdb"), env.path("banks/old")}};
  for (const auto& f : folders) {
    UserSettings::RememberFolder(f.dialog, f.chosen);
    EXPECT_EQ(UserSettings::LastFolder(f.dialog), f.remembered) << f.dialog;
  }
  EXPECT_EQ(UserSettings::LastFolder("never opened"), "");
}

}  // namespace
