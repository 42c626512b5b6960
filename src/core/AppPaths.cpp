#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "resources/Strings.h"

namespace AppPaths {

QString programFolder() {
  const QString home = qEnvironmentVariable("CORVINA_HOME");
  if (!home.isEmpty()) return QDir::cleanPath(home);
  return executableFolder();
}

QString executableFolder() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
  return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
}

QString mdbReaderProgram() { return executableFolder() + QStringLiteral("/corvina-mdb-reader"); }

QString inProgramFolder(const QString& fileName) { return programFolder() + '/' + fileName; }
QString iniFile() { return inProgramFolder(QStringLiteral("odbc.ini")); }
QString templateFile() { return inProgramFolder(Res::str(Res::TemplateFile)); }
QString errorLogFile() { return inProgramFolder(QStringLiteral("ErrorLog.TXT")); }
QString exportFolder() { return programFolder() + QStringLiteral("/../QuornBanks"); }
QString demoDatabase() { return inProgramFolder(QStringLiteral("demo/system.db")); }

}  // namespace AppPaths
