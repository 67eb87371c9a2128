// TextBuffer, through which titles and the button's label reach the platform: at most 300 text
// bytes, always followed by zero bytes to its end.
#include "stub/state/join_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/support/fake_ui.h"

namespace {

std::string Buffer() { return fake::Text(JoinState.TextBuffer, TextBufferSize); }

TEST(TextBuffer, HoldsAtMost300BytesAndZerosToItsEnd) {
  const struct {
    size_t length;
    size_t kept;
  } cases[] = {{0, 0}, {5, 5}, {299, 299}, {300, 300}, {301, 300}, {1000, 300}};
  for (const auto& c : cases) {
    std::fill(JoinState.TextBuffer, JoinState.TextBuffer + TextBufferSize, u'q');  // no zero
    std::string text(c.length, 't');
    SetTextBuffer(text.c_str());
    EXPECT_EQ(Buffer(), std::string(c.kept, 't') + std::string(TextBufferSize - c.kept, '\0'))
        << c.length;
  }
}

}  // namespace
