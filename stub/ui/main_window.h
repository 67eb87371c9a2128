// The process entry and the main window: class, window, controls, message loop, dispatch.
#pragma once

#include "stub/join/join_driver.h"
#include "stub/platform/win32.h"

// What the window gives the join when its start button starts it: the bar and the messages after
// every block, the messages after every piece.
extern const JoinCallbacks WindowJoinCallbacks;

bool RegisterMainClass();
HWND CreateMainWindow();
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetupWindowControls(HWND window);
void HandleDestroy();
// Registers, creates, runs the message loop; returns the process exit code.
int RunProgram();
