// repair: the bad files of a set are found through its recovery files and rebuilt, each into a
// new file beside it that is read back and checked, and only then put in place. Until every
// rebuilt file is checked nothing of the set changes: a failure, Ctrl+C or a crash before that
// leaves it as it was.

#include <memory>

#include "cli/cli.h"
#include "cli/cli_copy.h"
#include "cli/cli_hints.h"
#include "cli/cli_output.h"
#include "cli/cli_paths.h"
#include "cli/cli_pieces.h"
#include "cli/cli_progress.h"
#include "cli/cli_recovery_set.h"
#include "integrity/crc32c.h"

// The set a path names: a recovery file (the container is then BASE.exe beside it, "" here), the
// container, or a piece (its set's container).
static int RepairTarget(const std::string& path, std::string* base, std::string* container) {
  std::string name = LastComponent(path);
  if (RecoveryRowOfName(name) >= 0) {
    *base = path.substr(0, path.size() - (name.size() - name.find_last_of('.')));
    container->clear();
    return ExitComplete;
  }
  *container = SetContainerPath(path);
  *base = ContainerBasePath(*container);
  if (!base->empty()) return ExitComplete;
  CliPrint(CliErr,
           "tarnovell: %s is neither a container (NAME.exe), a piece (NAME.c001, ...) nor a "
           "recovery file (NAME.r01, ...)\n",
           Printable(path).c_str());
  return ExitUsage;
}

// The first StubSize bytes of a container (empty when they cannot be read).
static std::string StubOf(OsFile container) {
  std::string stub(StubSize, '\0');
  if (container == NoFile || !OsReadAt(container, &stub[0], StubSize, 0)) stub.clear();
  return stub;
}

// The stub is the one the set was made with.
static bool MadeWith(const std::string& stub, const SetSurvey& survey) {
  return stub.size() == StubSize &&
         StubDigestOf(reinterpret_cast<const uint8_t*>(stub.data())) == survey.Header.StubDigest;
}

// The first copy of the stub a recovery file carries that is the one the set was made with
// (empty when none does).
static std::string StubCopyOf(const RecoveryFileSet& files, const SetSurvey& survey) {
  std::string stub(StubSize, '\0');
  for (int32_t source : survey.RowSource) {
    RecoveryHeader header;
    if (source < 0 || files.RecoveryFiles[source] == NoFile) continue;
    OsFileAccess file(files.RecoveryFiles[source]);
    if (ReadRecoveryHeader(file, &header) &&
        ReadStubCopy(file, header, reinterpret_cast<uint8_t*>(&stub[0])) && MadeWith(stub, survey))
      return stub;
  }
  return "";
}

// The stub of a rebuilt container: the one the set was made with, from the container itself,
// this tool or a recovery file's copy, the first that has it; else this tool's, said so.
static void ChooseStub(const RecoveryFileSet& files, const SetSurvey& survey, std::string* stub) {
  *stub = StubOf(files.SetFiles[0]);
  if (MadeWith(*stub, survey)) return;
  stub->assign(reinterpret_cast<const char*>(StubImage), StubImageSize);
  if (MadeWith(*stub, survey)) return;
  std::string copy = StubCopyOf(files, survey);
  if (!copy.empty()) {
    *stub = copy;
    return;
  }
  CliPrint(CliOut,
           "note: the joiner program differs from the one the set was made with: %s gets this "
           "tool's\n",
           Printable(SetFileName(files, 0)).c_str());
}

static int RepairFailure(const RecoveryFileSet& files, const SetSurvey& survey,
                         const RecoveryResult& result) {
  int error = OsLastError();
  if (CliInterrupted) return ReportInterrupted("nothing was changed");
  std::string what = result.SetFile >= 0 ? SetFileName(files, result.SetFile)
                     : result.Row >= 0   ? RowFileName(files, survey, result.Row)
                                         : files.BaseName;
  if (result.Outcome == RecoveryVerifyFailed) {
    CliPrint(CliErr,
             "tarnovell: rebuilt %s does not match its digest (did a file change meanwhile?); "
             "nothing was "
             "changed\n",
             Printable(what).c_str());
  } else {
    CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was changed\n",
             Printable(what).c_str(), OsErrorText(error).c_str());
  }
  return ExitFileError;
}

// Each rebuilt file under its name, replacing the bad one.
static int PutInPlace(RecoveryFileSet* opened, const SetSurvey& survey,
                      std::vector<PendingOutput>* outputs, bool quiet) {
  const RecoveryFileSet& files = *opened;
  if (CliInterrupted) return ReportInterrupted("nothing was changed");
  int32_t done = 0;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    if (!NeedsRewrite(survey.Files[n])) continue;
    PendingOutput& output = (*outputs)[n];
    opened->CloseSetFile(n);  // Windows replaces no file that is open
    if (!output.Finish() || !output.Commit(files.SetFound[n] != 0)) {
      CliPrint(CliErr, "tarnovell: file system error: %s: %s%s\n",
               Printable(files.SetPaths[n]).c_str(), OsErrorText(OsLastError()).c_str(),
               done > 0 ? "; the files named rebuilt are in place" : "; nothing was changed");
      return ExitFileError;
    }
    CliPrint(CliOut, "rebuilt %s\n", Printable(SetFileName(files, n)).c_str());
    done++;
  }
  if (!quiet)
    CliPrint(CliOut, "Result:    repaired: %d file%s rebuilt\n", done, done == 1 ? "" : "s");
  return ExitComplete;
}

// What remaking recovery files reads, for the progress bar: every payload.
static int64_t SetBytes(const SetSurvey& survey) {
  int64_t total = 0;
  for (int32_t n = 0; n < survey.Header.FileCount; n++)
    total = ProgressSum(total, survey.Header.Files[n].Payload);
  return total;
}

// The rebuilt files' outputs beside the set, each made when first asked for: by the survey, for
// the files it finds lost before reading any (it rebuilds them on the way), or by the rebuild.
class RepairOutputs final : public RebuildTargets {
 public:
  explicit RepairOutputs(const RecoveryFileSet& files)
      : files_(files), outputs_(files.SetPaths.size()) {}
  const FileAccess* TargetOf(int32_t n) override {
    if (!Make(n)) return nullptr;
    access_.emplace_back(new OsFileAccess(outputs_[n].File()));
    return access_.back().get();
  }
  // File n's output, made now or before; false with OsLastError.
  bool Make(int32_t n) {
    if (n < 0 || n >= static_cast<int32_t>(outputs_.size())) return false;
    return outputs_[n].File() != NoFile ||
           outputs_[n].Create(files_.SetPaths[n], ".tarnovell-repair-", true);
  }
  std::vector<PendingOutput>* Outputs() { return &outputs_; }

 private:
  const RecoveryFileSet& files_;
  std::vector<PendingOutput> outputs_;                  // per file of the set
  std::vector<std::unique_ptr<OsFileAccess>> access_;  // what TargetOf gave out
};

static int Rebuild(RecoveryFileSet* opened, const SetSurvey& survey, RepairOutputs* made,
                   bool quiet) {
  const RecoveryFileSet& files = *opened;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    if (NeedsRewrite(survey.Files[n]) && !made->Make(n))
      return RepairFailure(files, survey, {RecoveryWriteFailed, n, -1});
  }
  std::vector<PendingOutput>& outputs = *made->Outputs();
  std::string stub;
  if (NeedsRewrite(survey.Files[0])) ChooseStub(files, survey, &stub);
  ProgressBegin(!quiet, RepairReadBytes(survey), ProgressStep::RepairRebuild);
  ProgressLabel(files.BaseName);
  ToolProgress steps;
  ModuleFiles set(files.SetFiles), rows(files.RecoveryFiles), targets(FilesOf(outputs));
  RecoveryResult result =
      RepairSet(survey, set.List(), rows.List(), targets.List(),
                stub.empty() ? nullptr : reinterpret_cast<const uint8_t*>(stub.data()), &steps);
  if (result.Outcome == RecoveryDone) ProgressComplete();
  ProgressEnd();
  if (result.Outcome != RecoveryDone) return RepairFailure(files, survey, result);
  return PutInPlace(opened, survey, &outputs, quiet);
}

// The recovery files not made again (rows from first on that were to be made), named.
static std::string RowsNotMade(const RecoveryFileSet& files, const SetSurvey& survey,
                               int32_t first) {
  std::string names;
  for (int32_t r = first; r < survey.Header.RowCount; r++) {
    if (RowGoodEverywhere(survey, r)) continue;
    names += (names.empty() ? "" : ", ") + Printable(RowFileName(files, survey, r));
  }
  return names;
}

// Recovery files that could not be made again: said with what became of the set, which is whole
// whatever happened here (repaired: its rebuilt files are in place).
static int RemakeFailure(const RecoveryFileSet& files, const SetSurvey& survey, int32_t first,
                         bool repaired) {
  int error = OsLastError();
  std::string left = "not made again: " + RowsNotMade(files, survey, first) +
                     (repaired ? "; the set is repaired (the files named rebuilt are in place)"
                               : "; the set itself is whole");
  if (CliInterrupted) return ReportInterrupted(left.c_str());
  CliPrint(CliErr, "tarnovell: file system error: %s; %s\n", OsErrorText(error).c_str(),
           left.c_str());
  return ExitRowsNotMade;
}

// The missing and damaged recovery files, made again from the set (whole by now: repaired, or
// found so) as split makes them, each put in place once written. Only while the container
// starts with the stub the set was made with: else their headers would not be the others'. The
// set stays whole whatever happens here.
static int RemakeRows(const RecoveryFileSet& files, const SetSurvey& survey, bool repaired,
                      bool quiet) {
  size_t rows = static_cast<size_t>(survey.Header.RowCount);
  if (BadRowCount(survey) == 0) return ExitComplete;
  OpenedFiles set;
  if (!set.Open(files.SetPaths)) return RemakeFailure(files, survey, 0, repaired);
  if (!MadeWith(StubOf(set.Files[0]), survey)) {
    ProgressSkip(ProgressStep::RepairRemake);
    CliPrint(CliOut,
             "note: the missing and damaged recovery files are not made again: the joiner program "
             "differs "
             "from the one the set was made with\n");
    return ExitComplete;
  }
  std::vector<PendingOutput> outputs(rows);
  for (int32_t r = 0; r < survey.Header.RowCount; r++) {
    if (RowGoodEverywhere(survey, r)) continue;
    if (!outputs[r].Create(JoinPath(files.Folder, RowFileName(files, survey, r)),
                           ".tarnovell-repair-", true))
      return RemakeFailure(files, survey, 0, repaired);
  }
  ProgressBegin(!quiet, SetBytes(survey), ProgressStep::RepairRemake);
  ProgressLabel(files.BaseName);
  ToolProgress steps;
  ModuleFiles setFiles(set.Files), targets(FilesOf(outputs));
  // Made again as the good ones are: their format and slice size.
  RecoveryResult result = EncodeRecovery(setFiles.List(), targets.List(), &steps,
                                         survey.Header.Version, survey.Header.SliceSize);
  if (result.Outcome == RecoveryDone) ProgressComplete();
  ProgressEnd();
  if (result.Outcome != RecoveryDone) return RemakeFailure(files, survey, 0, repaired);
  for (int32_t r = 0; r < survey.Header.RowCount; r++) {
    if (outputs[r].File() == NoFile) continue;
    if (!outputs[r].Finish() || !outputs[r].Commit(true))
      return RemakeFailure(files, survey, r, repaired);
    CliPrint(CliOut, "made again %s\n", Printable(LastComponent(outputs[r].Target())).c_str());
  }
  return ExitComplete;
}

// Every lost file's name must be free for its rebuilt file: told before the set is read, and a
// link to nothing is left as it is.
static int CheckLostNamesFree(const RecoveryFileSet& files) {
  std::string path;
  if (!FindLostNameTaken(files, &path)) {
    CliPrint(CliErr, "tarnovell: cannot look at %s: %s; nothing was changed\n",
             Printable(path).c_str(), OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  if (path.empty()) return ExitComplete;
  return Refuse(Printable(path) +
                " leads to no file (a symbolic link to nothing?), and repair does not remove it "
                "to put the rebuilt file there: remove it, or bring back the file it leads to, and "
                "repair again; "
                "nothing was changed");
}

// Without recovery files, a container whose joiner program alone is damaged gets this tool's,
// where that is the one its header's stub digest gives: a new file of this tool's stub and the
// container's own header and data, read back and checked before it replaces the container. A
// damaged header cannot be mended so: said. -1 when neither is the case (nothing done or told).
static int RepairContainerAlone(const std::string& containerPath, bool quiet) {
  PieceSet set;
  set.Container = OsOpenRead(containerPath, &set.ContainerInfo);
  std::string why, name = Printable(LastComponent(containerPath));
  if (set.Container == NoFile) return -1;
  ReadContainerHead(set.Container, set.ContainerInfo, &set.Head, &why);
  if (set.Head.HeaderDamaged) {
    CliPrint(CliErr,
             "tarnovell: not repairable: the header of %s is damaged (its digest block no longer "
             "checks), and no recovery file holds a copy of it; fetch %s again\n",
             name.c_str(), name.c_str());
    return ExitNotRepairable;
  }
  if (set.Head.Program != PartState::Damaged ||
      Crc32cAdd(0, StubImage, StubImageSize) != set.Head.Digests.StubDigest)
    return -1;
  CliPrint(CliOut, "  %s: its Windows joiner is damaged\n", name.c_str());
  PendingOutput out;
  int64_t size = set.ContainerInfo.Size, rest = size - StubSize;
  uint32_t copied = 0, back = 0;
  bool written = out.Create(containerPath, ".tarnovell-repair-", true) &&
                 OsWriteAt(out.File(), StubImage, StubImageSize, 0) &&
                 CopyThroughMemory(set.Container, StubSize, out.File(), StubSize, rest, 0,
                                   &copied) == rest &&
                 OsSetLength(out.File(), size) &&
                 CopyThroughMemory(out.File(), StubSize, NoFile, 0, rest, 0, &back) == rest;
  if (written && back != copied) {
    CliPrint(CliErr,
             "tarnovell: rebuilt %s does not match (did it change meanwhile?); nothing was "
             "changed\n",
             name.c_str());
    return ExitFileError;
  }
  OsClose(set.Container);  // Windows replaces no file that is open
  set.Container = NoFile;
  if (!written || !out.Finish() || !out.Commit(true)) {
    if (CliInterrupted) return ReportInterrupted("nothing was changed");
    CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was changed\n", name.c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  CliPrint(CliOut, "rebuilt %s (its joiner program, from this tool's own)\n", name.c_str());
  if (!quiet) CliPrint(CliOut, "Result:    repaired: 1 file rebuilt\n");
  return ExitComplete;
}

int RunRepair(const RepairOptions& options) {
  std::string base, container, folder, baseName;
  int code = RepairTarget(options.Path, &base, &container);
  if (code != ExitComplete) return code;
  if (!options.PiecesBase.empty()) {  // a renamed container: its set's files keep their names
    std::string given = GivenPiecesBase(options.PiecesBase);
    base = LastComponent(given) == given ? JoinPath(FolderOf(options.Path), given) : given;
  }
  SplitBasePath(base, &folder, &baseName);
  RecoveryFileSet files;
  code = OpenRecoveryFileSet(base, container, folder, &files);
  if (code != ExitComplete) return code;
  if (files.FileCount == 0 && !container.empty()) {
    code = RepairContainerAlone(container, options.Quiet);
    if (code >= 0) return code;
  }
  if (files.FileCount == 0) {
    CliPrint(CliErr, "tarnovell: not repairable: %s\n",
             files.RecoveryPaths.empty()
                 ? ("no recovery file " + Printable(base) + ".r01, ... was found" +
                    (container.empty() || !options.PiecesBase.empty()
                         ? ""
                         : " (a renamed container: give --pieces-base NAME, the set's name)"))
                       .c_str()
                 : "none of the recovery files found is valid");
    return ExitNotRepairable;
  }
  code = CheckLostNamesFree(files);
  if (code != ExitComplete) return code;
  SetSurvey survey;
  bool otherSet;
  RepairOutputs outputs(files);
  ProgressSteps(ProgressCommand::Repair);
  code = SurveyRecoveryFileSet(files, !options.Quiet, ProgressStep::RepairCheck, &survey,
                               &otherSet, nullptr, &outputs);
  if (otherSet) {
    CliPrint(CliErr,
             "tarnovell: not repairable: the recovery files are of another set (what they say of "
             "the set "
             "is not what %s's digests say); nothing was changed\n",
             Printable(SetFileName(files, 0)).c_str());
  }
  if (code != ExitComplete) return code;
  PrintBadFiles(CliOut, files, survey, "  ", false);
  PrintBadRows(CliOut, files, survey, "  ");
  if (survey.FilesToRewrite == 0 || !survey.Repairable) ProgressSkip(ProgressStep::RepairRebuild);
  if (BadRowCount(survey) == 0) ProgressSkip(ProgressStep::RepairRemake);
  if (survey.FilesToRewrite == 0) {
    if (!options.Quiet) {
      CliPrint(CliOut, "%s: whole: nothing to repair (%d files checked)\n",
               Printable(files.BaseName).c_str(), survey.Header.FileCount);
    }
    return RemakeRows(files, survey, false, options.Quiet);
  }
  if (!survey.Repairable) {
    PrintNotRepairable(CliOut, survey, "Result:    ");
    CliPrint(CliOut, "Nothing was changed.\n");
    return ExitNotRepairable;
  }
  code = Rebuild(&files, survey, &outputs, options.Quiet);
  return code == ExitComplete ? RemakeRows(files, survey, true, options.Quiet) : code;
}
