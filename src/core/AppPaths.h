#pragma once
#include <QString>

// Every path the program uses derives from the program folder.
namespace AppPaths {
// CORVINA_HOME when set, else the executable's folder.
QString programFolder();
QString inProgramFolder(const QString& fileName);
QString iniFile();        // odbc.ini
QString templateFile();   // Template.mdb
QString errorLogFile();   // ErrorLog.TXT
QString exportFolder();   // <program folder>/../QuornBanks, not resolved
QString demoDatabase();   // <program folder>/demo/system.db
// The folder of the running executable (whatever CORVINA_HOME says): the
// helper programs built with it live there.
QString executableFolder();
QString mdbReaderProgram();  // corvina-mdb-reader
}  // namespace AppPaths
