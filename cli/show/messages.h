// What the tool tells: its exit codes, the two streams the commands write to, and the messages
// every command words alike. It reaches the system through os/os.h alone and knows nothing of
// the commands, which all use it.
//
// cli/show/ holds what the user sees: these messages, the progress line (progress.h), the JSON
// writer (json.h), what messages suggest (hints.h) and the texts of names, sizes and dates
// (text.h). Of the tool it may include cli/os alone.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>

// Exit codes. 0 to 2 are the three outcomes of a join; the others are distinct failures before
// or around it. split uses the same table (0 done, 2 file-system error, 5 refused, 64 usage);
// verify too, with 6 for a set it cannot check; repair with 7 for a set it cannot mend and 8 for
// recovery files it could not make again.
enum CliExitCode : int {
  ExitComplete = 0,       // the payloads add up to the total size (split: the set is written;
                          // verify: every piece has its size and digest)
  ExitMismatch = 1,       // the joined file is possibly damaged: more payload than the total, or a
                          // piece that is short, long or damaged by the set's digests
  ExitFileError = 2,      // a file could not be read or written
  ExitMissingPiece = 3,   // a piece was not found; nothing was written
  ExitBadContainer = 4,   // not a valid set: too short, a header number is not valid, or sizes
                          // that cannot be added
  ExitRefused = 5,        // would overwrite a file, or a name cannot be used
  ExitUnchecked = 6,      // verify: a set without digests, whose sizes add up
  ExitNotRepairable = 7,  // repair: more bad files than good recovery files (in a group), or
                          // none of them valid; nothing was changed
  ExitRowsNotMade = 8,    // repair: the set is whole (repaired, or found so), but a missing or
                          // damaged recovery file could not be made again
  ExitUsage = 64,         // bad command line
  ExitInterrupted =
      130,  // stopped by a signal, Ctrl+C or a closed console; nothing was left behind
};

// Where the commands write: the result lines (CliOut) and errors, warnings, progress (CliErr).
extern FILE* CliOut;
extern FILE* CliErr;
// What split - reads (standard input); tests point it, like the two above, at files of their own.
extern FILE* CliIn;
// printf to one of them, the text (UTF-8) written as the system shows it (OsWriteText).
void CliPrint(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
// --json: the report is one JSON object, so the text CliPrint would write to CliOut is dropped
// (the object itself goes out by OsWriteText). Errors still go to CliErr.
void MuteTextReport(bool muted);
// What a command has told on CliErr through CliPrint since BeginTelling, for a JSON object's
// "message": every line, without the "tarnovell: " in front.
void BeginTelling();
std::string ToldErrors();
// A reason finer than the exit code, set where a failure is found ("exists", "no_room",
// "not_writable"): the JSON error object's "reason". "" when none was set since BeginTelling.
void TellReason(const char* reason);
const char* ToldReason();
// Bad files are named one by one up to this many in a row; a longer row is told in one line, so
// that a report follows the files there are, not the count a forged header claims.
constexpr int32_t NamedAloneInARow = 10;
// Tells on CliErr that the run was interrupted and what it left ("nothing was changed").
// Returns ExitInterrupted.
int ReportInterrupted(const char* left);
// Tells on CliErr why the command refuses ("tarnovell: " + message). Returns ExitRefused.
int Refuse(const std::string& message);
// The report on CliOut, written out once at the end of a command that ended with code: one that
// was lost (a full disk, a closed pipe) is a file-system error whatever the command found, as an
// interruption stays one. Returns the exit code.
int FinishReport(int code);
