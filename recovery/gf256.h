// The Reed-Solomon arithmetic of the recovery files, our own: the field GF(2^8) with the
// polynomial x^8 + x^4 + x^3 + x^2 + 1 (0x11D), the generator of a group of k files (the identity,
// then Cauchy rows), the inverse of a matrix, and the coding of buffers. It gives byte for byte
// what ISA-L gives (gf_gen_cauchy1_matrix, gf_invert_matrix, ec_init_tables, ec_encode_data), and
// the coding tables are laid out as ISA-L's, so either can code with the other's.
//
// Freestanding, for the stub as well as the tool: plain functions over buffers the caller gives,
// no C library, no static constructors; the field's tables are made at first use.
// gf256.cpp holds the field, the matrices and the table way of coding (one lookup per nibble);
// gf256_ssse3.cpp the SSSE3 shuffle way (pshufb, 16 bytes at a time) and GfEncodeRow, the stub's
// one output at a time; gf256_shuffle.cpp the AVX2 way (32 bytes) and GfEncode, which picks.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum : int32_t {
  GfTableBytes = 32,  // per coefficient: its products with 0 to 15, then with 0x00 to 0xF0
};

uint8_t GfMultiply(uint8_t a, uint8_t b);
uint8_t GfInverse(uint8_t a);  // 0 has none: 0

// The (k + rows) x k generator, row by row: the identity, then element (i, j) of row i >= k is
// 1 / (i ^ j). total = k + rows, at most 256.
void GfCauchyMatrix(uint8_t* matrix, int32_t total, int32_t k);

// out = the inverse of the n x n matrix in (which is spoiled on the way). False when it has none.
bool GfInvertMatrix(uint8_t* in, uint8_t* out, int32_t n);

// The coding tables of a rows x k matrix of coefficients (row by row): GfTableBytes each, in the
// same order.
void GfMakeTables(int32_t k, int32_t rows, const uint8_t* coefficients, uint8_t* tables);

// outputs[r][i] = the sum over j of coefficient (r, j) times sources[j][i], for i < length.
void GfEncodeByTable(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                     const uint8_t* const* sources, uint8_t* const* outputs);
// The same over bytes from to length only.
void GfEncodeByTableFrom(size_t from, size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                         const uint8_t* const* sources, uint8_t* const* outputs);
bool ProcessorHasSsse3();
bool ProcessorHasAvx2();  // and a system that keeps its registers
void GfEncodeByShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                       const uint8_t* const* sources, uint8_t* const* outputs);  // SSSE3 only
void GfEncodeByWideShuffle(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                           const uint8_t* const* sources, uint8_t* const* outputs);  // AVX2 only
// The widest shuffle way the processor has (AVX2, SSSE3), the table way otherwise.
void GfEncode(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
              const uint8_t* const* sources, uint8_t* const* outputs);

// One output from k sources and k tables, as the stub rebuilds a piece: the SSSE3 shuffle where
// the processor has it (asked once), the table way otherwise. No AVX2: in a 32-bit program it
// would take the system's word that it keeps the 256-bit registers, and the code of a second way.
void GfEncodeRowByShuffle(size_t length, int32_t k, const uint8_t* tables,
                          const uint8_t* const* sources, uint8_t* output);  // SSSE3 only
void GfEncodeRow(size_t length, int32_t k, const uint8_t* tables, const uint8_t* const* sources,
                 uint8_t* output);
