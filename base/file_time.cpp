#include "base/file_time.h"

static const int64_t EpochSeconds =
    static_cast<int64_t>(FileTimeUnixEpoch / FileTimeTicksPerSecond);

UnixTime UnixTimeOfFileTime(uint64_t ticks) {
  UnixTime time;
  time.Seconds = static_cast<int64_t>(ticks / FileTimeTicksPerSecond) - EpochSeconds;
  time.Nanoseconds = static_cast<uint32_t>(ticks % FileTimeTicksPerSecond) * 100;
  return time;
}

uint64_t FileTimeOfUnixTime(int64_t seconds, uint32_t nanoseconds) {
  if (seconds < -EpochSeconds) return 0;
  uint64_t since1601 = static_cast<uint64_t>(seconds) + static_cast<uint64_t>(EpochSeconds);
  uint64_t ticks = nanoseconds / 100;
  if (since1601 > (UINT64_MAX - ticks) / FileTimeTicksPerSecond) return UINT64_MAX;
  return since1601 * FileTimeTicksPerSecond + ticks;
}

// In 64-bit steps (32-bit compilers have no 128-bit integer): before 1970 the count is the
// whole seconds after the time, less what the time lies before them.
int64_t UnixNanosecondsOfFileTime(uint64_t ticks) {
  const int64_t perSecond = 1000000000;
  UnixTime time = UnixTimeOfFileTime(ticks);
  if (time.Seconds >= 0) {
    if (time.Seconds > (INT64_MAX - time.Nanoseconds) / perSecond) return INT64_MAX;
    return time.Seconds * perSecond + time.Nanoseconds;
  }
  int64_t after = time.Seconds + 1;  // at most 0
  if (after < INT64_MIN / perSecond) return INT64_MIN;
  int64_t before = perSecond - time.Nanoseconds;  // 1 to 1000000000
  if (after * perSecond < INT64_MIN + before) return INT64_MIN;
  return after * perSecond - before;
}

uint64_t FileTimeOfUnixNanoseconds(int64_t nanoseconds) {
  const int64_t perSecond = 1000000000;
  int64_t seconds = nanoseconds / perSecond;
  int64_t rest = nanoseconds % perSecond;
  if (rest < 0) {
    rest += perSecond;
    seconds--;
  }
  return FileTimeOfUnixTime(seconds, static_cast<uint32_t>(rest));
}
