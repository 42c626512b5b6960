#pragma once
#include <QStringList>

// The headless commands: corvina <command> [options]. The same engines and
// rules as the windows; questions get the answer that keeps data safe.
namespace CommandLine {
// True when word is meant as a command rather than for the windows.
bool isCommand(const QString& word);
// args: the words after the program name. Returns the exit status:
// 0 everything asked for succeeded, 1 something failed, 2 usage error.
int run(const QStringList& args);
// A secret for a command: the environment variable's value when it is set,
// otherwise typed at a prompt on the terminal without echo; empty when there
// is no terminal.
QString readSecret(const char* environmentVariable, const QString& prompt);
}  // namespace CommandLine
