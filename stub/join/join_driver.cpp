#include "stub/join/join_driver.h"

#include "stub/state/join_state.h"
#include "container/layout.h"
#include "base/byte_text.h"
#include "stub/state/program_texts.h"
#include "stub/fileio/large_file.h"
#include "stub/join/copy_piece.h"
#include "stub/join/piece_check.h"
#include "stub/join/piece_rebuild.h"

// The dialog record in the size that includes the trailing reserved fields and FlagsEx: 88 bytes
// in the 32-bit stub that containers carry (and in the native build, which stands in for it),
// 152 in the 64-bit build of the Windows tests.
#ifdef _WIN64
enum : DWORD { DialogRecordSize = 152 };
#else
enum : DWORD { DialogRecordSize = 88 };
#endif
#ifdef _WIN32
static_assert(sizeof(OPENFILENAMEW) == DialogRecordSize, "OPENFILENAMEW with its trailing fields");
#endif

enum : DWORD {
  SaveDialogFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,  // 0x80006
  OpenDialogFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,    // 0x81004
  ConfirmStyle = MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2,          // 0x123
  RefusalStyle = MB_OK | MB_ICONERROR,                                      // 0x10
  // A choice leaves room for any piece's suffix after the base path it may move the set to.
  DialogNameLimit = PathTextSize - PieceSuffixSize,
};

static const char DialogFilter[] = "Все файлы (*.*)\0*.*\0";  // the literal adds the last zero
static const char ConfirmText[] = "Вы уверены ?\r\nТекущий процесс будет прерван.";
static const char ExitLabel[] = "Выход";
static const char OutputInSetText[] = "Нельзя сохранить в файл, который является частью набора!";
static const char PieceIsOutputText[] = "Нельзя присоединить получаемый файл к самому себе!";

// The file-name buffer of the Save and Open dialogs, and their filter in its wide form.
static WCHAR NameBuffer[PathTextSize];
static WCHAR DialogFilterText[sizeof DialogFilter];

// How one step of the join ended.
enum StepResult {
  StepCopied,     // the piece was copied: account for it
  StepFailed,     // the copy failed; the output is deleted: end the join
  StepCancelled,  // the Save dialog was cancelled: nothing has changed
  StepRetry,      // run the loop again at the same piece (it was located, or is looked for again)
  StepAbandoned,  // the join was abandoned and the quit request posted
};

static void DeleteOutput() {
  LargeFile output;
  AssignLargeFile(output, JoinState.OutputPath);
  EraseLarge(output);  // an error of the deletion stays pending; nobody looks at it
}

// The window is gone or the user gave up: no partial output is left behind.
static StepResult AbandonJoin() {
  DeleteOutput();
  PostQuitMessage(0);
  return StepAbandoned;
}

// Identity of an existing file: volume and file index, whatever the spelling of its path.
struct FileIdentity {
  DWORD Volume;
  DWORD IndexHigh;
  DWORD IndexLow;
};

static bool IdentityOf(const WCHAR* path, FileIdentity* identity) {
  HANDLE file = CreateFileW(FileCallName(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!known) return false;
  identity->Volume = info.dwVolumeSerialNumber;
  identity->IndexHigh = info.nFileIndexHigh;
  identity->IndexLow = info.nFileIndexLow;
  return true;
}

static bool SameIdentity(const FileIdentity& a, const FileIdentity& b) {
  return a.Volume == b.Volume && a.IndexHigh == b.IndexHigh && a.IndexLow == b.IndexLow;
}

// True when both paths name one existing file.
static bool IsSameFile(const WCHAR* a, const WCHAR* b) {
  FileIdentity first;
  FileIdentity second;
  return IdentityOf(a, &first) && IdentityOf(b, &second) && SameIdentity(first, second);
}

// Upper-cased last path component of path, in the platform's upper-casing.
static void UpperLastComponent(WCHAR* target, size_t capacity, const WCHAR* path) {
  size_t length = TextCopy(target, capacity, LastPathComponent(path));
  CharUpperBuffW(target, static_cast<DWORD>(length));
}

// Would writing to the file named in NameBuffer destroy a file of the set? Checked against the
// container, every piece that exists beside it, and the piece that the chosen name itself
// names (pieces after a missing one are not found by counting).
static bool ChosenOutputIsInSet() {
  FileIdentity chosen;
  if (!IdentityOf(NameBuffer, &chosen)) return false;  // a new file is nobody's piece yet
  WCHAR path[PathTextSize];
  FileIdentity piece;
  for (int32_t n = 0;; n++) {
    PiecePathFor(path, PathTextSize, JoinState.BasePath, n);
    if (n > 0 && FileSizeByName(path) == -1) break;
    if (IdentityOf(path, &piece) && SameIdentity(chosen, piece)) return true;
  }
  // BASE.cNNN under any spelling of the base name and the ending.
  WCHAR name[NameTextSize];
  WCHAR base[NameTextSize + 4];
  UpperLastComponent(name, NameTextSize, NameBuffer);
  UpperLastComponent(base, NameTextSize, JoinState.BasePath);
  TextAppend(base, NameTextSize + 4, ".C");
  const WCHAR* digits = name;
  for (const WCHAR* b = base; *b != 0; b++, digits++)
    if (*digits != *b) return false;
  int64_t number = 0;
  if (*digits == 0) return false;
  for (const WCHAR* d = digits; *d != 0; d++) {
    if (*d < '0' || *d > '9' || number > 100000000) return false;
    number = number * 10 + (*d - '0');
  }
  if (number < 1) return false;
  PiecePathFor(path, PathTextSize, JoinState.BasePath, static_cast<int32_t>(number));
  return IdentityOf(path, &piece) && SameIdentity(chosen, piece);
}

// NameBuffer := zeros, then path; the dialog record around it.
static void SetUpDialog(OPENFILENAMEW& dialog, HWND window, const WCHAR* path, DWORD flags) {
  FillZero(NameBuffer, sizeof NameBuffer);
  TextCopy(NameBuffer, DialogNameLimit, path);
  for (size_t i = 0; i < sizeof DialogFilter; i++)
    DialogFilterText[i] = WideOf1251(static_cast<unsigned char>(DialogFilter[i]));
  FillZero(&dialog, sizeof dialog);
  dialog.lStructSize = DialogRecordSize;
  dialog.hwndOwner = window;
  dialog.lpstrFilter = DialogFilterText;
  dialog.lpstrFile = NameBuffer;
  dialog.nMaxFile = DialogNameLimit;
  dialog.Flags = flags;
}

// A dialog that gave no choice: a choice too long for its buffer is told, and the dialog is
// shown again (true); a cancel is a cancel (false).
static bool ChoiceTooLong(HWND window) {
  if (CommDlgExtendedError() != FNERR_BUFFERTOOSMALL) return false;
  ShowBox(window, PathTooLongText, RefusalStyle);
  return true;
}

// The Save dialog, asked again for as long as the choice is a file of the set. False when it
// is cancelled; true with the choice in NameBuffer.
static bool ChooseOutputFile(HWND window) {
  for (;;) {
    OPENFILENAMEW dialog;
    SetUpDialog(dialog, window, JoinState.OutputPath, SaveDialogFlags);
    if (GetSaveFileNameW(&dialog) == 0) {
      if (ChoiceTooLong(window)) continue;
      return false;
    }
    if (!ChosenOutputIsInSet()) return true;
    ShowBox(window, OutputInSetText, RefusalStyle);
  }
}

// Piece n is not at PiecePath (or PiecePath is the output itself): the Open dialog, until the
// user picks a file of the expected name or abandons the join.
static StepResult LocatePiece(HWND window) {
  WCHAR expected[NameTextSize];
  WCHAR chosen[NameTextSize];
  for (;;) {
    OPENFILENAMEW dialog;
    SetUpDialog(dialog, window, JoinState.PiecePath, OpenDialogFlags);
    if (GetOpenFileNameW(&dialog) == 0) {
      if (ChoiceTooLong(window)) continue;
      if (ShowBox(window, ConfirmText, ConfirmStyle) == IDYES) return AbandonJoin();
      JoinState.PieceRelocated = false;
      return StepRetry;
    }
    UpperLastComponent(expected, NameTextSize, JoinState.PiecePath);
    UpperLastComponent(chosen, NameTextSize, NameBuffer);
    if (!TextEqual(expected, chosen)) continue;
    if (IsSameFile(NameBuffer, JoinState.OutputPath)) {
      ShowBox(window, PieceIsOutputText, RefusalStyle);
      continue;
    }
    TextCopy(JoinState.PiecePath, PathTextSize, NameBuffer);
    JoinState.PieceRelocated = true;
    return StepRetry;
  }
}

// How a copy or a rebuild ended: a closed window abandons the join, a file error deletes the
// output; otherwise the piece is in.
static StepResult TransferVerdict() {
  if (JoinState.QuitRequested) return AbandonJoin();
  if (!JoinState.IoFailed) return StepCopied;
  DeleteOutput();
  return StepFailed;
}

// Piece n rebuilt from the recovery files into the output from byte at. StepRetry when it could
// not be (the output as it was before at; the caller goes on as it would without them), with
// *written when the output was written (and cut again).
static StepResult RebuildCurrentPiece(HWND window, const JoinCallbacks& callbacks, int64_t at,
                                      int64_t* pieceSize, bool* written) {
  RebuildResult result = RebuildPiece(JoinState.PieceIndex, at, window, callbacks.BlockCopied);
  *written = result != RebuildImpossible;
  if (result == RebuildImpossible || result == RebuildUntrusted) return StepRetry;
  StepResult step = TransferVerdict();
  if (step == StepCopied) {
    NoteRebuiltPiece(JoinState.PieceIndex);
    *pieceSize = ExpectedPayload(JoinState.PieceCheck.Block, JoinState.PieceIndex) +
                 (JoinState.PieceIndex == 0 ? PayloadOffset : 0);
    JoinState.PieceRelocated = false;
  }
  return step;
}

// Copies the current piece into the output and takes the verdict: a failed copy deletes the
// output, a closed window abandons the join; a copied piece is judged against the digests. A
// bad one is rebuilt over its copy where the recovery files can; where they cannot, its copy
// stays (made again when a failed rebuild cut it) and is judged as always.
__attribute__((noinline)) static StepResult CopyCurrentPiece(HWND window,
                                                             const JoinCallbacks& callbacks,
                                                             bool append, int64_t sourceOffset,
                                                             int64_t* pieceSize) {
  int64_t start = append ? JoinState.OutputPos : 0;
  for (bool again = true; again;) {
    again = false;
    BeginPieceCheck(JoinState.PieceIndex);
    CopyPiece(JoinState.PiecePath, JoinState.OutputPath, append, sourceOffset, window,
              callbacks.BlockCopied);
    StepResult step = TransferVerdict();
    if (step != StepCopied) return step;
    if (RebuildServes() && !CopiedPieceIsGood(JoinState.PieceIndex)) {
      step = RebuildCurrentPiece(window, callbacks, start, pieceSize, &again);
      if (step != StepRetry) return step;
    }
  }
  EndPieceCheck(JoinState.PieceIndex);
  JoinState.PieceRelocated = false;
  return StepCopied;
}

// The container: ask for the output, then copy the container's payload into a new output.
static StepResult ContainerStep(HWND window, const JoinCallbacks& callbacks, int64_t* pieceSize) {
  JoinState.IoFailed = false;
  PiecePathFor(JoinState.PiecePath, PathTextSize, JoinState.BasePath, 0);
  *pieceSize = FileSizeByName(JoinState.PiecePath);
  if (!ChooseOutputFile(window)) return StepCancelled;
  TextCopy(JoinState.OutputPath, PathTextSize, NameBuffer);
  InvalidateRect(window, nullptr, TRUE);
  SendMessageW(window, WM_PAINT, 0, 0);
  EnableWindow(JoinState.StartButton, FALSE);
  FindRecoveryFiles();
  return CopyCurrentPiece(window, callbacks, false, PayloadOffset, pieceSize);
}

// Piece n (n at least 1): found beside the base path, or located by the user, then appended.
static StepResult PieceStep(HWND window, const JoinCallbacks& callbacks, int64_t* pieceSize) {
  char suffix[PieceSuffixSize];
  PieceSuffix(JoinState.PieceIndex, suffix);
  if (JoinState.PieceRelocated) {
    // The base moves to the located piece's folder, keeping its own file name.
    WCHAR base[PathTextSize];
    const WCHAR* piece = JoinState.PiecePath;
    size_t folder = static_cast<size_t>(LastPathComponent(piece) - piece);
    CopyBytes(base, piece, folder * sizeof(WCHAR));
    base[folder] = 0;
    TextAppend(base, PathTextSize, LastPathComponent(JoinState.BasePath));
    TextCopy(JoinState.BasePath, PathTextSize, base);
    JoinState.PieceRelocated = false;
  } else {
    TextCopy(JoinState.PiecePath, PathTextSize, JoinState.BasePath);
    TextAppend(JoinState.PiecePath, PathTextSize, suffix);
  }

  const size_t titleSize = sizeof JoinState.TitleText / sizeof(WCHAR);
  size_t prefix = TextCopy(JoinState.TitleText, titleSize, TitlePrefix);
  size_t added = TextAppend(JoinState.TitleText, titleSize, LastPathComponent(JoinState.PiecePath));
  CharUpperBuffW(JoinState.TitleText + prefix, static_cast<DWORD>(added));
  SetTextBuffer(JoinState.TitleText);
  SetWindowTextW(window, JoinState.TextBuffer);

  if (FileSizeByName(JoinState.PiecePath) == -1) {
    bool written = false;
    StepResult rebuilt =
        RebuildCurrentPiece(window, callbacks, JoinState.OutputPos, pieceSize, &written);
    return rebuilt == StepRetry ? LocatePiece(window) : rebuilt;
  }
  // Appending the output to itself would never end: it is refused like a wrong file.
  if (IsSameFile(JoinState.PiecePath, JoinState.OutputPath)) {
    ShowBox(window, PieceIsOutputText, RefusalStyle);
    return LocatePiece(window);
  }
  *pieceSize = FileSizeByName(JoinState.PiecePath);
  return CopyCurrentPiece(window, callbacks, true, 0, pieceSize);
}

// How the file that receives the times is opened. After a failed copy the output was deleted:
// only a file that is still there, never a new empty one. After a join, the output written.
// When the loop never ran (a total of 0 or less: no Save dialog was shown), the header's file
// name in the current folder, made new: a file already there is neither opened nor touched.
static DWORD TimesDisposition() {
  if (JoinState.IoFailed) return OPEN_EXISTING;
  return JoinState.PieceIndex == 0 ? CREATE_NEW : OPEN_ALWAYS;
}

// The outcome, the three times on the output, the exit button; then the bad pieces named.
static void FinishJoin(HWND window) {
  if (JoinState.JoinedSize == JoinState.TotalSize && JoinState.PieceCheck.BadCount == 0)
    JoinState.Outcome = OutcomeComplete;
  else if (JoinState.IoFailed)
    JoinState.Outcome = OutcomeFileError;
  else
    JoinState.Outcome = OutcomeMismatch;

  DWORD disposition = TimesDisposition();
  HANDLE output = CreateFileW(FileCallName(JoinState.OutputPath), GENERIC_WRITE, 0, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output != INVALID_HANDLE_VALUE) {
    SetFileTime(output, &JoinState.CreationTime, &JoinState.LastAccessTime,
                &JoinState.LastWriteTime);
    CloseHandle(output);
  } else if (disposition == CREATE_NEW) {
    JoinState.Outcome = OutcomeFileError;  // the empty joined file could not be made
  }

  JoinState.Finished = true;
  SetTextBuffer(ExitLabel);
  SetWindowTextW(JoinState.StartButton, JoinState.TextBuffer);
  EnableWindow(JoinState.StartButton, TRUE);
  JoinState.CloseOnPress = true;
  InvalidateRect(window, nullptr, TRUE);
  // The rebuilt and the bad pieces are named over a kept output (a file error deleted it) and a
  // window still open.
  if (JoinState.Outcome != OutcomeFileError && !JoinState.QuitRequested)
    ReportRebuiltPieces(window);
  if (JoinState.Outcome == OutcomeMismatch && !JoinState.QuitRequested) ReportBadPieces(window);
}

void RunJoin(HWND window, const JoinCallbacks& callbacks) {
  if (JoinState.CloseOnPress) {
    PostQuitMessage(0);
    return;
  }
  // A step that asks the user again (a located piece, a refused or cancelled choice) runs the
  // loop again at the same piece, as a fresh start command would. A set with digests ends with
  // its last piece, even when a short piece left the payloads short of the total.
  while (JoinState.JoinedSize < JoinState.TotalSize && !AllPiecesChecked()) {
    if (JoinState.QuitRequested) {  // the window was closed while it took its messages
      AbandonJoin();
      return;
    }
    int64_t pieceSize = 0;
    bool container = JoinState.PieceIndex == 0;
    StepResult result = container ? ContainerStep(window, callbacks, &pieceSize)
                                  : PieceStep(window, callbacks, &pieceSize);
    if (result == StepCancelled || result == StepAbandoned) return;
    if (result == StepRetry) continue;
    if (result == StepFailed) break;
    // Wrapping 64-bit sums, as the sizes come.
    uint64_t payload = static_cast<uint64_t>(pieceSize) - (container ? PayloadOffset : 0);
    JoinState.JoinedSize =
        static_cast<int64_t>(static_cast<uint64_t>(JoinState.JoinedSize) + payload);
    JoinState.PieceIndex++;
    callbacks.PieceCopied();
  }
  FinishJoin(window);
  // Closed in the very last pump: the join is complete and finished; the process ends now.
  if (JoinState.QuitRequested) PostQuitMessage(0);
}
