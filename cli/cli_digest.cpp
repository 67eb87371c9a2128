#include "cli/cli_digest.h"

#include <string.h>

#include <algorithm>

#include "cli/cli.h"
#include "cli/cli_copy.h"
#include "cli/cli_paths.h"
#include "cli/cli_progress.h"
#include "integrity/crc32c.h"

// 256 KiB: the fastest size measured here for reading, hashing and writing (tools/
// bench_digest_cli.sh); from 512 KiB on, writes into the page cache became several times slower.
static const size_t ChunkSize = 256 << 10;

static bool AllZero(const char* bytes, size_t count) {
  // Every byte equal to the one before it, and the first zero: one fast compare.
  return count == 0 || (bytes[0] == 0 && memcmp(bytes, bytes + 1, count - 1) == 0);
}

// Reads one chunk: 1 when it was read, 0 when the source ends before its end (it became shorter
// since it was measured), -1 on an error (OsLastError).
static int ReadChunk(OsFile in, void* bytes, size_t count, int64_t offset) {
  if (OsReadAt(in, bytes, count, offset)) return 1;
  OsFileInfo info;
  if (OsInfo(in, &info) && info.Size < offset + static_cast<int64_t>(count)) return 0;
  // Once more, so that OsLastError holds the read's own error, whatever OsInfo left there.
  return OsReadAt(in, bytes, count, offset) ? 1 : -1;
}

int64_t CopyThroughMemory(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                          int64_t progressBase, uint32_t* crc, bool dense) {
  alignas(4096) static char buffer[ChunkSize];  // on a page boundary, as the system copies best
  int64_t done = 0;
  while (done < count) {
    if (OsStopBeforeChunk()) return -1;
    size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, ChunkSize));
    int read = ReadChunk(in, buffer, chunk, inOffset + done);
    if (read <= 0) return read == 0 ? done : -1;
    *crc = Crc32cAdd(*crc, buffer, chunk);
    if (out != NoFile && (dense || !AllZero(buffer, chunk)) && !OsWriteAt(out, buffer, chunk, outOffset + done)) {
      return -1;
    }
    done += static_cast<int64_t>(chunk);
    ProgressUpdate(progressBase + done);
  }
  return done;
}

// The file name of piece n as the set names it.
static std::string PieceFileName(const PieceSet& set, int32_t n) {
  return n == 0 ? LastComponent(set.ContainerPath) : set.PieceName(n);
}

// A finding of kind about pieces first to last, named name; the kind's further fields are the
// caller's to fill in.
static Finding& AddFinding(PieceCheck* check, FindingKind kind, int32_t first, int32_t last, const std::string& name) {
  check->Findings.push_back(Finding{kind, first, last, name, 0, 0, ""});
  return check->Findings.back();
}

static void AddRunFinding(PieceCheck* check, FindingKind kind) {
  const DigestBlock& block = check->Set->Head.Digests;
  int32_t first = RunFirstPiece(block, check->Run), last = RunLastPiece(block, check->Run);
  AddFinding(check, kind, first, last, PieceFileName(*check->Set, first) + " to " + PieceFileName(*check->Set, last));
}

// A run of several pieces that lacks a piece, or holds one of the wrong size, cannot be judged
// by its digest: the others of it, if any was read with its size, are noted as not checked.
static void CloseRun(PieceCheck* check) {
  if (check->Run < 0 || check->RunJudged) return;
  check->RunJudged = true;
  const DigestBlock& block = check->Set->Head.Digests;
  if (RunFirstPiece(block, check->Run) != RunLastPiece(block, check->Run) && check->RunSound > 0) {
    AddRunFinding(check, FindingKind::RunUnchecked);
  }
}

void CheckBegin(PieceCheck* check, const PieceSet& set, int32_t n) {
  check->Set = &set;
  int32_t run = DigestIndexOf(set.Head.Digests, n);
  if (run != check->Run) {
    CloseRun(check);
    check->Run = run;
    check->Crc = 0;
    check->RunWhole = StartsRun(set.Head.Digests, n);
    check->RunJudged = false;
    check->RunSound = 0;
  } else if (n != check->Next) {
    check->RunWhole = false;  // a piece before it is missing
  }
  check->Next = n + 1;
}

void CheckEnd(PieceCheck* check, const PieceFile& piece) {
  const DigestBlock& block = check->Set->Head.Digests;
  // Walks of a set with a block visit only the block's pieces: PieceOutsideSet does not come.
  PieceVerdict verdict = JudgePiece(block, piece.Index, piece.DataSize, check->Crc);
  if (verdict == PieceShort || verdict == PieceLong) {
    Finding& finding = AddFinding(check, verdict == PieceShort ? FindingKind::Short : FindingKind::Long, piece.Index,
                                  piece.Index, LastComponent(piece.Path));
    finding.Payload = piece.DataSize;
    finding.Expected = ExpectedPayload(block, piece.Index);
    check->RunWhole = false;
  } else {
    check->RunSound++;
  }
  if (!EndsRun(block, piece.Index)) return;
  if (!check->RunWhole) return CloseRun(check);
  check->RunJudged = true;
  // The last run may hold one piece only: that piece is then named alone.
  bool alone = RunFirstPiece(block, check->Run) == RunLastPiece(block, check->Run);
  if (verdict == PieceDamaged || (verdict == RunDamaged && alone)) {
    AddFinding(check, FindingKind::Damaged, piece.Index, piece.Index, LastComponent(piece.Path));
  } else if (verdict == RunDamaged) {
    AddRunFinding(check, FindingKind::RunDamaged);
  }
}

void CheckFinish(PieceCheck* check) {
  if (check->Set != nullptr) CloseRun(check);
}

void CheckMissing(PieceCheck* check, int32_t first, int32_t last, const std::string& path) {
  if (last - first < NamedAloneInARow) {
    for (int32_t n = first; n <= last; n++) {
      std::string name = n == first ? LastComponent(path) : PieceFileName(*check->Set, n);
      AddFinding(check, FindingKind::Missing, n, n, name).Path = n == first ? path : JoinPath(check->Set->Folder, name);
    }
    return;
  }
  std::string name = LastComponent(path) + " to " + PieceFileName(*check->Set, last);
  AddFinding(check, FindingKind::Missing, first, last, name).Path = path;
}

int64_t BadPieceCount(const PieceCheck& check) {
  return std::count_if(check.Findings.begin(), check.Findings.end(), [](const Finding& finding) {
    return finding.Kind != FindingKind::Missing && finding.Kind != FindingKind::RunUnchecked;
  });
}

static std::string Describe(const Finding& finding) {
  long long payload = finding.Payload, expected = finding.Expected;
  long long count = static_cast<long long>(finding.Last) - finding.First + 1;
  char text[160];
  switch (finding.Kind) {
    case FindingKind::Missing:
      if (count > 1) return "missing, all " + std::to_string(count) + " (looked for " + Printable(finding.Path) + ", ...)";
      return "missing (looked for " + Printable(finding.Path) + ")";
    case FindingKind::Short:
    case FindingKind::Long:
      snprintf(text, sizeof text, "%s: %lld bytes of data, the set gives it %lld",
               finding.Kind == FindingKind::Short ? "short" : "long", payload, expected);
      return text;
    case FindingKind::Damaged:
      return "damaged: its data differs from its digest";
    case FindingKind::RunDamaged:
      snprintf(text, sizeof text, "damaged: one or more of these %lld pieces (pieces %d to %d), whose one digest differs",
               count, finding.First, finding.Last);
      return text;
    case FindingKind::RunUnchecked:
      snprintf(text, sizeof text, "not checked: these %lld pieces share a digest, and one of them is missing or has the "
               "wrong size", count);
      return text;
  }
  return "";
}

void PrintFindings(FILE* stream, const PieceCheck& check, const char* indent) {
  std::vector<Finding> findings = check.Findings;
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.First < b.First; });
  for (const Finding& finding : findings) {
    CliPrint(stream, "%s%s: %s\n", indent, Printable(finding.Name).c_str(), Describe(finding).c_str());
  }
}

std::string DigestCoverage(const PieceSet& set) {
  if (!set.Head.HasDigests) return "none (a set of another splitter): only the sizes can be checked";
  const DigestBlock& block = set.Head.Digests;
  long long pieces = block.Image.PieceCount, run = block.Image.RunLength;
  if (pieces == 1) return "CRC-32C of the container's data, the set's one piece";
  if (run == 1) return "CRC-32C of each of the " + std::to_string(pieces) + " pieces";
  return "CRC-32C of runs of " + std::to_string(run) + " pieces (" + std::to_string(pieces) + " pieces, " +
         std::to_string(block.DigestCount) + " digests): a damaged piece is named with its run";
}
