// split, then join: the same bytes, the same access and write times, and a set laid out as the
// joiner reads it.
#include <sys/resource.h>
#include <sys/statvfs.h>

#include <signal.h>

#include "tests/cli/cli_test_support.h"

namespace {

struct RoundTripCase {
  int64_t size;
  uint64_t pieceSize;
  int pieces;  // files after the container
};

// With --size 40000 the container carries 40000 - 30720 = 9280 bytes, each piece 40000.
const RoundTripCase RoundTripCases[] = {
    {0, 40000, 0},                   // empty file: a container of the stub and the header only
    {1, 40000, 0},
    {9280, 40000, 0},                // ends exactly at the container's cap: no empty piece
    {9281, 40000, 1},                // one byte more: a piece of one byte
    {65536, 1 << 20, 0},             // exactly one copy block
    {65537, 1 << 20, 0},
    {65536, 40000, 2},               // blocks and pieces do not line up
    {9280 + 2 * 40000, 40000, 2},    // ends exactly at a piece boundary
    {9280 + 2 * 40000 + 1, 40000, 3},
};

class RoundTrip : public CliTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, JoinGivesBackTheBytesAndTimes) {
  const RoundTripCase& c = GetParam();
  std::string data = Pattern(static_cast<size_t>(c.size), static_cast<unsigned>(c.size));
  Write("data.bin", data);
  SetTimes(Path("data.bin"), 1600000000, 123456700, 1500000000, 987654300);
  struct stat source = StatOf(Path("data.bin"));

  Mkdir("set");
  ASSERT_EQ(Run({"split", "data.bin", "--size", std::to_string(c.pieceSize), "-d", "set", "-q"}), 0) << Err();
  std::set<std::string> expected{"data.exe"};
  for (int n = 1; n <= c.pieces; n++) {
    char suffix[PieceSuffixSize];
    PieceSuffix(n, suffix);
    expected.insert(std::string("data") + suffix);
    // Every piece but the last is full.
    int64_t pieceBytes = StatOf(Path("set/data" + std::string(suffix))).st_size;
    if (n < c.pieces) EXPECT_EQ(pieceBytes, static_cast<int64_t>(c.pieceSize));
    EXPECT_GT(pieceBytes, 0);
  }
  EXPECT_EQ(List("set"), expected);
  int64_t containerBytes = StatOf(Path("set/data.exe")).st_size;
  EXPECT_EQ(containerBytes, std::min<int64_t>(static_cast<int64_t>(c.pieceSize), PayloadOffset + c.size));

  Mkdir("out");
  ASSERT_EQ(Run({"join", "set/data.exe", "-o", "out"}), 0) << Err();
  EXPECT_NE(Out().find("complete"), std::string::npos);
  EXPECT_EQ(List("out"), std::set<std::string>{"data.bin"});
  struct stat joined = StatOf(Path("out/data.bin"));  // before reading: a read moves the access time
  EXPECT_EQ(joined.st_mtim.tv_sec, source.st_mtim.tv_sec);
  EXPECT_EQ(joined.st_mtim.tv_nsec, source.st_mtim.tv_nsec);
  EXPECT_EQ(joined.st_atim.tv_sec, 1600000000);
  EXPECT_EQ(joined.st_atim.tv_nsec, 123456700);
  EXPECT_TRUE(Read("out/data.bin") == data);

  EXPECT_EQ(Run({"info", "set/data.exe"}), 0);
  EXPECT_NE(Out().find("complete"), std::string::npos) << Out();
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTrip, ::testing::ValuesIn(RoundTripCases),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) {
                           return "size" + std::to_string(info.param.size) + "_cap" + std::to_string(info.param.pieceSize);
                         });

TEST_F(CliTest, AThousandPiecesAndMore) {
  // 1 byte in the container, then 1001 pieces of 30721 bytes and a short last one.
  const int64_t pieceSize = 30721;
  std::string data = Pattern(1 + 1001 * pieceSize + 7);
  Write("many.dat", data);
  ASSERT_EQ(Run({"split", "many.dat", "--size", "30721"}), 0) << Err();
  EXPECT_EQ(StatOf(Path("many.exe")).st_size, PayloadOffset + 1);
  EXPECT_EQ(StatOf(Path("many.c999")).st_size, pieceSize);
  EXPECT_EQ(StatOf(Path("many.c1001")).st_size, pieceSize);
  EXPECT_EQ(StatOf(Path("many.c1002")).st_size, 7);
  EXPECT_NE(Out().find("1002 pieces"), std::string::npos) << Out();
  Mkdir("out");
  ASSERT_EQ(Run({"join", "many.exe", "-o", "out/joined"}), 0) << Err();
  EXPECT_TRUE(Read("out/joined") == data);
}

TEST_F(CliTest, HeaderOfASplitSet) {
  // "Фильм.avi" in Windows-1251, the exact size and the times as FILETIME halves.
  Write("Фильм.avi", "hello");
  SetTimes(Path("Фильм.avi"), 1577934245, 123456700, 1577934245, 123456700);  // 2020-01-02 03:04:05.1234567
  ASSERT_EQ(Run({"split", "Фильм.avi"}), 0) << Err();
  std::string container = Read("Фильм.exe");
  ASSERT_EQ(container.size(), static_cast<size_t>(PayloadOffset + 5));
  std::string stub;
  ASSERT_TRUE(ReadWholeFile(TARNOVELL_STUB_PADDED, &stub));
  EXPECT_TRUE(container.compare(0, StubSize, stub) == 0) << "the padded stub of this build comes first";
  auto record = [&](int index) {
    const char* at = container.data() + HeaderOffset + index * HeaderRecordSize;
    return std::string(at + 1, static_cast<unsigned char>(at[0]));
  };
  EXPECT_EQ(record(RecordFileName), "\xD4\xE8\xEB\xFC\xEC.avi");
  EXPECT_EQ(record(RecordTotalSize), "5");
  // 132224078451234567 = 0x01D5C11A_D6AE8487 (the FILETIME of 2020-01-02 03:04:05.1234567)
  EXPECT_EQ(record(RecordLastWriteLow), std::to_string(132224078451234567ull & 0xFFFFFFFF));
  EXPECT_EQ(record(RecordLastWriteHigh), std::to_string(132224078451234567ull >> 32));
  EXPECT_EQ(record(RecordLastAccessLow), record(RecordLastWriteLow));
  EXPECT_EQ(record(RecordLastAccessHigh), record(RecordLastWriteHigh));
  EXPECT_EQ(container.substr(PayloadOffset), "hello");
  ASSERT_EQ(Run({"info", "Фильм.exe"}), 0);
  EXPECT_NE(Out().find("Accessed:  2020-01-02 03:04:05.1234567 UTC"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Name:      \"Фильм.avi\""), std::string::npos) << Out();
}

// A sparse file over 4 GiB: the container stops below 4 GiB, holes stay holes.
TEST_F(CliTest, SparseFileOverFourGiB) {
  const int64_t size = (9ll << 29) + 12345;  // 4.5 GiB and a bit
  int fd = open(Path("big.img").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  const int64_t marks[] = {0, PayloadOffset, 0xFFFFFFFFll - PayloadOffset - 3, 1ll << 32, size - 9};
  for (int64_t at : marks) ASSERT_EQ(pwrite(fd, "tarnovell", 9, at), 9);
  close(fd);
  if (StatOf(Path("big.img")).st_blocks * 512 > (64 << 20)) GTEST_SKIP() << "no sparse files here";

  ASSERT_EQ(Run({"split", "big.img", "--size", "5G", "-q"}), 0) << Err();
  EXPECT_EQ(StatOf(Path("big.exe")).st_size, 0xFFFFFFFFll);  // the largest image Windows runs
  EXPECT_EQ(StatOf(Path("big.c001")).st_size, size - (0xFFFFFFFFll - PayloadOffset));
  EXPECT_LT(StatOf(Path("big.exe")).st_blocks * 512, 64 << 20);
  ASSERT_EQ(Run({"join", "big.exe", "-o", "joined.img", "-q"}), 0) << Err();
  ASSERT_EQ(StatOf(Path("joined.img")).st_size, size);
  EXPECT_LT(StatOf(Path("joined.img")).st_blocks * 512, 64 << 20);
  // Holes read as zeros: the files are equal when they hold the same bytes wherever either has data.
  int a = open(Path("big.img").c_str(), O_RDONLY), b = open(Path("joined.img").c_str(), O_RDONLY);
  bool same = true;
  int64_t dataBytes = 0;
  for (int fd : {a, b}) {
    for (off_t at = lseek(fd, 0, SEEK_DATA); at >= 0 && same; at = lseek(fd, at, SEEK_DATA)) {
      off_t end = lseek(fd, at, SEEK_HOLE);
      std::vector<char> x(static_cast<size_t>(end - at)), y(x.size());
      same = pread(a, x.data(), x.size(), at) == static_cast<ssize_t>(x.size()) &&
             pread(b, y.data(), y.size(), at) == static_cast<ssize_t>(y.size()) && x == y;
      dataBytes += end - at;
      at = end;
    }
  }
  close(a);
  close(b);
  EXPECT_GT(dataBytes, 0);
  EXPECT_TRUE(same);
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
  // The input itself is never replaced, --force or not.
  Write("setup.exe", "MZ program");
  EXPECT_EQ(Run({"split", "setup.exe", "--force"}), ExitRefused);
  EXPECT_EQ(Read("setup.exe"), "MZ program");
  EXPECT_NE(Err().find("is the input file"), std::string::npos) << Err();
}

TEST_F(CliTest, SplitNamesAndSizes) {
  Write("日本.txt", "x");
  EXPECT_EQ(Run({"split", "日本.txt"}), ExitRefused);
  EXPECT_NE(Err().find("Windows-1251"), std::string::npos);
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "nihon.txt"}), ExitRefused) << "the base name has no 1251 form either";
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "nihon.txt", "--base", "nihon", "-q"}), 0) << Err();
  EXPECT_EQ(Read("nihon.exe").substr(HeaderOffset, 10), std::string("\x09nihon.txt"));
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "a\\b", "--base", "x"}), ExitRefused);
  EXPECT_EQ(Run({"split", "日本.txt", "--name", "a\tb", "--base", "x"}), ExitRefused);
  EXPECT_EQ(Run({"split", "日本.txt", "--name", std::string(256, 'n'), "--base", "x"}), ExitRefused);
  EXPECT_EQ(Run({"split", "日本.txt", "--base", "x", "--name", "n", "--size", "30720"}), ExitUsage);
  EXPECT_EQ(Run({"split", "日本.txt", "--base", "x", "--name", "n", "--size", "10Q"}), ExitUsage);
  EXPECT_EQ(Run({"split", "missing.txt"}), ExitFileError);
  EXPECT_EQ(List(), (std::set<std::string>{"日本.txt", "nihon.exe"}));
}

// A file that cannot be written (RLIMIT_FSIZE stands for a full disk) leaves nothing behind.
TEST_F(CliTest, WriteFailuresLeaveNothing) {
  Write("data.bin", Pattern(300000));
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "-q"}), 0);
  Mkdir("out");
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit limit = old;
  limit.rlim_cur = 150000;
  setrlimit(RLIMIT_FSIZE, &limit);
  int join = Run({"join", "data.exe", "-o", "out"});
  std::string joinErr = Err();
  int split = Run({"split", "data.bin", "--size", "200000", "-d", "out"});
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(join, ExitFileError);
  EXPECT_NE(joinErr.find("file system error"), std::string::npos) << joinErr;
  EXPECT_EQ(split, ExitFileError);
  EXPECT_EQ(List("out"), std::set<std::string>{});
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

}  // namespace
