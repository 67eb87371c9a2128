// Texts without a C library, so the Windows stub can use them as they are: byte texts (the
// program's own texts in Windows-1251, header records in the system's ANSI code page) and wide
// texts (UTF-16: paths and everything the program shows). The text helpers take either kind;
// a byte text copied or appended to a wide one is read as Windows-1251.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A UTF-16 code unit: the platform's WCHAR (wchar_t on Windows, char16_t elsewhere).
#ifdef _WIN32
typedef wchar_t WideChar;
#else
typedef char16_t WideChar;
#endif

template <typename C>
size_t TextLength(const C* text) {
  size_t n = 0;
  while (text[n] != 0) n++;
  return n;
}

// Copies at most capacity - 1 characters of text and always terminates; returns the length
// copied.
template <typename C>
size_t TextCopy(C* target, size_t capacity, const C* text) {
  if (capacity == 0) return 0;
  size_t n = 0;
  while (n + 1 < capacity && text[n] != 0) {
    target[n] = text[n];
    n++;
  }
  target[n] = 0;
  return n;
}

// Appends like TextCopy, after what target already holds.
template <typename C>
size_t TextAppend(C* target, size_t capacity, const C* text) {
  size_t used = TextLength(target);
  if (used >= capacity) return 0;
  return TextCopy(target + used, capacity - used, text);
}

template <typename C>
bool TextEqual(const C* a, const C* b) {
  while (*a != 0 && *a == *b) {
    a++;
    b++;
  }
  return *a == *b;
}

// The UTF-16 character of a Windows-1251 byte (0x98, which has none, gives U+0098 as Windows'
// own conversion does).
WideChar WideOf1251(unsigned char c);
// The Windows-1251 byte of a character, or 0 when it has none (the 0 character too).
unsigned char Cp1251Of(uint32_t character);
// A Windows-1251 byte text copied or appended to a wide one, character by character.
size_t TextCopy(WideChar* target, size_t capacity, const char* text);
size_t TextAppend(WideChar* target, size_t capacity, const char* text);

void FillZero(void* target, size_t count);
void CopyBytes(void* target, const void* source, size_t count);
// n / divisor and its remainder, by shift and subtract: the stub has no 64-bit division
// routines of the compiler's library (a kilobyte of code) to call.
uint64_t DivideWide(uint64_t n, uint32_t divisor, uint32_t* remainder);
// Decimal digits of value, with a minus sign when negative; returns the length written.
size_t FormatInt64(char* target, size_t capacity, int64_t value);
// A path delimiter: a backslash, a slash or a colon. Windows' file calls take the slash for a
// backslash, so a name that holds one names a folder too. The same rule in every build.
template <typename C>
bool IsPathDelimiter(C c) {
  return c == '\\' || c == '/' || c == ':';
}
// The part of path after its last delimiter (the whole path when it has none).
template <typename C>
const C* LastPathComponent(const C* path) {
  const C* last = path;
  for (const C* p = path; *p != 0; p++)
    if (IsPathDelimiter(*p)) last = p + 1;
  return last;
}
// The last path component as a name of a file in the current folder: the empty text when it is
// made of dots and spaces only (".", "..": Windows drops trailing dots and spaces, so such a
// name is a folder, never a new file).
template <typename C>
const C* PlainFileName(const C* path) {
  const C* name = LastPathComponent(path);
  const C* p = name;
  while (*p == '.' || *p == ' ') p++;
  return *p == 0 ? p : name;
}
