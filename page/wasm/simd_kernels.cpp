// The page's hot loops with WebAssembly SIMD, a module of their own: a browser without SIMD
// refuses a module that holds one such instruction, so the page's main module keeps its table
// ways and takes these only where this module compiles. Both modules share one memory.
//
// CRC-32C: sixteen stretches of a buffer run side by side, one in each byte lane. Each step
// takes one byte of every stretch: the register's low byte and the data byte give the index of
// the byte table, and since that table is linear over GF(2) its entry is the sum of the entries
// of the index's two nibbles, which i8x16.swizzle looks up in tables of 16 bytes (one per nibble
// and byte of the entry). The stretches are read 16 bytes at a time and transposed, so that each
// vector holds one byte of every stretch; their CRCs are joined at the end.
//
// GF(2^8): the shuffle way of recovery/gf256_shuffle.cpp, with i8x16.swizzle for pshufb.
//
// The module shares the core's memory but owns none of it: no data, no statics, no stack (every
// table is a constant in the code, every vector a local); build_page.py refuses a build that has
// any, which would write over the core's.
#include <stddef.h>
#include <stdint.h>
#include <wasm_simd128.h>

#define EXPORT(name) extern "C" __attribute__((export_name(name)))

namespace {

const uint32_t Castagnoli = 0x82F63B78u;  // the polynomial, bit-reversed

enum : uint32_t { GfTableBytes = 32, RowBatch = 4, Step = 64 };

constexpr uint32_t TimesX(uint32_t b) { return (b >> 1) ^ (Castagnoli & (0 - (b & 1))); }

// a(x) * b(x) modulo the polynomial, bit-reversed (the top bit is x^0).
constexpr uint32_t MultiplyModulo(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = TimesX(b);
  }
  return product;
}

// x^(8 * bytes) modulo the polynomial, by squaring.
constexpr uint32_t ShiftByBytes(uint32_t bytes) {
  uint32_t result = 0x80000000u, square = 0x00800000u;
  for (; bytes != 0; bytes >>= 1) {
    if (bytes & 1) result = MultiplyModulo(result, square);
    square = MultiplyModulo(square, square);
  }
  return result;
}

// The CRC table's entry for byte value i.
constexpr uint32_t Entry(uint32_t i) {
  for (int bit = 0; bit < 8; bit++) i = TimesX(i);
  return i;
}

// Byte K of the entry of value i.
template <int K>
constexpr uint8_t EntryByte(uint32_t i) {
  return static_cast<uint8_t>(Entry(i) >> 8 * K);
}

// Byte K of the entries of the low nibbles 0 to 15 (High: of the high nibbles), as a constant.
template <int K, bool High>
inline v128_t NibbleTable() {
  constexpr int s = High ? 4 : 0;
  return wasm_u8x16_make(EntryByte<K>(0u << s), EntryByte<K>(1u << s), EntryByte<K>(2u << s),
                         EntryByte<K>(3u << s), EntryByte<K>(4u << s), EntryByte<K>(5u << s),
                         EntryByte<K>(6u << s), EntryByte<K>(7u << s), EntryByte<K>(8u << s),
                         EntryByte<K>(9u << s), EntryByte<K>(10u << s), EntryByte<K>(11u << s),
                         EntryByte<K>(12u << s), EntryByte<K>(13u << s), EntryByte<K>(14u << s),
                         EntryByte<K>(15u << s));
}

// A bit at a time: the few bytes after the last whole vectors.
uint32_t ByBits(uint32_t crc, const uint8_t* p, size_t count) {
  crc = ~crc;
  for (; count > 0; count--) {
    crc ^= *p++;
    for (int bit = 0; bit < 8; bit++) crc = TimesX(crc);
  }
  return ~crc;
}

// The 16 x 16 bytes of v transposed: byte b of v[j] goes to byte j of v[b].
__attribute__((always_inline)) inline void Transpose(v128_t v[16]) {
  v128_t t[16];
  _Pragma("unroll") for (int i = 0; i < 8; i++) {
    t[2 * i] = wasm_i8x16_shuffle(v[2 * i], v[2 * i + 1], 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21,
                                  6, 22, 7, 23);
    t[2 * i + 1] = wasm_i8x16_shuffle(v[2 * i], v[2 * i + 1], 8, 24, 9, 25, 10, 26, 11, 27, 12, 28,
                                      13, 29, 14, 30, 15, 31);
  }
  // t[2i] holds bytes 0-7 of rows 2i, 2i+1 interleaved; t[2i+1] bytes 8-15.
  _Pragma("unroll") for (int i = 0; i < 4; i++) _Pragma("unroll") for (int h = 0; h < 2; h++) {
    v128_t a = t[4 * i + h], b = t[4 * i + 2 + h];
    v[4 * i + 2 * h] = wasm_i16x8_shuffle(a, b, 0, 8, 1, 9, 2, 10, 3, 11);
    v[4 * i + 2 * h + 1] = wasm_i16x8_shuffle(a, b, 4, 12, 5, 13, 6, 14, 7, 15);
  }
  _Pragma("unroll") for (int i = 0; i < 2; i++) _Pragma("unroll") for (int h = 0; h < 4; h++) {
    v128_t a = v[8 * i + h], b = v[8 * i + 4 + h];
    t[8 * i + 2 * h] = wasm_i32x4_shuffle(a, b, 0, 4, 1, 5);
    t[8 * i + 2 * h + 1] = wasm_i32x4_shuffle(a, b, 2, 6, 3, 7);
  }
  _Pragma("unroll") for (int h = 0; h < 8; h++) {
    v128_t a = t[h], b = t[8 + h];
    v[2 * h] = wasm_i64x2_shuffle(a, b, 0, 2);
    v[2 * h + 1] = wasm_i64x2_shuffle(a, b, 1, 3);
  }
}

// Lane J's 32-bit register from the four vectors of its bytes.
template <int J>
inline uint32_t Lane(const v128_t r[4]) {
  return wasm_u8x16_extract_lane(r[0], J) | wasm_u8x16_extract_lane(r[1], J) << 8 |
         wasm_u8x16_extract_lane(r[2], J) << 16 |
         static_cast<uint32_t>(wasm_u8x16_extract_lane(r[3], J)) << 24;
}

// CRCs of streams one after the other: the first moved past the second, added to it.
template <int J>
inline uint32_t JoinLanes(uint32_t joined, const v128_t r[4], uint32_t shift) {
  uint32_t crc = ~Lane<J>(r);
  if (J > 0) crc ^= MultiplyModulo(shift, joined);
  return J == 15 ? crc : JoinLanes < J < 15 ? J + 1 : 15 > (crc, r, shift);
}

// The CRCs of 16 stretches of length bytes (a multiple of 16) from p, one after the other: crc
// continued over the first, the others from 0, joined into one.
uint32_t SixteenStretches(uint32_t crc, const uint8_t* p, size_t length, uint32_t shift) {
  const v128_t low[4] = {NibbleTable<0, false>(), NibbleTable<1, false>(), NibbleTable<2, false>(),
                         NibbleTable<3, false>()};
  const v128_t high[4] = {NibbleTable<0, true>(), NibbleTable<1, true>(), NibbleTable<2, true>(),
                          NibbleTable<3, true>()};
  const v128_t nibble = wasm_i8x16_splat(0x0F);
  // Byte k of each stretch's register; all ones but the first's, which continues crc.
  uint32_t first = ~crc;
  v128_t r[4] = {
      wasm_i8x16_replace_lane(wasm_i8x16_splat(-1), 0, static_cast<int8_t>(first)),
      wasm_i8x16_replace_lane(wasm_i8x16_splat(-1), 0, static_cast<int8_t>(first >> 8)),
      wasm_i8x16_replace_lane(wasm_i8x16_splat(-1), 0, static_cast<int8_t>(first >> 16)),
      wasm_i8x16_replace_lane(wasm_i8x16_splat(-1), 0, static_cast<int8_t>(first >> 24))};
  for (size_t at = 0; at < length; at += 16) {
    v128_t v[16];
    _Pragma("unroll") for (int j = 0; j < 16; j++) v[j] = wasm_v128_load(p + j * length + at);
    Transpose(v);
    _Pragma("unroll") for (int b = 0; b < 16; b++) {
      v128_t x = wasm_v128_xor(r[0], v[b]);
      v128_t lo = wasm_v128_and(x, nibble), hi = wasm_u8x16_shr(x, 4);
      r[0] = wasm_v128_xor(
          r[1], wasm_v128_xor(wasm_i8x16_swizzle(low[0], lo), wasm_i8x16_swizzle(high[0], hi)));
      r[1] = wasm_v128_xor(
          r[2], wasm_v128_xor(wasm_i8x16_swizzle(low[1], lo), wasm_i8x16_swizzle(high[1], hi)));
      r[2] = wasm_v128_xor(
          r[3], wasm_v128_xor(wasm_i8x16_swizzle(low[2], lo), wasm_i8x16_swizzle(high[2], hi)));
      r[3] = wasm_v128_xor(wasm_i8x16_swizzle(low[3], lo), wasm_i8x16_swizzle(high[3], hi));
    }
  }
  return JoinLanes<0>(0, r, shift);
}

}  // namespace

EXPORT("crc32c") uint32_t Crc32c(uint32_t crc, const uint8_t* p, size_t count) {
  enum : size_t { Stretch = 4096 };
  constexpr uint32_t stretchShift = ShiftByBytes(Stretch);
  for (; count >= 16 * Stretch; count -= 16 * Stretch, p += 16 * Stretch)
    crc = SixteenStretches(crc, p, Stretch, stretchShift);
  size_t length = count / 256 * 16;  // what is left in 16 stretches of whole vectors
  if (length > 0) {
    crc = SixteenStretches(crc, p, length, ShiftByBytes(static_cast<uint32_t>(length)));
    p += 16 * length, count -= 16 * length;
  }
  return ByBits(crc, p, count);
}

// outputs[r][i] = the sum over j of coefficient (r, j) times sources[j][i], for i < length,
// as GfEncode does; the tables are laid out as GfMakeTables lays them.
namespace {

template <int Count>
void EncodeBatch(size_t end, uint32_t k, const uint8_t* tables, const uint8_t* const* sources,
                 uint8_t* const* outputs) {
  enum { Vectors = Step / 16 };
  const v128_t nibble = wasm_i8x16_splat(0x0F);
  const size_t rowTables = static_cast<size_t>(k) * GfTableBytes;
  for (size_t i = 0; i < end; i += Step) {
    v128_t sum[Count][Vectors];
    for (int r = 0; r < Count; r++)
      for (int v = 0; v < Vectors; v++) sum[r][v] = wasm_i64x2_splat(0);
    for (uint32_t j = 0; j < k; j++) {
      v128_t low[Vectors], high[Vectors];
      for (int v = 0; v < Vectors; v++) {
        v128_t x = wasm_v128_load(sources[j] + i + v * 16);
        low[v] = wasm_v128_and(x, nibble);
        high[v] = wasm_u8x16_shr(x, 4);
      }
      const uint8_t* table = tables + j * GfTableBytes;
      for (int r = 0; r < Count; r++, table += rowTables) {
        v128_t lows = wasm_v128_load(table), highs = wasm_v128_load(table + 16);
        for (int v = 0; v < Vectors; v++)
          sum[r][v] = wasm_v128_xor(sum[r][v], wasm_v128_xor(wasm_i8x16_swizzle(lows, low[v]),
                                                             wasm_i8x16_swizzle(highs, high[v])));
      }
    }
    for (int r = 0; r < Count; r++)
      for (int v = 0; v < Vectors; v++) wasm_v128_store(outputs[r] + i + v * 16, sum[r][v]);
  }
}

void EncodeTail(size_t from, size_t length, uint32_t k, uint32_t rows, const uint8_t* tables,
                const uint8_t* const* sources, uint8_t* const* outputs) {
  for (uint32_t r = 0; r < rows; r++) {
    uint8_t* out = outputs[r];
    for (size_t i = from; i < length; i++) out[i] = 0;
    for (uint32_t j = 0; j < k; j++, tables += GfTableBytes) {
      const uint8_t* in = sources[j];
      for (size_t i = from; i < length; i++)
        out[i] ^= tables[in[i] & 15] ^ tables[16 + (in[i] >> 4)];
    }
  }
}

}  // namespace

EXPORT("gf_encode")
void GfEncodeSimd(size_t length, uint32_t k, uint32_t rows, const uint8_t* tables,
                  const uint8_t* const* sources, uint8_t* const* outputs) {
  size_t body = length - length % Step;
  for (uint32_t r = 0; r < rows; r += RowBatch) {
    uint32_t count = rows - r < RowBatch ? rows - r : RowBatch;
    const uint8_t* batch = tables + static_cast<size_t>(r) * k * GfTableBytes;
    switch (count) {
      case 1: EncodeBatch<1>(body, k, batch, sources, outputs + r); break;
      case 2: EncodeBatch<2>(body, k, batch, sources, outputs + r); break;
      case 3: EncodeBatch<3>(body, k, batch, sources, outputs + r); break;
      default: EncodeBatch<4>(body, k, batch, sources, outputs + r); break;
    }
  }
  EncodeTail(body, length, k, rows, tables, sources, outputs);
}
