// The Linux program: arguments come as they are (UTF-8 paths) and go to the commands.
#include "cli/app.h"
#include "cli/os/os.h"

int main(int argc, char** argv) {
  InstallInterruptHandlers();  // first: a Ctrl+C while the command line is read still ends with 130
  return RunCli(argc, argv);
}
