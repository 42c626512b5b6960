#include "data/ConnectionSettings.h"

#include <QFile>
#include <QFileInfo>

#include "core/AppPaths.h"

// Interim: only the full "ConnectionString" of odbc.ini is honoured.
namespace ConnectionSettings {
QString connectionString(QString* registryString) {
  (void)registryString;
  QFile f(AppPaths::iniFile());
  if (!f.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray& line : f.readAll().split('\n')) {
    const QString l = QString::fromUtf8(line).trimmed();
    if (l.startsWith(QLatin1String("ConnectionString=")))
      return l.mid(17).trimmed();
  }
  return {};
}
}  // namespace ConnectionSettings
