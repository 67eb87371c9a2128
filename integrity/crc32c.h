// CRC-32C (the Castagnoli polynomial, as iSCSI, SCTP and ext4 use it; reflected, initial value
// and final XOR all ones): the digest of every piece of a set. The stub's own code, with no C
// library: the SSE4.2 instruction over three interleaved streams where the processor has it, a
// table otherwise. The tool computes the same CRC through ISA-L; tests compare the two.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The CRC of the bytes added so far, continued over count more: start from 0, then feed the
// bytes in any split; the result is the CRC of all of them.
uint32_t Crc32cAdd(uint32_t crc, const void* bytes, size_t count);

// The two ways Crc32cAdd takes, for the tests (the instruction's only where the processor has
// SSE4.2).
bool ProcessorHasCrc32c();
uint32_t Crc32cAddByTable(uint32_t crc, const void* bytes, size_t count);
uint32_t Crc32cAddByInstruction(uint32_t crc, const void* bytes, size_t count);
