#include "recovery/recovery_stream.h"

#include <isa-l.h>
#include <string.h>

void MakeStripeBuffers(int32_t count, int64_t longest, StripeBuffers* buffers) {
  int32_t chunk = count > 0 ? StripeBudget / count : ChunkLimit;
  chunk = chunk > ChunkLimit ? ChunkLimit : chunk < ChunkFloor ? ChunkFloor : chunk;
  if (longest < chunk) chunk = static_cast<int32_t>(longest > 0 ? longest : 1);
  chunk += (BufferAlignment - chunk % BufferAlignment) % BufferAlignment;
  buffers->Chunk = chunk;
  buffers->Storage.resize(static_cast<size_t>(count) * chunk + BufferAlignment);
  uintptr_t start = reinterpret_cast<uintptr_t>(buffers->Storage.data());
  size_t skip = (BufferAlignment - start % BufferAlignment) % BufferAlignment;
  buffers->Rows.clear();
  for (int32_t i = 0; i < count; i++)
    buffers->Rows.push_back(buffers->Storage.data() + skip + static_cast<size_t>(i) * chunk);
}

int64_t LongestGroup(const std::vector<int64_t>& offsets) {
  int64_t longest = 0;
  for (size_t g = 1; g < offsets.size(); g++)
    if (offsets[g] - offsets[g - 1] > longest) longest = offsets[g] - offsets[g - 1];
  return longest;
}

int32_t ReadPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset, uint8_t* buffer, int32_t length) {
  int64_t left = payload - offset;
  int32_t count = left <= 0 ? 0 : left < length ? static_cast<int32_t>(left) : length;
  if (count > 0 && !file.ReadAt(file.Handle, buffer, static_cast<size_t>(count), PayloadBase(n) + offset)) return -1;
  memset(buffer + count, 0, static_cast<size_t>(length - count));
  return count;
}

// ISA-L leaves the CRC's usual inversions to its caller.
uint32_t DigestAdd(uint32_t crc, const uint8_t* bytes, size_t count) {
  return ~crc32_iscsi(const_cast<uint8_t*>(bytes), static_cast<int>(count), ~crc);
}

// Products modulo the CRC-32C polynomial, in its bit-reversed form (the highest bit is x^0).
static const uint32_t ReversedPolynomial = 0x82F63B78u;

static uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = b & 1 ? (b >> 1) ^ ReversedPolynomial : b >> 1;
  }
  return product;
}

// x^(8 * bytes) modulo the polynomial, by squaring.
static uint32_t ShiftByBytes(int64_t bytes) {
  uint32_t result = 1u << 31, square = 1u << 23;  // x^0, and x^8
  for (uint64_t left = static_cast<uint64_t>(bytes); left != 0; left >>= 1) {
    if (left & 1) result = MultiplyModP(result, square);
    square = MultiplyModP(square, square);
  }
  return result;
}

// The usual inversions at both ends cancel out: the first digest moved past the second stream's
// bytes, added to the second's.
uint32_t DigestJoin(uint32_t first, uint32_t second, int64_t secondLength) {
  return MultiplyModP(ShiftByBytes(secondLength), first) ^ second;
}

RecoveryOutcome DigestOfRange(const FileAccess& file, int64_t at, int64_t length, std::vector<uint8_t>* buffer,
                              const RecoveryProgress* progress, uint32_t* digest) {
  *digest = 0;
  for (int64_t done = 0; done < length;) {
    int64_t left = length - done;
    size_t count = left < static_cast<int64_t>(buffer->size()) ? static_cast<size_t>(left) : buffer->size();
    if (!file.ReadAt(file.Handle, buffer->data(), count, at + done)) return RecoveryReadFailed;
    *digest = DigestAdd(*digest, buffer->data(), count);
    done += static_cast<int64_t>(count);
    if (!GoOn(progress, static_cast<int64_t>(count))) return RecoveryInterrupted;
  }
  return RecoveryDone;
}

bool GoOn(const RecoveryProgress* progress, int64_t bytes) {
  return progress == nullptr || progress->Step == nullptr || progress->Step(progress->Context, bytes);
}

RecoveryResult Result(RecoveryOutcome outcome, int32_t setFile, int32_t row) { return {outcome, setFile, row}; }

std::vector<uint8_t> CodeMatrix(int32_t k, int32_t rows) {
  std::vector<uint8_t> matrix(static_cast<size_t>((k + rows) * k));
  gf_gen_cauchy1_matrix(matrix.data(), k + rows, k);
  return matrix;
}

std::vector<uint8_t> EncodeTables(int32_t k, int32_t rows) {
  std::vector<uint8_t> matrix = CodeMatrix(k, rows);
  std::vector<uint8_t> tables(static_cast<size_t>(32 * k * rows));
  ec_init_tables(k, rows, matrix.data() + k * k, tables.data());
  return tables;
}

bool DecodeTables(int32_t k, int32_t rows, const std::vector<int32_t>& survivors, const std::vector<int32_t>& lost,
                  std::vector<uint8_t>* tables) {
  std::vector<uint8_t> generator = CodeMatrix(k, rows);
  std::vector<uint8_t> taken(static_cast<size_t>(k * k)), inverse(static_cast<size_t>(k * k));
  for (int32_t s = 0; s < k; s++) memcpy(&taken[s * k], &generator[survivors[s] * k], static_cast<size_t>(k));
  if (gf_invert_matrix(taken.data(), inverse.data(), k) != 0) return false;
  // Survivors = taken x files, so files = inverse x survivors: lost file p is row p of inverse.
  int32_t count = static_cast<int32_t>(lost.size());
  std::vector<uint8_t> decode(static_cast<size_t>(count * k));
  for (int32_t t = 0; t < count; t++) memcpy(&decode[t * k], &inverse[lost[t] * k], static_cast<size_t>(k));
  tables->assign(static_cast<size_t>(32 * k * count), 0);
  ec_init_tables(k, count, decode.data(), tables->data());
  return true;
}
