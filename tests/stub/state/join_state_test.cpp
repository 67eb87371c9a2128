// TextBuffer, through which titles and the button's label reach the platform: at most 300 text
// bytes, always followed by zero bytes to its end.
#include "stub/state/join_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Buffer() { return std::string(JoinState.TextBuffer, TextBufferSize); }

TEST(TextBuffer, HoldsAtMost300BytesAndZerosToItsEnd) {
  const struct {
    size_t length;
    size_t kept;
  } cases[] = {{0, 0}, {5, 5}, {299, 299}, {300, 300}, {301, 300}, {1000, 300}};
  for (const auto& c : cases) {
    std::memset(JoinState.TextBuffer, 'q', TextBufferSize);  // no zero anywhere
    std::string text(c.length, 't');
    SetTextBuffer(text.c_str());
    EXPECT_EQ(Buffer(), std::string(c.kept, 't') + std::string(TextBufferSize - c.kept, '\0'))
        << c.length;
  }
}

}  // namespace
