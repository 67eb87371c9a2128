// What the files of the Windows side of the tool's door share: text between UTF-8 and UTF-16
// (encoding.cpp), the form of a path that the wide file calls take (os.cpp), and positioned reads
// and writes. Windows only (cli/os/windows/).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

// UTF-8 to UTF-16; an invalid byte becomes U+FFFD.
std::wstring WideOf(const std::string& utf8);
// UTF-16 to UTF-8. False for text that is not valid UTF-16 (an unpaired surrogate).
bool Utf8OfWide(const wchar_t* text, size_t length, std::string* utf8);
// The same, an unpaired surrogate becoming U+FFFD (for texts from the system, never compared).
std::string Utf8Of(const std::wstring& text);

// The path for the wide file calls: made absolute (against the current folder) and given the
// "\\?\" prefix, which lifts the limit of 260 characters and passes names as they are. A path
// that already has such a prefix is left as it is; a device ("NUL", "C:\x\CON.txt") stays the
// device path Windows makes of it, "\\.\NUL".
std::wstring SystemPath(const std::string& path);

// The OVERLAPPED record of a positioned read or write at offset (no event: the call waits).
inline OVERLAPPED OverlappedAt(int64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return at;
}
