#include "tools/bench_digest_candidates.h"

// XXH32: four lanes over 16-byte stripes, the rest folded in at the end.
static const uint32_t Prime1 = 0x9E3779B1u;
static const uint32_t Prime2 = 0x85EBCA77u;
static const uint32_t Prime3 = 0xC2B2AE3Du;
static const uint32_t Prime4 = 0x27D4EB2Fu;
static const uint32_t Prime5 = 0x165667B1u;

static uint32_t RotateLeft(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

static uint32_t LittleEndian32(const uint8_t* p) {
  return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

static void AddStripe(uint32_t lanes[4], const uint8_t* stripe) {
  for (int i = 0; i < 4; i++) lanes[i] = RotateLeft(lanes[i] + LittleEndian32(stripe + 4 * i) * Prime2, 13) * Prime1;
}

void Xxh32Begin(Xxh32State* state) {
  *state = Xxh32State{};
  state->Lanes[0] = Prime1 + Prime2;
  state->Lanes[1] = Prime2;
  state->Lanes[3] = 0 - Prime1;
}

void Xxh32Add(Xxh32State* state, const void* bytes, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  state->Length += count;
  while (count > 0) {
    if (state->PendingCount == 0 && count >= 16) {
      AddStripe(state->Lanes, p);
      p += 16;
      count -= 16;
      continue;
    }
    state->Pending[state->PendingCount++] = *p++;
    count--;
    if (state->PendingCount == 16) {
      AddStripe(state->Lanes, state->Pending);
      state->PendingCount = 0;
    }
  }
}

uint32_t Xxh32End(const Xxh32State* state) {
  const uint32_t* v = state->Lanes;
  uint32_t digest = state->Length >= 16
                        ? RotateLeft(v[0], 1) + RotateLeft(v[1], 7) + RotateLeft(v[2], 12) + RotateLeft(v[3], 18)
                        : Prime5;
  digest += static_cast<uint32_t>(state->Length);
  const uint8_t* p = state->Pending;
  uint32_t left = state->PendingCount;
  for (; left >= 4; left -= 4, p += 4) digest = RotateLeft(digest + LittleEndian32(p) * Prime3, 17) * Prime4;
  for (; left > 0; left--, p++) digest = RotateLeft(digest + *p * Prime5, 11) * Prime1;
  digest ^= digest >> 15;
  digest *= Prime2;
  digest ^= digest >> 13;
  digest *= Prime3;
  digest ^= digest >> 16;
  return digest;
}

// CRC-32C, bit-reversed polynomial.
static const uint32_t Castagnoli = 0x82F63B78u;
static uint32_t Tables[8][256];

static void MakeTables() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; bit++) crc = (crc >> 1) ^ (Castagnoli & (0 - (crc & 1)));
    Tables[0][i] = crc;
  }
  for (int t = 1; t < 8; t++)
    for (int i = 0; i < 256; i++) Tables[t][i] = (Tables[t - 1][i] >> 8) ^ Tables[0][Tables[t - 1][i] & 0xFF];
}

uint32_t Crc32cBySlices(uint32_t crc, const void* bytes, size_t count) {
  if (Tables[0][1] == 0) MakeTables();
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  crc = ~crc;
  for (; count >= 8; count -= 8, p += 8) {
    uint32_t low = crc ^ LittleEndian32(p);
    uint32_t high = LittleEndian32(p + 4);
    crc = Tables[7][low & 0xFF] ^ Tables[6][(low >> 8) & 0xFF] ^ Tables[5][(low >> 16) & 0xFF] ^ Tables[4][low >> 24] ^
          Tables[3][high & 0xFF] ^ Tables[2][(high >> 8) & 0xFF] ^ Tables[1][(high >> 16) & 0xFF] ^
          Tables[0][high >> 24];
  }
  for (; count > 0; count--) crc = (crc >> 8) ^ Tables[0][(crc ^ *p++) & 0xFF];
  return ~crc;
}

// Each step waits for the one before: three cycles per four bytes.
__attribute__((target("sse4.2"))) uint32_t Crc32cByOneStream(uint32_t crc, const void* bytes, size_t count) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  crc = ~crc;
  for (; count >= 4; count -= 4, p += 4) crc = __builtin_ia32_crc32si(crc, LittleEndian32(p));
  for (; count > 0; count--) crc = __builtin_ia32_crc32qi(crc, *p++);
  return ~crc;
}
