// The shuffle ways of coding: pshufb looks up 16 products at once in a coefficient's two tables
// (low nibbles, high nibbles); SSSE3 gives it over 16 bytes, AVX2 over 32 (the tables in both
// halves). Each pass takes a Step of every source and makes up to RowBatch outputs from it, so a
// source is read once per batch, not once per output. The tail is left to the table way.
#include <cpuid.h>
#include <immintrin.h>

#include "recovery/gf256.h"

enum : int32_t { RowBatch = 4, Step = 64 };

static int8_t ShuffleKnown, WideShuffleKnown;  // 0 not yet asked, 1 present, -1 absent

bool ProcessorHasSsse3() {
  if (ShuffleKnown == 0) {
    unsigned eax, ebx, ecx, edx;
    __cpuid(1, eax, ebx, ecx, edx);
    ShuffleKnown = (ecx & bit_SSSE3) ? 1 : -1;
  }
  return ShuffleKnown > 0;
}

// AVX2, and a system that keeps the 256-bit registers (XCR0: SSE and AVX state).
bool ProcessorHasAvx2() {
  if (WideShuffleKnown == 0) {
    unsigned eax, ebx, ecx, edx, low = 0, high = 0;
    __cpuid(1, eax, ebx, ecx, edx);
    bool saved = (ecx & bit_OSXSAVE) != 0;
    if (saved) __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    bool avx2 = __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_AVX2) != 0;
    WideShuffleKnown = saved && (low & 6) == 6 && avx2 ? 1 : -1;
  }
  return WideShuffleKnown > 0;
}

// The vector operations each way needs, for one template of the pass.
struct Narrow {
  using Vector = __m128i;
  enum : int32_t { Width = 16 };
  __attribute__((target("ssse3"))) static Vector Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  __attribute__((target("ssse3"))) static Vector Table(const uint8_t* p) { return Load(p); }
  __attribute__((target("ssse3"))) static void Store(uint8_t* p, Vector v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }
  __attribute__((target("ssse3"))) static Vector Zero() { return _mm_setzero_si128(); }
  __attribute__((target("ssse3"))) static Vector Nibbles() { return _mm_set1_epi8(0x0F); }
  __attribute__((target("ssse3"))) static Vector And(Vector a, Vector b) {
    return _mm_and_si128(a, b);
  }
  __attribute__((target("ssse3"))) static Vector Xor(Vector a, Vector b) {
    return _mm_xor_si128(a, b);
  }
  __attribute__((target("ssse3"))) static Vector Down4(Vector a) { return _mm_srli_epi64(a, 4); }
  __attribute__((target("ssse3"))) static Vector Shuffle(Vector table, Vector index) {
    return _mm_shuffle_epi8(table, index);
  }
};

struct Wide {
  using Vector = __m256i;
  enum : int32_t { Width = 32 };
  __attribute__((target("avx2"))) static Vector Load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  __attribute__((target("avx2"))) static Vector Table(const uint8_t* p) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  __attribute__((target("avx2"))) static void Store(uint8_t* p, Vector v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
  }
  __attribute__((target("avx2"))) static Vector Zero() { return _mm256_setzero_si256(); }
  __attribute__((target("avx2"))) static Vector Nibbles() { return _mm256_set1_epi8(0x0F); }
  __attribute__((target("avx2"))) static Vector And(Vector a, Vector b) {
    return _mm256_and_si256(a, b);
  }
  __attribute__((target("avx2"))) static Vector Xor(Vector a, Vector b) {
    return _mm256_xor_si256(a, b);
  }
  __attribute__((target("avx2"))) static Vector Down4(Vector a) { return _mm256_srli_epi64(a, 4); }
  __attribute__((target("avx2"))) static Vector Shuffle(Vector table, Vector index) {
    return _mm256_shuffle_epi8(table, index);
  }
};

// Every vector below lives inside NarrowBatch or WideBatch, which carry the instruction set as
// their target: the operations and the pass are inlined there, so no vector crosses a call of
// another ABI (which GCC would warn about where the build's baseline has no SSE: the stub's).
#pragma GCC diagnostic ignored "-Wpsabi"

// Count (1 to RowBatch) outputs, each from its own k tables, over [0, end) in steps of Step; the
// count is fixed at compile time, so that every sum stays in a register.
template <typename Way, int32_t Count>
__attribute__((always_inline)) static inline void EncodeBatch(size_t end, int32_t k,
                                                              const uint8_t* tables,
                                                              const uint8_t* const* sources,
                                                              uint8_t* const* outputs) {
  using Vector = typename Way::Vector;
  enum : int32_t { Vectors = Step / Way::Width };
  const Vector nibble = Way::Nibbles();
  const size_t rowTables = static_cast<size_t>(k) * GfTableBytes;
  for (size_t i = 0; i < end; i += Step) {
    Vector sum[Count][Vectors];
    for (int32_t r = 0; r < Count; r++)
      for (int32_t v = 0; v < Vectors; v++) sum[r][v] = Way::Zero();
    for (int32_t j = 0; j < k; j++) {
      Vector low[Vectors], high[Vectors];
      for (int32_t v = 0; v < Vectors; v++) {
        Vector x = Way::Load(sources[j] + i + v * Way::Width);
        low[v] = Way::And(x, nibble);
        high[v] = Way::And(Way::Down4(x), nibble);
      }
      const uint8_t* table = tables + j * GfTableBytes;
      for (int32_t r = 0; r < Count; r++, table += rowTables) {
        Vector lows = Way::Table(table), highs = Way::Table(table + 16);
        for (int32_t v = 0; v < Vectors; v++)
          sum[r][v] = Way::Xor(sum[r][v],
                               Way::Xor(Way::Shuffle(lows, low[v]), Way::Shuffle(highs, high[v])));
      }
    }
    for (int32_t r = 0; r < Count; r++)
      for (int32_t v = 0; v < Vectors; v++) Way::Store(outputs[r] + i + v * Way::Width, sum[r][v]);
  }
}

using BatchWay = void (*)(size_t, int32_t, const uint8_t*, const uint8_t* const*, uint8_t* const*);

template <int32_t Count>
__attribute__((target("ssse3"))) static void NarrowBatch(size_t end, int32_t k,
                                                         const uint8_t* tables,
                                                         const uint8_t* const* sources,
                                                         uint8_t* const* outputs) {
  EncodeBatch<Narrow, Count>(end, k, tables, sources, outputs);
}

template <int32_t Count>
__attribute__((target("avx2"))) static void WideBatch(size_t end, int32_t k, const uint8_t* tables,
                                                      const uint8_t* const* sources,
                                                      uint8_t* const* outputs) {
  EncodeBatch<Wide, Count>(end, k, tables, sources, outputs);
}

static const BatchWay NarrowBatches[RowBatch] = {NarrowBatch<1>, NarrowBatch<2>, NarrowBatch<3>,
                                                 NarrowBatch<4>};
static const BatchWay WideBatches[RowBatch] = {WideBatch<1>, WideBatch<2>, WideBatch<3>,
                                               WideBatch<4>};

static void EncodeInBatches(const BatchWay* batches, size_t length, int32_t k, int32_t rows,
                            const uint8_t* tables, const uint8_t* const* sources,
                            uint8_t* const* outputs) {
  size_t body = length - length % Step;
  for (int32_t r = 0; r < rows; r += RowBatch) {
    int32_t count = rows - r < RowBatch ? rows - r : RowBatch;
    batches[count - 1](body, k, tables + static_cast<size_t>(r) * k * GfTableBytes, sources,
                       outputs + r);
  }
  GfEncodeByTableFrom(body, length, k, rows, tables, sources, outputs);
}

void GfEncodeByShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                       const uint8_t* const* sources, uint8_t* const* outputs) {
  EncodeInBatches(NarrowBatches, length, k, rows, tables, sources, outputs);
}

void GfEncodeByWideShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                           const uint8_t* const* sources, uint8_t* const* outputs) {
  EncodeInBatches(WideBatches, length, k, rows, tables, sources, outputs);
}

void GfEncode(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
              const uint8_t* const* sources, uint8_t* const* outputs) {
  if (ProcessorHasAvx2())
    GfEncodeByWideShuffle(length, k, rows, tables, sources, outputs);
  else if (ProcessorHasSsse3())
    GfEncodeByShuffle(length, k, rows, tables, sources, outputs);
  else
    GfEncodeByTable(length, k, rows, tables, sources, outputs);
}
