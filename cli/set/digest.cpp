#include "cli/set/digest.h"

#include <algorithm>

#include "cli/os/paths.h"
#include "cli/set/recovery_files.h"
#include "cli/set/stub_image.h"
#include "cli/show/hints.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"
#include "integrity/crc32c.h"

// The file name of piece n as the set names it.
static std::string PieceFileName(const PieceSet& set, int32_t n) {
  return n == 0 ? LastComponent(set.ContainerPath) : set.PieceName(n);
}

// A finding of kind about pieces first to last, named name; the kind's further fields are the
// caller's to fill in.
static Finding& AddFinding(PieceCheck* check, FindingKind kind, int32_t first, int32_t last,
                           const std::string& name) {
  check->Findings.push_back(Finding{kind, first, last, name, 0, 0, ""});
  return check->Findings.back();
}

static void AddRunFinding(PieceCheck* check, FindingKind kind) {
  const DigestBlock& block = check->Set->Head.Digests;
  int32_t first = RunFirstPiece(block, check->Run), last = RunLastPiece(block, check->Run);
  AddFinding(check, kind, first, last,
             PieceFileName(*check->Set, first) + " to " + PieceFileName(*check->Set, last));
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
    Finding& finding =
        AddFinding(check, verdict == PieceShort ? FindingKind::Short : FindingKind::Long,
                   piece.Index, piece.Index, LastComponent(piece.Path));
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
      AddFinding(check, FindingKind::Missing, n, n, name).Path =
          n == first ? path : JoinPath(check->Set->Folder, name);
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

const Finding* FindingOf(const PieceCheck& check, int32_t n) {
  const Finding* found = nullptr;
  for (const Finding& finding : check.Findings) {
    if (finding.First > n || finding.Last < n || finding.Kind == FindingKind::Missing) continue;
    if (found == nullptr || finding.First == finding.Last) found = &finding;
  }
  return found;
}

const char* FindingVerdict(FindingKind kind) {
  switch (kind) {
    case FindingKind::Missing: return "missing";
    case FindingKind::Short: return "short";
    case FindingKind::Long: return "long";
    case FindingKind::Damaged: return "damaged";
    case FindingKind::RunDamaged: return "run_damaged";
    case FindingKind::RunUnchecked: return "unchecked";
  }
  return "";
}

static std::string Describe(const Finding& finding) {
  long long payload = finding.Payload, expected = finding.Expected;
  long long count = static_cast<long long>(finding.Last) - finding.First + 1;
  char text[160];
  switch (finding.Kind) {
    case FindingKind::Missing:
      if (count > 1)
        return "missing, all " + std::to_string(count) + " (looked for " + Printable(finding.Path) +
               ", ...)";
      return "missing (looked for " + Printable(finding.Path) + ")";
    case FindingKind::Short:
    case FindingKind::Long:
      snprintf(text, sizeof text, "%s: %lld bytes of data, the set gives it %lld",
               finding.Kind == FindingKind::Short ? "short" : "long", payload, expected);
      return text;
    case FindingKind::Damaged: return "damaged: its data differs from its digest";
    case FindingKind::RunDamaged:
      snprintf(
          text, sizeof text,
          "damaged: one or more of these %lld pieces (pieces %d to %d), whose one digest differs",
          count, finding.First, finding.Last);
      return text;
    case FindingKind::RunUnchecked:
      snprintf(
          text, sizeof text,
          "not checked: these %lld pieces share a digest, and one of them is missing or has the "
          "wrong size",
          count);
      return text;
  }
  return "";
}

void PrintFindings(FILE* stream, const PieceCheck& check, const char* indent) {
  std::vector<Finding> findings = check.Findings;
  std::stable_sort(findings.begin(), findings.end(),
                   [](const Finding& a, const Finding& b) { return a.First < b.First; });
  for (const Finding& finding : findings) {
    CliPrint(stream, "%s%s: %s\n", indent, Printable(finding.Name).c_str(),
             Describe(finding).c_str());
  }
}

std::string DigestCoverage(const PieceSet& set) {
  if (!set.Head.HasDigests && set.Head.HeaderDamaged)
    return "none that check: the header is damaged (its digest block no longer checks)";
  if (!set.Head.HasDigests)
    return "none (a set of another splitter): only the sizes can be checked";
  const DigestBlock& block = set.Head.Digests;
  long long pieces = block.Image.PieceCount, run = block.Image.RunLength;
  if (pieces == 1) return "CRC-32C of the container's data, the set's one piece";
  if (run == 1) return "CRC-32C of each of the " + std::to_string(pieces) + " pieces";
  return "CRC-32C of runs of " + std::to_string(run) + " pieces (" + std::to_string(pieces) +
         " pieces, " + std::to_string(block.DigestCount) +
         " digests): a damaged piece is named with its run";
}

std::vector<std::string> ContainerPartLines(const PieceSet& set, bool dataGood) {
  const ContainerHead& head = set.Head;
  std::string name = Printable(LastComponent(set.ContainerPath));
  std::vector<std::string> lines;
  if (head.HeaderDamaged && !head.HeaderCopy.empty()) {
    lines.push_back(name + ": its header is damaged (its digest block no longer checks); the set is "
                           "read by the copy in " +
                    Printable(LastComponent(head.HeaderCopy)));
  } else if (head.HeaderDamaged) {
    lines.push_back(name + ": its header is damaged (its digest block no longer checks), and no "
                           "recovery file holds a copy: its name, size and times may be wrong, "
                           "and no piece can be checked");
  }
  if (head.Program == PartState::Damaged)
    lines.push_back(name + ": its Windows joiner is damaged" + (dataGood ? "; the data is good" : ""));
  return lines;
}

std::string RepairCommand(const PieceSet& set) {
  std::string base = JoinPath(set.Folder, set.BaseName);
  if (set.BaseName.empty() || RecoveryFilesBeside(base).empty()) return "";
  std::string own = ContainerBasePath(set.ContainerPath);
  // repair finds the pieces beside the container unless --pieces-base gives a folder with them.
  std::string piecesBase = base == own                                  ? ""
                           : set.Folder == FolderOf(set.ContainerPath) ? set.BaseName
                                                                       : base;
  return "tarnovell repair " + PasteablePath(set.ContainerPath) +
         (piecesBase.empty() ? "" : " --pieces-base " + PasteablePath(piecesBase));
}

std::string ContainerPartRemedy(const PieceSet& set) {
  const ContainerHead& head = set.Head;
  std::string repair = RepairCommand(set);
  bool ownStub = head.Digests.HasStubDigest &&
                 Crc32cAdd(0, StubImage, StubImageSize) == head.Digests.StubDigest;
  bool mendable = head.HeaderDamaged ? !head.HeaderCopy.empty() : !repair.empty() || ownStub;
  if (mendable && repair.empty()) repair = "tarnovell repair " + PasteablePath(set.ContainerPath);
  if (mendable) return "to mend it, run `" + repair + "`";
  return "fetch " + Printable(LastComponent(set.ContainerPath)) + " again";
}
