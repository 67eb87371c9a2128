// Painting of the main window from JoinState.
#pragma once

#include <stdint.h>

#include "stub/platform/win32.h"

void PaintWindow(HWND window);
void DrawLabel(HDC dc, int x, int y, int width, int height, const char* text, COLORREF color,
               bool alignLeft);
