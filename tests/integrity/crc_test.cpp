// Our own CRC-32C (the table's and the instruction's ways) and CRC-64 against ISA-L's on the
// same bytes: whole, fed in the stub's 64 KB blocks, split at every place around the boundaries
// of the instruction's three-chunk units and of the blocks, and empty. The same for the backend
// this build compiled (ISA-L's, natively) and over more than an int counts; and the join of two
// CRCs.
#include <gtest/gtest.h>
#include <isa-l.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "integrity/crc32c.h"
#include "integrity/crc64.h"
#include "tests/support/test_bytes.h"

namespace {

using AddFunction = uint32_t (*)(uint32_t, const void*, size_t);

const size_t Block = 65536;
const size_t Unit = 3 * 4096;  // what the instruction's way takes at once

uint32_t LibraryCrc32c(const std::string& bytes) {
  // ISA-L leaves both inversions to the caller.
  return ~crc32_iscsi(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                      static_cast<int>(bytes.size()), 0xFFFFFFFFu);
}

// bytes fed in parts of the given sizes, the last part taking what is left.
uint32_t FedInParts(AddFunction add, const std::string& bytes, const std::vector<size_t>& parts) {
  uint32_t crc = 0;
  size_t at = 0;
  for (size_t part : parts) {
    size_t count = std::min(part, bytes.size() - at);
    crc = add(crc, bytes.data() + at, count);
    at += count;
  }
  return add(crc, bytes.data() + at, bytes.size() - at);
}

uint32_t FedInBlocks(AddFunction add, const std::string& bytes, size_t block) {
  return FedInParts(add, bytes, std::vector<size_t>(bytes.size() / block + 1, block));
}

class Crc32cWays : public testing::TestWithParam<AddFunction> {
 protected:
  void SetUp() override {
    if (GetParam() == Crc32cAddByInstruction && !ProcessorHasCrc32c())
      GTEST_SKIP() << "no SSE4.2 here";
  }
};

TEST_P(Crc32cWays, StandardCheckValueAndEmptyInput) {
  EXPECT_EQ(GetParam()(0, "123456789", 9), 0xE3069283u);  // the published check value
  EXPECT_EQ(GetParam()(0, nullptr, 0), 0u);
  EXPECT_EQ(GetParam()(0x12345678u, "", 0), 0x12345678u);  // nothing added, nothing changed
}

TEST_P(Crc32cWays, EveryLengthUpToTwoUnitsMatchesTheLibrary) {
  std::string bytes = Pattern(2 * Unit + 40, 3);
  for (size_t length = 0; length <= bytes.size(); length += (length < 300 ? 1 : 37)) {
    std::string part = bytes.substr(0, length);
    ASSERT_EQ(GetParam()(0, part.data(), part.size()), LibraryCrc32c(part)) << "length " << length;
  }
}

TEST_P(Crc32cWays, StubBlocksAndOddSplitsMatchTheLibrary) {
  // Exact block multiples, one byte more and less, and pieces that begin mid-unit.
  for (size_t size :
       {size_t{0}, Block, 2 * Block, 3 * Block, 3 * Block - 1, 3 * Block + 1, 5 * Block + 12345}) {
    std::string bytes = Pattern(size, static_cast<uint32_t>(size));
    uint32_t expected = LibraryCrc32c(bytes);
    EXPECT_EQ(FedInBlocks(GetParam(), bytes, Block), expected) << size;
    EXPECT_EQ(FedInBlocks(GetParam(), bytes, 4097), expected) << size;
    EXPECT_EQ(FedInParts(GetParam(), bytes, {1, 3, Unit - 1, Unit + 1, 7, Block}), expected)
        << size;
    EXPECT_EQ(FedInParts(GetParam(), bytes, {Block - 1, 2, Block, 5}), expected) << size;
  }
}

TEST_P(Crc32cWays, TwoPartsSplitAtEveryPlaceAroundUnitAndBlockBoundaries) {
  std::string bytes = Pattern(2 * Block + 100, 7);
  uint32_t expected = LibraryCrc32c(bytes);
  std::vector<size_t> boundaries = {0, 4096, Unit, 2 * Unit, Block, 2 * Block};
  for (size_t boundary : boundaries)
    for (size_t split = boundary < 20 ? 0 : boundary - 20; split <= boundary + 20; split++)
      ASSERT_EQ(FedInParts(GetParam(), bytes, {split}), expected) << "split at " << split;
}

INSTANTIATE_TEST_SUITE_P(
    Integrity, Crc32cWays, testing::Values(&Crc32cAdd, &Crc32cAddByTable, &Crc32cAddByInstruction),
    [](const testing::TestParamInfo<AddFunction>& info) {
      return std::string(info.index == 0 ? "Backend" : info.index == 1 ? "Table" : "Instruction");
    });

// The backend against our own on the same bytes, in odd splits.
TEST(Crc32cBackend, AgreesWithOurOwnInAnySplit) {
  std::string bytes = Pattern(3 * 65536 + 77, 21);
  uint32_t whole = Crc32cAddByTable(0, bytes.data(), bytes.size());
  EXPECT_EQ(Crc32cAdd(0, bytes.data(), bytes.size()), whole);
  EXPECT_EQ(Crc32cAdd(0, bytes.data(), 0), 0u);
  for (size_t cut :
       {size_t{1}, size_t{63}, size_t{65535}, size_t{65536}, size_t{131073}, bytes.size() - 1}) {
    uint32_t crc = Crc32cAdd(0, bytes.data(), cut);
    EXPECT_EQ(crc, Crc32cAddByTable(0, bytes.data(), cut)) << cut;
    EXPECT_EQ(Crc32cAdd(crc, bytes.data() + cut, bytes.size() - cut), whole) << cut;
  }
}

// 2^32 + 4099 bytes in one call (past what even an unsigned int counts): the same 8 MiB of a
// memory file mapped side by side, so that the stretch costs little memory and few page faults;
// the CRC of it fed in parts an int holds (which the agreement above shows right) is the answer.
TEST(Crc32cBackend, TakesMoreThanAnIntCountsWorth) {
  const size_t window = 8 << 20, size = (size_t{1} << 32) + 4099, windows = size / window + 1;
  int memory = memfd_create("crc", 0);
  ASSERT_GE(memory, 0);
  std::string pattern = Pattern(window, 22);
  ASSERT_EQ(pwrite(memory, pattern.data(), window, 0), static_cast<ssize_t>(window));
  char* all = static_cast<char*>(mmap(nullptr, windows * window, PROT_NONE,
                                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  ASSERT_NE(all, MAP_FAILED);
  for (size_t i = 0; i < windows; i++) {
    ASSERT_NE(
        mmap(all + i * window, window, PROT_READ, MAP_SHARED | MAP_FIXED | MAP_POPULATE, memory, 0),
        MAP_FAILED);
  }
  const size_t part = size_t{1} << 30;
  uint32_t expected = 0;
  for (size_t at = 0; at < size; at += part)
    expected = Crc32cAdd(expected, all + at, std::min(part, size - at));
  EXPECT_EQ(Crc32cAdd(0, all, size), expected);
  munmap(all, windows * window);
  close(memory);
}

// The CRC of two streams from theirs, for lengths around the powers of two the join squares by.
TEST(Crc32cJoin, GivesTheCrcOfBothStreams) {
  std::string bytes = Pattern(70000, 9);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{5}, size_t{4096}, size_t{65536}, bytes.size() - 1,
                     bytes.size()}) {
    for (size_t end : {cut, cut + 1, cut + 1023, cut + 4096, bytes.size()}) {
      if (end > bytes.size()) continue;
      uint32_t first = Crc32cAdd(0, bytes.data(), cut),
               second = Crc32cAdd(0, bytes.data() + cut, end - cut);
      EXPECT_EQ(Crc32cJoin(first, second, static_cast<int64_t>(end - cut)),
                Crc32cAdd(0, bytes.data(), end))
          << cut << " " << end;
    }
  }
  EXPECT_EQ(Crc32cJoin(0, 0, 0), 0u);
}

TEST(Crc64, MatchesTheLibraryAndTheCheckValue) {
  EXPECT_EQ(Crc64("123456789", 9), 0x995DC9BBDF1939FAull);  // CRC-64/XZ's published check value
  std::string bytes = Pattern(2100, 5);
  for (size_t length = 0; length <= bytes.size(); length += (length < 64 ? 1 : 29))
    ASSERT_EQ(Crc64(bytes.data(), length),
              crc64_ecma_refl(0, reinterpret_cast<const unsigned char*>(bytes.data()), length))
        << "length " << length;
}

// A recovery file's self-check is taken a block at a time: any split gives the library's value.
TEST(Crc64, ContinuedOverAnySplitGivesTheWholeStreamsValue) {
  std::string bytes = Pattern(3000, 8);
  uint64_t whole = crc64_ecma_refl(0, reinterpret_cast<const unsigned char*>(bytes.data()),
                                   bytes.size());
  for (size_t first = 0; first <= bytes.size(); first += 37) {
    uint64_t crc = Crc64Add(0, bytes.data(), first);
    crc = Crc64Add(crc, bytes.data() + first, (bytes.size() - first) / 2);
    size_t done = first + (bytes.size() - first) / 2;
    ASSERT_EQ(Crc64Add(crc, bytes.data() + done, bytes.size() - done), whole) << first;
  }
}

}  // namespace
