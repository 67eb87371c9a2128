#include "stub/state/join_state.h"

#include "base/byte_text.h"

JoinStateRecord JoinState;

void SetTextBuffer(const char* text) {
  FillZero(JoinState.TextBuffer, TextBufferSize);
  TextCopy(JoinState.TextBuffer, TextBufferSize, text);
}
