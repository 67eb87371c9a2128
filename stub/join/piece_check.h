// Every piece checked against the container's digest block (read by header loading into
// JoinState.PieceCheck) while it is copied: each block the copier moves is added to the CRC-32C
// of the piece's run, each piece is judged at its end, and once the join is over a message box
// names the bad ones. A container without a valid block is not checked: each call below then
// does nothing.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "stub/platform/win32.h"

enum { BadPiecesTextSize = 1024 };

// Piece n is about to be copied: the CRC starts again from 0 when n begins a run.
void BeginPieceCheck(int32_t n);
// count bytes of the current piece have reached the output.
void AddToPieceCheck(const void* bytes, uint32_t count);
// Piece n has been copied without a file error: judged, and remembered when bad.
void EndPieceCheck(int32_t n);
// Piece n, just copied, has the size and digest the block gives it (true without a block).
bool CopiedPieceIsGood(int32_t n);
// Piece n was rebuilt: remembered for the box that names the rebuilt pieces.
void NoteRebuiltPiece(int32_t n);
// Every piece of the block's set has been copied: the join asks for no further piece, even when
// a short piece left the payloads short of the total.
bool AllPiecesChecked();
// The box's text: the first bad pieces by the names the window's titles give them (the
// container as base + ".EXE", the base as it is; further pieces in upper case, BASE.C002; a run
// as FIRST–LAST), then how many more.
void FormatBadPieces(WCHAR* text, size_t capacity);
// The warning box naming the bad pieces; nothing when every piece was good.
void ReportBadPieces(HWND window);
// The same for the pieces rebuilt from the recovery files, as the bad ones are named.
void FormatRebuiltPieces(WCHAR* text, size_t capacity);
// The box naming the rebuilt pieces; nothing when none was.
void ReportRebuiltPieces(HWND window);
