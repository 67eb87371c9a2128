// Recovery files in every build of the tool (the Windows one codes them with our own GF(2^8)
// code, the Linux one with ISA-L): split --recovery writes them and repair rebuilds a lost piece
// from them; split --force still removes an older set's recovery files, which the new set does
// not have.
#include "tests/cli/test_support.h"

namespace {

using WindowsRecovery = CliTest;

TEST_F(WindowsRecovery, SplitRecoveryWritesThemAndRepairRebuildsALostPiece) {
  std::string bytes = Pattern(100000, 3);
  Write("set.bin", bytes);
  ASSERT_EQ(Run({"split", "set.bin", "-s", "64000", "--recovery", "2", "-q"}), ExitComplete)
      << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"set.bin", "set.exe", "set.c001", "set.c002", "set.c003",
                                           "set.r01", "set.r02"}));
  std::string piece = Read("set.c002");
  Remove("set.c002");
  Write("set.c003", Read("set.c003").replace(5, 3, "bad"));
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("set.c002") == piece);
  EXPECT_EQ(Run({"join", "set.exe", "-o", "joined.bin", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("joined.bin") == bytes);
}

TEST_F(WindowsRecovery, SplitForceRemovesAnOlderSetsRecoveryFiles) {
  Write("set.bin", Pattern(100000, 3));
  for (const char* name : {"set.r01", "set.r02", "set.r04"}) Write(name, "older");
  Mkdir("set.r03");
  ASSERT_EQ(Run({"split", "set.bin", "--force", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"set.bin", "set.exe", "set.r03"}));
}

}  // namespace
