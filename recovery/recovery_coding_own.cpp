// The coding backend of the builds without ISA-L (the Windows tool): our own code
// (recovery/gf256.h), SSSE3 where the processor has it.
#include "recovery/gf256.h"
#include "recovery/recovery_coding.h"

void GenerateCauchy(uint8_t* matrix, int32_t total, int32_t k) { GfCauchyMatrix(matrix, total, k); }

bool InvertMatrix(uint8_t* in, uint8_t* out, int32_t n) { return GfInvertMatrix(in, out, n); }

void MakeCodingTables(int32_t k, int32_t rows, const uint8_t* coefficients, uint8_t* tables) {
  GfMakeTables(k, rows, coefficients, tables);
  // The processor asked once here, on the caller's thread, before two lanes code at once.
  ProcessorHasSsse3();
  ProcessorHasAvx2();
}

void CodeStripe(int32_t length, int32_t k, int32_t rows, const uint8_t* tables, uint8_t** sources,
                uint8_t** outputs) {
  GfEncode(static_cast<size_t>(length), k, rows, tables, sources, outputs);
}
