#include "stub/ui/links.h"

#include "base/byte_text.h"
#include "stub/state/join_state.h"
#include "stub/ui/credits.h"

// Both bounds of each range are inclusive.
static bool InMailLinkArea(int x, int y) { return x >= 140 && x <= 240 && y >= 29 && y <= 42; }
static bool InWebLinkArea(int x, int y) { return x >= 66 && x <= 203 && y >= 45 && y <= 58; }

// The mouse position of a message: signed 16-bit x and y in the low and high halves of lParam.
static int PositionX(LPARAM position) {
  return static_cast<int16_t>(static_cast<uint32_t>(position) & 0xFFFF);
}
static int PositionY(LPARAM position) {
  return static_cast<int16_t>(static_cast<uint32_t>(position) >> 16);
}

// The target of the link under the position, or null.
static const char* LinkTarget(LPARAM position) {
  int x = PositionX(position), y = PositionY(position);
  if (InMailLinkArea(x, y)) return MakerMailTarget;
  if (InWebLinkArea(x, y)) return MakerWebUrl;
  return nullptr;
}

void UpdateCursor(HWND, LPARAM position) {
  SetCursor(LinkTarget(position) != nullptr ? JoinState.HandCursor : JoinState.ArrowCursor);
}

void HandleLinkClick(HWND window, LPARAM position) {
  const char* target = LinkTarget(position);
  if (target == nullptr) return;
  WCHAR wide[sizeof MakerMailTarget];
  TextCopy(wide, sizeof MakerMailTarget, target);
  ShellExecuteW(window, WIDE_TEXT("open"), wide, WIDE_TEXT(""), WIDE_TEXT(""), SW_SHOW);
}
