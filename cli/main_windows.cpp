// The Windows program: arguments come as UTF-16 (wmain) and go to the commands as UTF-8.
#include <stdio.h>

#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/os/os.h"
#include "cli/os/windows/win.h"
#include "cli/show/messages.h"

int wmain(int argc, wchar_t** argv) {
  InstallInterruptHandlers();  // first: a Ctrl+C while the command line is read still ends with 130
  std::vector<std::string> args;
  for (int i = 0; i < argc; i++) {
    std::string arg;
    if (!Utf8OfWide(argv[i], wcslen(argv[i]), &arg)) {
      CliPrint(CliErr, "tarnovell: argument %d is not valid Unicode text\n", i);
      return ExitUsage;
    }
    args.push_back(arg);
  }
  return RunCliArgs(args);
}
