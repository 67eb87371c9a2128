// The file layer. A caller binds a LargeFile record to a name (AssignLargeFile), then opens it
// with a record size (ResetLarge for an existing file, RewriteLarge to create or empty one); the
// program always passes 1, so that every count and position is in bytes. Blocks move in one
// platform call each, positions and sizes are 64-bit, and the named file can be erased. No
// operation returns an error or stops the program: a failing one stores its code as the pending
// error of the thread, overwriting whatever was pending, and the caller collects it with
// TakeIoResult at the point it chooses, usually once after a whole sequence (an open and a seek,
// a whole copy). Which access ResetLarge asks for is not one of its arguments: it is the global
// FileOpenMode, a hidden parameter that every caller sets right before each open and that the
// layer never resets, so an open always depends on the last value stored there.
#pragma once

#include <stdint.h>

#include "stub/platform/win32.h"

// A record's mode: closed, or open for input, output or both (0xD7B0 to 0xD7B3, in this order).
enum : uint16_t {
  ModeClosed = 0xD7B0,
  ModeInput,
  ModeOutput,
  ModeInOut,
};

enum : int32_t {
  IoErrShortRead = 100,    // a read without an actual count moved fewer records than asked
  IoErrShortWrite = 101,   // a write without an actual count moved fewer records than asked
  IoErrNotAssigned = 102,  // open or erase on a record that was never assigned
  IoErrNotOpen = 103,      // an operation that needs an open record (or the access it lacks)
};

// The longest path the program names a file by: 615 characters and the terminating zero, more
// than twice Windows' MAX_PATH; the file calls get a path of MAX_PATH or more in its long form.
enum { LargeFileNameSize = 616 };

struct LargeFile {
  HANDLE Handle;
  uint16_t Mode;
  uint32_t RecordSize;
  WCHAR Name[LargeFileNameSize];
};

// Access of the next ResetLarge (bits 0-1: 0 read, 1 write, 2 and 3 read and write) and the
// share table index (bits 4-6). Callers store it right before each ResetLarge. It starts as 0
// (so that the stub's image has no section of initialised data); the program stores
// DefaultFileOpenMode first thing, before any file is opened.
extern uint8_t FileOpenMode;
enum : uint8_t { DefaultFileOpenMode = 2 };  // read and write

// Binds the record to name; always returns 0. A name longer than LargeFileNameSize - 1
// characters is refused: the record is then bound to the empty name, which no open or erase can
// find.
int32_t AssignLargeFile(LargeFile& file, const WCHAR* name);
void ResetLarge(LargeFile& file, uint32_t recordSize);    // open an existing file
void RewriteLarge(LargeFile& file, uint32_t recordSize);  // create, or empty an existing file
// actual may be null: a short transfer is then an error (100 or 101).
uint32_t BlockReadLarge(LargeFile& file, void* buffer, uint32_t count, uint32_t* actual);
uint32_t BlockWriteLarge(LargeFile& file, const void* buffer, uint32_t count, uint32_t* actual);
int32_t CloseLarge(LargeFile& file);
void EraseLarge(LargeFile& file);
// Cuts the file at its position: what lay beyond is gone.
void TruncateLarge(LargeFile& file);
void SeekLarge(LargeFile& file, int64_t index);
int64_t FilePosLarge(LargeFile& file);   // 4294967295 on failure
int64_t FileSizeLarge(LargeFile& file);  // 4294967295 on failure
// The size of the file or folder at path, -1 when there is none. The full 64-bit size: pieces
// of 2 GiB and more are sized exactly.
int64_t FileSizeByName(const WCHAR* path);
// The form of path that Windows' file calls take: a full path ("C:\...", "\\server\share\...") of
// MAX_PATH characters or more in its long form ("\\?\C:\...", "\\?\UNC\server\share\..."), its
// slashes made backslashes (the long form takes no other); any other path as it is. The long form
// is made in one buffer: it serves until the next call.
const WCHAR* FileCallName(const WCHAR* path);
int32_t TakeIoResult();
void SetIoResult(int32_t code);

inline bool IsAssigned(const LargeFile& file) {
  return file.Mode >= ModeClosed && file.Mode <= ModeInOut;
}
inline bool IsOpen(const LargeFile& file) {
  return file.Mode >= ModeInput && file.Mode <= ModeInOut;
}
