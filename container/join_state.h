// The one global record of the join: window resources, paths, sizes, counters, flags, the text
// buffer handed to the platform for titles and captions, and the three file times.
#pragma once

#include <stdint.h>

#include "platform/win32.h"

enum : int32_t { StartButtonId = 1025 };

enum : uint8_t {
  OutcomeComplete = 0,   // the payloads add up to the total size
  OutcomeMismatch = 1,   // sizes differ, no file error: more payload than the total
  OutcomeFileError = 2,  // sizes differ after a failed copy
};

enum {
  TextBufferSize = 301,  // at most 300 text bytes and the terminating zero
  PathTextSize = 300,    // room for a path text and its terminating zero
};

struct JoinStateRecord {
  HWND StartButton;
  HFONT UiFont;
  HCURSOR HandCursor;
  HCURSOR ArrowCursor;
  char BasePath[PathTextSize];
  char OutputPath[PathTextSize];
  uint8_t Outcome;
  bool Finished;
  int32_t PieceIndex;
  int64_t TotalSize;
  int64_t JoinedSize;
  int64_t TotalKb;
  int64_t OutputPos;
  bool IoFailed;
  char PiecePath[PathTextSize];
  bool PieceRelocated;
  bool CloseOnPress;
  char TextBuffer[TextBufferSize];
  char TitleText[PathTextSize + 16];
  FILETIME CreationTime;
  FILETIME LastAccessTime;
  FILETIME LastWriteTime;
  // A quit request that the message pump took while a join ran (the window was closed): the
  // join stops after the current block and the process ends.
  bool QuitRequested;
};

extern JoinStateRecord JoinState;

// Sets all of TextBuffer to zero and copies text in, cut to 300 bytes.
void SetTextBuffer(const char* text);
