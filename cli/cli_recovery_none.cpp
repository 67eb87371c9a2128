// Recovery files where the build has no ISA-L (Windows): split --recovery and repair are refused
// as a usage the build cannot serve, before anything is read or written; verify says nothing more.
#include "cli/cli.h"
#include "cli/cli_recovery.h"

bool RecoveryFilesAvailable() {
  CliPrint(CliErr,
           "tarnovell: recovery files are not available in this build (it has no ISA-L); "
           "use the Linux tool for split --recovery and repair\n");
  return false;
}

int WriteRecoveryFiles(const std::vector<std::string>&, int64_t, bool, bool,
                       std::vector<PendingOutput>*) {
  return ExitUsage;  // not reached: split refuses --recovery before it writes
}

int WriteSetWithRecovery(const OnePassSplit&, const std::vector<std::string>&, bool,
                         std::vector<PendingOutput>*) {
  return ExitUsage;  // not reached, as above
}

bool HasRecoveryFiles(const PieceSet&) { return false; }

int ReportRecoveryForVerify(const PieceSet&, bool, bool, JsonWriter*) { return ExitComplete; }

int ReportRecoveryForBadContainer(const std::string&, const std::string&, bool, JsonWriter*) {
  return -1;
}

int RunRepair(const RepairOptions&) { return RecoveryFilesAvailable() ? ExitComplete : ExitUsage; }
