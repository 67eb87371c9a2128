// Recovery files through the tool: split --recovery writes them with the set, repair rebuilds
// lost, damaged and truncated files (the container among them) or changes nothing, verify tells
// which it is. Every case compares the files byte for byte with the set as split made it.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <functional>
#include <map>

#include "cli/set/checksums.h"
#include "cli/set/module_files.h"
#include "cli/show/text.h"
#include "integrity/crc32c.h"
#include "recovery/recovery_format.h"
#include "tests/cli/test_support.h"
#include "tests/recovery/recovery_fixture.h"

namespace {

// A small set: the container and five pieces of 16384 bytes of data (the whole pages that leave
// each recovery file within Cap), the last of 3616.
const int64_t Cap = 48 << 10;
const int64_t InputSize = 5 * 16384 + 3616;
const int SetFiles = 6;

std::string SetFile(int n) {
  if (n == 0) return "set.exe";
  char suffix[PieceSuffixSize];
  PieceSuffix(n, suffix);
  return std::string("set") + suffix;
}

std::string RowFile(int row) { return "set" + RecoverySuffix(row); }

enum Harm { Deleted, Flipped, Truncated };

class Recovery : public CliTest {
 protected:
  using Files = std::map<std::string, std::string>;

  // Splits a fresh input into the set with rows recovery files; the input is removed.
  void MakeSet(int rows, const std::vector<std::string>& more = {}) {
    Write("set.bin", Pattern(static_cast<size_t>(InputSize), 7));
    std::vector<std::string> args = {
        "split", "set.bin", "--size", std::to_string(Cap), "--recovery", std::to_string(rows),
        "-q"};
    args.insert(args.end(), more.begin(), more.end());
    ASSERT_EQ(Run(args), ExitComplete) << Err();
    Remove("set.bin");
    pristine_ = Snapshot();
    size_t sums = static_cast<size_t>(std::count(more.begin(), more.end(), "--checksums"));
    ASSERT_EQ(pristine_.size(), static_cast<size_t>(SetFiles + rows) + sums);
  }
  // Every file of the scratch folder with its bytes.
  Files Snapshot() {
    Files files;
    for (const std::string& name : List()) files[name] = Read(name);
    return files;
  }
  // The names of the files that differ from expected (or are there in one only); "" when none.
  std::string Differences(const Files& expected) {
    Files now = Snapshot();
    std::string names;
    for (const auto& file : expected)
      if (now.count(file.first) == 0 || now[file.first] != file.second) names += file.first + " ";
    for (const auto& file : now)
      if (expected.count(file.first) == 0) names += file.first + " ";
    return names;
  }
  void Restore(const Files& files) {
    for (const std::string& name : List()) Remove(name);
    for (const auto& file : files) Write(file.first, file.second);
  }
  void FlipBit(const std::string& name, int64_t offset) {
    std::string byte = ReadBytesAt(Path(name), offset, 1);
    ASSERT_EQ(byte.size(), 1u) << name;
    byte[0] = static_cast<char>(byte[0] ^ 0x10);
    ASSERT_TRUE(WriteBytesAt(Path(name), offset, byte));
  }
  // Harms file n; variant picks where a bit flips in the container: its stub, its header or its
  // data (payloadOnly: always its data, so that the file needs a recovery row).
  void Hurt(int n, Harm harm, int variant, bool payloadOnly = false) {
    std::string name = SetFile(n);
    int64_t size = static_cast<int64_t>(pristine_[name].size());
    if (harm == Deleted) return Remove(name);
    if (harm == Truncated)
      return std::filesystem::resize_file(U8(Path(name)), static_cast<uintmax_t>(size / 2));
    int64_t spots[3] = {size / 5, size * 3 / 5, size * 4 / 5};  // the container: stub, header, data
    FlipBit(name, n == 0 && payloadOnly ? size - 7 : spots[variant % 3]);
  }
  // Row r's recovery file replaced by its header as edit leaves it, sealed again, without parity:
  // a forgery that checks.
  void Forge(int row, const std::function<void(RecoveryHeader*)>& edit) {
    const std::string& genuine = pristine_[RowFile(row)];
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(genuine.data());
    RecoveryHeader header;
    ASSERT_TRUE(ParseRecoveryFixed(bytes, &header));
    ASSERT_TRUE(ParseRecoveryHeader(bytes, header.HeaderLength, &header));
    edit(&header);
    std::vector<uint8_t> forged = RecoveryHeaderBytes(header);
    Write(RowFile(row), std::string(forged.begin(), forged.end()));
  }
  // verify of the container says verifyLine (its code the pieces': whole), and repair of
  // repairPath refuses (code 7) saying repairText. The caller checks that nothing changed.
  void ExpectRefused(const std::string& verifyLine, const std::string& repairPath,
                     const std::string& repairText) {
    EXPECT_EQ(Run({"verify", "set.exe"}), ExitComplete);
    EXPECT_NE(Out().find(verifyLine), std::string::npos) << Out();
    EXPECT_EQ(Run({"repair", repairPath}), ExitNotRepairable);
    EXPECT_NE(Err().find(repairText), std::string::npos) << Err();
  }
  void ExpectRebuilt(unsigned mask) {
    std::string out = Out();
    for (int n = 0; n < SetFiles; n++) {
      bool named = out.find("rebuilt " + SetFile(n) + "\n") != std::string::npos;
      EXPECT_EQ(named, (mask >> n & 1) != 0) << SetFile(n) << "\n" << out;
    }
  }

  // A forged container beside real pieces (see its definition).
  void ForgeContainer();

  Files pristine_;
};

// A file of the set to harm: how, and where a bit flips in the container (see Hurt).
struct BadFile {
  int File;
  Harm How;
  int Variant;
};

// Each harm, the container among the bad files in each of its parts, and N bad files at the edge
// of N, through real files; every combination is proved by the module's own tests, in memory
// (tests/recovery/recovery_repair_test.cpp).
TEST_F(Recovery, RepairRebuildsUpToNBadFilesOfEachKind) {
  const std::map<int, std::vector<std::vector<BadFile>>> cases = {
      // N = 1: the container deleted, cut, a bit flipped in its stub, header or data; a piece
      // deleted, flipped, the last one cut.
      {1,
       {{{0, Deleted, 0}},
        {{0, Truncated, 0}},
        {{0, Flipped, 0}},
        {{0, Flipped, 1}},
        {{0, Flipped, 2}},
        {{2, Deleted, 0}},
        {{3, Flipped, 0}},
        {{5, Truncated, 0}}}},
      // N = 2: two bad, the container among them; one.
      {2, {{{0, Truncated, 0}, {5, Flipped, 0}}, {{1, Deleted, 0}}}},
      // N = 3: three bad, with the container and without; the container's stub (no row) and two.
      {3,
       {{{0, Flipped, 2}, {1, Deleted, 0}, {5, Truncated, 0}},
        {{2, Truncated, 0}, {3, Deleted, 0}, {4, Flipped, 0}},
        {{0, Flipped, 0}, {1, Flipped, 0}, {2, Flipped, 0}}}},
  };
  for (const auto& rowsCases : cases) {
    MakeSet(rowsCases.first);
    for (const std::vector<BadFile>& bad : rowsCases.second) {
      unsigned mask = 0;
      std::string trace = "rows " + std::to_string(rowsCases.first) + ", bad:";
      for (const BadFile& file : bad) {
        mask |= 1u << file.File;
        trace += " " + SetFile(file.File) + " harm " + std::to_string(file.How) + " variant " +
                 std::to_string(file.Variant);
      }
      SCOPED_TRACE(trace);
      Restore(pristine_);
      for (const BadFile& file : bad) Hurt(file.File, file.How, file.Variant);
      ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Out() << Err();
      ExpectRebuilt(mask);
      // Where the container's header is gone or damaged, a damaged piece is bad on the recovery
      // files' word alone and is kept beside its rebuilt file.
      bool vouching = true;
      std::string kept;
      for (const BadFile& file : bad)
        vouching &= file.File != 0 || (file.How == Flipped && file.Variant != 1);
      for (const BadFile& file : bad)
        if (!vouching && file.File != 0 && file.How == Flipped) kept += SetFile(file.File) + ".1 ";
      ASSERT_EQ(Differences(pristine_), kept);
    }
    Restore({});
  }
}

// One bad file more than N, the container among them or not, for each N: nothing changes.
TEST_F(Recovery, OneBadFileMoreThanRecoveryFilesChangesNothing) {
  const std::map<int, std::vector<unsigned>> cases = {{1, {0x21, 0x0C}}, {2, {0x0E}}, {3, {0x35}}};
  for (const auto& rowsCases : cases) {
    int rows = rowsCases.first;
    MakeSet(rows);
    for (unsigned mask : rowsCases.second) {
      SCOPED_TRACE("rows " + std::to_string(rows) + " mask " + std::to_string(mask));
      ASSERT_EQ(__builtin_popcount(mask), rows + 1);
      Restore(pristine_);
      for (int n = 0, j = 0; n < SetFiles; n++)
        if (mask >> n & 1) Hurt(n, static_cast<Harm>(j++ % 3), 0, true);
      Files before = Snapshot();
      ASSERT_EQ(Run({"repair", "set.exe"}), ExitNotRepairable) << Out() << Err();
      EXPECT_NE(Out().find("not repairable: " + std::to_string(rows + 1) + " files bad, " +
                           std::to_string(rows) + " recovery file"),
                std::string::npos)
          << Out();
      for (int n = 0; n < SetFiles; n++)
        if (mask >> n & 1)
          EXPECT_NE(Out().find("  " + SetFile(n) + ": "), std::string::npos) << SetFile(n);
      EXPECT_EQ(Differences(before), "");
    }
    Restore({});
  }
}

// Damaged recovery files count as lost rows; once the set is whole they are made again.
TEST_F(Recovery, DamagedRecoveryFilesCountAsLostRows) {
  MakeSet(2);
  // A flipped bit in r01's parity, one lost piece: r02 alone rebuilds it, then r01 is made again.
  FlipBit(RowFile(0), static_cast<int64_t>(pristine_[RowFile(0)].size()) - StubSize - 100);
  Remove(SetFile(3));
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Out() << Err();
  EXPECT_NE(Out().find("  set.r01: damaged recovery file\n"), std::string::npos) << Out();
  EXPECT_NE(Out().find("made again set.r01\n"), std::string::npos) << Out();
  EXPECT_EQ(Differences(pristine_), "");
  // A whole set: only the recovery file is made again.
  FlipBit(RowFile(1), 3000);
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Out() << Err();
  EXPECT_NE(Out().find("made again set.r02\n"), std::string::npos) << Out();
  EXPECT_EQ(Differences(pristine_), "");
  // r02's header broken and r01's parity: two rows lost, one bad file is too many.
  FlipBit(RowFile(0), static_cast<int64_t>(pristine_[RowFile(0)].size()) - StubSize - 100);
  FlipBit(RowFile(1), 20);
  FlipBit(SetFile(1), 100);
  Files before = Snapshot();
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitNotRepairable) << Out();
  EXPECT_NE(Out().find("  set.r02: damaged recovery file (its header)\n"), std::string::npos)
      << Out();
  EXPECT_NE(Out().find("not repairable: 1 file bad, 0 recovery files"), std::string::npos) << Out();
  EXPECT_EQ(Differences(before), "");
  // A deleted recovery file with r01 whole again: r01 alone rebuilds the piece.
  Restore(pristine_);
  Remove(RowFile(1));
  FlipBit(SetFile(2), 100);
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Out();
  EXPECT_NE(Out().find("  set.r02: missing recovery file\n"), std::string::npos) << Out();
  EXPECT_EQ(Differences(pristine_), "");
}

// A recovery file found under another case, its header broken: named as it is, and made again
// in its place rather than beside it.
TEST_F(Recovery, ARecoveryFileInAnotherCaseIsMadeAgainInItsPlace) {
  MakeSet(2);
  Rename(RowFile(1), "set.R02");
  FlipBit("set.R02", 20);
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Out() << Err();
  EXPECT_NE(Out().find("  set.R02: damaged recovery file (its header)\n"), std::string::npos)
      << Out();
  EXPECT_NE(Out().find("made again set.R02\n"), std::string::npos) << Out();
  EXPECT_FALSE(std::filesystem::exists(U8(Path(RowFile(1))))) << "a second copy beside it";
  EXPECT_EQ(Read("set.R02"), pristine_[RowFile(1)]);
}

// One byte flipped in each of ten pieces of about 1 MiB, each in a slice of its own: the slices fit
// the pieces (64 KiB here, not 1 MiB, which would put every flip in stripe 0), verify names the
// slice of each, in the file's own offsets, and one recovery file repairs them all exactly.
TEST_F(Recovery, OneRecoveryFileRepairsADamagedSliceInEveryFile) {
  Write("big.bin", Pattern(static_cast<size_t>((10 << 20) - 400000), 5));
  ASSERT_EQ(Run({"split", "big.bin", "--size", "1M", "--recovery", "1", "-q"}), ExitComplete)
      << Err();
  Remove("big.bin");
  Files pristine = Snapshot();
  const std::string& row = pristine["big.r01"];
  int64_t slice = static_cast<uint8_t>(row[52]) | static_cast<uint8_t>(row[53]) << 8 |
                  static_cast<uint8_t>(row[54]) << 16 | static_cast<int64_t>(row[55]) << 24;
  ASSERT_EQ(slice, 64 << 10);
  std::string lines;
  int n = 0;
  for (std::string name = "big.exe"; pristine.count(name) != 0; name = "big" + SetFile(++n).substr(3)) {
    int64_t first = (n == 0 ? 30720 : 0) + n * slice;
    FlipBit(name, first + 1000 + n);
    int64_t end = std::min(first + slice, static_cast<int64_t>(pristine[name].size()));
    lines += "  " + name + ": damaged in bytes " + std::to_string(first) + " to " +
             std::to_string(end - 1) + "\n";
  }
  ASSERT_GE(n, 10);
  EXPECT_EQ(Run({"verify", "big.exe"}), ExitMismatch);
  EXPECT_NE(Out().find(lines + "Result:    possibly damaged: fetch the pieces named again\n" +
                       "Recovery:  repairable with the 1 recovery file"),
            std::string::npos)
      << Out();
  EXPECT_EQ(Run({"verify", "big.exe", "--json"}), ExitMismatch);
  std::string json = Out();
  json.erase(std::remove_if(json.begin(), json.end(), isspace), json.end());
  const std::string third = "[" + std::to_string(3 * slice) + "," + std::to_string(4 * slice - 1);
  EXPECT_NE(json.find("\"name\":\"big.c003\",\"verdict\":\"damaged\",\"bad_bytes\":[" + third + "]]"),
            std::string::npos)
      << json;
  ASSERT_EQ(Run({"repair", "big.exe", "-q"}), ExitComplete) << Err() << Out();
  EXPECT_EQ(Differences(pristine), "");
}

// The bytes the recovery files find damaged are told with the lines of the set's files, before
// the result, the same with -q: for a set verify judges by its digests, and for one whose header's
// digest block no longer checks (judged by the copy of the header in the recovery files).
TEST_F(Recovery, VerifyTellsTheDamagedBytesBeforeItsResult) {
  MakeSet(2);
  FlipBit(SetFile(2), 100);
  FlipBit(SetFile(5), 100);
  const std::string lastBytes = "0 to " + std::to_string(pristine_[SetFile(5)].size() - 1);
  const std::string judged =
      "set.exe: digests: CRC-32C of each of the 6 pieces\n"
      "  set.c002: damaged: its data differs from its digest\n"
      "  set.c005: damaged: its data differs from its digest\n"
      "  set.c002: damaged in bytes 0 to 16383\n"
      "  set.c005: damaged in bytes " +
      lastBytes +
      "\n"
      "Result:    possibly damaged: fetch the pieces named again\n"
      "Recovery:  repairable with the 2 recovery files: tarnovell repair set.exe\n";
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch);
  EXPECT_EQ(Out(), judged);
  EXPECT_EQ(Run({"verify", "set.exe", "-q"}), ExitMismatch);
  EXPECT_EQ(Out(), judged);

  FlipBit(SetFile(5), 100);
  FlipBit("set.exe", HeaderOffset + 2 * HeaderRecordSize + 200);  // the digest block fails
  const std::string byCopy =
      "set.exe: digests: CRC-32C of each of the 6 pieces\n"
      "  set.c002: damaged: its data differs from its digest\n"
      "  set.exe: its header is damaged (its digest block no longer checks); the set is read by "
      "the copy in set.r01\n"
      "  set.c002: damaged in bytes 0 to 16383\n"
      "Result:    possibly damaged: fetch the pieces named again\n"
      "Recovery:  repairable with the 2 recovery files: tarnovell repair set.exe\n";
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch);
  EXPECT_EQ(Out(), byCopy);
  EXPECT_EQ(Run({"verify", "set.exe", "-q"}), ExitMismatch);
  EXPECT_EQ(Out(), byCopy);
}

// The bytes this process has read so far (rchar of /proc/self/io), and those its views showed.
int64_t BytesRead() {
  std::string io = ReadBytesAt("/proc/self/io", 0, 4096);
  size_t at = io.find("rchar: ");
  return at == std::string::npos ? -1 : std::stoll(io.substr(at + 7)) + OsViewedBytes();
}

// verify of a set with recovery files reads the set once: the survey of the recovery files takes
// the pieces the digests found whole, and reads again only the one found damaged.
TEST_F(Recovery, VerifyReadsTheSetOnce) {
  const int64_t size = 8 << 20;
  Write("once.bin", Pattern(static_cast<size_t>(size), 3));
  ASSERT_EQ(Run({"split", "once.bin", "--size", "1M", "--recovery", "1", "-q"}), ExitComplete);
  Remove("once.bin");
  int64_t recovery = static_cast<int64_t>(Read("once.r01").size());
  int64_t before = BytesRead();
  ASSERT_GE(before, 0);
  EXPECT_EQ(Run({"verify", "once.exe"}), ExitComplete) << Out();
  int64_t read = BytesRead() - before;
  EXPECT_GT(read, size + recovery);  // the set, the recovery file
  EXPECT_LT(read, size + recovery + (1 << 20)) << "the set read twice";
  FlipBit("once.c003", 5);
  before = BytesRead();
  EXPECT_EQ(Run({"verify", "once.exe"}), ExitMismatch) << Out();
  read = BytesRead() - before;
  EXPECT_GT(read, size + recovery + (1 << 20) - 40000) << "the damaged piece read again";
  EXPECT_LT(read, size + recovery + (2 << 20));
}

TEST_F(Recovery, RepairFromARecoveryFileRebuildsTheLostContainer) {
  MakeSet(2);
  Remove("set.exe");
  // Verify judges the set by its recovery files, given the lost container's name or a recovery
  // file's; join names them and the repair.
  for (const char* path : {"set.exe", "set.r02"}) {
    EXPECT_EQ(Run({"verify", path}), ExitMissingPiece) << path << Err();
    EXPECT_EQ(Out(),
              "set.exe: missing: the set's recovery files judge its files\n"
              "  set.exe: missing\n"
              "Result:    missing pieces: fetch them, or repair the set\n"
              "Recovery:  repairable with the 2 recovery files: tarnovell repair set.exe\n");
  }
  EXPECT_EQ(Run({"join", "set.c002"}), ExitFileError);
  EXPECT_NE(Err().find("(set.r01, set.r02): `tarnovell repair set.exe` rebuilds it"),
            std::string::npos)
      << Err();
  Remove(SetFile(5));
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitComplete)
      << Err();  // the container's name, though it is lost
  EXPECT_EQ(Differences(pristine_), "");
  Remove("set.exe");
  ASSERT_EQ(Run({"repair", Path(RowFile(1))}), ExitComplete) << Out() << Err();
  ExpectRebuilt(1);
  EXPECT_EQ(Differences(pristine_), "");
  EXPECT_EQ(Out().find("joiner program differs"), std::string::npos) << Out();
  EXPECT_EQ(Run({"repair", "set.r00"}), ExitUsage);
  EXPECT_EQ(Run({"repair", "set.c001", "-q"}), ExitComplete) << Err();  // a piece names its set
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete);
  EXPECT_EQ(Out(), "");
}

// A renamed container ("set (1).exe") repairs its set through --pieces-base; without it, repair
// says what to give, and only to a container whose own pieces are not beside it.
TEST_F(Recovery, ARenamedContainerRepairsItsSetThroughPiecesBase) {
  MakeSet(1);
  std::string piece = Read(SetFile(3));
  Rename("set.exe", "set (1).exe");
  Remove(SetFile(3));
  EXPECT_EQ(Run({"repair", "set (1).exe"}), ExitNotRepairable);
  EXPECT_NE(Err().find("--pieces-base"), std::string::npos) << Err();
  EXPECT_EQ(Run({"repair", "set (1).exe", "-q", "--pieces-base", "set.exe"}), ExitComplete)
      << Out() << Err();
  EXPECT_EQ(Read(SetFile(3)), piece);
  EXPECT_EQ(Run({"verify", "set (1).exe", "-q"}), ExitComplete) << Err();
  // Beside its own pieces, a container of a set without recovery files is not a renamed one.
  Rename("set (1).exe", "set.exe");
  Remove(RowFile(0));
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitNotRepairable);
  EXPECT_EQ(Err(), "tarnovell: not repairable: no recovery file set.r01, ... was found: repair "
                   "rebuilds files from those alone, which split makes with --recovery N\n");
}

// The summary gives what the recovery files cost and what they mend; P % is rounded to the
// nearest file, and the summary says so.
TEST_F(Recovery, TheSummaryTellsTheCostOfRecovery) {
  Write("set.bin", Pattern(static_cast<size_t>(InputSize), 7));
  ASSERT_EQ(Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "20%"}),
            ExitComplete)
      << Err();
  int64_t set = 0;
  for (int n = 0; n < SetFiles; n++) set += SizeOf(Path(SetFile(n)));
  EXPECT_NE(Out().find(", 1 recovery file (set.r01) for 20% of the 6 files (1.2, rounded down)"),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("\nRecovery: " + FormatSize(SizeOf(Path(RowFile(0)))) +
                       " beside the set's " + FormatSize(set) + " (" +
                       std::to_string((SizeOf(Path(RowFile(0))) * 100 + set / 2) / set) +
                       "% more); it mends any 1 of the 7 files\n"),
            std::string::npos)
      << Out();
  EXPECT_FALSE(List().count(RowFile(1)));
}

// A piece a browser saved beside the set under another name is taken, and said, when it alone
// has the piece's size and digest; one that differs is only named, and nothing is renamed.
TEST_F(Recovery, APieceSavedUnderABrowsersNameIsTakenByItsDigest) {
  MakeSet(1);
  Rename(SetFile(2), "set (1).c002");
  EXPECT_EQ(Run({"join", "set.exe", "-o", "out", "-q"}), ExitComplete) << Err();
  EXPECT_NE(Err().find("set.c002 is not there; set (1).c002 is taken for it"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Run({"verify", "set.exe", "-q"}), ExitComplete) << Out() << Err();
  std::string bytes = Read("set (1).c002");
  bytes[100] = static_cast<char>(bytes[100] ^ 1);
  Write("set (1).c002", bytes);
  EXPECT_EQ(Run({"join", "set.exe", "-o", "out2", "-q"}), ExitMissingPiece) << Err();
  EXPECT_NE(Err().find("\"set (1).c002\" may be it, but not one alone has its size and digest"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List().count(SetFile(2)), 0u);
}

// The arguments of the first `tarnovell repair ...` a text gives (double quotes around one with
// a space), without "tarnovell"; none when it gives none.
std::vector<std::string> PastedRepair(const std::string& text) {
  size_t start = text.find("`tarnovell repair ");
  if (start == std::string::npos) return {};
  std::string command = text.substr(start + 11, text.find('`', start + 1) - start - 11);
  std::vector<std::string> args(1);
  bool quoted = false;
  for (char c : command) {
    if (c == '"') quoted = !quoted;
    else if (c == ' ' && !quoted) args.emplace_back();
    else args.back() += c;
  }
  return args;
}

// A missing piece with recovery files beside the set: join and info give the repair that
// rebuilds it, --pieces-base and all for a renamed container, and that command, pasted, does.
TEST_F(Recovery, AMissingPieceNamesTheRepairThatRebuildsIt) {
  MakeSet(1);
  Rename("set.exe", "set (1).exe");
  Files renamed = Snapshot();
  Remove(SetFile(3));
  EXPECT_EQ(Run({"join", "set (1).exe", "-o", "out"}), ExitMissingPiece);
  std::vector<std::string> repair = PastedRepair(Err());
  ASSERT_FALSE(repair.empty()) << Err();
  EXPECT_EQ(Run({"info", "set (1).exe"}), ExitMissingPiece);
  EXPECT_EQ(PastedRepair(Out()), repair) << Out();
  EXPECT_EQ(Run(repair), ExitComplete) << Out() << Err();
  EXPECT_EQ(Differences(renamed), "");
}

// The container's stub: its own is kept when it is still the set's; a lost container gets the
// set's back from a recovery file's copy, byte for byte; only older recovery files, without the
// copy, leave this tool's to put in, the difference said.
TEST_F(Recovery, ARebuiltContainerGetsTheSetsStubBack) {
  std::string stub(reinterpret_cast<const char*>(StubImage), StubImageSize);
  stub[100] = static_cast<char>(stub[100] ^ 1);
  std::string image = captures_ + "/other.stub";  // outside the set's folder
  ASSERT_TRUE(WriteFileBytes(image, stub));
  MakeSet(2, {"--stub", image});
  FlipBit("set.exe", PayloadOffset + 5);
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "");
  EXPECT_EQ(Out().find("joiner program differs"), std::string::npos) << Out();
  Remove("set.exe");
  FlipBit(RowFile(1), 3000);
  ASSERT_EQ(Run({"repair", "set.r01"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "") << Out();
  // Older recovery files end at their parity: the container gets this tool's stub, and a
  // recovery file made now would not match the others' header.
  for (int row : {0, 1}) {
    std::filesystem::resize_file(U8(Path(RowFile(row))), pristine_[RowFile(row)].size() - StubSize);
    pristine_[RowFile(row)].resize(pristine_[RowFile(row)].size() - StubSize);
  }
  Remove("set.exe");
  FlipBit(RowFile(1), 3000);
  ASSERT_EQ(Run({"repair", "set.r01"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("note: the joiner program differs from the one the set was made with"),
            std::string::npos);
  EXPECT_NE(Out().find("note: the missing and damaged recovery files are not made again"),
            std::string::npos);
  Files rebuilt = Snapshot();
  EXPECT_NE(rebuilt[RowFile(1)], pristine_[RowFile(1)]);
  EXPECT_EQ(rebuilt["set.exe"].substr(0, StubSize),
            std::string(reinterpret_cast<const char*>(StubImage), StubSize));
  EXPECT_EQ(rebuilt["set.exe"].substr(StubSize), pristine_["set.exe"].substr(StubSize));
}

int FailCopiesFrom = 0;  // the OsCallCopy asks before a failure; 0: none
bool Armed = false;      // set once the repair creates its files
int FailingHook(OsCall call) {
  if (call == OsCallNamelessCreate) Armed = true;
  if (call != OsCallCopy || !Armed || FailCopiesFrom == 0) return 0;
  return --FailCopiesFrom == 0 ? EIO : 0;
}
int InterruptingHook(OsCall call) {
  if (call == OsCallNamelessCreate) CliInterrupted = 1;
  return 0;
}

TEST_F(Recovery, AnInterruptedOrFailingRepairLeavesTheSetAsItWas) {
  MakeSet(3);
  Remove("set.exe");
  FlipBit(SetFile(2), 9);
  std::filesystem::resize_file(U8(Path(SetFile(4))), 5);
  Files before = Snapshot();
  OsFaultHook = InterruptingHook;
  EXPECT_EQ(Run({"repair", "set.r01"}), ExitInterrupted) << Out();
  EXPECT_NE(Err().find("interrupted; nothing was changed"), std::string::npos) << Err();
  EXPECT_EQ(Differences(before), "");
  CliInterrupted = 0;
  OsFaultHook = FailingHook;
  for (int failAt : {1, 2, 3, 4}) {  // while rebuilding, and while the rebuilt files are checked
    Armed = false;
    FailCopiesFrom = failAt;
    EXPECT_EQ(Run({"repair", "set.r02"}), ExitFileError) << failAt << Out();
    EXPECT_NE(Err().find("nothing was changed"), std::string::npos) << Err();
    EXPECT_EQ(Differences(before), "") << failAt;
  }
  OsFaultHook = nullptr;
  ASSERT_EQ(Run({"repair", "set.r01"}), ExitComplete);
  // The container lost, the damaged piece is bad on the recovery files' word alone: it is kept
  // beside its rebuilt file; the piece cut short is held in its rebuilt file whole.
  EXPECT_EQ(Differences(pristine_), "set.c002.1 ");
  EXPECT_EQ(Read("set.c002.1"), before[SetFile(2)]);
}

int HookedCalls = 0;  // the calls a test may fail, counted from the start of a run
int FullAt = 0;       // the one of them that finds the file system full; 0: none
int FullDiskHook(OsCall) { return ++HookedCalls == FullAt ? ENOSPC : 0; }

// A full file system at each step of a repair in turn (creating the rebuilt files and the
// recovery file made again, every chunk read and written, putting each in place): every file of
// the set is as it was or whole, nothing else is left, and the code says which.
TEST_F(Recovery, AFullFileSystemAtAnyStepOfARepairLosesNothing) {
  MakeSet(3);
  Remove(SetFile(1));
  FlipBit(SetFile(4), 100);
  Remove(RowFile(1));
  Files before = Snapshot();
  OsFaultHook = FullDiskHook;
  HookedCalls = FullAt = 0;
  ASSERT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Err();
  int steps = HookedCalls;
  ASSERT_GT(steps, 5);
  for (FullAt = 1; FullAt <= steps; FullAt++) {
    Restore(before);
    HookedCalls = 0;
    Capture();
    int code = Run({"repair", "set.exe", "-q"});
    Files now = Snapshot();
    std::string mixed;
    for (const auto& file : now) {
      bool known = before.count(file.first) != 0 || pristine_.count(file.first) != 0;
      if (!known || (file.second != before[file.first] && file.second != pristine_[file.first]))
        mixed += file.first + " ";
    }
    EXPECT_EQ(mixed, "") << "full at step " << FullAt << " of " << steps;
    if (code == ExitFileError &&
        Err().find("the files named rebuilt are in place") != std::string::npos) {
      for (int n = 0; n < SetFiles; n++)  // full while putting the rebuilt files in place
        if (Out().find("rebuilt " + SetFile(n) + "\n") != std::string::npos)
          EXPECT_EQ(now[SetFile(n)], pristine_[SetFile(n)]) << FullAt;
    } else if (code == ExitFileError) {
      EXPECT_EQ(Differences(before), "") << FullAt;
      EXPECT_NE(Err().find("nothing was changed"), std::string::npos) << FullAt << Err();
    } else if (code == ExitRowsNotMade) {
      EXPECT_EQ(Differences(pristine_), RowFile(1) + " ") << FullAt;
    } else {
      EXPECT_EQ(code, ExitComplete) << FullAt << Err();
      EXPECT_EQ(Differences(pristine_), "") << FullAt;
    }
  }
  OsFaultHook = nullptr;
}

int CreatesBeforeFailing = 0;  // the files to create before every copy fails
int FailingAfterCreatesHook(OsCall call) {
  if (call == OsCallNamelessCreate && CreatesBeforeFailing > 0) CreatesBeforeFailing--;
  return call == OsCallCopy && CreatesBeforeFailing == 0 ? EIO : 0;
}

// A recovery file that cannot be made again after the set was repaired (or found whole): the
// code and the message say the set is whole, and name the recovery file; none claims that
// nothing was changed.
TEST_F(Recovery, ARecoveryFileNotMadeAgainIsNamedWithTheSetWhole) {
  MakeSet(2);
  Remove(SetFile(3));
  Remove(RowFile(1));
  OsFaultHook = FailingAfterCreatesHook;
  CreatesBeforeFailing = 2;  // the rebuilt piece, then set.r02: its encoding fails
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitRowsNotMade) << Err();
  EXPECT_NE(Out().find("rebuilt " + SetFile(3) + "\n"), std::string::npos) << Out();
  EXPECT_NE(Err().find("not made again: set.r02; the set is repaired"), std::string::npos) << Err();
  EXPECT_EQ(Err().find("nothing was changed"), std::string::npos) << Err();
  Files repaired = pristine_;
  repaired.erase(RowFile(1));
  EXPECT_EQ(Differences(repaired), "");
  CreatesBeforeFailing = 1;  // the set is whole: set.r02 alone is made, and fails
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitRowsNotMade) << Err();
  EXPECT_NE(Err().find("not made again: set.r02; the set itself is whole"), std::string::npos)
      << Err();
  EXPECT_EQ(Differences(repaired), "");
  OsFaultHook = nullptr;
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "");
}

TEST_F(Recovery, VerifySaysWhetherTheRecoveryFilesCanRepair) {
  MakeSet(2);
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitComplete);
  EXPECT_NE(Out().find("Recovery:  2 recovery files, all good\n"), std::string::npos) << Out();
  EXPECT_EQ(Run({"verify", "set.exe", "-q"}), ExitComplete);
  EXPECT_EQ(Out(), "");
  Remove(SetFile(1));
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMissingPiece);
  EXPECT_NE(Out().find("Recovery:  repairable with the 2 recovery files"), std::string::npos)
      << Out();
  FlipBit(SetFile(2), 1);
  EXPECT_EQ(Run({"verify", "set.exe", "-q"}), ExitMismatch);
  EXPECT_NE(Out().find("Recovery:  repairable with the 2 recovery files"), std::string::npos)
      << Out();
  FlipBit(SetFile(3), 1);
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch);
  EXPECT_NE(Out().find("Recovery:  not repairable: 3 files bad, 2 recovery files\n"),
            std::string::npos)
      << Out();
  // A stub flipped: the stub digest finds it, and so do the recovery files.
  Restore(pristine_);
  FlipBit("set.exe", 1000);
  Remove(RowFile(0));
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch);
  EXPECT_NE(Out().find("  set.exe: its Windows joiner is damaged; the data is good\n"),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("  set.r01: missing recovery file\n"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Recovery:  repairable with the 1 recovery file:"), std::string::npos)
      << Out();
  Restore({});
  MakeSet(1);
  Remove(RowFile(0));
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitComplete);
  EXPECT_EQ(Out().find("Recovery:"), std::string::npos) << Out();  // none there: no line
}

// A header byte flipped (its digest block no longer checks) is damage, not "another splitter's
// set": with recovery files beside it, every command reads the set by their copy of the header
// (its name too) and repair restores it; without them verify and join still say it is damaged. A
// container cut short is not "not a container" when the recovery files hold a good copy of its
// header.
TEST_F(Recovery, ADamagedContainerHeaderIsDamage) {
  MakeSet(2);
  FlipBit("set.exe", HeaderOffset + 1);  // the name's first byte
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch) << Out() << Err();
  EXPECT_NE(Out().find("  set.exe: its header is damaged (its digest block no longer checks); the "
                       "set is read by the copy in set.r01\n"),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("Recovery:  repairable with the 2 recovery files"), std::string::npos)
      << Out();
  EXPECT_EQ(Run({"join", "set.exe", "-q"}), ExitMismatch) << Err();
  EXPECT_EQ(Read("set.bin"), Pattern(static_cast<size_t>(InputSize), 7)) << "the copy's name";
  EXPECT_NE(Err().find("to mend it, run `tarnovell repair set.exe`"), std::string::npos) << Err();
  Remove("set.bin");
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "");
  FlipBit("set.exe", HeaderOffset + 2 * HeaderRecordSize + 200);  // in record 3's filler
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "");

  std::filesystem::resize_file(U8(Path("set.exe")), 20000);
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch) << Out() << Err();
  EXPECT_NE(Err().find("not a container"), std::string::npos) << Err();
  EXPECT_NE(Out().find("tarnovell repair set.exe restores the set"), std::string::npos) << Out();
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "");

  // Without recovery files: damaged all the same, never complete, nothing to repair it with.
  FlipBit("set.exe", HeaderOffset + 1);
  Remove(RowFile(0));
  Remove(RowFile(1));
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMismatch) << Out();
  EXPECT_EQ(Out(),
            "set.exe: its header is damaged (its digest block no longer checks), and no recovery "
            "file holds a copy: its name, size and times may be wrong, and no piece can be "
            "checked\n"
            "Result:    possibly damaged: set.exe's header; fetch set.exe again\n");
  EXPECT_EQ(Run({"join", "set.exe", "-o", "out.bin"}), ExitMismatch);
  EXPECT_NE(Err().find("out.bin is possibly damaged"), std::string::npos) << Err();
  EXPECT_EQ(Read("out.bin"), Pattern(static_cast<size_t>(InputSize), 7));
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitNotRepairable);
  EXPECT_NE(Err().find("the header of set.exe is damaged"), std::string::npos) << Err();
}

TEST_F(Recovery, SplitRefusesAnExistingRecoveryFileWithoutForce) {
  Write("set.r02", "older");
  Write("set.bin", Pattern(100000, 3));
  std::set<std::string> before = List();
  EXPECT_EQ(Run({"split", "set.bin", "--recovery", "2"}), ExitRefused);
  EXPECT_NE(Err().find("set.r02 exists"), std::string::npos) << Err();
  EXPECT_EQ(List(), before);
  EXPECT_EQ(Read("set.r02"), "older");
  ASSERT_EQ(Run({"split", "set.bin", "--recovery", "2", "--force"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("2 recovery files (set.r01 to set.r02)"), std::string::npos) << Out();
  Remove("set.exe");
  ASSERT_EQ(Run({"repair", "set.r02"}), ExitComplete) << Err();  // both are the new set's
  EXPECT_EQ(Run({"split", "set.bin", "--recovery", "0", "--force"}), ExitUsage);
  EXPECT_EQ(Run({"split", "set.bin", "--recovery", "255", "--force"}), ExitUsage);
}

TEST_F(Recovery, SplitForceRemovesAnOlderSetsSurplusRecoveryFiles) {
  Write("set.bin", Pattern(98000, 3));
  ASSERT_EQ(Run({"split", "set.bin", "--size", "64K", "--recovery", "5"}), ExitComplete) << Err();
  Remove("set.r03");  // a gap: the files after it go too
  Mkdir("set.r06");   // not a regular file: stays
  ASSERT_EQ(Run({"split", "set.bin", "--size", "64K", "--recovery", "1", "--force"}), ExitComplete)
      << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"set.bin", "set.exe", "set.c001", "set.c002", "set.r01",
                                           "set.r06"}));
  ASSERT_EQ(Run({"split", "set.bin", "--size", "64K", "--force"}), ExitComplete) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"set.bin", "set.exe", "set.c001", "set.r06"}));
}

// A file of the set that is there but cannot be opened (here: no descriptor left, in a child
// process whose limit cannot be raised) stops the repair; it is never taken for a lost file.
TEST_F(Recovery, AFileThatCannotBeOpenedIsNotTakenForALostOne) {
  MakeSet(2);
  Remove(SetFile(5));
  Files before = Snapshot();
  Capture();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int open = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
      open += !entry.path().empty();
    struct rlimit low = {static_cast<rlim_t>(open + 3),
                         static_cast<rlim_t>(open + 3)};  // two rows, two files
    int code =
        setrlimit(RLIMIT_NOFILE, &low) == 0 ? RunCliArgs({"tarnovell", "repair", "set.exe"}) : 99;
    fflush(nullptr);
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), ExitFileError) << Out();
  EXPECT_NE(Err().find("cannot open set.c00"), std::string::npos) << Err();
  EXPECT_EQ(Differences(before), "");
}

// A piece that is a symbolic link to nothing (its file deleted) is missing to every command.
// repair would have to remove the link to put the rebuilt piece there: it does not, and says so
// before it reads any data (no chunk is asked for), changing nothing.
int ChunksAskedFor = 0;
int CountChunks(OsCall call) {
  ChunksAskedFor += call == OsCallCopy;
  return 0;
}

TEST_F(Recovery, ALinkToNothingIsMissingToAllAndRepairSaysSoBeforeReading) {
  MakeSet(2);
  Remove(SetFile(2));
  Files before = Snapshot();
  ASSERT_EQ(symlink("gone", Path(SetFile(2)).c_str()), 0);
  EXPECT_EQ(Run({"info", "set.exe"}), ExitMissingPiece);
  EXPECT_NE(Out().find("missing (looked for set.c002)"), std::string::npos) << Out();
  EXPECT_EQ(Run({"join", "set.exe", "-o", "joined.bin"}), ExitMissingPiece);
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitMissingPiece);
  EXPECT_NE(Out().find("  set.c002: missing (looked for set.c002)\n"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Recovery:  repairable with the 2 recovery files once set.c002, which leads "
                       "to no file, is "
                       "removed\n"),
            std::string::npos)
      << Out();
  ChunksAskedFor = 0;
  OsFaultHook = CountChunks;
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitRefused);
  EXPECT_NE(
      Err().find(
          "tarnovell: set.c002 leads to no file (a symbolic link to nothing?), and repair does not "
          "remove it"),
      std::string::npos)
      << Err();
  EXPECT_NE(
      Err().find(
          "remove it, or bring back the file it leads to, and repair again; nothing was changed\n"),
      std::string::npos)
      << Err();
  EXPECT_EQ(ChunksAskedFor, 0) << "the set was read before the refusal";
  EXPECT_EQ(Out(), "");
  struct stat link = {};
  EXPECT_TRUE(lstat(Path(SetFile(2)).c_str(), &link) == 0 && S_ISLNK(link.st_mode))
      << "the link is left as it is";
  Remove(SetFile(2));
  EXPECT_EQ(Differences(before), "");
  // Once the link is gone, the piece is rebuilt.
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Differences(pristine_), "");
}

// Recovery files left from an older set of the same base are not used to "repair" a new one,
// even one that differs from the older in one piece only.
TEST_F(Recovery, RecoveryFilesOfAnotherSetAreNotUsed) {
  MakeSet(1);
  std::string input = Pattern(static_cast<size_t>(InputSize), 7);
  input[50000] = static_cast<char>(input[50000] ^ 1);
  Write("set.bin", input);
  ASSERT_EQ(
      Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "1", "--force", "-q"}),
      ExitComplete);
  Remove("set.bin");
  Write(RowFile(0), pristine_[RowFile(0)]);
  Files before = Snapshot();
  ExpectRefused("Recovery:  the recovery files found are of another set\n", "set.exe",
                "the recovery files are of another set");
  EXPECT_EQ(Differences(before), "");
}

// Where the container's digest block checks, it is the authority: recovery files that carry the
// container's own header and stub digest but say every file holds one byte are of another set, and
// cannot cut a whole set down. Beside a good one, they are left out as damaged and made again.
TEST_F(Recovery, RecoveryFilesThatDisagreeWithTheDigestBlockAreOfAnotherSet) {
  MakeSet(3);
  auto empty = [](RecoveryHeader* header) {  // as short as a set can be: a byte a file
    for (RecoveryFileEntry& file : header->Files) file = {1, 0};
    ASSERT_TRUE(CompleteRecoveryGeometry(header));
    header->ParityDigests.assign(header->ParityDigests.size(), 0);
  };
  for (int row = 0; row < 3; row++) Forge(row, empty);
  Files before = Snapshot();
  ExpectRefused("Recovery:  the recovery files found are of another set\n", "set.exe",
                "the recovery files are of another set");
  EXPECT_EQ(Run({"repair", "set.r02"}), ExitNotRepairable);
  EXPECT_EQ(Differences(before), "");
  // One file's digest alone differs from the block: another set too.
  Restore(pristine_);
  for (int row = 0; row < 3; row++)
    Forge(row, [](RecoveryHeader* header) { header->Files[2].Digest ^= 1; });
  before = Snapshot();
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitNotRepairable);
  EXPECT_EQ(Differences(before), "");
  // A good recovery file among them serves; the forged ones count as lost and are made again.
  Restore(pristine_);
  Forge(0, empty);
  Forge(2, empty);
  Remove(SetFile(4));
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("rebuilt set.c004\n"), std::string::npos) << Out();
  EXPECT_NE(Out().find("made again set.r01\n"), std::string::npos) << Out();
  EXPECT_EQ(Differences(pristine_), "");
}

// Sizes in a recovery header that add up past 2^63 - 1 bytes make it invalid, as in the digest
// block: verify and repair say there is no valid recovery file.
TEST_F(Recovery, RecoveryHeadersWhoseSizesAddUpPast2To63AreInvalid) {
  MakeSet(2);
  for (int row = 0; row < 2; row++) {
    Forge(row, [](RecoveryHeader* header) {
      for (RecoveryFileEntry& file : header->Files) file.Payload = int64_t{1} << 62;
      header->ParityLength = int64_t{1} << 62;  // the longest file: one group
    });
  }
  Files before = Snapshot();
  ExpectRefused("Recovery:  not repairable: no valid recovery file among the 2 found\n", "set.r01",
                "none of the recovery files found is valid");
  EXPECT_EQ(Differences(before), "");
}

// With the container lost nothing outranks a recovery header, and one whose copy of the
// container's header has no digest block that checks may claim 2^20 files: repair refuses such a
// set without --force, as split does; with it the report stays a few lines, and a claim of empty
// pieces (which any recovery file would "rebuild", a million new files) is no valid header.
TEST_F(Recovery, AHeaderClaimingAMillionFilesCostsAFewLines) {
  MakeSet(2);
  Remove("set.exe");
  auto million = [](int64_t payload) {
    return [payload](RecoveryHeader* header) {
      header->ContainerHeader[HeaderSize - 1] ^= 1;  // the block's self-check
      header->FileCount = MaxRecoverySetFiles;
      header->Files.resize(MaxRecoverySetFiles, {payload, 0});
      for (size_t n = 1; n + 1 < header->Files.size(); n++) header->Files[n].Payload = payload;
      header->Files.back().Payload = payload > 0 ? 1 : 0;
      ASSERT_EQ(CompleteRecoveryGeometry(header), payload > 0);
      header->ParityDigests.assign(static_cast<size_t>(header->GroupCount), 0);
    };
  };
  for (int row = 0; row < 2; row++) Forge(row, million(Cap));
  Files before = Snapshot();
  EXPECT_EQ(Run({"repair", "set.r01"}), ExitRefused);
  EXPECT_NE(Err().find("describe a set of 1048576 files, more than 1000, and no container vouches "
                       "for it; give --force"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Run({"repair", "set.r01", "--force"}), ExitNotRepairable);
  std::string out = Out();
  EXPECT_LT(std::count(out.begin(), out.end(), '\n'), 30) << out.substr(0, 2000);
  EXPECT_NE(out.find("set.c006 to set.c1048575: missing, all 1048570\n"), std::string::npos)
      << out.substr(0, 2000);
  EXPECT_NE(out.find("Result:    not repairable: 4135 groups more likewise\n"), std::string::npos)
      << out.substr(0, 2000);
  EXPECT_EQ(Differences(before), "");
  for (int row = 0; row < 2; row++) {
    Forge(row, [&](RecoveryHeader* header) {
      million(Cap)(header);
      header->RowCount = MaxRecoveryRows;  // a group of one file for each row: all "repairable"
      for (RecoveryFileEntry& file : header->Files) file = {0, 0};
      header->GroupCount = GroupCountFor(header->FileCount, header->RowCount);
      header->HeaderLength = RecoveryHeaderLength(header->FileCount, header->GroupCount);
      header->ParityLength = 0;
      header->ParityDigests.assign(static_cast<size_t>(header->GroupCount), 0);
    });
  }
  before = Snapshot();
  EXPECT_EQ(Run({"repair", "set.r01", "--force"}), ExitNotRepairable);
  EXPECT_NE(Err().find("none of the recovery files found is valid"), std::string::npos) << Err();
  EXPECT_EQ(Differences(before), "");
}

int FailEncodingAfter = 0;
int EncodingHook(OsCall call) {
  return call == OsCallCopy && --FailEncodingAfter == 0 ? ENOSPC : 0;
}

TEST_F(Recovery, ASplitWhoseRecoveryFilesFailLeavesNothing) {
  Write("set.bin", Pattern(static_cast<size_t>(InputSize), 7));
  std::set<std::string> before = List();
  OsFaultHook = EncodingHook;
  FailEncodingAfter = 1;  // the one pass asks after each stripe: the set is one
  EXPECT_EQ(Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "2"}),
            ExitFileError);
  EXPECT_NE(Err().find("nothing was left behind"), std::string::npos) << Err();
  EXPECT_EQ(List(), before);
  OsFaultHook = nullptr;
}

// Recovery files of the older format (without slice digests) still repair a set, and a lost one
// is made again in their format: one of the newer would be of another set to the others.
TEST_F(Recovery, OlderRecoveryFilesRepairAndAreMadeAgainAsTheyWere) {
  MakeSet(2);
  std::vector<MemoryFile> set, older(2);
  for (int n = 0; n < SetFiles; n++) set.push_back({Read(SetFile(n))});
  Accesses in(set), out(older);
  ASSERT_EQ(EncodeRecovery(in.Files, out.Files, nullptr, RecoveryFormatWithoutSlices).Outcome,
            RecoveryDone);
  Write(RowFile(0), older[0].Bytes);
  Files expected = Snapshot();
  expected[RowFile(1)] = older[1].Bytes;
  Hurt(3, Flipped, 0);
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Err() << Out();
  EXPECT_NE(Out().find("made again set.r02\n"), std::string::npos) << Out();
  EXPECT_EQ(Differences(expected), "");
}

// Split from a file makes the recovery files with the set, in one pass: they are byte for byte
// those the module makes from the finished set, in several stripes (pieces of 3 MiB, coded a
// chunk of each at a time) and in several groups (251 rows leave 4 files to a group: --number,
// since under a size a recovery file holds one group); the checksums of the original and of every
// piece, taken out of the input's order, are sha256sum's.
TEST_F(Recovery, TheOnePassMakesTheRecoveryFilesOfTheFinishedSet) {
  struct {
    int64_t Input;
    std::string Cut, Into;
    int Rows;
  } cases[] = {{(7 << 20) + 999, "--size", "3M", 3}, {InputSize, "--number", "6", 251}};
  for (const auto& c : cases) {
    for (const std::string& name : List()) Remove(name);
    std::string input = Pattern(static_cast<size_t>(c.Input), 11);
    Write("set.bin", input);
    ASSERT_EQ(Run({"split", "set.bin", c.Cut, c.Into, "--recovery", std::to_string(c.Rows),
                   "--checksums", "-q"}),
              ExitComplete)
        << Err();
    std::vector<MemoryFile> set, expected(static_cast<size_t>(c.Rows));
    for (int n = 0; List().count(SetFile(n)) > 0; n++) set.push_back({Read(SetFile(n))});
    Accesses in(set), out(expected);
    ASSERT_EQ(EncodeRecovery(in.Files, out.Files, nullptr).Outcome, RecoveryDone);
    for (int r = 0; r < c.Rows; r++)
      ASSERT_TRUE(Read(RowFile(r)) == expected[static_cast<size_t>(r)].Bytes) << RowFile(r);
    std::string sums = Read("set.sha256");
    std::vector<std::pair<std::string, std::string>> hashed = {{"set.bin", input}};
    for (int n = 1; n < static_cast<int>(set.size()); n++)
      hashed.push_back({SetFile(n), set[static_cast<size_t>(n)].Bytes});
    for (const auto& file : hashed) {
      Sha256 hash;
      Sha256Digest digest;
      hash.Add(file.second.data(), file.second.size());
      ASSERT_TRUE(hash.End(&digest));
      EXPECT_NE(sums.find(ChecksumLineText(file.first, digest)), std::string::npos) << file.first;
    }
  }
}

int StopAt = 0;  // the chunk asked before a failure
enum Stop { Full, Interrupted, Shrunk } StopBy = Full;
int StoppingHook(OsCall call) {
  if (call != OsCallCopy || --StopAt != 0) return 0;
  if (StopBy == Interrupted) CliInterrupted = 1;
  if (StopBy == Shrunk) std::filesystem::resize_file("set.bin", 5 << 20);
  return StopBy == Full ? ENOSPC : 0;
}

// The one pass stopped after any of its stripes, or any chunk read back for the checksums after
// it: a full disk, an interruption, an input that became shorter; nothing is left behind.
TEST_F(Recovery, AOnePassStoppedAnywhereLeavesNothing) {
  Write("set.bin", Pattern(static_cast<size_t>((7 << 20) + 999), 5));
  std::set<std::string> before = List();
  std::vector<std::string> split = {"split",      "set.bin", "--size",     "3M",
                                    "--recovery", "2",       "--checksums"};
  OsFaultHook = StoppingHook;
  StopBy = Full;
  int failAt = 1;
  std::string firstErr;  // a stripe's, told for the set
  for (;; failAt++) {
    StopAt = failAt;
    int code = Run(split);
    if (code == ExitComplete) break;
    EXPECT_EQ(code, ExitFileError) << failAt;
    if (failAt == 1) firstErr = Err();
    EXPECT_NE(Err().find("nothing was left behind"), std::string::npos) << failAt << Err();
    EXPECT_EQ(List(), before) << failAt;
  }
  EXPECT_GE(failAt, 4) << "several stripes, then the checksums";
  EXPECT_NE(firstErr.find("no space left for the set set.exe (3 files)"), std::string::npos)
      << firstErr;
  for (const std::string& name : List())
    if (name != "set.bin") Remove(name);
  StopBy = Interrupted;
  StopAt = 2;
  EXPECT_EQ(Run(split), ExitInterrupted);
  EXPECT_NE(Err().find("nothing was left behind"), std::string::npos) << Err();
  EXPECT_EQ(List(), before);
  CliInterrupted = 0;
  StopBy = Shrunk;
  StopAt = 1;
  EXPECT_EQ(Run(split), ExitFileError);
  EXPECT_NE(Err().find("set.bin became shorter while it was split; nothing was left behind"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List(), before);
  OsFaultHook = nullptr;
}

// More than 255 files with 2 recovery files (--number: under a size each recovery file holds one
// group): two groups, files alternating between them; any 2 files of each group are rebuilt.
// Every file is open at once: a low limit of open files is raised as far as the system allows.
TEST_F(Recovery, ALargeSetIsCutIntoGroups) {
  const int64_t cap = 31 << 10, files = 260;
  struct rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  ASSERT_GT(limit.rlim_max, 2u * files);
  struct rlimit low = limit;
  low.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  Write("big.bin", Pattern(static_cast<size_t>((cap - PayloadOffset) + (files - 1) * cap), 5));
  ASSERT_EQ(Run({"split", "big.bin", "--number", std::to_string(files), "--recovery", "2", "-q"}),
            ExitComplete);
  Remove("big.bin");
  Files pristine = Snapshot();
  ASSERT_EQ(pristine.size(), static_cast<size_t>(files + 2));
  for (const char* name : {"big.c001", "big.c002", "big.c003", "big.c004"}) Remove(name);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);  // split raised it
  ASSERT_EQ(Run({"repair", "big.exe", "-q"}), ExitComplete) << Out() << Err();
  EXPECT_EQ(Differences(pristine), "");
  for (const char* name : {"big.exe", "big.c002", "big.c004", "big.c259"})
    Remove(name);  // odd ones: group 2
  Files before = Snapshot();
  ASSERT_EQ(Run({"repair", "big.r01"}), ExitNotRepairable);
  EXPECT_NE(Out().find("not repairable: group 1 of 2: 3 files bad, 2 recovery files\n"),
            std::string::npos)
      << Out();
  EXPECT_EQ(Out().find("group 2 of 2"), std::string::npos) << Out();
  EXPECT_EQ(Differences(before), "");
  setrlimit(RLIMIT_NOFILE, &limit);
}

// Under a size every file split writes fits it, the recovery files and BASE.sha256 too: the
// pieces shrink by what a recovery file adds (and no more: with a page more it would not fit), the
// summary says so, and the set verifies, repairs and joins as before.
TEST_F(Recovery, EveryFileFitsTheSize) {
  const size_t size = 1 << 20;
  const std::string input = Pattern(5500000, 3);
  Write("docs.bin", input);
  ASSERT_EQ(Run({"split", "docs.bin", "-s", "1M", "-r", "2", "--checksums"}), ExitComplete)
      << Err();
  Remove("docs.bin");
  Files pristine = Snapshot();
  ASSERT_EQ(pristine.size(), 9u);  // the container, 5 pieces, 2 recovery files, the checksums
  for (const auto& file : pristine) EXPECT_LE(file.second.size(), size) << file.first;
  EXPECT_GT(pristine["docs.r01"].size() + 4096, size);
  EXPECT_NE(Out().find(", pieces of " + std::to_string(pristine["docs.c001"].size()) +
                       " bytes so that each recovery file fits 1M, checksums in docs.sha256\n"),
            std::string::npos)
      << Out();
  Remove("docs.c002");
  FlipBit("docs.c004", 100);
  ASSERT_EQ(Run({"repair", "docs.exe", "-q"}), ExitComplete) << Out() << Err();
  EXPECT_EQ(Differences(pristine), "");
  EXPECT_EQ(Run({"verify", "docs.exe"}), ExitComplete) << Out();
  ASSERT_EQ(Run({"join", "docs.exe", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("docs.bin") == input);
}

// Each recovery file holds a piece of every group: under a size, N recovery files cover 255 - N
// files of it at most. The refusal comes from the plan itself, not (255 - N) x SIZE: 16000000
// bytes are less than 253 x 64K, but more than 253 pieces once a recovery file's header and stub
// copy are taken off each. Nothing is written; the size it names is the smallest (to the KiB)
// that fits. A sparse input of 5 GiB is refused as fast.
TEST_F(Recovery, AnInputTooLargeForItsRecoveryFilesUnderTheSizeIsRefused) {
  Write("big.bin", "");
  std::filesystem::resize_file(U8(Path("big.bin")), 16000000);
  EXPECT_EQ(Run({"split", "big.bin", "-s", "64K", "-r", "2"}), ExitUsage);
  const std::string err = Err();
  EXPECT_NE(err.find("--size 64K is too small for big.bin with 2 recovery files"),
            std::string::npos)
      << err;
  EXPECT_EQ(List(), std::set<std::string>{"big.bin"});
  size_t at = err.find("give --size ");
  ASSERT_NE(at, std::string::npos) << err;
  std::string larger = err.substr(at + 12, err.find(" or more", at) - at - 12);
  ASSERT_EQ(larger.back(), 'K') << err;
  uint64_t fits = 0;
  ASSERT_TRUE(ParseSizeText(larger, &fits)) << larger;
  ASSERT_EQ(Run({"split", "big.bin", "-s", larger, "-r", "2", "-q"}), ExitComplete) << Err();
  for (const std::string& name : List()) {
    if (name != "big.bin") {
      EXPECT_LE(SizeOf(Path(name)), static_cast<int64_t>(fits)) << name;
    }
  }
  std::string less = std::to_string(fits / 1024 - 1) + "K";
  EXPECT_EQ(Run({"split", "big.bin", "-s", less, "-r", "2", "-f"}), ExitUsage) << less;

  std::filesystem::resize_file(U8(Path("big.bin")), int64_t{5} << 30);
  EXPECT_EQ(Run({"split", "big.bin", "-s", "1M", "-r", "1", "-f"}), ExitUsage);
  EXPECT_NE(Err().find("give --size 21M or more, or fewer recovery files\n"), std::string::npos)
      << Err();
}

// --recovery P%: the count follows from the set's files, is said in the summary, and repairs as
// a count does; a share that is none, or one of standard input, is refused before anything.
TEST_F(Recovery, AShareOfTheFilesGivesTheirCount) {
  Write("set.bin", Pattern(static_cast<size_t>(InputSize), 7));
  ASSERT_EQ(Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "50%"}),
            ExitComplete)
      << Err();
  // SetFiles files at 50 %: half as many recovery files, a whole number.
  int rows = SetFiles / 2;
  EXPECT_NE(Out().find(std::to_string(rows) + " recovery files (set.r01 to set.r0" +
                       std::to_string(rows) + ") for 50% of the " + std::to_string(SetFiles) +
                       " files, pieces of 16384 bytes so that each recovery file fits " +
                       std::to_string(Cap) + "\n"),
            std::string::npos)
      << Out();
  EXPECT_EQ(List().count(RowFile(rows - 1)), 1u);
  EXPECT_EQ(List().count(RowFile(rows)), 0u);
  for (int n = 1; n <= rows; n++) Remove(SetFile(n));
  EXPECT_EQ(Run({"repair", "set.exe", "-q"}), ExitComplete) << Out() << Err();
  for (const char* share : {"0%", "100.5%", "%", "x%", "1.2.3%", "255"}) {
    EXPECT_EQ(Run({"split", "set.bin", "-f", "--recovery", share}), ExitUsage) << share;
  }
  EXPECT_EQ(Run({"split", "-", "--name", "x.bin", "--recovery", "10%"}), ExitUsage);
  EXPECT_NE(Err().find("standard input"), std::string::npos) << Err();
}

}  // namespace

namespace {

// Sets bytes at..at+3 of data so that its CRC-32C is target, as a forger does: the CRC is affine
// in those 32 bits, so the bits follow from a 32 x 32 system over GF(2).
void ForceCrc(std::string* data, size_t at, uint32_t target) {
  auto crc = [&] { return Crc32cAdd(0, data->data(), data->size()); };
  for (int i = 0; i < 4; i++) (*data)[at + i] = 0;
  uint32_t base = crc(), columns[32], want = target ^ base;
  for (int bit = 0; bit < 32; bit++) {
    (*data)[at + bit / 8] = static_cast<char>(1 << (bit % 8));
    columns[bit] = crc() ^ base;
    (*data)[at + bit / 8] = 0;
  }
  // Gauss-Jordan on the columns, each carrying the bits it is made of; then want from the pivots.
  uint32_t made[32];
  int pivots[32];
  for (int bit = 0; bit < 32; bit++) made[bit] = 1u << bit;
  int rank = 0;
  for (int row = 0; row < 32; row++) {
    int pivot = rank;
    while (pivot < 32 && !(columns[pivot] >> row & 1)) pivot++;
    if (pivot == 32) continue;
    std::swap(columns[pivot], columns[rank]);
    std::swap(made[pivot], made[rank]);
    for (int other = 0; other < 32; other++) {
      if (other == rank || !(columns[other] >> row & 1)) continue;
      columns[other] ^= columns[rank];
      made[other] ^= made[rank];
    }
    pivots[rank++] = row;
  }
  uint32_t chosen = 0;
  for (int k = 0; k < rank; k++)
    if (want >> pivots[k] & 1) chosen ^= made[k];
  for (int i = 0; i < 4; i++) (*data)[at + i] = static_cast<char>(chosen >> (8 * i));
  ASSERT_EQ(crc(), target);
}

// The recovery files a forger makes for the set's files as given (the container first): genuine
// in their form, parity and digests of exactly these files.
std::vector<std::string> RecoveryFor(const std::vector<std::string>& files, int rows) {
  std::vector<MemoryFile> set;
  for (const std::string& bytes : files) set.push_back({bytes});
  std::vector<std::string> made;
  for (const MemoryFile& row : Encode(set, rows)) made.push_back(row.Bytes);
  return made;
}

int MaxRssKiB() {
  struct rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<int>(usage.ru_maxrss);
}

std::string PristineC002;  // put in place under the repair's feet by another "repair"
int AnotherRepairHook(OsCall call) {
  if (call == OsCallLink && !PristineC002.empty()) {
    WriteFileBytes(SetFile(2), PristineC002);
    PristineC002.clear();
  }
  return 0;
}

}  // namespace

// The set with five recovery files, then another file's container and recovery files of the same
// sizes put over its own: a forged container beside real pieces, as repairable as they are.
void Recovery::ForgeContainer() {
  Restore({});
  MakeSet(5);
  Mkdir("o");
  Write("o/set.bin", Pattern(static_cast<size_t>(InputSize), 8));
  ASSERT_EQ(Run({"split", "o/set.bin", "--size", std::to_string(Cap), "--recovery", "5", "-d", "o",
                 "-q"}),
            ExitComplete);
  Write(SetFile(0), Read("o/" + SetFile(0)));
  for (int row = 0; row < 5; row++) Write(RowFile(row), Read("o/" + RowFile(row)));
  std::filesystem::remove_all(U8(Path("o")));
}

// Forgeries made as a forger makes them (recovery files encoded over chosen bytes, CRCs forced):
// no file there loses its bytes on a recovery file's word alone, the checksum file outranks the
// recovery files, a row whose parity misses its digests is left out for the others, and what
// files the folder holds cannot turn repair into anything else. Each case says what it guards.
TEST_F(Recovery, NoFileLosesItsBytesOnARecoveryFilesWordAlone) {
  struct Case {
    const char* What;
    std::function<void()> Forge;  // from the set MakeSet(2, --checksums) made: pristine_
    std::vector<std::string> Command;
    int Code;
    std::string Says;  // in Out() + Err()
    std::string Left;  // Differences(pristine_) afterwards, "" for the set exactly as made
  };
  auto files = [&] {
    std::vector<std::string> set;
    for (int n = 0; n < SetFiles; n++) set.push_back(pristine_[SetFile(n)]);
    return set;
  };
  // Row 0 over piece 1 made of chosen bytes with the genuine CRC-32C: its own digests all check.
  auto forgeRowOne = [&] {
    std::vector<std::string> forged = files();
    uint32_t crc = Crc32cAdd(0, forged[1].data(), forged[1].size());
    forged[1].replace(0, 9, "FORGERY!!");
    ForceCrc(&forged[1], 100, crc);
    Write(RowFile(0), RecoveryFor(forged, 2)[0]);
  };
  const std::vector<Case> cases = {
      {"chosen bytes with the genuine CRC, the forged row named in BASE.sha256: left out",
       [&] {
         forgeRowOne();
         Remove(SetFile(1));
       },
       {"repair", "set.exe"}, ExitComplete,
       "set.r01: left out: its SHA-256 differs from set.sha256", "set.r01 "},
      {"the same row not named: the rebuilt file misses BASE.sha256, the rows are tried in turn",
       [&] {
         forgeRowOne();
         std::string sums = Read("set.sha256");
         size_t line = sums.find("  set.r01\n") - 64;
         Write("set.sha256", sums.erase(line, 64 + 10));
         Remove(SetFile(1));
       },
       {"repair", "set.exe"}, ExitComplete,
       "set.r01: its parity does not rebuild the set to its digests", "set.r01 set.sha256 "},
      {"wrong parity under resealed digests, a good row beside it: the rows are tried in turn",
       [&] {
         std::string row = Read(RowFile(0));
         RecoveryHeader header;
         const uint8_t* bytes = reinterpret_cast<const uint8_t*>(row.data());
         ASSERT_TRUE(ParseRecoveryFixed(bytes, &header));
         ASSERT_TRUE(ParseRecoveryHeader(bytes, header.HeaderLength, &header));
         row[static_cast<size_t>(header.HeaderLength) + 100] ^= 1;
         uint32_t parity = Crc32cAdd(0, row.data() + header.HeaderLength,
                                     static_cast<size_t>(header.ParityLength));
         header.ParityDigests[0] = header.ParitySlices[0] = parity;  // one slice, one group
         std::vector<uint8_t> sealed = RecoveryHeaderBytes(header);
         row.replace(0, sealed.size(), reinterpret_cast<const char*>(sealed.data()), sealed.size());
         Write(RowFile(0), row);
         Remove("set.sha256");  // which would leave the row out at once
         Remove(SetFile(1));
       },
       {"repair", "set.exe"}, ExitComplete, "set.r01: its parity does not rebuild the set",
       "set.r01 set.sha256 "},
      {"a forged container and its own recovery files beside the real pieces: refused",
       [&] { ForgeContainer(); },
       {"repair", "set.exe"}, ExitRefused,
       "set.exe's digests condemn 5 of the 5 pieces there: it may be another set's container",
       "set.exe set.r01 set.r02 set.r03 set.r04 set.r05 "},
      {"a special file named as a recovery file: refused, as a lost piece's name is",
       [&] {
         Remove(RowFile(1));
         ASSERT_EQ(mkfifo(Path(RowFile(1)).c_str(), 0600), 0);
       },
       {"repair", "set.exe"}, ExitRefused, "set.r02 is not a regular file", "set.r02 "},
      {"another repair puts a lost file in place first: said, and the set is whole",
       [&] {
         Remove(SetFile(2));
         PristineC002 = pristine_[SetFile(2)];
         OsFaultHook = AnotherRepairHook;
       },
       {"repair", "set.exe"}, ExitComplete, "set.c002: another repair put it in place first", ""},
      {"verify calls a set repairable only from rows BASE.sha256 does not condemn",
       [&] {
         forgeRowOne();
         Remove(SetFile(1));
         Remove(RowFile(1));
       },
       {"verify", "set.exe"}, ExitMismatch,
       "Recovery:  not repairable: no valid recovery file among the 1 found",
       "set.c001 set.r01 set.r02 "},
      {"one Result line for damage both the digests and BASE.sha256 find",
       [&] {
         FlipBit(SetFile(3), 5);
         FlipBit(RowFile(1), static_cast<int64_t>(pristine_[RowFile(1)].size()) - StubSize - 5);
       },
       {"verify", "set.exe"}, ExitMismatch, "set.r02: damaged: its SHA-256 differs",
       "set.c003 set.r02 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Restore({});
    MakeSet(2, {"--checksums"});
    c.Forge();
    int code = Run(c.Command);
    OsFaultHook = nullptr;
    EXPECT_EQ(code, c.Code) << Out() << Err();
    EXPECT_NE((Out() + Err()).find(c.Says), std::string::npos) << Out() << Err();
    std::string out = Out();
    size_t results = 0;
    for (size_t at = out.find("Result:"); at != std::string::npos; at = out.find("Result:", at + 1))
      results++;
    EXPECT_LE(results, 1u) << out;
    if (std::filesystem::is_fifo(U8(Path(RowFile(1))))) {
      Remove(RowFile(1));
      Write(RowFile(1), pristine_[RowFile(1)] + "fifo");  // told apart in Left
    }
    EXPECT_EQ(Differences(pristine_), c.Left);
  }

  // A forged container refused above: with --force its pieces are rebuilt, each kept beside.
  Restore({});
  ForgeContainer();
  Files genuine = pristine_;
  ASSERT_EQ(Run({"repair", "set.exe", "--force", "-q"}), ExitComplete) << Err();
  for (int n = 1; n < SetFiles; n++) EXPECT_TRUE(Read(SetFile(n) + ".1") == genuine[SetFile(n)]);

  // A run of three pieces per digest (a set of 801) with one lost: a forged recovery file whose
  // digests add up to the run's calls the good piece beside it damaged. It is rebuilt to the
  // forger's bytes, but its own bytes are kept: the container cannot condemn it.
  Restore({});
  Write("n.bin", Pattern(801 * 64, 3));
  ASSERT_EQ(Run({"split", "n.bin", "-n", "801", "--recovery", "1", "-q"}), ExitComplete) << Err();
  std::vector<std::string> set;
  for (int n = 0; n < 801; n++) set.push_back(Read(n == 0 ? "n.exe" : "n" + SetFile(n).substr(3)));
  std::string run = set[3] + set[4] + set[5];
  uint32_t digest = Crc32cAdd(0, run.data(), run.size());
  run[10] ^= 1;  // piece 3 "damaged", piece 4 made to keep the run's digest
  ForceCrc(&run, set[3].size() + set[4].size() - 4, digest);
  std::vector<std::string> forged = set;
  forged[3] = run.substr(0, set[3].size());
  forged[4] = run.substr(set[3].size(), set[4].size());
  Write("n.r01", RecoveryFor(forged, 1)[0]);
  Remove("n.c004");
  ASSERT_EQ(Run({"repair", "n.exe"}), ExitComplete) << Out() << Err();
  EXPECT_NE(Out().find("kept the file it replaced as n.c003.1"), std::string::npos) << Out();
  EXPECT_TRUE(Read("n.c003.1") == set[3]);

  // Large headers of another set are judged before they are loaded: the memory of verify stays
  // that of the set.
  Restore({});
  MakeSet(2);
  RecoveryHeader big{};
  big.Version = RecoveryFormatVersion;
  big.Code = RecoveryCodeCauchy;
  big.FileCount = 2;
  big.RowCount = 8;
  big.SliceSize = 1 << MinSliceShift;
  big.Files = {{int64_t{1} << 36, 0}, {int64_t{1} << 36, 0}};  // headers of 12 MiB
  ASSERT_TRUE(CompleteRecoveryGeometry(&big));
  big.ParityDigests.assign(1, 0);
  std::vector<uint8_t> header = RecoveryHeaderBytes(big);
  for (int row = 2; row < 6; row++)
    ASSERT_TRUE(WriteFileBytes(Path(RowFile(row)), std::string(header.begin(), header.end())));
  std::vector<uint8_t>().swap(header);
  int before = MaxRssKiB();
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitComplete) << Out();
  EXPECT_LT(MaxRssKiB() - before, 16 << 10) << "KiB more for four headers of another set";

  // A split killed while it named its files leaves pieces without their container: the next split
  // of the same file replaces them; another file under such a name is still refused.
  Restore({});
  MakeSet(2);
  Write("set.bin", Pattern(static_cast<size_t>(InputSize), 7));
  Remove("set.exe");
  ASSERT_EQ(Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "2", "-q"}),
            ExitComplete)
      << Err();
  EXPECT_NE(Err().find("replaced 7 files that a split of this same file left"), std::string::npos);
  EXPECT_EQ(Read(SetFile(3)), pristine_[SetFile(3)]);
  Remove("set.exe");
  FlipBit(SetFile(3), 5);
  EXPECT_EQ(Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "2", "-q"}),
            ExitRefused);

  // A set made with another joiner, repaired with recovery files that carry no copy of it: the
  // container gets this tool's, and a second repair finds the set whole; so does verify.
  Restore({});
  std::string stub(reinterpret_cast<const char*>(StubImage), StubImageSize);
  stub[100] = static_cast<char>(stub[100] ^ 1);
  ASSERT_TRUE(WriteFileBytes(captures_ + "/other.stub", stub));
  MakeSet(2, {"--stub", captures_ + "/other.stub"});
  for (int row : {0, 1})
    std::filesystem::resize_file(U8(Path(RowFile(row))), pristine_[RowFile(row)].size() - StubSize);
  Remove("set.exe");
  ASSERT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Err();
  EXPECT_EQ(Run({"repair", "set.exe"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("whole: nothing to repair"), std::string::npos) << Out();
  EXPECT_EQ(Run({"verify", "set.exe"}), ExitComplete) << Out();
  EXPECT_EQ(Out().find("repairable"), std::string::npos) << Out();

  // A shortfall that rounds to the room there is told in bytes.
  OsFreeSpaceHook = [](const std::string&, uint64_t* bytes) {
    *bytes = InputSize - 1;
    return true;
  };
  EXPECT_EQ(Run({"join", "set.exe", "-o", "out"}), ExitFileError);
  OsFreeSpaceHook = nullptr;
  EXPECT_NE(Err().find("needs " + std::to_string(InputSize) + " bytes, " +
                       std::to_string(InputSize - 1) + " bytes free"),
            std::string::npos)
      << Err();

  // An empty file with recovery files, which once made no slices to digest.
  Restore({});
  Write("empty.bin", "");
  EXPECT_EQ(Run({"split", "empty.bin", "--recovery", "1", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Run({"verify", "empty.exe", "-q"}), ExitComplete) << Out();
}

// A file cut short under its view (another program truncating it mid-repair): its lost pages
// read as zeros instead of ending the process, and no read after that succeeds, so that nothing
// taken from those zeros is put in place. In a child process: the fault is noted for good.
TEST_F(Recovery, AFileCutShortUnderItsViewEndsNoProcessAndFailsTheReadsAfter) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  Write("cut.bin", Pattern(3 * page, 4));
  EXPECT_EXIT(
      {
        OsFileInfo info;
        OsFile file = OsOpenRead(Path("cut.bin"), &info);
        OsFileAccess access(file);
        const uint8_t* view = access.View(3 * page, 0);
        if (view == nullptr || truncate(Path("cut.bin").c_str(), static_cast<off_t>(page)) != 0)
          _exit(2);
        uint8_t lost = view[2 * page + 5];
        char byte;
        _exit(lost == 0 && OsViewFailed() && !access.ReadAt(&byte, 1, 0) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
