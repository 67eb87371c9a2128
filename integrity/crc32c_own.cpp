// The CRC-32C backend of the builds without ISA-L (the stub, the Windows tool, the 32-bit Linux
// build of the stub's logic): our own code, the instruction's way where the processor has it.
#include "integrity/crc32c.h"

uint32_t Crc32cAdd(uint32_t crc, const void* bytes, size_t count) {
  return ProcessorHasCrc32c() ? Crc32cAddByInstruction(crc, bytes, count)
                              : Crc32cAddByTable(crc, bytes, count);
}
