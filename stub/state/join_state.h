// The one global record of the join: window resources, paths, sizes, counters, flags, the text
// buffer handed to the platform for titles and captions, the three file times, and the check of
// the pieces against the container's digest block.
#pragma once

#include <stdint.h>

#include "base/byte_text.h"
#include "container/digest_block.h"
#include "stub/fileio/large_file.h"
#include "stub/platform/win32.h"

enum : int32_t { StartButtonId = 1025 };

enum : uint8_t {
  OutcomeComplete = 0,   // the payloads add up to the total size
  OutcomeMismatch = 1,   // no file error, but the sizes differ or a piece is bad
  OutcomeFileError = 2,  // sizes differ after a failed copy
};

enum {
  TextBufferSize = 301,  // at most 300 characters and the terminating zero
  // Room for a path and its terminating zero: what is left of a file name's room once a piece's
  // suffix is added to a base path.
  PathTextSize = LargeFileNameSize - PieceSuffixSize,
  NameTextSize = 272,  // room for a file name (Windows allows 255 characters) and a suffix
};

enum { NamedBadPieces = 3 };  // bad pieces (or runs) that the report names; the rest are counted

// The pieces checked against the digest block while they are copied (Active false, and nothing
// checked, when the header carries no valid block).
struct PieceCheckRecord {
  DigestBlock Block;
  bool Active;
  uint32_t RunCrc;     // CRC-32C of the current run's payloads so far
  bool RunSizesRight;  // every piece of the current run so far had the size the block gives it
  int64_t Payload;     // payload bytes of the current piece so far
  int32_t BadCount;    // bad pieces and runs found
  // The first NamedBadPieces of them: a piece (first equals last) or a run of pieces.
  int32_t BadFirst[NamedBadPieces];
  int32_t BadLast[NamedBadPieces];
};

enum : int32_t {
  RecoveryRowLimit = 254,  // recovery files of a set: a group keeps at least one file of its own
  RecoveryCodeWord = 255,  // files and recovery rows of one group, over GF(2^8)
};

// The recovery files beside the set (BASE.r01, BASE.r02, ...) that describe it exactly, found at
// the start of a join, and the pieces rebuilt from them (RowCount 0: none serves).
struct RebuildRecord {
  int32_t RowCount;                     // N, as every file that serves says it
  int32_t GroupCount;                   // C
  int64_t RowHeader[RecoveryRowLimit];  // per row: its header's length, 0 when it does not serve
  // Per piece: 0 while its own file may serve as a source, non-zero once it cannot (missing, of
  // the wrong size, damaged, or rebuilt).
  uint8_t Lost[DigestCapacity];
  WCHAR Base[PathTextSize];  // the base path the files were found at
  int32_t RebuiltCount;
  int32_t Rebuilt[NamedBadPieces];  // the first pieces rebuilt, for the box that names them
};

struct JoinStateRecord {
  HWND StartButton;
  HFONT UiFont;
  HCURSOR HandCursor;
  HCURSOR ArrowCursor;
  WCHAR BasePath[PathTextSize];
  WCHAR OutputPath[PathTextSize];
  uint8_t Outcome;
  bool Finished;
  int32_t PieceIndex;
  int64_t TotalSize;
  int64_t JoinedSize;
  int64_t TotalKb;
  int64_t OutputPos;
  bool IoFailed;
  WCHAR PiecePath[PathTextSize];
  bool PieceRelocated;
  bool CloseOnPress;
  WCHAR TextBuffer[TextBufferSize];
  WCHAR TitleText[PathTextSize + 16];
  FILETIME CreationTime;
  FILETIME LastAccessTime;
  FILETIME LastWriteTime;
  // A quit request that the message pump took while a join ran (the window was closed): the
  // join stops after the current block and the process ends.
  bool QuitRequested;
  PieceCheckRecord PieceCheck;
  uint8_t HeaderImage[HeaderSize];  // the container's header as read, filler and all
  bool HeaderFromCopy;  // the container's header was damaged: a recovery file's copy stands for it
  RebuildRecord Rebuild;
};

extern JoinStateRecord JoinState;

// Sets all of TextBuffer to zero and copies text in (a wide text, or one of the program's own in
// Windows-1251), cut to 300 characters.
template <typename C>
void SetTextBuffer(const C* text) {
  FillZero(JoinState.TextBuffer, sizeof JoinState.TextBuffer);
  TextCopy(JoinState.TextBuffer, TextBufferSize, text);
}

// A message box of the program (its caption "Tarnovell!"): text is wide, or one of the program's
// own texts in Windows-1251. Returns the button pressed.
int ShowBox(HWND owner, const WCHAR* text, UINT style);
int ShowBox(HWND owner, const char* text, UINT style);
