// The CRC-32C backend of the Linux builds: ISA-L's crc32_iscsi, which takes an int count and
// leaves both inversions to the caller.
#include <isa-l.h>

#include "integrity/crc32c.h"

uint32_t Crc32cAdd(uint32_t crc, const void* bytes, size_t count) {
  const size_t most = size_t{1} << 30;  // well under the int's limit
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (; count > 0;) {
    size_t part = count < most ? count : most;
    crc = ~crc32_iscsi(const_cast<unsigned char*>(p), static_cast<int>(part), ~crc);
    p += part;
    count -= part;
  }
  return crc;
}
