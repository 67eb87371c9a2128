// The command line of the tool: it parses the arguments and runs one command (commands/). The top
// of cli/ holds it (app.cpp, help.{h,cpp}), the two entry points (main_posix.cpp, main_windows.cpp)
// and the build; it may include every room below it:
//   cli/os        the door to the system: files, names, the console (posix/ and windows/ sides)
//   cli/show      what the user sees: messages and exit codes, progress, JSON, hints, texts
//   cli/set       the set model: opening a set, its pieces, digests, checksums, recovery files
//   cli/commands  one file per command
// each of which may include only those listed above it.
#pragma once

#include <string>
#include <vector>

// The whole tool: parses the command line and runs one command. Returns the exit code.
int RunCli(int argc, char** argv);
int RunCliArgs(const std::vector<std::string>& args);  // args[0] is the program name
