// The file layer against its platform: natively over the POSIX stand-in (with fault
// injection), and the same cases as a Windows program under Wine over the real Win32 calls.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fileio/large_file.h"
#include "tests/fileio/scratch_files.h"

#ifndef _WIN32
#include <thread>

#include "platform/files_posix.h"
#endif

namespace {

const int64_t FiveGiB = 5368709120LL;
const int64_t FailedPosition = 4294967295LL;

// Runs before any case changes it (gtest keeps the order of definition).
TEST(FileOpenModeAtStart, IsReadAndWrite) { EXPECT_EQ(FileOpenMode, 2); }

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = scratch::MakeFolder("fileio");
    FileOpenMode = 2;
    TakeIoResult();
  }
  void TearDown() override {
#ifndef _WIN32
    FileFaultHook = nullptr;
    FileTransferCap = 0xFFFFFFFFu;
#endif
    for (LargeFile* file : opened)
      if (IsOpen(*file)) CloseLarge(*file);
    TakeIoResult();
    scratch::RemoveFolder(folder);
  }
  std::string Path(const std::string& name) const { return folder + scratch::Separator() + name; }
  // A record assigned to name in the scratch folder, closed again by TearDown if left open.
  LargeFile& Record(const std::string& name) {
    records.push_back(std::make_unique<LargeFile>());
    LargeFile& file = *records.back();
    AssignLargeFile(file, Path(name).c_str());
    opened.push_back(&file);
    return file;
  }
  LargeFile& OpenWith(const std::string& name, uint8_t openMode, uint32_t recordSize = 1) {
    LargeFile& file = Record(name);
    FileOpenMode = openMode;
    ResetLarge(file, recordSize);
    return file;
  }

  std::string folder;
  std::vector<std::unique_ptr<LargeFile>> records;
  std::vector<LargeFile*> opened;
};

// ---- records and names ----------------------------------------------------------------------

TEST_F(FileLayer, AssignClearsTheRecordAndBindsTheName) {
  LargeFile file;
  std::memset(&file, 0x5A, sizeof file);
  EXPECT_EQ(AssignLargeFile(file, "some name.bin"), 0);
  EXPECT_EQ(file.Mode, ModeClosed);
  EXPECT_EQ(file.RecordSize, 128u);
  EXPECT_EQ(file.Handle, HANDLE{});
  EXPECT_STREQ(file.Name, "some name.bin");
  EXPECT_EQ(file.Name[sizeof file.Name - 1], 0) << "the rest of Name is zero";
  EXPECT_EQ(TakeIoResult(), 0);
}

// Names that do not fit in Name are refused: the record is bound to the empty name, which no
// open finds, rather than to a cut name that might be another file.
TEST_F(FileLayer, AssignRefusesNamesOver259Bytes) {
  const struct {
    size_t length;
    bool bound;
  } cases[] = {{1, true}, {258, true}, {259, true}, {260, false}, {1000, false}};
  for (const auto& c : cases) {
    std::string name(c.length, 'n');
    LargeFile file;
    AssignLargeFile(file, name.c_str());
    EXPECT_EQ(file.Mode, ModeClosed) << c.length;
    EXPECT_STREQ(file.Name, c.bound ? name.c_str() : "") << c.length;
  }
  LargeFile refused;
  AssignLargeFile(refused, Path(std::string(300, 'n')).c_str());
  ResetLarge(refused, 1);
  EXPECT_EQ(refused.Mode, ModeClosed);
  EXPECT_NE(TakeIoResult(), 0);
}

TEST(FileLayerModes, AssignedAndOpenAreRangesOfMode) {
  const struct {
    uint16_t mode;
    bool assigned, open;
  } cases[] = {{0, false, false},         {0xD7AF, false, false},    {ModeClosed, true, false},
               {ModeInput, true, true},   {ModeOutput, true, true},  {ModeInOut, true, true},
               {0xD7B4, false, false},    {0xFFFF, false, false}};
  for (const auto& c : cases) {
    LargeFile file{};
    file.Mode = c.mode;
    EXPECT_EQ(IsAssigned(file), c.assigned) << std::hex << c.mode;
    EXPECT_EQ(IsOpen(file), c.open) << std::hex << c.mode;
  }
}

// ---- opening --------------------------------------------------------------------------------

TEST_F(FileLayer, FileOpenModeChoosesTheAccessOfResetLarge) {
  const struct {
    uint8_t openMode;
    uint16_t mode;
    bool reads, writes;
  } cases[] = {
      {0, ModeInput, true, false},  {1, ModeOutput, false, true}, {2, ModeInOut, true, true},
      {3, ModeInOut, true, true},   {0x40, ModeInput, true, false},  // share bits leave access alone
      {0x82, ModeInOut, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "FileOpenMode " << int(c.openMode));
    ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abcdef"));
    LargeFile& file = OpenWith("data", c.openMode);
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_EQ(file.Mode, c.mode);
    EXPECT_EQ(FileOpenMode, c.openMode) << "the layer never changes FileOpenMode";

    char byte = 'Z';
    uint32_t actual = 99;
    EXPECT_EQ(BlockReadLarge(file, &byte, 1, &actual), c.reads ? 1u : 0u);
    EXPECT_EQ(actual, c.reads ? 1u : 0u);
    EXPECT_EQ(TakeIoResult(), c.reads ? 0 : IoErrNotOpen);
    EXPECT_EQ(byte, c.reads ? 'a' : 'Z');

    actual = 99;
    EXPECT_EQ(BlockWriteLarge(file, "!", 1, &actual), c.writes ? 1u : 0u);
    EXPECT_EQ(actual, c.writes ? 1u : 0u);
    EXPECT_EQ(TakeIoResult(), c.writes ? 0 : IoErrNotOpen);
    CloseLarge(file);
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_EQ(scratch::SizeOf(Path("data")), 6) << "opening an existing file keeps its bytes";
  }
}

TEST_F(FileLayer, ResetLargeNeverCreatesAFile) {
  for (uint8_t openMode : {0, 1, 2, 3}) {
    LargeFile& file = OpenWith("missing", openMode);
    EXPECT_EQ(file.Mode, ModeClosed) << int(openMode);
    EXPECT_EQ(TakeIoResult(), static_cast<int32_t>(ERROR_FILE_NOT_FOUND)) << int(openMode);
    EXPECT_FALSE(scratch::Exists(Path("missing")));
  }
  LargeFile& inMissingFolder = OpenWith("no folder" + std::string(scratch::Separator()) + "file", 0);
  EXPECT_EQ(inMissingFolder.Mode, ModeClosed);
  EXPECT_EQ(TakeIoResult(), static_cast<int32_t>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileLayer, RewriteLargeCreatesOrEmptiesForReadAndWrite) {
  ASSERT_TRUE(scratch::WriteBytes(Path("old"), std::string(1000, 'x')));
  for (const char* name : {"old", "new"}) {
    LargeFile& file = Record(name);
    FileOpenMode = 0;  // only the share bits count for RewriteLarge
    RewriteLarge(file, 1);
    EXPECT_EQ(TakeIoResult(), 0) << name;
    EXPECT_EQ(file.Mode, ModeInOut) << name;
    EXPECT_EQ(FileSizeLarge(file), 0) << name;
    EXPECT_EQ(BlockWriteLarge(file, "hello", 5, nullptr), 5u);
    SeekLarge(file, 1);
    char text[4] = {};
    EXPECT_EQ(BlockReadLarge(file, text, 3, nullptr), 3u);
    EXPECT_STREQ(text, "ell");
    CloseLarge(file);
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_EQ(scratch::ReadBytes(Path(name)), "hello");
  }
}

TEST_F(FileLayer, OpeningAnOpenRecordReleasesItsHandleFirst) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  // Share index 1 lets nobody else in: were the first handle still held, the second open of
  // the same record would meet it (on a platform with share modes).
  LargeFile& file = OpenWith("data", 0x10);
  ASSERT_EQ(file.Mode, ModeInput);
#ifndef _WIN32
  static int closes;
  closes = 0;
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    if (call == CallCloseHandle) closes++;
    return 0;
  };
#endif
  FileOpenMode = 0x12;
  ResetLarge(file, 1);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(file.Mode, ModeInOut);
#ifndef _WIN32
  EXPECT_EQ(closes, 1);
  FileFaultHook = nullptr;
#endif
  EXPECT_EQ(BlockWriteLarge(file, "X", 1, nullptr), 1u);
  CloseLarge(file);
  EXPECT_EQ(scratch::ReadBytes(Path("data")), "Xbc");
}

TEST_F(FileLayer, OpenOnANeverAssignedRecordStores102) {
  for (bool rewrite : {false, true}) {
    LargeFile file{};
    rewrite ? RewriteLarge(file, 1) : ResetLarge(file, 1);
    EXPECT_EQ(TakeIoResult(), IoErrNotAssigned);
    EXPECT_FALSE(IsAssigned(file));
  }
}

TEST_F(FileLayer, OpenNeitherReadsNorClearsThePendingError) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  SetIoResult(77);
  LargeFile& file = OpenWith("data", 0);
  EXPECT_EQ(file.Mode, ModeInput) << "a pending error does not stop the open";
  EXPECT_EQ(TakeIoResult(), 77);
}

#ifdef _WIN32
// With share modes on the platform, the table decides whom else the file lets in.
TEST_F(FileLayer, ShareTableDecidesWhatOtherOpenersMay) {
  const int share[8] = {3, 0, 1, 2, 3, 0, 0, 0};
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  for (int index = 0; index < 16; index++) {  // bit 7 of FileOpenMode is not part of the index
    int expected = share[index & 7];
    SCOPED_TRACE(testing::Message() << "share index bits " << index);
    LargeFile& file = OpenWith("data", static_cast<uint8_t>(index << 4));
    ASSERT_EQ(file.Mode, ModeInput);
    for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
      HANDLE other = CreateFileA(Path("data").c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      bool allowed = (expected & (access == GENERIC_READ ? 1 : 2)) != 0;
      EXPECT_EQ(other != INVALID_HANDLE_VALUE, allowed) << "access " << std::hex << access;
      if (other != INVALID_HANDLE_VALUE) {
        CloseHandle(other);
      } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      }
    }
    CloseLarge(file);
  }
  EXPECT_EQ(TakeIoResult(), 0);
}
#endif

// ---- block transfers ------------------------------------------------------------------------

TEST_F(FileLayer, ReadAtTheEndWithAnActualCountIsNoError) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  LargeFile& file = OpenWith("data", 0);
  SeekLarge(file, 3);
  char buffer[16];
  uint32_t actual = 99;
  EXPECT_EQ(BlockReadLarge(file, buffer, 16, &actual), 0u);
  EXPECT_EQ(actual, 0u);
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(FileLayer, ShortReadIsAnErrorOnlyWithoutAnActualCount) {
  std::string bytes = scratch::Pattern(1000);
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), bytes));
  static char buffer[65536];
  for (bool withActual : {true, false}) {
    SCOPED_TRACE(withActual ? "with actual" : "without actual");
    LargeFile& file = OpenWith("data", 0);
    std::memset(buffer, 0, sizeof buffer);
    uint32_t actual = 99;
    uint32_t got = BlockReadLarge(file, buffer, 65536, withActual ? &actual : nullptr);
    EXPECT_EQ(got, withActual ? 1000u : 0u);
    if (withActual) {
      EXPECT_EQ(actual, 1000u);
    }
    EXPECT_EQ(TakeIoResult(), withActual ? 0 : IoErrShortRead);
    EXPECT_EQ(std::string(buffer, 1000), bytes) << "the bytes are moved either way";
    EXPECT_EQ(FilePosLarge(file), 1000);
    CloseLarge(file);
  }
}

TEST_F(FileLayer, RecordSizeScalesCountsPositionsAndSizes) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "0123456789"));
  LargeFile& file = OpenWith("data", 2, 4);
  EXPECT_EQ(file.RecordSize, 4u);
  EXPECT_EQ(FileSizeLarge(file), 2) << "10 bytes are two whole records";
  char buffer[13] = {};
  uint32_t actual = 0;
  EXPECT_EQ(BlockReadLarge(file, buffer, 3, &actual), 2u) << "a trailing partial record is not counted";
  EXPECT_EQ(actual, 2u);
  EXPECT_STREQ(buffer, "0123456789") << "but its bytes are moved";
  EXPECT_EQ(FilePosLarge(file), 2);  // byte 10 / 4
  SeekLarge(file, 1);
  char record[5] = {};
  EXPECT_EQ(BlockReadLarge(file, record, 1, nullptr), 1u);
  EXPECT_STREQ(record, "4567");
  SeekLarge(file, 3);  // byte 12, past the end
  EXPECT_EQ(BlockWriteLarge(file, "WXYZ", 1, nullptr), 1u);
  EXPECT_EQ(FileSizeLarge(file), 4);
  CloseLarge(file);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(scratch::ReadBytes(Path("data")), std::string("0123456789\0\0WXYZ", 16));
}

TEST_F(FileLayer, TransfersWithoutTheAccessStore103) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  LargeFile never{};
  LargeFile& closed = Record("data");
  LargeFile& readOnly = OpenWith("data", 0);
  LargeFile& writeOnly = OpenWith("data", 1);
  const struct {
    const char* what;
    LargeFile* file;
    bool write;
  } cases[] = {{"never assigned, read", &never, false}, {"never assigned, write", &never, true},
               {"closed, read", &closed, false},        {"closed, write", &closed, true},
               {"read-only, write", &readOnly, true},   {"write-only, read", &writeOnly, false}};
  for (const auto& c : cases) {
    char buffer[4] = "xyz";
    for (bool withActual : {true, false}) {
      uint32_t actual = 99;
      uint32_t* out = withActual ? &actual : nullptr;
      uint32_t got = c.write ? BlockWriteLarge(*c.file, buffer, 3, out) : BlockReadLarge(*c.file, buffer, 3, out);
      EXPECT_EQ(got, 0u) << c.what;
      if (withActual) {
        EXPECT_EQ(actual, 0u) << c.what;
      }
      EXPECT_EQ(TakeIoResult(), IoErrNotOpen) << c.what;
    }
  }
  EXPECT_EQ(scratch::ReadBytes(Path("data")), "abc");
}

// ---- closing and erasing --------------------------------------------------------------------

TEST_F(FileLayer, CloseLargeClosesAndKeepsTheName) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  LargeFile& file = OpenWith("data", 0);
  EXPECT_EQ(CloseLarge(file), 0);
  EXPECT_EQ(file.Mode, ModeClosed);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(CloseLarge(file), 0) << "a closed record";
  EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
  LargeFile never{};
  EXPECT_EQ(CloseLarge(never), 0);
  EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
  FileOpenMode = 0;
  ResetLarge(file, 1);
  EXPECT_EQ(file.Mode, ModeInput) << "a closed record opens again by its name";
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(FileLayer, EraseLargeDeletesThroughAFreshRecord) {
  ASSERT_TRUE(scratch::WriteBytes(Path("out"), "partial"));
  LargeFile& file = Record("out");
  EraseLarge(file);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_FALSE(scratch::Exists(Path("out")));
  EXPECT_EQ(file.Mode, ModeClosed);

  EraseLarge(file);
  EXPECT_EQ(TakeIoResult(), static_cast<int32_t>(ERROR_FILE_NOT_FOUND)) << "a missing file";
  EXPECT_EQ(file.Mode, ModeClosed);

  LargeFile never{};
  EraseLarge(never);
  EXPECT_EQ(TakeIoResult(), IoErrNotAssigned);
}

// ---- positions and sizes --------------------------------------------------------------------

TEST_F(FileLayer, SeekMovesTheNextReadAndPositionsReport) {
  std::string image = scratch::Pattern(30720);
  ASSERT_TRUE(scratch::WriteBytes(Path("image.exe"), image));
  LargeFile& file = OpenWith("image.exe", 0);
  SeekLarge(file, 28672);
  EXPECT_EQ(FilePosLarge(file), 28672);
  char record[256];
  uint32_t actual = 0;
  EXPECT_EQ(BlockReadLarge(file, record, 256, &actual), 256u);
  EXPECT_EQ(std::string(record, 256), image.substr(28672, 256));
  EXPECT_EQ(FilePosLarge(file), 28672 + 256);
  EXPECT_EQ(FileSizeLarge(file), 30720);
  EXPECT_EQ(FilePosLarge(file), 28672 + 256) << "asking the size does not move the position";
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(FileLayer, WritingANewOutputAdvancesPositionAndSize) {
  LargeFile& output = Record("output");
  RewriteLarge(output, 1);
  std::string bytes = scratch::Pattern(200000);
  uint32_t actual = 0;
  EXPECT_EQ(BlockWriteLarge(output, bytes.data(), 65536, &actual), 65536u);
  EXPECT_EQ(BlockWriteLarge(output, bytes.data() + 65536, 200000 - 65536, &actual), 200000u - 65536u);
  EXPECT_EQ(FilePosLarge(output), 200000);
  EXPECT_EQ(FileSizeLarge(output), 200000);
  // Appending as the copier does: reopen, seek to the size, write on.
  CloseLarge(output);
  FileOpenMode = 2;
  ResetLarge(output, 1);
  SeekLarge(output, FileSizeLarge(output));
  EXPECT_EQ(BlockWriteLarge(output, "tail", 4, nullptr), 4u);
  CloseLarge(output);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(scratch::ReadBytes(Path("output")), bytes + "tail");
}

TEST_F(FileLayer, PositionOperationsOnARecordNotOpen) {
  LargeFile never{};
  LargeFile& closed = Record("data");
  for (LargeFile* file : {&never, &closed}) {
    EXPECT_EQ(FilePosLarge(*file), FailedPosition);
    EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
    EXPECT_EQ(FileSizeLarge(*file), FailedPosition);
    EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
    SeekLarge(*file, 0);
    EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
  }
}

// 4294967295 is the failure value of FilePosLarge and FileSizeLarge, but a genuine position or
// size of that many bytes is a success, told apart by the platform's own report.
TEST_F(FileLayer, PositionAndSizeOf4294967295AreNoFailure) {
  ASSERT_TRUE(scratch::MakeSizedFile(Path("big"), 4294967295LL));
  LargeFile& file = OpenWith("big", 0);
  EXPECT_EQ(FileSizeLarge(file), 4294967295LL);
  SeekLarge(file, 4294967295LL);
  EXPECT_EQ(FilePosLarge(file), 4294967295LL);
  EXPECT_EQ(TakeIoResult(), 0);
}

TEST_F(FileLayer, SeekBeforeTheStartIsThePlatformsError) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  LargeFile& file = OpenWith("data", 0);
  SeekLarge(file, 2);
  SeekLarge(file, -1);
  EXPECT_EQ(TakeIoResult(), static_cast<int32_t>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(FilePosLarge(file), 2) << "the position stays";
}

TEST_F(FileLayer, PositionsPastFourGiBAreCarriedWhole) {
  // Writing at 5 GiB makes a sparse file: only the marker takes room.
  const std::string marker = "five GiB marker!";
  LargeFile& output = Record("huge");
  RewriteLarge(output, 1);
  SeekLarge(output, FiveGiB);
  EXPECT_EQ(FilePosLarge(output), FiveGiB);
  EXPECT_EQ(BlockWriteLarge(output, marker.data(), 16, nullptr), 16u);
  EXPECT_EQ(FilePosLarge(output), FiveGiB + 16);
  CloseLarge(output);
  ASSERT_EQ(TakeIoResult(), 0);
  ASSERT_EQ(scratch::SizeOf(Path("huge")), FiveGiB + 16);

  for (uint32_t recordSize : {1u, 1024u}) {
    SCOPED_TRACE(testing::Message() << "record size " << recordSize);
    LargeFile& input = OpenWith("huge", 0, recordSize);
    EXPECT_EQ(FileSizeLarge(input), (FiveGiB + 16) / recordSize);
    SeekLarge(input, FiveGiB / recordSize);
    EXPECT_EQ(FilePosLarge(input), FiveGiB / recordSize);
    char buffer[1024] = {};
    uint32_t actual = 0;
    BlockReadLarge(input, buffer, recordSize == 1 ? 16 : 1, &actual);
    EXPECT_EQ(actual, recordSize == 1 ? 16u : 0u) << "16 bytes are no whole record of 1024";
    EXPECT_EQ(std::string(buffer, 16), marker);
    EXPECT_EQ(TakeIoResult(), 0);
    CloseLarge(input);
  }
}

TEST_F(FileLayer, SizeOfAFiveGiBFileIsExact) {
  ASSERT_TRUE(scratch::MakeSizedFile(Path("huge"), FiveGiB));
  LargeFile& file = OpenWith("huge", 0);
  EXPECT_EQ(FileSizeLarge(file), FiveGiB);
  SeekLarge(file, FiveGiB - 1);
  char byte = 'x';
  EXPECT_EQ(BlockReadLarge(file, &byte, 1, nullptr), 1u);
  EXPECT_EQ(byte, 0);
  EXPECT_EQ(FilePosLarge(file), FiveGiB);
  EXPECT_EQ(TakeIoResult(), 0);
}

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
  char buffer[256];
  uint32_t actual = 99;
  EXPECT_EQ(BlockReadLarge(file, buffer, 256, &actual), 0u);
  EXPECT_EQ(actual, 0u);
  EXPECT_EQ(TakeIoResult(), IoErrNotOpen);
}

// ---- size by name ---------------------------------------------------------------------------

TEST_F(FileLayer, FileSizeByNameOfMissingPathsAndFolders) {
  EXPECT_EQ(FileSizeByName(Path("missing").c_str()), -1);
  EXPECT_EQ(FileSizeByName(Path("no folder" + std::string(scratch::Separator()) + "x").c_str()), -1);
  std::filesystem::create_directory(Path("folder"));
  EXPECT_EQ(FileSizeByName(Path("folder").c_str()), 0);
  EXPECT_EQ(TakeIoResult(), 0) << "the search stores no error";
}

// Sizes are reported whole: pieces of 2 GiB and more are sized exactly, and only a missing
// path gives -1.
TEST_F(FileLayer, FileSizeByNameIsTheFull64BitSize) {
  const int64_t sizes[] = {0,           1,           28672,       2147483647LL, 2147483648LL,
                           3221225472LL, 4294967295LL, 4294967296LL, FiveGiB};
  for (int64_t size : sizes) {
    ASSERT_TRUE(scratch::MakeSizedFile(Path("sized"), size)) << size;
    EXPECT_EQ(FileSizeByName(Path("sized").c_str()), size);
  }
}

// ---- native only: platform faults and threads -----------------------------------------------

#ifndef _WIN32
TEST_F(FileLayer, PlatformCodesPassThroughUnchanged) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abcdef"));
  static FileCallKind failing;
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD { return call == failing ? 1117 : 0; };
  const struct {
    FileCallKind call;
    const char* what;
  } cases[] = {{CallCreateFile, "open"},   {CallReadFile, "read"},         {CallWriteFile, "write"},
               {CallSetFilePointer, "seek"}, {CallGetFileSize, "size"},    {CallDeleteFile, "erase"}};
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
      case CallGetFileSize: result = FileSizeLarge(file); EXPECT_EQ(result, FailedPosition); break;
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
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), "abc"));
  LargeFile& file = OpenWith("data", 0);
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD { return call == CallCloseHandle ? 6 : 0; };
  EXPECT_EQ(CloseLarge(file), 1);
  EXPECT_EQ(file.Mode, ModeClosed);
  EXPECT_EQ(TakeIoResult(), 1) << "the value 1, not the platform's code";

  FileFaultHook = nullptr;
  ResetLarge(file, 1);
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD { return call == CallCloseHandle ? 6 : 0; };
  ResetLarge(file, 1);  // the release before reopening fails; the open goes on
  EXPECT_EQ(file.Mode, ModeInput);
  EXPECT_EQ(TakeIoResult(), 1);
}

TEST_F(FileLayer, ShortTransfersWithoutAnActualCount) {
  ASSERT_TRUE(scratch::WriteBytes(Path("data"), std::string(100, 'a')));
  LargeFile& file = OpenWith("data", 2);
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
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD { return call == CallFindFirstFile ? 5 : 0; };
  EXPECT_EQ(FileSizeByName(Path("data").c_str()), -1);
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
