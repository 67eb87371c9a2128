// The whole program over containers on disk: the window created from a container (its header
// loaded), the start command, the join and what the window paints after it; and headers whose
// first record names a path instead of a file.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/file_time.h"
#include "tests/stub/join/block_header.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/outcome_texts.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_bytes.h"
#include "tests/support/ui_fixture.h"
#include "stub/ui/main_window.h"

using jointest::TimesOf;
using testing::ElementsAre;

namespace {

const int64_t Second = 1000000000;
// The header's times, each a different one, as Unix seconds.
const int64_t CreationSeconds = 1500000000, AccessSeconds = 1600000000, WriteSeconds = 1700000000;
// Times of files that were there before the join.
const int64_t OldAccessSeconds = 1000000000, OldWriteSeconds = 1100000000;

// The stand-in's log line for the header's three times, each in its place.
std::string HeaderTimesCall() {
  return fake::SetFileTimeCall(UnixNanosecondsToFileTime(CreationSeconds * Second),
                               UnixNanosecondsToFileTime(AccessSeconds * Second),
                               UnixNanosecondsToFileTime(WriteSeconds * Second));
}

void WriteWithTimes(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(scratch::WriteBytes(path, bytes));
  struct timespec times[2] = {{OldAccessSeconds, 0}, {OldWriteSeconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Dir holds sets/ (the containers), work/ (the current folder while the program runs) and
// outside/ (files a header must not reach).
class ProgramRun : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    for (const char* folder : {"sets", "work", "outside"})
      std::filesystem::create_directory(Dir + "/" + folder);
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    Before = here;
    ASSERT_EQ(chdir((Dir + "/work").c_str()), 0);
  }
  void TearDown() override {
    if (!Before.empty()) EXPECT_EQ(chdir(Before.c_str()), 0);
    UiTest::TearDown();
  }

  static HeaderTexts Header(const std::string& name, int64_t total) {
    return MakeHeaderTexts(name, total, FileTimeOfUnixNanoseconds(CreationSeconds * Second),
                           FileTimeOfUnixNanoseconds(AccessSeconds * Second),
                           FileTimeOfUnixNanoseconds(WriteSeconds * Second));
  }
  static void Press(HWND window) { MainWndProc(window, WM_COMMAND, StartButtonId, 0); }
  // The program started from sets/DATA.exe, its button pressed and the Save dialog answered
  // with work/joined.bin: the join is over. Returns the main window.
  HWND JoinThroughTheWindow() {
    UseOwnImage(Dir + "/sets/DATA.exe");
    HWND window = OpenMainWindow();
    fake::SaveAnswers.push_back({true, Dir + "/work/joined.bin"});
    Press(window);
    return window;
  }
  static void Paint(HWND window) {
    fake::Log.clear();
    MainWndProc(window, WM_PAINT, 0, 0);
  }
  // Every file under Dir, as paths relative to it.
  std::vector<std::string> FilesUnderDir() const {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Dir))
      if (!entry.is_directory())
        files.push_back(std::filesystem::relative(entry.path(), Dir).string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string Before;
};

std::string OutcomeLine(const char* text) { return std::string("DrawTextW(") + text; }

// ---- a join through the window, and what it paints afterwards ---------------------------------

TEST_F(ProgramRun, PaintingAfterAJoinShowsTheWholeBarAndTheOutcome) {
  std::vector<std::string> payloads = Patterns({100000, 70000});
  ASSERT_TRUE(WriteSet(Dir + "/sets/DATA", "MZ", Header("joined.bin", 170000), payloads));
  HWND window = JoinThroughTheWindow();
  ASSERT_TRUE(JoinState.Finished);
  EXPECT_EQ(TimesOf(Dir + "/work/joined.bin").access, AccessSeconds);
  EXPECT_EQ(TimesOf(Dir + "/work/joined.bin").write, WriteSeconds);
  EXPECT_EQ(scratch::ReadBytes(Dir + "/work/joined.bin"), payloads[0] + payloads[1]);

  Paint(window);
  EXPECT_EQ(fake::Count("Rectangle"), 41u) << "the bar stays full after the join";
  std::vector<std::string> texts = fake::Calls("DrawTextW");
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(texts[6], "DrawTextW(joined.bin,10,16,78,229,91,0x0)") << "the chosen file's name";
  EXPECT_EQ(texts[7], OutcomeLine(outcome::CompleteText) + ",24,16,107,265,120,0x0)");
}

// The header's digest block reaches the join: a damaged piece is named in the warning box, the
// output is kept, and the window paints the damage line.
TEST_F(ProgramRun, ADamagedPieceIsNamedAndTheWindowShowsTheDamage) {
  std::vector<std::string> payloads = Patterns({100000, 70000, 500});
  std::string header = jointest::BlockHeader(Header("joined.bin", 170500), payloads);
  std::vector<std::string> pieces = payloads;
  pieces[1][69999] ^= 1;
  ASSERT_TRUE(scratch::WriteBytes(Dir + "/sets/DATA.exe", FitStubImage("MZ") + header + pieces[0]));
  ASSERT_TRUE(scratch::WriteBytes(Dir + "/sets/DATA.c001", pieces[1]));
  ASSERT_TRUE(scratch::WriteBytes(Dir + "/sets/DATA.c002", pieces[2]));
  HWND window = JoinThroughTheWindow();
  EXPECT_THAT(fake::Calls("MessageBoxW"),
              ElementsAre(testing::EndsWith("\nDATA.C001,Tarnovell!,0x30)")));
  EXPECT_EQ(scratch::ReadBytes(Dir + "/work/joined.bin"), Concatenated(pieces));
  Paint(window);
  EXPECT_EQ(fake::Calls("DrawTextW").back().rfind(OutcomeLine(outcome::MismatchText) + ",", 0), 0u);
}

// A changed program byte makes the container a bad piece where the header's stub digest vouches
// for the program, named once with a damaged payload too; a header without it joins as ever.
TEST_F(ProgramRun, AChangedProgramIsABadPieceWhereTheHeaderVouchesForIt) {
  struct Case {
    bool vouched, programChanged, payloadChanged, bad;
  } cases[] = {{true, false, false, false},
               {true, true, false, true},
               {true, true, true, true},
               {false, true, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.vouched << c.programChanged << c.payloadChanged);
    SetUp();
    std::vector<std::string> payloads = Patterns({100000, 70000});
    std::string stub = FitStubImage("MZ");
    std::string header =
        jointest::BlockHeader(Header("joined.bin", 170000), payloads, 1, c.vouched ? stub : "");
    stub[StubSize - 1] ^= c.programChanged;
    payloads[0][5] ^= c.payloadChanged;
    ASSERT_TRUE(scratch::WriteBytes(Dir + "/sets/DATA.exe", stub + header + payloads[0]));
    ASSERT_TRUE(scratch::WriteBytes(Dir + "/sets/DATA.c001", payloads[1]));
    JoinThroughTheWindow();
    EXPECT_EQ(scratch::ReadBytes(Dir + "/work/joined.bin"), Concatenated(payloads));
    EXPECT_EQ(JoinState.Outcome, c.bad ? OutcomeMismatch : OutcomeComplete);
    std::vector<std::string> boxes = fake::Calls("MessageBoxW");
    ASSERT_EQ(boxes.size(), c.bad ? 1u : 0u);
    if (c.bad) EXPECT_THAT(boxes[0], testing::EndsWith(":\r\nDATA.EXE,Tarnovell!,0x30)"));
    TearDown();
  }
}

// The base path of an own image without ".exe" is empty: the container and the pieces are the
// bare names ".exe", ".c001", ... in the current folder.
TEST_F(ProgramRun, AnOwnNameWithoutExeJoinsTheBareNamesOfTheCurrentFolder) {
  std::vector<std::string> payloads = {Pattern(5000, 3), Pattern(3000, 4)};
  ASSERT_TRUE(WriteSet(Dir + "/work/", "MZ", Header("joined.bin", 8000), payloads));
  ASSERT_TRUE(scratch::WriteBytes(Dir + "/sets/movie.bin",
                                  FitStubImage("MZ") + HeaderBytes(Header("joined.bin", 8000))));
  UseOwnImage(Dir + "/sets/movie.bin");
  HWND window = OpenMainWindow();
  EXPECT_EQ(fake::WindowOf(window)->title, "Tarnovell! - .EXE");
  fake::SaveAnswers.push_back({true, "out.bin"});
  Press(window);
  EXPECT_EQ(JoinState.Outcome, OutcomeComplete);
  EXPECT_EQ(scratch::ReadBytes(Dir + "/work/out.bin"), payloads[0] + payloads[1]);
  EXPECT_EQ(fake::Calls("SetWindowTextW")[0], "SetWindowTextW(1,Tarnovell! - .C001)");
}

// ---- headers that name a path ------------------------------------------------------------------

// A total of 0 or less asks for no output name: the header's name is taken as a file name in
// the current folder, created new, and a file already there keeps its bytes and its times.
TEST_F(ProgramRun, WithoutADialogOnlyANewFileInTheCurrentFolderIsWritten) {
  struct Case {
    std::string record;  // header record 1
    int64_t total;
    std::string created;  // the new file under Dir ("" none)
    uint8_t outcome;
  };
  const std::string Outside = "(the absolute path of outside/victim.txt)";
  const Case cases[] = {
      {"plain.bin", 0, "work/plain.bin", OutcomeComplete},
      {"plain.bin", -5, "work/plain.bin", OutcomeMismatch},
      {Outside, 0, "work/victim.txt", OutcomeComplete},
      {"..\\outside\\victim.txt", 0, "work/victim.txt", OutcomeComplete},
      {"..\\escape.txt", 0, "work/escape.txt", OutcomeComplete},
      {"../escape.txt", 0, "work/escape.txt", OutcomeComplete},
      {"C:drive.txt", 0, "work/drive.txt", OutcomeComplete},
      {"here.txt", 0, "", OutcomeFileError},  // already in the current folder
      {"C:\\x\\here.txt", -1, "", OutcomeFileError},
      {"..", 0, "", OutcomeFileError},  // a folder, not a file
      {"", 0, "", OutcomeFileError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    SetUp();
    const std::string outside = Dir + "/outside/victim.txt";
    std::string record = c.record == Outside ? outside : c.record;
    WriteWithTimes(outside, "outside");
    WriteWithTimes(Dir + "/work/here.txt", "here");
    std::vector<std::string> before = FilesUnderDir();
    ASSERT_TRUE(WriteSet(Dir + "/sets/DATA", "MZ", Header(record, c.total), {"payload"}));
    UseOwnImage(Dir + "/sets/DATA.exe");
    HWND window = OpenMainWindow();
    Press(window);

    EXPECT_EQ(fake::Count("GetSaveFileNameW"), 0u);
    EXPECT_EQ(JoinState.Outcome, c.outcome);
    EXPECT_TRUE(JoinState.CloseOnPress);
    std::vector<std::string> after = before;
    after.insert(after.end(), {"sets/DATA.exe"});
    if (!c.created.empty()) after.push_back(c.created);
    std::sort(after.begin(), after.end());
    EXPECT_EQ(FilesUnderDir(), after);
    if (!c.created.empty()) {
      EXPECT_EQ(scratch::SizeOf(Dir + "/" + c.created), 0);
      EXPECT_EQ(TimesOf(Dir + "/" + c.created).access, AccessSeconds);
      EXPECT_EQ(TimesOf(Dir + "/" + c.created).write, WriteSeconds);
      EXPECT_THAT(fake::Calls("SetFileTime"), ElementsAre(HeaderTimesCall()));
    } else {
      EXPECT_EQ(fake::Count("SetFileTime"), 0u);
    }
    for (const std::string& old : {outside, Dir + "/work/here.txt"}) {
      EXPECT_EQ(TimesOf(old).access, OldAccessSeconds) << old;
      EXPECT_EQ(TimesOf(old).write, OldWriteSeconds) << old;
    }
    EXPECT_EQ(scratch::ReadBytes(outside), "outside");
    EXPECT_EQ(scratch::ReadBytes(Dir + "/work/here.txt"), "here");
    // The window says what became of it: no full bar for a file that was not made.
    Paint(window);
    EXPECT_EQ(
        fake::Calls("DrawTextW").back().rfind(OutcomeLine(outcome::Texts[c.outcome]) + ",", 0), 0u);
    EXPECT_EQ(fake::Count("Rectangle"), c.outcome == OutcomeComplete ? 41u : 0u);
    TearDown();
  }
}

// The Save dialog proposes the file name alone, so that it opens in its usual folder.
TEST_F(ProgramRun, TheSaveDialogProposesOnlyAFileName) {
  const std::pair<std::string, std::string> cases[] = {
      {"movie.avi", "movie.avi"},       {"C:\\Windows\\System32\\evil.dll", "evil.dll"},
      {"..\\..\\evil.txt", "evil.txt"}, {"/etc/evil", "evil"},
      {"C:evil.txt", "evil.txt"},       {"..", ""},
  };
  for (const auto& [record, proposed] : cases) {
    SCOPED_TRACE(record);
    SetUp();
    ASSERT_TRUE(WriteSet(Dir + "/sets/DATA", "MZ", Header(record, 7), {"payload"}));
    UseOwnImage(Dir + "/sets/DATA.exe");
    HWND window = OpenMainWindow();
    Press(window);  // the dialog is cancelled: nothing happens
    EXPECT_THAT(fake::DialogInitialNames, ElementsAre(proposed));
    EXPECT_FALSE(JoinState.Finished);
    TearDown();
  }
}

}  // namespace
