#include "container/digest_block.h"

#include <stddef.h>

#include "base/byte_text.h"
#include "integrity/crc64.h"

enum : int32_t {
  FirstBlockRecord = 1,  // record 2
  RoomPerRecord = HeaderRecordSize - DigestBlockStart,
  SelfCheckOffset = DigestBlockSize - 8,
};
static_assert(offsetof(DigestBlockImage, Digests) == 36 &&
                  offsetof(DigestBlockImage, SelfCheck) == SelfCheckOffset,
              "the image has the block's layout");
static_assert(HeaderRecordSize * (HeaderRecordCount - 1) + DigestBlockStart +
                      SelfCheckOffset % RoomPerRecord ==
                  HeaderSize - 8,
              "the self-check is the header's last 8 bytes");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the image is read as it lies");

static const uint8_t Magic[8] = {0x89, 'T', 'N', 'V', 'D', 'I', 'G', 0x1A};
static const uint8_t StubTag[4] = {0x89, 'P', 'R', 'G'};

// The block's stretch of record 2 + i, for i = 0 to 6.
static uint8_t* Stretch(const uint8_t* header, int32_t i) {
  return const_cast<uint8_t*>(header) + HeaderRecordSize * (FirstBlockRecord + i) +
         DigestBlockStart;
}

// Records 2 to 8 keep their texts before the block.
static bool TextsLeaveRoom(const uint8_t* header) {
  for (int32_t record = FirstBlockRecord; record < HeaderRecordCount; record++)
    if (header[record * HeaderRecordSize] >= DigestBlockStart) return false;
  return true;
}

// The stub digest's bytes in the header: the tag, then the CRC.
static uint8_t* StubDigestField(const uint8_t* header) {
  return const_cast<uint8_t*>(header) + HeaderRecordSize * StubDigestRecord + StubDigestStart;
}

// Record 3's text ends before the stub digest.
static bool StubDigestRoom(const uint8_t* header) {
  return header[HeaderRecordSize * StubDigestRecord] < StubDigestStart;
}

static bool BytesMatch(const uint8_t* a, const uint8_t* b, int32_t count) {
  for (int32_t i = 0; i < count; i++)
    if (a[i] != b[i]) return false;
  return true;
}

// The header's block begins with the magic and the version.
static bool MagicAndVersion(const uint8_t* header) {
  uint32_t version;
  CopyBytes(&version, Stretch(header, 0) + sizeof Magic, sizeof version);
  return BytesMatch(Stretch(header, 0), Magic, sizeof Magic) && version == DigestBlockVersion;
}

static bool SelfCheckHolds(const uint8_t* header) {
  uint64_t stored;
  CopyBytes(&stored, header + HeaderSize - 8, sizeof stored);
  return stored == Crc64(header, HeaderSize - 8);
}

// Record 2's size; false when it is not a valid integer text or is negative.
static bool TotalSizeOf(const uint8_t* header, int64_t* total) {
  char text[HeaderRecordSize];
  HeaderRecordText(
      *reinterpret_cast<const HeaderRecord*>(header + RecordTotalSize * HeaderRecordSize), text);
  return TryParseHeaderInteger(text, total) && *total >= 0;
}

// Checks the image's counts and sizes against TotalSize; fills in DigestCount and LastPayload.
static bool CompleteCounts(DigestBlock* block) {
  const DigestBlockImage& image = block->Image;
  uint32_t pieces = image.PieceCount;
  uint32_t run = image.RunLength;
  if (pieces < 1 || pieces > 0x7FFFFFFFu || run < 1 || run > pieces) return false;
  block->DigestCount = static_cast<int32_t>((pieces - 1) / run + 1);
  uint64_t total = static_cast<uint64_t>(block->TotalSize);
  uint64_t first = image.FirstPayload;
  uint64_t size = image.PieceSize;
  if (block->DigestCount > DigestCapacity || first > total) return false;
  uint64_t rest = total - first;
  block->LastPayload = static_cast<int64_t>(first);
  if (pieces == 1) return rest == 0;
  // Pieces 1 to N-2 hold S bytes and leave the last 1 to S: (N-2) S < rest <= (N-1) S, that is
  // (rest-1) / (N-1) < S <= (rest-1) / (N-2), in whole numbers.
  if (rest == 0 || size <= DivideWide(rest - 1, pieces - 1, nullptr)) return false;
  if (pieces > 2 && size > DivideWide(rest - 1, pieces - 2, nullptr)) return false;
  block->LastPayload = static_cast<int64_t>(rest - size * (pieces - 2));
  return true;
}

bool ReadDigestBlock(const uint8_t* header, DigestBlock* block) {
  FillZero(block, sizeof *block);
  // The magic first, where it lies: other splitters' headers end here.
  if (!TextsLeaveRoom(header) || !MagicAndVersion(header)) return false;
  DigestBlockImage& image = block->Image;
  for (int32_t i = 0; i < HeaderRecordCount - FirstBlockRecord; i++)
    CopyBytes(reinterpret_cast<uint8_t*>(&image) + i * RoomPerRecord, Stretch(header, i),
              RoomPerRecord);
  bool valid = SelfCheckHolds(header) && TotalSizeOf(header, &block->TotalSize) &&
               CompleteCounts(block);
  if (!valid) {
    FillZero(block, sizeof *block);
    return false;
  }
  const uint8_t* field = StubDigestField(header);
  block->HasStubDigest = StubDigestRoom(header) && BytesMatch(field, StubTag, sizeof StubTag);
  if (block->HasStubDigest) CopyBytes(&block->StubDigest, field + sizeof StubTag, 4);
  return true;
}

bool DigestBlockDamaged(const uint8_t* header) {
  return MagicAndVersion(header) && !SelfCheckHolds(header);
}

int32_t RunLengthFor(int32_t pieceCount) {
  return pieceCount < 1 ? 1 : (pieceCount - 1) / DigestCapacity + 1;
}

bool WriteDigestBlock(uint8_t* header, DigestBlock* block) {
  if (!TextsLeaveRoom(header) || !TotalSizeOf(header, &block->TotalSize) ||
      !CompleteCounts(block) || (block->HasStubDigest && !StubDigestRoom(header)))
    return false;
  DigestBlockImage& image = block->Image;
  CopyBytes(image.Magic, Magic, sizeof Magic);
  image.Version = DigestBlockVersion;
  for (int32_t k = block->DigestCount; k < DigestCapacity; k++) image.Digests[k] = 0;
  image.SelfCheck = 0;
  if (block->HasStubDigest) {
    CopyBytes(StubDigestField(header), StubTag, sizeof StubTag);
    CopyBytes(StubDigestField(header) + sizeof StubTag, &block->StubDigest, 4);
  }
  for (int32_t i = 0; i < HeaderRecordCount - FirstBlockRecord; i++)
    CopyBytes(Stretch(header, i), reinterpret_cast<uint8_t*>(&image) + i * RoomPerRecord,
              RoomPerRecord);
  image.SelfCheck = Crc64(header, HeaderSize - 8);
  CopyBytes(header + HeaderSize - 8, &image.SelfCheck, 8);
  return true;
}

int64_t ExpectedPayload(const DigestBlock& block, int32_t n) {
  int32_t pieces = static_cast<int32_t>(block.Image.PieceCount);
  if (n < 0 || n >= pieces) return -1;
  if (n == 0) return static_cast<int64_t>(block.Image.FirstPayload);
  return n == pieces - 1 ? block.LastPayload : static_cast<int64_t>(block.Image.PieceSize);
}

int32_t DigestIndexOf(const DigestBlock& block, int32_t n) {
  return n < 0 || n >= static_cast<int32_t>(block.Image.PieceCount)
             ? -1
             : n / static_cast<int32_t>(block.Image.RunLength);
}

int32_t RunFirstPiece(const DigestBlock& block, int32_t digest) {
  return digest < 0 || digest >= block.DigestCount
             ? -1
             : digest * static_cast<int32_t>(block.Image.RunLength);
}

int32_t RunLastPiece(const DigestBlock& block, int32_t digest) {
  int32_t first = RunFirstPiece(block, digest);
  if (first < 0) return -1;
  int32_t after =
      static_cast<int32_t>(block.Image.PieceCount) - 1 - first;  // pieces after the run's first
  int32_t run = static_cast<int32_t>(block.Image.RunLength);
  return first + (after < run - 1 ? after : run - 1);
}

bool StartsRun(const DigestBlock& block, int32_t n) {
  return DigestIndexOf(block, n) >= 0 && n % static_cast<int32_t>(block.Image.RunLength) == 0;
}

bool EndsRun(const DigestBlock& block, int32_t n) {
  int32_t pieces = static_cast<int32_t>(block.Image.PieceCount);
  return DigestIndexOf(block, n) >= 0 &&
         (n == pieces - 1 || (n + 1) % static_cast<int32_t>(block.Image.RunLength) == 0);
}

PieceVerdict JudgePiece(const DigestBlock& block, int32_t n, int64_t payload, uint32_t runCrc) {
  int64_t expected = ExpectedPayload(block, n);
  if (expected < 0) return PieceOutsideSet;
  if (payload < expected) return PieceShort;
  if (payload > expected) return PieceLong;
  if (!EndsRun(block, n) || runCrc == block.Image.Digests[DigestIndexOf(block, n)])
    return PieceGood;
  return block.Image.RunLength == 1 ? PieceDamaged : RunDamaged;
}
