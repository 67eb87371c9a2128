// A recording, scriptable stand-in for the window, drawing, dialog and shell calls, so the
// program's logic runs natively in tests. Every call is written to a log as one line such as
// "Rectangle(18,95,22,102)", wide texts as fake::Text writes them; dialogs and message boxes answer
// from scripts (a dialog's answer is a path in UTF-8); the message queue is a plain list that
// tests fill. The file call SetFileTime is logged too, with its three times as low:high words in
// the call's order: "SetFileTime(1:2,3:4,5:6)".
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "stub/platform/win32.h"

// Thrown by the stand-in's ExitProcess, so a test can watch the process end.
struct FakeProcessExit {
  unsigned code;
};

struct FakeWindow {
  std::string className;
  std::string title;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  intptr_t id = 0;
  bool enabled = true;
  bool destroyed = false;
  WNDPROC procedure = nullptr;
};

// What a file dialog answers: a chosen path, or a cancel.
struct FakeDialogAnswer {
  bool chosen;
  std::string path;
};

namespace fake {

// A wide text as the log writes it: each character in its Windows-1251 byte, one without such a
// byte in UTF-8 (length -1: up to the terminating zero).
std::string Text(const WCHAR* text, int length = -1);
// A UTF-8 text (a path, as the POSIX file calls take it) in its wide form.
std::basic_string<WCHAR> Wide(const std::string& utf8);

extern std::vector<std::string> Log;                 // every recorded call, in order
extern std::deque<MSG> Queue;                        // the thread's message queue
extern std::deque<FakeDialogAnswer> SaveAnswers;     // GetSaveFileNameW answers (empty: cancel)
extern std::deque<FakeDialogAnswer> OpenAnswers;     // GetOpenFileNameW answers (empty: cancel)
extern std::deque<int> MessageBoxAnswers;            // message box answers (empty: IDOK)
extern std::vector<OPENFILENAMEW> Dialogs;           // each dialog record as it was handed over
extern std::vector<std::string> DialogInitialNames;  // NameBuffer contents when each dialog opened
extern std::function<void()> OnPeek;  // runs at every PeekMessageW (may queue messages)
extern std::function<void(const std::string&)> OnMessageBox;  // runs at every message box (text)
extern int ScreenWidth, ScreenHeight;
extern int TextWidthPerByte;  // DT_CALCRECT measures 5 px a byte by default
extern STARTUPINFOA Startup;  // what GetStartupInfoA reports
extern bool FailRegisterClass, FailCreateMainWindow;
extern int QuitCode;  // the code of the last PostQuitMessage, -1 none

void Reset();  // empties everything, back to defaults
FakeWindow* WindowOf(HWND window);
HWND MainWindow();  // the first top-level window created
HWND FindChild(HWND parent, intptr_t id);
void Post(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
std::vector<std::string> Calls(const std::string& name);  // log lines of one call name
size_t Count(const std::string& name);
LPARAM Point(int x, int y);  // a mouse position as lParam
// The log line of a SetFileTime call with these three times.
std::string SetFileTimeCall(const FILETIME& creation, const FILETIME& lastAccess,
                            const FILETIME& lastWrite);

}  // namespace fake
