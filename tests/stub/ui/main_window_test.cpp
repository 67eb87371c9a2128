// The process entry, the main window and the dispatch of its messages.
#include "stub/ui/main_window.h"

#include "stub/fileio/large_file.h"
#include "tests/support/ui_fixture.h"

namespace {

class ShellTest : public UiTest {
 protected:
  // Creates the main window over a well-formed container; the log starts empty afterwards.
  HWND OpenWindow() {
    UseContainer("films/movie.exe", Texts("movie.avi", "655360"));
    return OpenMainWindow();
  }
  static bool JoinStarted() { return fake::Count("GetSaveFileNameW") > 0; }
};

TEST_F(ShellTest, WindowIsCentredWithTruncatingDivision) {
  struct Case {
    int width, height, x, y;
  } cases[] = {
      {1024, 768, 368, 279}, {1025, 769, 368, 279}, {800, 600, 256, 195}, {1280, 1024, 496, 407}};
  for (const Case& c : cases) {
    SetUp();
    fake::ScreenWidth = c.width;
    fake::ScreenHeight = c.height;
    UseContainer("movie.exe", Texts("movie.avi", "1"));
    ASSERT_NE(CreateMainWindow(), nullptr);
    auto created = fake::Calls("CreateWindowExW");
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(created[0], "CreateWindowExW(0,Tarnovell,Tarnovell!,0x880000," + std::to_string(c.x) +
                              "," + std::to_string(c.y) + ",288,210,0,0)")
        << c.width << "x" << c.height;
    TearDown();
  }
}

TEST_F(ShellTest, CreationSetsUpControlsThenLoadsTheHeaderThenShows) {
  ASSERT_TRUE(RegisterMainClass());
  EXPECT_EQ(fake::Log.back(), "RegisterClassW(Tarnovell,style=11,brush=5)");
  UseContainer("films/movie.exe", Texts("movie.avi", "655360"));
  fake::Log.clear();
  HWND window = CreateMainWindow();
  ASSERT_EQ(window, fake::MainWindow());
  std::vector<std::string> expected = {
      "CreateWindowExW(0,Tarnovell,Tarnovell!,0x880000,368,279,288,210,0,0)",
      "CreateFontA(8,0,0,0,0,0,0,0,204,2,1,0,0,MS Sans Serif)",  // Cyrillic on any system
      "CreateWindowExW(0,Button,\xD1\xF2\xE0\xF0\xF2,0x50000001,103,142,75,25,1,1025)",
  };
  ASSERT_GE(fake::Log.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(fake::Log.begin(), fake::Log.begin() + 3), expected);
  long font = reinterpret_cast<long>(JoinState.UiFont);
  EXPECT_EQ(fake::Log[3],
            "SendMessageW(2,48," + std::to_string(font) + ",1)");  // WM_SETFONT, redraw
  EXPECT_EQ(fake::Log[4].substr(fake::Log[4].find(',')), ",HAND)");
  EXPECT_EQ(fake::Log[5], "LoadCursorA(null,32512)");
  EXPECT_EQ(fake::Calls("SetWindowTextW"),
            std::vector<std::string>{"SetWindowTextW(1,Tarnovell! - movie.EXE)"});
  auto tail = LogFrom("SetWindowTextW");
  ASSERT_EQ(tail.size(), 3u);
  EXPECT_EQ(tail[1], "ShowWindow(1,10)");  // no show command given: SW_SHOWDEFAULT
  EXPECT_EQ(tail[2], "UpdateWindow(1)");
  EXPECT_NE(JoinState.UiFont, nullptr);
  EXPECT_EQ(JoinState.StartButton, fake::FindChild(window, StartButtonId));
  EXPECT_NE(JoinState.HandCursor, JoinState.ArrowCursor);
}

TEST_F(ShellTest, ShowsWithTheStartUpShowCommand) {
  fake::Startup.dwFlags = STARTF_USESHOWWINDOW;
  fake::Startup.wShowWindow = 7;
  UseContainer("movie.exe", Texts("movie.avi", "1"));
  CreateMainWindow();
  EXPECT_EQ(fake::Calls("ShowWindow"), std::vector<std::string>{"ShowWindow(1,7)"});
}

TEST_F(ShellTest, StartUpFailuresShowTheirBoxAndEndWithCodeZero) {
  struct Case {
    bool failRegister, failCreate;
    const char* box;
  } cases[] = {{true, false, "MessageBoxA(0,Register failed,(null),0x0)"},
               {false, true, "MessageBoxA(0,WinCreate failed,(null),0x0)"}};
  for (const Case& c : cases) {
    SetUp();
    UseContainer("movie.exe", Texts("movie.avi", "1"));
    fake::FailRegisterClass = c.failRegister;
    fake::FailCreateMainWindow = c.failCreate;
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(fake::Calls("MessageBoxA"), std::vector<std::string>{c.box});
    EXPECT_EQ(fake::Count("GetMessageW"), 0u);
    EXPECT_EQ(fake::Count("ShowWindow"), 0u);
    if (c.failRegister) EXPECT_EQ(fake::Count("CreateWindowExW"), 0u);
    TearDown();
  }
}

// FileOpenMode starts as 0 (the image has no initialised data): the program stores its default,
// read and write, before anything else.
TEST_F(ShellTest, TheProgramGivesTheFileLayerItsDefaultOpenModeFirst) {
  FileOpenMode = 0x55;
  fake::FailRegisterClass = true;
  RunProgram();
  EXPECT_EQ(FileOpenMode, 2);
}

TEST_F(ShellTest, CloseDestroysDeletesTheFontAndEndsTheLoopWithCodeZero) {
  UseContainer("movie.exe", Texts("movie.avi", "1"));
  HWND main = reinterpret_cast<HWND>(1);  // the first window the stand-in creates
  fake::Post(main, WM_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  long font = reinterpret_cast<long>(JoinState.UiFont);
  EXPECT_EQ(LogFrom("DefWindowProcW(1,16"),
            (std::vector<std::string>{"DefWindowProcW(1,16,0)", "DestroyWindow(1)",
                                      "DeleteObject(" + std::to_string(font) + ")",
                                      "PostQuitMessage(0)"}));
}

TEST_F(ShellTest, ExitCodeIsTheQuitRequestsValue) {
  UseContainer("movie.exe", Texts("movie.avi", "1"));
  fake::Post(nullptr, WM_QUIT, 7);
  EXPECT_EQ(RunProgram(), 7);
}

TEST_F(ShellTest, DispatchTable) {
  enum Effect { Nothing, Join, Default, Paint, Cursor, Link };
  struct Case {
    const char* what;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool buttonEnabled;
    Effect effect;
  } cases[] = {
      {"Enter", WM_CHAR, 13, 0, true, Join},
      {"Space", WM_CHAR, 32, 0, true, Join},
      {"Enter, button disabled", WM_CHAR, 13, 0, false, Nothing},
      {"Space, button disabled", WM_CHAR, 32, 0, false, Nothing},
      {"another character", WM_CHAR, 'a', 0, true, Nothing},
      {"a line feed", WM_CHAR, 10, 0, true, Nothing},
      {"the button", WM_COMMAND, 1025, 0, true, Join},
      {"the button id with a notification code", WM_COMMAND, (1u << 16) | 1025, 0, true, Nothing},
      {"another command", WM_COMMAND, 1024, 0, true, Nothing},
      {"paint", WM_PAINT, 0, 0, true, Paint},
      {"mouse move", WM_MOUSEMOVE, 0, fake::Point(150, 35), true, Cursor},
      {"left press on the mail link", WM_LBUTTONDOWN, 1, fake::Point(150, 35), true, Link},
      {"double click on the mail link", WM_LBUTTONDBLCLK, 1, fake::Point(150, 35), true, Default},
      {"right press on the mail link", WM_RBUTTONDOWN, 2, fake::Point(150, 35), true, Default},
      {"key down", WM_KEYDOWN, 13, 0, true, Default},
  };
  for (const Case& c : cases) {
    SetUp();
    HWND window = OpenWindow();
    fake::WindowOf(JoinState.StartButton)->enabled = c.buttonEnabled;
    EXPECT_EQ(MainWndProc(window, c.message, c.wParam, c.lParam), 0) << c.what;
    EXPECT_EQ(JoinStarted(), c.effect == Join) << c.what;
    EXPECT_EQ(fake::Count("DefWindowProcW"), c.effect == Default ? 1u : 0u) << c.what;
    EXPECT_EQ(fake::Count("BeginPaint"), c.effect == Paint ? 1u : 0u) << c.what;
    EXPECT_EQ(fake::Count("SetCursor"), c.effect == Cursor ? 1u : 0u) << c.what;
    EXPECT_EQ(fake::Count("ShellExecuteW"), c.effect == Link ? 1u : 0u) << c.what;
    if (c.message == WM_CHAR && c.effect == Join)
      EXPECT_EQ(fake::Log.front(), "SendMessageW(1,273,1025,0)")
          << c.what;  // the button's own command
    TearDown();
  }
}

}  // namespace
