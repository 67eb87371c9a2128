// The coding backend of the Linux tool: ISA-L.
#include <isa-l.h>

#include "recovery/recovery_coding.h"

void GenerateCauchy(uint8_t* matrix, int32_t total, int32_t k) {
  gf_gen_cauchy1_matrix(matrix, total, k);
}

bool InvertMatrix(uint8_t* in, uint8_t* out, int32_t n) {
  return gf_invert_matrix(in, out, n) == 0;
}

void MakeCodingTables(int32_t k, int32_t rows, const uint8_t* coefficients, uint8_t* tables) {
  ec_init_tables(k, rows, const_cast<uint8_t*>(coefficients), tables);
}

void CodeStripe(int32_t length, int32_t k, int32_t rows, const uint8_t* tables, uint8_t** sources,
                uint8_t** outputs) {
  ec_encode_data(length, k, rows, const_cast<uint8_t*>(tables), sources, outputs);
}
