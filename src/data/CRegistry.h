#pragma once
#include <QString>

// The machine registry the examination system's applications share. On this
// platform it is an INI file: $CORVINA_REGISTRY, else /etc/xdg/Oriel/registry.ini;
// one section per key path ("Software\Oriel\DB"), string values.
class CRegistry {
 public:
  enum Root { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS };

  static QString registryFile();

  // The value text; "fail to open key" when the key is missing, "fail to get
  // value" when the value is.
  QString GetKeyValue(const QString& AppName, const QString& SecName, const QString& KeyName,
                      Root root = HKEY_LOCAL_MACHINE) const;
  // Creates the key when needed. The result carries no information.
  QString SetKeyValue(const QString& AppName, const QString& SecName, const QString& KeyName,
                      const QString& KeyValue, Root root = HKEY_LOCAL_MACHINE) const;

  // Cuts text before its first NUL and returns it scrambled.
  QString EncryptText(QString& text) const;
  // Stores value, trimmed and scrambled, as the value key of Software\Oriel\DB.
  void SetEncryptValue(QString& key, QString& value) const;

 private:
  static QString keyPath(const QString& AppName, const QString& SecName, Root root);
};
