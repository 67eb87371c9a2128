// Recovery files on the tool's side: split --recovery, verify's line about them, and repair
// (declared in cli.h). The Linux build makes and uses them through the recovery module
// (cli_recovery_split.cpp, cli_recovery_verify.cpp, cli_repair.cpp); the Windows build has no
// ISA-L and says they are not available (cli_recovery_none.cpp).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "cli/cli_json.h"
#include "cli/cli_output.h"
#include "cli/cli_pieces.h"

// True where this build makes and uses recovery files; false after telling CliErr it does not.
bool RecoveryFilesAvailable();

// split: writes the recovery files of a set whose files are written but not yet in place
// (*outputs, the container first, each read through its open file where it has no name, else
// opened again at its temporary name; total: their payloads together, for the progress bar)
// into new outputs for targets (BASE.r01, ...), nameless or not, appended to *outputs to be put
// in place with the set. ExitComplete, or an exit code after telling CliErr.
int WriteRecoveryFiles(const std::vector<std::string>& targets, int64_t total, bool nameless,
                       bool progress, std::vector<PendingOutput>* outputs);

// verify: whether recovery files of the set lie beside its container (they are read after the
// pieces: the progress line counts them as a step).
bool HasRecoveryFiles(const PieceSet& set);

// verify: after the pieces were judged (whole: nothing was found wrong), one line on CliOut when
// the set has recovery files: whether they can repair it (quiet and whole: nothing, nothing
// read). With json, the facts go into it instead, as a member "recovery" of the object being
// written (read whether quiet or not). ExitComplete, or ExitInterrupted after telling CliErr.
int ReportRecoveryForVerify(const PieceSet& set, bool whole, bool quiet, JsonWriter* json);

// verify of a container it could not judge (containerCode: ExitBadContainer, not a container; or
// ExitUnchecked, a header whose digest block does not check): when recovery files beside it
// describe a set in which the container is bad, names it and says whether repair can restore
// it, then returns ExitMismatch (the set is damaged, not another splitter's). Else -1, having
// printed nothing; or ExitInterrupted after telling CliErr. With json, the facts go into it as
// "recovery" instead of the lines.
int ReportRecoveryForBadContainer(const std::string& containerPath, const std::string& piecesDir,
                                  bool quiet, JsonWriter* json);
