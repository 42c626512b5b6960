#pragma once
#include <QStringList>

// corvina init-demo [--problems N] [--force]: creates the demo system database
// at <program folder>/demo/system.db and, when there is no odbc.ini yet, one
// whose "ConnectionString" names it. args are the words after "init-demo".
// Returns the process exit code.
int runInitDemo(const QStringList& args);
