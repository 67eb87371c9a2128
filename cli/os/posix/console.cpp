// The console on Linux: whether a stream is a terminal and how wide, the clock, and text out as
// its UTF-8 bytes.
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "cli/os/os.h"
#include "cli/os/sides.h"

bool OsIsTerminal(FILE* stream) { return isatty(fileno(stream)) != 0; }

bool OsTextIsUtf8() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(name);
    if (value == nullptr || *value == '\0') continue;
    std::string locale;
    for (const char* c = value; *c != '\0'; c++)
      if (*c != '-') locale += static_cast<char>(tolower(static_cast<unsigned char>(*c)));
    return locale.find("utf8") != std::string::npos;
  }
  return false;  // the C locale: ASCII
}

int OsConsoleColumns(FILE* stream) {
  struct winsize size;
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool OsWriteText(FILE* stream, const std::string& text) {
  return fwrite(text.data(), 1, text.size(), stream) == text.size();
}

bool OsFlushText(FILE* stream) {
  if (fflush(stream) != 0) return false;
  if (!ferror(stream)) return true;
  errno = EIO;  // an earlier write failed; its own error is gone
  return false;
}

int64_t OsMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
