// Painting of the main window from JoinState.
#pragma once

#include <stdint.h>

#include "stub/platform/win32.h"

void PaintWindow(HWND window);
// text: wide, or one of the program's own texts in Windows-1251.
void DrawLabel(HDC dc, int x, int y, int width, int height, const WCHAR* text, COLORREF color,
               bool alignLeft);
void DrawLabel(HDC dc, int x, int y, int width, int height, const char* text, COLORREF color,
               bool alignLeft);
