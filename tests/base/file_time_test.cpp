// FILETIME ticks and Unix time: exact where both reach, clamped or saturated where one does not.
#include <gtest/gtest.h>

#include "base/file_time.h"

namespace {

TEST(FileTime, UnixTimeOfEveryFileTimeIsExact) {
  const struct {
    uint64_t ticks;
    int64_t seconds;
    uint32_t nanoseconds;
  } cases[] = {
      {0, -11644473600, 0},                                  // 1601-01-01
      {FileTimeUnixEpoch, 0, 0},                             // 1970-01-01
      {FileTimeUnixEpoch - 1, -1, 999999900},                // 100 ns before it
      {132224078451234567ull, 1577934245, 123456700},        // 2020-01-02 03:04:05.1234567
      {0x0000000600000001ull, -11644471024, 980377700},      // header halves "1" and "6"
      {UINT64_MAX, 1844674407370 - 11644473600, 955161500},  // the last FILETIME, year 60056
  };
  for (const auto& c : cases) {
    UnixTime time = UnixTimeOfFileTime(c.ticks);
    EXPECT_EQ(time.Seconds, c.seconds) << c.ticks;
    EXPECT_EQ(time.Nanoseconds, c.nanoseconds) << c.ticks;
    EXPECT_EQ(FileTimeOfUnixTime(time.Seconds, time.Nanoseconds), c.ticks)
        << "back again: " << c.ticks;
  }
}

TEST(FileTime, FileTimeOfUnixTimeDropsSubTicksAndClampsAtBothEnds) {
  EXPECT_EQ(FileTimeOfUnixTime(0, 99), FileTimeUnixEpoch);
  EXPECT_EQ(FileTimeOfUnixTime(0, 100), FileTimeUnixEpoch + 1);
  EXPECT_EQ(FileTimeOfUnixTime(-11644473600, 0), 0u);
  EXPECT_EQ(FileTimeOfUnixTime(-11644473601, 999999999), 0u);  // before 1601
  EXPECT_EQ(FileTimeOfUnixTime(INT64_MIN, 0), 0u);
  EXPECT_EQ(FileTimeOfUnixTime(1844674407370 - 11644473600, 955161500), UINT64_MAX);
  EXPECT_EQ(FileTimeOfUnixTime(1844674407370 - 11644473600, 955161600),
            UINT64_MAX);  // one tick past
  EXPECT_EQ(FileTimeOfUnixTime(INT64_MAX, 999999999), UINT64_MAX);
}

TEST(FileTime, NanosecondsSaturateOutside1677To2262) {
  const int64_t lastSecond = INT64_MAX / 1000000000;  // 2262-04-11 23:47:16
  const uint64_t lastTicks =
      FileTimeUnixEpoch + static_cast<uint64_t>(lastSecond) * FileTimeTicksPerSecond;
  EXPECT_EQ(UnixNanosecondsOfFileTime(lastTicks), lastSecond * 1000000000);
  EXPECT_EQ(UnixNanosecondsOfFileTime(lastTicks + 8547758),
            INT64_MAX - 7);  // the last tick that fits
  EXPECT_EQ(UnixNanosecondsOfFileTime(lastTicks + 8547759), INT64_MAX);
  EXPECT_EQ(UnixNanosecondsOfFileTime(UINT64_MAX), INT64_MAX);
  EXPECT_EQ(UnixNanosecondsOfFileTime(0x0000000600000001ull), INT64_MIN);  // 1601
  EXPECT_EQ(UnixNanosecondsOfFileTime(0), INT64_MIN);
  const uint64_t firstTicks =
      FileTimeUnixEpoch - 92233720368547758ull;  // INT64_MIN / 100, in ticks
  EXPECT_EQ(UnixNanosecondsOfFileTime(firstTicks), -9223372036854775800);
  EXPECT_EQ(UnixNanosecondsOfFileTime(firstTicks - 1), INT64_MIN);
  EXPECT_EQ(UnixNanosecondsOfFileTime(FileTimeUnixEpoch + 1), 100);
  // And back: every nanosecond count has a FILETIME, rounded down to whole ticks.
  EXPECT_EQ(FileTimeOfUnixNanoseconds(INT64_MAX), lastTicks + 8547758);
  EXPECT_EQ(FileTimeOfUnixNanoseconds(INT64_MIN), firstTicks - 1);
  EXPECT_EQ(FileTimeOfUnixNanoseconds(-1), FileTimeUnixEpoch - 1);
  EXPECT_EQ(FileTimeOfUnixNanoseconds(199), FileTimeUnixEpoch + 1);
}

}  // namespace
