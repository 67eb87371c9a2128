// Fuzzes TryParseHeaderInteger against a model of integer text written another way: the text
// is split into its parts first, and the value is reckoned in 128-bit arithmetic, so neither
// the digit-by-digit stopping rules nor the 64-bit wrap-around are shared with the parser.
#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "container/layout.h"

namespace {

struct ModelResult {
  bool valid;
  int64_t value;
};

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsDecimal(char c) { return c >= '0' && c <= '9'; }

ModelResult Model(const std::string& text) {
  const ModelResult invalid{false, 0};
  size_t at = text.find_first_not_of(' ');
  if (at == std::string::npos) return invalid;  // empty, or spaces only
  bool negative = false;
  if (text[at] == '-' || text[at] == '+') negative = text[at++] == '-';
  std::string rest = text.substr(at);
  bool hex = false;
  if (rest.rfind("0x", 0) == 0 || rest.rfind("0X", 0) == 0) {
    hex = true;
    rest = rest.substr(2);
  } else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    rest = rest.substr(1);
  }
  if (rest.empty()) return invalid;
  for (char c : rest)
    if (!(hex ? IsHex(c) : IsDecimal(c))) return invalid;
  // Leading zeros carry nothing.
  size_t first = rest.find_first_not_of('0');
  std::string digits = first == std::string::npos ? std::string() : rest.substr(first);
  if (hex) {
    if (digits.size() > 16) return invalid;  // 2^64 and above
    unsigned __int128 pattern = 0;
    for (char c : digits) pattern = pattern * 16 + (IsDecimal(c) ? c - '0' : (c | 0x20) - 'a' + 10);
    uint64_t bits = static_cast<uint64_t>(pattern);
    if (negative) bits = ~bits + 1;
    return {true, static_cast<int64_t>(bits)};
  }
  if (digits.size() > 19) return invalid;  // 10^19 is beyond any signed 64-bit magnitude
  __int128 magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + (c - '0');
  __int128 value = negative ? -magnitude : magnitude;
  const __int128 low = -(static_cast<__int128>(1) << 63),
                 high = (static_cast<__int128>(1) << 63) - 1;
  if (value < low || value > high) return invalid;
  return {true, static_cast<int64_t>(value)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A header text is at most 255 bytes and ends at a zero byte, as the record text does.
  std::string text(reinterpret_cast<const char*>(data), size < 255 ? size : 255);
  text = text.substr(0, text.find('\0'));
  int64_t value = 0x5EED;
  bool valid = TryParseHeaderInteger(text.c_str(), &value);
  ModelResult expected = Model(text);
  if (valid != expected.valid || (valid && value != expected.value)) {
    std::fprintf(stderr, "text '%s': parser %d %lld, model %d %lld\n", text.c_str(), valid,
                 static_cast<long long>(value), expected.valid,
                 static_cast<long long>(expected.value));
    std::abort();
  }
  if (!valid && value != 0x5EED) std::abort();  // an invalid text leaves the value alone
  return 0;
}
