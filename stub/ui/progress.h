// The progress bar of the main window and the message pump that keeps it alive during a join.
#pragma once

#include <stdint.h>

#include "stub/platform/win32.h"

// Nearest integer of value, an exact half going to the even neighbour.
int64_t RoundHalfEven(long double value);
// The bar's length in pixels (0..245) for done of total bytes; a total of 0 gives 0.
int64_t ProgressBarLength(int64_t done, int64_t total);
void DrawProgress(HDC dc, int64_t done, int64_t total);
// Dispatches every waiting message; a quit request is taken off the queue and remembered in
// JoinState.QuitRequested.
void PumpMessages();
// What the window does after every block of a join (the join's BlockCopiedCallback): the bar at
// JoinState.OutputPos, then the waiting messages.
void ShowJoinProgress(HWND window);
