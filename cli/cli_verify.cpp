// verify: every piece of a set read and judged against the set's digest block, nothing written.
// Findings and the result go to CliOut; a set without digests gets its sizes checked only. A set
// with recovery files gets one more line: whether they can repair it.
#include "cli/cli.h"
#include "cli/cli_copy.h"
#include "cli/cli_digest.h"
#include "cli/cli_paths.h"
#include "cli/cli_pieces.h"
#include "cli/cli_progress.h"
#include "cli/cli_recovery.h"

// Reads one piece and judges it. A piece of the wrong size is judged by its size alone: no digest
// can match it, nor the digest of its run. Nor is a piece read whose run can no longer be judged
// (a piece before it in the run is missing or of the wrong size).
static int ReadPiece(const PieceSet& set, const PieceFile& piece, PieceCheck* check,
                     std::string* failure) {
  CheckBegin(check, set, piece.Index);
  if (check->RunWhole && piece.DataSize == ExpectedPayload(set.Head.Digests, piece.Index)) {
    int64_t got = CopyThroughMemory(piece.File, piece.DataOffset, NoFile, 0, piece.DataSize,
                                    piece.DataBefore, &check->Crc);
    int code = PieceMoveOutcome(piece, got, "reading", failure);
    if (code != ExitComplete) return code;
  }
  CheckEnd(check, piece);
  return ExitComplete;
}

// A walk that ended without judging the set: said on CliErr. -1 when it did not.
static int WalkFailure(const WalkEnd& end) {
  switch (end.Code) {
    case ExitInterrupted: return ReportInterrupted("nothing was changed");
    case ExitFileError:
      CliPrint(CliErr, "tarnovell: file system error: %s\n", end.Failure.c_str());
      return end.Code;
    case ExitComplete:
    case ExitMismatch:
    case ExitMissingPiece: return -1;
    default: CliPrint(CliErr, "tarnovell: %s\n", end.Failure.c_str()); return end.Code;
  }
}

// A set of another splitter: its files are found and measured, not read.
static int VerifySizes(const PieceSet& set) {
  std::string name = Printable(LastComponent(set.ContainerPath));
  CliPrint(CliOut, "%s: no digests: only the sizes can be checked\n", name.c_str());
  WalkEnd end = WalkPieces(
      set, [](const PieceFile&, std::string*) { return static_cast<int>(ExitComplete); });
  int failure = WalkFailure(end);
  if (failure >= 0) return failure;
  long long files = end.Files, data = end.Data, total = set.Head.TotalSize;
  if (end.Code == ExitMissingPiece) {
    CliPrint(CliOut, "  %s: missing (looked for %s)\n",
             Printable(LastComponent(end.Missing)).c_str(), Printable(end.Missing).c_str());
    CliPrint(CliOut, "Result:    missing pieces: %lld of %lld bytes found\n", data, total);
  } else if (end.Code == ExitMismatch) {
    CliPrint(
        CliOut,
        "Result:    possibly damaged: the files hold %lld bytes of data, the header gives %lld\n",
        data, total);
  } else {
    CliPrint(
        CliOut,
        "Result:    sizes add up: the data of %lld file%s is the header's %lld bytes; the contents "
        "cannot be checked\n",
        files, files == 1 ? "" : "s", total);
    return ExitUnchecked;
  }
  return end.Code;
}

static int ReportVerdict(const PieceSet& set, const WalkEnd& end, const PieceCheck& check,
                         bool quiet) {
  int failure = WalkFailure(end);
  if (failure >= 0) return failure;
  std::string name = Printable(LastComponent(set.ContainerPath));
  long long pieces = set.Head.Digests.Image.PieceCount, total = set.Head.TotalSize;
  if (check.Findings.empty()) {
    if (!quiet) {
      CliPrint(CliOut,
               "%s: whole: %lld piece%s, %lld bytes, each with the size and the digest the set "
               "gives it\n",
               name.c_str(), pieces, pieces == 1 ? "" : "s", total);
    }
    return ExitComplete;
  }
  CliPrint(CliOut, "%s: digests: %s\n", name.c_str(), DigestCoverage(set).c_str());
  PrintFindings(CliOut, check, "  ");
  if (BadPieceCount(check) > 0) {
    CliPrint(CliOut, "Result:    possibly damaged: fetch the pieces named again\n");
    return ExitMismatch;
  }
  CliPrint(CliOut, "Result:    missing pieces: %lld of %lld; fetch them and verify again\n",
           static_cast<long long>(end.MissingCount()), pieces);
  return ExitMissingPiece;
}

// A container that could not be judged (code): its recovery files may show that it is damaged.
static int WithRecoveryOfContainer(const VerifyOptions& options, int code) {
  int recovery =
      ReportRecoveryForBadContainer(options.ContainerPath, options.PiecesDir, options.Quiet);
  return recovery >= 0 ? recovery : code;
}

int RunVerify(const VerifyOptions& options) {
  PieceSet set;
  int code = OpenPieceSet(options.ContainerPath, options.PiecesDir, &set, options.PiecesBase);
  if (code == ExitBadContainer) return WithRecoveryOfContainer(options, code);
  if (code != ExitComplete) return code;
  if (!set.Head.HasDigests) {
    code = VerifySizes(set);
    bool judged = code == ExitUnchecked || code == ExitMismatch || code == ExitMissingPiece;
    return judged ? WithRecoveryOfContainer(options, code) : code;
  }
  PieceCheck check;
  ProgressBegin(!options.Quiet, set.Head.TotalSize);
  WalkEnd end = WalkPieces(
      set,
      [&](const PieceFile& piece, std::string* failure) {
        ProgressLabel(LastComponent(piece.Path));
        return ReadPiece(set, piece, &check, failure);
      },
      true);
  CheckFinish(&check);
  ProgressEnd();
  for (const WalkEnd::MissingPiece& missing : end.MissingPieces) {
    CheckMissing(&check, missing.First, missing.Last, missing.Path);
  }
  code = ReportVerdict(set, end, check, options.Quiet);
  if (code != ExitComplete && code != ExitMismatch && code != ExitMissingPiece) return code;
  // Recovery files beside the set: whether they can repair it (the exit code stays the pieces').
  int recovery = ReportRecoveryForVerify(set, code == ExitComplete, options.Quiet);
  return recovery != ExitComplete ? recovery : code;
}
