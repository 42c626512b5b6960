#include "ui/modBrowseFolder.h"

#include <QDir>
#include <QFileDialog>

QString BrowseForFolder(QWidget* owner, const QString& strTitle, const QString& strInitialFolder) {
  const QString chosen = QFileDialog::getExistingDirectory(owner, strTitle, strInitialFolder,
                                                           QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return {};
  return QDir(chosen).absolutePath();
}
