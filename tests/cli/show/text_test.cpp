// The tool's text helpers: sizes, dates, case folding.
#include <gtest/gtest.h>

#include "base/file_time.h"
#include "cli/os/encoding.h"
#include "cli/show/text.h"

namespace {

TEST(CliText, Sizes) {
  const struct {
    const char* text;
    bool ok;
    uint64_t size;
  } cases[] = {
      {"30721", true, 30721},
      {"100M", true, 100ull << 20},
      {"1G", true, 1ull << 30},
      {"1g", true, 1ull << 30},
      {"700MiB", true, 700ull << 20},
      {"2kb", true, 2000},
      {"5T", true, 5ull << 40},
      {"3TiB", true, 3ull << 40},
      {"1.3MB", true, 1300000},
      {"7GB", true, 7000000000},
      {"3tb", true, 3000000000000},
      {"1.5G", true, 3ull << 29},
      {"1.1T", true, 1209462790553},  // 1.1 * 2^40 = ...553.6, rounded down
      {"2.9999", true, 2},
      {"0.001K", true, 1},
      {"cd", true, 700ull << 20},
      {"DVD", true, 4700000000},
      {"Fat32", true, (4ull << 30) - 1},
      {"telegram", true, 2097152000},  // 4000 parts of 512 KiB
      {"8388607T", true, 8388607ull << 40},
      {"9223372036854775807", true, INT64_MAX},
      {"8388608T", false, 0},
      {"9223372036854775808", false, 0},
      {"9223372036854775.807KB", true, INT64_MAX},
      {"9223372036854775.808KB", false, 0},
      {"16777216T", false, 0},
      {"18446744073709551616", false, 0},
      {"", false, 0},
      {"0", false, 0},
      {"0K", false, 0},
      {"0.0001", false, 0},
      {"M", false, 0},
      {"1.", false, 0},
      {".5K", false, 0},
      {"1.5.5", false, 0},
      {"1E", false, 0},
      {"1KiBB", false, 0},
      {"2M.avi", false, 0},
      {"dvd2", false, 0},
      {"-1", false, 0},
      {"1 G", false, 0},
      {"1GG", false, 0},
  };
  for (const auto& c : cases) {
    uint64_t size = 0;
    EXPECT_EQ(ParseSizeText(c.text, &size), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(size, c.size) << c.text;
    }
  }
}

TEST(CliText, FileTimes) {
  EXPECT_EQ(FormatFileTime(0), "1601-01-01 00:00:00.0000000 UTC");
  EXPECT_EQ(FormatFileTime(FileTimeUnixEpoch), "1970-01-01 00:00:00.0000000 UTC");
  EXPECT_EQ(FormatFileTime(132224078451234567ull), "2020-01-02 03:04:05.1234567 UTC");
  EXPECT_EQ(FormatFileTime(2650467743999999999ull), "9999-12-31 23:59:59.9999999 UTC");
  EXPECT_EQ(FormatFileTime(UINT64_MAX).substr(0, 6), "60056-");  // no crash past year 9999
  EXPECT_EQ(FileTimeOfUnixTime(1577934245, 123456789), 132224078451234567ull);
  EXPECT_EQ(FileTimeOfUnixTime(-11644473601, 0), 0u);
  UnixTime t = UnixTimeOfFileTime(132224078451234567ull);
  EXPECT_EQ(t.Seconds, 1577934245);
  EXPECT_EQ(t.Nanoseconds, 123456700u);
}

TEST(CliText, NamesFoldLatinAndCyrillicCase) {
  EXPECT_EQ(NameFoldKey("Фильм.c001"), NameFoldKey("ФИЛЬМ.C001"));
  EXPECT_EQ(NameFoldKey("ёжик.C002"), NameFoldKey("ЁЖИК.c002"));
  EXPECT_EQ(NameFoldKey("ўїєі"), NameFoldKey("ЎЇЄІ"));
  EXPECT_NE(NameFoldKey("Фильм.c001"), NameFoldKey("Фильм.c0001"));
  EXPECT_NE(NameFoldKey("data.c001"), NameFoldKey("dаta.c001"));  // a Cyrillic а is not a Latin a
  EXPECT_EQ(NameFoldKey("日本.c001"),
            NameFoldKey("日本.C001"));  // no 1251 form: Latin letters fold
  std::string bytes;
  ASSERT_TRUE(Utf8ToCp1251("Привет", &bytes));
  EXPECT_EQ(bytes, "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(Cp1251ToUtf8(bytes), "Привет");
  EXPECT_FALSE(Utf8ToCp1251("\xFF\xFE", &bytes));
}

}  // namespace
