// Moves one piece's payload into the output, block by block, telling the window after every
// block; every block written goes to the piece check too.
#pragma once

#include <stdint.h>

#include "stub/platform/win32.h"

enum { CopyBlockSize = 65536 };

// Called after every block (JoinState.OutputPos is then the output's new end), and once more
// after the last, empty pass: the window draws its bar and takes its waiting messages. A plain
// function given by the window, which the join knows only through it.
typedef void (*BlockCopiedCallback)(HWND window);

// Append false creates or empties the output; true adds at its end. The verdict is left in
// JoinState.IoFailed.
void CopyPiece(const WCHAR* sourcePath, const WCHAR* targetPath, bool append, int64_t sourceOffset,
               HWND window, BlockCopiedCallback blockCopied);
