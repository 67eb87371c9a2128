// repair: the bad files of a set are found through its recovery files and rebuilt, each into a
// new file beside it that is read back and checked, and only then put in place. Until every
// rebuilt file is checked nothing of the set changes: a failure, Ctrl+C or a crash before that
// leaves it as it was.

#include <string.h>

#include <algorithm>
#include <memory>

#include "cli/commands/commands.h"
#include "cli/os/encoding.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/checksums.h"
#include "cli/set/copy.h"
#include "cli/set/module_files.h"
#include "cli/set/output.h"
#include "cli/set/pieces.h"
#include "cli/set/recovery_files.h"
#include "cli/set/stub_image.h"
#include "cli/show/hints.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"
#include "container/layout.h"
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

// What this repair put in place, for its --json object; begun empty by every repair.
static struct RepairDone {
  std::vector<std::string> Rebuilt;    // the set's files, rebuilt in place
  std::vector<std::string> Kept;       // beside each: the name the file it replaced is kept under
  std::vector<std::string> MadeAgain;  // the recovery files made again
} Done;

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

// A free name beside path to keep the file there under: PATH.1, PATH.2, ...
static std::string KeptName(const std::string& path) {
  for (int k = 1;; k++) {
    std::string kept = path + "." + std::to_string(k);
    OsFileInfo info;
    if (OsProbe(kept, &info, false) && info.Kind == OsKind::Missing) return kept;
  }
}

// Every byte of the file there is in its rebuilt file at the same place (it was cut short): the
// rebuilt file replaces it losing nothing.
static bool HeldByRebuilt(OsFile there, OsFile rebuilt) {
  OsFileInfo old, now;
  if (there == NoFile || !OsInfo(there, &old) || !OsInfo(rebuilt, &now) || old.Size > now.Size)
    return false;
  std::vector<char> a(1 << 20), b(a.size());
  for (int64_t at = 0; at < old.Size; at += static_cast<int64_t>(a.size())) {
    size_t count = static_cast<size_t>(std::min<int64_t>(old.Size - at, a.size()));
    if (!OsReadAt(there, a.data(), count, at) || !OsReadAt(rebuilt, b.data(), count, at) ||
        memcmp(a.data(), b.data(), count) != 0)
      return false;
  }
  return true;
}

// A file that was lost and is there now: another repair put it in place first, when it has the
// size and the digest the set gives it.
static bool PutThereByAnother(const RecoveryFileSet& files, const SetSurvey& survey, int32_t n) {
  OsFileInfo info;
  OsFile file = OsOpenRead(files.SetPaths[n], &info);
  if (file == NoFile) return false;
  bool interrupted = false;
  OsFileAccess access(file);
  bool good = info.Kind == OsKind::Regular &&
              CheckSetFile(survey.Header, n, &access, survey.Header.StubDigest, nullptr,
                           &interrupted) == FileGood;
  OsClose(file);
  return good;
}

// Each rebuilt file under its name, replacing the bad one. A file there that the container's own
// evidence does not condemn (only the recovery files do) is kept under a name of its own first.
static int PutInPlace(RecoveryFileSet* opened, const SetSurvey& survey,
                      std::vector<PendingOutput>* outputs, bool quiet) {
  const RecoveryFileSet& files = *opened;
  if (CliInterrupted) return ReportInterrupted("nothing was changed");
  int32_t done = 0;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    if (!NeedsRewrite(survey.Files[n])) continue;
    PendingOutput& output = (*outputs)[n];
    const std::string& path = files.SetPaths[n];
    bool onTheirWord = !survey.Condemned[n] || survey.ContainerSuspect;
    std::string kept = files.SetFound[n] && onTheirWord &&
                               !HeldByRebuilt(files.SetFiles[n], output.File())
                           ? KeptName(path)
                           : "";
    opened->CloseSetFile(n);  // Windows replaces no file that is open
    bool committed = output.Finish() && (kept.empty() || RenameInPlace(path, kept, false)) &&
                     output.Commit(files.SetFound[n] != 0 && kept.empty());
    int error = OsLastError();
    if (!committed && !kept.empty()) RenameInPlace(kept, path, false);  // back, as it was
    if (!committed && !files.SetFound[n] && OsErrorIsExists(error) &&
        PutThereByAnother(files, survey, n)) {
      CliPrint(CliOut, "%s: another repair put it in place first\n",
               Printable(SetFileName(files, n)).c_str());
      continue;
    }
    if (!committed) {
      CliPrint(CliErr, "tarnovell: file system error: %s: %s%s\n", Printable(path).c_str(),
               OsErrorText(error).c_str(),
               done > 0 ? "; the files named rebuilt are in place" : "; nothing was changed");
      return ExitFileError;
    }
    CliPrint(CliOut, "rebuilt %s\n", Printable(SetFileName(files, n)).c_str());
    Done.Rebuilt.push_back(path);
    Done.Kept.push_back(kept);
    if (!kept.empty()) {
      CliPrint(CliOut,
               "  kept the file it replaced as %s: the container's digests do not condemn it, or "
               "condemn most of the set\n",
               Printable(LastComponent(kept)).c_str());
    }
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

// The first rebuilt file whose SHA-256 differs from BASE.sha256 (which names it), -1 when none.
// A file that cannot be read back counts as differing.
static int32_t RebuiltDiffering(const RecoveryFileSet& files, const SetSurvey& survey,
                                const std::vector<PendingOutput>& outputs,
                                const SetChecksums& sums) {
  if (sums.Path.empty()) return -1;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    const Sha256Digest* expected = sums.Find(SetFileName(files, n));
    if (!NeedsRewrite(survey.Files[n]) || expected == nullptr) continue;
    Sha256Digest digest;
    if (!Sha256OfFile(outputs[n].File(), &digest) || !(digest == *expected)) return n;
  }
  return -1;
}

// One rebuild of every file to rewrite, as survey says, into the outputs: RecoveryDone, or why
// not; a rebuilt file that misses BASE.sha256 is RecoveryVerifyFailed (*shaMissed set).
static RecoveryResult RebuildOnce(const RecoveryFileSet& files, const SetSurvey& survey,
                                  std::vector<PendingOutput>* outputs, const std::string& stub,
                                  const SetChecksums& sums, bool quiet, bool* shaMissed) {
  ProgressBegin(!quiet, RepairReadBytes(survey), ProgressStep::RepairRebuild);
  ProgressLabel(files.BaseName);
  ToolProgress steps;
  ModuleFiles set(files.SetFiles), rows(files.RecoveryFiles), targets(FilesOf(*outputs));
  RecoveryResult result =
      RepairSet(survey, set.List(), rows.List(), targets.List(),
                stub.empty() ? nullptr : reinterpret_cast<const uint8_t*>(stub.data()), &steps);
  if (result.Outcome == RecoveryDone) ProgressComplete();
  ProgressEnd();
  int32_t differing = result.Outcome == RecoveryDone
                          ? RebuiltDiffering(files, survey, *outputs, sums)
                          : -1;
  *shaMissed = differing >= 0;
  return *shaMissed ? RecoveryResult{RecoveryVerifyFailed, differing, -1} : result;
}

// A rebuild that missed a digest (the CRC-32C the recovery header gives, or BASE.sha256's): a
// recovery file may give parity other than its own digests say. The rows are tried in turn, each
// left out alone while enough remain; the one whose leaving out rebuilds every file is named and
// left out. RecoveryDone with *survey so judged, or the first failure.
static RecoveryResult RebuildLeavingOutRows(RecoveryFileSet* files, SetSurvey* survey,
                                            std::vector<PendingOutput>* outputs,
                                            const std::string& stub, const SetChecksums& sums,
                                            bool quiet, RecoveryResult first, bool shaMissed) {
  for (int32_t r = 0; r < survey->Header.RowCount; r++) {
    int32_t source = survey->RowSource[r];
    if (source < 0) continue;
    SetSurvey without = *survey;
    LeaveOutRow(&without, r);
    if (!without.Repairable) continue;
    bool missed = false;
    RecoveryResult result = RebuildOnce(*files, without, outputs, stub, sums, quiet, &missed);
    if (result.Outcome == RecoveryInterrupted) return result;
    if (result.Outcome != RecoveryDone) continue;
    files->LeftOutWhy[static_cast<size_t>(source)] =
        "its parity does not rebuild the set to its digests: forged, or damaged where its own "
        "digests cannot tell";
    CliPrint(CliOut, "  %s: %s\n", Printable(LastComponent(files->RecoveryPaths[source])).c_str(),
             files->LeftOutWhy[static_cast<size_t>(source)].c_str());
    *survey = without;
    return result;
  }
  if (shaMissed) {
    CliPrint(CliErr,
             "tarnovell: rebuilt %s does not match %s, though its CRC-32C is the set's: a "
             "recovery file is forged, or %s is not this set's; nothing was changed\n",
             Printable(SetFileName(*files, first.SetFile)).c_str(), sums.FileName().c_str(),
             sums.FileName().c_str());
    first.Outcome = RecoveryRefused;  // told
  }
  return first;
}

static int Rebuild(RecoveryFileSet* opened, SetSurvey* survey, RepairOutputs* made,
                   const SetChecksums& sums, bool quiet) {
  const RecoveryFileSet& files = *opened;
  for (int32_t n = 0; n < survey->Header.FileCount; n++) {
    if (NeedsRewrite(survey->Files[n]) && !made->Make(n))
      return RepairFailure(files, *survey, {RecoveryWriteFailed, n, -1});
  }
  std::vector<PendingOutput>& outputs = *made->Outputs();
  std::string stub;
  if (NeedsRewrite(survey->Files[0])) ChooseStub(files, *survey, &stub);
  bool shaMissed = false;
  RecoveryResult result = RebuildOnce(files, *survey, &outputs, stub, sums, quiet, &shaMissed);
  if (result.Outcome == RecoveryVerifyFailed)
    result = RebuildLeavingOutRows(opened, survey, &outputs, stub, sums, quiet, result, shaMissed);
  if (result.Outcome == RecoveryRefused && shaMissed) return ExitFileError;
  if (result.Outcome != RecoveryDone) return RepairFailure(files, *survey, result);
  return PutInPlace(opened, *survey, &outputs, quiet);
}

// Recovery row r is to be made again: missing or damaged, and not left out (a file left out stays
// as it is).
static bool RowToMake(const RecoveryFileSet& files, const SetSurvey& survey, int32_t r) {
  int32_t found = files.FoundRow(r);
  return !RowGoodEverywhere(survey, r) && (found < 0 || files.LeftOutWhy[found].empty());
}

// The recovery files not made again (rows from first on that were to be made), named.
static std::string RowsNotMade(const RecoveryFileSet& files, const SetSurvey& survey,
                               int32_t first) {
  std::string names;
  for (int32_t r = first; r < survey.Header.RowCount; r++) {
    if (!RowToMake(files, survey, r)) continue;
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
  int32_t toMake = 0;
  for (int32_t r = 0; r < survey.Header.RowCount; r++) toMake += RowToMake(files, survey, r);
  if (toMake == 0) return ExitComplete;
  OpenedFiles set;
  if (!set.Open(files.SetPaths)) return RemakeFailure(files, survey, 0, repaired);
  if (!MadeWith(StubOf(set.Files[0]), survey)) {
    CliPrint(CliOut,
             "note: the missing and damaged recovery files are not made again: the joiner program "
             "differs "
             "from the one the set was made with\n");
    return ExitComplete;
  }
  std::vector<PendingOutput> outputs(rows);
  for (int32_t r = 0; r < survey.Header.RowCount; r++) {
    if (!RowToMake(files, survey, r)) continue;
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
    Done.MadeAgain.push_back(outputs[r].Target());
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
  Done.Rebuilt.push_back(containerPath);
  Done.Kept.push_back("");
  if (!quiet) CliPrint(CliOut, "Result:    repaired: 1 file rebuilt\n");
  return ExitComplete;
}

// A name of a recovery file of the set that is not a regular file (a FIFO, a socket, a link that
// leads nowhere or in a circle): refused before anything, as a lost piece's name is.
static int RefuseSpecialRecoveryNames(const RecoveryFileSet& files) {
  for (int32_t r = 0; r < MaxRecoveryRows; r++) {
    std::string path = FindFileIgnoringCase(files.Folder, files.BaseName + RecoverySuffix(r));
    OsFileInfo info;
    if (path.empty() || (OsProbe(path, &info) && info.Kind == OsKind::Regular)) continue;
    return Refuse(Printable(path) +
                  " is not a regular file (a FIFO, a socket, or a link that leads nowhere?), and "
                  "repair does not replace it: remove it, and repair again; nothing was changed");
  }
  return ExitComplete;
}

// BASE.sha256 beside the set, where it is this set's (it names no other original): the strongest
// authority there is. The recovery files whose SHA-256 differs from it are left out before the
// survey: forged or damaged, whatever their own digests say.
static int LoadChecksums(RecoveryFileSet* files, SetChecksums* sums) {
  PieceSet set;  // the set as the checksum file names it
  set.BaseName = files->BaseName;
  set.ContainerPath = JoinPath(files->Folder, files->BaseName + ".exe");
  std::vector<uint8_t> copy;
  std::string unused;
  if (!FindHeaderCopy(JoinPath(files->Folder, files->BaseName), &copy).empty() &&
      ParseContainerHeader(copy.data(), &set.Head, &unused) != ExitComplete)
    set.Head.Name = Cp1251ToUtf8(set.Head.NameBytes);  // record 1 at least
  LoadSetChecksums(set, sums);
  if (sums->Path.empty()) return ExitComplete;
  std::string foreign = sums->ForeignOriginal(set);
  if (!foreign.empty()) {
    CliPrint(CliErr,
             "tarnovell: warning: %s looks like the checksums of another set (it is for %s); not "
             "counted\n",
             sums->FileName().c_str(), Printable(foreign).c_str());
    sums->Path.clear();
    return ExitComplete;
  }
  for (size_t i = 0; i < files->RecoveryPaths.size(); i++) {
    const Sha256Digest* expected = sums->Find(LastComponent(files->RecoveryPaths[i]));
    Sha256Digest digest;
    if (expected == nullptr || files->RecoveryFiles[i] == NoFile) continue;
    if (!Sha256OfFile(files->RecoveryFiles[i], &digest)) {
      if (CliInterrupted) return ReportInterrupted("nothing was changed");
      CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was changed\n",
               Printable(files->RecoveryPaths[i]).c_str(), OsErrorText(OsLastError()).c_str());
      return ExitFileError;
    }
    if (!(digest == *expected)) files->LeaveOut(i, "its SHA-256 differs from " + sums->FileName());
  }
  return ExitComplete;
}

// The container is there and its digest block checks: it vouches for the set's files.
static bool ContainerVouches(const RecoveryFileSet& files) {
  uint8_t header[HeaderSize];
  DigestBlock block;
  return !files.SetFiles.empty() && files.SetFiles[0] != NoFile &&
         OsReadAt(files.SetFiles[0], header, sizeof header, HeaderOffset) &&
         ReadDigestBlock(header, &block);
}

// A set known from its recovery files alone is held to the limit split holds a set to: a forged
// recovery file alone could otherwise ask for any number of files.
static int RefuseUnvouchedLargeSet(const RecoveryFileSet& files, const RepairOptions& options) {
  if (files.FileCount <= static_cast<int32_t>(SetFileLimit) || options.Force ||
      ContainerVouches(files))
    return ExitComplete;
  return Refuse("the recovery files describe a set of " + std::to_string(files.FileCount) +
                " files, more than " + std::to_string(SetFileLimit) +
                ", and no container vouches for it; give --force to rebuild it all the same; "
                "nothing was changed");
}

// A container whose digests condemn most of the pieces there may be another set's: its word is
// not taken without --force.
static int RefuseSuspectContainer(const RecoveryFileSet& files, const SetSurvey& survey,
                                  const RepairOptions& options) {
  if (!survey.ContainerSuspect || options.Force) return ExitComplete;
  int32_t pieces = 0, condemned = 0;
  for (int32_t n = 1; n < survey.Header.FileCount; n++) {
    pieces += files.SetFound[n];
    condemned += survey.Condemned[n];
  }
  return Refuse(Printable(SetFileName(files, 0)) + "'s digests condemn " +
                std::to_string(condemned) + " of the " + std::to_string(pieces) +
                " pieces there: it may be another set's container; give --force to rebuild them "
                "all the same (each file replaced is kept beside it as NAME.1); nothing was changed");
}

// repair --json: the files put in place (each with its size, and its SHA-256 where BASE.sha256
// vouched for it), the recovery files made again, the survey when there was one, the result.
static void PrintRepairJson(const RepairOptions& options, const RecoveryFileSet* files,
                            const SetSurvey* survey, const SetChecksums& sums, int code) {
  JsonWriter json;
  json.Begin().Field("command", "repair").NameField("path", options.Path);
  json.BeginArray("rebuilt");
  for (size_t i = 0; i < Done.Rebuilt.size(); i++) {
    OsFileInfo info;
    const std::string& path = Done.Rebuilt[i];
    json.Begin().NameField("path", path);
    if (OsProbe(path, &info)) json.Field("size", info.Size);
    // BASE.sha256 vouched for what the survey rebuilt (the container alone is checked otherwise)
    const Sha256Digest* sha256 = survey != nullptr ? sums.Find(LastComponent(path)) : nullptr;
    if (sha256 != nullptr) json.Field("sha256", Sha256Hex(*sha256));
    if (!Done.Kept[i].empty()) json.NameField("kept_as", Done.Kept[i]);
    json.End();
  }
  json.End().BeginArray("made_again");
  for (const std::string& path : Done.MadeAgain) json.Begin().NameField("path", path).End();
  json.End();
  if (files != nullptr && survey != nullptr) {
    json.Begin("recovery");
    JsonSurvey(&json, *files, *survey);
    json.End();
  }
  const char* word = code == ExitComplete && Done.Rebuilt.empty() ? "whole"
                     : code == ExitComplete                      ? "repaired"
                                                                 : JsonResultWord(code);
  JsonEndWith(&json, word, code);
  JsonPrint(json);
}

// The set surveyed: whole, not repairable, or rebuilt (and the missing recovery files made again).
static int RepairSurveyed(RecoveryFileSet* files, SetSurvey* survey, RepairOutputs* outputs,
                          const SetChecksums& sums, const RepairOptions& options) {
  PrintBadFiles(CliOut, *files, *survey, "  ", false);
  PrintBadRows(CliOut, *files, *survey, "  ");
  if (survey->FilesToRewrite == 0) {
    if (!options.Quiet) {
      CliPrint(CliOut, "%s: whole: nothing to repair (%d files checked)\n",
               Printable(files->BaseName).c_str(), survey->Header.FileCount);
    }
    return RemakeRows(*files, *survey, false, options.Quiet);
  }
  if (!survey->Repairable) {
    PrintNotRepairable(CliOut, *survey, "Result:    ");
    CliPrint(CliOut, "Nothing was changed.\n");
    return ExitNotRepairable;
  }
  int code = RefuseSuspectContainer(*files, *survey, options);
  if (code == ExitComplete) code = Rebuild(files, survey, outputs, sums, options.Quiet);
  return code == ExitComplete ? RemakeRows(*files, *survey, true, options.Quiet) : code;
}

int RunRepair(const RepairOptions& options) {
  Done = {};
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
  if (code == ExitComplete) code = RefuseSpecialRecoveryNames(files);
  if (code == ExitComplete) code = RefuseUnvouchedLargeSet(files, options);
  SetChecksums sums;
  if (code == ExitComplete) code = LoadChecksums(&files, &sums);
  if (code != ExitComplete) return code;
  if (files.FileCount == 0 && !container.empty()) {
    code = RepairContainerAlone(container, options.Quiet);
    if (code == ExitComplete && options.Json) PrintRepairJson(options, nullptr, nullptr, sums, code);
    if (code >= 0) return code;
  }
  if (files.FileCount == 0) {
    // A container whose own piece 1 is not beside it may have been renamed away from its set;
    // one beside its pieces simply has no recovery files.
    PieceSet own;
    own.BaseName = baseName;
    bool renamed = !container.empty() && options.PiecesBase.empty() &&
                   FindFileIgnoringCase(folder, own.PieceName(1)).empty();
    std::string none =
        "no recovery file " + Printable(base) + ".r01, ... was found" +
        (renamed ? " (a renamed container: give --pieces-base NAME, the set's name)"
                 : ": repair rebuilds files from those alone, which split makes with --recovery N");
    CliPrint(CliErr, "tarnovell: not repairable: %s\n",
             files.RecoveryPaths.empty() ? none.c_str()
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
  AcceptOwnJoiner(files, &survey);
  code = RepairSurveyed(&files, &survey, &outputs, sums, options);
  if (options.Json) PrintRepairJson(options, &files, &survey, sums, code);
  return code;
}
