// The pass that the shuffle ways of coding share (gf256_ssse3.cpp, gf256_shuffle.cpp): pshufb
// looks up 16 products at once in a coefficient's two tables (low nibbles, high nibbles). Each
// pass takes a Step of every source and makes up to RowBatch outputs from it, so a source is read
// once per batch, not once per output. The tail is left to the table way.
#pragma once

#include <immintrin.h>

#include "recovery/gf256.h"

// Every vector lives inside a batch function that carries the instruction set as its target: the
// operations and the pass are inlined there, so no vector crosses a call of another ABI (which GCC
// would warn about where the build's baseline has no SSE: the stub's).
#pragma GCC diagnostic ignored "-Wpsabi"

enum : int32_t { RowBatch = 4, Step = 64 };

// The loops over the rows of a batch and the vectors of a step are spelt out whole, even where the
// build asks for the smallest code (the stub's -Oz): left as loops, every sum would live in memory.
#define Unrolled _Pragma("GCC unroll 4")

// Count (1 to RowBatch) outputs, each from its own k tables, over [0, end) in steps of Step; the
// count is fixed at compile time, so that every sum stays in a register. Way holds the vector
// operations of one instruction set.
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
    Unrolled for (int32_t r = 0; r < Count; r++)
      Unrolled for (int32_t v = 0; v < Vectors; v++) sum[r][v] = Way::Zero();
    for (int32_t j = 0; j < k; j++) {
      Vector low[Vectors], high[Vectors];
      Unrolled for (int32_t v = 0; v < Vectors; v++) {
        Vector x = Way::Load(sources[j] + i + v * Way::Width);
        low[v] = Way::And(x, nibble);
        high[v] = Way::And(Way::Down4(x), nibble);
      }
      const uint8_t* table = tables + j * GfTableBytes;
      Unrolled for (int32_t r = 0; r < Count; r++, table += rowTables) {
        Vector lows = Way::Table(table), highs = Way::Table(table + 16);
        Unrolled for (int32_t v = 0; v < Vectors; v++)
          sum[r][v] = Way::Xor(sum[r][v],
                               Way::Xor(Way::Shuffle(lows, low[v]), Way::Shuffle(highs, high[v])));
      }
    }
    Unrolled for (int32_t r = 0; r < Count; r++)
      Unrolled for (int32_t v = 0; v < Vectors; v++)
        Way::Store(outputs[r] + i + v * Way::Width, sum[r][v]);
  }
}

using BatchWay = void (*)(size_t, int32_t, const uint8_t*, const uint8_t* const*, uint8_t* const*);

// Every output in batches of up to RowBatch (batches[count - 1] makes count of them), the tail of
// each by the table way.
static inline void EncodeInBatches(const BatchWay* batches, size_t length, int32_t k, int32_t rows,
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
