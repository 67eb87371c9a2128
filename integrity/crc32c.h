// CRC-32C (the Castagnoli polynomial, as iSCSI, SCTP and ext4 use it; reflected, initial value
// and final XOR all ones): the digest of every piece of a set, and of every file and parity a
// recovery file describes.
//
// One function, two backends; the build picks one by the file it compiles:
// - integrity/crc32c_isal.cpp: ISA-L's crc32_iscsi, in the Linux builds (the tool, the recovery
//   module, the native tests and fuzzers that link ISA-L);
// - integrity/crc32c_own.cpp: our own code below, in the stub (no C library), the Windows tool
//   (no ISA-L) and the 32-bit Linux build of the stub's logic (Debian's ISA-L is 64-bit only).
#pragma once

#include <stddef.h>
#include <stdint.h>

// The CRC of the bytes added so far, continued over count more: start from 0, then feed the
// bytes in any split; the result is the CRC of all of them.
uint32_t Crc32cAdd(uint32_t crc, const void* bytes, size_t count);

// The CRC of two streams one after the other, from the CRC of each and the second's length.
uint32_t Crc32cJoin(uint32_t first, uint32_t second, int64_t secondLength);

// Our own code (integrity/crc32c.cpp, in every build): the SSE4.2 instruction over three
// interleaved streams where the processor has it, a table otherwise. crc32c_own.cpp picks
// between them; the tests hold each to ISA-L's results on the same bytes (the instruction's way
// only where the processor has SSE4.2).
bool ProcessorHasCrc32c();
uint32_t Crc32cAddByTable(uint32_t crc, const void* bytes, size_t count);
uint32_t Crc32cAddByInstruction(uint32_t crc, const void* bytes, size_t count);
