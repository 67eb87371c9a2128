#include "stub/join/piece_check.h"

#include "base/byte_text.h"
#include "stub/state/join_state.h"
#include "container/layout.h"
#include "stub/state/program_texts.h"
#include "integrity/crc32c.h"

static const char BadPiecesIntro[] = "Повреждены части набора:\r\n";
static const char RebuiltPiecesIntro[] = "Восстановлены части набора:\r\n";
static const char MorePiecesText[] = "\r\nи ещё ";
static const char RunDash[] = "–";

enum : UINT {
  WarningStyle = MB_OK | MB_ICONWARNING,
  RebuiltStyle = MB_OK | MB_ICONINFORMATION,  // the set is whole again: news, not a warning
};

static WCHAR BadPiecesText[BadPiecesTextSize];

void BeginPieceCheck(int32_t n) {
  PieceCheckRecord& check = JoinState.PieceCheck;
  if (StartsRun(check.Block, n)) {
    check.RunCrc = 0;
    check.RunSizesRight = true;
  }
  check.Payload = 0;
}

void AddToPieceCheck(const void* bytes, uint32_t count) {
  PieceCheckRecord& check = JoinState.PieceCheck;
  if (!check.Active) return;
  check.RunCrc = Crc32cAdd(check.RunCrc, bytes, count);
  check.Payload += count;
}

void EndPieceCheck(int32_t n) {
  PieceCheckRecord& check = JoinState.PieceCheck;
  if (!check.Active) return;
  PieceVerdict verdict = JudgePiece(check.Block, n, check.Payload, check.RunCrc);
  if (verdict == PieceShort || verdict == PieceLong) check.RunSizesRight = false;
  // A run with a piece of the wrong size cannot match its digest: that piece is named already.
  if (verdict == PieceGood || (verdict == RunDamaged && !check.RunSizesRight)) return;
  int32_t first = n;
  if (verdict == RunDamaged) first = RunFirstPiece(check.Block, DigestIndexOf(check.Block, n));
  // The container counted bad already (its program or its header damaged): named once.
  if (first == 0 && check.BadCount != 0) {
    check.BadLast[0] = n;
    return;
  }
  if (check.BadCount < NamedBadPieces) {
    check.BadFirst[check.BadCount] = first;
    check.BadLast[check.BadCount] = n;
  }
  check.BadCount++;
}

bool CopiedPieceIsGood(int32_t n) {
  const PieceCheckRecord& check = JoinState.PieceCheck;
  return !check.Active || JudgePiece(check.Block, n, check.Payload, check.RunCrc) == PieceGood;
}

void NoteRebuiltPiece(int32_t n) {
  RebuildRecord& rebuild = JoinState.Rebuild;
  // The container is named once, its header and its payload rebuilt alike.
  if (rebuild.RebuiltCount != 0 && rebuild.Rebuilt[0] == n) return;
  if (rebuild.RebuiltCount < NamedBadPieces) rebuild.Rebuilt[rebuild.RebuiltCount] = n;
  rebuild.RebuiltCount++;
}

bool AllPiecesChecked() {
  const PieceCheckRecord& check = JoinState.PieceCheck;
  return check.Active &&
         static_cast<uint32_t>(JoinState.PieceIndex) >= check.Block.Image.PieceCount;
}

// Piece n as its title names it: the container's own name with ".EXE", a further piece's name
// in upper case.
static void AppendPieceName(WCHAR* text, size_t capacity, int32_t n) {
  WCHAR name[PathTextSize + PieceSuffixSize];
  const WCHAR* base = LastPathComponent(JoinState.BasePath);
  PiecePathFor(name, PathTextSize + PieceSuffixSize, base, n);
  WCHAR* upper = n == 0 ? name + TextLength(base) : name;
  CharUpperBuffW(upper, static_cast<DWORD>(TextLength(upper)));
  TextAppend(text, capacity, name);
}

// intro, then the first NamedBadPieces of count pieces (or runs, first[i] to last[i]) by name,
// then how many more.
static void FormatPieceList(WCHAR* text, size_t capacity, const char* intro, const int32_t* first,
                            const int32_t* last, int32_t count) {
  TextCopy(text, capacity, intro);
  for (int32_t i = 0; i < count && i < NamedBadPieces; i++) {
    if (i > 0) TextAppend(text, capacity, ", ");
    AppendPieceName(text, capacity, first[i]);
    if (last[i] == first[i]) continue;
    TextAppend(text, capacity, RunDash);
    AppendPieceName(text, capacity, last[i]);
  }
  if (count <= NamedBadPieces) return;
  char more[24];
  FormatInt64(more, sizeof more, count - NamedBadPieces);
  TextAppend(text, capacity, MorePiecesText);
  TextAppend(text, capacity, more);
}

void FormatBadPieces(WCHAR* text, size_t capacity) {
  const PieceCheckRecord& check = JoinState.PieceCheck;
  FormatPieceList(text, capacity, BadPiecesIntro, check.BadFirst, check.BadLast, check.BadCount);
}

void FormatRebuiltPieces(WCHAR* text, size_t capacity) {
  const RebuildRecord& rebuild = JoinState.Rebuild;
  FormatPieceList(text, capacity, RebuiltPiecesIntro, rebuild.Rebuilt, rebuild.Rebuilt,
                  rebuild.RebuiltCount);
}

void ReportBadPieces(HWND window) {
  if (JoinState.PieceCheck.BadCount == 0) return;
  FormatBadPieces(BadPiecesText, BadPiecesTextSize);
  ShowBox(window, BadPiecesText, WarningStyle);
}

void ReportRebuiltPieces(HWND window) {
  if (JoinState.Rebuild.RebuiltCount == 0) return;
  FormatRebuiltPieces(BadPiecesText, BadPiecesTextSize);
  ShowBox(window, BadPiecesText, RebuiltStyle);
}
