#pragma once
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <utility>
#include <vector>

// Appends an entry to ErrorLog.TXT in the program folder and, unless bQuiet,
// shows the error with the program version in the title. A failing log write
// is reported and does not stop the routine.
void LogError(const QString& strModule, const QString& strProcedure, qint32 nErrNumber,
              const QString& strDescription, bool bQuiet);

// The title of LogError's message: "Unexpected Error! Version: 1.5.0035".
QString ErrorTitle();

// The open-file dialog's selection text to full paths: one item is a full path;
// several blank-separated items are a folder followed by file names.
QStringList SplitFileList(const QString& strFileList);

// The statements of the subject and course listings (the main window's grids
// and the command line's listings). nSubjectID 0 or less lists every course.
QString SubjectListSql();
QString CourseListSql(qint32 nSubjectID);

// Files directly in the folder (not in subfolders) whose names end in "MDB" in
// any letter case, in the order the file system lists them.
QStringList MdbFilesOfFolder(const QString& strFolder);

// A course name as a file name (without extension): "/" and NUL become "_",
// and "." or ".." become "_", so the file stays inside the chosen folder.
QString SafeFileName(const QString& strName);

// The files that courses (ID and name) exported together into one folder go
// to, in their order: <name>.mdb, or <name> (ID).mdb when a course before it
// in the run took that file name already, so that no file is written twice.
// Names are compared as the file system compares them: after SafeFileName,
// as the bytes of the file name.
QStringList ExportFilesOfCourses(const QString& strFolder, const std::vector<std::pair<qint32, QString>>& courses);
