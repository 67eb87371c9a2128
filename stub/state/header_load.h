// Reads the header of the program's own image into JoinState when the window is created.
#pragma once

#include "stub/platform/win32.h"

// Ends the process silently for a bare stub; reports an unreadable image and posts a quit
// request; otherwise fills JoinState and sets the window title.
void LoadHeader(HWND window);
