// The page's SIMD module against plain reference code: the CRC-32C at every length and offset
// around its stretches' bounds, and the GF(2^8) coding with every batch of rows and a tail.
//   node simd_kernels_test.mjs PAGE_SIMD_WASM
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import test from 'node:test';

const memory = new WebAssembly.Memory({initial: 64});
const {instance} = await WebAssembly.instantiate(fs.readFileSync(process.argv[2]), {env: {memory}});
const simd = instance.exports;
const bytes = new Uint8Array(memory.buffer);
const Data = 1 << 20, Size = 2 << 20;
bytes.set(crypto.randomBytes(Size), Data);

const table = Array.from({length: 256}, (_, i) => {
  for (let bit = 0; bit < 8; bit++) i = (i >>> 1) ^ (0x82F63B78 & -(i & 1));
  return i >>> 0;
});
function crc32c(crc, at, count) {
  crc = ~crc;
  for (let i = 0; i < count; i++) crc = (crc >>> 8) ^ table[(crc ^ bytes[at + i]) & 255];
  return ~crc >>> 0;
}

test('CRC-32C at the bounds of its stretches', () => {
  const lengths = [0, 1, 15, 16, 255, 256, 257, 4095, 65535, 65536, 65536 + 4096 + 17, Size - 3];
  for (const length of lengths) {
    for (const offset of [0, 1, 3]) {
      assert.equal(simd.crc32c(0x1234abcd, Data + offset, length) >>> 0, crc32c(0x1234abcd, Data + offset, length),
                   `${length} bytes at offset ${offset}`);
    }
  }
});

function gfMultiply(a, b) {
  let product = 0;
  for (; b; b >>= 1, a = a & 0x80 ? ((a << 1) ^ 0x11D) & 255 : a << 1) if (b & 1) product ^= a;
  return product;
}

test('GF(2^8) coding, one to five rows, with a tail', () => {
  const k = 3, length = 200, Tables = 4096, Pointers = 8192, Out = 16384;
  const coefficients = Array.from({length: 5 * k}, () => crypto.randomInt(256));
  coefficients.forEach((c, e) => {
    for (let x = 0; x < 16; x++) {
      bytes[Tables + 32 * e + x] = gfMultiply(c, x);
      bytes[Tables + 32 * e + 16 + x] = gfMultiply(c, x << 4);
    }
  });
  const pointers = new Uint32Array(memory.buffer, Pointers, k + 5);
  for (let j = 0; j < k; j++) pointers[j] = Data + j * length;
  for (let rows = 1; rows <= 5; rows++) {
    for (let r = 0; r < rows; r++) pointers[k + r] = Out + r * length;
    simd.gf_encode(length, k, rows, Tables, Pointers, Pointers + 4 * k);
    for (let r = 0; r < rows; r++) {
      for (let i = 0; i < length; i++) {
        let sum = 0;
        for (let j = 0; j < k; j++) sum ^= gfMultiply(coefficients[r * k + j], bytes[Data + j * length + i]);
        assert.equal(bytes[Out + r * length + i], sum, `${rows} rows: row ${r}, byte ${i}`);
      }
    }
  }
});
