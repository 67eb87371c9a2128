// The CRC-32C (Castagnoli) of a set's pieces, as the tool computes the digests of the digest
// block: through ISA-L on Linux (cli_crc32c_isal.cpp). A build without ISA-L (Windows) takes the
// stub's own Crc32cAdd instead (cli_crc32c_own.cpp), which the tests hold to the same results.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The CRC of the bytes added so far, continued over count more: start from 0, then feed the bytes
// in any split; the result is the CRC of all of them.
uint32_t ToolCrc32cAdd(uint32_t crc, const void* bytes, size_t count);
