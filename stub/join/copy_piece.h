// Moves one piece's payload into the output, block by block, with progress after every block;
// every block written goes to the piece check too.
#pragma once

#include <stdint.h>

#include "stub/platform/win32.h"

enum { CopyBlockSize = 65536 };

// Append false creates or empties the output; true adds at its end. The verdict is left in
// JoinState.IoFailed.
void CopyPiece(const char* sourcePath, const char* targetPath, bool append, int64_t sourceOffset,
               HWND window);
