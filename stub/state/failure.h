// The process-wide report of a failure that nobody handles: the "Application Error" box, then
// the end of the process with exit code 1. Every escaping failure of the program goes here.
#pragma once

#include <stdint.h>

// className: "EConvertError", "EOutOfMemory", "EAccessViolation"; message: the failure's text;
// address: where in the program's code it arose.
[[noreturn]] void ReportUnhandledFailure(const char* className, const char* message,
                                         const void* address);
// The text of that box (exposed for tests): "Exception CLASS in module NAME at XXXXXXXX.", a
// Windows line break (CR LF), the message with a full stop, a line break. text holds at least
// FailureTextSize bytes.
enum { FailureTextSize = 1024 };
void FormatFailureText(char* text, const char* className, const char* moduleName, uint32_t offset,
                       const char* message);
