#include "container/layout.h"

#include "base/byte_text.h"

void PieceSuffix(int32_t n, char suffix[PieceSuffixSize]) {
  char digits[PieceSuffixSize];
  FormatInt64(digits, sizeof digits, n);
  TextCopy(suffix, PieceSuffixSize, ".c");
  for (size_t length = TextLength(digits); length < 3; length++)
    TextAppend(suffix, PieceSuffixSize, "0");
  TextAppend(suffix, PieceSuffixSize, digits);
}

void HeaderRecordText(const HeaderRecord& record, char text[HeaderRecordSize]) {
  CopyBytes(text, record.Text, record.Length);
  text[record.Length] = 0;
}

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool TryParseHeaderInteger(const char* text, int64_t* value) {
  const char* p = text;
  if (*p == 0) return false;
  while (*p == ' ') p++;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    p++;
  } else if (*p == '+') {
    p++;
  }
  // All arithmetic is unsigned so that the 64-bit wrap-around is defined.
  uint64_t v = 0;
  bool anyDigit = false;
  if (*p == '$' || *p == 'x' || *p == 'X' || (*p == '0' && (p[1] == 'x' || p[1] == 'X'))) {
    p += (*p == '0') ? 2 : 1;
    for (int d; (d = HexDigit(*p)) >= 0; p++) {
      if (v > 0x0FFFFFFFFFFFFFFFull) break;  // a 17th significant digit would not fit
      v = (v << 4) + static_cast<uint64_t>(d);
      anyDigit = true;
    }
    if (negative) v = 0 - v;
  } else {
    for (; *p >= '0' && *p <= '9'; p++) {
      if (v > 922337203685477580ull) break;  // stops on a negative value too (bit 63 set)
      v = v * 10 + static_cast<uint64_t>(*p - '0');
      anyDigit = true;
    }
    if (negative) v = 0 - v;
    bool isNegative = (v >> 63) != 0;
    if (v != 0 && isNegative != negative) return false;
  }
  if (!anyDigit || *p != 0) return false;
  *value = static_cast<int64_t>(v);
  return true;
}
