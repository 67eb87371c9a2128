// Names between UTF-8 and Windows-1251, the code page of a set's names: the system's conversions
// (posix/encoding.cpp through iconv, windows/encoding.cpp through the Windows calls, which also
// convert UTF-16 for that side, win.h), and the key under which names compare ignoring case
// (encoding.cpp).
#pragma once

#include <string>

// UTF-8 to Windows-1251 (iconv on Linux, WideCharToMultiByte without best-fit mapping on
// Windows); false when a character has no 1251 form or the text is not valid UTF-8.
bool Utf8ToCp1251(const std::string& text, std::string* out);
// Windows-1251 bytes to UTF-8; the one undefined byte (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(const std::string& bytes);
// A key under which two file names compare equal when they differ only in the case of Latin or
// Windows-1251 letters.
std::string NameFoldKey(const std::string& utf8Name);
