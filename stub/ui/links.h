// The two link areas of the main window: the hand cursor over them, the shell opens them.
#pragma once

#include "stub/platform/win32.h"

void UpdateCursor(HWND window, LPARAM position);
void HandleLinkClick(HWND window, LPARAM position);
