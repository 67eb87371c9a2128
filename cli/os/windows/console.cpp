// The console on Windows: text as characters (WriteConsoleW), whether a stream is a console,
// how wide it is, and the clock.
#include <io.h>
#include <stdio.h>

#include <map>
#include <string>

#include "cli/os/os.h"
#include "cli/os/sides.h"
#include "cli/os/windows/win.h"

// The console behind a stream, or null when the stream goes to a file or a pipe.
static HANDLE ConsoleOf(FILE* stream) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

bool OsIsTerminal(FILE* stream) { return ConsoleOf(stream) != nullptr; }

bool OsTextIsUtf8() { return true; }

int OsConsoleColumns(FILE* stream) {
  HANDLE console = ConsoleOf(stream);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == nullptr || !GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int64_t OsMilliseconds() { return static_cast<int64_t>(GetTickCount64()); }

// The first error of a console write, per stream: the stream's own error flag does not see
// those writes (OsFlushText tells it).
static std::map<FILE*, DWORD> ConsoleErrors;

static bool WriteConsoleText(FILE* stream, HANDLE console, const std::string& text) {
  // Characters, whatever the console's code page: Cyrillic names read as they are.
  fflush(stream);
  std::wstring wide = WideOf(text);
  for (size_t at = 0; at < wide.size();) {
    DWORD count = static_cast<DWORD>(wide.size() - at < 8192 ? wide.size() - at : 8192),
          written = 0;
    if (!WriteConsoleW(console, wide.data() + at, count, &written, nullptr) || written == 0) {
      DWORD error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
      ConsoleErrors.emplace(stream, error);
      SetLastError(error);
      return false;
    }
    at += written;
  }
  return true;
}

bool OsWriteText(FILE* stream, const std::string& text) {
  HANDLE console = ConsoleOf(stream);
  if (console == nullptr) return fwrite(text.data(), 1, text.size(), stream) == text.size();
  return WriteConsoleText(stream, console, text);
}

bool OsFlushText(FILE* stream) {
  auto lost = ConsoleErrors.find(stream);
  if (lost != ConsoleErrors.end()) {
    SetLastError(lost->second);
    return false;
  }
  if (fflush(stream) == 0 && !ferror(stream)) return true;
  // The C library's write left the system's error, when this flush made it.
  if (GetLastError() == 0) SetLastError(ERROR_WRITE_FAULT);
  return false;
}
