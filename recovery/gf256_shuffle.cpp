// The AVX2 way of coding (vpshufb over 32 bytes, the tables in both halves), the tool's alone, and
// GfEncode, which picks the widest way the processor has. The SSSE3 way is gf256_ssse3.cpp's.
#include <cpuid.h>

#include "recovery/gf256_batch.h"

static int8_t WideShuffleKnown;  // 0 not yet asked, 1 present, -1 absent

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

template <int32_t Count>
__attribute__((target("avx2"))) static void WideBatch(size_t end, int32_t k, const uint8_t* tables,
                                                      const uint8_t* const* sources,
                                                      uint8_t* const* outputs) {
  EncodeBatch<Wide, Count>(end, k, tables, sources, outputs);
}

static const BatchWay WideBatches[RowBatch] = {WideBatch<1>, WideBatch<2>, WideBatch<3>,
                                               WideBatch<4>};

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
