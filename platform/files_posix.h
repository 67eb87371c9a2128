// Extras of the POSIX stand-in for the Win32 file calls, for tests and tools.
#pragma once

#include "platform/win32.h"

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
};

// Asked before every file call. A non-zero answer makes that call fail with this error code,
// as the platform would, and without doing anything. Null: every call runs.
extern DWORD (*FileFaultHook)(FileCallKind call, const char* name);

// The most bytes one ReadFile or WriteFile moves before it reports success, as a device that
// takes less than it is given would. 0xFFFFFFFF: no limit.
extern DWORD FileTransferCap;

// The path GetModuleFileNameA reports (empty: the running executable).
extern char PosixModulePath[MAX_PATH];

// FILETIME (100 ns since 1601-01-01 UTC) and POSIX time (ns since 1970) conversions.
int64_t FileTimeToUnixNanoseconds(const FILETIME& time);
FILETIME UnixNanosecondsToFileTime(int64_t nanoseconds);
