#pragma once
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// What the windows remember for the person between runs, in the user's own
// settings (QSettings): where each window was, the last folder of each file
// dialog and the exchange files used last.
namespace UserSettings {

// How many exchange files the file field offers again.
constexpr int RecentFileCount = 5;

// False when nothing is remembered for the window (by its object name): it
// keeps the size and place it has.
bool RestoreGeometry(QWidget& window);
void SaveGeometry(const QWidget& window);

// The folder a file dialog opened last (empty when none yet), by the dialog's
// name; RememberFolder takes a chosen file or folder.
QString LastFolder(const QString& dialog);
void RememberFolder(const QString& dialog, const QString& chosen);

// Most recent first, without repeats, at most RecentFileCount.
QStringList RecentFiles();
void AddRecentFile(const QString& path);

}  // namespace UserSettings

// Dialogs get a close button but no maximise button: their layout has nothing
// to fill a whole screen with.
void WithoutMaximiseButton(QDialog& dialog);
