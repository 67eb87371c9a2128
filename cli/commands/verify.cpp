// verify: every piece of a set read and judged against the set's digest block, nothing written.
// Findings and the result go to CliOut; a set without digests gets its sizes checked only. A set
// with recovery files gets one more line: whether they can repair it, and BASE.sha256 beside it is
// compared with what was read. --json: the same facts as one JSON object.
#include <algorithm>
#include <functional>

#include "cli/commands/commands.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/checksums.h"
#include "cli/set/copy.h"
#include "cli/set/digest.h"
#include "cli/set/pieces.h"
#include "cli/set/recovery.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"

// Reads one piece and judges it. A piece of the wrong size is judged by its size alone: no digest
// can match it, nor the digest of its run. Nor is a piece read whose run can no longer be judged
// (a piece before it in the run is missing or of the wrong size).
static int ReadPiece(const PieceSet& set, const PieceFile& piece, PieceCheck* check,
                     FileChecksums* sums, std::string* failure) {
  CheckBegin(check, set, piece.Index);
  if (check->RunWhole && piece.DataSize == ExpectedPayload(set.Head.Digests, piece.Index)) {
    ChunkSink* sink = sums->Begin(piece);
    int64_t got = sink == nullptr ? HashThroughMemory(piece.File, piece.DataOffset, piece.DataSize,
                                                      piece.DataBefore, &check->Crc)
                                  : CopyThroughMemory(piece.File, piece.DataOffset, NoFile, 0,
                                                      piece.DataSize, piece.DataBefore,
                                                      &check->Crc, false, sink);
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

// --json: BASE.sha256 as verify used it, each file it names that was read with its verdict.
static void JsonChecksums(JsonWriter* json, const SetChecksums& checksums,
                          const FileChecksums& sums, bool counted) {
  if (checksums.Path.empty()) return;
  json->Begin("checksums").NameField("file", checksums.FileName()).Field("counted", counted);
  json->BeginArray("files");
  for (const FileChecksums::Compared& file : sums.Files) {
    json->Begin().NameField("name", file.Name);
    json->Field("verdict", file.Matches ? "good" : "damaged").End();
  }
  json->End().End();
}

// One file of the set as verify found it.
struct VerifiedFile {
  int32_t Index = 0;  // 0: the container
  std::string Name;
  int64_t Size = 0;
  int64_t DataSize = 0;
};

static VerifiedFile VerifiedFileOf(const PieceFile& piece) {
  return VerifiedFile{piece.Index, LastComponent(piece.Path), piece.Info.Size, piece.DataSize};
}

// --json: a file found, its verdict still to come.
static void JsonFile(JsonWriter* json, const VerifiedFile& file) {
  json->Begin()
      .Field("piece", file.Index)
      .NameField("name", file.Name)
      .Field("size", file.Size)
      .Field("data_size", file.DataSize);
}

static void JsonMissing(JsonWriter* json, int32_t first, int32_t last, const std::string& path) {
  json->Begin().Field("piece", first);
  if (last != first) json->Field("last_piece", last);
  json->NameField("name", LastComponent(path))
      .NameField("looked_for", path)
      .Field("verdict", "missing")
      .End();
}

// No file of the set (for the checksum lines of a set without digests: none told, none vouched).
static bool Nothing(int32_t) { return false; }

// What the sizes of a set without digests say, and BASE.sha256 where it can be counted.
struct SizesVerdict {
  WalkEnd End;
  bool Counted = false;   // BASE.sha256 judges the files it names
  int64_t Differ = 0;     // files whose SHA-256 differs
  bool AllMatch = false;  // every file found is named, and matches
};

// headerDamaged: the set is without digests because its header's block no longer checks.
static int SizesCode(const SizesVerdict& sizes, bool headerDamaged) {
  int code = sizes.End.Code;
  if (code == ExitComplete && sizes.Differ > 0) code = ExitMismatch;
  if (code == ExitComplete && !sizes.AllMatch) code = ExitUnchecked;
  bool judged = code == ExitComplete || code == ExitUnchecked || code == ExitMissingPiece;
  return headerDamaged && judged ? static_cast<int>(ExitMismatch) : code;
}

static void PrintSizes(const PieceSet& set, const SizesVerdict& sizes,
                       const SetChecksums& checksums, const FileChecksums& sums,
                       const VerifyRecovery& recovery) {
  std::string name = Printable(LastComponent(set.ContainerPath));
  if (set.Head.HeaderDamaged) {
    for (const std::string& line : ContainerPartLines(set, false))
      CliPrint(CliOut, "%s\n", line.c_str());
  } else {
    CliPrint(CliOut, "%s: no digests: %s\n", name.c_str(),
             checksums.Path.empty() ? "only the sizes can be checked"
                                    : ("the files are checked by " + checksums.FileName()).c_str());
  }
  if (sizes.Counted) PrintChecksumDifferences(CliOut, checksums, sums, Nothing, Nothing, "  ");
  const WalkEnd& end = sizes.End;
  if (end.Code == ExitMissingPiece) {
    CliPrint(CliOut, "  %s: missing (looked for %s)\n",
             Printable(LastComponent(end.Missing)).c_str(), Printable(end.Missing).c_str());
  }
  recovery.PrintFileLines();
  long long files = end.Files, data = end.Data, total = set.Head.TotalSize;
  if (end.Code == ExitMissingPiece) {
    CliPrint(CliOut, "Result:    missing pieces: %lld of %lld bytes found\n", data, total);
  } else if (end.Code == ExitMismatch) {
    CliPrint(
        CliOut,
        "Result:    possibly damaged: the files hold %lld bytes of data, the header gives %lld\n",
        data, total);
  } else if (sizes.Differ > 0) {
    CliPrint(CliOut, "Result:    possibly damaged: fetch the pieces named again\n");
  } else if (set.Head.HeaderDamaged) {
    CliPrint(CliOut, "Result:    possibly damaged: %s's header; %s\n", name.c_str(),
             ContainerPartRemedy(set).c_str());
  } else if (sizes.AllMatch) {
    CliPrint(CliOut,
             "Result:    whole: the data of %lld file%s is the header's %lld bytes, and the "
             "SHA-256 of each matches %s\n",
             files, files == 1 ? "" : "s", total, checksums.FileName().c_str());
  } else {
    CliPrint(
        CliOut,
        "Result:    sizes add up: the data of %lld file%s is the header's %lld bytes; the contents "
        "cannot be checked\n",
        files, files == 1 ? "" : "s", total);
  }
  recovery.PrintRecoveryLines(set.ContainerPath);
}

static void JsonSizes(JsonWriter* json, const std::vector<VerifiedFile>& files,
                      const SizesVerdict& sizes, const FileChecksums& sums, bool headerDamaged) {
  const WalkEnd& end = sizes.End;
  json->BeginArray("files");
  for (const VerifiedFile& file : files) {
    const char* verdict = file.Index == 0 && headerDamaged ? "header_damaged" : "unchecked";
    for (const FileChecksums::Compared& compared : sums.Files)
      if (sizes.Counted && compared.Index == file.Index)
        verdict = compared.Matches ? "good" : "damaged";
    JsonFile(json, file);
    json->Field("verdict", verdict).End();
  }
  if (end.Code == ExitMissingPiece) {
    JsonMissing(json, static_cast<int32_t>(end.Files), static_cast<int32_t>(end.Files),
                end.Missing);
  }
  json->End().Field("data_found", end.Data);
}

// A container that could not be judged (code), or is not there: its recovery files may show that
// it is damaged or lost (then *recovery keeps them, and the code is theirs).
static int SurveyContainer(const VerifyOptions& options, const std::string& container, int code,
                           VerifyRecovery* recovery) {
  ProgressSkip(ProgressStep::VerifyPieces);  // the recovery files are all there is to check
  int found = recovery->SurveyBadContainer(container, options.PiecesDir, options.Quiet);
  return found >= 0 ? found : code;
}

// A set of another splitter: its files are found and measured, not read; unless BASE.sha256
// lies beside it, whose SHA-256 then judges each file it names. Returns what the sizes and the
// checksums say (or, when recovery files beside the container show it bad, what they say), or
// how the walk failed (told on CliErr).
static int VerifySizes(const PieceSet& set, const SetChecksums& checksums,
                       const VerifyOptions& options, JsonWriter* json) {
  std::vector<VerifiedFile> files;
  FileChecksums sums(checksums);
  SizesVerdict sizes;
  sizes.End = WalkPieces(set, [&](const PieceFile& piece, std::string* failure) {
    files.push_back(VerifiedFileOf(piece));
    return ReadNamedFile(piece, &sums, failure);
  });
  int failure = WalkFailure(sizes.End);
  if (failure >= 0) return failure;
  sizes.Counted = !checksums.Path.empty() &&
                  ChecksumsOfThisSet(checksums, set, sums, Nothing);
  sizes.Differ =
      sizes.Counted ? PrintChecksumDifferences(nullptr, checksums, sums, Nothing, Nothing, "") : 0;
  sizes.AllMatch = sizes.Counted && sizes.Differ == 0 && sums.Files.size() == files.size();
  int code = SizesCode(sizes, set.Head.HeaderDamaged);
  VerifyRecovery recovery;
  if (JudgedSet(code)) code = SurveyContainer(options, set.ContainerPath, code, &recovery);
  if (json != nullptr) {
    JsonSizes(json, files, sizes, sums, set.Head.HeaderDamaged);
    JsonChecksums(json, checksums, sums, sizes.Counted);
    recovery.Json(json);
  } else {
    PrintSizes(set, sizes, checksums, sums, recovery);
  }
  return code;
}

// The verdict of the pieces and of the container's own part (containerDamaged: its joiner
// program or header).
static int VerdictCode(const PieceCheck& check, bool containerDamaged) {
  if (BadPieceCount(check) > 0 || containerDamaged) return ExitMismatch;
  return check.Findings.empty() ? ExitComplete : ExitMissingPiece;
}

// BASE.sha256 as verify judged it against a set with digests.
struct ChecksumVerdict {
  const SetChecksums& Sums;
  const FileChecksums& Files;
  bool Counted;  // it is this set's: it judges the files it names
  std::function<bool(int32_t)> Told, Vouched;
};

// The pieces' verdict: each finding, the container's damaged parts, the files whose SHA-256
// differs from BASE.sha256, then what the recovery files place among the set's files, then the
// one result.
static void PrintVerdict(const PieceSet& set, const WalkEnd& end, const PieceCheck& check,
                         const VerifyRecovery& recovery, bool quiet, bool containerDamaged,
                         const ChecksumVerdict& sums) {
  std::string name = Printable(LastComponent(set.ContainerPath));
  long long pieces = set.Head.Digests.Image.PieceCount, total = set.Head.TotalSize;
  int64_t differ = sums.Counted ? PrintChecksumDifferences(nullptr, sums.Sums, sums.Files,
                                                           sums.Told, sums.Vouched, "")
                                : 0;
  int code = VerdictCode(check, containerDamaged);
  if (code == ExitComplete && differ == 0) {
    if (!quiet) {
      CliPrint(CliOut,
               "%s: whole: %lld piece%s, %lld bytes, each with the size and the digest the set "
               "gives it\n",
               name.c_str(), pieces, pieces == 1 ? "" : "s", total);
    }
    recovery.PrintFileLines();
    return;
  }
  CliPrint(CliOut, "%s: digests: %s\n", name.c_str(), DigestCoverage(set).c_str());
  PrintFindings(CliOut, check, "  ");
  for (const std::string& line : ContainerPartLines(set, FindingOf(check, 0) == nullptr))
    CliPrint(CliOut, "  %s\n", line.c_str());
  if (differ > 0)
    PrintChecksumDifferences(CliOut, sums.Sums, sums.Files, sums.Told, sums.Vouched, "  ");
  recovery.PrintFileLines(ContainerPartDamaged(set.Head));
  if (differ > 0) {
    CliPrint(CliOut, "Result:    possibly damaged: fetch the files named again\n");
  } else if (BadPieceCount(check) > 0 || (code == ExitMismatch && !check.Findings.empty())) {
    CliPrint(CliOut, "Result:    possibly damaged: fetch the pieces named again\n");
  } else if (code == ExitMismatch) {
    CliPrint(CliOut, "Result:    possibly damaged: %s's joiner program or header; %s\n", name.c_str(),
             ContainerPartRemedy(set).c_str());
  } else {
    CliPrint(CliOut, "Result:    missing pieces: %lld of %lld; fetch them and verify again\n",
             static_cast<long long>(end.MissingCount()), pieces);
  }
}

// The container's verdict where its data is good: its joiner program or header may not be
// (recoveryPrefix: the recovery files find one of them damaged).
static const char* ContainerVerdict(const ContainerHead& head, bool recoveryPrefix) {
  if (head.HeaderDamaged) return "header_damaged";
  if (head.Program == PartState::Damaged) return "program_damaged";
  return recoveryPrefix ? "prefix_damaged" : "good";
}

// Each file found with its verdict, and each missing one, in the order of the set.
static void JsonVerdict(JsonWriter* json, const PieceSet& set,
                        const std::vector<VerifiedFile>& files, const PieceCheck& check,
                        bool recoveryPrefix) {
  std::vector<const Finding*> missing;
  for (const Finding& finding : check.Findings)
    if (finding.Kind == FindingKind::Missing) missing.push_back(&finding);
  std::stable_sort(missing.begin(), missing.end(),
                   [](const Finding* a, const Finding* b) { return a->First < b->First; });
  json->BeginArray("files");
  auto next = missing.begin();
  for (const VerifiedFile& file : files) {
    for (; next != missing.end() && (*next)->First < file.Index; ++next)
      JsonMissing(json, (*next)->First, (*next)->Last, (*next)->Path);
    JsonFile(json, file);
    json->Field("expected_data_size", ExpectedPayload(set.Head.Digests, file.Index));
    const Finding* finding = FindingOf(check, file.Index);
    if (finding != nullptr && finding->First != finding->Last)
      json->Field("run_first", finding->First).Field("run_last", finding->Last);
    const char* good = file.Index == 0 ? ContainerVerdict(set.Head, recoveryPrefix) : "good";
    json->Field("verdict", finding == nullptr ? good : FindingVerdict(finding->Kind)).End();
  }
  for (; next != missing.end(); ++next)
    JsonMissing(json, (*next)->First, (*next)->Last, (*next)->Path);
  json->End();
}

// A verdict with damage found too: damage wins over missing pieces, as a damaged piece does.
static int BadCode(int code) {
  return code == ExitComplete || code == ExitMissingPiece ? static_cast<int>(ExitMismatch) : code;
}

// Whether a file of the set was found whole by the digests: read, and in no finding.
static bool FoundWhole(const PieceCheck& check, int32_t index) {
  for (const Finding& finding : check.Findings)
    if (index >= finding.First && index <= finding.Last) return false;
  return true;
}

// What verify found of a set with digests, all of it gathered before any is told.
struct DigestFindings {
  std::vector<VerifiedFile> Files;
  WalkEnd End;
  PieceCheck Check;
  int PiecesCode = ExitComplete;  // what the pieces say
  int Code = ExitComplete;        // with BASE.sha256's verdict too
  bool Counted = false;           // BASE.sha256 is this set's: it judges the files it names
  bool ContainerDamaged = false;  // its joiner program or header, by its header or recovery files
  VerifyRecovery Recovery;
};

// The checksum verdict of a set with digests: the files its findings told already, and those its
// digests vouch for whole (the container only with its joiner program and header, which the
// digests of older sets do not cover).
static ChecksumVerdict ChecksumVerdictOf(const PieceSet& set, const SetChecksums& checksums,
                                         const FileChecksums& sums, const DigestFindings& found) {
  const PieceCheck& check = found.Check;
  const ContainerHead& head = set.Head;
  auto told = [&check, &head](int32_t index) {
    return !FoundWhole(check, index) || (index == 0 && ContainerPartDamaged(head));
  };
  auto vouched = [&check, &head](int32_t index) {
    return FoundWhole(check, index) &&
           (index != 0 || (head.Program == PartState::Good && !head.HeaderDamaged));
  };
  return ChecksumVerdict{checksums, sums, found.Counted, told, vouched};
}

// BASE.sha256 beside a set with digests: one that differs for every file the digests vouch for
// is another set's, and only warned about. Else it counts: the recovery files it names are read
// too, and a file whose SHA-256 differs is damaged (or forged, where its CRC-32C is the set's),
// but those the digests found damaged, named already. The recovery files it condemns are left out
// of the survey. False (said on CliErr) when they cannot be read.
static bool JudgeChecksums(const PieceSet& set, const SetChecksums& checksums, FileChecksums* sums,
                           DigestFindings* found) {
  found->Code = found->PiecesCode;
  if (checksums.Path.empty()) return true;
  found->Counted =
      ChecksumsOfThisSet(checksums, set, *sums, ChecksumVerdictOf(set, checksums, *sums, *found).Vouched);
  if (found->Counted && !sums->AddRecoveryFiles(set)) {
    CliPrint(CliErr, "tarnovell: file system error: reading the recovery files: %s\n",
             OsErrorText(OsLastError()).c_str());
    return false;
  }
  ChecksumVerdict verdict = ChecksumVerdictOf(set, checksums, *sums, *found);
  if (found->Counted && PrintChecksumDifferences(nullptr, checksums, *sums, verdict.Told,
                                                 verdict.Vouched, "") > 0)
    found->Code = BadCode(found->Code);
  return true;
}

// The recovery files BASE.sha256 condemns (counted), by name.
static std::vector<std::string> CondemnedRecoveryFiles(const FileChecksums& sums, bool counted) {
  std::vector<std::string> names;
  for (const FileChecksums::Compared& file : sums.Files)
    if (counted && file.Index < 0 && !file.Matches) names.push_back(file.Name);
  return names;
}

// BASE.sha256's line after a whole set's verdict: every file it names matches.
static void PrintChecksumsMatch(const SetChecksums& checksums, const FileChecksums& sums,
                                const DigestFindings& found, bool quiet) {
  if (!found.Counted || quiet || found.Code != ExitComplete) return;
  CliPrint(CliOut, "%s: the SHA-256 of %zu file%s matches\n", checksums.FileName().c_str(),
           sums.Files.size(), sums.Files.size() == 1 ? "" : "s");
}

// The findings told, as text or into json.
static void TellDigestFindings(const PieceSet& set, const SetChecksums& checksums,
                               const FileChecksums& sums, const DigestFindings& found, bool quiet,
                               JsonWriter* json) {
  if (json != nullptr) {
    JsonVerdict(json, set, found.Files, found.Check, found.Recovery.ContainerPrefixDamaged());
    JsonChecksums(json, checksums, sums, found.Counted);
    found.Recovery.Json(json);
    return;
  }
  PrintVerdict(set, found.End, found.Check, found.Recovery, quiet, found.ContainerDamaged,
               ChecksumVerdictOf(set, checksums, sums, found));
  PrintChecksumsMatch(checksums, sums, found, quiet);
  found.Recovery.PrintRecoveryLines(set.ContainerPath);
}

// The end of a verify that ended with code: with --json, the object begun, or where the set
// could not be judged (told on CliErr), the error object instead.
static int Finish(const VerifyOptions& options, JsonWriter* json, int code) {
  if (json == nullptr) return code;
  if (JudgedSet(code)) {
    json->Field("result", JsonResultWord(code)).Field("exit_code", code).End();
    OsWriteText(CliOut, json->Text());
  } else {
    OsWriteText(CliOut, JsonErrorObject("verify", options.ContainerPath, code));
  }
  return code;
}

// A container verify cannot open as a set: not there (lost: code -1), unreadable, or not one;
// its recovery files may show it damaged or lost. -1 where a lost container's recovery files do
// not judge the set, nothing told.
static int VerifyUnopened(const VerifyOptions& options, const std::string& container, int code) {
  VerifyRecovery recovery;
  bool lost = code < 0;
  if (lost || code == ExitBadContainer) code = SurveyContainer(options, container, code, &recovery);
  if (code < 0) return code;
  JsonWriter json;
  JsonWriter* out = options.Json ? &json : nullptr;
  if (out != nullptr) {
    json.Begin().Field("command", "verify").NameField("container", container);
    recovery.Json(out);
    return Finish(options, out, code);
  }
  if (lost) {
    CliPrint(CliOut, "%s: missing: the set's recovery files judge its files\n",
             Printable(LastComponent(container)).c_str());
  }
  recovery.PrintFileLines();
  if (lost) {
    CliPrint(CliOut, "Result:    %s\n",
             code == ExitMissingPiece ? "missing pieces: fetch them, or repair the set"
                                      : "possibly damaged: fetch the files named again, or repair "
                                        "the set");
  }
  recovery.PrintRecoveryLines(container);
  return Finish(options, out, code);
}

// Nothing is at a path (a link that leads nowhere counts).
static bool NothingAt(const std::string& path) {
  OsFileInfo info;
  return OsProbe(path, &info) && info.Kind == OsKind::Missing;
}

int RunVerify(const VerifyOptions& options) {
  ProgressSteps(ProgressCommand::Verify);
  std::string container = SetContainerPath(options.ContainerPath);
  if (NothingAt(container) && options.PiecesBase.empty()) {
    int code = VerifyUnopened(options, container, -1);
    if (code >= 0) return code;
  }
  PieceSet set;
  int code = OpenPieceSet(options.ContainerPath, options.PiecesDir, &set, options.PiecesBase);
  if (code != ExitComplete) return VerifyUnopened(options, container, code);
  JsonWriter json;
  JsonWriter* out = options.Json ? &json : nullptr;
  if (out != nullptr) {
    json.Begin().Field("command", "verify");
    JsonSetMembers(out, set);
  }
  SetChecksums checksums;
  LoadSetChecksums(set, &checksums);
  if (!set.Head.HasDigests) {
    code = VerifySizes(set, checksums, options, out);
    return Finish(options, out, code);
  }
  DigestFindings found;
  std::vector<OsFileInfo> read;  // by index: each file read, to know which were found whole
  FileChecksums sums(checksums);
  if (!HasRecoveryFiles(set)) ProgressSkip(ProgressStep::VerifyRecovery);
  ProgressBegin(!options.Quiet, set.Head.TotalSize, ProgressStep::VerifyPieces);
  found.End = WalkPieces(
      set,
      [&](const PieceFile& piece, std::string* failure) {
        ProgressLabel(LastComponent(piece.Path));
        found.Files.push_back(VerifiedFileOf(piece));
        if (piece.Index >= static_cast<int32_t>(read.size()))
          read.resize(static_cast<size_t>(piece.Index) + 1);
        read[piece.Index] = piece.Info;
        return ReadPiece(set, piece, &found.Check, &sums, failure);
      },
      true);
  CheckFinish(&found.Check);
  ProgressEnd();
  for (const WalkEnd::MissingPiece& missing : found.End.MissingPieces) {
    CheckMissing(&found.Check, missing.First, missing.Last, missing.Path);
  }
  code = WalkFailure(found.End);
  if (code >= 0) return Finish(options, out, code);
  found.ContainerDamaged = ContainerPartDamaged(set.Head);
  found.PiecesCode = VerdictCode(found.Check, found.ContainerDamaged);
  if (!JudgeChecksums(set, checksums, &sums, &found)) {
    if (out == nullptr)
      PrintVerdict(set, found.End, found.Check, found.Recovery, options.Quiet,
                   found.ContainerDamaged, ChecksumVerdictOf(set, checksums, sums, found));
    return Finish(options, out, ExitFileError);
  }
  // Recovery files beside the set: whether they can repair it (the exit code stays the pieces').
  for (size_t n = 0; n < read.size(); n++)
    if (!FoundWhole(found.Check, static_cast<int32_t>(n))) read[n] = OsFileInfo{};
  int recovery = found.Recovery.SurveyJudged(set, found.Code == ExitComplete, options.Quiet,
                                             out != nullptr, read,
                                             CondemnedRecoveryFiles(sums, found.Counted),
                                             "its SHA-256 differs from " + checksums.FileName());
  if (found.Recovery.ContainerPrefixDamaged()) {  // its joiner program or header, which older
    found.ContainerDamaged = true;                // sets' digests do not cover
    found.Code = BadCode(found.Code);
  }
  TellDigestFindings(set, checksums, sums, found, options.Quiet, out);
  return Finish(options, out, recovery != ExitComplete ? recovery : found.Code);
}
