// The file layer: block transfers, closing and erasing.
#include "tests/stub/fileio/large_file_fixture.h"

namespace {

// ---- block transfers ------------------------------------------------------------------------

TEST_F(FileLayer, ReadAtTheEndWithAnActualCountIsNoError) {
  LargeFile& file = OpenData("abc", 0);
  SeekLarge(file, 3);
  EXPECT_EQ(ReadWithActual(file, 16), 0u);
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
  LargeFile& file = OpenData("0123456789", 2, 4);
  EXPECT_EQ(file.RecordSize, 4u);
  EXPECT_EQ(FileSizeLarge(file), 2) << "10 bytes are two whole records";
  char buffer[13] = {};
  uint32_t actual = 0;
  EXPECT_EQ(BlockReadLarge(file, buffer, 3, &actual), 2u)
      << "a trailing partial record is not counted";
  EXPECT_EQ(actual, 2u);
  EXPECT_STREQ(buffer, "0123456789") << "but its bytes are moved";
  EXPECT_EQ(FilePosLarge(file), 2);  // byte 10 / 4
  EXPECT_EQ(ReadAt(file, 1, 1), "4567");
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
      uint32_t got = c.write ? BlockWriteLarge(*c.file, buffer, 3, out)
                             : BlockReadLarge(*c.file, buffer, 3, out);
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
  LargeFile& file = OpenData("abc", 0);
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

}  // namespace
