// What encoding, checking and rebuilding share: the coding buffers, padded reads, the CRC-32C,
// progress, and the code's matrices (every coefficient comes from ISA-L).
#pragma once

#include <stdint.h>

#include <vector>

#include "recovery/recovery.h"

enum : int32_t {
  ChunkLimit = 1 << 20,    // bytes per file and chunk, at most
  ChunkFloor = 64 << 10,   // and at least
  StripeBudget = 32 << 20, // all buffers of a group, where the floor allows
  BufferAlignment = 64,
};

// count buffers of Chunk bytes each, aligned for the vector instructions; no longer than needed
// for a stretch of longest bytes.
struct StripeBuffers {
  std::vector<uint8_t> Storage;
  std::vector<uint8_t*> Rows;
  int32_t Chunk;
};
void MakeStripeBuffers(int32_t count, int64_t longest, StripeBuffers* buffers);
// The longest group's parity, from ParityOffsets.
int64_t LongestGroup(const std::vector<int64_t>& offsets);

// Reads the bytes of a payload that fall in [offset, offset + length) into buffer and fills the
// rest of it with zeros; returns the count read, -1 when the read fails.
int32_t ReadPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset, uint8_t* buffer, int32_t length);

// CRC-32C continued over count more bytes: start from 0 (as Crc32cAdd, through ISA-L).
uint32_t DigestAdd(uint32_t crc, const uint8_t* bytes, size_t count);
// The CRC-32C of two streams one after the other, from the digest of each and the second's length.
uint32_t DigestJoin(uint32_t first, uint32_t second, int64_t secondLength);
// The CRC-32C of length bytes of file from at, read in chunks of buffer's size. Done,
// RecoveryReadFailed or RecoveryInterrupted.
RecoveryOutcome DigestOfRange(const FileAccess& file, int64_t at, int64_t length, std::vector<uint8_t>* buffer,
                              const RecoveryProgress* progress, uint32_t* digest);

// Tells progress; false when the caller stops the work.
bool GoOn(const RecoveryProgress* progress, int64_t bytes);

RecoveryResult Result(RecoveryOutcome outcome, int32_t setFile = -1, int32_t row = -1);

// The (k + rows) x k generator of a group of k files: the identity, then the parity rows.
std::vector<uint8_t> CodeMatrix(int32_t k, int32_t rows);
// ISA-L's tables for ec_encode_data: the parity rows of the generator (encoding), or the rows
// that give the lost files back from k survivors, each a generator row (decoding). False when
// the survivors' matrix cannot be inverted.
std::vector<uint8_t> EncodeTables(int32_t k, int32_t rows);
bool DecodeTables(int32_t k, int32_t rows, const std::vector<int32_t>& survivors, const std::vector<int32_t>& lost,
                  std::vector<uint8_t>* tables);
