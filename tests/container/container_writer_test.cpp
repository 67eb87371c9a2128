// Sets written by the container writer, read back the way the joiner reads them:
// the header through the file layer at 28672, the payloads from 30720 and whole pieces after.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "container/container_writer.h"
#include "stub/fileio/large_file.h"
#include "tests/support/scratch_test.h"

namespace {

struct ReadHeader {
  std::string texts[HeaderRecordCount];
  int64_t values[HeaderRecordCount] = {};  // records 2 to 8
};

// The eight records of a container, through the file layer, each as its text.
ReadHeader ReadHeaderOf(const std::string& containerPath) {
  ReadHeader header;
  LargeFile file;
  AssignLargeFile(file, scratch::Wide(containerPath).c_str());
  FileOpenMode = 0;
  ResetLarge(file, 1);
  SeekLarge(file, HeaderOffset);
  EXPECT_EQ(TakeIoResult(), 0);
  for (int i = 0; i < HeaderRecordCount; i++) {
    HeaderRecord record;
    uint32_t actual = 0;
    BlockReadLarge(file, &record, HeaderRecordSize, &actual);
    EXPECT_EQ(actual, uint32_t(HeaderRecordSize));
    char text[HeaderRecordSize];
    HeaderRecordText(record, text);
    header.texts[i] = text;
    if (i > 0) EXPECT_TRUE(TryParseHeaderInteger(text, &header.values[i])) << text;
  }
  CloseLarge(file);
  EXPECT_EQ(TakeIoResult(), 0);
  return header;
}

// The joined bytes: the container's payload, then whole pieces in order until total is reached.
std::string JoinedPayload(const std::string& base, int64_t total, int* pieces) {
  std::string joined = scratch::ReadBytes(base + ".exe").substr(PayloadOffset);
  *pieces = 1;
  for (int32_t n = 1; int64_t(joined.size()) < total; n++, (*pieces)++) {
    char path[512];
    PiecePathFor(path, sizeof path, base.c_str(), n);
    if (!scratch::Exists(path)) break;
    joined += scratch::ReadBytes(path);
  }
  return joined;
}

using SetFiles = scratch::FolderTest;

TEST_F(SetFiles, HeaderRoundTripsThroughTheFileLayer) {
  const uint64_t creation = 0x01D2F3A489ABCDEF, access = 0xFFFFFFFFFFFFFFFF, write = 0;
  HeaderTexts texts = MakeHeaderTexts("\xCE\xF2\xF7\xE5\xF2.doc", 5000000, creation, access, write);
  ASSERT_TRUE(
      WriteSet(Path("DATA"), "MZ tiny stub", texts,
               {std::string(1000000, 'a'), std::string(2000000, 'b'), std::string(2000000, 'c')}));
  EXPECT_EQ(scratch::SizeOf(Path("DATA.exe")), 1030720);
  EXPECT_EQ(scratch::ReadBytes(Path("DATA.exe")).substr(0, 12), "MZ tiny stub");

  ReadHeader header = ReadHeaderOf(Path("DATA.exe"));
  EXPECT_EQ(header.texts[RecordFileName], "\xCE\xF2\xF7\xE5\xF2.doc");
  EXPECT_EQ(header.texts[RecordTotalSize], "5000000");
  // Each time's low half, then its high half.
  const uint32_t halves[] = {0x89ABCDEFu, 0x01D2F3A4u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0};
  for (int i = 0; i < 6; i++)
    EXPECT_EQ(static_cast<uint32_t>(header.values[RecordCreationLow + i]), halves[i])
        << "record " << i + 3;

  // The set's payloads add up to the header's total (that the joiner then stops there, even
  // with a further piece beside it, is a test of the join driver's).
  int pieces = 0;
  std::string joined = JoinedPayload(Path("DATA"), header.values[RecordTotalSize], &pieces);
  EXPECT_EQ(pieces, 3);
  EXPECT_EQ(joined,
            std::string(1000000, 'a') + std::string(2000000, 'b') + std::string(2000000, 'c'));
}

TEST_F(SetFiles, RecordBytesCarryLengthTextAndFiller) {
  const struct {
    size_t length;
    size_t stored;
  } cases[] = {{0, 0}, {1, 1}, {255, 255}, {300, 255}};
  for (const auto& c : cases) {
    std::string record = HeaderRecordBytes(std::string(c.length, 'q'), '#');
    ASSERT_EQ(record.size(), size_t(HeaderRecordSize));
    EXPECT_EQ(uint8_t(record[0]), c.stored);
    EXPECT_EQ(record.substr(1, c.stored), std::string(c.stored, 'q'));
    EXPECT_EQ(record.substr(1 + c.stored), std::string(255 - c.stored, '#'));
  }
  EXPECT_EQ(HeaderBytes(HeaderTexts{}).size(), size_t(PayloadOffset - HeaderOffset));
}

TEST_F(SetFiles, StubIsFittedToExactlyItsRoom) {
  EXPECT_EQ(FitStubImage("abc"), std::string("abc") + std::string(StubSize - 3, '\0'));
  EXPECT_EQ(FitStubImage(std::string(StubSize + 10, 'x')), std::string(StubSize, 'x'));
  ASSERT_TRUE(WriteSet(Path("EMPTY"), "", MakeHeaderTexts("e", 0, 0, 0, 0), {}));
  EXPECT_EQ(scratch::SizeOf(Path("EMPTY.exe")), PayloadOffset) << "an empty payload";
  EXPECT_FALSE(scratch::Exists(Path("EMPTY.c001")));
}

}  // namespace
