#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Sets an environment variable for the lifetime of the object.
class ScopedEnvVar {
 public:
  ScopedEnvVar(const char* name, const QString& value) : name_(name), had_(qEnvironmentVariableIsSet(name)) {
    previous_ = qgetenv(name);
    qputenv(name, value.toUtf8());
  }
  ~ScopedEnvVar() {
    if (had_)
      qputenv(name_, previous_);
    else
      qunsetenv(name_);
  }
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  const char* name_;
  bool had_;
  QByteArray previous_;
};

// A program folder of its own (no odbc.ini unless a test writes one) and a
// registry file of its own.
struct SettingsFolder {
  QTemporaryDir dir;
  ScopedEnvVar home{"CORVINA_HOME", dir.path()};
  ScopedEnvVar registry{"CORVINA_REGISTRY", dir.path() + QStringLiteral("/registry.ini")};

  QString ini() const { return dir.path() + QStringLiteral("/odbc.ini"); }
  QString registryFile() const { return dir.path() + QStringLiteral("/registry.ini"); }
  void writeFile(const QString& path, const QByteArray& content) const {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(content);
  }
  QByteArray readFile(const QString& path) const {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }
};
