#include "base/file_time.h"

static const int64_t EpochSeconds = static_cast<int64_t>(FileTimeUnixEpoch / FileTimeTicksPerSecond);

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

int64_t UnixNanosecondsOfFileTime(uint64_t ticks) {
  UnixTime time = UnixTimeOfFileTime(ticks);
  __int128 nanoseconds = static_cast<__int128>(time.Seconds) * 1000000000 + time.Nanoseconds;
  if (nanoseconds > INT64_MAX) return INT64_MAX;
  if (nanoseconds < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(nanoseconds);
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
