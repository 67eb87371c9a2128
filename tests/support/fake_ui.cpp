#include "tests/support/fake_ui.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "base/byte_text.h"
#include "stub/platform/files_posix.h"

namespace fake {

std::string Text(const WCHAR* text, int length) {
  std::string bytes;
  for (int i = 0; length < 0 ? text[i] != 0 : i < length; i++) {
    unsigned char byte = Cp1251Of(text[i]);
    if (byte != 0 || text[i] == 0) {
      bytes += static_cast<char>(byte);
    } else {
      WCHAR one[2] = {text[i], 0};
      bytes += Utf8OfWide(one);
    }
  }
  return bytes;
}

std::basic_string<WCHAR> Wide(const std::string& utf8) { return WideOfUtf8(utf8); }

std::vector<std::string> Log;
std::deque<MSG> Queue;
std::deque<FakeDialogAnswer> SaveAnswers;
std::deque<FakeDialogAnswer> OpenAnswers;
std::deque<int> MessageBoxAnswers;
std::vector<OPENFILENAMEW> Dialogs;
std::vector<std::string> DialogInitialNames;
std::function<void()> OnPeek;
std::function<void(const std::string&)> OnMessageBox;
int ScreenWidth = 1024, ScreenHeight = 768;
int TextWidthPerByte = 5;
STARTUPINFOA Startup;
bool FailRegisterClass = false, FailCreateMainWindow = false;
int QuitCode = -1;

static std::map<std::string, WNDPROC> Classes;
static std::vector<std::unique_ptr<FakeWindow>> Windows;
static intptr_t NextObject = 0x1000;

static std::string TimeText(const FILETIME* time) {
  return time == nullptr
             ? "null"
             : std::to_string(time->dwLowDateTime) + ":" + std::to_string(time->dwHighDateTime);
}

static std::string FileTimesLine(const FILETIME* creation, const FILETIME* lastAccess,
                                 const FILETIME* lastWrite) {
  return "SetFileTime(" + TimeText(creation) + "," + TimeText(lastAccess) + "," +
         TimeText(lastWrite) + ")";
}

std::string SetFileTimeCall(const FILETIME& creation, const FILETIME& lastAccess,
                            const FILETIME& lastWrite) {
  return FileTimesLine(&creation, &lastAccess, &lastWrite);
}

// SetFileTime is a file call of the POSIX stand-in; its three times go to the log as well.
static void RecordFileTimes(const FILETIME* creation, const FILETIME* lastAccess,
                            const FILETIME* lastWrite) {
  Log.push_back(FileTimesLine(creation, lastAccess, lastWrite));
}

void Reset() {
  FileTimesObserver = RecordFileTimes;
  Log.clear();
  Queue.clear();
  SaveAnswers.clear();
  OpenAnswers.clear();
  MessageBoxAnswers.clear();
  Dialogs.clear();
  DialogInitialNames.clear();
  OnPeek = nullptr;
  OnMessageBox = nullptr;
  ScreenWidth = 1024;
  ScreenHeight = 768;
  TextWidthPerByte = 5;
  memset(&Startup, 0, sizeof Startup);
  FailRegisterClass = FailCreateMainWindow = false;
  QuitCode = -1;
  Classes.clear();
  Windows.clear();
}

// Window handles are 1-based indexes into Windows.
FakeWindow* WindowOf(HWND window) {
  intptr_t index = reinterpret_cast<intptr_t>(window);
  if (index < 1 || index > static_cast<intptr_t>(Windows.size())) return nullptr;
  return Windows[index - 1].get();
}

HWND MainWindow() {
  for (size_t i = 0; i < Windows.size(); i++)
    if (Windows[i]->parent == nullptr) return reinterpret_cast<HWND>(static_cast<intptr_t>(i + 1));
  return nullptr;
}

HWND FindChild(HWND parent, intptr_t id) {
  for (size_t i = 0; i < Windows.size(); i++)
    if (Windows[i]->parent == parent && Windows[i]->id == id)
      return reinterpret_cast<HWND>(static_cast<intptr_t>(i + 1));
  return nullptr;
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Queue.push_back(MSG{window, message, wParam, lParam, 0, {0, 0}});
}

std::vector<std::string> Calls(const std::string& name) {
  std::vector<std::string> lines;
  for (const std::string& line : Log)
    if (line.compare(0, name.size() + 1, name + "(") == 0) lines.push_back(line);
  return lines;
}

size_t Count(const std::string& name) { return Calls(name).size(); }

LPARAM Point(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                             static_cast<uint16_t>(x));
}

}  // namespace fake

using fake::Log;

static std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
static std::string Format(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

static intptr_t Id(const void* handle) { return reinterpret_cast<intptr_t>(handle); }
// Logs a call's line; TRUE, the answer of the calls that only succeed.
static BOOL Logged(const std::string& line) {
  Log.push_back(line);
  return TRUE;
}
// The log line of a call that shows one handle: "Name(id)".
static BOOL LogHandle(const char* name, const void* handle) {
  return Logged(Format("%s(%ld)", name, static_cast<long>(Id(handle))));
}

// The window behind a handle, or null for a handle that names none or a destroyed window.
static FakeWindow* LiveWindow(HWND window) {
  FakeWindow* w = fake::WindowOf(window);
  return w == nullptr || w->destroyed ? nullptr : w;
}

template <typename T>
static T NewObject() {
  return reinterpret_cast<T>(fake::NextObject++);
}

[[noreturn]] void ExitProcess(UINT code) {
  Log.push_back(Format("ExitProcess(%u)", code));
  throw FakeProcessExit{code};
}

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
  std::string className = fake::Text(windowClass->lpszClassName);
  Log.push_back(Format("RegisterClassW(%s,style=%u,brush=%ld)", className.c_str(),
                       windowClass->style, static_cast<long>(Id(windowClass->hbrBackground))));
  if (fake::FailRegisterClass) return 0;
  fake::Classes[className] = windowClass->lpfnWndProc;
  return 1;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR classText, LPCWSTR titleText, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE, LPVOID) {
  std::string className = fake::Text(classText), title = fake::Text(titleText);
  Log.push_back(Format("CreateWindowExW(%u,%s,%s,0x%X,%d,%d,%d,%d,%ld,%ld)", exStyle,
                       className.c_str(), title.c_str(), style, x, y, width, height,
                       static_cast<long>(Id(parent)), static_cast<long>(Id(menu))));
  if (parent == nullptr && fake::FailCreateMainWindow) return nullptr;
  auto found = fake::Classes.find(className);
  WNDPROC procedure = found == fake::Classes.end() ? nullptr : found->second;
  fake::Windows.push_back(std::make_unique<FakeWindow>(FakeWindow{
      className, title, style, x, y, width, height, parent, Id(menu), true, false, procedure}));
  HWND handle = reinterpret_cast<HWND>(static_cast<intptr_t>(fake::Windows.size()));
  if (fake::WindowOf(handle)->procedure != nullptr)
    fake::WindowOf(handle)->procedure(handle, WM_CREATE, 0, 0);
  return handle;
}

BOOL ShowWindow(HWND window, int command) {
  return Logged(Format("ShowWindow(%ld,%d)", static_cast<long>(Id(window)), command));
}

BOOL UpdateWindow(HWND window) { return LogHandle("UpdateWindow", window); }

BOOL DestroyWindow(HWND window) {
  LogHandle("DestroyWindow", window);
  FakeWindow* w = LiveWindow(window);
  if (w == nullptr) return FALSE;
  w->destroyed = true;
  if (w->procedure != nullptr) w->procedure(window, WM_DESTROY, 0, 0);
  return TRUE;
}

BOOL IsWindowEnabled(HWND window) {
  FakeWindow* w = LiveWindow(window);
  return w != nullptr && w->enabled;
}

int GetSystemMetrics(int index) {
  return index == SM_CXSCREEN ? fake::ScreenWidth : index == SM_CYSCREEN ? fake::ScreenHeight : 0;
}

void GetStartupInfoA(STARTUPINFOA* info) { *info = fake::Startup; }

BOOL GetMessageW(MSG* msg, HWND, UINT, UINT) {
  if (fake::Queue.empty()) {
    // A real thread would wait here for ever; a test that gets here has forgotten to end it.
    Log.push_back("GetMessageW(empty)");
    throw FakeProcessExit{0xDEAD};
  }
  *msg = fake::Queue.front();
  fake::Queue.pop_front();
  return msg->message != WM_QUIT;
}

BOOL PeekMessageW(MSG* msg, HWND, UINT, UINT, UINT remove) {
  if (fake::OnPeek) fake::OnPeek();
  if (fake::Queue.empty()) return FALSE;
  *msg = fake::Queue.front();
  if (remove & PM_REMOVE) fake::Queue.pop_front();
  return TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
  Log.push_back(Format("DispatchMessageW(%ld,%u)", static_cast<long>(Id(msg->hwnd)), msg->message));
  FakeWindow* w = LiveWindow(msg->hwnd);
  if (w == nullptr || w->procedure == nullptr) return 0;
  return w->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM) {
  Log.push_back(Format("DefWindowProcW(%ld,%u,%lu)", static_cast<long>(Id(window)), message,
                       static_cast<unsigned long>(wParam)));
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log.push_back(Format("SendMessageW(%ld,%u,%lu,%ld)", static_cast<long>(Id(window)), message,
                       static_cast<unsigned long>(wParam), static_cast<long>(lParam)));
  FakeWindow* w = LiveWindow(window);
  if (w == nullptr || w->procedure == nullptr) return 0;
  return w->procedure(window, message, wParam, lParam);
}

void PostQuitMessage(int code) {
  Log.push_back(Format("PostQuitMessage(%d)", code));
  fake::QuitCode = code;
  fake::Post(nullptr, WM_QUIT, static_cast<WPARAM>(code), 0);
}

BOOL SetWindowTextW(HWND window, LPCWSTR wide) {
  std::string text = fake::Text(wide);
  Log.push_back(Format("SetWindowTextW(%ld,%s)", static_cast<long>(Id(window)), text.c_str()));
  if (FakeWindow* w = fake::WindowOf(window)) w->title = text;
  return TRUE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Log.push_back(Format("EnableWindow(%ld,%d)", static_cast<long>(Id(window)), enable));
  FakeWindow* w = fake::WindowOf(window);
  if (w == nullptr) return FALSE;
  bool wasDisabled = !w->enabled;
  w->enabled = enable != 0;
  return wasDisabled;
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  return Logged(Format("InvalidateRect(%ld,%s,%d)", static_cast<long>(Id(window)),
                       rect ? "rect" : "null", erase));
}

static int AnswerBox(const char* name, HWND owner, const std::string& text, LPCSTR caption,
                     UINT style) {
  Log.push_back(Format("%s(%ld,%s,%s,0x%X)", name, static_cast<long>(Id(owner)), text.c_str(),
                       caption ? caption : "(null)", style));
  if (fake::OnMessageBox) fake::OnMessageBox(text);
  if (fake::MessageBoxAnswers.empty()) return IDOK;
  int answer = fake::MessageBoxAnswers.front();
  fake::MessageBoxAnswers.pop_front();
  return answer;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  return AnswerBox("MessageBoxA", owner, text, caption, style);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  std::string captionText = caption ? fake::Text(caption) : "";
  return AnswerBox("MessageBoxW", owner, fake::Text(text), caption ? captionText.c_str() : nullptr,
                   style);
}

static std::string ResourceName(LPCSTR name) {
  uintptr_t value = reinterpret_cast<uintptr_t>(name);
  return value < 0x10000 ? std::to_string(value) : std::string(name);
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
  Log.push_back("LoadIconA(" + ResourceName(name) + ")");
  return NewObject<HICON>();
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  Log.push_back(
      Format("LoadCursorA(%s,%s)", instance ? "module" : "null", ResourceName(name).c_str()));
  return NewObject<HCURSOR>();
}

HCURSOR SetCursor(HCURSOR cursor) {
  LogHandle("SetCursor", cursor);
  return nullptr;
}

HDC GetDC(HWND window) {
  LogHandle("GetDC", window);
  return LiveWindow(window) == nullptr ? nullptr
                                       : reinterpret_cast<HDC>(static_cast<intptr_t>(0x500));
}

int ReleaseDC(HWND window, HDC dc) {
  Log.push_back(
      Format("ReleaseDC(%ld,%ld)", static_cast<long>(Id(window)), static_cast<long>(Id(dc))));
  return 1;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  LogHandle("BeginPaint", window);
  memset(paint, 0, sizeof *paint);
  paint->hdc = reinterpret_cast<HDC>(static_cast<intptr_t>(0x600));
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT*) { return LogHandle("EndPaint", window); }

HGDIOBJ SelectObject(HDC, HGDIOBJ object) {
  LogHandle("SelectObject", object);
  return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(0x900));  // "the object that was selected"
}

int SetBkMode(HDC, int mode) {
  Log.push_back(Format("SetBkMode(%d)", mode));
  return 2;  // OPAQUE, the default
}

COLORREF SetTextColor(HDC, COLORREF color) {
  Log.push_back(Format("SetTextColor(0x%06X)", color));
  return 0x123456;
}

int DrawTextW(HDC, LPCWSTR text, int length, RECT* rect, UINT format) {
  size_t count = length < 0 ? TextLength(text) : static_cast<size_t>(length);
  std::string s = fake::Text(text, static_cast<int>(count));
  Log.push_back(Format("DrawTextW(%s,%d,%d,%d,%d,%d,0x%X)", s.c_str(), length, rect->left,
                       rect->top, rect->right, rect->bottom, format));
  if (format & DT_CALCRECT) {
    rect->right = rect->left + static_cast<LONG>(count) * fake::TextWidthPerByte;
    rect->bottom = rect->top + 13;
  }
  return 13;
}

BOOL DrawIcon(HDC, int x, int y, HICON icon) {
  return Logged(Format("DrawIcon(%d,%d,%ld)", x, y, static_cast<long>(Id(icon))));
}

BOOL DrawEdge(HDC, RECT* rect, UINT edge, UINT flags) {
  return Logged(Format("DrawEdge(%d,%d,%d,%d,%u,%u)", rect->left, rect->top, rect->right,
                       rect->bottom, edge, flags));
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR face) {
  Log.push_back(Format("CreateFontA(%d,%d,%d,%d,%d,%u,%u,%u,%u,%u,%u,%u,%u,%s)", height, width,
                       escapement, orientation, weight, italic, underline, strikeOut, charSet,
                       outPrecision, clipPrecision, quality, pitchAndFamily, face));
  return NewObject<HFONT>();
}

HBRUSH CreateSolidBrush(COLORREF color) {
  Log.push_back(Format("CreateSolidBrush(0x%06X)", color));
  return NewObject<HBRUSH>();
}

HPEN CreatePen(int style, int width, COLORREF color) {
  Log.push_back(Format("CreatePen(%d,%d,0x%06X)", style, width, color));
  return NewObject<HPEN>();
}

BOOL Rectangle(HDC, int left, int top, int right, int bottom) {
  return Logged(Format("Rectangle(%d,%d,%d,%d)", left, top, right, bottom));
}

BOOL DeleteObject(HGDIOBJ object) { return LogHandle("DeleteObject", object); }

static DWORD DialogError = 0;

static BOOL AnswerDialog(const char* name, OPENFILENAMEW* dialog,
                         std::deque<FakeDialogAnswer>& answers) {
  std::string initial = fake::Text(dialog->lpstrFile);
  Log.push_back(Format("%s(%s,0x%X)", name, initial.c_str(), dialog->Flags));
  fake::Dialogs.push_back(*dialog);
  fake::DialogInitialNames.push_back(initial);
  DialogError = 0;
  if (answers.empty()) return FALSE;
  FakeDialogAnswer answer = answers.front();
  answers.pop_front();
  if (!answer.chosen) return FALSE;
  std::u16string path = WideOfUtf8(answer.path);
  if (path.size() >= dialog->nMaxFile) {
    DialogError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::copy(path.begin(), path.end(), dialog->lpstrFile);
  dialog->lpstrFile[path.size()] = 0;
  return TRUE;
}

BOOL GetSaveFileNameW(OPENFILENAMEW* dialog) {
  return AnswerDialog("GetSaveFileNameW", dialog, fake::SaveAnswers);
}
BOOL GetOpenFileNameW(OPENFILENAMEW* dialog) {
  return AnswerDialog("GetOpenFileNameW", dialog, fake::OpenAnswers);
}
DWORD CommDlgExtendedError(void) { return DialogError; }

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, int show) {
  Log.push_back(Format("ShellExecuteW(%ld,%s,%s,%s,%s,%d)", static_cast<long>(Id(owner)),
                       fake::Text(operation).c_str(), fake::Text(file).c_str(),
                       parameters ? fake::Text(parameters).c_str() : "(null)",
                       directory ? fake::Text(directory).c_str() : "(null)", show));
  return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}
