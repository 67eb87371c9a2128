// What both sides' conversions of names share: the key under which names compare ignoring case.
#include "cli/os/encoding.h"

#include "base/cp1251_case.h"

// Latin letters in upper case; every other byte as it is.
static unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

std::string NameFoldKey(const std::string& utf8Name) {
  std::string bytes;
  // Names with a 1251 form fold as 1251; others (any bytes at all) fold their Latin letters only.
  std::string key = Utf8ToCp1251(utf8Name, &bytes) ? "1" : "0";
  if (key == "0") bytes = utf8Name;
  for (unsigned char c : bytes) {
    key += static_cast<char>(key[0] == '1' ? Cp1251Upper(c) : UpperAscii(c));
  }
  return key;
}
