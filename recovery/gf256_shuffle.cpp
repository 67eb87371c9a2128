// The SSSE3 way of coding: pshufb looks up 16 products at once in a coefficient's two tables (low
// nibbles, high nibbles). Each pass takes 32 bytes of every source and makes up to RowBatch
// outputs from them, so a source is read once per batch, not once per output. The tail is left
// to the table way.
#include <cpuid.h>
#include <tmmintrin.h>

#include "recovery/gf256.h"

enum : int32_t { RowBatch = 4, Step = 32 };

static int8_t ShuffleKnown;  // 0 not yet asked, 1 present, -1 absent

bool ProcessorHasSsse3() {
  if (ShuffleKnown == 0) {
    unsigned eax, ebx, ecx, edx;
    __cpuid(1, eax, ebx, ecx, edx);
    ShuffleKnown = (ecx & bit_SSSE3) ? 1 : -1;
  }
  return ShuffleKnown > 0;
}

__attribute__((target("ssse3"))) static inline __m128i Product(const uint8_t* table, __m128i low,
                                                               __m128i high) {
  __m128i lows = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
  __m128i highs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16));
  return _mm_xor_si128(_mm_shuffle_epi8(lows, low), _mm_shuffle_epi8(highs, high));
}

// count (1 to RowBatch) outputs, each from its own k tables, over [0, end) in steps of Step.
__attribute__((target("ssse3"))) static void EncodeBatch(size_t end, int32_t k, int32_t count,
                                                         const uint8_t* tables,
                                                         const uint8_t* const* sources,
                                                         uint8_t* const* outputs) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const size_t rowTables = static_cast<size_t>(k) * GfTableBytes;
  for (size_t i = 0; i < end; i += Step) {
    __m128i sum[RowBatch][2];
    for (int32_t r = 0; r < count; r++) sum[r][0] = sum[r][1] = _mm_setzero_si128();
    for (int32_t j = 0; j < k; j++) {
      const __m128i* in = reinterpret_cast<const __m128i*>(sources[j] + i);
      __m128i x[2] = {_mm_loadu_si128(in), _mm_loadu_si128(in + 1)};
      for (int32_t h = 0; h < 2; h++) {
        __m128i low = _mm_and_si128(x[h], nibble);
        __m128i high = _mm_and_si128(_mm_srli_epi64(x[h], 4), nibble);
        for (int32_t r = 0; r < count; r++)
          sum[r][h] = _mm_xor_si128(sum[r][h],
                                    Product(tables + r * rowTables + j * GfTableBytes, low, high));
      }
    }
    for (int32_t r = 0; r < count; r++) {
      __m128i* out = reinterpret_cast<__m128i*>(outputs[r] + i);
      _mm_storeu_si128(out, sum[r][0]);
      _mm_storeu_si128(out + 1, sum[r][1]);
    }
  }
}

void GfEncodeByShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                       const uint8_t* const* sources, uint8_t* const* outputs) {
  size_t body = length - length % Step;
  for (int32_t r = 0; r < rows; r += RowBatch) {
    int32_t count = rows - r < RowBatch ? rows - r : RowBatch;
    EncodeBatch(body, k, count, tables + static_cast<size_t>(r) * k * GfTableBytes, sources,
                outputs + r);
  }
  GfEncodeByTableFrom(body, length, k, rows, tables, sources, outputs);
}

void GfEncode(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
              const uint8_t* const* sources, uint8_t* const* outputs) {
  if (ProcessorHasSsse3())
    GfEncodeByShuffle(length, k, rows, tables, sources, outputs);
  else
    GfEncodeByTable(length, k, rows, tables, sources, outputs);
}
