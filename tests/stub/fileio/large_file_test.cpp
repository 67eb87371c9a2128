// The file layer: binding records to names, and opening them (access, creation, sharing).
#include "tests/stub/fileio/large_file_fixture.h"

namespace {

// FileOpenMode is zero-initialised (the program stores its default first): this reads it before
// any case can change it.
const uint8_t OpenModeAtStart = FileOpenMode;

TEST(FileOpenModeAtStart, IsZeroAndTheDefaultIsReadAndWrite) {
  EXPECT_EQ(OpenModeAtStart, 0);
  EXPECT_EQ(DefaultFileOpenMode, 2);
}

// ---- records and names ----------------------------------------------------------------------

TEST_F(FileLayer, AssignClearsTheRecordAndBindsTheName) {
  LargeFile file;
  std::memset(&file, 0x5A, sizeof file);
  EXPECT_EQ(AssignLargeFile(file, WIDE_TEXT("some name.bin")), 0);
  EXPECT_EQ(file.Mode, ModeClosed);
  EXPECT_EQ(file.RecordSize, 128u);
  EXPECT_EQ(file.Handle, HANDLE{});
  EXPECT_EQ(scratch::Utf8(file.Name), "some name.bin");
  EXPECT_EQ(file.Name[LargeFileNameSize - 1], 0) << "the rest of Name is zero";
  EXPECT_EQ(TakeIoResult(), 0);
}

// Names that do not fit in Name are refused: the record is bound to the empty name, which no
// open finds, rather than to a cut name that might be another file.
TEST_F(FileLayer, AssignRefusesNamesOver615Characters) {
  const struct {
    size_t length;
    bool bound;
  } cases[] = {{1, true}, {614, true}, {615, true}, {616, false}, {1000, false}};
  for (const auto& c : cases) {
    std::string name(c.length, 'n');
    LargeFile file;
    AssignLargeFile(file, scratch::Wide(name).c_str());
    EXPECT_EQ(file.Mode, ModeClosed) << c.length;
    EXPECT_EQ(scratch::Utf8(file.Name), c.bound ? name : "") << c.length;
  }
  LargeFile refused;
  AssignLargeFile(refused, scratch::Wide(Path(std::string(700, 'n'))).c_str());
  ResetLarge(refused, 1);
  EXPECT_EQ(refused.Mode, ModeClosed);
  EXPECT_NE(TakeIoResult(), 0);
}

TEST(FileLayerModes, AssignedAndOpenAreRangesOfMode) {
  const struct {
    uint16_t mode;
    bool assigned, open;
  } cases[] = {{0, false, false},       {0xD7AF, false, false},   {ModeClosed, true, false},
               {ModeInput, true, true}, {ModeOutput, true, true}, {ModeInOut, true, true},
               {0xD7B4, false, false},  {0xFFFF, false, false}};
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
      {0, ModeInput, true, false},   {1, ModeOutput, false, true},   {2, ModeInOut, true, true},
      {3, ModeInOut, true, true},    {0x40, ModeInput, true, false},  // share bits change nothing
      {0x82, ModeInOut, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "FileOpenMode " << int(c.openMode));
    LargeFile& file = OpenData("abcdef", c.openMode);
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
  LargeFile& inMissingFolder =
      OpenWith("no folder" + std::string(scratch::Separator()) + "file", 0);
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
    EXPECT_EQ(ReadAt(file, 1, 3), "ell");
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

// Windows takes a backslash and a slash alike for a folder delimiter in a file name; the POSIX
// stand-in does the same, so that a name reaches the same file in every build.
TEST_F(FileLayer, BackslashAndSlashBothDelimitFolders) {
  std::filesystem::create_directory(Path("sub"));
  for (const char* delimiter : {"\\", "/"}) {
    SCOPED_TRACE(delimiter);
    LargeFile& file = Record(std::string("sub") + delimiter + "x");
    RewriteLarge(file, 1);
    EXPECT_EQ(BlockWriteLarge(file, "abc", 3, nullptr), 3u);
    CloseLarge(file);
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_EQ(FileSizeByName(scratch::Wide(Path(std::string("sub") + delimiter + "x")).c_str()), 3);
    EXPECT_EQ(scratch::ReadBytes(Path("sub") + scratch::Separator() + "x"), "abc");
    EraseLarge(file);
    EXPECT_EQ(TakeIoResult(), 0);
    EXPECT_FALSE(scratch::Exists(Path("sub") + scratch::Separator() + "x"));
  }
}

// A path of MAX_PATH characters or more reaches Windows' file calls in its long form ("\\?\"),
// which takes no slash; a shorter one, or one that names no drive or share, goes as it is.
TEST_F(FileLayer, APathPastMaxPathIsNamedInItsLongForm) {
  std::string deep = Path(std::string(120, 'a')) + scratch::Separator() + std::string(120, 'b');
  std::string name = deep + "/" + std::string(60, 'c') + ".bin";
#ifdef _WIN32
  std::string made = "\\\\?\\" + deep;
#else
  std::string made = deep;
#endif
  ASSERT_TRUE(std::filesystem::create_directories(made));
  LargeFile file;
  AssignLargeFile(file, scratch::Wide(name).c_str());
  RewriteLarge(file, 1);
  EXPECT_EQ(BlockWriteLarge(file, "abc", 3, nullptr), 3u);
  CloseLarge(file);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(FileSizeByName(scratch::Wide(name).c_str()), 3);
  EraseLarge(file);
  EXPECT_EQ(TakeIoResult(), 0);
  EXPECT_EQ(FileSizeByName(scratch::Wide(name).c_str()), -1);
#ifdef _WIN32
  RemoveDirectoryW(scratch::Wide(made).c_str());  // the library's own calls take no long form
  RemoveDirectoryW(scratch::Wide(made.substr(0, made.rfind('\\'))).c_str());
#endif

  const std::string wide(MAX_PATH, 'x');
  const struct {
    std::string path, form;
  } cases[] = {
      {"C:\\" + wide, "\\\\?\\C:\\" + wide},
      {"c:/films/" + wide, "\\\\?\\c:\\films\\" + wide},
      {"\\\\server/share\\" + wide, "\\\\?\\UNC\\server\\share\\" + wide},
      {"\\\\?\\C:\\" + wide, "\\\\?\\C:\\" + wide},        // a long form already
      {"films\\" + wide, "films\\" + wide},                // relative: as it is
      {"C:\\" + wide.substr(4), "C:\\" + wide.substr(4)},  // MAX_PATH - 1 characters
  };
  for (const auto& c : cases) {
    scratch::WideText path = scratch::Wide(c.path);
    EXPECT_EQ(scratch::Utf8(FileCallName(path.c_str())), c.form) << c.path.substr(0, 20);
  }
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
      HANDLE other = CreateFileW(scratch::Wide(Path("data")).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
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

}  // namespace
