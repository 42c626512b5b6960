#pragma once

// The commands' entry, shared by corvina (which also has the windows) and
// corvina-cli (commands only).
namespace CliMain {
// True when the first argument names a command rather than asking for the windows.
bool wantsCommand(int argc, char* argv[]);
// Runs the command the arguments name and returns the process exit status.
int run(int argc, char* argv[]);
}  // namespace CliMain
