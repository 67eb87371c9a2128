#include "recovery/recovery_coding.h"

#include <string.h>

#include "recovery/gf256.h"

void MakeStripeBuffers(int32_t count, int64_t longest, StripeBuffers* buffers, int32_t limit,
                       int32_t budget) {
  int32_t chunk = count > 0 ? budget / count : limit;
  chunk = chunk > limit ? limit : chunk < ChunkFloor ? ChunkFloor : chunk;
  if (longest < chunk) chunk = static_cast<int32_t>(longest > 0 ? longest : 1);
  chunk += (BufferAlignment - chunk % BufferAlignment) % BufferAlignment;
  buffers->Chunk = chunk;
  buffers->StorageSize = static_cast<size_t>(count) * chunk + BufferAlignment;
  buffers->Storage.reset(new uint8_t[buffers->StorageSize]);
  uintptr_t start = reinterpret_cast<uintptr_t>(buffers->Storage.get());
  size_t skip = (BufferAlignment - start % BufferAlignment) % BufferAlignment;
  buffers->Rows.clear();
  for (int32_t i = 0; i < count; i++)
    buffers->Rows.push_back(buffers->Storage.get() + skip + static_cast<size_t>(i) * chunk);
}

WorkBeside* BesideWithinBudget(int32_t count, WorkBeside* beside) {
  return static_cast<int64_t>(count) * ChunkFloor * MaxLanes <= StripeBudget ? beside : nullptr;
}

int64_t LongestGroup(const std::vector<int64_t>& offsets) {
  int64_t longest = 0;
  for (size_t g = 1; g < offsets.size(); g++)
    if (offsets[g] - offsets[g - 1] > longest) longest = offsets[g] - offsets[g - 1];
  return longest;
}

std::vector<uint8_t> CodeMatrix(int32_t k, int32_t rows) {
  std::vector<uint8_t> matrix(static_cast<size_t>((k + rows) * k));
  GenerateCauchy(matrix.data(), k + rows, k);
  return matrix;
}

std::vector<uint8_t> EncodeTables(int32_t k, int32_t rows) {
  std::vector<uint8_t> matrix = CodeMatrix(k, rows);
  std::vector<uint8_t> tables(static_cast<size_t>(GfTableBytes * k * rows));
  MakeCodingTables(k, rows, matrix.data() + k * k, tables.data());
  return tables;
}

bool DecodeTables(int32_t k, int32_t rows, const std::vector<int32_t>& survivors,
                  const std::vector<int32_t>& lost, std::vector<uint8_t>* tables) {
  std::vector<uint8_t> generator = CodeMatrix(k, rows);
  std::vector<uint8_t> taken(static_cast<size_t>(k * k)), inverse(static_cast<size_t>(k * k));
  for (int32_t s = 0; s < k; s++)
    memcpy(&taken[s * k], &generator[survivors[s] * k], static_cast<size_t>(k));
  if (!InvertMatrix(taken.data(), inverse.data(), k)) return false;
  // Survivors = taken x files, so files = inverse x survivors: lost file p is row p of inverse.
  int32_t count = static_cast<int32_t>(lost.size());
  std::vector<uint8_t> decode(static_cast<size_t>(count * k));
  for (int32_t t = 0; t < count; t++)
    memcpy(&decode[t * k], &inverse[lost[t] * k], static_cast<size_t>(k));
  tables->assign(static_cast<size_t>(GfTableBytes * k * count), 0);
  MakeCodingTables(k, count, decode.data(), tables->data());
  return true;
}
