// Interruptions on Linux: Ctrl-C, kill and a closed terminal stop a command cleanly: the handler
// only raises the flag (CliInterrupted) that the copy loops look at, and the command removes what
// it wrote.
#include <signal.h>

#include "cli/os/os.h"

static void OnInterrupt(int) { CliInterrupted = 1; }

void InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked copy returns and sees the flag
  for (int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current;
    // Ignored at start (nohup, a background job of a shell): the user wants it ignored.
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
}
