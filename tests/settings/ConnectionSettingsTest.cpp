#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "data/CDataAccess.h"
#include "data/CRegistry.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "data/Scramble.h"
#include "settings/SettingsFixture.h"

namespace {
const QString kKey = ConnectionSettings::Key;

void setDb(const char* name, const QString& value) {
  CRegistry().SetKeyValue("Oriel", "DB", QLatin1String(name), value);
}
void setScrivel(const char* name, const QString& value) {
  CRegistry().SetKeyValue("Oriel", "Scrivel", QLatin1String(name), value);
}

// ---- odbc.ini present (Algorithm A) ----

TEST(ConnectionStringFromIni, AFullStringIsUsedVerbatimWhateverTheOtherKeysHold) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(),
                   "[ODBC]\r\nData Source=ignored\r\nUser ID=x\r\n"
                   "ConnectionString=Driver=SQLite3;Database=/data/system.db\r\n");
  setScrivel("OnLineStatus", "False");  // the registry plays no part when the file exists
  EXPECT_EQ(ConnectionSettings::connectionString(), "Driver=SQLite3;Database=/data/system.db");
}

TEST(ConnectionStringFromIni, WithoutAFullStringTheKeysBuildOneWithoutFinalSemicolon) {
  SettingsFolder folder;
  WriteIniString("ODBC", "Provider", "{ignored}", folder.ini());
  WriteIniString("ODBC", "Data Source", "  db01  ", folder.ini());
  WriteIniString("ODBC", "Initial Catalog", "yarrow", folder.ini());
  WriteIniString("ODBC", "User ID", ScrambleText("sa", kKey), folder.ini());
  WriteIniString("ODBC", "PassWord", ScrambleText("s3cret", kKey), folder.ini());
  EXPECT_EQ(ConnectionSettings::connectionString(),
            "Driver={SQL Server};Server=db01;Database=yarrow;uid=sa;pwd=s3cret");
}

TEST(ConnectionStringFromIni, MissingKeysLeaveEmptyPartsAndNeverFallBackToTheRegistry) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(), "");
  setDb("SystemDBHost", "registry-host");
  EXPECT_EQ(ConnectionSettings::connectionString(), "Driver={SQL Server};Server=;Database=;uid=;pwd=");
}

// ---- no odbc.ini: the registry (Algorithm B) ----

TEST(ConnectionStringFromRegistry, AFolderNamedOdbcIniIsNoSettingsFile) {
  SettingsFolder folder;
  QDir().mkpath(folder.ini());
  setScrivel("OnLineStatus", "False");
  setScrivel("OfflineDBName", "/srv/offline.db");
  EXPECT_EQ(ConnectionSettings::connectionString(),
            "Provider=MSDataShape;Data Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/offline.db;");
}

TEST(ConnectionStringFromRegistry, OnlineWithUserAndPassword) {
  SettingsFolder folder;
  setScrivel("OnLineStatus", "True");
  setDb("SystemDBHost", "exam-server");
  setDb("SystemDBName", "Yarrow");
  setDb("WindowsLogin", "False");
  setDb("DBUser", ScrambleText("sa", kKey));
  setDb("DBUserPassword", ScrambleText("pw", kKey));
  EXPECT_EQ(ConnectionSettings::connectionString(), "Driver={SQL Server};Server=exam-server;Database=Yarrow;Uid=sa;Pwd=pw;");
}

TEST(ConnectionStringFromRegistry, MissingOnlineStatusMeansOnline) {
  SettingsFolder folder;
  setDb("SystemDBHost", "h");
  setDb("SystemDBName", "n");
  setDb("DBUser", ScrambleText("u", kKey));
  setDb("DBUserPassword", ScrambleText("p", kKey));
  // WindowsLogin missing: login with user and password.
  EXPECT_EQ(ConnectionSettings::connectionString(), "Driver={SQL Server};Server=h;Database=n;Uid=u;Pwd=p;");
}

TEST(ConnectionStringFromRegistry, NoRegistryAtAllBuildsTheOnlineStringFromFailureTexts) {
  SettingsFolder folder;
  // Unreadable values go into the string as read; the connection then fails.
  const QString garbage = UnscrambleText("fail to open key", kKey);
  EXPECT_EQ(ConnectionSettings::connectionString(), "Driver={SQL Server};Server=fail to open key;Database=fail to open key;Uid=" +
                                                        garbage + ";Pwd=" + garbage + ";");
}

TEST(ConnectionStringFromRegistry, WindowsLoginReadsNoUserOrPassword) {
  SettingsFolder folder;
  setScrivel("OnLineStatus", "1");
  setDb("SystemDBHost", "h");
  setDb("SystemDBName", "n");
  setDb("WindowsLogin", "true");
  setDb("DBUser", "not even scrambled");
  EXPECT_EQ(ConnectionSettings::connectionString(), "Driver={SQL Server};Server=h;Database=n;Trusted_Connection=Yes;");
}

TEST(ConnectionStringFromRegistry, OfflineNamesTheLocalDatabase) {
  SettingsFolder folder;
  setScrivel("OnLineStatus", "0");
  setScrivel("OfflineDBName", "/srv/yarrow/offline.db");
  EXPECT_EQ(ConnectionSettings::connectionString(),
            "Provider=MSDataShape;Data Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/srv/yarrow/offline.db;");
}

TEST(ConnectionStringFromRegistry, AFlagThatIsNeitherBooleanNorNumberIsATypeMismatch) {
  SettingsFolder folder;
  setScrivel("OnLineStatus", "yes");
  try {
    ConnectionSettings::connectionString();
    FAIL() << "expected a type mismatch";
  } catch (const DataError& e) {
    EXPECT_EQ(e.number(), 13);
  }
  setScrivel("OnLineStatus", "True");
  setDb("WindowsLogin", "");
  EXPECT_THROW(ConnectionSettings::connectionString(), DataError);
}

TEST(ConnectionStringFromRegistry, ADataAccessObjectFailsToBeCreatedOnATypeMismatch) {
  SettingsFolder folder;
  setScrivel("OnLineStatus", "maybe");
  EXPECT_THROW(CDataAccess dal, DataError);
}

TEST(ConnectionStringFromRegistry, TheOfflineDatabaseIsOpenedByANewDataAccessObject) {
  SettingsFolder folder;
  const QString db = folder.dir.path() + "/offline.db";
  {
    QFile f(db);
    f.open(QIODevice::WriteOnly);
  }
  setScrivel("OnLineStatus", "False");
  setScrivel("OfflineDBName", db);
  CDataAccess dal;
  EXPECT_TRUE(dal.IsConnected());
  EXPECT_TRUE(dal.ConnectionString().endsWith("Data Source=" + db + ";"));
}

// ---- CRegistry ----

TEST(Registry, MissingKeyAndMissingValueHaveTheirFailureTexts) {
  SettingsFolder folder;
  const CRegistry registry;
  EXPECT_EQ(registry.GetKeyValue("Oriel", "DB", "SystemDBHost"), "fail to open key");
  registry.SetKeyValue("Oriel", "DB", "SystemDBName", "");
  EXPECT_EQ(registry.GetKeyValue("Oriel", "DB", "SystemDBHost"), "fail to get value");
  EXPECT_EQ(registry.GetKeyValue("Oriel", "DB", "SystemDBName"), "");
}

TEST(Registry, ValuesLiveInOneSectionPerKeyPath) {
  SettingsFolder folder;
  const CRegistry registry;
  registry.SetKeyValue("Oriel", "DB", "SystemDBHost", "exam-server");
  registry.SetKeyValue("Oriel", "Scrivel", "OnLineStatus", "True");
  registry.SetKeyValue("Oriel", "DB", "SystemDBHost", "other-server", CRegistry::HKEY_CURRENT_USER);
  const QByteArray file = folder.readFile(folder.registryFile());
  EXPECT_TRUE(file.contains("[Software\\Oriel\\DB]\r\nSystemDBHost=exam-server")) << file.constData();
  EXPECT_TRUE(file.contains("[Software\\Oriel\\Scrivel]\r\nOnLineStatus=True"));
  EXPECT_EQ(registry.GetKeyValue("Oriel", "DB", "SystemDBHost"), "exam-server");
  EXPECT_EQ(registry.GetKeyValue("Oriel", "DB", "SystemDBHost", CRegistry::HKEY_CURRENT_USER), "other-server");
}

TEST(Registry, ValuesLongerThanAnIniBufferSurvive) {
  SettingsFolder folder;
  const QString longPath = "/srv/" + QString(300, 'd') + "/offline.db";
  CRegistry().SetKeyValue("Oriel", "Scrivel", "OfflineDBName", longPath);
  EXPECT_EQ(CRegistry().GetKeyValue("Oriel", "Scrivel", "OfflineDBName"), longPath);
}

TEST(Registry, EncryptTextCutsAtTheFirstNul) {
  SettingsFolder folder;
  QString text = QStringLiteral("sa") + QChar(0) + QStringLiteral("garbage");
  const QString scrambled = CRegistry().EncryptText(text);
  EXPECT_EQ(text, "sa");
  EXPECT_EQ(UnscrambleText(scrambled, kKey), "sa");
}

TEST(Registry, SetEncryptValueStoresOnlyTheScrambledTrimmedValue) {
  SettingsFolder folder;
  QString key = "DBUserPassword";
  QString value = "  topsecret ";
  CRegistry().SetEncryptValue(key, value);
  const QString stored = CRegistry().GetKeyValue("Oriel", "DB", "DBUserPassword");
  EXPECT_EQ(stored.size(), QString("topsecret").size() + 7);
  EXPECT_EQ(UnscrambleText(stored, kKey), "topsecret");
  EXPECT_FALSE(folder.readFile(folder.registryFile()).contains("topsecret"));
  // No diagnostic file beside the registry or in the program folder.
  EXPECT_EQ(QDir(folder.dir.path()).entryList(QDir::Files), QStringList{"registry.ini"});
}

TEST(Registry, StoredCredentialsMakeTheConnectionString) {
  SettingsFolder folder;
  QString userKey = "DBUser", user = "sa";
  QString passwordKey = "DBUserPassword", password = "pw";
  const CRegistry registry;
  registry.SetEncryptValue(userKey, user);
  registry.SetEncryptValue(passwordKey, password);
  setDb("SystemDBHost", "h");
  setDb("SystemDBName", "n");
  EXPECT_EQ(ConnectionSettings::registryConnectionString(), "Driver={SQL Server};Server=h;Database=n;Uid=sa;Pwd=pw;");
}

}  // namespace
