// Messages that say what to do next: the command line's own errors with a guess at what was
// meant, the last of a repeated option winning, files that are not containers named for what they
// are, unusable names suggested in a form that can be used.
#include "cli/os/encoding.h"
#include "cli/show/hints.h"
#include "cli/show/text.h"
#include "tests/cli/test_support.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliHints, AMistypedWordIsMatchedWithinTwoEditsOrAsABeginning) {
  const std::vector<std::string> commands = {"split", "join", "info", "verify", "repair"};
  EXPECT_EQ(NearestWord("splt", commands), "split");
  EXPECT_EQ(NearestWord("joni", commands), "join");  // two letters swapped: one edit
  EXPECT_EQ(NearestWord("verfiy", commands), "verify");
  EXPECT_EQ(NearestWord("inf", commands), "info");  // a beginning
  EXPECT_EQ(NearestWord("rpeair", commands), "repair");
  EXPECT_EQ(NearestWord("frobnicate", commands), "");
  EXPECT_EQ(NearestWord("x", commands), "");  // too short to guess from
  const std::vector<std::string> options = {"--force", "--format", "--quiet"};
  EXPECT_EQ(NearestWord("--forse", options), "--force");
  EXPECT_EQ(NearestWord("--fo", options), "");     // the beginning of two
  EXPECT_EQ(NearestWord("--force", options), "");  // known: nothing to guess
}

TEST_F(CliTest, CommandLineErrorsSayTarnovellAndGuessTheWordMeant) {
  Write("in.bin", std::string(100, 'x'));
  struct Case {
    std::vector<std::string> args;
    std::string guess;  // "" for no guess
  } cases[] = {
      {{"splt", "in.bin"}, "`split`"},
      {{"split", "in.bin", "--forse"}, "`--force`"},
      {{"split", "in.bin", "--nmae=x"}, "`--name`"},
      {{"join", "in.bin", "--pieces-dri", "d"}, "`--pieces-dir`"},
      {{"--versio"}, "`--version`"},
      {{"frobnicate"}, ""},
      {{"join"}, ""},                       // a missing argument
      {{"split", "in.bin", "--size"}, ""},  // a missing value
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), ExitUsage) << c.args[0];
    std::string err = Err();
    EXPECT_EQ(err.compare(0, 11, "tarnovell: "), 0) << err;
    EXPECT_TRUE(Has(err, "--help")) << err;
    if (!c.guess.empty()) EXPECT_TRUE(Has(err, "did you mean " + c.guess)) << err;
    if (c.guess.empty()) EXPECT_FALSE(Has(err, "did you mean")) << err;
  }
  EXPECT_EQ(List(), std::set<std::string>{"in.bin"});
}

TEST_F(CliTest, TheLastOfARepeatedOptionWins) {
  WriteSet("s", "joined.txt", {"abc", "def"});
  EXPECT_EQ(Run({"join", "s.exe", "-o", "first", "-o", "second", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("second"), "abcdef");
  Write("in.txt", "data");
  EXPECT_EQ(Run({"split", "in.txt", "--name", "x.txt", "--name", "y.txt", "--base", "b", "--base",
                 "c", "-d", "nowhere", "-d", ".", "-q"}),
            ExitComplete)
      << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"s.exe", "s.c001", "second", "in.txt", "c.exe"}));
  EXPECT_EQ(Read("c.exe").substr(HeaderOffset + 1, 5), "y.txt");
}

// No byte of a file's header reaches the terminal: only printable ASCII and line ends.
bool PlainAscii(const std::string& text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\n') || c >= 0x7F) return false;
  }
  return true;
}

// A piece or a recovery file is a way into its set, as the container is: the set is taken, its
// container as it is there (where names differ in case: Windows finds any case). A lost container
// is named, with the recovery files beside it and the repair that rebuilds it.
TEST_F(CliTest, APieceOrARecoveryFileTakesItsSet) {
  WriteSet("film", "film.avi", {"abc", "def", std::string(40000, '\xFF')});
  Write("film.r01", "recovery");
  for (const char* path : {"film.c001", "film.c002", "film.r01"}) {
    EXPECT_EQ(Run({"info", path}), ExitComplete) << path << Err();
    EXPECT_TRUE(Has(Out(), "Container: film.exe\n")) << Out();
  }
  EXPECT_EQ(Run({"join", "film.c002", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("film.avi"), "abcdef" + std::string(40000, '\xFF'));
#ifndef _WIN32
  Rename("film.exe", "FILM.EXE");
  EXPECT_EQ(Run({"info", "film.c002"}), ExitComplete) << Err();
  EXPECT_TRUE(Has(Out(), "Container: FILM.EXE\n")) << Out();
  Rename("FILM.EXE", "film.exe");
#endif
  Remove("film.exe");
  for (const char* command : {"join", "info"}) {
    EXPECT_EQ(Run({command, "film.c001"}), ExitFileError) << command;
    EXPECT_TRUE(Has(Err(), "cannot open film.exe")) << Err();
    EXPECT_TRUE(Has(Err(), "(film.r01): `tarnovell repair film.exe` rebuilds it")) << Err();
    EXPECT_TRUE(PlainAscii(Err())) << Err();
  }
}

TEST_F(CliTest, AnyOtherFileIsNotAContainerWithNoHeaderBytesShown) {
  std::string bytes = "MZ";  // a Windows program, but not a set
  for (int i = 0; bytes.size() < 40000; i++) bytes += static_cast<char>(i % 256);
  Write("other.exe", bytes);
  Write("movie.avi", std::string(40000, '\xD0'));
  for (const char* file : {"other.exe", "movie.avi"}) {
    for (const char* command : {"join", "info", "verify"}) {
      EXPECT_EQ(Run({command, file}), ExitBadContainer) << command << file;
      EXPECT_TRUE(Has(Err(), std::string(file) + ": not a container")) << Err();
      EXPECT_TRUE(PlainAscii(Err())) << Err();
    }
  }
  EXPECT_EQ(List(), (std::set<std::string>{"other.exe", "movie.avi"}));
}

TEST(CliHints, ANameIsSuggestedThatASetCanCarry) {
  const std::pair<std::string, std::string> cases[] = {
      {"café ☕.mkv", "cafe _.mkv"},
      {"ÀÿĀſŒžĳ", "AyAsOEzij"},  // the table's ends and its two-letter forms
      {"Ŝtraße: naïve.txt", "Strasse_ naive.txt"},
      {"Фильм «1».avi", "Фильм «1».avi"},  // Windows-1251 has it all
      {"a<b>?|\"*\\/.txt", "a_b_______.txt"},
      {"x .", "x"},
      {"con.txt", "_con.txt"},
      {"", "_"},
      {"日本", "__"},
  };
  for (const auto& c : cases) {
    std::string suggested = SuggestedName(c.first);
    EXPECT_EQ(suggested, c.second) << c.first;
    std::string bytes;
    EXPECT_EQ(WindowsNameProblem(suggested), "") << suggested;
    EXPECT_TRUE(Utf8ToCp1251(suggested, &bytes)) << suggested;
  }
}

TEST_F(CliTest, EveryUnusableNameIsToldAtOnceWithOneToPaste) {
  Write("café ☕.mkv", "data");
  const std::string name = "café ☕?.mkv";  // Windows allows no "?" in a file name
  EXPECT_EQ(Run({"split", "café ☕.mkv", "--name", name, "--base", "a:b"}), ExitRefused);
  EXPECT_TRUE(Has(Err(), "give --name \"cafe __.mkv\"")) << Err();
  EXPECT_TRUE(Has(Err(), "give --base \"a_b\"")) << Err();
  // The base taken from the name is told too.
  EXPECT_EQ(Run({"split", "café ☕.mkv", "--name", name}), ExitRefused);
  EXPECT_TRUE(Has(Err(), "give --name \"cafe __.mkv\"")) << Err();
  EXPECT_TRUE(Has(Err(), "give --base \"cafe __\"")) << Err();
  EXPECT_EQ(List(), std::set<std::string>{"café ☕.mkv"});
  // What was suggested is taken, and the base follows the name given.
  EXPECT_EQ(Run({"split", "café ☕.mkv", "--name", "cafe __.mkv", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Run({"split", "café ☕.mkv", "--name", "movie.final.mkv", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"café ☕.mkv", "cafe __.exe", "movie.final.exe"}));
}

// The line of text that contains part, "" when none does.
std::string LineWith(const std::string& text, const std::string& part) {
  size_t at = text.find(part);
  if (at == std::string::npos) return "";
  size_t begin = text.rfind('\n', at);
  begin = begin == std::string::npos ? 0 : begin + 1;
  return text.substr(begin, text.find('\n', at) - begin);
}

TEST_F(CliTest, AKeptDamagedOutputSaysWhatToFetchAndHowToReplaceIt) {
  std::string data = Pattern(150000, 21);
  Write("film.avi", data);
  ASSERT_EQ(Run({"split", "film.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  std::string good = Read("film.c002");
  std::string bad = good;
  bad[7] ^= 1;
  Write("film.c002", bad);
  EXPECT_EQ(Run({"join", "film.exe", "-o", "out.avi", "-q"}), ExitMismatch);
  EXPECT_EQ(SizeOf(Path("out.avi")), static_cast<int64_t>(data.size()));  // kept
  std::string advice = LineWith(Err(), "--force");
  EXPECT_TRUE(Has(advice, "fetch film.c002 again")) << Err();
  EXPECT_TRUE(Has(advice, "join --force film.exe -o out.avi")) << Err();
  // Recovery files beside the set: repair first.
  Write("film.r01", "");
  EXPECT_EQ(Run({"join", "film.exe", "-o", "out.avi", "-q", "--force"}), ExitMismatch);
  EXPECT_TRUE(Has(LineWith(Err(), "--force"), "tarnovell repair film.exe")) << Err();
  // Done as told, the join replaces the output.
  Remove("film.r01");
  Write("film.c002", good);
  EXPECT_EQ(Run({"join", "--force", "film.exe", "-o", "out.avi", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("out.avi"), data);
}

TEST_F(CliTest, SplittingASetIsRefusedUnlessForced) {
  Write("film.avi", Pattern(100000, 3));
  ASSERT_EQ(Run({"split", "film.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  Mkdir("again");
  EXPECT_EQ(Run({"split", "film.exe", "-d", "again"}), ExitRefused);
  EXPECT_TRUE(Has(Err(), "did you mean `tarnovell join film.exe`")) << Err();
  EXPECT_EQ(List("again"), std::set<std::string>{});
  // A set made without digests is one too: it begins with our joiner.
  WriteSet("old", "old.bin", {"abc", "def"});
  EXPECT_EQ(Run({"split", "old.exe", "-d", "again"}), ExitRefused);
  EXPECT_EQ(List("again"), std::set<std::string>{});
  // Forced, the container is cut like any file, and comes back whole.
  EXPECT_EQ(Run({"split", "film.exe", "-d", "again", "--base", "twice", "-s", "40K", "-q", "-f"}),
            ExitComplete)
      << Err();
  EXPECT_EQ(Run({"join", "again/twice.exe", "-o", "back.exe", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("back.exe"), Read("film.exe"));
  // Another Windows program is no set.
  Write("tool.exe", "MZ" + Pattern(40000, 4));
  EXPECT_EQ(Run({"split", "tool.exe", "-d", "again", "-q"}), ExitComplete) << Err();
}

// Free space as the tests give it, and the folder last asked about.
uint64_t FakeFree = 0;
std::string FolderAsked;
bool FakeFreeSpace(const std::string& folder, uint64_t* bytes) {
  FolderAsked = folder;
  *bytes = FakeFree;
  return true;
}
bool UnknownFreeSpace(const std::string&, uint64_t*) { return false; }

TEST_F(CliTest, TooLittleFreeSpaceIsToldBeforeAnythingIsWritten) {
  std::string data = Pattern(100000, 5);
  Write("film.avi", data);
  Mkdir("out");
  OsFreeSpaceHook = FakeFreeSpace;
  FakeFree = data.size();  // the data, but not the container's head
  EXPECT_EQ(Run({"split", "film.avi", "-s", "40K", "-d", "out"}), ExitFileError);
  EXPECT_TRUE(Has(Err(), "needs")) << Err();
  EXPECT_TRUE(Has(Err(), "film.exe")) << Err();
  EXPECT_EQ(FolderAsked, "out");
  EXPECT_EQ(List("out"), std::set<std::string>{});
  FakeFree = data.size() + PayloadOffset;  // just enough
  ASSERT_EQ(Run({"split", "film.avi", "-s", "40K", "-d", "out", "-q"}), ExitComplete) << Err();

  Mkdir("back");
  FakeFree = data.size() - 1;
  EXPECT_EQ(Run({"join", "out/film.exe", "-o", "back/film.avi"}), ExitFileError);
  EXPECT_TRUE(Has(Err(), "back/film.avi needs")) << Err();
  EXPECT_EQ(FolderAsked, "back");
  EXPECT_EQ(List("back"), std::set<std::string>{});
  FakeFree = data.size();
  EXPECT_EQ(Run({"join", "out/film.exe", "-o", "back/film.avi", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("back/film.avi"), data);
  // What a header claims is not what the join writes: the files' data is.
  Write("claim.exe", ContainerBytes(Texts("claim.bin", "1"), "abc"));
  FakeFree = 2;
  EXPECT_EQ(Run({"join", "claim.exe", "-q"}), ExitFileError) << Err();
  FakeFree = 3;
  EXPECT_EQ(Run({"join", "claim.exe", "-q"}), ExitMismatch) << Err();
  EXPECT_EQ(Read("claim.bin"), "abc");
  // Where the system cannot tell, the command goes on.
  OsFreeSpaceHook = UnknownFreeSpace;
  EXPECT_EQ(Run({"join", "out/film.exe", "-o", "back/again.avi", "-q"}), ExitComplete) << Err();
}

#ifdef _WIN32
const int NoSpaceError = ERROR_DISK_FULL;
#else
const int NoSpaceError = ENOSPC;
#endif
// The disk is full from the second chunk copied on: a piece's, past the container's data.
int ChunksCopied = 0;
int DiskFullOnCopy(OsCall call) {
  return call == OsCallCopy && ++ChunksCopied > 1 ? NoSpaceError : 0;
}

TEST_F(CliTest, ADiskFoundFullNamesTheOutputNotAPiece) {
  Write("film.avi", Pattern(100000, 6));
  ASSERT_EQ(Run({"split", "film.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  Mkdir("out");
  OsFaultHook = DiskFullOnCopy;
  ChunksCopied = 0;
  EXPECT_EQ(Run({"join", "film.exe", "-o", "out/back.avi"}), ExitFileError);
  EXPECT_TRUE(Has(Err(), "out/back.avi")) << Err();
  EXPECT_FALSE(Has(Err(), "film.")) << Err();
  ChunksCopied = 0;
  EXPECT_EQ(Run({"split", "film.avi", "-s", "40K", "-d", "out"}), ExitFileError);
  EXPECT_TRUE(Has(Err(), std::string("out") + OsPathSeparator + "film.exe")) << Err();
  EXPECT_FALSE(Has(Err(), ".c00")) << Err();
  EXPECT_EQ(List("out"), std::set<std::string>{});
}

// The characters of UTF-8 text: its bytes but those that continue a character.
size_t Characters(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

// Where " bytes" ends each line of info's table of files, in characters.
std::vector<size_t> SizeColumns(const std::string& out) {
  std::vector<size_t> columns;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    size_t at = line.find(" bytes");
    if (line.compare(0, 2, "  ") == 0 && at != std::string::npos)
      columns.push_back(Characters(line.substr(0, at)));
  }
  return columns;
}

TEST_F(CliTest, InfoLinesUpCyrillicNamesByCharacters) {
  Write("Фильм.avi", Pattern(100000, 7));
  ASSERT_EQ(Run({"split", "Фильм.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  ASSERT_EQ(Run({"split", "Фильм.avi", "-s", "40K", "-q", "--base", "Films"}), ExitComplete);
  ASSERT_EQ(Run({"info", "Фильм.exe"}), ExitComplete);
  std::vector<size_t> cyrillic = SizeColumns(Out());
  ASSERT_EQ(Run({"info", "Films.exe"}), ExitComplete);
  std::vector<size_t> latin = SizeColumns(Out());
  ASSERT_EQ(cyrillic.size(), 4u) << Out();
  EXPECT_EQ(cyrillic, latin);
}

TEST_F(CliTest, ARenamedContainerFindsTheSetItsDigestsFit) {
  std::string data = Pattern(150000, 8);
  Write("film.avi", data);
  Write("decoy.avi", Pattern(150000, 9));          // a set of the same sizes, other data
  Write("longer.avi", data + Pattern(30000, 10));  // the same first pieces, then larger
  ASSERT_EQ(Run({"split", "longer.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  ASSERT_EQ(Run({"split", "film.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  ASSERT_EQ(Run({"split", "decoy.avi", "-s", "40K", "-q"}), ExitComplete) << Err();
  Rename("film.exe", "film (1).exe");
  EXPECT_EQ(Run({"join", "film (1).exe", "-o", "out.avi", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Has(Err(), "pieces taken from film.c001")) << Err();
  EXPECT_EQ(Read("out.avi"), data);
  EXPECT_EQ(Run({"verify", "film (1).exe", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Run({"info", "film (1).exe"}), ExitComplete) << Err();
  EXPECT_TRUE(Has(Out(), "film.c003")) << Out();

  // Two sets that fit: neither is taken.
  for (int n = 1; n <= 4; n++)
    ASSERT_TRUE(MakeHardLink(Path(PieceFile("film", n)), Path(PieceFile("copy", n))));
  EXPECT_EQ(Run({"join", "film (1).exe", "-o", "two.avi", "-q"}), ExitMissingPiece);
  EXPECT_TRUE(Has(Err(), "--pieces-base")) << Err();
  // --pieces-base names the set, as a base or as a file of it.
  EXPECT_EQ(Run({"join", "film (1).exe", "-o", "two.avi", "-q", "--pieces-base", "copy"}),
            ExitComplete)
      << Err();
  EXPECT_EQ(Run({"verify", "film (1).exe", "-q", "--pieces-base", "copy.c001"}), ExitComplete)
      << Err();
  EXPECT_EQ(Run({"info", "film (1).exe", "--pieces-base", "copy.exe"}), ExitComplete) << Err();
  EXPECT_TRUE(Has(Out(), "copy.c004")) << Out();
  // None that fits: the decoy's digests differ.
  for (int n = 1; n <= 4; n++) {
    Remove(PieceFile("film", n));
    Remove(PieceFile("copy", n));
  }
  EXPECT_EQ(Run({"join", "film (1).exe", "-o", "none.avi", "-q"}), ExitMissingPiece);
  EXPECT_TRUE(Has(Err(), "--pieces-base")) << Err();
  EXPECT_EQ(List().count("none.avi"), 0u);
}

// More than 395 pieces share digests: the first run, the container's data and piece 1, decides.
TEST_F(CliTest, ARenamedContainerOfALargeSetIsJudgedByItsFirstRun) {
  const int pieces = 400;
  std::string data = Pattern(static_cast<size_t>(pieces) * 30721, 11);
  Write("big.bin", data);
  ASSERT_EQ(Run({"split", "big.bin", "-s", "30721", "-q"}), ExitComplete) << Err();
  Remove("big.bin");
  // A set of the same sizes whose piece 1 alone differs.
  std::string other = Read("big.c001");
  other[100] ^= 1;
  Write("twin.c001", other);
  for (int n = 2; n <= pieces; n++)
    ASSERT_TRUE(MakeHardLink(Path(PieceFile("big", n)), Path(PieceFile("twin", n))));
  Rename("big.exe", "big (1).exe");
  EXPECT_EQ(Run({"join", "big (1).exe", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Has(Err(), "pieces taken from big.c001")) << Err();
  EXPECT_TRUE(Read("big.bin") == data);
}

TEST_F(CliTest, ARenamedContainerWithoutDigestsTakesOnlyThePiecesBaseGiven) {
  WriteSet("old", "old.bin", {"abc", "def", "gh"});
  Rename("old.exe", "old (1).exe");
  EXPECT_EQ(Run({"join", "old (1).exe", "-q"}), ExitMissingPiece);
  EXPECT_TRUE(Has(Err(), "--pieces-base")) << Err();
  EXPECT_EQ(List().count("old.bin"), 0u);
  EXPECT_EQ(Run({"join", "old (1).exe", "-q", "--pieces-base", "old"}), ExitComplete) << Err();
  EXPECT_EQ(Read("old.bin"), "abcdefgh");
}

}  // namespace
