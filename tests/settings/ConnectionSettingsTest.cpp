#include <gtest/gtest.h>

#include <QDir>

#include <optional>

#include "data/CRegistry.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/Scramble.h"
#include "settings/SettingsFixture.h"

namespace {
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

}  // namespace
