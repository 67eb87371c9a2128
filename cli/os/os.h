// The tool's one door to the operating system: files, times, names, folders and the console.
// The rest of the tool calls the system only through cli/os/: this header, paths.h (the parts of
// a path) and encoding.h (names between UTF-8 and Windows-1251). Each side is a folder of the same
// files: posix/ (Linux) and windows/, each with os.cpp (files, times, names), console.cpp,
// interrupts.cpp and encoding.cpp; what both would write alike is os.cpp here, and what they share
// for themselves sides.h. The copies of set/copy.h and the program's entry have their sides too,
// in their own rooms (set/copy_posix.cpp, cli/main_posix.cpp, ...). Paths are UTF-8 on both.
//
// cli/os/ is the lowest room of the tool: it includes nothing else of cli/.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// An open file of the system (a descriptor here, a handle on Windows).
using OsFile = intptr_t;
constexpr OsFile NoFile = -1;

// A base for what holds open files and closes them when dropped: it cannot be copied.
struct HoldsFiles {
  HoldsFiles() = default;
  HoldsFiles(const HoldsFiles&) = delete;
  HoldsFiles& operator=(const HoldsFiles&) = delete;
};

// Stream: a character device or a FIFO (on Windows a console, a pipe or a character device),
// which is written into as it is, in order, and never replaced.
enum class OsKind { Missing, Regular, Folder, Stream, Other };

struct OsFileInfo {
  OsKind Kind = OsKind::Missing;
  int64_t Size = 0;
  // Device and Inode together name the file, whatever path leads to it: st_dev and st_ino on
  // Linux, the volume serial number and the file index on Windows.
  uint64_t Device = 0;
  uint64_t Inode = 0;
};

inline bool SameFile(const OsFileInfo& a, const OsFileInfo& b) {
  return a.Device == b.Device && a.Inode == b.Inode;
}

// Paths: the characters that separate folders ("/" on Linux; backslash and "/" on Windows), the
// one that joins new paths, and the length of a path's root, from which no folder part is taken
// ("/" on Linux; "C:", "C:" with a separator, or a server and share on Windows).
extern const char OsPathSeparators[];
extern const char OsPathSeparator;
size_t OsPathRootLength(const std::string& path);

// Every call that fails returns false (or NoFile, or -1) and leaves its reason for OsLastError.
int OsLastError();
// Sets the error OsLastError tells next (the last error is each thread's own: a failure on one
// thread is told on another through this).
void OsSetLastError(int error);
std::string OsErrorText(int error);
bool OsErrorIsExists(int error);   // the name is taken
bool OsErrorIsMissing(int error);  // no file of that name (a symbolic link to nothing too)
bool OsErrorIsNoSpace(int error);  // the disk is full (or the user's quota used up)

// The bytes the file system of a folder ("" is the current folder) still gives this process:
// statvfs's blocks available to it on Linux, GetDiskFreeSpaceExW's bytes available to the caller
// on Windows. False when the system cannot tell. A file system that compresses or shares blocks
// may take more than this.
bool OsFreeSpace(const std::string& folder, uint64_t* bytes);
// Whether the system refuses new files in a folder ("" is the current folder) before any is
// tried: a file system mounted read-only (a write-protected volume on Windows), or, on Linux, a
// folder this process may not write into. *error: the system's error for it.
bool OsFolderRefusesWrites(const std::string& folder, int* error);

// What a path names, following symbolic links or not (a link itself is then Other); Missing
// when nothing is there. False only when the system cannot tell (a name too long, a folder that
// cannot be searched).
bool OsProbe(const std::string& path, OsFileInfo* info, bool followLinks = true);
// The names in a folder ("" is the current folder), without "." and "..".
bool OsListFolder(const std::string& folder, std::vector<std::string>* names);

// Opens for reading without ever waiting (a FIFO or a device opens at once) and tells what was
// opened: callers refuse anything but a regular file before they read.
OsFile OsOpenRead(const std::string& path, OsFileInfo* info);
// Opens a stream (a FIFO, a device) to read it from its start: a FIFO waits for its writer, so
// that its data is not taken for an end. An interruption ends the wait.
OsFile OsOpenStream(const std::string& path, OsFileInfo* info);
bool OsInfo(OsFile file, OsFileInfo* info);
// Opens a file that is there for writing into it as it is: never created, nothing of it cut off.
// Tells what was opened: callers write only into a Stream. A FIFO waits here for its reader (an
// interruption breaks the wait off).
OsFile OsOpenWrite(const std::string& path, OsFileInfo* info);
// Lets the process hold as many files open as the system allows it (Linux: the soft limit of
// open files raised to the hard one; Windows has no such limit): recovery files are made and
// used with every file of a set open.
void OsAllowManyOpenFiles();
// A thread running run(context) beside the caller: started (false when the system cannot), then
// waited for. Linux: pthreads; Windows: CreateThread (the Windows tool's C++ library has no
// std::thread).
using OsThread = intptr_t;
bool OsStartThread(void (*run)(void* context), void* context, OsThread* thread);
void OsJoinThread(OsThread thread);
// Reads or writes all of count bytes at offset; a read past the end is a failure. A Stream has no
// offsets: what is written to it goes on after what was written before.
bool OsReadAt(OsFile file, void* bytes, size_t count, int64_t offset);
bool OsWriteAt(OsFile file, const void* bytes, size_t count, int64_t offset);
bool OsSetLength(OsFile file, int64_t length);
bool OsClose(OsFile file);
// count bytes of a regular file at offset, mapped for reading so that nothing is copied: null
// where the system cannot (the caller reads them instead), or where a view found a file cut short
// before (OsViewFailed). A file cut short while viewed shows zeros past its new end, never a
// crash, and from then on OsViewFailed is true. Dropped with OsDropView, count as given.
const void* OsViewRead(OsFile file, int64_t offset, size_t count);
void OsDropView(const void* view, size_t count);
// A view has found its file cut short: what was read through views since may be zeros.
bool OsViewFailed();
// The bytes views have shown so far (as a count of bytes read leaves them out).
int64_t OsViewedBytes();

// Standard input and output as files (split -, join -o -): the file behind one of the tool's
// streams (CliIn, CliOut), whose bytes then go through the calls below as they are, never as text
// (no "\r\n" or Ctrl+Z is made or taken on Windows). Nothing is read from or written to the
// stream itself after that.
OsFile OsFileOfStream(FILE* stream);
// Reads what comes next, in order: up to count bytes. The bytes read, 0 at the end, -1 on an
// error (OsLastError), or when an interruption broke a wait off.
int64_t OsReadNext(OsFile file, void* bytes, size_t count);
// Writes all of count bytes after what was written before, whatever the file is.
bool OsWriteNext(OsFile file, const void* bytes, size_t count);

// The loop of both sides' OsReadAt and OsWriteAt: step(bytes, count, offset) is one system call
// that moves up to count bytes and returns how many, or 0 when it failed (having set the error).
template <typename Byte, typename Step>
bool MoveAllAt(Byte* bytes, size_t count, int64_t offset, Step step) {
  while (count > 0) {
    size_t moved = step(bytes, count, offset);
    if (moved == 0) return false;
    bytes += moved;
    count -= moved;
    offset += static_cast<int64_t>(moved);
  }
  return true;
}

// File times as 64-bit counts of FILETIME ticks (base/file_time.h). The creation time is the
// birth time where the file system keeps one, else the last write time. Setting applies all three
// on Windows; Linux keeps no creation time that can be set, so there only last access and last
// write are applied.
bool OsFileTimes(OsFile file, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite);
bool OsSetFileTimes(OsFile file, uint64_t creation, uint64_t lastAccess, uint64_t lastWrite);

// A new file for writing beside its final name, created with the mode new files get.
// nameless: the caller keeps the file open until it is put in place, and the file then leaves
// no trace if the process dies: on Linux it has no name (where the file system can give it one
// later); on Windows it has a temporary name and is marked for deletion until it is put in
// place (the system deletes it when the process ends in any way). tempPath is then "".
// Otherwise, and on Linux where nameless files cannot be linked, the file has a fresh name made
// from prefix, returned in tempPath, and is closed before it is renamed.
OsFile OsCreateTemp(const std::string& folder, const std::string& prefix, bool nameless,
                    std::string* tempPath);
// Puts a nameless file in place under its final name: never replacing an existing file, unless
// replace. The file stays open (the caller closes it).
bool OsLinkNameless(OsFile file, const std::string& folder, const std::string& target,
                    bool replace);
// Renames without replacing an existing file (unless replace), the rename written through to the
// disk on Windows. Where a Linux file system can neither rename that way nor make hard links,
// the name is first taken by creating an empty file exclusively, then renamed over: an existing
// file is still never replaced.
bool RenameInPlace(const std::string& from, const std::string& to, bool replace);
bool OsDelete(const std::string& path);

// The process's own id, and whether the process of an id is gone (true only when the system
// says there is none): the names of the tool's temporary files carry the id of the process that
// made them, so that the next command can remove those a killed one left.
int64_t OsProcessId();
bool OsProcessGone(int64_t id);

// The console: whether a stream is a terminal (a console on Windows), a clock for redrawing
// progress, and text out. OsWriteText writes UTF-8 text to a stream: as characters to a Windows
// console (WriteConsoleW, whatever its code page), else as the UTF-8 bytes.
bool OsIsTerminal(FILE* stream);
// The width in columns of the terminal a stream goes to (on Windows, its console's window), read
// anew at each call; else $COLUMNS when it holds a width; else 80.
int OsTerminalColumns(FILE* stream);
int64_t OsMilliseconds();
bool OsWriteText(FILE* stream, const std::string& text);
// Whether text beyond ASCII is shown as UTF-8: on Linux, where the locale's character set is
// (LC_ALL, LC_CTYPE, LANG, the first that is set, names UTF-8); always on Windows, whose console
// takes characters and whose redirected text is UTF-8.
bool OsTextIsUtf8();
// Writes out what a stream still holds: false (OsLastError) when any text written to it since the
// start was lost (a full disk, a closed pipe, a console gone).
bool OsFlushText(FILE* stream);

// Set when the user or the system stops a command (Linux: SIGINT, SIGTERM or SIGHUP; Windows:
// Ctrl+C, Ctrl+Break, a closed console, logoff or shutdown); copies stop at the next chunk.
extern volatile int CliInterrupted;
// Catches those, leaving ignored any signal that was ignored at start (nohup, background jobs).
// On Windows a closed console ends the process once the handler returns: the handler waits for
// the command to clean up and end the process itself.
void InstallInterruptHandlers();

// For tests: asked before the calls named here; a non-zero answer makes the call fail with that
// system error code without doing anything. Null: every call runs. Asked by one thread at a
// time, from whichever thread makes the call (a copy's chunks may be read on two).
enum OsCall {
  OsCallNamelessCreate,
  OsCallRenameNoReplace,
  OsCallRenameReplace,
  OsCallLink,
  OsCallCopy
};
extern int (*OsFaultHook)(OsCall call);
// For tests: when set, OsFreeSpace asks it instead of the system.
extern bool (*OsFreeSpaceHook)(const std::string& folder, uint64_t* bytes);

// Asked before every chunk a copy moves (CopyFileBytes and CopyThroughMemory of set/copy.h):
// true, with OsLastError set, when CliInterrupted is set or a test puts a failure in
// (OsFaultHook, OsCallCopy).
bool OsStopBeforeChunk();
