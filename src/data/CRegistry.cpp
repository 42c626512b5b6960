#include "data/ConnectionSettings.h"
#include "data/CRegistry.h"

#include <QDir>
#include <QFileInfo>

#include "data/IniFile.h"
#include "data/Scramble.h"

QString CRegistry::registryFile() {
  const QString fromEnv = qEnvironmentVariable("CORVINA_REGISTRY");
  return fromEnv.isEmpty() ? QStringLiteral("/etc/xdg/Oriel/registry.ini") : fromEnv;
}

// HKEY_LOCAL_MACHINE is the registry the applications share; the other roots
// get their own prefix so they never collide with it.
QString CRegistry::keyPath(const QString& AppName, const QString& SecName, Root root) {
  static const char* const prefixes[] = {"HKEY_CLASSES_ROOT\\", "HKEY_CURRENT_USER\\", "", "HKEY_USERS\\"};
  QString path = QLatin1String(prefixes[root]) + QStringLiteral("Software\\") + AppName;
  if (!SecName.isEmpty()) path += '\\' + SecName;
  return path;
}

QString CRegistry::GetKeyValue(const QString& AppName, const QString& SecName, const QString& KeyName,
                               Root root) const {
  const IniDocument registry = IniDocument::load(registryFile());
  const QString path = keyPath(AppName, SecName, root);
  if (!registry.hasSection(path)) return QStringLiteral("fail to open key");
  const auto value = registry.value(path, KeyName);
  if (!value) return QStringLiteral("fail to get value");
  // A stored terminating NUL is not part of the value.
  return value->section(QChar(0), 0, 0);
}

QString CRegistry::SetKeyValue(const QString& AppName, const QString& SecName, const QString& KeyName,
                               const QString& KeyValue, Root root) const {
  const QString file = registryFile();
  QDir().mkpath(QFileInfo(file).absolutePath());
  IniDocument registry = IniDocument::load(file);
  registry.setValue(keyPath(AppName, SecName, root), KeyName, KeyValue.section(QChar(0), 0, 0));
  registry.save(file);
  return {};
}

QString CRegistry::EncryptText(QString& text) const {
  const qsizetype nul = text.indexOf(QChar(0));
  if (nul >= 0) text.truncate(nul);
  return ScrambleText(text, ConnectionSettings::Key);
}

// The plain value is never written anywhere: only its scrambled form is stored.
void CRegistry::SetEncryptValue(QString& key, QString& value) const {
  QString trimmed = value.trimmed();
  SetKeyValue(QStringLiteral("Oriel"), QStringLiteral("DB"), key, EncryptText(trimmed));
}
