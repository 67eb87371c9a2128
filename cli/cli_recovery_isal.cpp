// Recovery files through the recovery module (ISA-L): split --recovery writes them, verify tells
// whether they can repair the set. The repair itself is cli_repair.cpp.
#include "cli/cli.h"
#include "cli/cli_paths.h"
#include "cli/cli_progress.h"
#include "cli/cli_recovery.h"
#include "cli/cli_recovery_set.h"

bool RecoveryFilesAvailable() { return true; }

static int EncodeFailure(const RecoveryResult& result, const std::vector<std::string>& targets) {
  int error = OsLastError();
  if (CliInterrupted) return ReportInterrupted("nothing was left behind");
  if (result.Outcome == RecoverySetDamaged || result.Outcome == RecoveryNotASet) {
    CliPrint(CliErr, "tarnovell: the set read back differs from what was written; nothing was left behind\n");
    return ExitFileError;
  }
  std::string what = result.Row >= 0 ? Printable(targets[result.Row]) : "the recovery files";
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(),
           OsErrorText(error).c_str());
  return ExitFileError;
}

// The set's files as split wrote them: a nameless one read through its open file, one with a
// temporary name opened again (held by reopened). False (OsLastError) when one cannot be opened.
static bool WrittenFiles(const std::vector<PendingOutput>& outputs, OpenedFiles* reopened, std::vector<OsFile>* files) {
  OsAllowManyOpenFiles();
  for (const PendingOutput& output : outputs) {
    OsFileInfo info;
    OsFile file = output.TempPath().empty() ? output.File() : OsOpenRead(output.TempPath(), &info);
    if (file == NoFile) return false;
    if (file != output.File()) reopened->Files.push_back(file);
    files->push_back(file);
  }
  return true;
}

int WriteRecoveryFiles(const std::vector<std::string>& targets, int64_t total, bool nameless, bool progress,
                       std::vector<PendingOutput>* outputs) {
  OpenedFiles reopened;
  std::vector<OsFile> setFiles;
  if (!WrittenFiles(*outputs, &reopened, &setFiles)) {
    CliPrint(CliErr, "tarnovell: file system error: cannot read the set back: %s; nothing was left behind\n",
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  std::vector<FileAccess> setAccess;
  std::vector<const FileAccess*> setList;
  ListAccess(setFiles, &setAccess, &setList);
  size_t first = outputs->size();
  for (size_t r = 0; r < targets.size(); r++) {
    outputs->emplace_back();
    if (!outputs->back().Create(targets[r], ".tarnovell-split-", nameless))
      return EncodeFailure({RecoveryWriteFailed, -1, static_cast<int32_t>(r)}, targets);
  }
  std::vector<OsFile> files = FilesOf(*outputs);
  files.erase(files.begin(), files.begin() + static_cast<ptrdiff_t>(first));  // the set's own
  std::vector<FileAccess> access;
  std::vector<const FileAccess*> list;
  ListAccess(files, &access, &list);
  ProgressBegin(progress, total);
  ProgressLabel(LastComponent(targets.front()) + (targets.size() > 1 ? " ..." : ""));
  ToolProgress steps;
  RecoveryResult result = EncodeRecovery(setList, list, &steps.Progress);
  ProgressEnd();
  if (result.Outcome != RecoveryDone) return EncodeFailure(result, targets);
  for (size_t r = 0; r < targets.size(); r++) {
    if (!(*outputs)[first + r].Finish()) return EncodeFailure({RecoveryWriteFailed, -1, static_cast<int32_t>(r)}, targets);
  }
  return ExitComplete;
}

// The line for a set found whole: the recovery files' own state.
static void ReportWholeSet(const SetSurvey& survey) {
  int32_t rows = survey.Header.RowCount, bad = BadRowCount(survey);
  if (bad == 0) {
    CliPrint(CliOut, "Recovery:  %d recovery file%s, all good\n", rows, rows == 1 ? "" : "s");
  } else {
    CliPrint(CliOut, "Recovery:  %d of %d recovery files good; split the file again with --recovery to make "
             "the others\n", rows - bad, rows);
  }
}

int ReportRecoveryForVerify(const PieceSet& set, bool whole, bool quiet) {
  if (whole && quiet) return ExitComplete;
  RecoveryFileSet files;
  int code = OpenRecoveryFileSet(ContainerBasePath(set.ContainerPath), set.ContainerPath, set.Folder, &files);
  if (code != ExitComplete || files.RecoveryPaths.empty()) return ExitComplete;
  if (files.FileCount == 0) {
    CliPrint(CliOut, "Recovery:  not repairable: no valid recovery file among the %zu found\n",
             files.RecoveryPaths.size());
    return ExitComplete;
  }
  SetSurvey survey;
  bool otherSet;
  code = SurveyRecoveryFileSet(files, !quiet, &survey, &otherSet);
  if (code == ExitInterrupted) return code;
  if (otherSet) CliPrint(CliOut, "Recovery:  the recovery files found are of another set\n");
  if (code != ExitComplete) return ExitComplete;
  PrintBadFiles(CliOut, files, survey, "  ", true);  // the rest verify has named
  PrintBadRows(CliOut, files, survey, "  ");
  int32_t good = survey.Header.RowCount - BadRowCount(survey);
  if (survey.FilesToRewrite == 0) {
    ReportWholeSet(survey);
  } else if (survey.Repairable) {
    std::string taken;
    if (FindLostNameTaken(files, &taken) && !taken.empty()) {
      CliPrint(CliOut, "Recovery:  repairable with the %d recovery file%s once %s, which leads to no file, is "
               "removed\n", good, good == 1 ? "" : "s", Printable(taken).c_str());
    } else {
      CliPrint(CliOut, "Recovery:  repairable with the %d recovery file%s: tarnovell repair %s\n", good,
               good == 1 ? "" : "s", Printable(set.ContainerPath).c_str());
    }
  } else {
    PrintNotRepairable(CliOut, survey, "Recovery:  ");
  }
  return ExitComplete;
}

int ReportRecoveryForBadContainer(const std::string& containerPath, const std::string& piecesDir, bool quiet) {
  std::string base = ContainerBasePath(containerPath), folder, baseName;
  if (base.empty()) return -1;
  SplitBasePath(base, &folder, &baseName);
  RecoveryFileSet files;
  int code = OpenRecoveryFileSet(base, containerPath, piecesDir.empty() ? folder : piecesDir, &files);
  if (code != ExitComplete || files.FileCount == 0) return -1;
  SetSurvey survey;
  bool otherSet;
  code = SurveyRecoveryFileSet(files, !quiet, &survey, &otherSet);
  if (code == ExitInterrupted) return code;
  if (code != ExitComplete || survey.Files.empty() || !NeedsRewrite(survey.Files[0])) return -1;
  PrintBadFiles(CliOut, files, survey, "  ", false);
  if (survey.Repairable) {
    CliPrint(CliOut, "Recovery:  the recovery files hold a good copy of the container's header: tarnovell repair %s "
             "restores the set\n", Printable(containerPath).c_str());
  } else {
    PrintNotRepairable(CliOut, survey, "Recovery:  ");
  }
  return ExitMismatch;
}
