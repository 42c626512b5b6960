#pragma once
#include <QStringList>

// corvina init-demo [--problems N] [--force]: creates the demo system database
// at <program folder>/demo/system.db and, when there is no odbc.ini yet, one
// whose "ConnectionString" names it. args are the words after "init-demo".
// With --connect STRING the schema and the demo rows go into the (empty)
// server database STRING names instead, e.g. "Driver={PostgreSQL Unicode};...".
// Returns the process exit code.
int runInitDemo(const QStringList& args);
