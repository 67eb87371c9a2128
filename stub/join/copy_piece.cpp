#include "stub/join/copy_piece.h"

#include "stub/state/join_state.h"
#include "stub/fileio/large_file.h"
#include "stub/join/piece_check.h"

// One block at a time, reused for every block of every piece. Static: the stub allows no big
// stack frames.
static char BlockBuffer[CopyBlockSize];

void CopyPiece(const WCHAR* sourcePath, const WCHAR* targetPath, bool append, int64_t sourceOffset,
               HWND window, BlockCopiedCallback blockCopied) {
  LargeFile source;
  LargeFile target;
  AssignLargeFile(source, sourcePath);
  FileOpenMode = 0;
  ResetLarge(source, 1);
  SeekLarge(source, sourceOffset);

  AssignLargeFile(target, targetPath);
  FileOpenMode = 2;
  if (append) {
    ResetLarge(target, 1);
    SeekLarge(target, FileSizeLarge(target));
  } else {
    RewriteLarge(target, 1);
  }

  // No error is looked at inside the loop: a failed read or write moves 0 bytes and ends it,
  // and the one TakeIoResult below gives the verdict for the whole copy. A write that moved
  // fewer bytes than it was given (a full disk on some file systems) ends it too, and fails the
  // copy even without an error: the bytes after it would land in the wrong place. The last pass
  // reads 0 bytes and still tells the window. A quit request that the window took meanwhile (it
  // was closed) ends the copy after the block in hand.
  uint32_t bytesRead = 0;
  uint32_t bytesWritten = 0;
  do {
    BlockReadLarge(source, BlockBuffer, CopyBlockSize, &bytesRead);
    BlockWriteLarge(target, BlockBuffer, bytesRead, &bytesWritten);
    AddToPieceCheck(BlockBuffer, bytesWritten);
    JoinState.OutputPos = FilePosLarge(target);
    blockCopied(window);
  } while (bytesRead != 0 && bytesWritten == bytesRead && !JoinState.QuitRequested);

  CloseLarge(target);
  CloseLarge(source);
  // Either a recorded error or a short write fails it (one test of both keeps the stub small).
  JoinState.IoFailed = (TakeIoResult() | static_cast<int32_t>(bytesWritten ^ bytesRead)) != 0;
}
