// The file layer: 64-bit positions and sizes, and the size of a file by its name.
#include "tests/stub/fileio/large_file_fixture.h"

namespace {

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
  EXPECT_EQ(BlockWriteLarge(output, bytes.data() + 65536, 200000 - 65536, &actual),
            200000u - 65536u);
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
  // In records of 5 bytes the same size and position are 858993459 records: no failure value.
  for (uint32_t recordSize : {1u, 5u}) {
    LargeFile& file = OpenWith("big", 0, recordSize);
    const int64_t records = 4294967295LL / recordSize;
    EXPECT_EQ(FileSizeLarge(file), records) << recordSize;
    SeekLarge(file, records);
    EXPECT_EQ(FilePosLarge(file), records) << recordSize;
    EXPECT_EQ(TakeIoResult(), 0) << recordSize;
  }
}

TEST_F(FileLayer, SeekBeforeTheStartIsThePlatformsError) {
  LargeFile& file = OpenData("abc", 0);
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

}  // namespace
