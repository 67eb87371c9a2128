// join: the output's path is chosen and checked, the set copied into a file that has no name
// yet, which is put in place only when the join has an outcome; or, where the path is a device
// or a FIFO, written into it as it is.
#include <vector>

#include "cli/commands/commands.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/checksums.h"
#include "cli/set/copy.h"
#include "cli/set/digest.h"
#include "cli/set/output.h"
#include "cli/set/pieces.h"
#include "cli/show/hints.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"

// A name Windows would not keep (a device, a dot or a space at the end) is refused, on every
// system, and before any path is looked up: on Windows the lookup itself would reach the device.
static int RefuseReservedName(const std::string& name) {
  std::string problem = ReservedNameProblem(name);
  if (problem.empty()) return ExitComplete;
  return Refuse("the name \"" + Printable(name) + "\" cannot be used: " + problem +
                "; give -o PATH with another name");
}

// What is at the output's path already: nothing, a file the join may replace (--force), or a
// stream (a character device, a FIFO, or a link to one) that it writes into as it is, force or
// not. Nothing but a regular file is ever replaced.
static int JudgeExistingOutput(const JoinOptions& options, const PieceSet& set,
                               const std::string& output, bool* stream) {
  OsFileInfo info, target;
  if (!OsProbe(output, &info, false) || info.Kind == OsKind::Missing) return ExitComplete;
  if (info.Kind == OsKind::Folder) return Refuse(Printable(output) + " is a folder");
  *stream =
      info.Kind != OsKind::Regular && OsProbe(output, &target) && target.Kind == OsKind::Stream;
  if (*stream) return ExitComplete;
  if (info.Kind != OsKind::Regular) {
    return Refuse(Printable(output) +
                  " is not a regular file, and nothing else is replaced; give -o PATH with "
                  "another name");
  }
  if (!options.Force) {
    TellReason("exists");
    return Refuse(Printable(output) + " exists (give --force to replace it)");
  }
  if (SameFile(info, set.ContainerInfo))
    return Refuse(Printable(output) + " is the container itself");
  return ExitComplete;
}

// The output's path: the name from the header (untrusted: a plain file name), in the current
// folder or the folder given, or the path given. A name that would make a hidden file is written
// only where -o names the file itself.
static int PlanOutput(const JoinOptions& options, const PieceSet& set, std::string* output,
                      bool* stream) {
  std::string name = set.JoinedName();
  int code = RefuseReservedName(LastComponent(options.OutputPath));
  if (code != ExitComplete) return code;
  OsFileInfo info;
  bool intoFolder = options.OutputPath.empty() ||
                    (OsProbe(options.OutputPath, &info) && info.Kind == OsKind::Folder);
  *output = !intoFolder                  ? options.OutputPath
            : options.OutputPath.empty() ? name
                                         : JoinPath(options.OutputPath, name);
  if (intoFolder && name[0] == '.') {
    return Refuse("the name \"" + Printable(name) +
                  "\" starts with a dot and would make a hidden file; "
                  "give -o PATH to write it");
  }
  if (intoFolder && (code = RefuseReservedName(name)) != ExitComplete) return code;
  return JudgeExistingOutput(options, set, *output, stream);
}

// Copies one file's data to its place in the output: through memory, hashed and judged, in a set
// with a digest block (and into sha256, where BASE.sha256 gives the original's); else in the
// kernel where it can.
static int CopyPiece(const PieceSet& set, const PieceFile& piece, OsFile out, bool stream,
                     const std::string& output, PieceCheck* check, ChunkSink* sha256,
                     std::string* failure) {
  int64_t got;
  if (set.Head.HasDigests || stream || sha256 != nullptr) {  // a stream takes every byte, zeros too
    if (set.Head.HasDigests) CheckBegin(check, set, piece.Index);
    uint32_t crc = 0;
    // Two threads where nothing needs the bytes in order: a file output, no SHA-256.
    got = stream || sha256 != nullptr
              ? CopyThroughMemory(piece.File, piece.DataOffset, out, piece.DataBefore,
                                  piece.DataSize, piece.DataBefore,
                                  set.Head.HasDigests ? &check->Crc : &crc, stream, sha256)
              : CopyOnTwoThreads(piece.File, piece.DataOffset, out, piece.DataBefore,
                                 piece.DataSize, piece.DataBefore, &check->Crc);
  } else {
    got = CopyFileBytes(piece.File, piece.DataOffset, out, piece.DataBefore, piece.DataSize,
                        piece.DataBefore);
  }
  int error = OsLastError();
  int code = PieceMoveOutcome(piece, got, "copying", failure);
  if (code == ExitFileError && got < 0 && OsErrorIsNoSpace(error))  // the output's, not the piece's
    *failure = "no space left for " + Printable(output) + ": " + OsErrorText(error);
  if (code == ExitComplete && set.Head.HasDigests) CheckEnd(check, piece);
  return code;
}

static WalkEnd CopySet(const PieceSet& set, bool quiet, OsFile out, bool stream,
                       const std::string& output, std::vector<OsFileInfo>* sources,
                       PieceCheck* check, ChunkSink* sha256) {
  ProgressSteps(ProgressCommand::Join);
  ProgressBegin(!quiet, set.Head.TotalSize, ProgressStep::Join);
  WalkEnd end = WalkPieces(set, [&](const PieceFile& piece, std::string* failure) {
    sources->push_back(piece.Info);
    ProgressLabel(LastComponent(piece.Path));
    return CopyPiece(set, piece, out, stream, output, check, sha256, failure);
  });
  CheckFinish(check);
  ProgressEnd();
  return end;
}

// Why a walk gave no output, told on CliErr with what it left.
static int ReportNoOutcome(const WalkEnd& end, const PieceSet& set, const std::string& left) {
  if (end.Code == ExitInterrupted) {
    ReportInterrupted(left.c_str());
  } else if (end.Code == ExitMissingPiece) {
    std::string repair = RepairCommand(set);
    std::string hint =
        ContainerBasePath(set.ContainerPath).empty()
            ? "; the container's name has no .exe ending, so its pieces are named from an empty "
              "base (rename it to NAME.exe, or give --pieces-dir)"
        : !repair.empty()
            ? "; recovery files of the set lie beside it: run `" + repair +
                  "` to rebuild the piece, then join again (or give --pieces-dir DIR if the "
                  "pieces are in another folder)"
            : "; give --pieces-dir DIR to look in another folder";
    CliPrint(CliErr, "tarnovell: piece %lld is missing: %s not found%s; %s\n",
             static_cast<long long>(end.Files), Printable(end.Missing).c_str(), hint.c_str(),
             left.c_str());
  } else if (end.Code == ExitFileError) {
    CliPrint(CliErr, "tarnovell: file system error: %s; %s\n", end.Failure.c_str(), left.c_str());
  } else {
    CliPrint(CliErr, "tarnovell: %s; %s\n", end.Failure.c_str(), left.c_str());
  }
  return end.Code;
}

static const char NothingWritten[] = "nothing was written";

static int FileSystemError(const std::string& path, const std::string& left = NothingWritten) {
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; %s\n", Printable(path).c_str(),
           OsErrorText(OsLastError()).c_str(), left.c_str());
  return ExitFileError;
}

// Length, times, and the output put in place; never over a file of the set.
static int CommitOutput(PendingOutput* out, const ContainerHead& head, int64_t length,
                        const std::vector<OsFileInfo>& sources, bool force) {
  // Holes at the end of the data are made by the length.
  if (!OsSetLength(out->File(), length)) return FileSystemError(out->Target());
  if (!OsSetFileTimes(out->File(), head.CreationTime, head.LastAccessTime, head.LastWriteTime)) {
    CliPrint(CliErr, "tarnovell: warning: cannot apply the file times: %s\n",
             OsErrorText(OsLastError()).c_str());
  }
  if (!out->Finish()) return FileSystemError(out->Target());
  OsFileInfo existing;
  if (OsProbe(out->Target(), &existing, false) && existing.Kind != OsKind::Missing) {
    for (const OsFileInfo& source : sources) {
      if (SameFile(source, existing)) {
        return Refuse(Printable(out->Target()) + " is a piece of the set; nothing was written");
      }
    }
  }
  if (!out->Commit(force)) {
    int error = OsLastError();
    CliPrint(CliErr, "tarnovell: cannot write %s: %s; nothing was written\n",
             Printable(out->Target()).c_str(),
             OsErrorIsExists(error) ? "it exists (give --force to replace it)"
                                    : OsErrorText(error).c_str());
    return OsErrorIsExists(error) ? ExitRefused : ExitFileError;
  }
  return ExitComplete;
}

// The room the output takes, checked before it is made: the data the files of the set hold (the
// header's size is only a claim), found by a walk that opens each and reads nothing. A walk that
// ends otherwise is left for the join to report.
static int CheckRoomForOutput(const PieceSet& set, const std::string& output) {
  WalkEnd end = WalkPieces(
      set, [](const PieceFile&, std::string*) { return static_cast<int>(ExitComplete); });
  if (end.Code != ExitComplete && end.Code != ExitMismatch) return ExitComplete;
  return CheckRoom(FolderOf(output), static_cast<uint64_t>(end.Data), Printable(output));
}

// The set copied into a new file beside the output's path, put in place once the join has an
// outcome (ExitComplete, with end and check filled in), else removed.
static int JoinIntoNewFile(const JoinOptions& options, const PieceSet& set,
                           const std::string& output, WalkEnd* end, PieceCheck* check,
                           ChunkSink* sha256) {
  int code = CheckRoomForOutput(set, output);
  if (code != ExitComplete) return code;
  PendingOutput out;
  if (!out.Create(output, ".tarnovell-join-", true)) {
    CliPrint(CliErr, "tarnovell: cannot create a file beside %s: %s\n", Printable(output).c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  std::vector<OsFileInfo> sources;
  *end = CopySet(set, options.Quiet, out.File(), false, output, &sources, check, sha256);
  if (end->Code != ExitComplete && end->Code != ExitMismatch)
    return ReportNoOutcome(*end, set, NothingWritten);
  return CommitOutput(&out, set.Head, end->Data, sources, options.Force);
}

// What goes into a stream cannot be taken back: every piece is found before the first byte.
static int FindEveryPiece(const PieceSet& set, WalkEnd* end) {
  *end = WalkPieces(set,
                    [](const PieceFile&, std::string*) { return static_cast<int>(ExitComplete); });
  if (end->Code != ExitComplete && end->Code != ExitMismatch)
    return ReportNoOutcome(*end, set, NothingWritten);
  return ExitComplete;
}

// The set copied into an open stream, in order; left says what went in where the copy stops.
static int CopyIntoStream(const JoinOptions& options, const PieceSet& set, OsFile out,
                          const std::string& output, const std::string& left, WalkEnd* end,
                          PieceCheck* check, ChunkSink* sha256) {
  std::vector<OsFileInfo> sources;
  *end = CopySet(set, options.Quiet, out, true, output, &sources, check, sha256);
  if (end->Code != ExitComplete && end->Code != ExitMismatch)
    return ReportNoOutcome(*end, set, left);
  return ExitComplete;
}

// The set written into a stream (a character device, a FIFO) as it is: every piece is found
// first, and a FIFO is opened (waiting for its reader) only then. No temporary file, no rename,
// no times.
static int JoinIntoStream(const JoinOptions& options, const PieceSet& set,
                          const std::string& output, WalkEnd* end, PieceCheck* check,
                          ChunkSink* sha256) {
  int code = FindEveryPiece(set, end);
  if (code != ExitComplete) return code;
  OsFileInfo info;
  OsFile out = OsOpenWrite(output, &info);
  if (out == NoFile && CliInterrupted) return ReportInterrupted(NothingWritten);
  if (out == NoFile) return FileSystemError(output);
  if (info.Kind != OsKind::Stream) {
    OsClose(out);
    return Refuse(Printable(output) + " is no longer a device or a FIFO; nothing was written");
  }
  std::string left = "what was joined until then went into " + Printable(output);
  code = CopyIntoStream(options, set, out, output, left, end, check, sha256);
  bool closed = OsClose(out);
  if (code != ExitComplete) return code;
  return closed ? ExitComplete : FileSystemError(output, left);
}

// join -o -: the set written to standard output (CliOut), which then carries nothing but the
// data; the summary and the progress go to CliErr. As into any stream, every piece is found
// first; there are no times to apply.
static int JoinIntoStandardOutput(const JoinOptions& options, const PieceSet& set, WalkEnd* end,
                                  PieceCheck* check, ChunkSink* sha256) {
  int code = FindEveryPiece(set, end);
  if (code != ExitComplete) return code;
  if (fflush(CliOut) != 0) return FileSystemError("standard output");
  return CopyIntoStream(options, set, OsFileOfStream(CliOut), "standard output",
                        "what was joined until then went to standard output", end, check, sha256);
}

// The joined file against the original's line in BASE.sha256, once the set is found whole by what
// it has to judge it. A difference is damage; where the digest block vouched for every piece, a
// piece was forged or changed on purpose (a CRC-32C cannot tell, a SHA-256 can). *matched: it
// matched.
static int CheckOriginal(const PieceSet& set, const SetChecksums& checksums, Sha256Sink* sha256,
                         const std::string& joined, bool* matched) {
  FileChecksums none(checksums);
  const Sha256Digest* expected = checksums.Original();
  if (checksums.Path.empty() ||
      !ChecksumsOfThisSet(checksums, set, none, [](int32_t) { return false; }) ||
      expected == nullptr) {
    return ExitComplete;
  }
  Sha256Digest digest;
  if (!sha256->Hash.End(&digest)) {
    CliPrint(CliErr, "tarnovell: warning: the SHA-256 of %s could not be taken\n", joined.c_str());
    return ExitComplete;
  }
  *matched = digest == *expected;
  if (*matched) return ExitComplete;
  CliPrint(CliErr, "tarnovell: %s is possibly damaged: its SHA-256 differs from %s%s\n",
           joined.c_str(), checksums.FileName().c_str(),
           set.Head.HasDigests ? ", though every piece matches the set's digests: a piece was "
                                 "forged or changed on purpose"
                               : "");
  return ExitMismatch;
}

// What mends an output the join kept though pieces differ from the set's digests: those pieces
// fetched again, or repair where recovery files lie beside the set; then the join again, with
// --force to replace the output.
static void AdviseMending(const JoinOptions& options, const PieceSet& set, const PieceCheck& check,
                          const std::string& output) {
  std::string pieces;
  for (const Finding& finding : check.Findings) {
    if (finding.Kind == FindingKind::Missing || finding.Kind == FindingKind::RunUnchecked) continue;
    pieces += (pieces.empty() ? "" : ", ") +
              std::string(finding.Kind == FindingKind::RunDamaged ? "one of " : "") +
              Printable(finding.Name);
  }
  std::string repair = RepairCommand(set);
  std::string join =
      PasteablePath(set.ContainerPath) +
      (options.PiecesBase.empty() ? "" : " --pieces-base " + PasteablePath(options.PiecesBase)) +
      (options.PiecesDir.empty() ? "" : " --pieces-dir " + PasteablePath(options.PiecesDir));
  CliPrint(
      CliErr, "tarnovell: to mend it, %s, then run `tarnovell join --force %s%s` to replace %s\n",
      !repair.empty() ? ("run `" + repair + "` (recovery files lie beside the set)").c_str()
                      : ("fetch " + pieces + " again").c_str(),
      join.c_str(), options.OutputPath.empty() ? "" : (" -o " + PasteablePath(output)).c_str(),
      Printable(output).c_str());
}

// The container's damaged joiner program or header, after the join (dataWhole: the digests found
// every piece whole, the data adding up): each told on CliErr, then what mends it.
static int TellContainerDamage(const PieceSet& set, const std::string& joined, bool dataWhole) {
  if (dataWhole && !set.Head.HasDigests) {
    CliPrint(CliErr, "tarnovell: %s is possibly damaged:\n", joined.c_str());
  } else if (dataWhole) {
    CliPrint(CliErr, "tarnovell: %s holds the set's data as its digests give it, but:\n",
             joined.c_str());
  }
  for (const std::string& line : ContainerPartLines(set, true))
    CliPrint(CliErr, "  %s\n", line.c_str());
  CliPrint(CliErr, "tarnovell: %s\n", ContainerPartRemedy(set).c_str());
  return ExitMismatch;
}

// join -o - into a terminal would fill it with the file's bytes.
static int RefuseTerminalOutput() {
  CliPrint(CliErr,
           "tarnovell: -o -: standard output is a terminal; redirect it to a file or a pipe "
           "(> FILE, | COMMAND), or give -o FILE\n");
  return ExitUsage;
}

// join --json: the file written, its size, the files read and what vouched for it.
static void PrintJoinJson(const PieceSet& set, const std::string& output, const WalkEnd& end,
                          const SetChecksums& checksums, bool matched, int code) {
  JsonWriter json;
  json.Begin()
      .Field("command", "join")
      .NameField("container", set.ContainerPath)
      .NameField("output", output)
      .Field("size", end.Data)
      .Field("files_read", end.Files)
      .Field("digests", set.Head.HasDigests);
  if (matched) json.Field("sha256", Sha256Hex(*checksums.Original())).NameField("checksums", checksums.Path);
  JsonEndWith(&json, JsonResultWord(code), code);
  JsonPrint(json);
}

// The verdict on what was joined into output (written already): the pieces against the set's
// digests, the whole against BASE.sha256, the data against the header's size. *matched: the
// SHA-256 matched.
static int JudgeJoined(const JoinOptions& options, const PieceSet& set, const std::string& output,
                       const WalkEnd& end, const PieceCheck& check, const SetChecksums& checksums,
                       Sha256Sink* outputSum, bool* matched) {
  bool toStandardOutput = options.OutputPath == StandardStreamPath;
  // What was joined, in the verdicts: the data on standard output has gone on already.
  std::string joined = toStandardOutput ? "the data written to standard output" : Printable(output);
  if (BadPieceCount(check) > 0) {
    CliPrint(CliErr, "tarnovell: %s is possibly damaged: pieces differ from the set's digests:\n",
             joined.c_str());
    PrintFindings(CliErr, check, "  ");
    for (const std::string& line : ContainerPartLines(set, FindingOf(check, 0) == nullptr))
      CliPrint(CliErr, "  %s\n", line.c_str());
    AdviseMending(options, set, check, toStandardOutput ? StandardStreamPath : output);
    return ExitMismatch;
  }
  int code = ExitComplete;
  if (end.Code == ExitComplete &&
      (code = CheckOriginal(set, checksums, outputSum, joined, matched)) != ExitComplete)
    return code;
  if (end.Code == ExitComplete && ContainerPartDamaged(set.Head))
    return TellContainerDamage(set, joined, true);
  if (end.Code == ExitComplete) {
    if (!options.Quiet) {
      CliPrint(toStandardOutput ? CliErr : CliOut, "%s: complete, %lld bytes from %lld file%s%s\n",
               Printable(output).c_str(), static_cast<long long>(end.Data),
               static_cast<long long>(end.Files), end.Files == 1 ? "" : "s",
               *matched ? ("; SHA-256 matches " + checksums.FileName()).c_str() : "");
    }
    return ExitComplete;
  }
  CliPrint(CliErr,
           "tarnovell: %s is possibly damaged: the pieces hold %lld bytes of data, the header "
           "gives %lld\n",
           joined.c_str(), static_cast<long long>(end.Data),
           static_cast<long long>(set.Head.TotalSize));
  return ContainerPartDamaged(set.Head) ? TellContainerDamage(set, joined, false) : ExitMismatch;
}

int RunJoinCommand(const JoinOptions& options) {
  bool toStandardOutput = options.OutputPath == StandardStreamPath;
  if (toStandardOutput && options.Json) {
    CliPrint(CliErr,
             "tarnovell: --json cannot go with -o -: standard output carries the joined file\n");
    return ExitUsage;
  }
  if (toStandardOutput && OsIsTerminal(CliOut)) return RefuseTerminalOutput();
  PieceSet set;
  int code = OpenPieceSet(options.ContainerPath, options.PiecesDir, &set, options.PiecesBase);
  std::string output = "standard output";
  bool stream = false;
  if (code == ExitComplete && !toStandardOutput) code = PlanOutput(options, set, &output, &stream);
  if (code != ExitComplete) return code;

  WalkEnd end;
  PieceCheck check;
  SetChecksums checksums;
  LoadSetChecksums(set, &checksums);
  Sha256Sink outputSum;
  ChunkSink* sha256 = checksums.Original() != nullptr ? &outputSum : nullptr;
  code = toStandardOutput ? JoinIntoStandardOutput(options, set, &end, &check, sha256)
         : stream         ? JoinIntoStream(options, set, output, &end, &check, sha256)
                          : JoinIntoNewFile(options, set, output, &end, &check, sha256);
  if (code != ExitComplete) return code;
  bool matched = false;
  code = JudgeJoined(options, set, output, end, check, checksums, &outputSum, &matched);
  if (options.Json) PrintJoinJson(set, output, end, checksums, matched, code);
  return code;
}
