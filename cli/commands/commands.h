// The commands of the tool, one file each in this folder: split makes a set (our stub in front),
// join rebuilds the file from a set without running any .exe, info shows what a set holds, verify
// checks it, repair mends it, and page writes the joiner page beside it (page.h). Built for Linux
// and for Windows (x86-64) from the same commands.
//
// cli/commands/ may include the rooms below it: cli/set (the set model), cli/show (what the user
// sees) and cli/os (the door to the system), never the command line above it (cli/app.cpp).
#pragma once

#include <stdint.h>

#include <string>

// Default cap of every file of a set made by split: 1 GiB.
constexpr uint64_t DefaultPieceSize = 1ull << 30;
// The most files a set gets without --force: more are most likely a size given wrong.
constexpr uint64_t SetFileLimit = 1000;
// The container is a Windows program image and must stay below 4 GiB.
constexpr uint64_t ContainerSizeLimit = 0xFFFFFFFFull;

// The path that names standard input (split -) or standard output (join -o -).
constexpr char StandardStreamPath[] = "-";

struct SplitOptions {
  std::string InputPath;
  uint64_t PieceSize = DefaultPieceSize;  // SIZE: the cap of every file split writes
  std::string SizeText;                   // SIZE as given, for messages; empty: the default
  uint64_t Number = 0;  // --number: so many files of equal size instead of PieceSize (0: none)
  std::string OutputDir = ".";
  std::string Name;      // record 1 (UTF-8); empty: the input's file name
  std::string Base;      // base name of the set; empty: Name (else the input's name) without its
                         // last extension
  std::string StubPath;  // a stub image of exactly StubSize bytes; empty: the embedded one
  bool Force = false;    // also: a set of more than SetFileLimit files
  bool Quiet = false;
  int RecoveryRows = 0;        // recovery files BASE.r01, ... written beside the set (0: none)
  double RecoveryPercent = 0;  // or so many, as a share of each group's files (0: none)
  bool Checksums = false;      // BASE.sha256 written beside the set
  bool Page = false;           // BASE.html, the joiner page, written beside the set
  bool Json = false;           // one JSON object on CliOut instead of the summary
};

struct JoinOptions {
  std::string ContainerPath;
  std::string OutputPath;  // empty: the name from the header, in the current folder
  std::string PiecesDir;   // empty: beside the container
  std::string PiecesBase;  // --pieces-base; empty: the container's base (OpenPieceSet)
  bool Force = false;
  bool Quiet = false;
  bool Json = false;  // one JSON object on CliOut instead of the summary (not with -o -)
};

int RunSplit(const SplitOptions& options);
int RunJoinCommand(const JoinOptions& options);
// json: one JSON object on CliOut instead of the text (docs/reference.md: machine-readable output).
int RunInfo(const std::string& containerPath, const std::string& piecesDir, bool json = false,
            const std::string& piecesBase = "");

struct VerifyOptions {
  std::string ContainerPath;
  std::string PiecesDir;   // empty: beside the container
  std::string PiecesBase;  // --pieces-base; empty: the container's base (OpenPieceSet)
  bool Quiet = false;
  bool Json = false;  // one JSON object on CliOut instead of the text
};

// Checks every piece of a set against its digest block, writing nothing.
int RunVerify(const VerifyOptions& options);

struct RepairOptions {
  std::string
      Path;  // the container, or one of the set's recovery files (when the container is lost)
  std::string PiecesBase;  // --pieces-base: the set's files are NAME.c001, NAME.r01, ... beside
                           // the container given as Path
  bool Quiet = false;
  bool Json = false;   // one JSON object on CliOut instead of the text
  bool Force = false;  // rebuild on the recovery files' word where the container's digests cannot
                       // tell (the files replaced are kept), and sets of more than SetFileLimit
};

// Finds the bad files of a set through its recovery files and rebuilds them in place.
int RunRepair(const RepairOptions& options);
