// The tool's CRC-32C (ISA-L) against the stub's own on the same bytes, in odd splits; and over a
// stretch longer than ISA-L's int count takes at once.
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/cli_crc32c.h"
#include "integrity/crc32c.h"
#include "tests/support/test_bytes.h"

namespace {

TEST(ToolCrc32c, AgreesWithTheStubsInAnySplit) {
  std::string bytes = Pattern(3 * 65536 + 77, 21);
  uint32_t whole = Crc32cAdd(0, bytes.data(), bytes.size());
  EXPECT_EQ(ToolCrc32cAdd(0, bytes.data(), bytes.size()), whole);
  EXPECT_EQ(ToolCrc32cAdd(0, bytes.data(), 0), 0u);
  for (size_t cut : {size_t{1}, size_t{63}, size_t{65535}, size_t{65536}, size_t{131073}, bytes.size() - 1}) {
    uint32_t crc = ToolCrc32cAdd(0, bytes.data(), cut);
    EXPECT_EQ(crc, Crc32cAdd(0, bytes.data(), cut)) << cut;
    EXPECT_EQ(ToolCrc32cAdd(crc, bytes.data() + cut, bytes.size() - cut), whole) << cut;
  }
}

// 2^32 + 4099 bytes in one call (past what even an unsigned int counts): the same 8 MiB of a memory file mapped side by side, so that
// the stretch costs little memory and few page faults; the CRC of it fed in parts an int holds
// (which the agreement above shows right) is the answer.
TEST(ToolCrc32c, TakesMoreThanAnIntCountsWorth) {
  const size_t window = 8 << 20, size = (size_t{1} << 32) + 4099, windows = size / window + 1;
  int memory = memfd_create("crc", 0);
  ASSERT_GE(memory, 0);
  std::string pattern = Pattern(window, 22);
  ASSERT_EQ(pwrite(memory, pattern.data(), window, 0), static_cast<ssize_t>(window));
  char* all = static_cast<char*>(mmap(nullptr, windows * window, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  ASSERT_NE(all, MAP_FAILED);
  for (size_t i = 0; i < windows; i++) {
    ASSERT_NE(mmap(all + i * window, window, PROT_READ, MAP_SHARED | MAP_FIXED | MAP_POPULATE, memory, 0), MAP_FAILED);
  }
  const size_t part = size_t{1} << 30;
  uint32_t expected = 0;
  for (size_t at = 0; at < size; at += part) expected = ToolCrc32cAdd(expected, all + at, std::min(part, size - at));
  EXPECT_EQ(ToolCrc32cAdd(0, all, size), expected);
  munmap(all, windows * window);
  close(memory);
}

}  // namespace
