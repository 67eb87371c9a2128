#include "stub/state/join_state.h"

#include "stub/state/program_texts.h"

JoinStateRecord JoinState;

// The texts of the program's boxes, widened (the longest is a list of bad pieces).
static WCHAR BoxText[PathTextSize + 64];

int ShowBox(HWND owner, const WCHAR* text, UINT style) {
  WCHAR caption[sizeof ProgramCaption];
  TextCopy(caption, sizeof ProgramCaption, ProgramCaption);
  return MessageBoxW(owner, text, caption, style);
}

int ShowBox(HWND owner, const char* text, UINT style) {
  TextCopy(BoxText, sizeof BoxText / sizeof BoxText[0], text);
  return ShowBox(owner, BoxText, style);
}
