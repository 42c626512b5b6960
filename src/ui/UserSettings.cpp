#include "ui/UserSettings.h"

#include <QDialog>
#include <QFileInfo>
#include <QSettings>
#include <QWidget>

#include <memory>

namespace {
std::unique_ptr<QSettings> store() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("corvina"),
                                     QStringLiteral("corvina"));
}

QString geometryKey(const QWidget& window) { return QStringLiteral("geometry/") + window.objectName(); }
const QString RecentKey = QStringLiteral("recentFiles");
}  // namespace

bool UserSettings::RestoreGeometry(QWidget& window) {
  const QByteArray saved = store()->value(geometryKey(window)).toByteArray();
  return !saved.isEmpty() && window.restoreGeometry(saved);
}

void UserSettings::SaveGeometry(const QWidget& window) { store()->setValue(geometryKey(window), window.saveGeometry()); }

QString UserSettings::LastFolder(const QString& dialog) {
  return store()->value(QStringLiteral("folders/") + dialog).toString();
}

void UserSettings::RememberFolder(const QString& dialog, const QString& chosen) {
  if (chosen.isEmpty()) return;
  const QFileInfo info(chosen);
  store()->setValue(QStringLiteral("folders/") + dialog, info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

QStringList UserSettings::RecentFiles() { return store()->value(RecentKey).toStringList().mid(0, RecentFileCount); }

void UserSettings::AddRecentFile(const QString& path) {
  if (path.isEmpty()) return;
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  store()->setValue(RecentKey, files.mid(0, RecentFileCount));
}

void WithoutMaximiseButton(QDialog& dialog) {
  dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}
