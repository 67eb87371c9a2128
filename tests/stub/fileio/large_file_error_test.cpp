// The file layer: the pending error, and (natively) the platform's own failures and threads.
#include "tests/stub/fileio/large_file_fixture.h"

#ifndef _WIN32
#include <thread>
#endif

namespace {

// ---- the pending error ----------------------------------------------------------------------

TEST_F(FileLayer, TakeReturnsTheCodeOnceThenZero) {
  SetIoResult(103);
  EXPECT_EQ(TakeIoResult(), 103);
  EXPECT_EQ(TakeIoResult(), 0);
  SetIoResult(5);
  SetIoResult(0);
  EXPECT_EQ(TakeIoResult(), 0) << "SetIoResult(0) clears";
}

TEST_F(FileLayer, TheLatestFailureWinsAndSuccessesClearNothing) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  LargeFile& missing = Record("missing");
  EraseLarge(missing);  // the platform's not-found code
  LargeFile never{};
  ResetLarge(never, 1);  // 102
  LargeFile& file = OpenWith("data", 0);
  char buffer[3];
  EXPECT_EQ(BlockReadLarge(file, buffer, 3, nullptr), 3u);
  SeekLarge(file, 0);
  EXPECT_EQ(TakeIoResult(), IoErrNotAssigned);

  CloseLarge(never);  // 103
  EraseLarge(missing);
  EXPECT_EQ(TakeIoResult(), static_cast<int32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileLayer, AfterAFailedOpenEveryOperationStores103) {
  LargeFile& file = OpenWith("missing", 0);
  SeekLarge(file, 28672);
  EXPECT_EQ(TakeIoResult(), IoErrNotOpen) << "the seek replaces the open's not-found code";

  ResetLarge(file, 1);
  EXPECT_EQ(TakeIoResult(), static_cast<int32_t>(ERROR_FILE_NOT_FOUND));
  ResetLarge(file, 1);
  EXPECT_EQ(ReadWithActual(file, 256), 0u);
  EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
}

// ---- size by name ---------------------------------------------------------------------------

TEST_F(FileLayer, FileSizeByNameOfMissingPathsAndFolders) {
  EXPECT_EQ(FileSizeByName(scratch::Wide(Path("missing")).c_str()), -1);
  EXPECT_EQ(FileSizeByName(
                scratch::Wide(Path("no folder" + std::string(scratch::Separator()) + "x")).c_str()),
            -1);
  std::filesystem::create_directory(Path("folder"));
  EXPECT_EQ(FileSizeByName(scratch::Wide(Path("folder")).c_str()), 0);
  EXPECT_EQ(TakeIoResult(), 0) << "the search stores no error";
}

// Sizes are reported whole: pieces of 2 GiB and more are sized exactly, and only a missing
// path gives -1.
TEST_F(FileLayer, FileSizeByNameIsTheFull64BitSize) {
  const int64_t sizes[] = {
      0, 1, 28672, 2147483647LL, 2147483648LL, 3221225472LL, 4294967295LL, 4294967296LL, FiveGiB};
  for (int64_t size : sizes) {
    ASSERT_TRUE(scratch::MakeSizedFile(Path("sized"), size)) << size;
    EXPECT_EQ(FileSizeByName(scratch::Wide(Path("sized")).c_str()), size);
  }
}

// ---- native only: platform faults and threads -----------------------------------------------

#ifndef _WIN32
TEST_F(FileLayer, PlatformCodesPassThroughUnchanged) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abcdef"));
  static FileCallKind failing;
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    return call == failing ? 1117 : 0;
  };
  const struct {
    FileCallKind call;
    const char* what;
  } cases[] = {{CallCreateFile, "open"},     {CallReadFile, "read"},    {CallWriteFile, "write"},
               {CallSetFilePointer, "seek"}, {CallGetFileSize, "size"}, {CallDeleteFile, "erase"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    failing = c.call;
    LargeFile& file = OpenWith("data", 2);
    char buffer[4] = "xyz";
    uint32_t actual = 99;
    int64_t result = 0;
    switch (c.call) {
      case CallCreateFile: EXPECT_EQ(file.Mode, ModeClosed); break;
      case CallReadFile: result = BlockReadLarge(file, buffer, 3, &actual); break;
      case CallWriteFile: result = BlockWriteLarge(file, buffer, 3, &actual); break;
      case CallSetFilePointer:
        SeekLarge(file, 1);
        ASSERT_EQ(TakeIoResult(), 1117);
        result = FilePosLarge(file);
        EXPECT_EQ(result, FailedPosition);
        break;
      case CallGetFileSize:
        result = FileSizeLarge(file);
        EXPECT_EQ(result, FailedPosition);
        break;
      case CallDeleteFile: EraseLarge(file); break;
      default: break;
    }
    if (c.call == CallReadFile || c.call == CallWriteFile) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(actual, 0u);
    }
    EXPECT_EQ(TakeIoResult(), 1117);
    failing = CallSetFileTime;
    if (IsOpen(file)) CloseLarge(file);
  }
  EXPECT_EQ(scratch::ReadBytes(Path("data")), "abcdef");
}

TEST_F(FileLayer, FailedReleaseStoresOneAndStillCloses) {
  LargeFile& file = OpenData("abc", 0);
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    return call == CallCloseHandle ? 6 : 0;
  };
  EXPECT_EQ(CloseLarge(file), 1);
  EXPECT_EQ(file.Mode, ModeClosed);
  EXPECT_EQ(TakeIoResult(), 1) << "the value 1, not the platform's code";

  FileFaultHook = nullptr;
  ResetLarge(file, 1);
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    return call == CallCloseHandle ? 6 : 0;
  };
  ResetLarge(file, 1);  // the release before reopening fails; the open goes on
  EXPECT_EQ(file.Mode, ModeInput);
  EXPECT_EQ(TakeIoResult(), 1);
}

TEST_F(FileLayer, ShortTransfersWithoutAnActualCount) {
  LargeFile& file = OpenData(std::string(100, 'a'), 2);
  FileTransferCap = 10;  // the device moves at most 10 bytes a call
  char buffer[100] = {};
  uint32_t actual = 0;
  EXPECT_EQ(BlockWriteLarge(file, buffer, 50, &actual), 10u);
  EXPECT_EQ(actual, 10u);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(BlockWriteLarge(file, buffer, 50, nullptr), 0u);
  EXPECT_EQ(TakeIoResult(), IoErrShortWrite);
  EXPECT_EQ(BlockReadLarge(file, buffer, 50, nullptr), 0u);
  EXPECT_EQ(TakeIoResult(), IoErrShortRead);
  EXPECT_EQ(BlockReadLarge(file, buffer, 10, nullptr), 10u) << "a whole transfer is no error";
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(FileLayer, FileSizeByNameWhenTheSearchFails) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    return call == CallFindFirstFile ? 5 : 0;
  };
  EXPECT_EQ(FileSizeByName(scratch::Wide(Path("data")).c_str()), -1);
}

// A record that is not open, or not assigned, is refused before any platform call: the error is
// the layer's own, and no stale handle or name reaches the platform.
TEST_F(FileLayer, ARefusedCallMakesNoPlatformCall) {
  static int calls;
  calls = 0;
  FileFaultHook = [](FileCallKind, const char*) -> DWORD {
    calls++;
    return 0;
  };
  LargeFile& closed = Record("data");
  char buffer[4] = "abc";
  SeekLarge(closed, 1);
  EXPECT_EQ(FilePosLarge(closed), FailedPosition);
  EXPECT_EQ(FileSizeLarge(closed), FailedPosition);
  EXPECT_EQ(BlockReadLarge(closed, buffer, 1, nullptr), 0u);
  EXPECT_EQ(BlockWriteLarge(closed, buffer, 1, nullptr), 0u);
  EXPECT_EQ(CloseLarge(closed), 0);
  EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
  LargeFile unassigned{};
  ResetLarge(unassigned, 1);
  RewriteLarge(unassigned, 1);
  EraseLarge(unassigned);
  EXPECT_EQ(TakeIoResult(), IoErrNotAssigned);
  EXPECT_EQ(calls, 0);
}

// Natively each thread has its own pending error (the Windows program has one thread).
TEST_F(FileLayer, EachThreadHasItsOwnPendingError) {
  SetIoResult(42);
  int32_t seen = -1;
  std::thread([&seen] {
    seen = TakeIoResult();
    SetIoResult(7);
  }).join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(TakeIoResult(), 42);
}
#endif

}  // namespace
