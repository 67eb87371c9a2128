// The tool's operating-system calls on Windows: files, times and names, through the wide calls
// and "\\?\" paths (win.h), so that names are Unicode and paths may be longer than 260. The
// console is in console.cpp, interruptions in interrupts.cpp, copies in set/copy_windows.cpp.
#include <fcntl.h>
#include <io.h>
#include <stdint.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/os/sides.h"
#include "cli/os/windows/win.h"

static HANDLE HandleOf(OsFile file) { return reinterpret_cast<HANDLE>(file); }
static OsFile FileOf(HANDLE handle) { return reinterpret_cast<OsFile>(handle); }

const char OsPathSeparators[] = "\\/";
const char OsPathSeparator = '\\';

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

size_t OsPathRootLength(const std::string& path) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\ (and \\?\C:\, \\.\device): up to the separator after the second part.
    size_t server = path.find_first_of(OsPathSeparators, 2);
    if (server == std::string::npos) return path.size();
    if (path.compare(2, server - 2, "?") == 0 && path.size() >= server + 3 &&
        path[server + 2] == ':') {
      return std::min(path.size(), server + 4);  // the drive and its separator
    }
    size_t share = path.find_first_of(OsPathSeparators, server + 1);
    return share == std::string::npos ? path.size() : share + 1;
  }
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

std::wstring SystemPath(const std::string& path) {
  std::wstring wide = WideOf(path.empty() ? "." : path);
  if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  DWORD length = GetFullPathNameW(wide.c_str(), size, &full[0], nullptr);
  if (length == 0 || length >= size) return wide;
  full.resize(length);
  if (full.compare(0, 4, L"\\\\.\\") == 0) return full;                           // a device
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}

int OsLastError() { return static_cast<int>(GetLastError()); }
void OsSetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }
const int OsInterruptedError = ERROR_OPERATION_ABORTED;  // the operation was stopped

std::string OsErrorText(int error) {
  wchar_t* text = nullptr;
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  // English like the rest of the tool's messages, else the system's language.
  DWORD length = FormatMessageW(flags, nullptr, static_cast<DWORD>(error),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0) {
    length = FormatMessageW(flags, nullptr, static_cast<DWORD>(error), 0,
                            reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  }
  std::wstring message = length > 0 ? std::wstring(text, length) : L"";
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  if (message.empty()) return "system error " + std::to_string(error);
  return Utf8Of(message);
}

bool OsErrorIsExists(int error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}
bool OsErrorIsMissing(int error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool OsErrorIsNoSpace(int error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

bool OsSystemFreeSpace(const std::string& folder, uint64_t* bytes) {
  std::wstring path = SystemPath(folder);
  if (!path.empty() && path.back() != L'\\') path += L'\\';  // a folder, as the call takes it
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr)) return false;
  *bytes = available.QuadPart;
  return true;
}

bool OsFolderRefusesWrites(const std::string& folder, int* error) {
  wchar_t volume[MAX_PATH + 1];
  DWORD flags = 0;
  std::wstring path = SystemPath(folder.empty() ? "." : folder);
  if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1) ||
      !GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
      (flags & FILE_READ_ONLY_VOLUME) == 0)
    return false;
  *error = ERROR_WRITE_PROTECT;
  return true;
}

// What an open handle is. linkItself: it was opened with FILE_FLAG_OPEN_REPARSE_POINT, so a
// symbolic link or junction is the link, which counts as Other.
static bool InfoOfHandle(HANDLE handle, bool linkItself, OsFileInfo* info) {
  *info = OsFileInfo();
  BY_HANDLE_FILE_INFORMATION about;
  if (!GetFileInformationByHandle(handle, &about)) {
    // A console, a pipe or a device has no such information. GetFileType is asked only then:
    // Wine reads a file's first bytes to answer it, which would move its last-access time.
    DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_DISK) return false;
    info->Kind = type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE ? OsKind::Stream : OsKind::Other;
    return true;
  }
  info->Size =
      static_cast<int64_t>((static_cast<uint64_t>(about.nFileSizeHigh) << 32) | about.nFileSizeLow);
  info->Device = about.dwVolumeSerialNumber;
  info->Inode = (static_cast<uint64_t>(about.nFileIndexHigh) << 32) | about.nFileIndexLow;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  bool link =
      linkItself && (about.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
       tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
  info->Kind = link                                                  ? OsKind::Other
               : (about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? OsKind::Folder
                                                                     : OsKind::Regular;
  return true;
}

bool OsProbe(const std::string& path, OsFileInfo* info, bool followLinks) {
  *info = OsFileInfo();
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    bool known = InfoOfHandle(handle, !followLinks, info);
    CloseHandle(handle);
    return known;
  }
  DWORD error = GetLastError();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (error == ERROR_SHARING_VIOLATION &&
      GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data)) {
    // Held open by a program that shares nothing: it exists, but which file it is stays unknown
    // (and equal to every other unknown one, so it is never taken for a file of our own).
    info->Kind =
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? OsKind::Folder : OsKind::Regular;
    info->Size =
        static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    info->Device = info->Inode = UINT64_MAX;
    return true;
  }
  SetLastError(error);
  return OsErrorIsMissing(static_cast<int>(error));
}

bool OsListFolder(const std::string& folder, std::vector<std::string>* names) {
  std::wstring pattern = SystemPath(folder);
  if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((pattern + L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    std::string name = Utf8Of(found.cFileName);
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

// An opened handle (INVALID_HANDLE_VALUE: the open failed) as a file with its info; NoFile, with
// the error kept, when either step failed.
static OsFile OpenedWithInfo(HANDLE handle, OsFileInfo* info) {
  if (handle == INVALID_HANDLE_VALUE) return NoFile;
  if (!InfoOfHandle(handle, false, info)) {
    DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return NoFile;
  }
  return FileOf(handle);
}

OsFile OsOpenRead(const std::string& path, OsFileInfo* info) {
  // Folders open too (FILE_FLAG_BACKUP_SEMANTICS), so that they are told apart from missing
  // files and refused for what they are; others may go on reading and writing the file.
  return OpenedWithInfo(
      CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
      info);
}

OsFile OsOpenStream(const std::string& path, OsFileInfo* info) { return OsOpenRead(path, info); }

bool OsInfo(OsFile file, OsFileInfo* info) { return InfoOfHandle(HandleOf(file), false, info); }

OsFile OsOpenWrite(const std::string& path, OsFileInfo* info) {
  // A pipe's offsets are ignored by WriteFile: what is written goes on in order.
  return OpenedWithInfo(
      CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr),
      info);
}

// One call moves at most 1 GiB (a DWORD count).
static DWORD CallCount(size_t count) {
  return static_cast<DWORD>(count < (1u << 30) ? count : (1u << 30));
}

// One ReadFile or WriteFile (call) of up to n bytes at offset at: the bytes moved, 0 when the call
// failed or moved nothing (then with the error nothingMoved).
template <typename Call, typename Byte>
static size_t OneCallAt(Call call, OsFile file, Byte* p, size_t n, int64_t at, DWORD nothingMoved) {
  OVERLAPPED place = OverlappedAt(at);
  DWORD moved = 0;
  if (!call(HandleOf(file), p, CallCount(n), &moved, &place)) return 0;
  if (moved == 0) SetLastError(nothingMoved);
  return moved;
}

bool OsReadAt(OsFile file, void* bytes, size_t count, int64_t offset) {
  return MoveAllAt(static_cast<char*>(bytes), count, offset, [file](char* p, size_t n, int64_t at) {
    return OneCallAt(ReadFile, file, p, n, at, ERROR_HANDLE_EOF);
  });
}

bool OsWriteAt(OsFile file, const void* bytes, size_t count, int64_t offset) {
  return MoveAllAt(static_cast<const char*>(bytes), count, offset,
                   [file](const char* p, size_t n, int64_t at) {
                     return OneCallAt(WriteFile, file, p, n, at, ERROR_WRITE_FAULT);
                   });
}

OsFile OsFileOfStream(FILE* stream) {
  // Binary as well, should the C library ever write to it.
  _setmode(_fileno(stream), _O_BINARY);
  return static_cast<OsFile>(_get_osfhandle(_fileno(stream)));
}

int64_t OsReadNext(OsFile file, void* bytes, size_t count) {
  DWORD got = 0;
  if (ReadFile(HandleOf(file), bytes, CallCount(count), &got, nullptr)) return got;
  // The writer of a pipe closed it: the end of what it sends.
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool OsWriteNext(OsFile file, const void* bytes, size_t count) {
  return MoveAllAt(static_cast<const char*>(bytes), count, 0,
                   [file](const char* p, size_t n, int64_t) -> size_t {
                     DWORD put = 0;
                     if (!WriteFile(HandleOf(file), p, CallCount(n), &put, nullptr)) return 0;
                     if (put == 0) SetLastError(ERROR_WRITE_FAULT);
                     return put;
                   });
}

// The Windows tool reads: no views.
const void* OsViewRead(OsFile, int64_t, size_t) { return nullptr; }
void OsDropView(const void*, size_t) {}
bool OsViewFailed() { return false; }
int64_t OsViewedBytes() { return 0; }

bool OsSetLength(OsFile file, int64_t length) {
  LARGE_INTEGER end;
  end.QuadPart = length;
  return SetFilePointerEx(HandleOf(file), end, nullptr, FILE_BEGIN) && SetEndOfFile(HandleOf(file));
}

// The system's FILETIME and the tool's 64-bit count of the same ticks.
static uint64_t TicksOf(const FILETIME& time) {
  return FileTimeOfHalves(time.dwLowDateTime, time.dwHighDateTime);
}
static FILETIME FileTimeOf(uint64_t ticks) {
  return FILETIME{FileTimeLowHalf(ticks), FileTimeHighHalf(ticks)};
}

bool OsFileTimes(OsFile file, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite) {
  FILETIME times[3];
  if (!GetFileTime(HandleOf(file), &times[0], &times[1], &times[2])) return false;
  *creation = TicksOf(times[0]);
  *lastAccess = TicksOf(times[1]);
  *lastWrite = TicksOf(times[2]);
  return true;
}

bool OsSetFileTimes(OsFile file, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite) {
  FILETIME times[3] = {FileTimeOf(creation), FileTimeOf(lastAccess), FileTimeOf(lastWrite)};
  return SetFileTime(HandleOf(file), &times[0], &times[1], &times[2]) != 0;
}

bool OsDelete(const std::string& path) { return DeleteFileW(SystemPath(path).c_str()) != 0; }

// ---- new files and their names ----
// Files are written under a temporary name beside their final one and moved into place at the
// end (MoveFileExW), replacing only when asked. A nameless file is marked for deletion while it
// is written: if the process ends in any way before it is put in place, the system deletes it.

// The temporary names of the files marked for deletion, by handle.
static std::map<OsFile, std::string> MarkedFiles;

static bool MarkForDeletion(HANDLE handle, bool marked) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = marked ? TRUE : FALSE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

bool OsClose(OsFile file) {
  MarkedFiles.erase(file);  // a file still marked goes now
  return CloseHandle(HandleOf(file)) != 0;
}

// Eight letters for a fresh name, from the process, the clocks and a counter (a name that is
// taken is tried again).
static std::string RandomSuffix() {
  static uint64_t counter = 0;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  uint64_t bits = (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^
                  static_cast<uint64_t>(now.QuadPart) ^ (GetTickCount64() << 20) ^
                  (++counter * 0x9E3779B97F4A7C15ull);
  bits ^= bits >> 31;
  bits *= 0xBF58476D1CE4E5B9ull;
  bits ^= bits >> 27;
  return FreshNameLetters(bits);
}

OsFile OsCreateTemp(const std::string& folder, const std::string& prefix, bool nameless,
                    std::string* tempPath) {
  tempPath->clear();
  for (int attempt = 0; attempt < 16; attempt++) {
    std::string path = JoinPath(folder, prefix + RandomSuffix());
    // DELETE access and FILE_SHARE_DELETE: it can be marked for deletion, and moved while open.
    HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (OsErrorIsExists(static_cast<int>(GetLastError()))) continue;
      return NoFile;
    }
    OsFile file = FileOf(handle);
    if (nameless && !OsFaulted(OsCallNamelessCreate) && MarkForDeletion(handle, true)) {
      MarkedFiles[file] = path;
    } else {
      *tempPath = path;
    }
    return file;
  }
  return NoFile;
}

int64_t OsProcessId() { return static_cast<int64_t>(GetCurrentProcessId()); }

bool OsProcessGone(int64_t id) {
  if (id <= 0 || id > UINT32_MAX) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;  // ended, its object still held
  CloseHandle(process);
  return ended;
}

static DWORD MoveFlags(bool replace) {
  return MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
}

bool OsLinkNameless(OsFile file, const std::string&, const std::string& target, bool replace) {
  auto marked = MarkedFiles.find(file);
  if (marked == MarkedFiles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (OsFaulted(replace ? OsCallRenameReplace : OsCallRenameNoReplace)) return false;
  if (!MarkForDeletion(HandleOf(file), false)) return false;
  if (MoveFileExW(SystemPath(marked->second).c_str(), SystemPath(target).c_str(),
                  MoveFlags(replace))) {
    MarkedFiles.erase(marked);
    return true;
  }
  DWORD error = GetLastError();
  MarkForDeletion(HandleOf(file), true);
  SetLastError(error);
  return false;
}

bool RenameInPlace(const std::string& from, const std::string& to, bool replace) {
  if (OsFaulted(replace ? OsCallRenameReplace : OsCallRenameNoReplace)) return false;
  return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), MoveFlags(replace)) != 0;
}

void OsAllowManyOpenFiles() {}

namespace {
struct ThreadStart {
  void (*Run)(void*);
  void* Context;
};
}  // namespace

static DWORD WINAPI RunThread(void* start) {
  ThreadStart* what = static_cast<ThreadStart*>(start);
  what->Run(what->Context);
  delete what;
  return 0;
}

bool OsStartThread(void (*run)(void* context), void* context, OsThread* thread) {
  ThreadStart* start = new ThreadStart{run, context};
  HANDLE handle = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (handle == nullptr) {
    delete start;
    return false;
  }
  *thread = reinterpret_cast<OsThread>(handle);
  return true;
}

void OsJoinThread(OsThread thread) {
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
}
