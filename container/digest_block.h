// The digest block: what the tool writes into the header's filler so that a join can name a
// damaged, short, long or wrong piece. Readers that know nothing of it ignore the filler, as
// they always have; a header without a valid block is joined as before.
//
// Where it lies: bytes 24 to 255 of records 2 to 8, whose integer texts the tool keeps to at
// most 23 bytes; the seven stretches of 232 bytes, in file order, are one block of 1624 bytes.
// No length byte or text is touched. Block offsets (integers little-endian):
//
//   0     8    magic: 89 54 4E 56 44 49 47 1A
//   8     4    version: 1
//   12    4    piece count N (1 to 2^31 - 1; piece 0 is the container)
//   16    8    payload of piece 0 (the container's bytes from 30720 on)
//   24    8    size S of pieces 1 to N-2; piece N-1 holds the rest of record 2's size, 1 to S
//   32    4    run length R: pieces per digest (1 when each piece has its own)
//   36    1580 395 digests: digest k is the CRC-32C of the payloads of pieces kR to kR+R-1 (the
//              last run may be shorter), taken as one stream; slots after the last are zero
//   1616  8    self-check: CRC-64/XZ of header bytes 0 to 2039 (every length byte, text and
//              filler of the header except these 8 bytes, which are header bytes 2040-2047)
//
// A set of at most 395 pieces has a digest for every piece; a larger one has runs of
// R = ceil(N / 395) pieces.
//
// The stub digest: the CRC-32C of the container's stub (its bytes 0 to 28671), so that the joiner
// program is vouched for as the data are. It lies outside the block, in bytes 16 to 23 of record 3
// (whose text, a time half the tool writes in at most 10 digits, ends before it): the tag
// 89 50 52 47 ("\x89PRG"), then the CRC. The block's self-check covers it, so a reader takes it
// only with a valid block and only where record 3's text ends before byte 16; sets made before it
// carry zeros there and read as before, and readers that know nothing of it ignore it.
//
// A header whose block has its magic and version but whose self-check fails is damaged, not
// another splitter's: a byte of it changed since it was written.
//
// Everything here is the stub's own code (no C library).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "container/layout.h"

enum : int32_t {
  HeaderSize = HeaderRecordCount * HeaderRecordSize,  // the whole header, 2048
  DigestBlockVersion = 1,
  DigestBlockStart = 24,  // within each of records 2 to 8; their texts must end before it
  DigestBlockSize = (HeaderRecordCount - 1) * (HeaderRecordSize - DigestBlockStart),
  DigestCapacity = 395,
  StubDigestRecord = RecordCreationLow,  // record 3
  StubDigestStart = 16,                  // its tag, then the CRC-32C, within that record
};

// The block as it lies in the header (little-endian, as on every processor the system runs on).
struct DigestBlockImage {
  uint8_t Magic[8];
  uint32_t Version;
  uint32_t PieceCount;
  uint64_t FirstPayload;
  uint64_t PieceSize;
  uint32_t RunLength;
  uint32_t Digests[DigestCapacity];
  uint64_t SelfCheck;
};
static_assert(sizeof(DigestBlockImage) == DigestBlockSize, "the block fills the room exactly");

// A block read from a header, or one to write: the image and what follows from it.
struct DigestBlock {
  DigestBlockImage Image;
  int64_t TotalSize;    // record 2
  int64_t LastPayload;  // piece N-1 (piece 0 itself in a set of one)
  int32_t DigestCount;  // ceil(N / R)
  bool HasStubDigest;   // the header carries the stub digest (sets made before it do not)
  uint32_t StubDigest;  // CRC-32C of the container's bytes 0 to 28671
};

// How one finished piece compares with the block.
enum PieceVerdict {
  PieceGood,        // its size is right, and the digest of the run it ends (if any) matched
  PieceShort,       // fewer payload bytes than the block gives it
  PieceLong,        // more
  PieceDamaged,     // its size is right, its own digest differs (a run of one piece)
  RunDamaged,       // its size is right, the digest of the run it ends differs: one of the
                    // pieces RunFirstPiece to RunLastPiece of that run is damaged
  PieceOutsideSet,  // the block has no piece of that number
};

// True with the block in *block when header (HeaderSize bytes) carries a valid one: magic,
// version, self-check, texts that leave the room, and sizes that add up to record 2; the stub
// digest too where the header carries it. False (and *block zero) for every other header.
bool ReadDigestBlock(const uint8_t* header, DigestBlock* block);

// The header carries a block's magic and version, but its self-check fails: it was damaged.
bool DigestBlockDamaged(const uint8_t* header);

// The run length that fits pieceCount pieces into DigestCapacity digests.
int32_t RunLengthFor(int32_t pieceCount);

// Writes block into header, whose eight records are already in place. The caller gives the
// image's PieceCount, RunLength, FirstPayload, PieceSize and first DigestCount digests; the
// rest of the image, TotalSize (from record 2), LastPayload and DigestCount are filled in. With
// HasStubDigest, the stub digest is written too. False, with header untouched, when a text of
// records 2 to 8 reaches the block (or record 3's the stub digest) or the sizes do not add up to
// record 2.
bool WriteDigestBlock(uint8_t* header, DigestBlock* block);

// Payload bytes piece n must have (the container's from byte 30720 on); -1 outside the set.
int64_t ExpectedPayload(const DigestBlock& block, int32_t n);
// The digest that covers piece n, and the pieces that digest covers; -1 outside the set.
int32_t DigestIndexOf(const DigestBlock& block, int32_t n);
int32_t RunFirstPiece(const DigestBlock& block, int32_t digest);
int32_t RunLastPiece(const DigestBlock& block, int32_t digest);
// Piece n begins a run: its CRC starts again from 0. Piece n ends one: its CRC is compared.
bool StartsRun(const DigestBlock& block, int32_t n);
bool EndsRun(const DigestBlock& block, int32_t n);

// Piece n is finished with payload bytes; runCrc is the CRC-32C of its run so far (looked at
// only when n ends its run). A wrong size comes before a wrong digest.
PieceVerdict JudgePiece(const DigestBlock& block, int32_t n, int64_t payload, uint32_t runCrc);
