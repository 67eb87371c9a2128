// split, then join: the same bytes, the same access and write times, and a set laid out as the
// joiner reads it.
#include "tests/cli/test_support.h"

namespace {

struct RoundTripCase {
  int64_t size;
  uint64_t pieceSize;
  int pieces;  // files after the container
};

// With --size 40000 the container carries 40000 - 30720 = 9280 bytes, each piece 40000.
const RoundTripCase RoundTripCases[] = {
    {0, 40000, 0},  // empty file: a container of the stub and the header only
    {1, 40000, 0},
    {9280, 40000, 0},     // ends exactly at the container's cap: no empty piece
    {9281, 40000, 1},     // one byte more: a piece of one byte
    {65536, 1 << 20, 0},  // exactly one copy block
    {65537, 1 << 20, 0},
    {65536, 40000, 2},             // blocks and pieces do not line up
    {9280 + 2 * 40000, 40000, 2},  // ends exactly at a piece boundary
    {9280 + 2 * 40000 + 1, 40000, 3},
};

class RoundTrip : public CliTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, JoinGivesBackTheBytesAndTimes) {
  const RoundTripCase& c = GetParam();
  std::string data = Pattern(static_cast<size_t>(c.size), static_cast<unsigned>(c.size));
  Write("data.bin", data);
  SetTimes(Path("data.bin"), 1600000000, 123456700, 1500000000, 987654300);

  Mkdir("set");
  ASSERT_EQ(Run({"split", "data.bin", "--size", std::to_string(c.pieceSize), "-d", "set", "-q"}), 0)
      << Err();
  std::set<std::string> expected{"data.exe"};
  for (int n = 1; n <= c.pieces; n++) {
    char suffix[PieceSuffixSize];
    PieceSuffix(n, suffix);
    expected.insert(std::string("data") + suffix);
    // Every piece but the last is full.
    int64_t pieceBytes = SizeOf(Path("set/data" + std::string(suffix)));
    if (n < c.pieces) {
      EXPECT_EQ(pieceBytes, static_cast<int64_t>(c.pieceSize));
    }
    EXPECT_GT(pieceBytes, 0);
  }
  EXPECT_EQ(List("set"), expected);
  int64_t containerBytes = SizeOf(Path("set/data.exe"));
  EXPECT_EQ(containerBytes,
            std::min<int64_t>(static_cast<int64_t>(c.pieceSize), PayloadOffset + c.size));

  Mkdir("out");
  ASSERT_EQ(Run({"join", "set/data.exe", "-o", "out"}), 0) << Err();
  EXPECT_NE(Out().find("complete"), std::string::npos);
  EXPECT_EQ(List("out"), std::set<std::string>{"data.bin"});
  FileTimes joined = TimesOf(Path("out/data.bin"));  // before reading: a read moves the access time
  EXPECT_EQ(joined.Write, FileTimeOfUnixTime(1500000000, 987654300));
  EXPECT_EQ(joined.Access, FileTimeOfUnixTime(1600000000, 123456700));
  EXPECT_TRUE(Read("out/data.bin") == data);

  EXPECT_EQ(Run({"info", "set/data.exe"}), 0);
  EXPECT_NE(Out().find("complete"), std::string::npos) << Out();
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::ValuesIn(RoundTripCases),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) {
                           return "size" + std::to_string(info.param.size) + "_cap" +
                                  std::to_string(info.param.pieceSize);
                         });

TEST_F(CliTest, AThousandPiecesAndMore) {
  // 1 byte in the container, then 1001 pieces of 30721 bytes and a short last one.
  const int64_t pieceSize = 30721;
  std::string data = Pattern(1 + 1001 * pieceSize + 7);
  Write("many.dat", data);
  // More than 1000 files, whether by a size or a number, only with --force.
  for (const char* option : {"--size", "-n"}) {
    EXPECT_EQ(Run({"split", "many.dat", option, option[1] == 'n' ? "1001" : "30721"}), ExitUsage);
    EXPECT_EQ(List(), std::set<std::string>{"many.dat"});
  }
  EXPECT_NE(Err().find("1001 pieces"), std::string::npos) << Err();
  EXPECT_EQ(Run({"split", "many.dat", "-n", "1000", "-q"}), 0) << Err();
  EXPECT_EQ(SizeOf(Path("many.c998")), 30752) << "ceil(total / 1000) bytes each";
  EXPECT_EQ(SizeOf(Path("many.c999")), 30481) << "and the rest: 1000 files";
  ASSERT_EQ(Run({"split", "many.dat", "--size", "30721", "--force"}), 0) << Err();
  EXPECT_EQ(SizeOf(Path("many.exe")), PayloadOffset + 1);
  EXPECT_EQ(SizeOf(Path("many.c999")), pieceSize);
  EXPECT_EQ(SizeOf(Path("many.c1001")), pieceSize);
  EXPECT_EQ(SizeOf(Path("many.c1002")), 7);
  EXPECT_NE(Out().find("1002 pieces"), std::string::npos) << Out();
  Mkdir("out");
  ASSERT_EQ(Run({"join", "many.exe", "-o", "out/joined"}), 0) << Err();
  EXPECT_TRUE(Read("out/joined") == data);
  ExpectThePortableCommandJoins("many.exe", "many.dat", data);
}

// info's command for a receiver without the tool joins the set with a shell's own tools, the
// pieces in their order (past .c999 too, above) and any name quoted.
TEST_F(CliTest, InfoGivesACommandThatJoinsWithoutTheTool) {
  std::string data = Pattern(3 * 40000 + 5);
  Write("it's a $film.dat", data);
  ASSERT_EQ(Run({"split", "it's a $film.dat", "--size", "70720", "--base", "my set", "-q"}), 0) << Err();
  ExpectThePortableCommandJoins("my set.exe", "it's a $film.dat", data);
}

// -b, --bytes, -s and --size are one option, the last one given wins; -n cuts into N files.
TEST_F(CliTest, SplitByBytesOrByNumber) {
  std::string film = Pattern((5 << 19) + 3);  // 2.5 MiB and 3 bytes
  Write("my film.avi", film);
  const std::vector<std::vector<std::string>> sizes = {
      {"-b", "1M"}, {"--bytes", "1M"}, {"-s", "64K", "-b", "1M"}, {"-b", "64K", "--size", "1M"}};
  for (const auto& size : sizes) {
    std::vector<std::string> args = {"split", "my film.avi", "-q", "-f"};
    args.insert(args.end(), size.begin(), size.end());
    ASSERT_EQ(Run(args), 0) << size[0] << Err();
    EXPECT_EQ(List(),
              (std::set<std::string>{"my film.avi", "my film.exe", "my film.c001", "my film.c002"}))
        << size[0];
    // The container's data in whole pages: 1 MiB - 30720 bytes rounded down, 2048 bytes less.
    EXPECT_EQ(SizeOf(Path("my film.exe")), (1 << 20) - 2048) << size[0];
    EXPECT_EQ(SizeOf(Path("my film.c002")), (1 << 19) + 3 + PayloadOffset + 2048) << size[0];
  }
  // The summary names the pieces: a range, or the one piece once.
  ASSERT_EQ(Run({"split", "my film.avi", "-f", "-b", "1M"}), 0) << Err();
  EXPECT_NE(Out().find(" and 2 pieces (my film.c001 to my film.c002)\n"), std::string::npos)
      << Out();
  ASSERT_EQ(Run({"split", "my film.avi", "-f", "-b", "2M"}), 0) << Err();
  EXPECT_NE(Out().find(" and 1 piece (my film.c001)\n"), std::string::npos) << Out();
  EXPECT_EQ(Run({"split", "my film.avi", "-s", "1M", "-n", "3"}), ExitUsage);
  EXPECT_EQ(Run({"split", "my film.avi", "-n", "0"}), ExitUsage);
  EXPECT_EQ(Run({"split", "my film.avi", "-n", "x"}), ExitUsage);
  EXPECT_EQ(Run({"split", "my film.avi", "-n", std::to_string(film.size() + 1)}), ExitUsage);
  EXPECT_NE(Err().find("too few for"), std::string::npos) << Err();

  // Every file's data at most ceil(total / N) where N - 2 such pieces leave room; else the
  // container takes what floor(total / N) leaves over.
  const struct {
    size_t total, number, most;
  } cases[] = {{100000, 3, 33334}, {100000, 1, 100000}, {7, 2, 4},     {10, 6, 2},
               {10, 9, 2},         {10, 10, 1},         {1003, 7, 144}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + " in " + std::to_string(c.number));
    std::string data = Pattern(c.total, static_cast<unsigned>(c.number));
    Mkdir("n");
    Write("n/in.bin", data);
    ASSERT_EQ(Run({"split", "n/in.bin", "--number", std::to_string(c.number), "-d", "n", "-q"}), 0)
        << Err();
    EXPECT_EQ(List("n").size(), c.number + 1) << "the input and N files";
    EXPECT_LE(SizeOf(Path("n/in.exe")) - PayloadOffset, static_cast<int64_t>(c.most));
    for (size_t i = 1; i < c.number; i++) {
      char suffix[PieceSuffixSize];
      PieceSuffix(static_cast<int32_t>(i), suffix);
      EXPECT_LE(SizeOf(Path("n/in" + std::string(suffix))), static_cast<int64_t>(c.most)) << i;
    }
    EXPECT_EQ(Run({"verify", "n/in.exe", "-q"}), 0) << Out() << "a digest block of these sizes";
    ASSERT_EQ(Run({"join", "n/in.exe", "-o", "joined"}), 0) << Err();
    EXPECT_TRUE(Read("joined") == data);
    std::filesystem::remove_all(U8(Path("n")));
    Remove("joined");
  }

  // The base name is taken from --name when only that is given.
  ASSERT_EQ(Run({"split", "my film.avi", "--name", "Отчёт.2024.pdf", "-q"}), 0) << Err();
  EXPECT_EQ(SizeOf(Path("Отчёт.2024.exe")), PayloadOffset + static_cast<int64_t>(film.size()));
}

// Pieces of whole pages: the container's data is whole pages too, so every piece starts on a
// page boundary of the joined file. --number aligns pieces of a MiB or more, the N files kept.
TEST_F(CliTest, PiecesOfWholePagesStartOnPageBoundaries) {
  const struct {
    size_t total;
    int64_t first;  // the container's data
    int pieces;
  } cases[] = {{32768, 32768, 0},  // 64K - 30720 = 34816 bytes, whole pages 32768
               {34000, 32768, 1},  // within the cap, past its whole pages: a piece more
               {32768 + 3 * 65536 + 5, 32768, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.total);
    std::string data = Pattern(c.total, 3);
    Mkdir("p");
    Write("p/in.bin", data);
    ASSERT_EQ(Run({"split", "p/in.bin", "--size", "64K", "-d", "p", "-q"}), 0) << Err();
    EXPECT_EQ(SizeOf(Path("p/in.exe")), PayloadOffset + c.first);
    EXPECT_EQ(List("p").size(), static_cast<size_t>(c.pieces) + 2) << "the input and the set";
    if (c.pieces > 1) EXPECT_EQ(SizeOf(Path("p/in.c001")), 65536);
    EXPECT_EQ(Run({"verify", "p/in.exe", "-q"}), 0) << Out();
    ASSERT_EQ(Run({"join", "p/in.exe", "-o", "joined", "-q"}), 0) << Err();
    EXPECT_TRUE(Read("joined") == data);
    std::filesystem::remove_all(U8(Path("p")));
    Remove("joined");
  }

  const size_t total = (10 << 20) + 12345, number = 4;
  const int64_t most = static_cast<int64_t>((total + number - 1) / number) + 4095;
  std::string data = Pattern(total, 4);
  Write("n.bin", data);
  ASSERT_EQ(Run({"split", "n.bin", "--number", std::to_string(number), "-q"}), 0) << Err();
  EXPECT_EQ(List().size(), number + 1) << "the input and N files";
  int64_t first = SizeOf(Path("n.exe")) - PayloadOffset;
  EXPECT_EQ(first % 4096, 0) << first;
  EXPECT_LE(first, most);
  EXPECT_EQ(SizeOf(Path("n.c001")) % 4096, 0);
  EXPECT_LE(SizeOf(Path("n.c001")), most);
  EXPECT_EQ(SizeOf(Path("n.c002")), SizeOf(Path("n.c001")));
  EXPECT_LE(SizeOf(Path("n.c003")), SizeOf(Path("n.c001")));
  EXPECT_EQ(Run({"verify", "n.exe", "-q"}), 0) << Out();
  ASSERT_EQ(Run({"join", "n.exe", "-o", "joined", "-q"}), 0) << Err();
  EXPECT_TRUE(Read("joined") == data);
}

TEST_F(CliTest, HeaderOfASplitSet) {
  // "Фильм.avi" in Windows-1251, the exact size and the times as FILETIME halves.
  Write("Фильм.avi", "hello");
  SetTimes(Path("Фильм.avi"), 1577934245, 123456700, 1577934245,
           123456700);  // 2020-01-02 03:04:05.1234567
  ASSERT_EQ(Run({"split", "Фильм.avi"}), 0) << Err();
  std::string container = Read("Фильм.exe");
  ASSERT_EQ(container.size(), static_cast<size_t>(PayloadOffset + 5));
  std::string stub;
  ASSERT_TRUE(ReadFileBytes(BuildFile(TARNOVELL_STUB_PADDED), &stub));
  EXPECT_TRUE(container.compare(0, StubSize, stub) == 0)
      << "the padded stub of this build comes first";
  auto record = [&](int index) {
    const char* at = container.data() + HeaderOffset + index * HeaderRecordSize;
    return std::string(at + 1, static_cast<unsigned char>(at[0]));
  };
  EXPECT_EQ(record(RecordFileName), "\xD4\xE8\xEB\xFC\xEC.avi");
  EXPECT_EQ(record(RecordTotalSize), "5");
  // 132224078451234567 = 0x01D5C119_4AD6D707 (the FILETIME of 2020-01-02 03:04:05.1234567)
  EXPECT_EQ(record(RecordLastWriteLow), std::to_string(132224078451234567ull & 0xFFFFFFFF));
  EXPECT_EQ(record(RecordLastWriteHigh), std::to_string(132224078451234567ull >> 32));
  EXPECT_EQ(record(RecordLastAccessLow), record(RecordLastWriteLow));
  EXPECT_EQ(record(RecordLastAccessHigh), record(RecordLastWriteHigh));
  EXPECT_EQ(container.substr(PayloadOffset), "hello");
  ASSERT_EQ(Run({"info", "Фильм.exe"}), 0);
  EXPECT_NE(Out().find("Accessed:  2020-01-02 03:04:05.1234567 UTC"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Name:      \"Фильм.avi\""), std::string::npos) << Out();
}

// A sparse file over 4 GiB: the container stops below 4 GiB, the data lands where it belongs
// and the holes stay holes (under Wine too: the Windows side leaves blocks of zeros unwritten).
TEST_F(CliTest, SparseFileOverFourGiB) {
  const int64_t size = (9ll << 29) + 12345;  // 4.5 GiB and a bit
  ASSERT_TRUE(scratch::MakeSizedFile(Path("big.img"), size));
  // The largest image Windows runs is 4 GiB - 1 bytes; the container's data in whole pages ends
  // 2047 bytes before that.
  const int64_t containerEnd = 0xFFFFFFFFll - 2047;
  const int64_t marks[] = {
      0, PayloadOffset, containerEnd - PayloadOffset - 3, 0xFFFFFFFFll - 5, 1ll << 32, size - 9};
  for (int64_t at : marks) ASSERT_TRUE(WriteBytesAt(Path("big.img"), at, "tarnovell"));
  if (AllocatedSize(Path("big.img")) > (64 << 20)) GTEST_SKIP() << "no sparse files here";

  ASSERT_EQ(Run({"split", "big.img", "--size", "5G", "-q"}), 0) << Err();
  EXPECT_EQ(SizeOf(Path("big.exe")), containerEnd);
  EXPECT_EQ(SizeOf(Path("big.c001")), size - (containerEnd - PayloadOffset));
  EXPECT_LT(AllocatedSize(Path("big.exe")), 64 << 20);
  EXPECT_EQ(ReadBytesAt(Path("big.exe"), containerEnd - 3, 3), "tar")
      << "the mark across the container's end";
  EXPECT_EQ(ReadBytesAt(Path("big.c001"), 0, 6), "novell");
  ASSERT_EQ(Run({"join", "big.exe", "-o", "joined.img", "-q"}), 0) << Err();
  ASSERT_EQ(SizeOf(Path("joined.img")), size);
  EXPECT_LT(AllocatedSize(Path("joined.img")), 64 << 20);
  // Every mark in its place, with zeros around it: nothing shifted, nothing left over.
  for (int64_t at : marks) {
    int64_t from = std::max<int64_t>(0, at - 4096);
    int64_t to = std::min<int64_t>(size, at + 4096);
    EXPECT_TRUE(ReadBytesAt(Path("joined.img"), from, to - from) ==
                ReadBytesAt(Path("big.img"), from, to - from))
        << at;
  }
  EXPECT_EQ(ReadBytesAt(Path("joined.img"), 3ll << 30, 4), std::string(4, '\0'));
}

TEST_F(CliTest, SplitRefusesToOverwrite) {
  Write("a.txt", "data");
  Write("a.c001", "old");
  Write("a.exe", "not ours");
  EXPECT_EQ(Run({"split", "a.txt", "--size", "30722"}), ExitRefused);
  EXPECT_NE(Err().find("a.exe exists"), std::string::npos) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"a.txt", "a.c001", "a.exe"}));
  EXPECT_EQ(Read("a.exe"), "not ours");
  EXPECT_EQ(Run({"split", "a.txt", "--size", "30722", "--force", "-q"}), 0) << Err();
  EXPECT_EQ(Read("a.c001"), "ta");  // "da" rides in the container
  // The input itself is never replaced, --force or not: a set named after it takes another
  // base, which the summary gives; a base given that names it is refused.
  Write("setup.exe", "MZ program");
  EXPECT_EQ(Run({"split", "setup.exe", "--force"}), ExitComplete) << Err();
  EXPECT_EQ(Read("setup.exe"), "MZ program");
  EXPECT_EQ(Out(), "setup.exe: 10 bytes in setup-set.exe; named setup-set, as setup.exe is the "
                   "input (--base NAME gives another)\n");
  EXPECT_EQ(Run({"split", "setup.exe", "--base", "setup", "--force"}), ExitRefused);
  EXPECT_NE(Err().find("is the input file"), std::string::npos) << Err();
  EXPECT_EQ(Read("setup.exe"), "MZ program");
}

// A file that appears under a name of the set while the set is written (after the check for
// existing files) is not replaced: each file is put in place by a move that refuses to replace,
// and the ones already in place go again.
std::string AppearingPiece;

int WriteAppearingPiece(OsCall call) {
  if (call == OsCallCopy && !AppearingPiece.empty()) {
    WriteFileBytes(AppearingPiece, "appeared");
    AppearingPiece.clear();
  }
  return 0;
}

TEST_F(CliTest, AFileThatAppearsDuringTheSplitIsNotReplaced) {
  Write("data.bin", Pattern(100000));
  AppearingPiece = Path("data.c002");
  OsFaultHook = WriteAppearingPiece;
  EXPECT_EQ(Run({"split", "data.bin", "--size", "40000"}), ExitRefused);
  EXPECT_NE(Err().find("data.c002 appeared while the set was written; nothing was left behind"),
            std::string::npos)
      << Err();
  EXPECT_TRUE(Read("data.c002") == "appeared") << "replaced";
  EXPECT_EQ(List(), (std::set<std::string>{"data.bin", "data.c002"}))
      << "nothing of the set, no temporary file";
}

TEST_F(CliTest, SplitNamesAndSizes) {
  Write("日本.txt", "x");
  EXPECT_EQ(Run({"split", "日本.txt", "-q"}), 0) << "the exact name travels beside record 1";
  EXPECT_EQ(Read("日本.exe").substr(HeaderOffset, 7), std::string("\x06__.txt"));
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "nihon.txt", "--base", "nihon", "-q"}), 0) << Err();
  EXPECT_EQ(Read("nihon.exe").substr(HeaderOffset, 10), std::string("\x09nihon.txt"));
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "a\\b", "--base", "x"}), ExitRefused);
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "a\tb", "--base", "x"}), ExitRefused);
  EXPECT_EQ(Run({"split", "日本.txt", "--name", std::string(256, 'n'), "--base", "x"}),
            ExitRefused);
  EXPECT_EQ(Run({"split", "日本.txt", "--base", "x", "--name", "n", "--size", "30720"}), ExitUsage);
  EXPECT_EQ(Run({"split", "日本.txt", "--base", "x", "--name", "n", "--size", "10Q"}), ExitUsage);
  EXPECT_EQ(Run({"split", "missing.txt"}), ExitFileError);
  EXPECT_EQ(List(), (std::set<std::string>{"日本.txt", "日本.exe", "nihon.exe"}));
}

TEST_F(CliTest, InterruptedJoinLeavesNothing) {
  Write("data.bin", Pattern(100000));
  ASSERT_EQ(Run({"split", "data.bin", "-q"}), 0);
  Mkdir("out");
  CliInterrupted = 1;
  EXPECT_EQ(Run({"join", "data.exe", "-o", "out"}), ExitInterrupted);
  EXPECT_EQ(Run({"split", "data.bin", "--base", "again", "-d", "out"}), ExitInterrupted);
  EXPECT_EQ(List("out"), std::set<std::string>{});
}

TEST_F(CliTest, ForcedSplitRemovesTheRestOfAnOlderSet) {
  Write("v.bin", Pattern(9280 + 5 * 40000));
  ASSERT_EQ(Run({"split", "v.bin", "--size", "40000", "-q"}), ExitComplete) << Err();
  Write("v.c007", "after a gap: not of that set");
  Write("v.bin", Pattern(9280 + 2 * 40000 - 1, 2));
  EXPECT_EQ(Run({"split", "v.bin", "--size", "40000"}), ExitRefused);
  EXPECT_EQ(SizeOf(Path("v.c005")), 40000);
  EXPECT_EQ(Run({"split", "v.bin", "--size", "40000", "--force", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"v.bin", "v.exe", "v.c001", "v.c002", "v.c007"}));
  EXPECT_EQ(Run({"info", "v.exe"}), ExitComplete);
  EXPECT_EQ(Out().find("not needed"), std::string::npos) << Out();

  // The file being split is never one of those removed, even where the old numbering names it.
  ASSERT_EQ(Run({"split", "v.bin", "--size", "40000", "--force", "-q", "--base", "w"}),
            ExitComplete);
  Rename("v.bin", "w.c003");
  Write("w.c004", "old");
  ASSERT_EQ(Run({"split", "w.c003", "--size", "1G", "--force", "-q", "--base", "w"}), ExitComplete)
      << Err();
  EXPECT_TRUE(Read("w.c003") == Pattern(9280 + 2 * 40000 - 1, 2));
  EXPECT_EQ(List(), (std::set<std::string>{"v.exe", "v.c001", "v.c002", "v.c007", "w.exe", "w.c003",
                                           "w.c004"}));
}

TEST_F(CliTest, SplitStartsTheContainerWithTheStubGiven) {
  std::string stub = Pattern(StubSize, 5);
  Write("stub.bin", stub);
  Write("short.bin", stub.substr(1));
  Write("long.bin", stub + "x");
  Write("d.txt", "data");
  for (const char* bad : {"short.bin", "long.bin", "."}) {
    EXPECT_EQ(Run({"split", "d.txt", "--stub", bad}), ExitUsage) << bad;
    EXPECT_NE(Err().find("exactly 28672 bytes"), std::string::npos) << Err();
  }
  EXPECT_EQ(Run({"split", "d.txt", "--stub", "missing.bin"}), ExitFileError);
  EXPECT_EQ(List(), (std::set<std::string>{"stub.bin", "short.bin", "long.bin", "d.txt"}));
  ASSERT_EQ(Run({"split", "d.txt", "--stub", "stub.bin", "-q"}), ExitComplete) << Err();
  std::string container = Read("d.exe");
  EXPECT_TRUE(container.substr(0, StubSize) == stub);
  EXPECT_EQ(container.substr(PayloadOffset), "data");
  Mkdir("out");
  EXPECT_EQ(Run({"join", "d.exe", "-o", "out", "-q"}), ExitComplete);
  EXPECT_EQ(Read("out/d.txt"), "data");
}

}  // namespace
