// The one door to the platform. The program's code calls Win32 by its own names; on Windows
// those are the real calls, elsewhere the same names are declared by win32_posix.h and served
// by stand-ins (POSIX files, a recording window system for tests).
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commdlg.h>
#include <cderr.h>
#include <shellapi.h>
#else
#include "stub/platform/win32_posix.h"
#endif

#include <stdint.h>

// A wide (UTF-16) text literal of the platform: L"..." on Windows, u"..." elsewhere.
#ifdef _WIN32
#define WIDE_TEXT(text) L##text
#else
#define WIDE_TEXT(text) u##text
#endif

// A FILETIME's two halves as one count of ticks, and back.
inline uint64_t TicksOf(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
inline FILETIME FileTimeOfTicks(uint64_t ticks) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}
