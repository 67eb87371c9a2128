// The digests where ISA-L is not at hand (the Windows build): the stub's own CRC-32C.
#include "cli/cli_crc32c.h"
#include "integrity/crc32c.h"

uint32_t ToolCrc32cAdd(uint32_t crc, const void* bytes, size_t count) { return Crc32cAdd(crc, bytes, count); }
