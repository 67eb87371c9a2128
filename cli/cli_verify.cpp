// verify: every piece of a set read and judged against the set's digest block, nothing written.
// Findings and the result go to CliOut; a set without digests gets its sizes checked only. A set
// with recovery files gets one more line: whether they can repair it.
#include "cli/cli.h"
#include "cli/cli_checksums.h"
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
                     FileChecksums* sums, std::string* failure) {
  CheckBegin(check, set, piece.Index);
  if (check->RunWhole && piece.DataSize == ExpectedPayload(set.Head.Digests, piece.Index)) {
    int64_t got = CopyThroughMemory(piece.File, piece.DataOffset, NoFile, 0, piece.DataSize,
                                    piece.DataBefore, &check->Crc, false, sums->Begin(piece));
    int code = PieceMoveOutcome(piece, got, "reading", failure);
    if (code != ExitComplete) return code;
    sums->End();
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

// A file of a set without digests that BASE.sha256 names: read whole for its SHA-256.
static int ReadNamedFile(const PieceFile& piece, FileChecksums* sums, std::string* failure) {
  ChunkSink* sink = sums->Begin(piece);
  if (sink == nullptr) return ExitComplete;
  int64_t got = CopyThroughMemory(piece.File, piece.DataOffset, NoFile, 0, piece.DataSize,
                                  piece.DataBefore, nullptr, false, sink);
  int code = PieceMoveOutcome(piece, got, "reading", failure);
  if (code == ExitComplete) sums->End();
  return code;
}

// A set of another splitter: its files are found and measured, not read; unless BASE.sha256
// lies beside it, whose SHA-256 then judges each file it names.
static int VerifySizes(const PieceSet& set, const SetChecksums& checksums) {
  std::string name = Printable(LastComponent(set.ContainerPath));
  CliPrint(CliOut, "%s: no digests: %s\n", name.c_str(),
           checksums.Path.empty() ? "only the sizes can be checked"
                                  : ("the files are checked by " + checksums.FileName()).c_str());
  FileChecksums sums(checksums);
  WalkEnd end = WalkPieces(set, [&](const PieceFile& piece, std::string* failure) {
    return ReadNamedFile(piece, &sums, failure);
  });
  int failure = WalkFailure(end);
  if (failure >= 0) return failure;
  bool counted = !checksums.Path.empty() &&
                 ChecksumsOfThisSet(checksums, set, sums, [](int32_t) { return false; });
  int64_t differ = counted ? PrintChecksumDifferences(CliOut, checksums, sums, true, "  ") : 0;
  long long files = end.Files, data = end.Data, total = set.Head.TotalSize;
  bool allMatch = counted && differ == 0 && static_cast<long long>(sums.Files.size()) == files;
  if (end.Code == ExitMissingPiece) {
    CliPrint(CliOut, "  %s: missing (looked for %s)\n",
             Printable(LastComponent(end.Missing)).c_str(), Printable(end.Missing).c_str());
    CliPrint(CliOut, "Result:    missing pieces: %lld of %lld bytes found\n", data, total);
  } else if (end.Code == ExitMismatch) {
    CliPrint(
        CliOut,
        "Result:    possibly damaged: the files hold %lld bytes of data, the header gives %lld\n",
        data, total);
  } else if (differ > 0) {
    CliPrint(CliOut, "Result:    possibly damaged: fetch the pieces named again\n");
    return ExitMismatch;
  } else if (allMatch) {
    CliPrint(CliOut,
             "Result:    whole: the data of %lld file%s is the header's %lld bytes, and the "
             "SHA-256 of each matches %s\n",
             files, files == 1 ? "" : "s", total, checksums.FileName().c_str());
    return ExitComplete;
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

// Whether a file of the set was found whole by the digests: read, and in no finding.
static bool FoundWhole(const PieceCheck& check, int32_t index) {
  for (const Finding& finding : check.Findings)
    if (index >= finding.First && index <= finding.Last) return false;
  return true;
}

// BASE.sha256 beside a set with digests, after the verdict (code): one that differs for a file
// the digests find whole is another set's, and only warned about. Else the recovery files it
// names are checked too: one that differs is damaged (the pieces the digests found damaged were
// named already).
static int ReportChecksums(const PieceSet& set, const SetChecksums& checksums, FileChecksums* sums,
                           const PieceCheck& check, int code, bool quiet) {
  if (checksums.Path.empty() || !ChecksumsOfThisSet(checksums, set, *sums, [&](int32_t index) {
        return FoundWhole(check, index);
      })) {
    return code;
  }
  if (!sums->AddRecoveryFiles(set)) {
    CliPrint(CliErr, "tarnovell: file system error: reading the recovery files: %s\n",
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  if (PrintChecksumDifferences(CliOut, checksums, *sums, false, "  ") > 0) {
    CliPrint(CliOut, "Result:    possibly damaged: fetch the files named again\n");
    return code == ExitComplete ? ExitMismatch : code;
  }
  if (!quiet && code == ExitComplete) {
    CliPrint(CliOut, "%s: the SHA-256 of %zu file%s matches\n", checksums.FileName().c_str(),
             sums->Files.size(), sums->Files.size() == 1 ? "" : "s");
  }
  return code;
}

// A container that could not be judged (code): its recovery files may show that it is damaged.
static int WithRecoveryOfContainer(const VerifyOptions& options, int code) {
  ProgressSkip(ProgressStep::VerifyPieces);  // the recovery files are all there is to check
  int recovery =
      ReportRecoveryForBadContainer(options.ContainerPath, options.PiecesDir, options.Quiet);
  return recovery >= 0 ? recovery : code;
}

int RunVerify(const VerifyOptions& options) {
  ProgressSteps(ProgressCommand::Verify);
  PieceSet set;
  int code = OpenPieceSet(options.ContainerPath, options.PiecesDir, &set);
  if (code == ExitBadContainer) return WithRecoveryOfContainer(options, code);
  if (code != ExitComplete) return code;
  SetChecksums checksums;
  LoadSetChecksums(set, &checksums);
  if (!set.Head.HasDigests) {
    code = VerifySizes(set, checksums);
    bool judged = code == ExitUnchecked || code == ExitMismatch || code == ExitMissingPiece;
    return judged ? WithRecoveryOfContainer(options, code) : code;
  }
  PieceCheck check;
  FileChecksums sums(checksums);
  if (!HasRecoveryFiles(set)) ProgressSkip(ProgressStep::VerifyRecovery);
  ProgressBegin(!options.Quiet, set.Head.TotalSize, ProgressStep::VerifyPieces);
  WalkEnd end = WalkPieces(
      set,
      [&](const PieceFile& piece, std::string* failure) {
        ProgressLabel(LastComponent(piece.Path));
        return ReadPiece(set, piece, &check, &sums, failure);
      },
      true);
  CheckFinish(&check);
  ProgressEnd();
  for (const WalkEnd::MissingPiece& missing : end.MissingPieces) {
    CheckMissing(&check, missing.First, missing.Last, missing.Path);
  }
  code = ReportVerdict(set, end, check, options.Quiet);
  if (code != ExitComplete && code != ExitMismatch && code != ExitMissingPiece) return code;
  code = ReportChecksums(set, checksums, &sums, check, code, options.Quiet);
  if (code == ExitFileError) return code;
  // Recovery files beside the set: whether they can repair it (the exit code stays the pieces').
  int recovery = ReportRecoveryForVerify(set, code == ExitComplete, options.Quiet);
  return recovery != ExitComplete ? recovery : code;
}
