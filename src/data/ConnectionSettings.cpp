#include "data/ConnectionSettings.h"

#include <QFileInfo>

#include "core/AppPaths.h"
#include "data/CRegistry.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "data/Scramble.h"

namespace ConnectionSettings {
namespace {
const QString kSection = QStringLiteral("ODBC");
const QString kApp = QStringLiteral("Oriel");

// GetKeyValue's failure texts start with "fail".
bool unreadable(const QString& value) { return value.left(4) == QLatin1String("fail"); }

QString readDbKey(const CRegistry& registry, const char* name) {
  return registry.GetKeyValue(kApp, QStringLiteral("DB"), QLatin1String(name));
}
}  // namespace

bool toBoolean(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  const double number = t.toDouble(&ok);
  if (!ok) throw DataError(13, QStringLiteral("Corvina"), QStringLiteral("Type mismatch"));
  return number != 0.0;
}

QString sqlServerString(const QString& server, const QString& database, const QString& user,
                        const QString& password) {
  return QStringLiteral("Driver={SQL Server};Server=") + server + QStringLiteral(";Database=") + database +
         QStringLiteral(";Uid=") + user + QStringLiteral(";Pwd=") + password + ';';
}

QString sqliteString(const QString& file) { return QStringLiteral("Driver=SQLite3;Database=") + file; }

QString iniConnectionString(const QString& iniFile) {
  const QString full = ReadIniString(kSection, QStringLiteral("ConnectionString"), iniFile);
  if (!full.isEmpty()) return full;
  auto read = [&](const char* key) { return ReadIniString(kSection, QLatin1String(key), iniFile).trimmed(); };
  // Unlike the registry string this one ends with the password, no semicolon.
  return QStringLiteral("Driver={SQL Server};Server=") + read("Data Source") + QStringLiteral(";Database=") +
         read("Initial Catalog") + QStringLiteral(";uid=") + UnscrambleText(read("User ID"), Key) +
         QStringLiteral(";pwd=") + UnscrambleText(read("PassWord"), Key);
}

QString registryConnectionString() {
  const CRegistry registry;
  const QString status = registry.GetKeyValue(kApp, QStringLiteral("Scrivel"), QStringLiteral("OnLineStatus"));
  const bool online = unreadable(status) || toBoolean(status);
  if (!online)
    return QStringLiteral("Provider=MSDataShape;Data Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
           registry.GetKeyValue(kApp, QStringLiteral("Scrivel"), QStringLiteral("OfflineDBName")) + ';';
  const QString host = readDbKey(registry, "SystemDBHost");
  const QString name = readDbKey(registry, "SystemDBName");
  const QString windowsLogin = readDbKey(registry, "WindowsLogin");
  const bool windows = !unreadable(windowsLogin) && toBoolean(windowsLogin);
  if (windows)
    return QStringLiteral("Driver={SQL Server};Server=") + host + QStringLiteral(";Database=") + name +
           QStringLiteral(";Trusted_Connection=Yes;");
  return sqlServerString(host, name, UnscrambleText(readDbKey(registry, "DBUser"), Key),
                         UnscrambleText(readDbKey(registry, "DBUserPassword"), Key));
}

QString connectionString() {
  const QString ini = AppPaths::iniFile();
  if (QFileInfo(ini).isFile()) return iniConnectionString(ini);
  return registryConnectionString();
}
}  // namespace ConnectionSettings
