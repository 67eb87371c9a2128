// The SSSE3 way of coding (pshufb over 16 bytes at a time), the tool's and the stub's: the stub
// compiles this file (not gf256_shuffle.cpp, whose AVX2 way it leaves out) for its rebuild of a
// piece, one output at a time.
#include <cpuid.h>

#include "recovery/gf256_batch.h"

static int8_t ShuffleKnown;  // 0 not yet asked, 1 present, -1 absent

bool ProcessorHasSsse3() {
  if (ShuffleKnown == 0) {
    unsigned eax, ebx, ecx, edx;
    __cpuid(1, eax, ebx, ecx, edx);
    ShuffleKnown = (ecx & bit_SSSE3) ? 1 : -1;
  }
  return ShuffleKnown > 0;
}

// Unaligned loads and stores only: a 32-bit Windows thread's stack is 4-byte aligned, and the
// stub's callers give any byte. What a batch spills, GCC keeps in a frame it realigns itself.
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

template <int32_t Count>
__attribute__((target("ssse3"))) static void NarrowBatch(size_t end, int32_t k,
                                                         const uint8_t* tables,
                                                         const uint8_t* const* sources,
                                                         uint8_t* const* outputs) {
  EncodeBatch<Narrow, Count>(end, k, tables, sources, outputs);
}

static const BatchWay NarrowBatches[RowBatch] = {NarrowBatch<1>, NarrowBatch<2>, NarrowBatch<3>,
                                                 NarrowBatch<4>};

void GfEncodeByShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                       const uint8_t* const* sources, uint8_t* const* outputs) {
  EncodeInBatches(NarrowBatches, length, k, rows, tables, sources, outputs);
}

// A batch of one alone, so that the stub carries no code for more outputs.
void GfEncodeRowByShuffle(size_t length, int32_t k, const uint8_t* tables,
                          const uint8_t* const* sources, uint8_t* output) {
  size_t body = length - length % Step;
  NarrowBatch<1>(body, k, tables, sources, &output);
  GfEncodeByTableFrom(body, length, k, 1, tables, sources, &output);
}

void GfEncodeRow(size_t length, int32_t k, const uint8_t* tables, const uint8_t* const* sources,
                 uint8_t* output) {
  if (ProcessorHasSsse3())
    GfEncodeRowByShuffle(length, k, tables, sources, output);
  else
    GfEncodeByTable(length, k, 1, tables, sources, &output);
}
