#include "stub/state/failure.h"

#include "container/layout.h"
#include "base/byte_text.h"
#include "stub/platform/win32.h"

static void AppendHex8(char* text, uint32_t value) {
  char digits[9];
  for (int i = 7; i >= 0; i--) {
    digits[i] = "0123456789ABCDEF"[value & 15];
    value >>= 4;
  }
  digits[8] = 0;
  TextAppend(text, FailureTextSize, digits);
}

void FormatFailureText(char* text, const char* className, const char* moduleName, uint32_t offset,
                       const char* message) {
  FillZero(text, FailureTextSize);
  TextCopy(text, FailureTextSize, "Exception ");
  TextAppend(text, FailureTextSize, className);
  TextAppend(text, FailureTextSize, " in module ");
  TextAppend(text, FailureTextSize, moduleName);
  TextAppend(text, FailureTextSize, " at ");
  AppendHex8(text, offset);
  TextAppend(text, FailureTextSize, ".\r\n");
  TextAppend(text, FailureTextSize, message);
  size_t length = TextLength(message);
  if (length == 0 || message[length - 1] != '.') TextAppend(text, FailureTextSize, ".");
  TextAppend(text, FailureTextSize, "\r\n");
}

void ReportUnhandledFailure(const char* className, const char* message, const void* address) {
  char modulePath[MAX_PATH + 1];
  FillZero(modulePath, sizeof modulePath);
  GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
  uintptr_t base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  uint32_t offset = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) - base);
  char text[FailureTextSize];
  FormatFailureText(text, className, LastPathComponent(modulePath), offset, message);
  MessageBoxA(nullptr, text, "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
  ExitProcess(1);
}

// Kept out of line so that the return address names the caller's code.
__attribute__((noinline)) int64_t ParseHeaderInteger(const char* text) {
  int64_t value = 0;
  if (TryParseHeaderInteger(text, &value)) return value;
  char message[HeaderRecordSize + 40];
  TextCopy(message, sizeof message, "'");
  TextAppend(message, sizeof message, text);
  TextAppend(message, sizeof message, "' is not a valid integer value");
  ReportUnhandledFailure("EConvertError", message, __builtin_return_address(0));
}
