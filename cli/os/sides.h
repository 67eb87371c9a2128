// What the two sides of the door (posix/ and windows/) share, for them alone: the rest of the tool
// includes os.h. os.cpp holds what is written once; each side gives it the system's error calls.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "cli/os/os.h"

// Each side's: the error of a call that an interruption stopped (OsSetLastError of os/os.h
// sets errno, or the thread's last error on Windows).
extern const int OsInterruptedError;

// Each side's: the width of the terminal a stream goes to, 0 when it goes to none or the system
// does not tell (OsTerminalColumns of os/os.cpp then falls back).
int OsConsoleColumns(FILE* stream);
// The system's answer for OsFreeSpace.
bool OsSystemFreeSpace(const std::string& folder, uint64_t* bytes);

// Asks OsFaultHook before call: true, with its error set, when the test makes the call fail.
bool OsFaulted(OsCall call);

// Eight letters for a fresh file name, taken 6 bits at a time from bits (which each side makes
// from what randomness its system gives).
std::string FreshNameLetters(uint64_t bits);
