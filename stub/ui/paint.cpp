#include "stub/ui/paint.h"

#include "stub/state/join_state.h"
#include "base/byte_text.h"
#include "stub/state/program_texts.h"
#include "stub/ui/credits.h"
#include "stub/ui/progress.h"

static const COLORREF Black = RGB(0, 0, 0);
static const COLORREF LinkBlue = RGB(0, 0, 255);
static const COLORREF DarkRed = RGB(128, 0, 0);
static const COLORREF Red = RGB(255, 0, 0);

void DrawLabel(HDC dc, int x, int y, int width, int height, const WCHAR* text, COLORREF color,
               bool alignLeft) {
  COLORREF previous = SetTextColor(dc, color);
  RECT rect = {x, y, x + width, y + height};
  DrawTextW(dc, text, static_cast<int>(TextLength(text)), &rect, alignLeft ? DT_LEFT : DT_RIGHT);
  SetTextColor(dc, previous);
}

void DrawLabel(HDC dc, int x, int y, int width, int height, const char* text, COLORREF color,
               bool alignLeft) {
  WCHAR wide[64];
  TextCopy(wide, 64, text);
  DrawLabel(dc, x, y, width, height, wide, color, alignLeft);
}

static void DrawFrame(HDC dc, int left, int top, int right, int bottom) {
  RECT rect = {left, top, right, bottom};
  DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT);
}

// The size text on the right, then the file name left of it, clipped six pixels before it.
static void DrawNameAndSize(HDC dc) {
  char sizeText[40];
  FormatInt64(sizeText, sizeof sizeText, JoinState.TotalKb);
  TextAppend(sizeText, sizeof sizeText, " Кб");
  WCHAR wide[40];
  int length = static_cast<int>(TextCopy(wide, 40, sizeText));
  DrawLabel(dc, 199, 78, 66, 13, wide, Black, false);
  RECT measure = {0, 0, 0, 0};
  DrawTextW(dc, wide, length, &measure, DT_CALCRECT | DT_SINGLELINE);
  int width = measure.right;
  DrawLabel(dc, 16, 78, 243 - width, 13, LastPathComponent(JoinState.OutputPath), Black, true);
}

static void DrawOutcome(HDC dc) {
  if (!JoinState.Finished) return;
  switch (JoinState.Outcome) {
    case OutcomeComplete:
      DrawLabel(dc, 16, 107, 249, 13, "Процесс успешно завершен", Black, true);
      break;
    case OutcomeMismatch:
      DrawLabel(dc, 16, 107, 249, 13, "Полученный файл возможно поврежден!", DarkRed, true);
      break;
    case OutcomeFileError: DrawLabel(dc, 16, 107, 249, 13, FileSystemErrorText, Red, true); break;
    default: break;
  }
}

void PaintWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  HGDIOBJ previousFont = SelectObject(dc, JoinState.UiFont);
  int previousMode = SetBkMode(dc, TRANSPARENT);
  DrawIcon(dc, 16, 14, LoadIconA(GetModuleHandleA(nullptr), "MAINICON"));
  DrawLabel(dc, 66, 13, 100, 13, "Версия 1.7", Black, true);
  DrawLabel(dc, 66, 29, 100, 13, MakerRights, Black, true);
  DrawLabel(dc, 140, 29, 90, 13, MakerCredit, LinkBlue, true);
  DrawLabel(dc, 66, 45, 140, 13, MakerWebUrl, LinkBlue, true);
  DrawNameAndSize(dc);
  DrawFrame(dc, 16, 66, 265, 68);
  DrawFrame(dc, 16, 93, 265, 104);
  if (JoinState.Finished && JoinState.TotalSize == 0 && JoinState.Outcome == OutcomeComplete)
    DrawProgress(dc, 1, 1);  // a complete join of an empty file: the whole bar
  else
    DrawProgress(dc, JoinState.OutputPos, JoinState.TotalSize);
  DrawOutcome(dc);
  SetBkMode(dc, previousMode);
  SelectObject(dc, previousFont);
  EndPaint(window, &paint);
}
