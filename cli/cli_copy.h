// Copying a run of one file into another, holes kept.
#pragma once

#include <stdint.h>

#include "cli/cli_os.h"

// Copies count bytes of in from inOffset to out at outOffset. Holes of the source are skipped
// (left as holes in out, which must be zero there: a new file being filled in order); the caller
// sets the final length. progressBase + bytes done so far go to ProgressUpdate. Returns the
// bytes copied (less than count when the source ends early); -1 on an error (OsLastError), or
// when CliInterrupted is set.
int64_t CopyFileBytes(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                      int64_t progressBase);

