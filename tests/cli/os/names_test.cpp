// Names and paths on both systems: the joiner's base rule, the parts of a path, names a set made
// for Windows cannot carry (device names, a dot or a space at the end, no Windows-1251 form),
// hidden names, and long paths through Cyrillic folders.
#include "cli/os/paths.h"
#include "cli/set/pieces.h"
#include "tests/cli/test_support.h"

namespace {

TEST(CliBasePath, TheJoinersCutAtTheLastExeInAnyCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"movie.exe", "movie"},
      {"dir/MOVIE.EXE", "dir/MOVIE"},
      {"old.exe files/movie.Exe", "old.exe files/movie"},
      {"a.exe.exe", "a.exe"},
      {"Фильм.ExE", "Фильм"},
      {"movie.bin", ""},
      {"exe", ""},
      {".exe", ""},
      {"dir/.exe", "dir/"},
  };
  for (const auto& c : cases) EXPECT_EQ(ContainerBasePath(c.first), c.second) << c.first;
}

struct PathCase {
  std::string path, folder, last;
};

TEST(CliPaths, FolderAndLastComponentByTheSystemsSeparators) {
  std::vector<PathCase> cases = {
      {"movie.exe", "", "movie.exe"},
      {"dir/movie.exe", "dir", "movie.exe"},
      {"/movie.exe", "/", "movie.exe"},
      {"a/b/c", "a/b", "c"},
      {"dir/", "dir", ""},
  };
#ifdef _WIN32
  std::vector<PathCase> windows = {
      {"dir\\movie.exe", "dir", "movie.exe"},
      {"C:movie.exe", "C:", "movie.exe"},
      {"C:\\movie.exe", "C:\\", "movie.exe"},
      {"C:\\a\\b.exe", "C:\\a", "b.exe"},
      {"\\\\server\\share\\x.exe", "\\\\server\\share\\", "x.exe"},
      {"\\\\?\\C:\\x.exe", "\\\\?\\C:\\", "x.exe"},
      {"a/b\\c", "a/b", "c"},
  };
  cases.insert(cases.end(), windows.begin(), windows.end());
  EXPECT_EQ(JoinPath("C:", "x"), "C:x");
  EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\x");
  EXPECT_EQ(JoinPath("dir", "x"), "dir\\x");
#else
  cases.push_back(
      {"dir\\movie.exe", "", "dir\\movie.exe"});  // a backslash is a character of the name
  EXPECT_EQ(JoinPath("dir", "x"), "dir/x");
#endif
  EXPECT_EQ(JoinPath("", "x"), "x");
  EXPECT_EQ(JoinPath("/", "x"), "/x");
  for (const PathCase& c : cases) {
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(LastComponent(c.path), c.last) << c.path;
  }
}

TEST_F(CliTest, ReservedNamesAreRefusedForTheSetAndTheJoinedFile) {
  Write("in.txt", "data");
  const char* reserved[] = {"CON",      "con",  "nul.txt", "Aux.tar.gz", "PRN",    "COM1",
                            "com9.avi", "LPT1", "LPT9.x",  "CON .txt",   "movie.", "movie "};
  for (const char* name : reserved) {
    EXPECT_EQ(Run({"split", "in.txt", "--base", name}), ExitRefused) << name;
    EXPECT_NE(Err().find("cannot be used"), std::string::npos) << Err();
    EXPECT_EQ(Run({"split", "in.txt", "--name", name}), ExitRefused) << name;
  }
  EXPECT_NE(Err().find("give --name \"movie\""), std::string::npos) << Err();
  EXPECT_EQ(List(), std::set<std::string>{"in.txt"});
  // Names that only look like them are fine.
  for (const char* name : {"CONSOLE", "COM10", "xcon", "LPT", "nul-points", "con_", ".CON"}) {
    EXPECT_EQ(Run({"split", "in.txt", "--base", "b", "--name", name, "-q", "--force"}),
              ExitComplete)
        << name << Err();
  }

  // A joined file of such a name is refused before anything is written, whatever gives the name.
  Mkdir("out");
  for (const char* record : {"AUX.txt", "..\\NUL", "C:com1", "name.", "name "}) {
    Write("r.exe", ContainerBytes(Texts(record, "3"), "abc"));
    EXPECT_EQ(Run({"join", "r.exe", "-o", "out"}), ExitRefused) << record;
    EXPECT_NE(Err().find("give -o PATH with another name"), std::string::npos) << Err();
    EXPECT_EQ(Run({"info", "r.exe"}), ExitComplete) << record;
    EXPECT_NE(Out().find("not usable"), std::string::npos) << Out();
  }
  EXPECT_EQ(Run({"join", "r.exe", "-o", "out/PRN.bin"}), ExitRefused);
  EXPECT_EQ(List("out"), std::set<std::string>{});
  EXPECT_EQ(Run({"join", "r.exe", "-o", "out/joined", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("out/joined"), "abc");
}

TEST_F(CliTest, NamesWithoutAWindows1251FormTravelExactly) {
  // Record 1 holds what older joiners take, "_" for what 1251 lacks; the exact name travels in
  // the name field, and the tool joins under it. Windows' best fit would have made "é" an "e".
  Write("in.txt", "data");
  const std::pair<std::string, std::string> names[] = {
      {"Müller – Ωmega 日本.pdf", "M_ller \x96 _mega __.pdf"},
      {"café", "caf_"},
      {"emoji\xF0\x9F\x98\x80", "emoji_"}};
  for (const auto& [name, record] : names) {
    ASSERT_EQ(Run({"split", "in.txt", "--name", name, "--base", name, "-q"}), ExitComplete)
        << Err();
    std::string header = Read(name + ".exe").substr(HeaderOffset, 256);
    EXPECT_EQ(header.substr(0, 1 + record.size()), static_cast<char>(record.size()) + record);
    EXPECT_EQ(Run({"info", name + ".exe"}), ExitComplete);
    EXPECT_NE(Out().find("Name:      \"" + name + "\"\n"), std::string::npos) << Out();
    Mkdir("out");
    EXPECT_EQ(Run({"join", name + ".exe", "-o", "out", "-q"}), ExitComplete) << Err();
    EXPECT_EQ(List("out"), std::set<std::string>{name});
    std::filesystem::remove_all(Path("out"));
  }
  // A name outside 1251 that does not fit beside its rendering cannot travel: refused.
  std::string tooLong(90, 'a');
  for (int i = 0; i < 30; i++) tooLong += "日";
  EXPECT_EQ(Run({"split", "in.txt", "--name", tooLong, "--base", "x"}), ExitRefused);
  EXPECT_NE(Err().find("the name is too long for the header"), std::string::npos) << Err();
  std::set<std::string> sets = {"in.txt"};
  for (const auto& [name, record] : names) sets.insert(name + ".exe");
  EXPECT_EQ(List(), sets);
  // Every letter of Windows-1251's Cyrillic, and its signs, goes in as the one byte.
  EXPECT_EQ(Run({"split", "in.txt", "--name", "Ёжик ёжик №5 «ЎЇЄІ» ђ", "--base", "ёж", "-q"}),
            ExitComplete)
      << Err();
  EXPECT_EQ(Read("ёж.exe").substr(HeaderOffset, 22),
            "\x15\xA8\xE6\xE8\xEA \xB8\xE6\xE8\xEA \xB9"
            "5 \xAB\xA1\xAF\xAA\xB2\xBB \x90");
}

TEST_F(CliTest, HiddenNamesAreWrittenOnlyWhereThePathIsGiven) {
  Write(".bashrc", "mine");
  Mkdir("out");
  for (const char* record : {".bashrc", "..\\.bashrc", "C:.bashrc", "/home/someone/.bashrc"}) {
    Write("h.exe", ContainerBytes(Texts(record, "3"), "abc"));
    EXPECT_EQ(Run({"join", "h.exe", "--force"}), ExitRefused) << record;
    EXPECT_NE(Err().find("\".bashrc\" starts with a dot"), std::string::npos) << Err();
    EXPECT_EQ(Run({"join", "h.exe", "--force", "-o", "out"}), ExitRefused) << record;
  }
  EXPECT_EQ(Read(".bashrc"), "mine");
  EXPECT_EQ(List("out"), std::set<std::string>{});
  EXPECT_EQ(Run({"info", "h.exe"}), ExitComplete);
  EXPECT_NE(Out().find("join writes it only to a path given with -o"), std::string::npos) << Out();
  EXPECT_EQ(Run({"join", "h.exe", "-o", "out/.bashrc", "-q"}), ExitComplete) << Err();
  EXPECT_EQ(Read("out/.bashrc"), "abc");
}

// A path of more than 260 characters through Cyrillic folders (Windows needs its long form).
TEST_F(CliTest, LongPathsThroughCyrillicFolders) {
  std::string deep = "in";
  for (int i = 0; i < 24; i++) deep += "/папка_номер_" + std::to_string(10 + i);
  std::string out = "out";
  for (int i = 0; i < 24; i++) out += "/каталог_" + std::to_string(10 + i);
  size_t characters = 0;
  for (unsigned char c : Path(deep)) characters += (c & 0xC0) != 0x80 ? 1 : 0;
  ASSERT_GT(characters, 300u);
  std::filesystem::create_directories(LongForm(Path(deep)));
  std::filesystem::create_directories(LongForm(Path(out)));
  std::string data = Pattern(200000, 9);
  {
    std::ofstream file(LongForm(Path(deep + "/Данные.bin")), std::ios::binary);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  // Relative paths (against the current folder) and absolute ones.
  ASSERT_EQ(Run({"split", deep + "/Данные.bin", "--size", "60000", "-d", Path(deep), "-q"}),
            ExitComplete)
      << Err();
  ASSERT_EQ(Run({"info", deep + "/Данные.exe"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("Данные.c003"), std::string::npos) << Out();
  ASSERT_EQ(Run({"join", Path(deep + "/Данные.exe"), "-o", out, "-q"}), ExitComplete) << Err();
  {
    std::ifstream joined(LongForm(Path(out + "/Данные.bin")), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(joined),
                            std::istreambuf_iterator<char>()) == data);
  }
  // Removed here, by their long forms, deepest first: the scratch folder's removal takes only
  // short paths on Windows.
  for (const char* name :
       {"Данные.bin", "Данные.exe", "Данные.c001", "Данные.c002", "Данные.c003"}) {
    std::filesystem::remove(LongForm(Path(deep + "/" + name)));
  }
  std::filesystem::remove(LongForm(Path(out + "/Данные.bin")));
  for (std::string folder : {deep, out}) {
    for (; folder.find('/') != std::string::npos; folder = folder.substr(0, folder.rfind('/'))) {
      EXPECT_TRUE(std::filesystem::remove(LongForm(Path(folder)))) << folder;
    }
  }
}

}  // namespace
