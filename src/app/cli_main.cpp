#include "cli/CliMain.h"

// The commands without the windows: links no display library.
int main(int argc, char* argv[]) { return CliMain::run(argc, argv); }
