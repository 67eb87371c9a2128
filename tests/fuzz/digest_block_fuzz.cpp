// Fuzzes the digest block reader; the input's first byte chooses how.
// - Even: the rest is a header as it is (cut or padded with zeros to 2048 bytes). Whatever the
//   reader takes must be a block the writer could have written, and must hold together for every
//   question a join asks of it.
// - Odd: a valid block is made from the numbers that follow and must read back as written. Then,
//   when the first byte is 1 modulo 4, one or two bits of the header that the next bytes name are
//   flipped, and the reader must refuse it; when it is 3 modulo 4, fields of the block are changed
//   as the next bytes say and sealed with a correct self-check, and what the reader then takes
//   must hold together.
#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "integrity/crc64.h"
#include "container/digest_block.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

[[noreturn]] void Fail(const char* what) { FuzzFail("digest block", what); }

using Reader = FuzzReader;

void CheckTextsAndSizes(const uint8_t* header, const DigestBlock& b) {
  for (int record = 1; record < 8; record++)
    if (header[record * 256] >= DigestBlockStart) Fail("a text reaches into the block");
  uint32_t n = b.Image.PieceCount, r = b.Image.RunLength;
  if (n < 1 || n > 0x7FFFFFFF || r < 1 || r > n) Fail("counts out of range");
  if (b.DigestCount != static_cast<int32_t>((n + r - 1) / r) || b.DigestCount > DigestCapacity)
    Fail("digest count");
  __int128 sum = b.Image.FirstPayload;
  if (n >= 2) {
    if (b.LastPayload < 1 || static_cast<uint64_t>(b.LastPayload) > b.Image.PieceSize)
      Fail("last piece out of range");
    sum += static_cast<__int128>(b.Image.PieceSize) * (n - 2) + b.LastPayload;
  }
  if (sum != b.TotalSize || b.TotalSize < 0) Fail("sizes do not add up to the total");
}

// Every question a join asks, for the pieces at the edges of the set and of the first runs.
void CheckQuestions(const DigestBlock& b) {
  int32_t n = static_cast<int32_t>(b.Image.PieceCount);
  if (ExpectedPayload(b, 0) != static_cast<int64_t>(b.Image.FirstPayload)) Fail("piece 0");
  for (int64_t wide : {int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{2}, int64_t{n} / 2,
                       int64_t{n} - 2, int64_t{n} - 1, int64_t{n}, int64_t{n} + 1}) {
    if (wide > INT32_MAX) continue;  // no piece number
    int32_t piece = static_cast<int32_t>(wide);
    int64_t expected = ExpectedPayload(b, piece);
    int32_t digest = DigestIndexOf(b, piece);
    if ((piece < 0 || piece >= n) != (expected < 0 || digest < 0))
      Fail("a piece outside the set, or inside it, misjudged");
    if (piece < 0 || piece >= n) {
      if (JudgePiece(b, piece, 0, 0) != PieceOutsideSet || StartsRun(b, piece) || EndsRun(b, piece))
        Fail("outside");
      continue;
    }
    int32_t first = RunFirstPiece(b, digest), last = RunLastPiece(b, digest);
    if (first > piece || last < piece || StartsRun(b, piece) != (piece == first) ||
        EndsRun(b, piece) != (piece == last))
      Fail("a piece is not within the run of its digest");
    if (JudgePiece(b, piece, expected, b.Image.Digests[digest]) != PieceGood)
      Fail("a right piece judged wrong");
    if (expected > 0 && JudgePiece(b, piece, expected - 1, 0) != PieceShort)
      Fail("a short piece not found short");
    if (EndsRun(b, piece) && JudgePiece(b, piece, expected, ~b.Image.Digests[digest]) == PieceGood)
      Fail("damage missed");
  }
}

void RawHeader(const uint8_t* data, size_t size) {
  uint8_t header[HeaderSize] = {};
  std::memcpy(header, data, size < sizeof header ? size : sizeof header);
  DigestBlock block;
  if (!ReadDigestBlock(header, &block)) {
    for (size_t i = 0; i < sizeof block; i++)
      if (reinterpret_cast<const uint8_t*>(&block)[i] != 0)
        Fail("a refused header left a block behind");
    return;
  }
  CheckTextsAndSizes(header, block);
  CheckQuestions(block);
  // Written again from what was read, the block reads back the same.
  uint8_t again[HeaderSize];
  std::memcpy(again, header, sizeof again);
  DigestBlock rewritten = block, reread;
  if (!WriteDigestBlock(again, &rewritten) || !ReadDigestBlock(again, &reread))
    Fail("what was read cannot be written");
  if (std::memcmp(&reread, &block, offsetof(DigestBlock, Image.Digests)) != 0 ||
      reread.TotalSize != block.TotalSize || reread.LastPayload != block.LastPayload ||
      reread.DigestCount != block.DigestCount ||
      std::memcmp(reread.Image.Digests, block.Image.Digests, 4 * block.DigestCount) != 0)
    Fail("written again, the block reads back otherwise");
}

// A header with texts as the tool writes them: a name, the total, six time halves.
void PutTexts(uint8_t* header, Reader& in, int64_t total) {
  std::string texts[8];
  texts[0] = std::string(in.Take(1), 'n');
  texts[1] = std::to_string(total);
  for (int i = 2; i < 8; i++) texts[i] = std::to_string(static_cast<uint32_t>(in.Take(4)));
  std::memset(header, static_cast<int>(in.Take(1)), HeaderSize);  // filler of any kind
  for (int i = 0; i < 8; i++) {
    header[i * 256] = static_cast<uint8_t>(texts[i].size());
    std::memcpy(header + i * 256 + 1, texts[i].data(), texts[i].size());
  }
}

// Block offset to header byte: bytes 24-255 of records 2 to 8.
size_t HeaderByte(size_t offset) { return 256 * (1 + offset / 232) + 24 + offset % 232; }

// Up to three fields of the block (or length bytes of records 2 to 8) changed to what the input
// says, under a correct self-check again: whatever the reader takes must still hold together.
void ForgeFields(uint8_t* header, Reader& in) {
  static const struct {
    size_t offset;
    int size;
  } fields[] = {{8, 4}, {12, 4}, {16, 8}, {24, 8}, {32, 4}};
  for (int i = 0; i < 3; i++) {
    uint64_t which = in.Take(1) % 7, value = in.Take(8);
    if (which == 5) return;
    if (which == 6) {
      header[256 * (1 + value % 7)] = static_cast<uint8_t>(value >> 8);
      continue;
    }
    for (int b = 0; b < fields[which].size; b++, value >>= 8)
      header[HeaderByte(fields[which].offset + b)] = static_cast<uint8_t>(value);
  }
}

void Forged(uint8_t* header, Reader& in) {
  ForgeFields(header, in);
  uint64_t check = Crc64(header, HeaderSize - 8);
  std::memcpy(header + HeaderSize - 8, &check, 8);
  DigestBlock block;
  if (!ReadDigestBlock(header, &block)) return;
  CheckTextsAndSizes(header, block);
  CheckQuestions(block);
}

void ValidBlock(const uint8_t* data, size_t size, bool forge) {
  Reader in{data, size};
  uint32_t pieces = 1 + static_cast<uint32_t>(in.Take(4) % (in.Take(1) % 2 ? 0x7FFFFFFFu : 2000u));
  uint64_t first = in.Take(5), size_ = 1 + in.Take(5), last = 1 + in.Take(5) % size_;
  if (pieces == 1) last = 0;
  __int128 total = static_cast<__int128>(first) +
                   static_cast<__int128>(size_) * (pieces > 2 ? pieces - 2 : 0) + last;
  if (total > INT64_MAX) return;  // beyond what a header can hold
  DigestBlock plan = FuzzPlan(in, pieces, first, size_, 4);
  uint8_t header[HeaderSize];
  PutTexts(header, in, static_cast<int64_t>(total));
  DigestBlock written = plan, read;
  if (!WriteDigestBlock(header, &written)) Fail("a valid block was refused by the writer");
  if (!ReadDigestBlock(header, &read)) Fail("a written block was refused by the reader");
  if (read.Image.PieceCount != pieces || read.Image.FirstPayload != first ||
      read.Image.PieceSize != size_ || read.TotalSize != static_cast<int64_t>(total) ||
      read.DigestCount != written.DigestCount ||
      std::memcmp(read.Image.Digests, plan.Image.Digests, 4 * read.DigestCount) != 0)
    Fail("a written block read back otherwise");
  CheckQuestions(read);
  if (forge) return Forged(header, in);
  // One or two flipped bits anywhere in the header.
  uint32_t a = static_cast<uint32_t>(in.Take(2)) % (8 * HeaderSize);
  uint32_t b =
      static_cast<uint32_t>(in.Take(2)) % (8 * HeaderSize + 1);  // the last: no second flip
  header[a / 8] ^= static_cast<uint8_t>(1 << (a % 8));
  if (b < 8 * HeaderSize && b != a) header[b / 8] ^= static_cast<uint8_t>(1 << (b % 8));
  if (ReadDigestBlock(header, &read)) Fail("a header with flipped bits was taken");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0)
    RawHeader(data + 1, size - 1);
  else
    ValidBlock(data + 1, size - 1, data[0] % 4 == 3);
  return 0;
}
