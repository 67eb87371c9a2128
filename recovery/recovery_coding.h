// The Reed-Solomon coding that encoding and rebuilding share: the buffers a group is coded in,
// a chunk of each file and row side by side, and the code's matrices, over a coding backend.
#pragma once

#include <stdint.h>

#include <memory>
#include <vector>

#include "recovery/recovery_chunks.h"

enum : int32_t {
  ChunkFloor = 32 << 10,  // bytes per file and chunk, at least (ChunkLimit: at most)
  // At most where the files are read into the buffers (encoding, and a pass in two lanes): a
  // stripe stays in the caches while it is read, written (split), hashed and coded; 1 MiB took
  // half as long again in the kernel's copies (tools/bench_recovery.sh), and a repair's two
  // lanes took 7 % longer at 300 KiB than at 256 KiB.
  ReadChunkLimit = 256 << 10,
  // All buffers of a group, where the floor allows: the same for 10 files or 255, so that
  // memory stays flat in the set's size (255 files at the floor take 8 MiB too).
  StripeBudget = 8 << 20,
  BufferAlignment = 64,
};

// count buffers of Chunk bytes each (at most limit, in all about budget), aligned for the vector
// instructions; no longer than needed for a stretch of longest bytes.
struct StripeBuffers {
  std::unique_ptr<uint8_t[]> Storage;  // not zeroed: a buffer a view stands in for stays untouched
  size_t StorageSize = 0;
  std::vector<uint8_t*> Rows;
  int32_t Chunk;
};
void MakeStripeBuffers(int32_t count, int64_t longest, StripeBuffers* buffers,
                       int32_t limit = ChunkLimit, int32_t budget = StripeBudget);
// The thread to work beside for count buffers a lane (RunLanes): beside where two lanes' buffers
// fit the budget at the floor's chunks, else null (one lane, memory as without).
WorkBeside* BesideWithinBudget(int32_t count, WorkBeside* beside);
// The longest group's parity, from ParityOffsets.
int64_t LongestGroup(const std::vector<int64_t>& offsets);

// The (k + rows) x k generator of a group of k files: the identity, then the parity rows.
std::vector<uint8_t> CodeMatrix(int32_t k, int32_t rows);
// The coding tables of CodeStripe: the parity rows of the generator (encoding), or the rows
// that give the lost files back from k survivors, each a generator row (decoding). False when
// the survivors' matrix cannot be inverted.
std::vector<uint8_t> EncodeTables(int32_t k, int32_t rows);
bool DecodeTables(int32_t k, int32_t rows, const std::vector<int32_t>& survivors,
                  const std::vector<int32_t>& lost, std::vector<uint8_t>* tables);

// The coding backend, one per build, picked by the file it compiles (the same bytes either way):
// recovery_coding_isal.cpp (ISA-L, the Linux tool) or recovery_coding_own.cpp (our own code of
// recovery/gf256.h, the Windows tool). The generator of GF(2^8) as gf_gen_cauchy1_matrix makes
// it, the inverse of an n x n matrix (in is spoiled; false when it has none), the tables of a
// rows x k matrix of coefficients, and the coding of a stripe with them: outputs[r] = the sum
// over j of coefficient (r, j) times sources[j].
void GenerateCauchy(uint8_t* matrix, int32_t total, int32_t k);
bool InvertMatrix(uint8_t* in, uint8_t* out, int32_t n);
void MakeCodingTables(int32_t k, int32_t rows, const uint8_t* coefficients, uint8_t* tables);
void CodeStripe(int32_t length, int32_t k, int32_t rows, const uint8_t* tables, uint8_t** sources,
                uint8_t** outputs);
