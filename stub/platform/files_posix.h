// Extras of the POSIX stand-in for the Win32 file calls, for tests and tools.
#pragma once

#include <string>

#include "stub/platform/win32.h"

// Wide (UTF-16) texts and UTF-8, as the stand-ins take names: unpaired halves and invalid bytes
// become U+FFFD.
std::string Utf8OfWide(const WCHAR* text);
std::u16string WideOfUtf8(const std::string& text);

// The file calls the stand-in serves, one name each, for fault injection.
enum FileCallKind {
  CallCreateFile,
  CallReadFile,
  CallWriteFile,
  CallSetFilePointer,
  CallGetFileSize,
  CallCloseHandle,
  CallDeleteFile,
  CallFindFirstFile,
  CallSetFileTime,
  CallGetFileInformation,
  CallSetEndOfFile,
};

// Asked before every file call. A non-zero answer makes that call fail with this error code,
// as the platform would, and without doing anything. Null: every call runs.
extern DWORD (*FileFaultHook)(FileCallKind call, const char* name);

// Told the three times of every SetFileTime call, in its order, before the call acts (null:
// nobody is told): Linux keeps no creation time that a test could read back.
extern void (*FileTimesObserver)(const FILETIME* creation, const FILETIME* lastAccess,
                                 const FILETIME* lastWrite);

// The most bytes one ReadFile or WriteFile moves before it reports success, as a device that
// takes less than it is given would. 0xFFFFFFFF: no limit.
extern DWORD FileTransferCap;

// The path GetModuleFileNameA and GetModuleFileNameW report, in UTF-8 (empty: the running
// executable).
enum { PosixModulePathSize = 2048 };
extern char PosixModulePath[PosixModulePathSize];

// FILETIME and nanoseconds since 1970 (see base/file_time.h). A signed 64-bit nanosecond count
// reaches only 1677 to 2262: FILETIME values outside give INT64_MIN and INT64_MAX.
int64_t FileTimeToUnixNanoseconds(const FILETIME& time);
FILETIME UnixNanosecondsToFileTime(int64_t nanoseconds);
