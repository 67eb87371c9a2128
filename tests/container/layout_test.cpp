#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "container/layout.h"

namespace {

TEST(ContainerOffsets, HeaderSitsBetweenStubAndPayload) {
  EXPECT_EQ(HeaderOffset, StubSize);
  EXPECT_EQ(PayloadOffset, HeaderOffset + HeaderRecordCount * HeaderRecordSize);
  EXPECT_EQ(PayloadOffset, 0x7800);
}

TEST(PieceSuffix, PadsToThreeDigitsAndGrowsBeyond) {
  char suffix[PieceSuffixSize];
  const std::pair<int32_t, const char*> cases[] = {
      {1, ".c001"},   {9, ".c009"},     {10, ".c010"},      {42, ".c042"},
      {999, ".c999"}, {1000, ".c1000"}, {12345, ".c12345"}, {2147483647, ".c2147483647"}};
  for (auto [n, expected] : cases) {
    std::memset(suffix, 'Z', sizeof suffix);
    PieceSuffix(n, suffix);
    EXPECT_STREQ(suffix, expected) << n;
  }
}

TEST(PiecePathFor, ContainerEndsInLowerCaseExeAndPiecesInTheirSuffix) {
  const struct {
    const char* base;
    int32_t n;
    const char* expected;
  } cases[] = {{"C:\\sets\\DATA", 0, "C:\\sets\\DATA.exe"},
               {"C:\\sets\\DATA", 1, "C:\\sets\\DATA.c001"},
               {"C:\\sets\\DATA", 1000, "C:\\sets\\DATA.c1000"},
               {"", 0, ".exe"},
               {"/tmp/x.y", 7, "/tmp/x.y.c007"}};
  char path[300];
  for (const auto& c : cases) {
    PiecePathFor(path, sizeof path, c.base, c.n);
    EXPECT_STREQ(path, c.expected) << c.base << " " << c.n;
  }
}

TEST(PiecePathFor, CutsToTheCapacityAndStaysTerminated) {
  char path[8];
  std::memset(path, 'Z', sizeof path);
  PiecePathFor(path, sizeof path, "ABCDE", 12);
  EXPECT_STREQ(path, "ABCDE.c");
  PiecePathFor(path, sizeof path, "ABCDEFGHIJ", 0);
  EXPECT_STREQ(path, "ABCDEFG");
}

// ---- integer text ---------------------------------------------------------------------------

struct IntegerCase {
  const char* text;
  bool valid;
  int64_t value;
};

const IntegerCase IntegerCases[] = {
    // decimal, spaces and signs
    {"123", true, 123},
    {"   123", true, 123},
    {"123 ", false, 0},
    {" ", false, 0},
    {"", false, 0},
    {"\t123", false, 0},
    {"\n123", false, 0},
    {"+5", true, 5},
    {"-5", true, -5},
    {"-0", true, 0},
    {"+0", true, 0},
    {"--5", false, 0},
    {"+-5", false, 0},
    {"- 5", false, 0},
    {"-", false, 0},
    {"+", false, 0},
    {"007", true, 7},
    {"000000000000000000000000000042", true, 42},
    {"12a", false, 0},
    {"1.0", false, 0},
    {"1e3", false, 0},
    // decimal range
    {"9223372036854775807", true, INT64_MAX},
    {"9223372036854775808", false, 0},
    {"9223372036854775809", false, 0},
    {"9223372036854775810", false, 0},
    {"18446744073709551615", false, 0},
    {"18446744073709551616", false, 0},
    {"99999999999999999999999", false, 0},
    {"-9223372036854775807", true, -INT64_MAX},
    {"-9223372036854775808", true, INT64_MIN},
    {"-9223372036854775809", false, 0},
    {"-18446744073709551616", false, 0},
    {"0009223372036854775807", true, INT64_MAX},
    // file-time halves
    {"4294967295", true, 4294967295LL},
    {"-1", true, -1},
    {"4294967296", true, 4294967296LL},
    // hexadecimal prefixes
    {"$1F", true, 31},
    {"0x1f", true, 31},
    {"0X1f", true, 31},
    {"x1F", true, 31},
    {"X1F", true, 31},
    {"$abcdef", true, 0xABCDEF},
    {"$", false, 0},
    {"x", false, 0},
    {"0x", false, 0},
    {"0X", false, 0},
    {"$ 1", false, 0},
    {"$1G", false, 0},
    {"$1 ", false, 0},
    {"  -$10", true, -16},
    {"+0x10", true, 16},
    {"-x1", true, -1},
    {"$-1", false, 0},
    {"00x1", false, 0},
    {"0$1", false, 0},
    {"0xx1", false, 0},
    {"h1F", false, 0},
    // hexadecimal range: a 64-bit two's-complement pattern
    {"$FFFFFFFFFFFFFFFF", true, -1},
    {"$7FFFFFFFFFFFFFFF", true, INT64_MAX},
    {"$8000000000000000", true, INT64_MIN},
    {"-$8000000000000000", true, INT64_MIN},
    {"-$FFFFFFFFFFFFFFFF", true, 1},
    {"$0FFFFFFFFFFFFFFFF", true, -1},
    {"$10000000000000000", false, 0},
    {"$FFFFFFFFFFFFFFFF0", false, 0},
    {"$00000000000000001", true, 1},
    {"0x000000000000000000000000FF", true, 255},
};

TEST(TryParseHeaderInteger, FollowsEveryRuleOfIntegerText) {
  for (const IntegerCase& c : IntegerCases) {
    int64_t value = 12345;
    bool valid = TryParseHeaderInteger(c.text, &value);
    EXPECT_EQ(valid, c.valid) << "'" << c.text << "'";
    if (c.valid) {
      EXPECT_EQ(value, c.value) << "'" << c.text << "'";
    }
  }
}

TEST(TryParseHeaderInteger, InvalidTextLeavesTheValueAlone) {
  int64_t value = 12345;
  EXPECT_FALSE(TryParseHeaderInteger("12x", &value));
  EXPECT_EQ(value, 12345);
}

// ---- records --------------------------------------------------------------------------------

TEST(HeaderRecordText, TakesExactlyLengthBytesWhateverTheFiller) {
  for (int length : {0, 1, 5, 254, 255}) {
    for (char filler : {'\0', ' ', '7', '\xFF'}) {
      HeaderRecord record;
      std::memset(&record, filler, sizeof record);
      record.Length = static_cast<uint8_t>(length);
      for (int i = 0; i < length; i++) record.Text[i] = static_cast<char>('A' + i % 26);
      char text[HeaderRecordSize];
      std::memset(text, 'Z', sizeof text);
      HeaderRecordText(record, text);
      EXPECT_EQ(std::strlen(text), static_cast<size_t>(length))
          << length << " filler " << int(filler);
      for (int i = 0; i < length; i++) EXPECT_EQ(text[i], static_cast<char>('A' + i % 26));
    }
  }
}

TEST(HeaderRecordText, AZeroByteInsideEndsTheIntegerText) {
  HeaderRecord record{};
  std::memcpy(record.Text,
              "12\0"
              "34",
              5);
  record.Length = 5;
  char text[HeaderRecordSize];
  HeaderRecordText(record, text);
  int64_t value = 0;
  EXPECT_TRUE(TryParseHeaderInteger(text, &value));
  EXPECT_EQ(value, 12);
}

}  // namespace
