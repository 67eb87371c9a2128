// The byte-text helpers: cut copies, the stub's own 64-bit division, and path components by the
// one delimiter rule that every build shares.
#include "base/byte_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(TextCopy, CutsToTheCapacityAndAlwaysTerminates) {
  char target[6];
  std::memset(target, 'Z', sizeof target);
  EXPECT_EQ(TextCopy(target, sizeof target, "abcdefgh"), 5u);
  EXPECT_STREQ(target, "abcde");
  EXPECT_EQ(TextCopy(target, sizeof target, "ab"), 2u);
  EXPECT_STREQ(target, "ab");
  EXPECT_EQ(TextAppend(target, sizeof target, "1234"), 3u) << "room for three more";
  EXPECT_STREQ(target, "ab123");
  EXPECT_EQ(TextAppend(target, sizeof target, "x"), 0u);
  EXPECT_STREQ(target, "ab123");
}

// The stub's own 64-bit division and the decimal texts built on it (sizes shown in the window).
TEST(Arithmetic, DivideWideAndFormatInt64AgreeWithTheCompiler) {
  const uint64_t numbers[] = {0,
                              1,
                              9,
                              10,
                              1023,
                              1024,
                              4294967295ull,
                              4294967296ull,
                              5368709120ull,
                              0x7FFFFFFFFFFFFFFFull,
                              0x8000000000000000ull,
                              0xFFFFFFFFFFFFFFFFull};
  const uint32_t divisors[] = {1, 3, 10, 1024, 65536, 4294967295u};
  for (uint64_t n : numbers)
    for (uint32_t d : divisors) {
      uint32_t remainder = 0;
      EXPECT_EQ(DivideWide(n, d, &remainder), n / d) << n << " / " << d;
      EXPECT_EQ(remainder, n % d) << n << " % " << d;
    }
  const int64_t values[] = {0, 7, -7, 640, 1048576, INT64_MAX, INT64_MIN};
  for (int64_t v : values) {
    char text[24];
    FormatInt64(text, sizeof text, v);
    EXPECT_EQ(std::string(text), std::to_string(v));
  }
}

// Backslash, slash and colon delimit a path in every build: Windows' file calls take the slash
// for a backslash, so a name holding one reaches into a folder there too. What a header may name
// as the joined file is only a file in the current folder: dots and spaces alone name the folder
// or its parent (Windows drops them at a name's end).
TEST(PathComponents, TheLastOneAndTheFileNameItGives) {
  const struct {
    const char* path;
    const char* last;   // LastPathComponent
    const char* plain;  // PlainFileName
  } cases[] = {
      {"movie.avi", "movie.avi", "movie.avi"},
      {"C:\\films\\movie.avi", "movie.avi", "movie.avi"},
      {"C:movie.avi", "movie.avi", "movie.avi"},
      {"..\\..\\evil.txt", "evil.txt", "evil.txt"},
      {"../../evil.txt", "evil.txt", "evil.txt"},
      {"/home/user/.bashrc", ".bashrc", ".bashrc"},
      {"a\\b/c:d", "d", "d"},
      {"films\\", "", ""},
      {"C:", "", ""},
      {"", "", ""},
      {"..", "..", ""},
      {".", ".", ""},
      {"C:\\..", "..", ""},
      {". .", ". .", ""},
      {"...", "...", ""},
      {"..x", "..x", "..x"},
      {"x..", "x..", "x.."},
      {"\xE4\xE0\xED\xED\xFB\xE5.bin", "\xE4\xE0\xED\xED\xFB\xE5.bin",
       "\xE4\xE0\xED\xED\xFB\xE5.bin"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(LastPathComponent(c.path), c.last) << c.path;
    EXPECT_STREQ(PlainFileName(c.path), c.plain) << c.path;
  }
  for (char c : {'\\', '/', ':'}) EXPECT_TRUE(IsPathDelimiter(c)) << c;
  for (char c : {'.', ' ', '|', '\xDC', ']'}) EXPECT_FALSE(IsPathDelimiter(c)) << c;
}

}  // namespace
