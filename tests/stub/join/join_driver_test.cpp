// The join driver over real sets: the Save and Open dialogs, piece titles, relocation,
// abandonment, the outcomes, the times, the exit button; and the refusal of outputs that are
// files of the set.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "stub/fileio/large_file.h"
#include "stub/join/join_driver.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/fake_ui.h"

using jointest::Exists;
using jointest::Read;
using testing::ElementsAre;

using JoinDriverTest = JoinTest;

static std::string Title(const std::string& name) {
  return "SetWindowTextW(1,Tarnovell! - " + name + ")";
}

static std::vector<std::string> Titles() { return fake::Calls("SetWindowTextW"); }

static std::string ConfirmBox() {
  return std::string("MessageBoxW(1,") + jointest::ConfirmText + ",Tarnovell!,0x123)";
}

static std::string RefusalBox(const char* text) {
  return std::string("MessageBoxW(1,") + text + ",Tarnovell!,0x10)";
}

// The end of a join as the window shows it.
static void ExpectDone(uint8_t outcome) {
  EXPECT_TRUE(JoinState.Finished);
  EXPECT_TRUE(JoinState.CloseOnPress);
  EXPECT_EQ(JoinState.Outcome, outcome);
  EXPECT_EQ(fake::WindowOf(JoinState.StartButton)->title, jointest::ExitLabel);
  // Nothing of an earlier, longer title is left behind the label.
  size_t label = std::strlen(jointest::ExitLabel);
  EXPECT_EQ(fake::Text(JoinState.TextBuffer, TextBufferSize),
            jointest::ExitLabel + std::string(TextBufferSize - label, '\0'));
  EXPECT_TRUE(fake::WindowOf(JoinState.StartButton)->enabled);
  EXPECT_EQ(fake::Log.back(), "InvalidateRect(1,null,1)");
}

TEST_F(JoinDriverTest, ThreePiecesAreJoinedInOrderWithTitlesAndTimes) {
  std::vector<std::string> payloads = Patterns({100000, 65536, 12345});
  int64_t total = 100000 + 65536 + 12345;
  PrepareJoin(WriteSet(Path("DATA"), payloads, total), total);
  fake::SaveAnswers.push_back({true, Path("joined.bin")});
  RunJoin(window, WindowJoinCallbacks);

  // Each time in its place: creation, last access, last write (the file is read only after).
  EXPECT_THAT(fake::Calls("SetFileTime"), ElementsAre(HeaderTimesCall()));
  EXPECT_EQ(jointest::TimesOf(Path("joined.bin")).access, AccessSeconds);
  EXPECT_EQ(jointest::TimesOf(Path("joined.bin")).write, WriteSeconds);
  EXPECT_BYTES(Read(Path("joined.bin")), Concatenated(payloads));
  EXPECT_EQ(JoinState.PieceIndex, 3);
  EXPECT_EQ(JoinState.JoinedSize, total);
  EXPECT_EQ(fake::Text(JoinState.OutputPath), Path("joined.bin"));
  ExpectDone(OutcomeComplete);
  EXPECT_THAT(Titles(), ElementsAre(Title("DATA.C001"), Title("DATA.C002"),
                                    std::string("SetWindowTextW(2,") + jointest::ExitLabel + ")"));
  EXPECT_EQ(fake::Count("GetOpenFileNameW"), 0u);
  EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
  // The button is greyed out before the first byte is copied and works again at the end.
  std::vector<std::string> enables = fake::Calls("EnableWindow");
  EXPECT_THAT(enables, ElementsAre("EnableWindow(2,0)", "EnableWindow(2,1)"));
  auto at = [](const std::string& line) {
    return std::find(fake::Log.begin(), fake::Log.end(), line) - fake::Log.begin();
  };
  EXPECT_LT(at("InvalidateRect(1,null,1)"), at("SendMessageW(1,15,0,0)"));
  EXPECT_LT(at("SendMessageW(1,15,0,0)"), at("EnableWindow(2,0)"));
  EXPECT_LT(at("EnableWindow(2,0)"), at("GetDC(1)"));
  // The pieces are read, never written.
  EXPECT_BYTES(Read(Path("DATA.c001")), payloads[1]);
  EXPECT_BYTES(Read(Path("DATA.c002")), payloads[2]);
}

// A piece's title of exactly 300 bytes fills TextBuffer; a longer one is cut to 300. (Piece 1 of
// a join under way, whose name is too long for any file: looked for, then the join abandoned.)
TEST_F(JoinDriverTest, APieceTitleFillsTextBufferUpTo300Bytes) {
  for (size_t baseLength : {282u, 283u}) {
    SCOPED_TRACE(baseLength);
    Restart();
    PrepareJoin(std::string(baseLength, 'd'), 100);
    JoinState.PieceIndex = 1;
    JoinState.JoinedSize = 10;
    fake::MessageBoxAnswers = {IDYES};
    RunJoin(window, WindowJoinCallbacks);
    std::string title = ("Tarnovell! - " + std::string(baseLength, 'D') + ".C001").substr(0, 300);
    EXPECT_THAT(Titles(), ElementsAre(Title(title.substr(13))));
    EXPECT_EQ(fake::Text(JoinState.TextBuffer, TextBufferSize), title + '\0');
    EXPECT_EQ(fake::Count("GetOpenFileNameW"), 1u);
  }
}

TEST_F(JoinDriverTest, TheSaveDialogRecord) {
  PrepareJoin(WriteSet(Path("DATA"), {"abc"}, 3), 3, "movie.avi");
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  RunJoin(window, WindowJoinCallbacks);
  ASSERT_EQ(fake::Dialogs.size(), 1u);
  OPENFILENAMEW dialog = fake::Dialogs[0];
  EXPECT_EQ(fake::DialogInitialNames[0], "movie.avi");
  EXPECT_EQ(dialog.lStructSize, 88u);
  EXPECT_EQ(dialog.hwndOwner, window);
  EXPECT_EQ(dialog.nMaxFile, 584u) << "room for any piece's suffix after a choice";
  EXPECT_EQ(dialog.Flags, 0x80006u);
  static const char16_t filter[] = u"Все файлы (*.*)\0*.*\0";
  EXPECT_EQ(memcmp(dialog.lpstrFilter, filter, sizeof filter), 0);
  // Everything else is zero.
  OPENFILENAMEW rest = dialog;
  rest.lStructSize = 0;
  rest.hwndOwner = nullptr;
  rest.lpstrFilter = nullptr;
  rest.lpstrFile = nullptr;
  rest.nMaxFile = 0;
  rest.Flags = 0;
  OPENFILENAMEW zero{};
  EXPECT_EQ(memcmp(&rest, &zero, sizeof rest), 0);
  ExpectDone(OutcomeComplete);
}

TEST_F(JoinDriverTest, ALongOutputNameIsCutForTheDialog) {
  std::string longName(700, 'n');
  PrepareJoin(WriteSet(Path("DATA"), {"abc"}, 3), 3, longName.substr(0, PathTextSize - 1));
  RunJoin(window, WindowJoinCallbacks);  // cancelled
  ASSERT_EQ(fake::DialogInitialNames.size(), 1u);
  EXPECT_EQ(fake::DialogInitialNames[0], longName.substr(0, 583));
}

TEST_F(JoinDriverTest, NothingToJoinCreatesTheEmptyOutputWithoutAsking) {
  struct Case {
    int64_t total;
    uint8_t outcome;
  };
  for (Case c : {Case{0, OutcomeComplete}, Case{-5, OutcomeMismatch}}) {
    SCOPED_TRACE(c.total);
    Restart();
    PrepareJoin(WriteSet(Path("DATA"), {"abc", "def"}, c.total), c.total, "empty.bin");
    RunJoin(window, WindowJoinCallbacks);
    EXPECT_EQ(fake::Dialogs.size(), 0u);
    EXPECT_TRUE(Exists(Path("empty.bin")));  // relative to the current folder
    EXPECT_BYTES(Read(Path("empty.bin")), "");
    EXPECT_EQ(jointest::TimesOf(Path("empty.bin")).write, WriteSeconds);
    EXPECT_EQ(fake::Count("GetDC"), 0u);
    ExpectDone(c.outcome);
  }
}

TEST_F(JoinDriverTest, TheTotalReachedAfterTheContainerLooksForNoPiece) {
  struct Case {
    int64_t total;
    uint8_t outcome;
  };
  for (Case c : {Case{4000, OutcomeComplete}, Case{3000, OutcomeMismatch}}) {
    SCOPED_TRACE(c.total);
    Restart();
    PrepareJoin(WriteSet(Path("DATA"), {Pattern(4000, 1), "piece"}, c.total), c.total);
    fake::SaveAnswers.push_back({true, Path("out.bin")});
    RunJoin(window, WindowJoinCallbacks);
    EXPECT_BYTES(Read(Path("out.bin")), Pattern(4000, 1));
    EXPECT_EQ(JoinState.PieceIndex, 1);
    EXPECT_EQ(Titles().size(), 1u);  // only the exit label
    ExpectDone(c.outcome);
  }
}

// The container of 1030720 bytes and two pieces of 2000000 carry 5000000 payload bytes: the join
// stops after the second piece, although a third one is there.
TEST_F(JoinDriverTest, AnExactTotalAfterAPieceLooksForNoFurtherPiece) {
  std::vector<std::string> payloads = {Pattern(1000000, 1), Pattern(2000000, 2),
                                       Pattern(2000000, 3), "extra"};
  PrepareJoin(WriteSet(Path("DATA"), payloads, 5000000), 5000000);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  static int looks;
  looks = 0;
  FileFaultHook = [](FileCallKind, const char* name) -> DWORD {
    if (name != nullptr && std::string(name).find("DATA.c003") != std::string::npos) looks++;
    return 0;
  };
  RunJoin(window, WindowJoinCallbacks);
  FileFaultHook = nullptr;
  EXPECT_EQ(looks, 0);
  EXPECT_EQ(JoinState.PieceIndex, 3);
  EXPECT_BYTES(Read(Path("out.bin")), payloads[0] + payloads[1] + payloads[2]);
  EXPECT_EQ(Titles().size(), 3u) << "pieces 1 and 2, then the exit label";
  ExpectDone(OutcomeComplete);
}

TEST_F(JoinDriverTest, MorePayloadThanTheTotalEndsAsMismatchWithEverythingCopied) {
  std::vector<std::string> payloads = Patterns({1000, 1000, 1000});
  PrepareJoin(WriteSet(Path("DATA"), payloads, 1500), 1500);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_BYTES(Read(Path("out.bin")), payloads[0] + payloads[1]);
  EXPECT_EQ(JoinState.PieceIndex, 2);
  ExpectDone(OutcomeMismatch);
}

TEST_F(JoinDriverTest, ACancelledSaveDialogChangesNothing) {
  PrepareJoin(WriteSet(Path("DATA"), {"abc"}, 3), 3);
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_EQ(fake::Count("GetSaveFileNameW"), 1u);
  EXPECT_EQ(JoinState.PieceIndex, 0);
  EXPECT_FALSE(JoinState.Finished);
  EXPECT_EQ(fake::Text(JoinState.OutputPath), "DATA.BIN");
  EXPECT_EQ(fake::Count("EnableWindow"), 0u);
  EXPECT_FALSE(Exists(Path("DATA.BIN")));
  // The next press starts over with the Save dialog.
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_EQ(fake::Count("GetSaveFileNameW"), 2u);
  EXPECT_BYTES(Read(Path("out.bin")), "abc");
  ExpectDone(OutcomeComplete);
}

TEST_F(JoinDriverTest, APressAfterTheEndQuits) {
  PrepareJoin(WriteSet(Path("DATA"), {"abc"}, 3), 3);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  RunJoin(window, WindowJoinCallbacks);
  ExpectDone(OutcomeComplete);
  fake::Log.clear();
  fake::SaveAnswers.push_back({true, Path("other.bin")});
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_THAT(fake::Log, ElementsAre("PostQuitMessage(0)"));
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_FALSE(Exists(Path("other.bin")));
}

TEST_F(JoinDriverTest, APieceLocatedInAnotherFolderMovesTheBase) {
  std::filesystem::create_directory(Path("A"));
  std::vector<std::string> payloads = Patterns({3000, 2000, 1000, 500});
  WriteSet(Path("A/DATA"), payloads, 6500);
  Move("A/DATA.c002", "B/DATA.C002");
  Move("A/DATA.c003", "B/DATA.c003");
  jointest::Write(Path("A/DATA.c003"), "a piece 3 that must not be used");
  PrepareJoin(Path("A/DATA"), 6500);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  fake::OpenAnswers.push_back({true, Path("B/DATA.C002")});
  RunJoin(window, WindowJoinCallbacks);

  EXPECT_BYTES(Read(Path("out.bin")), Concatenated(payloads));
  EXPECT_EQ(fake::Text(JoinState.BasePath), Path("B/DATA"));
  ASSERT_EQ(fake::Count("GetOpenFileNameW"), 1u);
  EXPECT_EQ(fake::DialogInitialNames[1], Path("A/DATA.c002"));
  EXPECT_EQ(fake::Dialogs[1].Flags, 0x81004u);
  EXPECT_EQ(fake::Dialogs[1].lStructSize, 88u);
  EXPECT_EQ(fake::Dialogs[1].nMaxFile, 584u);
  EXPECT_EQ(fake::Dialogs[1].hwndOwner, window);
  // Piece 2 is named as expected while it is looked for, then as located.
  EXPECT_THAT(Titles(), ElementsAre(Title("DATA.C001"), Title("DATA.C002"), Title("DATA.C002"),
                                    Title("DATA.C003"),
                                    std::string("SetWindowTextW(2,") + jointest::ExitLabel + ")"));
  ExpectDone(OutcomeComplete);
}

TEST_F(JoinDriverTest, OnlyAFileOfTheExpectedNameIsAccepted) {
  std::vector<std::string> payloads = Patterns({3000, 2000, 1000});
  WriteSet(Path("DATA"), payloads, 6000);
  Move("DATA.c002", "B/data.c002");
  jointest::Write(Path("B/DATA.C003"), "wrong piece");
  PrepareJoin(Path("DATA"), 6000);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  fake::OpenAnswers.push_back({true, Path("B/DATA.C003")});  // another piece: asked again
  fake::OpenAnswers.push_back({true, Path("B/DATA.c0021")});
  fake::OpenAnswers.push_back({true, Path("B/data.c002")});  // lower case: accepted
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_EQ(fake::Count("GetOpenFileNameW"), 3u);
  EXPECT_THAT(std::vector<std::string>(fake::DialogInitialNames.begin() + 1,
                                       fake::DialogInitialNames.end()),
              ElementsAre(Path("DATA.c002"), Path("DATA.c002"), Path("DATA.c002")));
  EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
  EXPECT_BYTES(Read(Path("out.bin")), Concatenated(payloads));
  ExpectDone(OutcomeComplete);
}

TEST_F(JoinDriverTest, CancellingTheSearchAndGoingOnAsksAgain) {
  std::vector<std::string> payloads = Patterns({3000, 2000});
  WriteSet(Path("DATA"), payloads, 5000);
  Move("DATA.c001", "away.c001");
  PrepareJoin(Path("DATA"), 5000);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  fake::MessageBoxAnswers = {IDNO, IDCANCEL, 0};
  static int boxes;
  boxes = 0;
  // After the third answer the piece is back in its place.
  fake::OnMessageBox = [this](const std::string&) {
    if (++boxes == 3) Move("away.c001", "DATA.c001");
  };
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_EQ(fake::Count("GetOpenFileNameW"), 3u);
  EXPECT_THAT(fake::Calls("MessageBoxW"), ElementsAre(ConfirmBox(), ConfirmBox(), ConfirmBox()));
  EXPECT_BYTES(Read(Path("out.bin")), payloads[0] + payloads[1]);
  ExpectDone(OutcomeComplete);
}

TEST_F(JoinDriverTest, AbandoningTheJoinDeletesTheOutputAndQuits) {
  WriteSet(Path("DATA"), Patterns({3000, 2000, 1000}), 6000);
  std::filesystem::remove(Path("DATA.c002"));
  PrepareJoin(Path("DATA"), 6000);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  fake::MessageBoxAnswers = {IDYES};
  RunJoin(window, WindowJoinCallbacks);
  EXPECT_FALSE(Exists(Path("out.bin")));
  EXPECT_FALSE(JoinState.Finished);
  EXPECT_EQ(fake::Count("EnableWindow"), 1u);  // disabled, never enabled again
  EXPECT_EQ(fake::Log.back(), "PostQuitMessage(0)");
  EXPECT_EQ(RunMessageLoop(), 0);
}

TEST_F(JoinDriverTest, AFailedCopyLeavesNoOutputAndTouchesNoFurtherPiece) {
  // The container or a piece that cannot be read (a folder of that name), and a container that
  // is not where its base path says.
  for (const char* broken : {"DATA.exe", "DATA.c001", "nothing"}) {
    SCOPED_TRACE(broken);
    Restart();
    WriteSet(Path("DATA"), Patterns({3000, 2000, 1000}), 6000);
    std::string base = Path("DATA");
    if (std::string(broken) == "nothing") {
      base = Path("ELSEWHERE");
    } else {
      std::filesystem::remove(Path(broken));
      std::filesystem::create_directory(Path(broken));
    }
    PrepareJoin(base, 6000);
    fake::SaveAnswers.push_back({true, Path("out.bin")});
    static int opens;
    opens = 0;
    FileFaultHook = [](FileCallKind call, const char* name) -> DWORD {
      if (call == CallCreateFile && std::string(name).find("DATA.c002") != std::string::npos)
        opens++;
      return 0;
    };
    RunJoin(window, WindowJoinCallbacks);
    FileFaultHook = nullptr;
    EXPECT_FALSE(Exists(Path("out.bin"))) << "no empty output is left behind";
    EXPECT_EQ(opens, 0);
    ExpectDone(OutcomeFileError);
  }
}

TEST_F(JoinDriverTest, AFailedCopyStillTimesAnOutputThatCouldNotBeDeleted) {
  WriteSet(Path("DATA"), Patterns({3000, 2000}), 5000);
  std::filesystem::remove(Path("DATA.c001"));
  std::filesystem::create_directory(Path("DATA.c001"));
  PrepareJoin(Path("DATA"), 5000);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    return call == CallDeleteFile ? ERROR_ACCESS_DENIED : 0;
  };
  RunJoin(window, WindowJoinCallbacks);
  FileFaultHook = nullptr;
  EXPECT_BYTES(Read(Path("out.bin")), Pattern(3000, 1));
  EXPECT_EQ(jointest::TimesOf(Path("out.bin")).write, WriteSeconds);
  ExpectDone(OutcomeFileError);
}

// ---- outputs that are files of the set ------------------------------------------------------

TEST_F(JoinDriverTest, AnOutputThatIsAFileOfTheSetIsRefused) {
  struct Case {
    const char* name;
    std::function<std::string(JoinDriverTest*)> choose;  // makes the refused choice
  };
  const Case cases[] = {
      {"the container", [](JoinDriverTest* t) { return t->Path("DATA.exe"); }},
      {"the container, spelt otherwise",
       [](JoinDriverTest* t) { return t->Path("sub/../DATA.exe"); }},
      {"piece 1", [](JoinDriverTest* t) { return t->Path("DATA.c001"); }},
      {"a link to piece 2",
       [](JoinDriverTest* t) {
         EXPECT_EQ(link(t->Path("DATA.c002").c_str(), t->Path("copy.bin").c_str()), 0);
         return t->Path("copy.bin");
       }},
      {"piece 4 beyond the missing piece 3",
       [](JoinDriverTest* t) {
         std::filesystem::rename(t->Path("DATA.c003"), t->Path("away.c003"));
         return t->Path("DATA.c004");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    std::filesystem::create_directory(Path("sub"));
    std::vector<std::string> payloads = Patterns({3000, 2000, 1000, 700, 300});
    WriteSet(Path("DATA"), payloads, 7000);
    PrepareJoin(Path("DATA"), 7000);
    std::string before[] = {Read(Path("DATA.exe")), Read(Path("DATA.c001")),
                            Read(Path("DATA.c002"))};
    fake::SaveAnswers.push_back({true, c.choose(this)});
    fake::SaveAnswers.push_back({true, Path("sub/out.bin")});
    if (!Exists(Path("DATA.c003")))
      fake::OnMessageBox = [this](const std::string&) {
        std::error_code ignored;
        std::filesystem::rename(Path("away.c003"), Path("DATA.c003"), ignored);
      };
    RunJoin(window, WindowJoinCallbacks);
    ASSERT_EQ(fake::Count("GetSaveFileNameW"), 2u);
    EXPECT_EQ(fake::DialogInitialNames[1], "DATA.BIN");
    EXPECT_THAT(fake::Calls("MessageBoxW"), ElementsAre(RefusalBox(jointest::OutputInSetText)));
    EXPECT_BYTES(Read(Path("DATA.exe")), before[0]);
    EXPECT_BYTES(Read(Path("DATA.c001")), before[1]);
    EXPECT_BYTES(Read(Path("DATA.c002")), before[2]);
    EXPECT_BYTES(Read(Path("sub/out.bin")), Concatenated(payloads));
    ExpectDone(OutcomeComplete);
  }
}

TEST_F(JoinDriverTest, NewFilesAndLookAlikesOutsideTheSetAreAccepted) {
  for (const char* name : {"DATA.c009", "sub/DATA.c001", "DATA.c001x", "DATA.exe.bak"}) {
    SCOPED_TRACE(name);
    Restart();
    std::filesystem::create_directory(Path("sub"));
    WriteSet(Path("DATA"), Patterns({3000, 2000}), 5000);
    jointest::Write(Path("sub/DATA.c001"), "a stranger");
    jointest::Write(Path("DATA.c001x"), "a stranger");
    PrepareJoin(Path("DATA"), 5000);
    fake::SaveAnswers.push_back({true, Path(name)});
    RunJoin(window, WindowJoinCallbacks);
    EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
    EXPECT_BYTES(Read(Path(name)), Pattern(3000, 1) + Pattern(2000, 2));
    ExpectDone(OutcomeComplete);
  }
}

TEST_F(JoinDriverTest, TheOutputIsNeverTakenAsAPiece) {
  // The output is saved in folder B; piece 2 is located in B, so piece 3 is looked for in B,
  // where the output itself has piece 3's name. Locating the output as piece 2 is refused too.
  std::vector<std::string> payloads = Patterns({3000, 2000, 1000, 500});
  WriteSet(Path("DATA"), payloads, 6500);
  Move("DATA.c002", "B/DATA.c002");
  Move("DATA.c003", "C/DATA.c003");
  PrepareJoin(Path("DATA"), 6500);
  fake::SaveAnswers.push_back({true, Path("B/DATA.c003")});
  fake::OpenAnswers.push_back({true, Path("B/DATA.c002")});  // piece 2, fine
  fake::OpenAnswers.push_back({true, Path("B/DATA.c003")});  // piece 3 in B is the output: refused
  fake::OpenAnswers.push_back({true, Path("C/DATA.c003")});
  // Appending the output to itself would never end: a full disk ends it here.
  static int writes;
  writes = 0;
  FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
    return call == CallWriteFile && ++writes > 1000 ? ERROR_DISK_FULL : 0;
  };
  RunJoin(window, WindowJoinCallbacks);
  FileFaultHook = nullptr;
  EXPECT_THAT(fake::Calls("MessageBoxW"), ElementsAre(RefusalBox(jointest::PieceIsOutputText),
                                                      RefusalBox(jointest::PieceIsOutputText)));
  EXPECT_EQ(fake::Count("GetOpenFileNameW"), 3u);
  EXPECT_BYTES(Read(Path("B/DATA.c003")), Concatenated(payloads));
  EXPECT_BYTES(Read(Path("C/DATA.c003")), payloads[3]);
  ExpectDone(OutcomeComplete);
}

// ---- the window closed during a join --------------------------------------------------------

TEST_F(JoinDriverTest, ClosingTheWindowDuringAJoinEndsTheProcessWithoutOutput) {
  std::vector<std::string> payloads = Patterns({3 * 65536, 2 * 65536, 1000});
  int64_t total = 5 * 65536 + 1000;
  // Peeks of a clean run: 4 + 1 (container), 3 + 1, 2 + 1: close at every one of them.
  for (int closeAt = 1; closeAt <= 12; closeAt++) {
    SCOPED_TRACE(closeAt);
    Restart();
    PrepareJoin(WriteSet(Path("DATA"), payloads, total), total);
    fake::SaveAnswers.push_back({true, Path("out.bin")});
    static int peeks, target;
    peeks = 0;
    target = closeAt;
    fake::OnPeek = [] {
      if (++peeks == target) fake::Post(fake::MainWindow(), WM_CLOSE);
    };
    fake::Post(window, WM_COMMAND, StartButtonId);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_TRUE(fake::WindowOf(window)->destroyed);
    if (closeAt == 12) {  // in the pump after the last piece: the join was complete
      EXPECT_BYTES(Read(Path("out.bin")), Concatenated(payloads));
      EXPECT_EQ(jointest::TimesOf(Path("out.bin")).write, WriteSeconds);
    } else {
      EXPECT_FALSE(Exists(Path("out.bin")));
      // The close, the quit request, the empty queue: then the copy stops.
      EXPECT_EQ(peeks, closeAt + 2) << "the copy stops after the block in hand";
    }
    EXPECT_BYTES(Read(Path("DATA.c001")), payloads[1]);
  }
}
