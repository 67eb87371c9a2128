// join and info over hand-made and hostile containers: the joiner's accounting and outcomes,
// untrusted names, piece lookup.
#include "cli/commands/commands.h"
#include "cli/show/text.h"
#include "tests/cli/test_support.h"

namespace {

TEST_F(CliTest, TruncatedHeadIsRefusedAtEveryOffset) {
  std::string container = ContainerBytes(Texts("x.bin", "10"), "");
  Write("t.exe", container);
  Mkdir("out");
  // Every length natively; under Wine, where each run costs far more, every 61st and the edges.
  std::vector<int64_t> lengths = {PayloadOffset - 1, StubSize + 1, StubSize, StubSize - 1, 1, 0};
#ifdef _WIN32
  const int64_t stride = 61;
#else
  const int64_t stride = 1;
#endif
  for (int64_t length = PayloadOffset - 2; length > 1; length -= stride) lengths.push_back(length);
  for (int64_t length : lengths) {
    std::filesystem::resize_file(U8(Path("t.exe")), static_cast<uintmax_t>(length));
    // Straight to the commands: the command line is the same every time.
    JoinOptions join;
    join.ContainerPath = "t.exe";
    join.OutputPath = "out";
    join.Quiet = true;
    ASSERT_EQ(RunJoinCommand(join), ExitBadContainer) << length;
    ASSERT_EQ(RunInfo("t.exe", ""), ExitBadContainer) << length;
  }
  EXPECT_EQ(List("out"), std::set<std::string>{});
  EXPECT_EQ(Run({"join", "t.exe", "-o", "out"}), ExitBadContainer);
  EXPECT_EQ(List(), (std::set<std::string>{"t.exe", "out"}));
  EXPECT_NE(Err().find("not a container"), std::string::npos);
}

struct NameCase {
  std::string record;
  std::string written;
};

TEST_F(CliTest, ProposedNameStaysAPlainFileName) {
  const NameCase cases[] = {
      {"..\\..\\x", "x"},
      {"/etc/passwd", "passwd"},
      {"a/../../y", "y"},
      {"C:evil", "evil"},
      {"\x01\x02na\nme\x7f", "name"},
      {"..", "h"},  // nothing usable: the container's base name
      {"", "h"},
      {"dir\\", "h"},
      {"\xD4\xE8\xEB\xFC\xEC \x98.avi", "Фильм \xEF\xBF\xBD.avi"},  // 0x98 has no character
  };
  Mkdir("out");
  Mkdir("out/sub");
  for (const NameCase& c : cases) {
    Write("h.exe", ContainerBytes(Texts(c.record, "3"), "abc"));
    EXPECT_EQ(Run({"join", "h.exe", "-o", "out/sub", "-q"}), 0) << Err();
    EXPECT_EQ(List("out/sub"), std::set<std::string>{c.written}) << Printable(c.record);
    EXPECT_EQ(Read("out/sub/" + c.written), "abc");
    for (const std::string& name : List("out/sub")) Remove("out/sub/" + name);
  }
  EXPECT_EQ(List("out"), std::set<std::string>{"sub"});
  EXPECT_EQ(List(), (std::set<std::string>{"h.exe", "out"}));
  // 255 Cyrillic letters: 510 bytes in UTF-8, cut to a file name the system takes.
  Write("h.exe", ContainerBytes(Texts(std::string(251, '\xFF') + ".txt", "3"), "abc"));
  EXPECT_EQ(Run({"join", "h.exe", "-q"}), 0) << Err();
  std::string longName;
  for (int i = 0; i < 125; i++) longName += "я";
  EXPECT_EQ(Read(longName + ".txt"), "abc");
}

TEST_F(CliTest, BadHeaderNumbersAreRefused) {
  const std::string bad[] = {"abc", "", "12 ", "\t5", "--5", "9223372036854775808", "$", "1\x01"};
  for (int record = RecordTotalSize; record < HeaderRecordCount; record++) {
    for (const std::string& text : bad) {
      HeaderTexts texts = Texts("x", "3");
      texts[static_cast<size_t>(record)] = text;
      Write("b.exe", ContainerBytes(texts, "abc"));
      ASSERT_EQ(Run({"join", "b.exe", "-q"}), ExitBadContainer) << record << " " << Printable(text);
      EXPECT_NE(Err().find("'" + Printable(text) + "' is not a valid integer value"),
                std::string::npos)
          << Err();
      ASSERT_EQ(Run({"info", "b.exe"}), ExitBadContainer);
    }
  }
  EXPECT_EQ(List(), std::set<std::string>{"b.exe"});
}

struct OutcomeCase {
  std::string total;
  std::string payload;
  int code;
  std::string output;  // what the joined file holds; "-" for none
};

TEST_F(CliTest, OutcomesFollowTheJoinersAccounting) {
  const OutcomeCase cases[] = {
      {"0", "ignored", ExitComplete, ""},       // nothing to join: an empty file
      {"-1", "ignored", ExitMismatch, ""},      // a negative total: empty and possibly damaged
      {"3", "abcdef", ExitMismatch, "abcdef"},  // more data than the total: all of it is kept
      {"$6", "abcdef", ExitComplete, "abcdef"},
      {"9223372036854775807", "ab", ExitMissingPiece, "-"},
      {"-9223372036854775808", "ab", ExitMismatch, ""},
  };
  for (const OutcomeCase& c : cases) {
    Write("o.exe", ContainerBytes(Texts("out.bin", c.total), c.payload));
    EXPECT_EQ(Run({"join", "o.exe", "-q"}), c.code) << c.total;
    if (c.output == "-") {
      EXPECT_EQ(List(), std::set<std::string>{"o.exe"}) << c.total;
      EXPECT_NE(Err().find("o.c001 not found"), std::string::npos) << Err();
    } else {
      EXPECT_EQ(TimesOf(Path("out.bin")).Write, 0x01D5C0DE12345678ull) << c.total;
      EXPECT_EQ(Read("out.bin"), c.output) << c.total;
      Remove("out.bin");
    }
    EXPECT_EQ(Run({"info", "o.exe"}), c.code) << c.total;
  }
}

TEST_F(CliTest, PiecesAreFoundByTheBaseRuleAndIgnoringCase) {
  // Payloads: 2 + 3 + 4 bytes; the pieces in other cases than the joiner forms them.
  Write("Фильм.EXE", ContainerBytes(Texts("film", "9"), "ab"));
  Write("ФИЛЬМ.C001", "cde");
  Write("фильм.c002", "fghi");
  Write("Фильм.c003", "never read");
  EXPECT_EQ(Run({"join", "Фильм.EXE", "-q"}), 0) << Err();
  EXPECT_EQ(Read("film"), "abcdefghi");
  EXPECT_EQ(Run({"info", "Фильм.EXE"}), 0);
  EXPECT_NE(Out().find("not needed"), std::string::npos) << Out();

  // A missing piece names the path; --pieces-dir finds it elsewhere.
  Mkdir("elsewhere");
  Rename("фильм.c002", "elsewhere/Фильм.c002");
  EXPECT_EQ(Run({"join", "Фильм.EXE", "-o", "again"}), ExitMissingPiece);
  EXPECT_NE(Err().find("piece 2 is missing: Фильм.c002 not found"), std::string::npos) << Err();
  EXPECT_EQ(Run({"info", "Фильм.EXE"}), ExitMissingPiece);
  EXPECT_NE(Out().find("4 still needed from piece 2"), std::string::npos) << Out();
  Rename("ФИЛЬМ.C001", "elsewhere/Фильм.c001");
  EXPECT_EQ(Run({"join", "Фильм.EXE", "-o", "again", "--pieces-dir", "elsewhere", "-q"}), 0)
      << Err();
  EXPECT_EQ(Read("again"), "abcdefghi");

  // No ".exe" in the name: the joiner's rule gives an empty base.
  Write("set.bin", ContainerBytes(Texts("s", "5"), "ab"));
  Write("set.c001", "cde");
  EXPECT_EQ(Run({"join", "set.bin"}), ExitMissingPiece);
  EXPECT_NE(Err().find(".c001 not found; the container's name has no .exe ending"),
            std::string::npos)
      << Err();
  Write(".c001", "cde");
  EXPECT_EQ(Run({"join", "set.bin", "-q"}), 0);
  EXPECT_EQ(Read("s"), "abcde");
}

TEST_F(CliTest, JoinNeverReplacesWithoutForceNorTheSetItself) {
  WriteSet("p", "p.out", {"ab", "cde"});
  Write("p.out", "keep");
  EXPECT_EQ(Run({"join", "p.exe"}), ExitRefused);
  EXPECT_EQ(Read("p.out"), "keep");
  EXPECT_EQ(Run({"join", "p.exe", "--force", "-q"}), 0);
  EXPECT_EQ(Read("p.out"), "abcde");
  EXPECT_EQ(Run({"join", "p.exe", "-o", "p.exe", "--force"}), ExitRefused);
  EXPECT_EQ(Run({"join", "p.exe", "-o", "p.c001", "--force"}), ExitRefused);
  EXPECT_EQ(Read("p.c001"), "cde");
  EXPECT_EQ(List(), (std::set<std::string>{"p.exe", "p.c001", "p.out"}))
      << "no temporary file is left";
  // A file of the set under another name (a hard link) is still that file.
  ASSERT_TRUE(MakeHardLink(Path("p.c001"), Path("other.name")));
  EXPECT_EQ(Run({"join", "p.exe", "-o", "other.name", "--force"}), ExitRefused);
  EXPECT_NE(Err().find("other.name is a piece of the set"), std::string::npos) << Err();
  EXPECT_EQ(Read("other.name"), "cde");
  // A piece that cannot be read is a file-system error; no output appears.
  Remove("other.name");
  Remove("p.out");
  Remove("p.c001");
  Mkdir("p.c001");
  EXPECT_EQ(Run({"join", "p.exe"}), ExitFileError);
  EXPECT_EQ(List(), (std::set<std::string>{"p.exe", "p.c001"}));
}

// A file that appears under the output's name while the join runs is not replaced: the last
// step itself refuses to replace (renameat2 or a link on Linux, MoveFileExW on Windows).
std::string AppearingFile;

int WriteAppearingFile(OsCall call) {
  if (call == OsCallCopy) WriteFileBytes(AppearingFile, "appeared");
  return 0;
}

TEST_F(CliTest, AFileThatAppearsDuringTheJoinIsNotReplaced) {
  WriteSet("p", "p.out", {"ab", "cde"});
  AppearingFile = Path("p.out");
  OsFaultHook = WriteAppearingFile;
  EXPECT_EQ(Run({"join", "p.exe"}), ExitRefused);
  EXPECT_NE(Err().find("cannot write p.out: it exists"), std::string::npos) << Err();
  EXPECT_EQ(Read("p.out"), "appeared");
  EXPECT_EQ(List(), (std::set<std::string>{"p.exe", "p.c001", "p.out"}))
      << "no temporary file is left";
  // With --force the join's file takes the place.
  EXPECT_EQ(Run({"join", "p.exe", "--force", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("p.out"), "abcde");
}

}  // namespace
