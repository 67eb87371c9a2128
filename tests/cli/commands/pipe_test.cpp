// split - and join -o -: a set made from standard input is the set made from the file (but for
// the times in its header), and standard output gets the joined bytes and nothing else. Standard
// input is a file of the test's (CliIn) or a real pipe fed by a thread.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "container/digest_block.h"
#include "tests/cli/test_support.h"

namespace {

class PipeTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    signal(SIGPIPE, SIG_IGN);  // a feeding thread whose reader stopped gets EPIPE instead
  }
  void TearDown() override {
    if (in_ != nullptr) fclose(in_);
    CliIn = stdin;
    CliTest::TearDown();
  }
  // Standard input from a file of the scratch folder.
  void InputFrom(const std::string& name) {
    if (in_ != nullptr) fclose(in_);
    in_ = fopen(Path(name).c_str(), "rb");
    ASSERT_NE(in_, nullptr) << name;
    CliIn = in_;
  }
  // Standard input from a pipe that a thread fills with data in uneven writes, then closes.
  std::thread InputFromPipe(const std::string& data) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    if (in_ != nullptr) fclose(in_);
    in_ = fdopen(ends[0], "rb");
    CliIn = in_;
    return std::thread([data, fd = ends[1]] {
      size_t at = 0, step = 1000;
      while (at < data.size()) {
        ssize_t put = write(fd, data.data() + at, std::min(step, data.size() - at));
        if (put <= 0) break;  // the reader stopped
        at += static_cast<size_t>(put);
        step = step * 7 % 70001 + 1;
      }
      close(fd);
    });
  }
  // How far standard input has been read (a file's offset).
  int64_t InputRead() { return lseek(fileno(in_), 0, SEEK_CUR); }

  FILE* in_ = nullptr;
};

// Two containers alike but for the header's times: the same stub, name, size, data, and digest
// block (whose self-check covers the times, and so may differ).
void ExpectSameButTimes(const std::string& a, const std::string& b) {
  ASSERT_EQ(a.size(), b.size());
  const size_t sizeText = HeaderOffset + RecordTotalSize * HeaderRecordSize + DigestBlockStart;
  EXPECT_TRUE(a.compare(0, sizeText, b, 0, sizeText) == 0) << "stub, name and size";
  EXPECT_TRUE(a.compare(PayloadOffset, std::string::npos, b, PayloadOffset) == 0) << "data";
  DigestBlock blockA, blockB;
  ASSERT_TRUE(ReadDigestBlock(reinterpret_cast<const uint8_t*>(a.data() + HeaderOffset), &blockA));
  ASSERT_TRUE(ReadDigestBlock(reinterpret_cast<const uint8_t*>(b.data() + HeaderOffset), &blockB));
  blockA.Image.SelfCheck = blockB.Image.SelfCheck = 0;
  EXPECT_EQ(memcmp(&blockA.Image, &blockB.Image, sizeof blockA.Image), 0) << "digest block";
}

struct PipeCase {
  size_t size;
  int pieces;  // files after the container, at --size 40000 (the container carries 9280 bytes)
};

const PipeCase PipeCases[] = {
    {0, 0},                 // an empty input: the stub and the header, as from an empty file
    {5000, 0},              // less than the container holds
    {9280, 0},              // exactly the container: no empty piece
    {9280 + 3 * 40000, 3},  // an exact multiple of the piece size: no empty piece
    {9280 + 450 * 40000 + 7, 451},  // more than 395 pieces: a digest for each run of two
};

class PipeRoundTrip : public PipeTest, public ::testing::WithParamInterface<PipeCase> {};

TEST_P(PipeRoundTrip, SameSetAsFromTheFileAndTheBytesBack) {
  const PipeCase& c = GetParam();
  std::string data = Pattern(c.size, static_cast<unsigned>(c.size) + 1);
  Write("data.bin", data);
  Mkdir("file");
  Mkdir("pipe");
  ASSERT_EQ(Run({"split", "data.bin", "-s", "40000", "-d", "file", "-q"}), 0) << Err();
  InputFrom("data.bin");
  ASSERT_EQ(Run({"split", "-", "--name", "data.bin", "-s", "40000", "-d", "pipe"}), 0) << Err();
  EXPECT_NE(Out().find("data.bin: " + std::to_string(c.size) + " bytes in pipe/data.exe"),
            std::string::npos)
      << Out();

  std::set<std::string> files = List("file");
  EXPECT_EQ(files.size(), static_cast<size_t>(c.pieces) + 1);
  EXPECT_EQ(List("pipe"), files);
  ExpectSameButTimes(Read("pipe/data.exe"), Read("file/data.exe"));
  for (int n = 1; n <= c.pieces; n++)
    EXPECT_TRUE(Read("pipe/" + PieceFile("data", n)) == Read("file/" + PieceFile("data", n))) << n;
  EXPECT_EQ(Run({"verify", "pipe/data.exe", "-q"}), 0) << Out();

  ASSERT_EQ(Run({"join", "pipe/data.exe", "-o", "-"}), 0) << Err();
  EXPECT_TRUE(Out() == data) << "standard output holds the data alone";
  EXPECT_NE(Err().find("standard output: complete, " + std::to_string(c.size) + " bytes"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"data.bin", "file", "pipe"})) << "no file is made";
}

INSTANTIATE_TEST_SUITE_P(Sizes, PipeRoundTrip, ::testing::ValuesIn(PipeCases),
                         [](const ::testing::TestParamInfo<PipeCase>& info) {
                           return "size" + std::to_string(info.param.size);
                         });

// Pieces of whole pages from a stream: the container's data in whole pages, as from the file,
// also where the input fits the container's cap but not its whole pages.
TEST_F(PipeTest, PiecesOfWholePagesAsFromTheFile) {
  for (size_t size : {32768, 34000, 32768 + 2 * 65536 + 9}) {
    SCOPED_TRACE(size);
    std::string data = Pattern(size, 5);
    Write("data.bin", data);
    Mkdir("file");
    Mkdir("pipe");
    ASSERT_EQ(Run({"split", "data.bin", "-s", "64K", "-d", "file", "-q"}), 0) << Err();
    std::thread feed = InputFromPipe(data);
    int code = Run({"split", "-", "--name", "data.bin", "-s", "64K", "-d", "pipe", "-q"});
    feed.join();
    ASSERT_EQ(code, 0) << Err();
    EXPECT_EQ(SizeOf(Path("pipe/data.exe")), PayloadOffset + 32768);
    std::set<std::string> files = List("file");
    EXPECT_EQ(List("pipe"), files);
    ExpectSameButTimes(Read("pipe/data.exe"), Read("file/data.exe"));
    for (const std::string& name : files)
      if (name != "data.exe") EXPECT_TRUE(Read("pipe/" + name) == Read("file/" + name)) << name;
    ASSERT_EQ(Run({"join", "pipe/data.exe", "-o", "joined", "-q"}), 0) << Err();
    EXPECT_TRUE(Read("joined") == data);
    std::filesystem::remove_all(U8(Path("file")));
    std::filesystem::remove_all(U8(Path("pipe")));
    Remove("joined");
  }
}

// Through a real pipe, which gives its data in uneven reads, has no size and no times: the set
// records the time of the split, --recovery reads the files back before they are in place, and
// --checksums hashes the data as it goes by. Every file stays within the size: the pieces are cut
// so that the recovery files of a full group (253 files) would fit it.
TEST_F(PipeTest, RealPipeRecordsTheTimeOfTheSplit) {
  std::string data = Pattern(3 * 40000 + 12345, 7);
  std::thread feed = InputFromPipe(data);
  uint64_t before = FileTimeOfUnixTime(time(nullptr) - 1, 0);
  int code =
      Run({"split", "-", "--name", "tar.tar", "-s", "40000", "-q", "-r", "2", "--checksums"});
  feed.join();
  ASSERT_EQ(code, 0) << Err();
  uint64_t after = FileTimeOfUnixTime(time(nullptr) + 1, 0);
  std::set<std::string> files = List();
  EXPECT_EQ(files.size(), 29u) << "the container, 25 pieces, 2 recovery files, the checksums";
  EXPECT_EQ(files.count("tar.r02") + files.count("tar.c025") + files.count("tar.sha256"), 3u);
  for (const std::string& name : files) EXPECT_LE(SizeOf(Path(name)), 40000) << name;
  EXPECT_EQ(Run({"verify", "tar.exe"}), 0) << Out() << Err();
  EXPECT_NE(Out().find("tar.sha256: the SHA-256 of 28 files matches"), std::string::npos) << Out();
  Remove("tar.c002");
  ASSERT_EQ(Run({"repair", "tar.exe", "-q"}), 0) << Out() << Err();
  ASSERT_EQ(Run({"join", "tar.exe", "-o", "joined"}), 0) << Err();
  EXPECT_NE(Out().find("SHA-256 matches tar.sha256"), std::string::npos) << Out() << Err();
  FileTimes joined = TimesOf(Path("joined"));  // before reading: a read moves the access time
  EXPECT_TRUE(Read("joined") == data);
  EXPECT_GE(joined.Write, before);
  EXPECT_LE(joined.Write, after);
  EXPECT_EQ(joined.Access, joined.Write) << "one time, the split's, for all three";
}

// What standard input cannot give is refused before anything is read or made: a name, a size
// known in advance for --number.
TEST_F(PipeTest, NameRequiredAndNumberRefused) {
  Write("data.bin", Pattern(100000));
  InputFrom("data.bin");
  EXPECT_EQ(Run({"split", "-", "-s", "40000"}), ExitUsage);
  EXPECT_NE(Err().find("--name"), std::string::npos) << Err();
  EXPECT_EQ(Run({"split", "-", "--name", "data.bin", "-n", "3"}), ExitUsage);
  EXPECT_NE(Err().find("--number cannot be used with standard input"), std::string::npos) << Err();
  EXPECT_EQ(List(), std::set<std::string>{"data.bin"});
  EXPECT_EQ(InputRead(), 0);
}

// A FIFO or a descriptor (a shell's <(command)) named as the input is read as standard input is:
// the FIFO waited for until its writer comes, its name the joined file's; a descriptor has no
// name to give. A folder is told how to make one stream of it.
TEST_F(PipeTest, AFifoOrADescriptorNamedIsReadAsAStream) {
  std::string data = Pattern(100000, 3);
  ASSERT_EQ(mkfifo(Path("feed").c_str(), 0600), 0);
  std::thread writer([&] {  // comes late, and gives up after 5 s without a reader
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int fd = -1;
    for (int i = 0; i < 500 && fd < 0; i++, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
      fd = open(Path("feed").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return;
    fcntl(fd, F_SETFL, 0);
    EXPECT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    close(fd);
  });
  EXPECT_EQ(Run({"split", "feed", "-s", "40000", "-q"}), ExitComplete) << Err();
  writer.join();
  ASSERT_EQ(Run({"join", "feed.exe", "-o", "joined", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("joined") == data);

  std::thread feed = InputFromPipe(data);
  std::string descriptor = "/dev/fd/" + std::to_string(fileno(in_));
  EXPECT_EQ(Run({"split", descriptor, "-s", "40000"}), ExitUsage);
  EXPECT_NE(Err().find("give the joined file's name with --name NAME"), std::string::npos) << Err();
  EXPECT_EQ(Run({"split", descriptor, "--name", "d.bin", "-s", "40000", "-q"}), ExitComplete)
      << Err();
  feed.join();
  ASSERT_EQ(Run({"join", "d.exe", "-o", "-", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Out() == data);

  Mkdir("tree");
  EXPECT_EQ(Run({"split", "tree/", "-s", "1M"}), ExitUsage);
  EXPECT_NE(Err().find("`tar c tree | tarnovell split - --name tree.tar -s 1M`"), std::string::npos)
      << Err();
}

// More than 1000 files without --force, or more than the one group whose recovery files the
// pieces were cut to fit the size: refused as soon as the input reaches the file past them, with
// nothing left and the rest of the input unread.
TEST_F(PipeTest, TooManyFilesRefusedEarly) {
  const size_t pieceSize = 30721;  // the container carries 1 byte
  std::string data = Pattern(1 + 1000 * pieceSize + 3 * (1 << 20), 3);
  Write("many.dat", data);
  InputFrom("many.dat");
  EXPECT_EQ(Run({"split", "-", "--name", "many.dat", "-s", std::to_string(pieceSize)}), ExitUsage);
  EXPECT_NE(Err().find("more than 1000 files"), std::string::npos) << Err();
  EXPECT_EQ(List(), std::set<std::string>{"many.dat"});
  EXPECT_LT(InputRead(), static_cast<int64_t>(data.size()) - (1 << 20));
  InputFrom("many.dat");
  EXPECT_EQ(Run({"split", "-", "--name", "many.dat", "-s", "40000", "-r", "2"}), ExitUsage);
  EXPECT_NE(Err().find("standard input needs more than 253 files at --size 40000"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List(), std::set<std::string>{"many.dat"});
  EXPECT_LT(InputRead(), static_cast<int64_t>(data.size()) - (1 << 20));
}

// A failure while the data comes in (a write, a read of the pipe) or an interruption leaves no
// part of the set, and an older set of the same name as it was.
TEST_F(PipeTest, FailureMidPipeLeavesNothing) {
  static int chunks;
  Write("old.exe", "an older container");
  const std::vector<std::pair<int (*)(OsCall), int>> faults = {
      {[](OsCall call) { return call == OsCallCopy && ++chunks == 9 ? EIO : 0; }, ExitFileError},
      {[](OsCall call) {
         if (call == OsCallCopy && ++chunks == 9) CliInterrupted = 1;
         return 0;
       },
       ExitInterrupted}};
  for (const auto& fault : faults) {
    chunks = 0;
    CliInterrupted = 0;
    std::thread feed = InputFromPipe(Pattern(20 << 20, 5));
    OsFaultHook = fault.first;
    int code = Run({"split", "-", "--name", "old.bin", "-s", "1M", "-f"});
    OsFaultHook = nullptr;
    fclose(in_);  // the feeding thread stops at its next write
    in_ = nullptr;
    feed.join();
    EXPECT_EQ(code, fault.second) << Err();
    EXPECT_NE(Err().find("nothing was left behind"), std::string::npos) << Err();
    EXPECT_EQ(List(), std::set<std::string>{"old.exe"});
    EXPECT_EQ(Read("old.exe"), "an older container");
  }
}

// join -o -: a damaged piece is found as the data goes by; the bytes are out already, and the
// exit code and a message on stderr say so.
TEST_F(PipeTest, DamagedSetToStandardOutput) {
  std::string data = Pattern(9280 + 2 * 40000 + 5, 9);
  Write("data.bin", data);
  ASSERT_EQ(Run({"split", "data.bin", "-s", "40000", "-q"}), 0) << Err();
  ASSERT_TRUE(WriteBytesAt(Path("data.c001"), 100, "X"));
  data[9280 + 100] = 'X';
  EXPECT_EQ(Run({"join", "data.exe", "-o", "-"}), ExitMismatch);
  EXPECT_TRUE(Out() == data) << "every byte went out";
  EXPECT_NE(Err().find("the data written to standard output is possibly damaged"),
            std::string::npos)
      << Err();
  EXPECT_NE(Err().find("data.c001"), std::string::npos) << Err();
  // A missing piece is found before the first byte: nothing goes out.
  Remove("data.c002");
  EXPECT_EQ(Run({"join", "data.exe", "-o", "-"}), ExitMissingPiece);
  EXPECT_EQ(Out(), "");
}

// join -o - into a terminal would fill it with the file's bytes: refused, the set untouched.
TEST_F(PipeTest, JoinToATerminalRefused) {
  Write("data.bin", Pattern(1000));
  ASSERT_EQ(Run({"split", "data.bin", "-q"}), 0) << Err();
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pty here";
  FILE* terminal = fopen(ptsname(master), "wb");
  ASSERT_NE(terminal, nullptr);
  Capture();
  CliOut = terminal;
  EXPECT_EQ(RunCliArgs({"tarnovell", "join", "data.exe", "-o", "-"}), ExitUsage);
  CliOut = out_;
  fclose(terminal);
  close(master);
  EXPECT_NE(Err().find("standard output is a terminal"), std::string::npos) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"data.bin", "data.exe"}));
}

}  // namespace
