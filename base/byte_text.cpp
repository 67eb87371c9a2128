#include "base/byte_text.h"

// Windows-1251's bytes 0x80 to 0xBF; 0xC0 to 0xFF are U+0410 to U+044F (А to я) in order.
static const uint16_t Cp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

WideChar WideOf1251(unsigned char c) {
  if (c < 0x80) return c;
  return static_cast<WideChar>(c >= 0xC0 ? 0x0410 + (c - 0xC0) : Cp1251High[c - 0x80]);
}

unsigned char Cp1251Of(uint32_t character) {
  if (character < 0x80) return static_cast<unsigned char>(character);
  if (character >= 0x0410 && character <= 0x044F)
    return static_cast<unsigned char>(character - 0x0410 + 0xC0);
  for (int i = 0; i < 64; i++)
    if (Cp1251High[i] == character) return static_cast<unsigned char>(0x80 + i);
  return 0;
}

size_t TextCopy(WideChar* target, size_t capacity, const char* text) {
  if (capacity == 0) return 0;
  size_t n = 0;
  while (n + 1 < capacity && text[n] != 0) {
    target[n] = WideOf1251(static_cast<unsigned char>(text[n]));
    n++;
  }
  target[n] = 0;
  return n;
}

size_t TextAppend(WideChar* target, size_t capacity, const char* text) {
  size_t used = TextLength(target);
  if (used >= capacity) return 0;
  return TextCopy(target + used, capacity - used, text);
}

void FillZero(void* target, size_t count) {
  volatile unsigned char* p = static_cast<unsigned char*>(target);
  while (count-- > 0) *p++ = 0;
}

void CopyBytes(void* target, const void* source, size_t count) {
  unsigned char* t = static_cast<unsigned char*>(target);
  const unsigned char* s = static_cast<const unsigned char*>(source);
  while (count-- > 0) *t++ = *s++;
}

uint64_t DivideWide(uint64_t n, uint32_t divisor, uint32_t* remainder) {
  uint64_t quotient = 0;
  uint64_t rest = 0;
  for (int bit = 63; bit >= 0; bit--) {
    rest = (rest << 1) | ((n >> bit) & 1);
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= uint64_t{1} << bit;
    }
  }
  if (remainder != nullptr) *remainder = static_cast<uint32_t>(rest);
  return quotient;
}

size_t FormatInt64(char* target, size_t capacity, int64_t value) {
  char digits[24];
  size_t n = 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    uint32_t digit;
    magnitude = DivideWide(magnitude, 10, &digit);
    digits[n++] = static_cast<char>('0' + digit);
  } while (magnitude != 0);
  if (value < 0) digits[n++] = '-';
  char text[24];
  for (size_t i = 0; i < n; i++) text[i] = digits[n - 1 - i];
  text[n] = 0;
  return TextCopy(target, capacity, text);
}
