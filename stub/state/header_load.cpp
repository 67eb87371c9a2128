#include "stub/state/header_load.h"

#include "stub/state/join_state.h"
#include "container/layout.h"
#include "base/byte_text.h"
#include "stub/state/program_texts.h"
#include "stub/fileio/large_file.h"
#include "container/digest_block.h"
#include "integrity/crc32c.h"
#include "stub/state/recovery_row.h"
#include "container/name_field.h"

// Working storage of the one call (static: the stub keeps big buffers off the stack).
static WCHAR OwnPath[PathTextSize];
static WCHAR UpperPath[PathTextSize];
static LargeFile OwnImage;
static HeaderRecord RecordBuffer;
static char RecordTexts[HeaderRecordCount][HeaderRecordSize];
static WCHAR ReportText[PathTextSize + 64];
static WCHAR WindowTitle[sizeof TitlePrefix + PathTextSize + 8];
static WCHAR FileName[NameWideSize];

// The own path leaves room for the longest suffix of a piece in place of its ".exe".
enum : DWORD { OwnPathLimit = PathTextSize - PieceSuffixSize };

// TotalSize in kilobytes, the nearest integer with an exact half going to the even neighbour.
// q is rounded down (also for negative sizes), so the remainder r is always 0..1023.
static int64_t KilobytesHalfEven(int64_t size) {
  int64_t q = size >> 10;
  int64_t r = size & 1023;
  if (r > 512 || (r == 512 && (q & 1) != 0)) q++;
  return q;
}

// The own path up to its last ".exe" in any case; the empty text when it has none.
static void DeriveBasePath() {
  size_t length = TextCopy(UpperPath, PathTextSize, OwnPath);
  CharUpperBuffW(UpperPath, static_cast<DWORD>(length));
  size_t cut = ContainerBaseLength(UpperPath, length);
  FillZero(JoinState.BasePath, sizeof JoinState.BasePath);
  CopyBytes(JoinState.BasePath, OwnPath, cut * sizeof(WCHAR));
}

// The own image cannot be read (or its path is longer than the program's room): the box names
// the path and what is wrong, and the program ends.
static void ReportUnreadableImage(HWND window, const char* problem) {
  TextCopy(ReportText, PathTextSize + 64, OwnPath);
  TextAppend(ReportText, PathTextSize + 64, ". ");
  TextAppend(ReportText, PathTextSize + 64, problem);
  ShowBox(window, ReportText, MB_OK | MB_ICONERROR);
  CloseLarge(OwnImage);  // the image was never readable: whatever this leaves pending is moot
  PostQuitMessage(0);
}

// The joined file's name: the header's name field where it checks (the exact name), else record
// 1 in the system's code page, as the platform's byte-text calls have always read it.
static void ReadFileName() {
  const uint8_t* utf8 = nullptr;
  int32_t length = 0;
  const uint8_t* header = JoinState.HeaderImage;
  if (JoinState.PieceCheck.Active && ReadNameField(header, &utf8, &length, FileName)) return;
  FillZero(FileName, sizeof FileName);
  MultiByteToWideChar(CP_ACP, 0, RecordTexts[RecordFileName], -1, FileName, NameWideSize);
}

// The container counts as a bad piece from the start, named first: its program or its header is
// damaged.
static void CountContainerBad() {
  PieceCheckRecord& check = JoinState.PieceCheck;
  check.BadFirst[0] = 0;
  check.BadLast[0] = 0;
  check.BadCount = 1;
}

// RowStart's copy of the container's header carries a valid block of one digest per piece, whose
// sizes and digests its entries give: its header length, else 0.
static int64_t CopyServes(int32_t) {
  DigestBlock& block = JoinState.PieceCheck.Block;
  bool serves = ReadDigestBlock(RowStart.ContainerHeader, &block) &&
                RowDescribesSet(RowStart.ContainerHeader, block);
  return serves ? static_cast<int64_t>(RowStart.HeaderLength) : 0;
}

// The header is damaged: the copy in the first recovery file beside the set that serves takes
// its place. False when none does.
static bool TakeHeaderCopy() {
  WCHAR path[RowPathSize];
  for (int32_t row = 0; row < RecoveryRowLimit; row++) {
    RecoveryRowPath(path, JoinState.BasePath, row);
    if (row == 0 && FileSizeByName(path) < 0) return false;  // no recovery files
    if (ReadRowHeader(path, row, CopyServes) == 0) continue;
    CopyBytes(JoinState.HeaderImage, RowStart.ContainerHeader, HeaderSize);
    return true;
  }
  return false;
}

// CRC-32C of the own image's stub (its bytes 0 to 28671), read a record at a time into the
// record buffer. A read that fails or comes short gives another CRC; its error is not kept.
static uint32_t OwnStubDigest() {
  SeekLarge(OwnImage, 0);
  uint32_t crc = 0;
  uint32_t actual = 0;
  for (int32_t at = 0; at < StubSize; at += HeaderRecordSize) {
    BlockReadLarge(OwnImage, &RecordBuffer, HeaderRecordSize, &actual);
    crc = Crc32cAdd(crc, &RecordBuffer, actual);
  }
  TakeIoResult();
  return crc;
}

void LoadHeader(HWND window) {
  FillZero(&RecordBuffer, sizeof RecordBuffer);
  FillZero(OwnPath, sizeof OwnPath);
  // A path that fills the room was cut: no file of the set could be named right.
  bool tooLong = GetModuleFileNameW(nullptr, OwnPath, OwnPathLimit) >= OwnPathLimit;
  TextCopy(JoinState.BasePath, PathTextSize, OwnPath);  // until the base is derived
  JoinState.PieceIndex = 0;
  JoinState.JoinedSize = 0;
  JoinState.OutputPos = 0;
  if (tooLong) {
    ReportUnreadableImage(window, PathTooLongText);
    return;
  }

  // A bare stub carries no header: nothing to join, end without a word.
  if (FileSizeByName(OwnPath) == static_cast<int64_t>(StubSize)) ExitProcess(0);

  AssignLargeFile(OwnImage, OwnPath);
  FileOpenMode = 0;
  ResetLarge(OwnImage, 1);
  SeekLarge(OwnImage, HeaderOffset);
  if (TakeIoResult() != 0) {
    ReportUnreadableImage(window, FileSystemErrorText);
    return;
  }

  // One buffer for all eight records: a short read leaves the previous record's bytes behind.
  uint32_t actual = 0;
  for (int record = 0; record < HeaderRecordCount; record++) {
    BlockReadLarge(OwnImage, &RecordBuffer, HeaderRecordSize, &actual);
    CopyBytes(JoinState.HeaderImage + record * HeaderRecordSize, &RecordBuffer, HeaderRecordSize);
  }
  // A damaged header: a recovery file's copy of it stands for it, or the container is bad.
  if (DigestBlockDamaged(JoinState.HeaderImage)) {
    DeriveBasePath();  // the recovery files lie at the base
    JoinState.HeaderFromCopy = TakeHeaderCopy();
    if (!JoinState.HeaderFromCopy) CountContainerBad();
  }
  // The pieces are checked during the join when the header carries a valid digest block; the
  // program is checked now when the block vouches for it too.
  PieceCheckRecord& check = JoinState.PieceCheck;
  check.Active = ReadDigestBlock(JoinState.HeaderImage, &check.Block);
  if (check.Block.HasStubDigest && OwnStubDigest() != check.Block.StubDigest) CountContainerBad();
  for (int record = 0; record < HeaderRecordCount; record++)
    HeaderRecordText(reinterpret_cast<HeaderRecord*>(JoinState.HeaderImage)[record],
                     RecordTexts[record]);
  // The header names the joined file, never a folder: what a container proposes and what the join
  // writes without asking are a file name in the current folder, whatever the header holds.
  ReadFileName();
  TextCopy(JoinState.OutputPath, PathTextSize, PlainFileName(FileName));
  CloseLarge(OwnImage);

  // A record that is not integer text ends the run here, through the failure report.
  JoinState.TotalSize = ParseHeaderInteger(RecordTexts[RecordTotalSize]);
  JoinState.TotalKb = KilobytesHalfEven(JoinState.TotalSize);
  JoinState.CreationTime.dwLowDateTime =
      static_cast<DWORD>(ParseHeaderInteger(RecordTexts[RecordCreationLow]));
  JoinState.CreationTime.dwHighDateTime =
      static_cast<DWORD>(ParseHeaderInteger(RecordTexts[RecordCreationHigh]));
  JoinState.LastAccessTime.dwLowDateTime =
      static_cast<DWORD>(ParseHeaderInteger(RecordTexts[RecordLastAccessLow]));
  JoinState.LastAccessTime.dwHighDateTime =
      static_cast<DWORD>(ParseHeaderInteger(RecordTexts[RecordLastAccessHigh]));
  JoinState.LastWriteTime.dwLowDateTime =
      static_cast<DWORD>(ParseHeaderInteger(RecordTexts[RecordLastWriteLow]));
  JoinState.LastWriteTime.dwHighDateTime =
      static_cast<DWORD>(ParseHeaderInteger(RecordTexts[RecordLastWriteHigh]));
  JoinState.Finished = false;
  JoinState.CloseOnPress = false;

  DeriveBasePath();

  // The title names the container with its extension written ".EXE", whatever its case.
  const size_t titleSize = sizeof WindowTitle / sizeof WindowTitle[0];
  TextCopy(WindowTitle, titleSize, TitlePrefix);
  TextAppend(WindowTitle, titleSize, LastPathComponent(JoinState.BasePath));
  TextAppend(WindowTitle, titleSize, ".EXE");
  SetTextBuffer(WindowTitle);
  SetWindowTextW(window, JoinState.TextBuffer);
}
