#include "stub/ui/progress.h"

#include "stub/state/join_state.h"

enum {
  BarUnit = 245,   // pixels for 100 percent
  BarLeft = 18,    // left edge of the first block
  BlockPitch = 6,  // a block of 4 pixels and a gap of 2
  BlockWidth = 4,
  BlockTop = 95,
  BlockBottom = 102,  // exclusive: blocks are 7 pixels high
};

static const COLORREF BarColor = RGB(0, 0, 127);

int64_t RoundHalfEven(long double value) {
  int64_t whole = static_cast<int64_t>(value);                     // toward zero
  long double fraction = value - static_cast<long double>(whole);  // exact for a 64-bit mantissa
  if (fraction < 0) fraction = -fraction;
  int64_t away = value < 0 ? whole - 1 : whole + 1;
  if (fraction > 0.5L) return away;
  if (fraction < 0.5L) return whole;
  return (whole % 2 == 0) ? whole : away;
}

int64_t ProgressBarLength(int64_t done, int64_t total) {
  if (total == 0) return 0;  // nothing to measure against: an empty bar
  long double ratio = static_cast<long double>(done) / static_cast<long double>(total) * 100;
  // Far beyond either end the bar is full or empty; limiting here keeps the conversion in range.
  if (ratio > 1000) ratio = 1000;
  if (ratio < -1000) ratio = -1000;
  int64_t percent = RoundHalfEven(ratio);
  if (percent > 100) percent = 100;
  return RoundHalfEven(static_cast<long double>(percent) / 100 * BarUnit);
}

void DrawProgress(HDC dc, int64_t done, int64_t total) {
  int64_t length = ProgressBarLength(done, total);
  HBRUSH brush = CreateSolidBrush(BarColor);
  HPEN pen = CreatePen(PS_SOLID, 1, BarColor);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  // Only whole blocks: block k is drawn when its right edge lies within the bar.
  for (int64_t x = 0; x + BlockWidth <= length && x + BlockWidth <= BarUnit; x += BlockPitch) {
    int left = BarLeft + static_cast<int>(x);
    Rectangle(dc, left, BlockTop, left + BlockWidth, BlockBottom);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // The window was closed during a join: the join ends on this (the main loop never sees it).
      JoinState.QuitRequested = true;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void ShowJoinProgress(HWND window) {
#ifndef TARNOVELL_BENCH_NO_PROGRESS  // defined only by the benchmark's own stub build
  HDC dc = GetDC(window);
  DrawProgress(dc, JoinState.OutputPos, JoinState.TotalSize);
  ReleaseDC(window, dc);
  PumpMessages();
#else
  (void)window;
#endif
}
