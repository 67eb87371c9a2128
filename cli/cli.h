// The companion command-line tool: split makes a set (our stub in front), join rebuilds the
// file from a set without running any .exe, info shows what a set holds. Built for Linux and for
// Windows (x86-64) from the same commands; the system is reached only through cli_os.h.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_os.h"
#include "cli/cli_text.h"
#include "container/layout.h"

// Exit codes. 0 to 2 are the three outcomes of a join; the others are distinct failures before
// or around it. split uses the same table (0 done, 2 file-system error, 5 refused, 64 usage);
// verify too, with 6 for a set it cannot check; repair with 7 for a set it cannot mend and 8 for
// recovery files it could not make again.
enum CliExitCode : int {
  ExitComplete = 0,      // the payloads add up to the total size (split: the set is written;
                         // verify: every piece has its size and digest)
  ExitMismatch = 1,      // the joined file is possibly damaged: more payload than the total, or a
                         // piece that is short, long or damaged by the set's digests
  ExitFileError = 2,     // a file could not be read or written
  ExitMissingPiece = 3,  // a piece was not found; nothing was written
  ExitBadContainer = 4,  // not a valid set: too short, a header number is not valid, or sizes
                         // that cannot be added
  ExitRefused = 5,       // would overwrite a file, or a name cannot be used
  ExitUnchecked = 6,     // verify: a set without digests, whose sizes add up
  ExitNotRepairable = 7, // repair: more bad files than good recovery files (in a group), or
                         // none of them valid; nothing was changed
  ExitRowsNotMade = 8,   // repair: the set is whole (repaired, or found so), but a missing or
                         // damaged recovery file could not be made again
  ExitUsage = 64,        // bad command line
  ExitInterrupted = 130, // stopped by a signal, Ctrl+C or a closed console; nothing was left behind
};

// Where the commands write: the result lines (CliOut) and errors, warnings, progress (CliErr).
extern FILE* CliOut;
extern FILE* CliErr;
// printf to one of them, the text (UTF-8) written as the system shows it (OsWriteText).
void CliPrint(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Bad files are named one by one up to this many in a row; a longer row is told in one line, so
// that a report follows the files there are, not the count a forged header claims.
constexpr int32_t NamedAloneInARow = 10;
// Tells on CliErr that the run was interrupted and what it left ("nothing was changed").
// Returns ExitInterrupted.
int ReportInterrupted(const char* left);
// Tells on CliErr why the command refuses ("tarnovell: " + message). Returns ExitRefused.
int Refuse(const std::string& message);

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
  std::string Name;       // record 1 (UTF-8); empty: the input's file name
  std::string Base;       // base name of the set; empty: the input's name without its last extension
  std::string StubPath;   // a stub image of exactly StubSize bytes; empty: the embedded one
  bool Force = false;
  bool Quiet = false;
  int RecoveryRows = 0;   // recovery files BASE.r01, ... written beside the set (0: none)
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

struct VerifyOptions {
  std::string ContainerPath;
  std::string PiecesDir;  // empty: beside the container
  bool Quiet = false;
};

// Checks every piece of a set against its digest block, writing nothing.
int RunVerify(const VerifyOptions& options);

struct RepairOptions {
  std::string Path;  // the container, or one of the set's recovery files (when the container is lost)
  bool Quiet = false;
};

// Finds the bad files of a set through its recovery files and rebuilds them in place.
int RunRepair(const RepairOptions& options);
