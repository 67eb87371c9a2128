// split: the container (stub, header, first data) and BASE.c001, BASE.c002, ... The plan is
// made and checked first; every file is written without a name (where the file system allows,
// else under a temporary one) and all are put in place at the end, the container last. A
// failure, an interruption or a kill leaves no part of the set.
#include <algorithm>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_copy.h"
#include "cli/cli_hints.h"
#include "cli/cli_output.h"
#include "cli/cli_pieces.h"
#include "cli/cli_paths.h"
#include "cli/cli_progress.h"
#include "cli/cli_recovery.h"
#include "container/container_writer.h"
#include "container/digest_block.h"
#include "recovery/recovery_format.h"

struct SplitPlan {
  std::string Name;  // record 1, as given (UTF-8)
  std::string Head;  // the stub and the header: the container's first 30720 bytes
  std::string Base;
  std::string OutputDir;  // "" for the current folder: bare names, in messages too
  int64_t Total = 0;
  int64_t First = 0;  // the data the container carries
  uint64_t PieceSize = 0;
  uint64_t Pieces = 0;                       // files after the container
  std::vector<std::string> Targets;          // the container, then the pieces
  std::vector<std::string> RecoveryTargets;  // BASE.r01, ... (--recovery)
  bool Nameless = false;  // the files are written without names: each stays open until its commit
};

// The most files of a set written without names, all open until they are put in place; a larger
// set gets temporary names (which the next command removes where a kill left them).
static const size_t NamelessFileLimit = 900;

// The default base name: the input's file name without its last extension ("movie.avi" gives
// "movie", "archive.tar.gz" gives "archive.tar"); a name without one, or a dot file, is kept.
static std::string DefaultBaseName(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return fileName;
  return fileName.substr(0, dot);
}

// A name for the set made for Windows, in Windows-1251 (bytes): "" when it can be used, else
// why not and, to paste, the option with a name that can ("give --name \"cafe.mkv\"").
static std::string UnusableName(const std::string& what, const std::string& name,
                                const char* option, std::string* bytes) {
  std::string problem = WindowsNameProblem(name);
  if (problem.empty() && !Utf8ToCp1251(name, bytes))
    problem = "it cannot be written in Windows-1251";
  if (problem.empty()) return "";
  return what + " \"" + Printable(name) + "\" cannot be used: " + problem + "; give " + option +
         " \"" + Printable(SuggestedName(name)) + "\"";
}

// Refuses with every problem of problems, one line each. ExitComplete when there is none.
static int RefuseAll(const std::vector<std::string>& problems) {
  if (problems.empty()) return ExitComplete;
  for (size_t i = 0; i + 1 < problems.size(); i++)
    CliPrint(CliErr, "tarnovell: %s\n", problems[i].c_str());
  return Refuse(problems.back());
}

// The stub the container starts with: the embedded one, or an image of exactly StubSize bytes.
static int LoadStub(const std::string& path, std::string* stub) {
  if (path.empty()) {
    stub->assign(reinterpret_cast<const char*>(StubImage), StubImageSize);
    return ExitComplete;
  }
  OsFileInfo info;
  OsFile file = OsOpenRead(path, &info);
  if (file == NoFile) {
    CliPrint(CliErr, "tarnovell: --stub: cannot open %s: %s\n", Printable(path).c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  int code = ExitComplete;
  if (info.Kind != OsKind::Regular || info.Size != StubSize) {
    CliPrint(CliErr,
             "tarnovell: --stub: %s is not a stub image: that is a file of exactly %d bytes\n",
             Printable(path).c_str(), static_cast<int>(StubSize));
    code = ExitUsage;
  } else {
    stub->resize(StubSize);
    if (!OsReadAt(file, &(*stub)[0], stub->size(), 0)) {
      CliPrint(CliErr, "tarnovell: --stub: cannot read %s: %s\n", Printable(path).c_str(),
               OsErrorText(OsLastError()).c_str());
      code = ExitFileError;
    }
  }
  OsClose(file);
  return code;
}

// Record 1, the base name and the head of the container.
static int PlanNames(const SplitOptions& options, OsFile input, SplitPlan* plan) {
  // Record 1: the name in Windows-1251, as the joiner proposes it on Windows.
  plan->Name = options.Name.empty() ? LastComponent(options.InputPath) : options.Name;
  std::string name1251, base1251;
  std::vector<std::string> problems;
  std::string problem = UnusableName("the name", plan->Name, "--name", &name1251);
  if (!problem.empty()) problems.push_back(problem);
  if (problem.empty() && name1251.size() > 255)
    problems.push_back("the name is longer than 255 bytes; give a shorter one with --name");
  // The base name: the pieces are opened by the joiner through the Windows-1251 file calls.
  plan->Base = options.Base.empty() ? DefaultBaseName(plan->Name) : options.Base;
  problem = UnusableName("the base name", plan->Base, "--base", &base1251);
  if (!problem.empty()) problems.push_back(problem);
  int code = RefuseAll(problems);
  if (code == ExitComplete) code = LoadStub(options.StubPath, &plan->Head);
  if (code != ExitComplete) return code;
  uint64_t times[3] = {};
  if (!OsFileTimes(input, &times[0], &times[1], &times[2])) {
    CliPrint(CliErr, "tarnovell: cannot read the times of %s: %s\n",
             Printable(options.InputPath).c_str(), OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  plan->Head += HeaderBytes(MakeHeaderTexts(name1251, plan->Total, times[0], times[1], times[2]));
  return ExitComplete;
}

// The container's cap on its data: the whole container stays below 4 GiB, a Windows image.
static const int64_t ContainerDataLimit = static_cast<int64_t>(ContainerSizeLimit - PayloadOffset);

// --number: N files whose data is as equal as the layout allows (pieces 1 to N-2 alike, the
// container's data and the last piece 1 to that much). With P = ceil(total / N) no file holds
// more than P, when N - 2 pieces of P leave at least 2 bytes for the container and the last; when
// they do not (N near the total), P = floor(total / N) and the container takes the remainder.
static void PlanEqualSizes(uint64_t number, SplitPlan* plan) {
  uint64_t total = static_cast<uint64_t>(plan->Total);
  if (number == 1) {
    plan->First = std::min(plan->Total, ContainerDataLimit);
    plan->PieceSize = std::max<uint64_t>(total - static_cast<uint64_t>(plan->First), 1);
    plan->Pieces = plan->First < plan->Total ? 1 : 0;
    return;
  }
  uint64_t size = total / number + (total % number != 0 ? 1 : 0);
  uint64_t first;
  if ((number - 2) * size + 2 <= total) {
    first = std::min(size, total - (number - 2) * size - 1);
  } else {
    size = total / number;
    first = total - (number - 1) * size;
  }
  if (first > static_cast<uint64_t>(ContainerDataLimit)) {
    // The pieces share what the container cannot take: each above 4 GiB, far more than N.
    first = static_cast<uint64_t>(ContainerDataLimit);
    uint64_t rest = total - first;
    size = rest / (number - 1) + (rest % (number - 1) != 0 ? 1 : 0);
  }
  plan->First = static_cast<int64_t>(first);
  plan->PieceSize = size;
  uint64_t rest = total - first;
  plan->Pieces = rest / size + (rest % size != 0 ? 1 : 0);
}

// The container holds the first data up to its cap (below 4 GiB, a Windows image), every piece
// up to the size; no empty last piece. Or, with --number, N files of equal size.
static int PlanSizes(const SplitOptions& options, SplitPlan* plan) {
  if (options.Number > 0) {
    if (options.Number > static_cast<uint64_t>(plan->Total)) {
      CliPrint(CliErr, "tarnovell: --number: %s holds %lld bytes, too few for %llu files\n",
               Printable(options.InputPath).c_str(), static_cast<long long>(plan->Total),
               static_cast<unsigned long long>(options.Number));
      return ExitUsage;
    }
    PlanEqualSizes(options.Number, plan);
  } else {
    plan->PieceSize = options.PieceSize;
    uint64_t containerCap = std::min(options.PieceSize, ContainerSizeLimit);
    plan->First =
        std::min<int64_t>(plan->Total, static_cast<int64_t>(containerCap - PayloadOffset));
    uint64_t rest = static_cast<uint64_t>(plan->Total - plan->First);
    plan->Pieces = rest / options.PieceSize + (rest % options.PieceSize != 0 ? 1 : 0);
  }
  if (plan->Pieces >=
      static_cast<uint64_t>(INT32_MAX)) {  // with the container, at most 2^31 - 1 files
    CliPrint(CliErr, "tarnovell: the set would need %llu pieces, more than a set can have\n",
             static_cast<unsigned long long>(plan->Pieces));
    return ExitUsage;
  }
  if (plan->Pieces + 1 > SetFileLimit && !options.Force) {
    CliPrint(CliErr,
             "tarnovell: the set would be %llu pieces (the container and %llu more), more than "
             "%llu; give --force to make it all the same, or %s\n",
             static_cast<unsigned long long>(plan->Pieces + 1),
             static_cast<unsigned long long>(plan->Pieces),
             static_cast<unsigned long long>(SetFileLimit),
             options.Number > 0 ? "a smaller --number" : "a larger --size");
    return ExitUsage;
  }
  return ExitComplete;
}

static std::string PiecePath(const SplitPlan& plan, uint64_t n) {
  char suffix[PieceSuffixSize];
  PieceSuffix(static_cast<int32_t>(n), suffix);
  return JoinPath(plan.OutputDir, plan.Base + suffix);
}

static std::string RecoveryPath(const SplitPlan& plan, int32_t row) {
  return JoinPath(plan.OutputDir, plan.Base + RecoverySuffix(row));
}

// The files of the set, each checked against what is there: never the input, nothing without
// --force, nothing but a regular file.
static int PlanTargets(const SplitOptions& options, const OsFileInfo& input, SplitPlan* plan) {
  OsFileInfo folder;
  if (!OsProbe(options.OutputDir, &folder) || folder.Kind != OsKind::Folder) {
    CliPrint(CliErr, "tarnovell: %s is not a folder\n", Printable(options.OutputDir).c_str());
    return ExitFileError;
  }
  plan->OutputDir = options.OutputDir == "." ? "" : options.OutputDir;
  plan->Targets.push_back(JoinPath(plan->OutputDir, plan->Base + ".exe"));
  for (uint64_t n = 1; n <= plan->Pieces; n++) plan->Targets.push_back(PiecePath(*plan, n));
  for (int r = 0; r < options.RecoveryRows; r++)
    plan->RecoveryTargets.push_back(RecoveryPath(*plan, r));
  if (LastComponent(plan->Targets.back()).size() > 255 ||
      (!plan->RecoveryTargets.empty() &&
       LastComponent(plan->RecoveryTargets.back()).size() > 255)) {
    return Refuse("the base name is too long for the piece names; give a shorter one with --base");
  }
  std::vector<std::string> all = plan->Targets;
  all.insert(all.end(), plan->RecoveryTargets.begin(), plan->RecoveryTargets.end());
  plan->Nameless = all.size() <= NamelessFileLimit;
  if (plan->Nameless) OsAllowManyOpenFiles();
  for (const std::string& target : all) {
    OsFileInfo existing;
    if (!OsProbe(target, &existing, false) || existing.Kind == OsKind::Missing) continue;
    if (SameFile(existing, input))
      return Refuse(Printable(target) + " is the input file; give another --base or --output-dir");
    if (!options.Force) return Refuse(Printable(target) + " exists (give --force to replace it)");
    if (existing.Kind == OsKind::Folder) return Refuse(Printable(target) + " is a folder");
    if (existing.Kind != OsKind::Regular) {
      return Refuse(Printable(target) + " is not a regular file, and nothing else is replaced");
    }
  }
  return ExitComplete;
}

// The set as a whole: its container and how many files follow it, where.
static std::string SetDescription(const SplitPlan& plan) {
  return "the set " + Printable(plan.Targets[0]) + " (" + std::to_string(plan.Targets.size()) +
         " files)";
}

// A write of the set failed (what: the file, or what was done): a full disk is told for the set,
// whichever of its files found it full.
static int WriteFailure(const SplitPlan& plan, const std::string& what) {
  int error = OsLastError();
  ProgressEnd();
  if (CliInterrupted) return ReportInterrupted("nothing was left behind");
  if (OsErrorIsNoSpace(error)) {
    CliPrint(CliErr, "tarnovell: no space left for %s: %s; nothing was left behind\n",
             SetDescription(plan).c_str(), OsErrorText(error).c_str());
    return ExitFileError;
  }
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(),
           OsErrorText(error).c_str());
  return ExitFileError;
}

// File i of the set, from the input at *inputPos on, its data hashed into the digest of its run
// on the way. The container stays open for its digest block.
static int WriteSetFile(const SplitPlan& plan, size_t i, OsFile in, int64_t* inputPos,
                        const std::string& inputPath, PendingOutput* out, DigestBlock* digests) {
  const std::string& target = plan.Targets[i];
  if (!out->Create(target, ".tarnovell-split-", plan.Nameless)) {
    return WriteFailure(plan, "cannot create a file in " +
                                  Printable(plan.OutputDir.empty() ? "." : plan.OutputDir));
  }
  ProgressLabel(LastComponent(target));
  int64_t outPos = i == 0 ? PayloadOffset : 0;
  if (i == 0 && !OsWriteAt(out->File(), plan.Head.data(), plan.Head.size(), 0))
    return WriteFailure(plan, Printable(target));
  int64_t count =
      i == 0 ? plan.First
             : std::min<int64_t>(static_cast<int64_t>(plan.PieceSize), plan.Total - *inputPos);
  // The digest of the file's run, continued from the files before it in the run (from 0).
  uint32_t* crc = &digests->Image.Digests[DigestIndexOf(*digests, static_cast<int32_t>(i))];
  int64_t got = CopyThroughMemory(in, *inputPos, out->File(), outPos, count, *inputPos, crc);
  if (got < 0) return WriteFailure(plan, Printable(target));
  if (got < count) {
    ProgressEnd();
    CliPrint(CliErr, "tarnovell: %s became shorter while it was split; nothing was left behind\n",
             Printable(inputPath).c_str());
    return ExitFileError;
  }
  // The length makes the holes at the end of a sparse input.
  if (!OsSetLength(out->File(), outPos + count) || (i > 0 && !out->Finish()))
    return WriteFailure(plan, Printable(target));
  *inputPos += count;
  return ExitComplete;
}

// The digest block of the planned set, its digests still to be hashed (from 0).
static DigestBlock PlanDigests(const SplitPlan& plan) {
  DigestBlock digests = {};
  int32_t pieces = static_cast<int32_t>(plan.Pieces + 1);
  digests.Image.PieceCount = static_cast<uint32_t>(pieces);
  digests.Image.RunLength = static_cast<uint32_t>(RunLengthFor(pieces));
  digests.Image.FirstPayload = static_cast<uint64_t>(plan.First);
  digests.Image.PieceSize = plan.PieceSize;
  return digests;
}

// The header once more, now with the digest block, and the container closed.
static int SealContainer(const SplitPlan& plan, DigestBlock* digests, PendingOutput* container) {
  std::string header = plan.Head.substr(HeaderOffset);
  if (!WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), digests)) {
    // The header's numbers are at most 19 digits and add up by the plan: not to be reached.
    CliPrint(CliErr,
             "tarnovell: the digest block does not fit this header; nothing was left behind\n");
    return ExitFileError;
  }
  if (!OsWriteAt(container->File(), header.data(), header.size(), HeaderOffset) ||
      !container->Finish()) {
    return WriteFailure(plan, Printable(container->Target()));
  }
  return ExitComplete;
}

// The order the files go in place: the pieces and the recovery files, then the container, whose
// header decides what the set is. Stopped anywhere (a kill), the folder holds the older set with
// some of its files replaced by new ones under its older container (--force), or new files
// without a container: never a new container before all of its files.
static std::vector<size_t> CommitOrder(size_t count) {
  std::vector<size_t> order;
  for (size_t i = 1; i < count; i++) order.push_back(i);
  order.push_back(0);
  return order;
}

// Puts every file in place; on a failure the ones already in place go again. Files of an older
// set that they replaced (--force) cannot come back: the message says so.
static int CommitSet(std::vector<PendingOutput>* outputs, bool force) {
  int replaced = 0;
  std::vector<size_t> order = CommitOrder(outputs->size());
  for (size_t k = 0; k < order.size(); k++) {
    PendingOutput& output = (*outputs)[order[k]];
    OsFileInfo existing;
    bool replaces =
        force && OsProbe(output.Target(), &existing, false) && existing.Kind != OsKind::Missing;
    if (output.Commit(force)) {
      replaced += replaces;
      continue;
    }
    int error = OsLastError();
    for (size_t j = 0; j < k; j++) OsDelete((*outputs)[order[j]].Target());
    std::string target = Printable(output.Target());
    std::string left = replaced == 0 ? "nothing was left behind"
                       : replaced == 1
                           ? "nothing of the new set was left behind, and the file of an older set "
                             "that it had replaced is gone"
                           : "nothing of the new set was left behind, and the " +
                                 std::to_string(replaced) +
                                 " files of an older set that it had replaced are gone";
    if (OsErrorIsExists(error))
      return Refuse(target + " appeared while the set was written; " + left);
    CliPrint(CliErr, "tarnovell: file system error: %s: %s; %s\n", target.c_str(),
             OsErrorText(error).c_str(), left.c_str());
    return ExitFileError;
  }
  return ExitComplete;
}

// Removes a file of an older set: only a regular file, never the input. False when there is
// none to remove, or it cannot be removed (said).
static bool RemoveOlderFile(const std::string& path, const OsFileInfo& input) {
  OsFileInfo info;
  if (!OsProbe(path, &info, false) || info.Kind != OsKind::Regular || SameFile(info, input))
    return false;
  if (OsDelete(path)) return true;
  CliPrint(CliErr, "tarnovell: warning: cannot remove %s of an older set: %s\n",
           Printable(path).c_str(), OsErrorText(OsLastError()).c_str());
  return false;
}

// The pieces of an older, longer set of the same base that the new set replaced: those after
// its last piece, as far as they follow on without a gap; and its recovery files beyond the new
// set's, every one of them (one may have been lost).
static void RemoveOlderPieces(const SplitPlan& plan, const OsFileInfo& input) {
  for (uint64_t n = plan.Pieces + 1; n <= static_cast<uint64_t>(INT32_MAX); n++)
    if (!RemoveOlderFile(PiecePath(plan, n), input)) break;
  for (int32_t r = static_cast<int32_t>(plan.RecoveryTargets.size()); r < MaxRecoveryRows; r++)
    RemoveOlderFile(RecoveryPath(plan, r), input);
}

static void ReportSet(const SplitPlan& plan) {
  CliPrint(CliOut, "%s: %lld bytes in %s", Printable(plan.Name).c_str(),
           static_cast<long long>(plan.Total), Printable(plan.Targets[0]).c_str());
  if (plan.Pieces > 0) {
    CliPrint(CliOut, " and %llu piece%s (%s to %s)", static_cast<unsigned long long>(plan.Pieces),
             plan.Pieces == 1 ? "" : "s", Printable(LastComponent(plan.Targets[1])).c_str(),
             Printable(LastComponent(plan.Targets.back())).c_str());
  }
  if (!plan.RecoveryTargets.empty()) {
    CliPrint(CliOut, ", %zu recovery file%s (%s to %s)", plan.RecoveryTargets.size(),
             plan.RecoveryTargets.size() == 1 ? "" : "s",
             Printable(LastComponent(plan.RecoveryTargets[0])).c_str(),
             Printable(LastComponent(plan.RecoveryTargets.back())).c_str());
  }
  CliPrint(CliOut, "\n");
}

static int OpenInput(const std::string& path, OsFile* in, OsFileInfo* info) {
  *in = OsOpenRead(path, info);
  if (*in == NoFile) {
    CliPrint(CliErr, "tarnovell: cannot open %s: %s\n", Printable(path).c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  if (info->Kind != OsKind::Regular) {
    CliPrint(CliErr, "tarnovell: %s is not a regular file\n", Printable(path).c_str());
    return ExitFileError;
  }
  return ExitComplete;
}

// The room the set takes (and its recovery files at least a piece each), checked before a byte
// of it is written.
static int CheckRoomForSet(const SplitPlan& plan) {
  uint64_t total = static_cast<uint64_t>(plan.Total);
  uint64_t needed = total + PayloadOffset +
                    plan.RecoveryTargets.size() * std::min<uint64_t>(plan.PieceSize, total);
  return CheckRoom(plan.OutputDir, needed, SetDescription(plan));
}

// A container of ours is refused as the input, unless forced: it is most likely a set to join.
static int RefuseSplittingASet(const SplitOptions& options, OsFile in, const OsFileInfo& input) {
  if (options.Force || !IsContainerOfOurs(in, input)) return ExitComplete;
  return Refuse(Printable(options.InputPath) + " is already a set; did you mean `tarnovell join " +
                PasteablePath(options.InputPath) + "`? (give --force to split it all the same)");
}

static int SplitOpenInput(const SplitOptions& options, OsFile in, const OsFileInfo& input) {
  SplitPlan plan;
  plan.Total = input.Size;
  // The input's times are taken (PlanNames) before anything of it is read.
  int code = PlanNames(options, in, &plan);
  if (code == ExitComplete) code = RefuseSplittingASet(options, in, input);
  if (code == ExitComplete) code = PlanSizes(options, &plan);
  if (code == ExitComplete) code = PlanTargets(options, input, &plan);
  if (code == ExitComplete) code = CheckRoomForSet(plan);
  if (code != ExitComplete) return code;

  std::vector<PendingOutput> outputs;
  outputs.reserve(plan.Targets.size());
  ProgressBegin(!options.Quiet, plan.Total);
  int64_t inputPos = 0;
  DigestBlock digests = PlanDigests(plan);
  for (size_t i = 0; i < plan.Targets.size() && code == ExitComplete; i++) {
    outputs.emplace_back();
    code = WriteSetFile(plan, i, in, &inputPos, options.InputPath, &outputs.back(), &digests);
  }
  ProgressEnd();
  if (code == ExitComplete) code = SealContainer(plan, &digests, &outputs.front());
  if (code == ExitComplete && !plan.RecoveryTargets.empty()) {
    code = WriteRecoveryFiles(plan.RecoveryTargets, plan.Total, plan.Nameless, !options.Quiet,
                              &outputs);
  }
  if (code == ExitComplete) code = CommitSet(&outputs, options.Force);
  if (code != ExitComplete) return code;
  if (options.Force) RemoveOlderPieces(plan, input);
  if (!options.Quiet) ReportSet(plan);
  return ExitComplete;
}

int RunSplit(const SplitOptions& options) {
  if (options.Number == 0 && options.PieceSize <= static_cast<uint64_t>(PayloadOffset)) {
    CliPrint(
        CliErr,
        "tarnovell: --size must be more than %d bytes (the stub and the header alone take %d)\n",
        static_cast<int>(PayloadOffset), static_cast<int>(PayloadOffset));
    return ExitUsage;
  }
  if (options.RecoveryRows > 0 && !RecoveryFilesAvailable()) return ExitUsage;
  OsFile in = NoFile;
  OsFileInfo input;
  int code = OpenInput(options.InputPath, &in, &input);
  if (code == ExitComplete) code = SplitOpenInput(options, in, input);
  if (in != NoFile) OsClose(in);
  return code;
}
