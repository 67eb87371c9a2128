// Interruptions on Windows: Ctrl+C, Ctrl+Break and a closed console stop a command cleanly: the
// handler raises the flag (CliInterrupted) that the copy loops look at, and the command removes
// what it wrote.
#include <windows.h>

#include "cli/os/os.h"

// Runs on a thread of its own. Ctrl+C and Ctrl+Break only raise the flag that the copy loops look
// at. A closed console, a logoff or a shutdown end the process as soon as this returns: it never
// returns, and the command, seeing the flag, removes what it wrote and ends the process itself
// (the system allows about five seconds).
static BOOL WINAPI OnConsoleEvent(DWORD event) {
  CliInterrupted = 1;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  for (;;) Sleep(INFINITE);
}

void InstallInterruptHandlers() {
  // A process started with Ctrl+C ignored (a new process group) is not sent it at all: it stays
  // ignored, as a signal ignored at start does on Linux.
  static bool installed = false;
  if (!installed) installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
}
