// The Win32 file calls over POSIX, with the semantics the file layer relies on: one handle per
// open file, reads and writes that move everything they can, 64-bit positions in two halves,
// and Win32 error codes through GetLastError.
#include "stub/platform/files_posix.h"

#include "base/file_time.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

DWORD (*FileFaultHook)(FileCallKind call, const char* name) = nullptr;
void (*FileTimesObserver)(const FILETIME* creation, const FILETIME* lastAccess,
                          const FILETIME* lastWrite) = nullptr;
char PosixModulePath[PosixModulePathSize];
DWORD FileTransferCap = 0xFFFFFFFFu;

static thread_local DWORD LastError;

DWORD GetLastError(void) { return LastError; }
void SetLastError(DWORD code) { LastError = code; }

static DWORD Win32ErrorOf(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

static bool FailFromErrno() {
  LastError = Win32ErrorOf(errno);
  return false;
}

static bool IsFolder(const char* name) {
  struct stat info;
  return stat(name, &info) == 0 && S_ISDIR(info.st_mode);
}

// As Windows tells them apart: a missing file in an existing folder, or a missing folder.
static void FailMissing(const char* name) {
  const char* slash = strrchr(name, '/');
  std::string folder = slash == nullptr ? std::string(".")
                       : slash == name  ? std::string("/")
                                        : std::string(name, slash);
  LastError = IsFolder(folder.c_str()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

static bool FailFromErrnoOn(const char* name) {
  if (errno == ENOENT) {
    FailMissing(name);
    return false;
  }
  return FailFromErrno();
}

static bool Injected(FileCallKind call, const char* name) {
  if (FileFaultHook == nullptr) return false;
  DWORD code = FileFaultHook(call, name);
  if (code == 0) return false;
  LastError = code;
  return true;
}

std::string Utf8OfWide(const WCHAR* text) {
  std::string utf8;
  for (size_t i = 0; text[i] != 0; i++) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
      utf8 += static_cast<char>(0xC0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      utf8 += static_cast<char>(0xE0 | c >> 12);
      utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | c >> 18);
      utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

std::u16string WideOfUtf8(const std::string& text) {
  std::u16string wide;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int more = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    uint32_t c = more < 0 ? 0xFFFD : more == 0 ? lead : lead & (0x7F >> (more + 1));
    size_t k = 1;
    for (; more > 0 && k <= static_cast<size_t>(more); k++) {
      unsigned char next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      if ((next & 0xC0) != 0x80) {
        c = 0xFFFD;
        break;
      }
      c = c << 6 | (next & 0x3F);
    }
    i += k;
    if (c >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      c = 0xDC00 + (c & 0x3FF);
    }
    wide += static_cast<char16_t>(c);
  }
  return wide;
}

// Windows' file calls take a backslash in a name for a folder delimiter, as they take the
// slash: the stand-in's calls do the same, so the program's names reach the same files natively.
// Names are UTF-8 on Linux.
static std::string PosixName(const WCHAR* name) {
  std::string path = Utf8OfWide(name);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Handles carry the descriptor, offset so that no valid handle is null or INVALID_HANDLE_VALUE.
static HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd) + 16); }
static int DescriptorOf(HANDLE handle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(handle) - 16);
}

HANDLE CreateFileW(LPCWSTR windowsName, DWORD access, DWORD, void*, DWORD disposition, DWORD,
                   HANDLE) {
  if (Injected(CallCreateFile, Utf8OfWide(windowsName).c_str())) return INVALID_HANDLE_VALUE;
  std::string path = PosixName(windowsName);
  const char* name = path.c_str();
  int flags = O_CLOEXEC;
  bool read = (access & GENERIC_READ) != 0, write = (access & GENERIC_WRITE) != 0;
  flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    default: break;
  }
  if (name[0] == 0) {
    LastError = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  int fd = open(name, flags, 0666);
  if (fd < 0) {
    FailFromErrnoOn(name);
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {  // Windows opens no folder as a file
    close(fd);
    LastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) LastError = NO_ERROR;
  return HandleOf(fd);
}

// ReadFile and WriteFile: count bytes at the most (and FileTransferCap), moved by as many calls as
// it takes; a read stops early at the end of the file.
static BOOL TransferFile(FileCallKind call, HANDLE file, char* bytes, DWORD count, LPDWORD done) {
  *done = 0;
  if (Injected(call, nullptr)) return FALSE;
  if (count > FileTransferCap) count = FileTransferCap;
  while (*done < count) {
    ssize_t n = call == CallWriteFile ? write(DescriptorOf(file), bytes + *done, count - *done)
                                      : read(DescriptorOf(file), bytes + *done, count - *done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailFromErrno();
    if (n == 0) break;  // the end of the file (a write of more than 0 bytes moves at least 1)
    *done += static_cast<DWORD>(n);
  }
  return TRUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, LPDWORD done, void*) {
  return TransferFile(CallReadFile, file, static_cast<char*>(buffer), count, done);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, LPDWORD done, void*) {
  return TransferFile(CallWriteFile, file, static_cast<char*>(const_cast<void*>(buffer)), count,
                      done);
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, PLONG distanceHigh, DWORD method) {
  if (Injected(CallSetFilePointer, nullptr)) return INVALID_SET_FILE_POINTER;
  int64_t distance = distanceHigh != nullptr
                         ? static_cast<int64_t>(
                               (static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                               static_cast<uint32_t>(distanceLow))
                         : distanceLow;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  if (whence == SEEK_SET && distance < 0) {
    LastError = ERROR_NEGATIVE_SEEK;
    return INVALID_SET_FILE_POINTER;
  }
  off_t position = lseek(DescriptorOf(file), distance, whence);
  if (position < 0) {
    FailFromErrno();
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh != nullptr)
    *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
  LastError = NO_ERROR;
  return static_cast<DWORD>(position);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  if (Injected(CallGetFileSize, nullptr)) return INVALID_FILE_SIZE;
  struct stat info;
  if (fstat(DescriptorOf(file), &info) != 0) {
    FailFromErrno();
    return INVALID_FILE_SIZE;
  }
  if (sizeHigh != nullptr)
    *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
  LastError = NO_ERROR;
  return static_cast<DWORD>(info.st_size);
}

BOOL SetEndOfFile(HANDLE file) {
  if (Injected(CallSetEndOfFile, nullptr)) return FALSE;
  off_t position = lseek(DescriptorOf(file), 0, SEEK_CUR);
  if (position < 0 || ftruncate(DescriptorOf(file), position) != 0) return FailFromErrno();
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (Injected(CallCloseHandle, nullptr)) {
    close(DescriptorOf(handle));  // the descriptor is gone either way, as on Windows
    return FALSE;
  }
  if (close(DescriptorOf(handle)) != 0) return FailFromErrno();
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR windowsName) {
  if (Injected(CallDeleteFile, Utf8OfWide(windowsName).c_str())) return FALSE;
  std::string path = PosixName(windowsName);
  const char* name = path.c_str();
  if (IsFolder(name)) {
    LastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (unlink(name) != 0) return FailFromErrnoOn(name);
  return TRUE;
}

static void FileTimeOf(const struct timespec& time, FILETIME* out) {
  *out = FileTimeOfTicks(FileTimeOfUnixTime(time.tv_sec, static_cast<uint32_t>(time.tv_nsec)));
}

// No wildcards: the program only ever asks for one exact path.
HANDLE FindFirstFileW(LPCWSTR windowsName, WIN32_FIND_DATAW* data) {
  if (Injected(CallFindFirstFile, Utf8OfWide(windowsName).c_str())) return INVALID_HANDLE_VALUE;
  std::string path = PosixName(windowsName);
  const char* name = path.c_str();
  struct stat info;
  if (name[0] == 0 || stat(name, &info) != 0) {
    LastError = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  memset(data, 0, sizeof *data);
  bool folder = S_ISDIR(info.st_mode);
  data->dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  uint64_t size = folder ? 0 : static_cast<uint64_t>(info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  FileTimeOf(info.st_mtim, &data->ftCreationTime);
  FileTimeOf(info.st_atim, &data->ftLastAccessTime);
  FileTimeOf(info.st_mtim, &data->ftLastWriteTime);
  const char* slash = strrchr(name, '/');
  std::u16string file = WideOfUtf8(slash ? slash + 1 : name);
  file.resize(std::min<size_t>(file.size(), MAX_PATH - 1));
  std::copy(file.begin(), file.end(), data->cFileName);
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(1));
}

BOOL FindClose(HANDLE) { return TRUE; }

int64_t FileTimeToUnixNanoseconds(const FILETIME& time) {
  return UnixNanosecondsOfFileTime(TicksOf(time));
}

FILETIME UnixNanosecondsToFileTime(int64_t nanoseconds) {
  return FileTimeOfTicks(FileTimeOfUnixNanoseconds(nanoseconds));
}

// Every FILETIME as it is, through seconds (nanoseconds would not reach past 1677 to 2262); the
// file system keeps what its own range holds, as a Windows volume does.
static struct timespec TimespecOf(const FILETIME* time) {
  struct timespec when;
  if (time == nullptr || (time->dwLowDateTime == 0 && time->dwHighDateTime == 0)) {
    when.tv_sec = 0;
    when.tv_nsec = UTIME_OMIT;  // as on Windows: no time, or a zero time, leaves it unchanged
    return when;
  }
  UnixTime unix = UnixTimeOfFileTime(TicksOf(*time));
  when.tv_sec = static_cast<time_t>(unix.Seconds);
  when.tv_nsec = static_cast<long>(unix.Nanoseconds);
  return when;
}

// POSIX keeps no creation time that can be set; the other two are applied.
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite) {
  if (FileTimesObserver != nullptr) FileTimesObserver(creation, lastAccess, lastWrite);
  if (Injected(CallSetFileTime, nullptr)) return FALSE;
  struct timespec times[2] = {TimespecOf(lastAccess), TimespecOf(lastWrite)};
  if (futimens(DescriptorOf(file), times) != 0) return FailFromErrno();
  return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  if (Injected(CallGetFileInformation, nullptr)) return FALSE;
  struct stat st;
  if (fstat(DescriptorOf(file), &st) != 0) return FailFromErrno();
  memset(info, 0, sizeof *info);
  info->dwVolumeSerialNumber = static_cast<DWORD>(st.st_dev);
  info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
  info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
  info->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
  info->nFileSizeLow = static_cast<DWORD>(st.st_size);
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE, LPSTR name, DWORD size) {
  if (size == 0) return 0;
  if (PosixModulePath[0] != 0) {
    strncpy(name, PosixModulePath, size - 1);
    name[size - 1] = 0;
    return static_cast<DWORD>(strlen(name));
  }
  ssize_t n = readlink("/proc/self/exe", name, size - 1);
  if (n < 0) n = 0;
  name[n] = 0;
  return static_cast<DWORD>(n);
}

// As on Windows: a path that does not fit is cut to size - 1 characters, and size is returned.
DWORD GetModuleFileNameW(HMODULE, LPWSTR name, DWORD size) {
  if (size == 0) return 0;
  char own[4096] = {};
  if (PosixModulePath[0] == 0 && readlink("/proc/self/exe", own, sizeof own - 1) < 0) own[0] = 0;
  std::u16string path = WideOfUtf8(PosixModulePath[0] != 0 ? PosixModulePath : own);
  DWORD length = static_cast<DWORD>(std::min<size_t>(path.size(), size - 1));
  std::copy(path.begin(), path.begin() + length, name);
  name[length] = 0;
  return path.size() >= size ? size : length;
}

HMODULE GetModuleHandleA(LPCSTR) { return nullptr; }
