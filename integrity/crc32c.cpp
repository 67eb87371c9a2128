// Our own CRC-32C: the table and the instruction ways, and the join of two CRCs. The
// instruction's way is x86's alone; the page's WebAssembly build takes the table and the join.
#include "integrity/crc32c.h"

#if defined(__i386__) || defined(__x86_64__)
#define TARNOVELL_X86 1
#include <cpuid.h>
#endif

static const uint32_t Castagnoli = 0x82F63B78u;  // the polynomial, bit-reversed

// Three streams of ChunkSize bytes run side by side through the instruction (its result comes
// three cycles after its input, and one can start every cycle); their CRCs are then joined.
enum : uint32_t { ChunkSize = 4096 };

static uint32_t Table[256];  // the CRC of each byte value, made at first use

// b(x) * x modulo the polynomial, bit-reversed.
static uint32_t TimesX(uint32_t b) { return (b >> 1) ^ (Castagnoli & (0 - (b & 1))); }

// a(x) * b(x) modulo the polynomial, bit-reversed: the top bit is x^0. Not inlined: one copy is
// smaller and runs only once a chunk.
__attribute__((noinline)) static uint32_t MultiplyModulo(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = TimesX(b);
  }
  return product;
}

#ifdef TARNOVELL_X86
static uint32_t ChunkShift;  // x^(8 * ChunkSize) modulo the polynomial: moves a CRC past a chunk
static int8_t InstructionKnown;  // 0 not yet asked, 1 present, -1 absent

bool ProcessorHasCrc32c() {
  if (InstructionKnown == 0) {
    // Every processor that runs Windows answers leaf 1 of the identification instruction.
    unsigned eax, ebx, ecx, edx;
    __cpuid(1, eax, ebx, ecx, edx);
    InstructionKnown = (ecx & bit_SSE4_2) ? 1 : -1;
    ChunkShift = 0x80000000u;  // x^0, then multiplied by x once for every bit of a chunk
    for (uint32_t n = 0; n < 8 * ChunkSize; n++) ChunkShift = TimesX(ChunkShift);
  }
  return InstructionKnown > 0;
}
#endif

uint32_t Crc32cAddByTable(uint32_t crc, const void* bytes, size_t count) {
  if (Table[1] == 0) {  // the CRC of the byte 1 is never 0
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t entry = i;
      for (int bit = 0; bit < 8; bit++) entry = TimesX(entry);
      Table[i] = entry;
    }
  }
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  crc = ~crc;
  for (; count > 0; count--) crc = (crc >> 8) ^ Table[(crc ^ *p++) & 0xFF];
  return ~crc;
}

#ifdef TARNOVELL_X86
// Four bytes from anywhere, as one load.
static inline uint32_t Word(const uint8_t* p) {
  uint32_t word;
  __builtin_memcpy(&word, p, sizeof word);
  return word;
}

__attribute__((target("sse4.2"))) uint32_t Crc32cAddByInstruction(uint32_t crc, const void* bytes,
                                                                  size_t count) {
  ProcessorHasCrc32c();  // makes the chunk shift
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  crc = ~crc;
  // The register after chunks A, B, C is ((register after A) * s + (register of B from 0)) * s +
  // (register of C from 0), s moving a register past one chunk.
  for (; count >= 3 * ChunkSize; count -= 3 * ChunkSize, p += 3 * ChunkSize) {
    uint32_t b = 0, c = 0;
    for (uint32_t i = 0; i < ChunkSize; i += 4) {
      crc = __builtin_ia32_crc32si(crc, Word(p + i));
      b = __builtin_ia32_crc32si(b, Word(p + ChunkSize + i));
      c = __builtin_ia32_crc32si(c, Word(p + 2 * ChunkSize + i));
    }
    crc = MultiplyModulo(MultiplyModulo(crc, ChunkShift) ^ b, ChunkShift) ^ c;
  }
  for (; count >= 4; count -= 4, p += 4) crc = __builtin_ia32_crc32si(crc, Word(p));
  for (; count > 0; count--) crc = __builtin_ia32_crc32qi(crc, *p++);
  return ~crc;
}
#endif

// x^(8 * bytes) modulo the polynomial, by squaring.
static uint32_t ShiftByBytes(int64_t bytes) {
  uint32_t result = 0x80000000u, square = 0x00800000u;  // x^0, and x^8
  for (uint64_t left = static_cast<uint64_t>(bytes); left != 0; left >>= 1) {
    if (left & 1) result = MultiplyModulo(result, square);
    square = MultiplyModulo(square, square);
  }
  return result;
}

// The inversions at both ends cancel out: the first CRC moved past the second stream's bytes,
// added to the second's.
uint32_t Crc32cJoin(uint32_t first, uint32_t second, int64_t secondLength) {
  return MultiplyModulo(ShiftByBytes(secondLength), first) ^ second;
}
