// The digest block on the tool's side: the judgement of a set's pieces against the block (join
// and verify), with the words that name what is wrong. The pieces are hashed as they are copied
// or read (CopyThroughMemory, set/copy.h).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "cli/set/pieces.h"
#include "container/digest_block.h"

// What a check found wrong with a piece, or with the run of pieces one digest covers.
enum class FindingKind {
  Missing,       // the piece, or the pieces First to Last, are not there (Path: where the first
                 // was looked for)
  Short,         // fewer bytes of data than the block gives it
  Long,          // more
  Damaged,       // its size is right, its digest differs
  RunDamaged,    // the pieces' sizes are right, their shared digest differs: one or more is damaged
  RunUnchecked,  // pieces of a run whose digest cannot be taken: another piece of it is missing or
                 // has the wrong size
};

struct Finding {
  FindingKind Kind = FindingKind::Damaged;
  int32_t First = 0;  // the piece, or the first piece of the run
  int32_t Last = 0;   // the same piece, or the last piece of the run
  std::string Name;   // the piece's file name, or "FIRST to LAST" for a run
  int64_t Payload =
      0;  // short, long: the data the piece holds (the container's from byte 30720 on)
  int64_t Expected = 0;  // and the data the block gives it
  std::string Path;      // missing: the path looked for
};

// The pieces of a set with a digest block, judged while they are read in order. A missing piece
// is never begun; the run it belongs to then cannot be judged.
struct PieceCheck {
  const PieceSet* Set = nullptr;
  uint32_t Crc = 0;        // of the run being read, so far
  int32_t Run = -1;        // that run's digest; -1 before the first piece
  int32_t Next = 0;        // the piece after the last one begun
  bool RunWhole = false;   // every piece of the run so far was there, with its size
  bool RunJudged = false;  // the run's last piece was read
  int32_t RunSound = 0;    // pieces of the run read with their right size
  std::vector<Finding> Findings;
};

// Before piece n is read: set must carry a digest block.
void CheckBegin(PieceCheck* check, const PieceSet& set, int32_t n);
// After it was read whole (its CRC continued into check->Crc), with its data size.
void CheckEnd(PieceCheck* check, const PieceFile& piece);
// After the walk: a run whose last piece never came is noted.
void CheckFinish(PieceCheck* check);
// Missing pieces first to last (path: where the first was looked for), noted in their place.
void CheckMissing(PieceCheck* check, int32_t first, int32_t last, const std::string& path);
// Findings that make the data possibly damaged: short, long and damaged pieces and runs.
int64_t BadPieceCount(const PieceCheck& check);

// The finding that judges present piece n: its own (short, long, damaged), else its run's
// (damaged, not checked); null when none, the piece being good.
const Finding* FindingOf(const PieceCheck& check, int32_t n);
// The verdict word of a finding for --json: "missing", "short", "long", "damaged", "run_damaged",
// "unchecked".
const char* FindingVerdict(FindingKind kind);

// The findings in piece order, one line each, after indent.
void PrintFindings(FILE* stream, const PieceCheck& check, const char* indent);
// What the set's digests cover, for info and verify.
std::string DigestCoverage(const PieceSet& set);
// What is wrong with the container's joiner program and header, a line each (no indent, no
// newline): none when they are sound or cannot be checked. dataGood: the container's data was
// read and found good (said beside a damaged joiner program).
std::vector<std::string> ContainerPartLines(const PieceSet& set, bool dataGood);
// The repair that mends the set from the recovery files beside its pieces, as it can be pasted:
// "tarnovell repair PATH", with --pieces-base where the pieces are not named and placed from the
// container's name; "" when no recovery file of the set is there.
std::string RepairCommand(const PieceSet& set);
// What mends the container's damaged parts: "to mend it, run `tarnovell repair PATH`" where this
// tool's own joiner program or the recovery files beside the set can, else "fetch NAME again".
std::string ContainerPartRemedy(const PieceSet& set);
