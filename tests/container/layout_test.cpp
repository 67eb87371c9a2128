#include <gtest/gtest.h>

#include "container/layout.h"

TEST(PieceSuffix, PadsToThreeDigitsAndGrowsBeyond) {
  char suffix[PieceSuffixSize];
  const std::pair<int, const char*> cases[] = {{1, ".c001"}, {42, ".c042"}, {999, ".c999"}, {1000, ".c1000"}, {12345, ".c12345"}};
  for (auto [n, expected] : cases) {
    PieceSuffix(n, suffix);
    EXPECT_STREQ(suffix, expected) << n;
  }
}
