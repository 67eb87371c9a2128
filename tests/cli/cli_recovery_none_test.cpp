// Recovery files in the Windows build, which has no ISA-L: split --recovery and repair say so
// with the usage code before anything is written; split --force still removes an older set's
// recovery files, which the new set does not have.
#include "tests/cli/cli_test_support.h"

namespace {

using RecoveryNone = CliTest;

TEST_F(RecoveryNone, SplitRecoveryAndRepairAreRefusedBeforeAnythingIsWritten) {
  Write("set.bin", Pattern(100000, 3));
  std::set<std::string> before = List();
  EXPECT_EQ(Run({"split", "set.bin", "--recovery", "2"}), ExitUsage);
  EXPECT_NE(Err().find("recovery files are not available in this build"), std::string::npos)
      << Err();
  EXPECT_EQ(List(), before);
  ASSERT_EQ(Run({"split", "set.bin", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitUsage);
  EXPECT_NE(Err().find("recovery files are not available in this build"), std::string::npos)
      << Err();
}

TEST_F(RecoveryNone, SplitForceRemovesAnOlderSetsRecoveryFiles) {
  Write("set.bin", Pattern(100000, 3));
  for (const char* name : {"set.r01", "set.r02", "set.r04"}) Write(name, "older");
  Mkdir("set.r03");
  ASSERT_EQ(Run({"split", "set.bin", "--force", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"set.bin", "set.exe", "set.r03"}));
}

}  // namespace
