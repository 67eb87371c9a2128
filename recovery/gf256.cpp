// Our own GF(2^8): the field by its logarithms, the matrices, and the table way of coding.
#include "recovery/gf256.h"

static const uint32_t Polynomial = 0x11D;

// Powers of 2 (a generator of the field), twice over so that a sum of two logarithms needs no
// reduction, and the logarithm of every non-zero byte; made at first use.
static uint8_t Power[2 * 255];
static uint8_t Logarithm[256];
static bool FieldMade;

static void MakeField() {
  if (FieldMade) return;
  uint32_t value = 1;
  for (int32_t e = 0; e < 255; e++) {
    Power[e] = Power[e + 255] = static_cast<uint8_t>(value);
    Logarithm[value] = static_cast<uint8_t>(e);
    value <<= 1;
    if (value & 0x100) value ^= Polynomial;
  }
  FieldMade = true;
}

uint8_t GfMultiply(uint8_t a, uint8_t b) {
  if (a == 0 || b == 0) return 0;
  MakeField();
  return Power[Logarithm[a] + Logarithm[b]];
}

uint8_t GfInverse(uint8_t a) {
  if (a == 0) return 0;
  MakeField();
  return Power[255 - Logarithm[a]];
}

void GfCauchyMatrix(uint8_t* matrix, int32_t total, int32_t k) {
  for (int32_t i = 0; i < total; i++)
    for (int32_t j = 0; j < k; j++)
      matrix[i * k + j] = i < k ? (i == j) : GfInverse(static_cast<uint8_t>(i ^ j));
}

// Row from of both matrices times factor, added to row to.
static void AddRow(uint8_t* in, uint8_t* out, int32_t n, int32_t from, int32_t to, uint8_t factor) {
  for (int32_t c = 0; c < n; c++) {
    in[to * n + c] ^= GfMultiply(factor, in[from * n + c]);
    out[to * n + c] ^= GfMultiply(factor, out[from * n + c]);
  }
}

static void ScaleRow(uint8_t* in, uint8_t* out, int32_t n, int32_t row, uint8_t factor) {
  for (int32_t c = 0; c < n; c++) {
    in[row * n + c] = GfMultiply(factor, in[row * n + c]);
    out[row * n + c] = GfMultiply(factor, out[row * n + c]);
  }
}

static void SwapRows(uint8_t* m, int32_t n, int32_t a, int32_t b) {
  for (int32_t c = 0; c < n; c++) {
    uint8_t t = m[a * n + c];
    m[a * n + c] = m[b * n + c];
    m[b * n + c] = t;
  }
}

// Gauss-Jordan: in is brought to the identity and out, from the identity, follows it.
bool GfInvertMatrix(uint8_t* in, uint8_t* out, int32_t n) {
  for (int32_t i = 0; i < n * n; i++) out[i] = (i / n == i % n);
  for (int32_t col = 0; col < n; col++) {
    int32_t pivot = col;
    while (pivot < n && in[pivot * n + col] == 0) pivot++;
    if (pivot == n) return false;
    if (pivot != col) {
      SwapRows(in, n, pivot, col);
      SwapRows(out, n, pivot, col);
    }
    ScaleRow(in, out, n, col, GfInverse(in[col * n + col]));
    for (int32_t row = 0; row < n; row++)
      if (row != col && in[row * n + col] != 0) AddRow(in, out, n, col, row, in[row * n + col]);
  }
  return true;
}

void GfMakeTables(int32_t k, int32_t rows, const uint8_t* coefficients, uint8_t* tables) {
  for (int32_t e = 0; e < k * rows; e++, tables += GfTableBytes)
    for (int32_t x = 0; x < 16; x++) {
      tables[x] = GfMultiply(coefficients[e], static_cast<uint8_t>(x));
      tables[16 + x] = GfMultiply(coefficients[e], static_cast<uint8_t>(x << 4));
    }
}

void GfEncodeByTable(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                     const uint8_t* const* sources, uint8_t* const* outputs) {
  GfEncodeByTableFrom(0, length, k, rows, tables, sources, outputs);
}

void GfEncodeByTableFrom(size_t from, size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                         const uint8_t* const* sources, uint8_t* const* outputs) {
  for (int32_t r = 0; r < rows; r++) {
    uint8_t* out = outputs[r];
    for (size_t i = from; i < length; i++) out[i] = 0;
    for (int32_t j = 0; j < k; j++, tables += GfTableBytes) {
      const uint8_t* in = sources[j];
      for (size_t i = from; i < length; i++)
        out[i] ^= tables[in[i] & 15] ^ tables[16 + (in[i] >> 4)];
    }
  }
}
