// The process entry and the main window: class, window, controls, message loop, dispatch.
#pragma once

#include "stub/platform/win32.h"

bool RegisterMainClass();
HWND CreateMainWindow();
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SetupWindowControls(HWND window);
void HandleDestroy();
// Registers, creates, runs the message loop; returns the process exit code.
int RunProgram();
