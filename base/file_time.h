// File times in the two counts the system meets: FILETIME ticks (100 ns since 1601-01-01 UTC,
// unsigned 64-bit, as Windows and the header keep them) and Unix time (seconds and nanoseconds
// since 1970-01-01 UTC). The one place of the epoch difference and the conversions.
#pragma once

#include <stdint.h>

// 1970-01-01 00:00:00 UTC in FILETIME ticks.
constexpr uint64_t FileTimeUnixEpoch = 116444736000000000ull;
constexpr uint64_t FileTimeTicksPerSecond = 10000000;

struct UnixTime {
  int64_t Seconds;
  uint32_t Nanoseconds;  // 0 to 999999999
};

// Exact for every FILETIME value (a FILETIME holds at most 1.8e12 seconds).
UnixTime UnixTimeOfFileTime(uint64_t ticks);
// Whole ticks (nanoseconds below 100 are dropped); 0 before 1601, UINT64_MAX past the last
// FILETIME. nanoseconds must be below 1000000000.
uint64_t FileTimeOfUnixTime(int64_t seconds, uint32_t nanoseconds);
// Nanoseconds since 1970 in a signed 64-bit count, which reaches only 1677 to 2262: earlier
// and later FILETIME values give INT64_MIN and INT64_MAX.
int64_t UnixNanosecondsOfFileTime(uint64_t ticks);
// The FILETIME of a nanosecond count, rounded down to whole ticks (every value has one).
uint64_t FileTimeOfUnixNanoseconds(int64_t nanoseconds);
// The two 32-bit halves a FILETIME is kept in (Windows' FILETIME, the header's records), and the
// ticks they make.
constexpr uint64_t FileTimeOfHalves(uint32_t low, uint32_t high) {
  return (static_cast<uint64_t>(high) << 32) | low;
}
constexpr uint32_t FileTimeLowHalf(uint64_t ticks) { return static_cast<uint32_t>(ticks); }
constexpr uint32_t FileTimeHighHalf(uint64_t ticks) { return static_cast<uint32_t>(ticks >> 32); }
