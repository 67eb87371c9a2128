// The companion command-line tool: split makes a set (our stub in front), join rebuilds the
// file from a set without running any .exe, info shows what a set holds. Native only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "container/layout.h"
#include "platform/win32.h"

// Exit codes. 0 to 2 are the three outcomes of a join; the others are distinct failures before
// or around it. split uses the same table (0 done, 2 file-system error, 5 refused, 64 usage).
enum CliExitCode : int {
  ExitComplete = 0,      // the payloads add up to the total size (split: the set is written)
  ExitMismatch = 1,      // the joined file is possibly damaged: more payload than the total
  ExitFileError = 2,     // a file could not be read or written
  ExitMissingPiece = 3,  // a piece was not found; nothing was written
  ExitBadContainer = 4,  // not a container: too short, or a header number is not valid
  ExitRefused = 5,       // would overwrite a file, or a name cannot be used
  ExitUsage = 64,        // bad command line
  ExitInterrupted = 130, // stopped by SIGINT or SIGTERM; nothing was left behind
};

// Where the commands write: the result lines (CliOut) and errors, warnings, progress (CliErr).
extern FILE* CliOut;
extern FILE* CliErr;

// The padded stub image, embedded at build time (exactly StubSize bytes).
extern const unsigned char StubImage[];
extern const size_t StubImageSize;

// The whole tool: parses the command line and runs one command. Returns the exit code.
int RunCli(int argc, char** argv);
int RunCliArgs(const std::vector<std::string>& args);  // args[0] is the program name

// Default cap of every file of a set made by split: 1 GiB.
constexpr uint64_t DefaultPieceSize = 1ull << 30;
// The container is a Windows program image and must stay below 4 GiB.
constexpr uint64_t ContainerSizeLimit = 0xFFFFFFFFull;

struct SplitOptions {
  std::string InputPath;
  uint64_t PieceSize = DefaultPieceSize;
  std::string OutputDir = ".";
  std::string Name;  // record 1 (UTF-8); empty: the input's file name
  std::string Base;  // base name of the set; empty: the input's name without its last extension
  bool Force = false;
  bool Quiet = false;
};

struct JoinOptions {
  std::string ContainerPath;
  std::string OutputPath;  // empty: the name from the header, in the current folder
  std::string PiecesDir;   // empty: beside the container
  bool Force = false;
  bool Quiet = false;
};

int RunSplit(const SplitOptions& options);
int RunJoinCommand(const JoinOptions& options);
int RunInfo(const std::string& containerPath, const std::string& piecesDir);

// ---- texts (cli_text.cpp) ----

// UTF-8 to Windows-1251 through iconv; false when a character has no 1251 form or the text is
// not valid UTF-8.
bool Utf8ToCp1251(const std::string& text, std::string* out);
// Windows-1251 bytes to UTF-8; the one undefined byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(const std::string& bytes);
// Upper case of one Windows-1251 byte (Latin and Cyrillic letters); other bytes unchanged.
unsigned char Cp1251Upper(unsigned char c);
// A key under which two file names compare equal when they differ only in the case of Latin or
// Windows-1251 letters.
std::string NameFoldKey(const std::string& utf8Name);
// The output name made from header record 1 (untrusted 1251 bytes): converted to UTF-8, reduced
// to its last path component ("\", "/" and ":" all count), control characters removed, at most
// 255 bytes. fallback when nothing usable is left ("", ".", "..").
std::string SafeOutputName(const std::string& recordBytes, const std::string& fallback);
// Why a name cannot go into a set made for Windows (control characters, \ / : * ? " < > |),
// or "" when it can.
std::string WindowsNameProblem(const std::string& name);
// A size: decimal digits with an optional K, M, G or T (powers of 1024), optionally followed
// by "B" or "iB" ("100M", "1G", "700MiB", "30721"). False for anything else or on overflow.
bool ParseSizeText(const std::string& text, uint64_t* size);
// 1536 -> "1.5 KiB"; exact byte counts below 1024.
std::string FormatSize(int64_t bytes);
// A FILETIME value as "YYYY-MM-DD hh:mm:ss.fffffff UTC", for any 64-bit value.
std::string FormatFileTime(uint64_t fileTime);
// Text for a message: control bytes as \xNN, so that a hostile name cannot drive the terminal.
std::string Printable(const std::string& text);

// ---- files (cli_files.cpp) ----

constexpr uint64_t FileTimeUnixEpoch = 116444736000000000ull;  // 1970-01-01 in FILETIME units
uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);  // clamped to 0 before 1601
struct timespec UnixFromFileTime(uint64_t fileTime);
FILETIME SplitFileTime(uint64_t fileTime);
uint64_t JoinFileTime(FILETIME time);

// Set by SIGINT/SIGTERM while a command runs; the copy loops stop at the next chunk.
extern volatile int CliInterrupted;
void InstallInterruptHandlers();

// Progress on CliErr when it is a terminal and not quiet: a bar for done out of total.
void ProgressBegin(bool enabled, int64_t total);
void ProgressLabel(const std::string& label);
void ProgressUpdate(int64_t done);
void ProgressEnd();

// Copies count bytes of in from inOffset to out at outOffset. Holes of the source are skipped
// (left as holes in out, which must be zero there: a new file being filled in order); the caller
// sets the final length. copy_file_range where it works, pread/pwrite where it does not.
// progressBase + bytes done so far go to ProgressUpdate. Returns the bytes copied (less than
// count when the source ends early); -1 with errno on an error.
int64_t CopyFileBytes(int in, int64_t inOffset, int out, int64_t outOffset, int64_t count,
                      int64_t progressBase);
// Writes all of bytes at offset; false with errno.
bool WriteAllAt(int fd, const void* bytes, size_t count, int64_t offset);

// "dir/name": the folder part of a path ("" for a bare name) and the last component.
std::string FolderOf(const std::string& path);
std::string LastComponent(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);

// Finds a file in folder: the exact name, else (on a case-sensitive file system) a name equal to
// it ignoring Latin and Windows-1251 case. The folder's listing is read once and kept for the
// following lookups of the same folder. "" when there is none.
std::string FindFileIgnoringCase(const std::string& folder, const std::string& name);
void ForgetFolderListings();

// Renames without replacing an existing file (unless replace); false with errno (EEXIST when the
// name is taken).
bool RenameInPlace(const std::string& from, const std::string& to, bool replace);
// 0666 less the umask: the mode of the files the tool creates.
unsigned NewFileMode();

// ---- the container head (cli_join.cpp) ----

// The base path of a container path: the bytes before the last ".exe" (any case); "" when the
// path holds none. Pieces are base + PieceSuffix(n).
std::string ContainerBasePath(const std::string& containerPath);

struct ContainerHead {
  int64_t ContainerSize = 0;
  std::string NameBytes;  // record 1, Windows-1251 bytes as stored
  int64_t TotalSize = 0;
  uint64_t CreationTime = 0;
  uint64_t LastAccessTime = 0;
  uint64_t LastWriteTime = 0;
};

// Reads and checks the head of an open container. Returns ExitComplete, or ExitBadContainer /
// ExitFileError with the reason in error.
int ReadContainerHead(int fd, ContainerHead* head, std::string* error);
