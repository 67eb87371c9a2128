// The start command: asks for the output, joins every piece, applies the times, reports.
#pragma once

#include "stub/join/copy_piece.h"
#include "stub/platform/win32.h"

// How the join tells the window that started it of its progress: plain functions, given by the
// window (the join knows no window of its own).
struct JoinCallbacks {
  BlockCopiedCallback BlockCopied;  // after every block of every piece (see CopyPiece)
  void (*PieceCopied)();            // after every piece counted: the window takes its messages
};

void RunJoin(HWND window, const JoinCallbacks& callbacks);
