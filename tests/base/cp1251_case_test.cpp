// Windows-1251 upper case against the code page itself: each byte through iconv to its
// character, upper-cased by the C library's Unicode tables, and back.
#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include "base/cp1251_case.h"

namespace {

// The character of a 1251 byte, or 0 for the one byte that has none (0x98).
wchar_t CharacterOf(iconv_t toUnicode, unsigned char byte) {
  char in[1] = {static_cast<char>(byte)};
  wchar_t out[2] = {};
  char* inPtr = in;
  char* outPtr = reinterpret_cast<char*>(out);
  size_t inLeft = 1, outLeft = sizeof out;
  if (iconv(toUnicode, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
  return out[0];
}

// The 1251 byte of a character; -1 when the code page has none.
int ByteOf(iconv_t fromUnicode, wchar_t character) {
  wchar_t in[1] = {character};
  char out[4] = {};
  char* inPtr = reinterpret_cast<char*>(in);
  char* outPtr = out;
  size_t inLeft = sizeof in, outLeft = sizeof out;
  if (iconv(fromUnicode, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return -1;
  return static_cast<unsigned char>(out[0]);
}

TEST(Cp1251Case, EveryByteAsTheCodePageUpperCasesIt) {
  iconv_t toUnicode = iconv_open("WCHAR_T", "CP1251");
  iconv_t fromUnicode = iconv_open("CP1251", "WCHAR_T");
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  ASSERT_NE(toUnicode, reinterpret_cast<iconv_t>(-1));
  ASSERT_NE(fromUnicode, reinterpret_cast<iconv_t>(-1));
  ASSERT_NE(utf8, static_cast<locale_t>(nullptr));
  int letters = 0;
  for (int byte = 0; byte < 256; byte++) {
    wchar_t character = CharacterOf(toUnicode, static_cast<unsigned char>(byte));
    wint_t upper = character == 0 ? 0 : towupper_l(static_cast<wint_t>(character), utf8);
    // A capital the code page lacks (µ's is Greek) leaves the byte as it is.
    int expected = upper == static_cast<wint_t>(character)
                       ? byte
                       : ByteOf(fromUnicode, static_cast<wchar_t>(upper));
    if (expected < 0) expected = byte;
    if (expected != byte) letters++;
    EXPECT_EQ(Cp1251Upper(static_cast<unsigned char>(byte)), expected)
        << "byte 0x" << std::hex << byte;
  }
  EXPECT_EQ(letters, 26 + 32 + 15) << "Latin, Russian and the other Cyrillic lower-case letters";
  freelocale(utf8);
  iconv_close(toUnicode);
  iconv_close(fromUnicode);
}

}  // namespace
