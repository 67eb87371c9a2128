#include "integrity/crc64.h"

static const uint64_t Ecma182 = 0xC96C5795D7870F42ull;  // the polynomial, bit-reversed

uint64_t Crc64(const void* bytes, size_t count) { return Crc64Add(0, bytes, count); }

uint64_t Crc64Add(uint64_t crc, const void* bytes, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  crc = ~crc;
  for (; count > 0; count--) {
    crc ^= *p++;
    for (int bit = 0; bit < 8; bit++) {
      bool low = (crc & 1) != 0;  // a branch: smaller 32-bit code than a mask of 64 bits
      crc >>= 1;
      if (low) crc ^= Ecma182;
    }
  }
  return ~crc;
}
