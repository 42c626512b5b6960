#pragma once
#include <QFile>
#include <QTemporaryDir>

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
  QByteArray readFile(const QString& path) const {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
};
