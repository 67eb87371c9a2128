// The tool's streams and the messages the commands share, written as the system shows text.
#include "cli/show/messages.h"

#include <stdarg.h>

#include "cli/os/os.h"

// The report and the errors; tests point them at files of their own.
FILE* CliOut = stdout;
FILE* CliErr = stderr;
FILE* CliIn = stdin;

// What this command has told, for its JSON object.
static struct {
  bool Muted = false;  // --json: no text report on CliOut
  std::string Errors;  // the text written to CliErr through CliPrint
  const char* Reason = "";
} Told;

void MuteTextReport(bool muted) { Told.Muted = muted; }

void BeginTelling() {
  Told.Errors.clear();
  Told.Reason = "";
}

std::string ToldErrors() {
  static const std::string prefix = "tarnovell: ";
  std::string lines;
  for (size_t at = 0, end; at < Told.Errors.size(); at = end + 1) {
    end = Told.Errors.find('\n', at);
    if (end == std::string::npos) end = Told.Errors.size();
    std::string line = Told.Errors.substr(at, end - at);
    if (line.compare(0, prefix.size(), prefix) == 0) line.erase(0, prefix.size());
    lines += (lines.empty() ? "" : "\n") + line;
  }
  return lines;
}

void TellReason(const char* reason) { Told.Reason = reason; }

const char* ToldReason() { return Told.Reason; }

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
  if (stream == CliOut && Told.Muted) return;
  if (stream == CliErr) Told.Errors += text;
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
