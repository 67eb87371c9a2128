// split --recovery: the recovery files of a set just written, made through the recovery module
// (ISA-L) and put in place with the set. Verify's lines about them are cli_recovery_verify.cpp,
// the repair cli_repair.cpp.
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
    CliPrint(
        CliErr,
        "tarnovell: the set read back differs from what was written; nothing was left behind\n");
    return ExitFileError;
  }
  std::string what = result.Row >= 0 ? Printable(targets[result.Row]) : "the recovery files";
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(),
           OsErrorText(error).c_str());
  return ExitFileError;
}

// The set's files as split wrote them: a nameless one read through its open file, one with a
// temporary name opened again (held by reopened). False (OsLastError) when one cannot be opened.
static bool WrittenFiles(const std::vector<PendingOutput>& outputs, OpenedFiles* reopened,
                         std::vector<OsFile>* files) {
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

int WriteRecoveryFiles(const std::vector<std::string>& targets, int64_t total, bool nameless,
                       bool progress, std::vector<PendingOutput>* outputs) {
  OpenedFiles reopened;
  std::vector<OsFile> setFiles;
  if (!WrittenFiles(*outputs, &reopened, &setFiles)) {
    CliPrint(
        CliErr,
        "tarnovell: file system error: cannot read the set back: %s; nothing was left behind\n",
        OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  size_t first = outputs->size();
  for (size_t r = 0; r < targets.size(); r++) {
    outputs->emplace_back();
    if (!outputs->back().Create(targets[r], ".tarnovell-split-", nameless))
      return EncodeFailure({RecoveryWriteFailed, -1, static_cast<int32_t>(r)}, targets);
  }
  std::vector<OsFile> files = FilesOf(*outputs);
  files.erase(files.begin(), files.begin() + static_cast<ptrdiff_t>(first));  // the set's own
  ModuleFiles set(setFiles), rows(files);
  ProgressBegin(progress, total, ProgressStep::SplitRecovery);
  ProgressLabel(LastComponent(targets.front()) + (targets.size() > 1 ? " ..." : ""));
  ToolProgress steps;
  RecoveryResult result = EncodeRecovery(set.List(), rows.List(), &steps);
  if (result.Outcome == RecoveryDone) ProgressComplete();
  ProgressEnd();
  if (result.Outcome != RecoveryDone) return EncodeFailure(result, targets);
  for (size_t r = 0; r < targets.size(); r++) {
    if (!(*outputs)[first + r].Finish())
      return EncodeFailure({RecoveryWriteFailed, -1, static_cast<int32_t>(r)}, targets);
  }
  return ExitComplete;
}
