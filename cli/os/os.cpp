// What the two sides of the tool's door to the system (posix/, windows/) would otherwise write
// alike: the interruption flag, the tests' hook, the check before a chunk, fresh names.
#include "cli/os/os.h"

#include <stdlib.h>

#include <atomic>

#include "cli/os/sides.h"

// Raised by the interrupt handlers of each side (interrupts.cpp).
volatile int CliInterrupted = 0;

// Null but in the tests that put failures in.
int (*OsFaultHook)(OsCall call) = nullptr;

bool (*OsFreeSpaceHook)(const std::string& folder, uint64_t* bytes) = nullptr;

bool OsFreeSpace(const std::string& folder, uint64_t* bytes) {
  return OsFreeSpaceHook != nullptr ? OsFreeSpaceHook(folder, bytes)
                                    : OsSystemFreeSpace(folder, bytes);
}

// Held while a test's hook is asked: verify reads on two threads, and a hook keeps counts.
static std::atomic_flag HookAsked = ATOMIC_FLAG_INIT;

bool OsFaulted(OsCall call) {
  if (OsFaultHook == nullptr) return false;
  while (HookAsked.test_and_set(std::memory_order_acquire)) {
  }
  int error = OsFaultHook(call);
  HookAsked.clear(std::memory_order_release);
  if (error != 0) OsSetLastError(error);
  return error != 0;
}

bool OsStopBeforeChunk() {
  if (CliInterrupted) {
    OsSetLastError(OsInterruptedError);
    return true;
  }
  return OsFaulted(OsCallCopy);
}

std::string FreshNameLetters(uint64_t bits) {
  static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_";
  std::string suffix;
  for (int i = 0; i < 8; i++, bits >>= 6) suffix += letters[bits & 63];
  return suffix;
}

int OsTerminalColumns(FILE* stream) {
  int columns = OsConsoleColumns(stream);
  if (columns > 0) return columns;
  const char* text = getenv("COLUMNS");
  char* end = nullptr;
  long given = text != nullptr ? strtol(text, &end, 10) : 0;
  return end != text && end != nullptr && *end == '\0' && given > 0 && given <= 10000
             ? static_cast<int>(given)
             : 80;
}
