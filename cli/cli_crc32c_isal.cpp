// The digests through ISA-L, which works in an int count and leaves both inversions to the caller.
#include <isa-l.h>

#include "cli/cli_crc32c.h"

uint32_t ToolCrc32cAdd(uint32_t crc, const void* bytes, size_t count) {
  const size_t most = 1u << 30;  // well under the int's limit
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (; count > 0;) {
    size_t part = count < most ? count : most;
    crc = ~crc32_iscsi(const_cast<unsigned char*>(p), static_cast<int>(part), ~crc);
    p += part;
    count -= part;
  }
  return crc;
}
