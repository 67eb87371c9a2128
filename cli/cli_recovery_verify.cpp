// verify: the lines about a set's recovery files, read through the recovery module (ISA-L):
// whether they can repair the set, and for a container verify could not judge, whether they
// restore it.
#include "cli/cli.h"
#include "cli/cli_paths.h"
#include "cli/cli_recovery.h"
#include "cli/cli_recovery_set.h"

// The line for a set found whole: the recovery files' own state.
static void ReportWholeSet(const SetSurvey& survey) {
  int32_t rows = survey.Header.RowCount, bad = BadRowCount(survey);
  if (bad == 0) {
    CliPrint(CliOut, "Recovery:  %d recovery file%s, all good\n", rows, rows == 1 ? "" : "s");
  } else {
    CliPrint(
        CliOut,
        "Recovery:  %d of %d recovery files good; split the file again with --recovery to make "
        "the others\n",
        rows - bad, rows);
  }
}

bool HasRecoveryFiles(const PieceSet& set) {
  std::string base = ContainerBasePath(set.ContainerPath), folder, baseName;
  if (base.empty()) return false;
  SplitBasePath(base, &folder, &baseName);
  for (int32_t r = 0; r < MaxRecoveryRows; r++)
    if (!FindFileIgnoringCase(folder, baseName + RecoverySuffix(r)).empty()) return true;
  return false;
}

int ReportRecoveryForVerify(const PieceSet& set, bool whole, bool quiet) {
  if (whole && quiet) return ExitComplete;
  RecoveryFileSet files;
  int code = OpenRecoveryFileSet(ContainerBasePath(set.ContainerPath), set.ContainerPath,
                                 set.Folder, &files);
  if (code != ExitComplete || files.RecoveryPaths.empty()) return ExitComplete;
  if (files.FileCount == 0) {
    CliPrint(CliOut, "Recovery:  not repairable: no valid recovery file among the %zu found\n",
             files.RecoveryPaths.size());
    return ExitComplete;
  }
  SetSurvey survey;
  bool otherSet;
  code = SurveyRecoveryFileSet(files, !quiet, ProgressStep::VerifyRecovery, &survey, &otherSet);
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
      CliPrint(
          CliOut,
          "Recovery:  repairable with the %d recovery file%s once %s, which leads to no file, is "
          "removed\n",
          good, good == 1 ? "" : "s", Printable(taken).c_str());
    } else {
      CliPrint(CliOut, "Recovery:  repairable with the %d recovery file%s: tarnovell repair %s\n",
               good, good == 1 ? "" : "s", Printable(set.ContainerPath).c_str());
    }
  } else {
    PrintNotRepairable(CliOut, survey, "Recovery:  ");
  }
  return ExitComplete;
}

int ReportRecoveryForBadContainer(const std::string& containerPath, const std::string& piecesDir,
                                  bool quiet) {
  std::string base = ContainerBasePath(containerPath), folder, baseName;
  if (base.empty()) return -1;
  SplitBasePath(base, &folder, &baseName);
  RecoveryFileSet files;
  int code =
      OpenRecoveryFileSet(base, containerPath, piecesDir.empty() ? folder : piecesDir, &files);
  if (code != ExitComplete || files.FileCount == 0) return -1;
  SetSurvey survey;
  bool otherSet;
  code = SurveyRecoveryFileSet(files, !quiet, ProgressStep::VerifyRecovery, &survey, &otherSet);
  if (code == ExitInterrupted) return code;
  if (code != ExitComplete || survey.Files.empty() || !NeedsRewrite(survey.Files[0])) return -1;
  PrintBadFiles(CliOut, files, survey, "  ", false);
  if (survey.Repairable) {
    CliPrint(CliOut,
             "Recovery:  the recovery files hold a good copy of the container's header: tarnovell "
             "repair %s "
             "restores the set\n",
             Printable(containerPath).c_str());
  } else {
    PrintNotRepairable(CliOut, survey, "Recovery:  ");
  }
  return ExitMismatch;
}
