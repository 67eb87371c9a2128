// CRC-64/XZ (the ECMA-182 polynomial, reflected, initial value and final XOR all ones, as xz
// uses it) of bytes in memory, a bit at a time: the digest block's self-check, over 2 KB once a
// run. The stub's own code; tests compare it with ISA-L's crc64_ecma_refl.
#pragma once

#include <stddef.h>
#include <stdint.h>

uint64_t Crc64(const void* bytes, size_t count);
// The CRC of the bytes added so far, continued over count more: start from 0, then feed the
// bytes in any split (a recovery file's self-check covers megabytes, read a block at a time).
uint64_t Crc64Add(uint64_t crc, const void* bytes, size_t count);
