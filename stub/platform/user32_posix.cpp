// The user32 and kernel32 calls that the program's logic makes outside the window: upper-casing
// and the text conversions of the system's ANSI code page (Windows-1251 here, as on a Russian
// system).
#include "base/byte_text.h"
#include "base/cp1251_case.h"
#include "stub/platform/win32.h"

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
  for (DWORD i = 0; i < length; i++) {
    text[i] = static_cast<char>(Cp1251Upper(static_cast<unsigned char>(text[i])));
  }
  return length;
}

// Latin, Latin-1 and Cyrillic letters, as Windows upper-cases them; others stay as they are.
DWORD CharUpperBuffW(LPWSTR text, DWORD length) {
  for (DWORD i = 0; i < length; i++) {
    char16_t c = text[i];
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x430 && c <= 0x44F))
      c -= 0x20;
    else if (c >= 0x450 && c <= 0x45F)
      c -= 0x50;
    else if (c == 0xFF)
      c = 0x178;
    text[i] = c;
  }
  return length;
}

// The system's ANSI code page (CP_ACP, the one used here) is Windows-1251. length -1: text and
// its terminating zero. Returns the characters written, 0 when they do not fit.
int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int length, LPWSTR wide, int wideLength) {
  int count = length < 0 ? static_cast<int>(TextLength(text)) + 1 : length;
  if (wide == nullptr || wideLength == 0) return count;
  if (count > wideLength) return 0;
  for (int i = 0; i < count; i++) wide[i] = WideOf1251(static_cast<unsigned char>(text[i]));
  return count;
}
