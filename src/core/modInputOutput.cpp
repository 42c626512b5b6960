#include "core/modInputOutput.h"

#include <QDir>
#include <QFileInfo>

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSet>

#include "Version.h"
#include "core/AppPaths.h"
#include "core/Interaction.h"
#include "resources/Strings.h"

namespace {
const QString CrLf = QStringLiteral("\r\n");

// The system's general date-and-time text.
QString generalDateTime(const QDateTime& when) {
  const QLocale locale = QLocale::system();
  return locale.toString(when.date(), QLocale::ShortFormat) + ' ' +
         locale.toString(when.time(), QStringLiteral("HH:mm:ss"));
}

QString logEntry(const QString& strModule, const QString& strProcedure, qint32 nErrNumber,
                 const QString& strDescription) {
  return QStringLiteral("**** Error Encountered ") + generalDateTime(QDateTime::currentDateTime()) +
         QStringLiteral(" ****") + CrLf + QStringLiteral("Error Code:\t") + QString::number(nErrNumber) + CrLf +
         QStringLiteral("Description:\t") + strDescription + CrLf + QStringLiteral("Procedure:\t") + strProcedure +
         CrLf + QStringLiteral("Module:\t\t") + strModule + CrLf + CrLf;
}

// A failure of the log itself is shown and the caller goes on.
void reportLogFailure(const QString& description) { interaction().MsgBox(description, {}, QString()); }

void appendToErrorLog(const QString& entry) {
  QFile log(AppPaths::errorLogFile());
  if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
    reportLogFailure(log.errorString());
    return;
  }
  if (log.write(entry.toUtf8()) < 0) reportLogFailure(log.errorString());
  if (!log.flush()) reportLogFailure(log.errorString());
  log.close();
}
}  // namespace

QString ErrorTitle() {
  return QStringLiteral("Unexpected Error! Version: %1.%2.%3")
      .arg(CORVINA_VERSION_MAJOR)
      .arg(CORVINA_VERSION_MINOR)
      .arg(CORVINA_VERSION_REVISION, 4, 10, QLatin1Char('0'));
}

void LogError(const QString& strModule, const QString& strProcedure, qint32 nErrNumber,
              const QString& strDescription, bool bQuiet) {
  appendToErrorLog(logEntry(strModule, strProcedure, nErrNumber, strDescription));
  const QString strMessage = QStringLiteral("Error:") + strDescription + CrLf + CrLf + QStringLiteral("Module:") +
                             strModule + CrLf + QStringLiteral("Procedure:") + strProcedure + CrLf;
  if (!bQuiet) interaction().MsgBox(strMessage, {MessageKind::Error}, ErrorTitle());
}

QStringList SplitFileList(const QString& strFileList) {
  if (strFileList.isEmpty()) return {};
  const QStringList items = strFileList.split(QLatin1Char(' '));
  if (items.size() == 1) return items;
  QString folder = items.front();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  QStringList paths;
  for (qsizetype i = 1; i < items.size(); ++i) paths << folder + items.at(i);
  return paths;
}

QString SafeFileName(const QString& strName) {
  if (strName == QLatin1String(".") || strName == QLatin1String("..")) return QStringLiteral("_");
  QString safe = strName;
  safe.replace(QLatin1Char('/'), QLatin1Char('_'));
  safe.replace(QChar(0), QLatin1Char('_'));
  return safe;
}

QStringList ExportFilesOfCourses(const QString& strFolder, const std::vector<std::pair<qint32, QString>>& courses) {
  QSet<QByteArray> taken;
  QStringList files;
  for (const auto& [nCourseID, strName] : courses) {
    QString strFile = SafeFileName(strName) + QStringLiteral(".mdb");
    while (taken.contains(QFile::encodeName(strFile)))
      strFile = strFile.chopped(4) + QStringLiteral(" (%1).mdb").arg(nCourseID);
    taken.insert(QFile::encodeName(strFile));
    files << strFolder + '/' + strFile;
  }
  return files;
}

QString SubjectListSql() { return QStringLiteral("select subjectid,name,description from SUBJECT "); }

QString CourseListSql(qint32 nSubjectID) {
  QString strSQL = QStringLiteral("select courseID,Name,Description from course ");
  if (nSubjectID > 0) strSQL += QStringLiteral("where keysubjectid=") + QString::number(nSubjectID);
  return strSQL;
}

QStringList MdbFilesOfFolder(const QString& strFolder) {
  QStringList files;
  const QFileInfoList entries =
      QDir(strFolder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
  for (const QFileInfo& entry : entries)
    if (entry.fileName().right(3).toUpper() == QLatin1String("MDB")) files << entry.absoluteFilePath();
  return files;
}
