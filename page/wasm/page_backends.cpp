// The CRC-32C and coding backends of the page's WebAssembly build: the SIMD module's loops
// (simd_kernels.cpp) where the browser compiled it, our own table ways otherwise.
#include "integrity/crc32c.h"
#include "page/wasm/page_imports.h"
#include "recovery/gf256.h"
#include "recovery/recovery_coding.h"

static bool Simd;

extern "C" PAGE_EXPORT("page_use_simd") void PageUseSimd(int32_t present) { Simd = present != 0; }

uint32_t Crc32cAdd(uint32_t crc, const void* bytes, size_t count) {
  return Simd ? SimdCrc32c(crc, bytes, count) : Crc32cAddByTable(crc, bytes, count);
}

void GenerateCauchy(uint8_t* matrix, int32_t total, int32_t k) { GfCauchyMatrix(matrix, total, k); }

bool InvertMatrix(uint8_t* in, uint8_t* out, int32_t n) { return GfInvertMatrix(in, out, n); }

void MakeCodingTables(int32_t k, int32_t rows, const uint8_t* coefficients, uint8_t* tables) {
  GfMakeTables(k, rows, coefficients, tables);
}

void CodeStripe(int32_t length, int32_t k, int32_t rows, const uint8_t* tables, uint8_t** sources,
                uint8_t** outputs) {
  if (Simd)
    SimdGfEncode(static_cast<size_t>(length), k, rows, tables, sources, outputs);
  else
    GfEncodeByTable(static_cast<size_t>(length), k, rows, tables, sources, outputs);
}
