// The tool's streams and the messages the commands share, written as the system shows text.
#include "cli/cli_messages.h"

#include <stdarg.h>

#include "cli/cli_os.h"

// The report and the errors; tests point them at files of their own.
FILE* CliOut = stdout;
FILE* CliErr = stderr;
FILE* CliIn = stdin;

void CliPrint(FILE* stream, const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  char small[512];
  int length = vsnprintf(small, sizeof small, format, args);
  std::string text;
  if (length >= static_cast<int>(sizeof small)) {
    text.resize(static_cast<size_t>(length));
    vsnprintf(&text[0], text.size() + 1, format, again);
  } else if (length > 0) {
    text.assign(small, static_cast<size_t>(length));
  }
  va_end(again);
  va_end(args);
  OsWriteText(stream, text);
}

int ReportInterrupted(const char* left) {
  CliPrint(CliErr, "tarnovell: interrupted; %s\n", left);
  return ExitInterrupted;
}

int Refuse(const std::string& message) {
  CliPrint(CliErr, "tarnovell: %s\n", message.c_str());
  return ExitRefused;
}

int FinishReport(int code) {
  if (OsFlushText(CliOut)) return code;
  CliPrint(CliErr, "tarnovell: cannot write the report to standard output: %s\n",
           OsErrorText(OsLastError()).c_str());
  return code == ExitInterrupted ? code : ExitFileError;
}
