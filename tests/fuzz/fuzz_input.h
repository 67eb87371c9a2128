// What the fuzzers that make their cases from numbers share: a reader of the input, the stop at a
// broken rule (libFuzzer then keeps the input that broke it), and digest block plans.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <cstdlib>

#include "container/digest_block.h"

// Takes bytes from the input, little-endian; zeros once it runs out.
struct FuzzReader {
  const uint8_t* data;
  size_t size;
  uint64_t Take(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes && size > 0; i++, size--) value |= uint64_t{*data++} << (8 * i);
    return value;
  }
};

// Names the broken rule, after the fuzzer's name, and ends the run.
[[noreturn]] inline void FuzzFail(const char* fuzzer, const char* what) {
  std::fprintf(stderr, "%s: %s\n", fuzzer, what);
  std::abort();
}

// A block as split plans one for pieces pieces (first: the container's payload; size: each
// further piece's), with digests of digestBytes bytes of the input each.
inline DigestBlock FuzzPlan(FuzzReader& in, uint32_t pieces, uint64_t first, uint64_t size,
                            int digestBytes) {
  DigestBlock plan = {};
  plan.Image.PieceCount = pieces;
  plan.Image.RunLength = static_cast<uint32_t>(RunLengthFor(static_cast<int32_t>(pieces)));
  plan.Image.FirstPayload = first;
  plan.Image.PieceSize = size;
  for (int k = 0; k < DigestCapacity; k++)
    plan.Image.Digests[k] = static_cast<uint32_t>(in.Take(digestBytes));
  return plan;
}
