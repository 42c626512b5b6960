#pragma once
#include <QString>

class QWidget;

// The About box: the program's version and the versions of what it runs on
// (Qt, libmdb, the database drivers), for a user reporting a problem.
QString AboutText();
void ShowAbout(QWidget* parent);
