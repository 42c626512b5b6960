#pragma once
#include <QString>

class QWidget;

// Lets the user choose a folder, starting at strInitialFolder (the dialog's own
// default place when empty). Returns the chosen folder's full path, or the
// empty text when the user cancels.
QString BrowseForFolder(QWidget* owner, const QString& strTitle, const QString& strInitialFolder);
