// UTF-8 and Windows-1251 on Linux, through iconv.
#include <iconv.h>

#include <string>

#include "cli/os/encoding.h"

bool Utf8ToCp1251(const std::string& text, std::string* out) {
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(text.size() + 1, '\0');  // never longer than the UTF-8 text
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outPtr = &result[0];
  size_t outLeft = result.size();
  bool ok = iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(cd);
  if (!ok) return false;
  result.resize(result.size() - outLeft);
  *out = result;
  return true;
}

std::string Cp1251ToUtf8(const std::string& bytes) {
  static std::string table[256];
  static bool built = false;
  if (!built) {
    iconv_t cd = iconv_open("UTF-8", "CP1251");
    for (int b = 0; b < 256; b++) {
      char in[1] = {static_cast<char>(b)};
      char out[8];
      char* inPtr = in;
      size_t inLeft = 1;
      char* outPtr = out;
      size_t outLeft = sizeof out;
      if (cd != reinterpret_cast<iconv_t>(-1) &&
          iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
        table[b].assign(out, sizeof out - outLeft);
      } else if (b < 0x80) {
        table[b].assign(1, static_cast<char>(b));
      } else {
        table[b] = "\xEF\xBF\xBD";  // U+FFFD
      }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    built = true;
  }
  std::string result;
  for (unsigned char c : bytes) result += table[c];
  return result;
}
