// Recovery files on the tool's side: split --recovery (recovery_split.cpp) and verify's line about
// them (recovery_verify.cpp); repair is a command of its own (commands/repair.cpp). Every build
// makes and uses them through the recovery module: over ISA-L on Linux, over our own coding in the
// Windows build.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/set/copy.h"
#include "cli/set/output.h"
#include "cli/set/pieces.h"
#include "cli/show/json.h"

// True where this build makes and uses recovery files; false after telling CliErr it does not.
bool RecoveryFilesAvailable();

// split: writes the recovery files of a set whose files are written but not yet in place
// (*outputs, the container first, each read through its open file where it has no name, else
// opened again at its temporary name; total: their payloads together, for the progress bar)
// into new outputs for targets (BASE.r01, ...), nameless or not, appended to *outputs to be put
// in place with the set. ExitComplete, or an exit code after telling CliErr.
int WriteRecoveryFiles(const std::vector<std::string>& targets, int64_t total, bool nameless,
                       bool progress, std::vector<PendingOutput>* outputs);

// Where file i of a set takes its data from the input: Size bytes from Start.
struct SetFileData {
  int64_t Start;
  int64_t Size;
};

// split --recovery from a regular file, in one pass: what the set is and what split does at
// its points.
struct OnePassSplit {
  OsFile Input = NoFile;
  std::vector<SetFileData> Files;     // the container first
  std::vector<ChunkSink*> PieceSums;  // per file: its data in order, or null (none: no sums)
  ChunkSink* Original = nullptr;      // the whole input in order, or null
  // Writes the container's stub and header from the files' CRC-32Cs (from 0).
  std::function<int(const std::vector<uint32_t>& crcs)> Seal;
  // A write failed, or the work was stopped (what: the file, or what was done).
  std::function<int(const std::string& what)> WriteFailure;
  // A read of the input failed with error (it may have become shorter).
  std::function<int(int error)> InputFailure;
};

// The input is read once, stripe by stripe (a chunk at the same offset of each file of a
// group), each chunk written into its file of the set (outputs: created and empty, the
// container first, its data after its stub and header) and coded, the parity written as it is
// made into new outputs for targets (BASE.r01, ...), nameless or not, appended to *outputs. A
// piece's sum takes its data as it goes by; the original's, which needs the input in order, is
// taken by a thread beside the coding that reads it again (from the page cache, mostly). Once
// every payload is in, split.Seal writes the container's stub and header; the recovery files'
// headers, which copy it, come last, and every file is finished. Progress: the payloads' bytes,
// on the step begun by the caller. ExitComplete, or an exit code after telling CliErr.
int WriteSetWithRecovery(const OnePassSplit& split, const std::vector<std::string>& targets,
                         bool nameless, std::vector<PendingOutput>* outputs);

// verify: whether recovery files of the set lie beside its container (they are read after the
// pieces: the progress line counts them as a step).
bool HasRecoveryFiles(const PieceSet& set);

// verify: what the recovery files beside a set say of it. They are surveyed once the set was
// judged, and told in two parts: the lines of the set's files they place, among the set's own
// lines before its result; then the lines of the recovery files, ending in whether they can
// repair the set. Nothing is told when none was surveyed.
class VerifyRecovery {
 public:
  VerifyRecovery();
  ~VerifyRecovery();
  VerifyRecovery(const VerifyRecovery&) = delete;
  VerifyRecovery& operator=(const VerifyRecovery&) = delete;

  // After the pieces were judged (whole: nothing was found wrong), when the set has recovery
  // files: reads them, unless quiet and whole and not for JSON. foundWhole: per file of the set
  // (0: the container), the file the walk read and found to be what the digest block gives it
  // (Kind Missing for the others); those the survey does not read again, so the set is read once.
  // condemned: the recovery files (by name) that BASE.sha256 condemns, left out of the survey
  // (why: what condemns them). ExitComplete, or ExitInterrupted after telling CliErr.
  int SurveyJudged(const PieceSet& set, bool whole, bool quiet, bool json,
                   const std::vector<OsFileInfo>& foundWhole,
                   const std::vector<std::string>& condemned = {}, const std::string& why = "");
  // A container verify could not judge (ExitBadContainer, not a container; ExitUnchecked, a
  // header whose digest block does not check; or not there at all): ExitMismatch when recovery
  // files beside it describe a set in which the container is bad (the set is damaged, not
  // another splitter's), ExitMissingPiece when they find it and maybe pieces missing, nothing
  // damaged. Else -1, nothing kept to tell; or ExitInterrupted after telling CliErr.
  int SurveyBadContainer(const std::string& containerPath, const std::string& piecesDir,
                         bool quiet);

  // The set's files as the recovery files find them, on CliOut: the bad ones verify cannot see
  // (all of them for a container it could not judge; containerTold: but for a container whose
  // joiner program or header verify named already), and the bytes of each damaged one.
  void PrintFileLines(bool containerTold = false) const;
  // Of a set verify judged: the recovery files find the container's joiner program or header
  // damaged, its data good.
  bool ContainerPrefixDamaged() const;
  // The recovery files' own lines on CliOut, then the "Recovery:" line. containerPath: what
  // repair is to be given.
  void PrintRecoveryLines(const std::string& containerPath) const;
  // The facts as a member "recovery" of the object being written.
  void Json(JsonWriter* json) const;

  struct Facts;  // what the survey found (defined beside it)

 private:
  std::unique_ptr<Facts> facts_;
};
