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

// Count (1 to RowBatch) outputs, each from its own k tables, over [0, end) in steps of Step; the
// count is fixed at compile time, so that every sum stays in a register.
template <int32_t Count>
__attribute__((target("ssse3"))) static void EncodeBatch(size_t end, int32_t k,
                                                         const uint8_t* tables,
                                                         const uint8_t* const* sources,
                                                         uint8_t* const* outputs) {
  enum : int32_t { Vectors = Step / 16 };
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const size_t rowTables = static_cast<size_t>(k) * GfTableBytes;
  for (size_t i = 0; i < end; i += Step) {
    __m128i sum[Count][Vectors];
    for (int32_t r = 0; r < Count; r++)
      for (int32_t v = 0; v < Vectors; v++) sum[r][v] = _mm_setzero_si128();
    for (int32_t j = 0; j < k; j++) {
      const __m128i* in = reinterpret_cast<const __m128i*>(sources[j] + i);
      __m128i low[Vectors], high[Vectors];
      for (int32_t v = 0; v < Vectors; v++) {
        __m128i x = _mm_loadu_si128(in + v);
        low[v] = _mm_and_si128(x, nibble);
        high[v] = _mm_and_si128(_mm_srli_epi64(x, 4), nibble);
      }
      const uint8_t* table = tables + j * GfTableBytes;
      for (int32_t r = 0; r < Count; r++, table += rowTables) {
        __m128i lows = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
        __m128i highs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16));
        for (int32_t v = 0; v < Vectors; v++)
          sum[r][v] = _mm_xor_si128(sum[r][v], _mm_xor_si128(_mm_shuffle_epi8(lows, low[v]),
                                                             _mm_shuffle_epi8(highs, high[v])));
      }
    }
    for (int32_t r = 0; r < Count; r++)
      for (int32_t v = 0; v < Vectors; v++)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(outputs[r] + i) + v, sum[r][v]);
  }
}

using BatchWay = void (*)(size_t, int32_t, const uint8_t*, const uint8_t* const*, uint8_t* const*);
static const BatchWay Batches[RowBatch] = {EncodeBatch<1>, EncodeBatch<2>, EncodeBatch<3>,
                                           EncodeBatch<4>};

void GfEncodeByShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                       const uint8_t* const* sources, uint8_t* const* outputs) {
  size_t body = length - length % Step;
  for (int32_t r = 0; r < rows; r += RowBatch) {
    int32_t count = rows - r < RowBatch ? rows - r : RowBatch;
    Batches[count - 1](body, k, tables + static_cast<size_t>(r) * k * GfTableBytes, sources,
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
