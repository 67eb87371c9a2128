#include "stub/fileio/large_file.h"

#include "base/byte_text.h"

uint8_t FileOpenMode;

// The program runs on one thread; natively, where tests may use several, each has its own.
#ifdef _WIN32
static int32_t PendingIoError;
#else
static thread_local int32_t PendingIoError;
#endif

// What other openers of the file may do, indexed by FileOpenMode's bits 4-6. The program only
// ever stores FileOpenMode 0 or 2, whose index is 0: others may read and write.
enum : uint8_t {
  ShareNone = 0,
  ShareRead = FILE_SHARE_READ,
  ShareWrite = FILE_SHARE_WRITE,
  ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE,
};
static const uint8_t ShareTable[8] = {ShareReadWrite, ShareNone, ShareRead, ShareWrite,
                                      ShareReadWrite, ShareNone, ShareNone, ShareNone};

static const int64_t FailedPosition = 4294967295LL;

// The kinds of open: ResetLarge's are FileOpenMode's bits 0-1 (3 is taken as 2); RewriteLarge's
// is OpenRewrite, the one kind that creates the file or cuts an existing one to 0 bytes. Numbered
// from 0 in this order.
enum OpenKind : uint32_t {
  OpenRead,
  OpenWrite,
  OpenReadWrite,
  OpenRewrite,
};

int32_t TakeIoResult() {
  int32_t code = PendingIoError;
  PendingIoError = 0;
  return code;
}

void SetIoResult(int32_t code) { PendingIoError = code; }

static void SetPlatformError() { SetIoResult(static_cast<int32_t>(GetLastError())); }

// A precondition of a file call (such as IsOpen(file)): when it does not hold, error becomes
// the pending error. Returns whether it holds.
static bool Require(bool holds, int32_t error) {
  if (!holds) SetIoResult(error);
  return holds;
}

int32_t AssignLargeFile(LargeFile& file, const WCHAR* name) {
  FillZero(&file, sizeof file);
  file.Mode = ModeClosed;
  file.RecordSize = 128;
  if (TextLength(name) < LargeFileNameSize) TextCopy(file.Name, LargeFileNameSize, name);
  return 0;
}

static void OpenLarge(LargeFile& file, uint32_t recordSize, OpenKind kind) {
  if (!Require(IsAssigned(file), IoErrNotAssigned)) return;
  if (IsOpen(file)) {
    file.Mode = ModeClosed;
    if (!CloseHandle(file.Handle)) SetIoResult(1);
  }
  file.RecordSize = recordSize;
  static const DWORD Access[4] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE,
                                  GENERIC_READ | GENERIC_WRITE};
  static const uint16_t Modes[4] = {ModeInput, ModeOutput, ModeInOut, ModeInOut};
  DWORD share = ShareTable[(FileOpenMode >> 4) & 7];
  DWORD disposition = kind == OpenRewrite ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE handle = CreateFileW(FileCallName(file.Name), Access[kind], share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    file.Mode = ModeClosed;
    SetPlatformError();
    return;
  }
  file.Handle = handle;
  file.Mode = Modes[kind];
}

void ResetLarge(LargeFile& file, uint32_t recordSize) {
  OpenKind kind = static_cast<OpenKind>(FileOpenMode & 3);
  if (kind == OpenRewrite) kind = OpenReadWrite;  // ResetLarge never creates or cuts a file
  OpenLarge(file, recordSize, kind);
}

void RewriteLarge(LargeFile& file, uint32_t recordSize) {
  OpenLarge(file, recordSize, OpenRewrite);
}

// One platform transfer of count records; shared by reading and writing.
static uint32_t TransferLarge(LargeFile& file, void* buffer, uint32_t count, uint32_t* actual,
                              bool write) {
  uint16_t mask = write ? ModeOutput : ModeInput;
  if (!Require((file.Mode & mask) == mask, IoErrNotOpen)) {
    if (actual != nullptr) *actual = 0;
    return 0;
  }
  DWORD bytes = count * file.RecordSize;
  DWORD moved = 0;
  BOOL ok = write ? WriteFile(file.Handle, buffer, bytes, &moved, nullptr)
                  : ReadFile(file.Handle, buffer, bytes, &moved, nullptr);
  if (!ok) {
    SetPlatformError();
    if (actual != nullptr) *actual = 0;
    return 0;
  }
  uint32_t n = moved / file.RecordSize;
  if (actual != nullptr) {
    *actual = n;
    return n;
  }
  if (n != count) {
    SetIoResult(write ? IoErrShortWrite : IoErrShortRead);
    return 0;
  }
  return n;
}

uint32_t BlockReadLarge(LargeFile& file, void* buffer, uint32_t count, uint32_t* actual) {
  return TransferLarge(file, buffer, count, actual, false);
}

uint32_t BlockWriteLarge(LargeFile& file, const void* buffer, uint32_t count, uint32_t* actual) {
  return TransferLarge(file, const_cast<void*>(buffer), count, actual, true);
}

int32_t CloseLarge(LargeFile& file) {
  if (!Require(IsOpen(file), IoErrNotOpen)) return 0;
  file.Mode = ModeClosed;
  if (!CloseHandle(file.Handle)) {
    SetIoResult(1);
    return 1;
  }
  return 0;
}

void EraseLarge(LargeFile& file) {
  if (Require(IsAssigned(file), IoErrNotAssigned) && !DeleteFileW(FileCallName(file.Name)))
    SetPlatformError();
}

// A record that is not open for output holds no handle the platform would cut: it refuses.
void TruncateLarge(LargeFile& file) {
  if (!SetEndOfFile(file.Handle)) SetPlatformError();
}

// SetFilePointer and GetFileSize answer a low half of all ones (INVALID_SET_FILE_POINTER, which is
// INVALID_FILE_SIZE) both for a failure and for a true value; the last error, cleared before the
// call, tells which. A failure becomes the pending error.
static bool FailedLowHalf(DWORD low) {
  if (low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR) return false;
  SetPlatformError();
  return true;
}

void SeekLarge(LargeFile& file, int64_t index) {
  if (!Require(IsOpen(file), IoErrNotOpen)) return;
  uint64_t offset = static_cast<uint64_t>(index) * file.RecordSize;
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  FailedLowHalf(
      SetFilePointer(file.Handle, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN));
}

// The file's position, or with size its size, in records; FailedPosition when it cannot be had.
static int64_t RecordsAt(LargeFile& file, bool size) {
  if (!Require(IsOpen(file), IoErrNotOpen)) return FailedPosition;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = size ? GetFileSize(file.Handle, &high)
                   : SetFilePointer(file.Handle, 0, reinterpret_cast<LONG*>(&high), FILE_CURRENT);
  if (FailedLowHalf(low)) return FailedPosition;
  uint64_t bytes = (static_cast<uint64_t>(high) << 32) | low;
  // A signed division, truncating toward zero, of a count that is in practice never negative.
  bool negative = static_cast<int64_t>(bytes) < 0;
  uint64_t records = DivideWide(negative ? 0 - bytes : bytes, file.RecordSize, nullptr);
  return static_cast<int64_t>(negative ? 0 - records : records);
}

int64_t FilePosLarge(LargeFile& file) { return RecordsAt(file, false); }

int64_t FileSizeLarge(LargeFile& file) { return RecordsAt(file, true); }

int64_t FileSizeByName(const WCHAR* path) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(FileCallName(path), &entry);
  if (search == INVALID_HANDLE_VALUE) return -1;
  FindClose(search);
  return static_cast<int64_t>((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) |
                              entry.nFileSizeLow);
}

static bool IsSlash(WCHAR c) { return c == '\\' || c == '/'; }

// Room for the longest name and the long form's prefix.
static WCHAR LongName[LargeFileNameSize + 8];

const WCHAR* FileCallName(const WCHAR* path) {
  bool drive = path[0] != 0 && path[1] == ':' && IsSlash(path[2]);
  bool share = IsSlash(path[0]) && IsSlash(path[1]) && path[2] != '?' && path[2] != '.';
  if (TextLength(path) < MAX_PATH || !(drive || share)) return path;
  static const char Prefix[] = "\\\\?\\UNC";
  TextCopy(LongName, sizeof Prefix - (drive ? 3 : 0), Prefix);  // "\\?\" or "\\?\UNC"
  TextAppend(LongName, LargeFileNameSize + 8, path + (drive ? 0 : 1));
  for (WCHAR* c = LongName; *c != 0; c++)
    if (*c == '/') *c = '\\';
  return LongName;
}
