// The candidates for the piece digest that the stub does not carry, written as the stub would
// carry them (no C library, tables made at first use); only the benchmark uses them.
#pragma once

#include <stddef.h>
#include <stdint.h>

// XXH32 (seed 0), fed in parts.
struct Xxh32State {
  uint32_t Lanes[4];
  uint64_t Length;
  uint8_t Pending[16];
  uint32_t PendingCount;
};
void Xxh32Begin(Xxh32State* state);
void Xxh32Add(Xxh32State* state, const void* bytes, size_t count);
uint32_t Xxh32End(const Xxh32State* state);

// CRC-32C eight bytes at a time over eight tables, and through the SSE4.2 instruction as one
// stream of four-byte steps. Each takes the running CRC (0 to begin) and returns it.
uint32_t Crc32cBySlices(uint32_t crc, const void* bytes, size_t count);
uint32_t Crc32cByOneStream(uint32_t crc, const void* bytes, size_t count);
