// The stub's process entry. There is no C runtime: the entry sets up the floating-point unit,
// routes access violations to the failure report and runs the program.
#include "stub/state/failure.h"
#include "stub/platform/win32.h"
#include "stub/ui/main_window.h"

static LONG WINAPI ReportAccessViolation(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  ReportUnhandledFailure("EAccessViolation", "Access violation",
                         exception->ExceptionRecord->ExceptionAddress);
}

// Plain cdecl: the linker takes this symbol as the image's entry point.
extern "C" void TarnovellEntry() {
  // x87 control word: 64-bit mantissa, round to nearest even, every exception masked. The
  // progress arithmetic depends on it, and Windows starts threads with a 53-bit mantissa.
  unsigned short control = 0x037F;
  __asm__ volatile("fldcw %0" : : "m"(control));
  SetUnhandledExceptionFilter(ReportAccessViolation);
  ExitProcess(static_cast<UINT>(RunProgram()));
}
