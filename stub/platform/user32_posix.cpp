// The user32 calls that the program's logic makes outside the window: text conversions of the
// system's ANSI code page (Windows-1251 here).
#include "base/cp1251_case.h"
#include "stub/platform/win32.h"

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
  for (DWORD i = 0; i < length; i++) {
    text[i] = static_cast<char>(Cp1251Upper(static_cast<unsigned char>(text[i])));
  }
  return length;
}
