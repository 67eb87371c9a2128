#include "base/byte_text.h"

size_t TextLength(const char* text) {
  size_t n = 0;
  while (text[n] != 0) n++;
  return n;
}

size_t TextCopy(char* target, size_t capacity, const char* text) {
  if (capacity == 0) return 0;
  size_t n = 0;
  while (n + 1 < capacity && text[n] != 0) {
    target[n] = text[n];
    n++;
  }
  target[n] = 0;
  return n;
}

size_t TextAppend(char* target, size_t capacity, const char* text) {
  size_t used = TextLength(target);
  if (used >= capacity) return 0;
  return TextCopy(target + used, capacity - used, text);
}

bool TextEqual(const char* a, const char* b) {
  while (*a != 0 && *a == *b) {
    a++;
    b++;
  }
  return *a == *b;
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

bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

const char* LastPathComponent(const char* path) {
  const char* last = path;
  for (const char* p = path; *p != 0; p++)
    if (IsPathDelimiter(*p)) last = p + 1;
  return last;
}

const char* PlainFileName(const char* path) {
  const char* name = LastPathComponent(path);
  const char* p = name;
  while (*p == '.' || *p == ' ') p++;
  return *p == 0 ? p : name;
}
