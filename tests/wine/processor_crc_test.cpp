// The stub's CRC-32C in the Windows build, on the processor this program runs on (under qemu-i386
// that is the one QEMU_CPU names). Both ways give the published check value and agree with each
// other around the instruction's three-chunk units; and where the run says which processor it
// gave (TARNOVELL_EXPECT_SSE42 and TARNOVELL_EXPECT_SSSE3, 1 or 0), the stub's own questions
// answer as that processor would (SSE4.2: its CRC; SSSE3: its coding of a rebuilt piece), so a run
// meant for a table way cannot quietly take the instruction's, or the other way round.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "integrity/crc32c.h"
#include "recovery/gf256.h"
#include "tests/support/test_bytes.h"

namespace {

TEST(ProcessorCrc, TheProcessorIsTheOneTheRunAskedFor) {
  const char* expected = std::getenv("TARNOVELL_EXPECT_SSE42");
  if (expected == nullptr) GTEST_SKIP() << "this run names no processor";
  EXPECT_EQ(ProcessorHasCrc32c(), std::string(expected) == "1");
  EXPECT_EQ(ProcessorHasSsse3(), std::string(std::getenv("TARNOVELL_EXPECT_SSSE3")) == "1");
}

TEST(ProcessorCrc, TheWayTakenGivesTheCheckValueAndMatchesTheTable) {
  EXPECT_EQ(Crc32cAdd(0, "123456789", 9), 0xE3069283u);
  EXPECT_EQ(Crc32cAddByTable(0, "123456789", 9), 0xE3069283u);
  const size_t unit = 3 * 4096;
  std::string bytes = Pattern(3 * unit + 17, 5);
  for (size_t length :
       {size_t{0}, size_t{3}, unit - 1, unit, unit + 5, 2 * unit + 4, bytes.size()}) {
    uint32_t table = Crc32cAddByTable(0, bytes.data(), length);
    EXPECT_EQ(Crc32cAdd(0, bytes.data(), length), table) << length;
    if (ProcessorHasCrc32c()) {
      EXPECT_EQ(Crc32cAddByInstruction(0, bytes.data(), length), table) << length;
    }
  }
}

}  // namespace
