#include "stub/ui/main_window.h"

#include "stub/state/header_load.h"
#include "stub/state/join_state.h"
#include "base/byte_text.h"
#include "stub/state/program_texts.h"
#include "stub/fileio/large_file.h"
#include "stub/join/join_driver.h"
#include "stub/ui/links.h"
#include "stub/ui/paint.h"
#include "stub/ui/progress.h"

static const WCHAR MainClassName[] = WIDE_TEXT("Tarnovell");
static const char StartLabel[] = "Старт";

// The bar and the messages after every block, the messages after every piece.
const JoinCallbacks WindowJoinCallbacks = {ShowJoinProgress, PumpMessages};

enum {
  MainWindowWidth = 288,
  MainWindowHeight = 210,
  MainWindowStyle = WS_BORDER | WS_SYSMENU,  // 0x880000: caption and close box, fixed size
  StartButtonStyle = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
};

bool RegisterMainClass() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSW windowClass;
  FillZero(&windowClass, sizeof windowClass);
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, "MAINICON");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_MENU + 1));
  windowClass.lpszClassName = MainClassName;
  return RegisterClassW(&windowClass) != 0;
}

// The show command the process was started with, or SW_SHOWDEFAULT.
static int StartupShowCommand() {
  STARTUPINFOA startup;
  FillZero(&startup, sizeof startup);
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

HWND CreateMainWindow() {
  int x = (GetSystemMetrics(SM_CXSCREEN) - MainWindowWidth) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - MainWindowHeight) / 2;
  WCHAR caption[sizeof ProgramCaption];
  TextCopy(caption, sizeof ProgramCaption, ProgramCaption);
  HWND window =
      CreateWindowExW(0, MainClassName, caption, MainWindowStyle, x, y, MainWindowWidth,
                      MainWindowHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window != nullptr) {
    ShowWindow(window, StartupShowCommand());
    UpdateWindow(window);
  }
  return window;
}

void SetupWindowControls(HWND window) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // The texts are Russian whatever the system's code page: the font is asked for in its Cyrillic
  // form, so that every system draws them alike.
  JoinState.UiFont =
      CreateFontA(8, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                  OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, 0, "MS Sans Serif");
  WCHAR label[sizeof StartLabel];
  TextCopy(label, sizeof StartLabel, StartLabel);
  JoinState.StartButton = CreateWindowExW(
      0, WIDE_TEXT("Button"), label, StartButtonStyle, 103, 142, 75, 25, window,
      reinterpret_cast<HMENU>(static_cast<intptr_t>(StartButtonId)), instance, nullptr);
  SendMessageW(JoinState.StartButton, WM_SETFONT, reinterpret_cast<WPARAM>(JoinState.UiFont), 1);
  JoinState.HandCursor = LoadCursorA(instance, "HAND");
  JoinState.ArrowCursor = LoadCursorA(nullptr, IDC_ARROW);
}

void HandleDestroy() {
  DeleteObject(JoinState.UiFont);
  PostQuitMessage(0);
}

// The window's controls first, then the header (which may end the process for a bare stub).
static void HandleCreate(HWND window) {
  SetupWindowControls(window);
  LoadHeader(window);
}

// Enter and Space act as the button, but only while it is enabled.
static void HandleChar(HWND window, WPARAM character) {
  if ((character == 13 || character == 32) && IsWindowEnabled(JoinState.StartButton))
    SendMessageW(window, WM_COMMAND, StartButtonId, 0);
}

// Only the button's own command (its identifier, notification code 0) starts the join.
static void HandleCommand(HWND window, WPARAM command) {
  if (command == StartButtonId) RunJoin(window, WindowJoinCallbacks);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: HandleCreate(window); return 0;
    case WM_DESTROY: HandleDestroy(); return 0;
    case WM_PAINT: PaintWindow(window); return 0;
    case WM_CHAR: HandleChar(window, wParam); return 0;
    case WM_COMMAND: HandleCommand(window, wParam); return 0;
    case WM_MOUSEMOVE: UpdateCursor(window, lParam); return 0;
    case WM_LBUTTONDOWN: HandleLinkClick(window, lParam); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

int RunProgram() {
  FileOpenMode = DefaultFileOpenMode;
  if (!RegisterMainClass()) {
    MessageBoxA(nullptr, "Register failed", nullptr, MB_OK);
    return 0;
  }
  if (CreateMainWindow() == nullptr) {
    MessageBoxA(nullptr, "WinCreate failed", nullptr, MB_OK);
    return 0;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
