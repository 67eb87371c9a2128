// The digest block in the header's filler: where every field lies (read here by the documented
// offsets, with ISA-L's CRC-64, not by the module's own code), round trips over every text
// length the tool writes, capacity and sizes at their edges, and every header that must not be
// taken for a block: any flipped bit, forged fields under a correct self-check, other
// splitters' filler.
#include "container/digest_block.h"

#include <gtest/gtest.h>
#include <isa-l.h>

#include <cstring>
#include <string>

#include "container/container_writer.h"

namespace {

// Header byte of block offset: bytes 24-255 of records 2 to 8, in order.
size_t HeaderByte(size_t offset) { return 256 * (1 + offset / 232) + 24 + offset % 232; }

uint64_t Field(const std::string& header, size_t offset, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; i--)
    value = (value << 8) | static_cast<uint8_t>(header[HeaderByte(offset + i)]);
  return value;
}

void SetField(std::string& header, size_t offset, int size, uint64_t value) {
  for (int i = 0; i < size; i++, value >>= 8)
    header[HeaderByte(offset + i)] = static_cast<char>(value);
}

uint64_t LibraryCheck(const std::string& header) {
  return crc64_ecma_refl(0, reinterpret_cast<const unsigned char*>(header.data()), 2040);
}

// A forged block: fields changed, then sealed with a correct self-check.
void Seal(std::string& header) { SetField(header, 1616, 8, LibraryCheck(header)); }

uint8_t* Bytes(std::string& header) { return reinterpret_cast<uint8_t*>(&header[0]); }

// A header as the tool writes it; the times' halves have 10 digits, the most they can have.
std::string ToolHeader(int64_t total, const std::string& name = "film.mkv", char filler = 0) {
  const uint64_t time = 3000000000ull << 32 | 4294967295u;  // the halves 4294967295 and 3000000000
  return HeaderBytes(MakeHeaderTexts(name, total, time, time, time), filler);
}

DigestBlock Plan(int32_t pieces, int64_t first, int64_t size) {
  DigestBlock block{};
  block.Image.PieceCount = static_cast<uint32_t>(pieces);
  block.Image.RunLength = static_cast<uint32_t>(RunLengthFor(pieces));
  block.Image.FirstPayload = static_cast<uint64_t>(first);
  block.Image.PieceSize = static_cast<uint64_t>(size);
  for (int k = 0; k < DigestCapacity; k++)
    block.Image.Digests[k] = 0xD1600000u + static_cast<uint32_t>(k);
  return block;
}

// header with a block of plan written into it; fails the test when the writer refuses.
std::string WithBlock(std::string header, DigestBlock plan) {
  EXPECT_TRUE(WriteDigestBlock(Bytes(header), &plan));
  return header;
}

bool Readable(std::string header) {
  DigestBlock block;
  return ReadDigestBlock(Bytes(header), &block);
}

// Every byte that is a length byte or a text byte of a record.
bool IsTextByte(const std::string& header, size_t at) {
  return at % 256 <= static_cast<uint8_t>(header[at - at % 256]);
}

TEST(DigestBlockLayout, FieldsLieWhereTheTableSays) {
  // 3 pieces: 1000 bytes in the container, 700 and 300 after it.
  std::string before = ToolHeader(2000);
  std::string header = WithBlock(before, Plan(3, 1000, 700));
  const char magic[] = "\x89TNVDIG\x1A";
  EXPECT_EQ(header.substr(256 + 24, 8), std::string(magic, 8));
  EXPECT_EQ(Field(header, 8, 4), 1u);      // version
  EXPECT_EQ(Field(header, 12, 4), 3u);     // pieces
  EXPECT_EQ(Field(header, 16, 8), 1000u);  // piece 0's payload
  EXPECT_EQ(Field(header, 24, 8), 700u);   // size of the pieces between
  EXPECT_EQ(Field(header, 32, 4), 1u);     // run length
  for (size_t k = 0; k < 3; k++) EXPECT_EQ(Field(header, 36 + 4 * k, 4), 0xD1600000u + k);
  for (size_t k = 3; k < 395; k++)
    ASSERT_EQ(Field(header, 36 + 4 * k, 4), 0u) << "unused slot " << k;
  EXPECT_EQ(Field(header, 1616, 8), LibraryCheck(header));
  EXPECT_EQ(HeaderByte(1616), 2040u);  // the self-check is the header's last 8 bytes
  // Nothing outside the block changed: length bytes, texts, filler before byte 24 and record 1.
  for (size_t at = 0; at < 2048; at++) {
    bool inBlock = at >= 256 && at % 256 >= 24;
    if (!inBlock) ASSERT_EQ(header[at], before[at]) << "header byte " << at;
  }
}

TEST(DigestBlockLayout, DigestAtARecordBoundaryIsReadFromTheNextRecord) {
  // Digest 49 is block bytes 232-235: the first bytes of record 3's stretch.
  DigestBlock plan = Plan(60, 100, 100);
  plan.Image.Digests[49] = 0xA1B2C3D4u;
  std::string header = WithBlock(ToolHeader(100 + 58 * 100 + 1), plan);
  EXPECT_EQ(static_cast<uint8_t>(header[512 + 24]), 0xD4);
  DigestBlock read;
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read));
  EXPECT_EQ(read.Image.Digests[49], 0xA1B2C3D4u);
  EXPECT_EQ(read.Image.Digests[48], 0xD1600000u + 48);
}

TEST(DigestBlockRoundTrip, EveryTextLengthTheToolWrites) {
  // Record 1: every name length 0..255; records 2 to 8: totals of 1 to 19 digits, time halves
  // of 1 to 10 digits.
  for (size_t length = 0; length <= 255; length++) {
    std::string header = ToolHeader(5000, std::string(length, 'n'));
    DigestBlock read;
    ASSERT_TRUE(ReadDigestBlock(Bytes(header = WithBlock(header, Plan(2, 3000, 2000))), &read))
        << "name " << length;
    ASSERT_EQ(read.TotalSize, 5000);
  }
  for (int digits = 1; digits <= 19; digits++) {
    int64_t total = digits < 19 ? std::stoll(std::string(digits, '9')) : INT64_MAX;
    std::string header = WithBlock(ToolHeader(total), Plan(1, total, 0));
    DigestBlock read;
    ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read)) << digits << " digits";
    EXPECT_EQ(read.TotalSize, total);
    EXPECT_EQ(read.LastPayload, total);
  }
  for (uint32_t digits = 1; digits <= 10; digits++) {
    uint32_t half =
        digits < 10 ? static_cast<uint32_t>(std::stoul(std::string(digits, '9'))) : 4294967295u;
    const uint64_t time = uint64_t{half} << 32 | half;
    std::string header = HeaderBytes(MakeHeaderTexts("x", 10, time, time, time));
    ASSERT_EQ(static_cast<uint32_t>(header[512]), digits);
    ASSERT_TRUE(Readable(WithBlock(header, Plan(1, 10, 0)))) << digits << " digits";
  }
}

TEST(DigestBlockRoundTrip, AllFieldsAndDigestsComeBack) {
  DigestBlock plan = Plan(395, 1017856, 1048576);
  int64_t total = 1017856 + 393LL * 1048576 + 555008;
  std::string header = WithBlock(ToolHeader(total), plan);
  DigestBlock read;
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read));
  EXPECT_EQ(read.Image.PieceCount, 395u);
  EXPECT_EQ(read.Image.RunLength, 1u);
  EXPECT_EQ(read.Image.FirstPayload, 1017856u);
  EXPECT_EQ(read.Image.PieceSize, 1048576u);
  EXPECT_EQ(std::memcmp(read.Image.Digests, plan.Image.Digests, sizeof plan.Image.Digests), 0);
  EXPECT_EQ(read.TotalSize, total);
  EXPECT_EQ(read.LastPayload, 555008);
  EXPECT_EQ(read.DigestCount, 395);
}

TEST(DigestBlockRoundTrip, TextsUpTo23BytesFitAndLongerOnesAreRefused) {
  for (int record = 1; record < 8; record++) {
    HeaderTexts texts = MakeHeaderTexts("a", 777, 2ull << 32 | 1, 4ull << 32 | 3, 6ull << 32 | 5);
    texts[record] =
        std::string(23 - texts[record].size(), ' ') + texts[record];  // leading spaces are allowed
    std::string header = WithBlock(HeaderBytes(texts), Plan(1, 777, 0));
    ASSERT_TRUE(Readable(header)) << "record " << record + 1;

    texts[record] = " " + texts[record];
    std::string tooLong = HeaderBytes(texts);
    DigestBlock plan = Plan(1, 777, 0);
    EXPECT_FALSE(WriteDigestBlock(Bytes(tooLong), &plan)) << "record " << record + 1;
    EXPECT_EQ(tooLong, HeaderBytes(texts)) << "a refused write leaves the header as it was";
    // A block whose record text was lengthened into it, even under a correct self-check.
    header[record * 256] = 24;
    Seal(header);
    EXPECT_FALSE(Readable(header)) << "record " << record + 1;
  }
}

TEST(DigestBlockCapacity, OneDigestPerPieceUpTo395ThenRuns) {
  EXPECT_EQ(DigestCapacity, 395);
  struct Case {
    int32_t pieces, run, digests;
  } cases[] = {{1, 1, 1},     {395, 1, 395}, {396, 2, 198},
               {790, 2, 395}, {791, 3, 264}, {0x7FFFFFFF, 5436668, 395}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunLengthFor(c.pieces), c.run) << c.pieces;
    // Pieces of one byte, the container's payload empty.
    std::string header = WithBlock(ToolHeader(c.pieces - 1), Plan(c.pieces, 0, 1));
    DigestBlock read;
    ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read)) << c.pieces;
    EXPECT_EQ(read.DigestCount, c.digests) << c.pieces;
    EXPECT_EQ(read.Image.Digests[c.digests - 1], 0xD1600000u + c.digests - 1) << c.pieces;
  }
  // 396 pieces cannot have a digest each.
  DigestBlock plan = Plan(396, 0, 1);
  plan.Image.RunLength = 1;
  std::string header = ToolHeader(395);
  EXPECT_FALSE(WriteDigestBlock(Bytes(header), &plan));
}

TEST(DigestBlockSizes, PiecesMustAddUpToRecordTwo) {
  struct Case {
    int32_t pieces;
    int64_t first, size, total;
    bool valid;
  } cases[] = {
      {1, 0, 0, 0, true},      // an empty file: a container without payload
      {1, 500, 0, 500, true},  // all in the container
      {1, 499, 0, 500, false},
      {2, 0, 700, 700, true},     // an empty container payload, one piece after it
      {2, 100, 700, 800, true},   // the last piece as big as S
      {2, 100, 699, 800, false},  // ... or bigger
      {3, 100, 700, 801, true},   // the last piece of 1 byte
      {3, 100, 700, 800, false},  // ... or empty
      {3, 100, 0, 100, false},    // S of 0
      {3, 900, 700, 800, false},  // piece 0 alone more than the total
      {3, 1, int64_t{1} << 62, INT64_MAX, true},
      {10, 0, int64_t{1} << 62, 1000, false},  // S * 8 wraps 64 bits; must not be taken for small
  };
  for (const Case& c : cases) {
    std::string header = ToolHeader(c.total);
    DigestBlock plan = Plan(c.pieces, c.first, c.size);
    EXPECT_EQ(WriteDigestBlock(Bytes(header), &plan), c.valid)
        << c.pieces << " " << c.first << " " << c.size;
    if (!c.valid) {
      // The reader refuses the same block under a correct self-check.
      header = WithBlock(ToolHeader(c.total), Plan(1, c.total, 0));
      SetField(header, 12, 4, static_cast<uint32_t>(c.pieces));
      SetField(header, 16, 8, static_cast<uint64_t>(c.first));
      SetField(header, 24, 8, static_cast<uint64_t>(c.size));
      SetField(header, 32, 4, 1);
      Seal(header);
      EXPECT_FALSE(Readable(header)) << c.pieces << " " << c.first << " " << c.size;
    }
  }
  std::string header = ToolHeader(-5);
  DigestBlock plan = Plan(1, -5, 0);  // piece 0 "holds" the negative total
  EXPECT_FALSE(WriteDigestBlock(Bytes(header), &plan)) << "a negative total";
  header = HeaderBytes(HeaderTexts{"x", "12a"});
  EXPECT_FALSE(WriteDigestBlock(Bytes(header), &plan)) << "record 2 is no integer";
}

TEST(DigestBlockRefused, AnyFlippedBitOfTheHeader) {
  std::string header = WithBlock(ToolHeader(1000 + 7 * 512 + 9, "Фильм.mkv"), Plan(9, 1000, 512));
  ASSERT_TRUE(Readable(header));
  for (size_t bit = 0; bit < 2048 * 8; bit++) {
    std::string flipped = header;
    flipped[bit / 8] ^= static_cast<char>(1 << (bit % 8));
    ASSERT_FALSE(Readable(flipped)) << "bit " << bit % 8 << " of header byte " << bit / 8
                                    << (IsTextByte(header, bit / 8) ? " (a text)" : "");
    // Damaged, not another splitter's: but where the magic or the version itself changed.
    bool magicOrVersion = bit / 8 >= 256 + 24 && bit / 8 < 256 + 24 + 12;
    ASSERT_EQ(DigestBlockDamaged(Bytes(flipped)), !magicOrVersion) << "header byte " << bit / 8;
  }
  EXPECT_FALSE(DigestBlockDamaged(Bytes(header)));
}

TEST(DigestBlockRefused, ForgedFieldsUnderACorrectSelfCheck) {
  std::string good = WithBlock(ToolHeader(2000), Plan(3, 1000, 700));
  struct Forgery {
    const char* what;
    size_t offset;
    int size;
    uint64_t value;
  } forgeries[] = {
      {"version 2", 8, 4, 2},
      {"no pieces", 12, 4, 0},
      {"2^31 pieces", 12, 4, 0x80000000u},
      {"run length 0", 32, 4, 0},
      {"a run longer than the set", 32, 4, 4},
      {"a magic byte", 7, 1, 0x1B},
  };
  for (const Forgery& f : forgeries) {
    std::string header = good;
    SetField(header, f.offset, f.size, f.value);
    Seal(header);
    EXPECT_FALSE(Readable(header)) << f.what;
  }
  // 2^31 pieces of one byte: sizes that add up, a run length that fits, a count beyond the
  // piece numbers.
  std::string huge = WithBlock(ToolHeader(0x7FFFFFFF), Plan(0x7FFFFFFF, 1, 1));
  SetField(huge, 12, 4, 0x80000000u);
  SetField(huge, 16, 8, 0);
  Seal(huge);
  EXPECT_FALSE(Readable(huge)) << "2^31 pieces";
  SetField(huge, 12, 4, 0x7FFFFFFF);
  SetField(huge, 16, 8, 1);
  Seal(huge);
  EXPECT_TRUE(Readable(huge)) << "2^31 - 1 pieces, the same otherwise";
  // The self-check is what refuses a changed text: unsealed, the same change is refused too.
  std::string renamed = good;
  renamed[1] = 'F';
  EXPECT_FALSE(Readable(renamed));
  Seal(renamed);
  EXPECT_TRUE(Readable(renamed)) << "sealed again, the text is part of the block's world";
}

TEST(DigestBlockRefused, OtherSplittersFiller) {
  for (char filler : {'\0', ' ', '\xFF', '\x89'}) {
    std::string other = ToolHeader(2000, "a.bin", filler);
    EXPECT_FALSE(Readable(other)) << int(filler);
    EXPECT_FALSE(DigestBlockDamaged(Bytes(other))) << int(filler);
  }
  // A header holding only texts of other lengths and a block's magic, nothing else of it.
  std::string header = ToolHeader(2000);
  std::memcpy(&header[256 + 24], "\x89TNVDIG\x1A", 8);
  EXPECT_FALSE(Readable(header));
  // A refused header leaves the block zero, whether it fails at the magic or after it.
  std::string plainHeader = ToolHeader(2000);
  for (std::string* refused : {&header, &plainHeader}) {
    DigestBlock block;
    block.Image.PieceCount = 77;
    block.TotalSize = 77;
    ReadDigestBlock(Bytes(*refused), &block);
    EXPECT_EQ(block.Image.PieceCount, 0u);
    EXPECT_EQ(block.TotalSize, 0);
  }
}

TEST(DigestBlockStubDigest, LiesInRecordThreeUnderTheSelfCheck) {
  DigestBlock plan = Plan(3, 1000, 700);
  plan.HasStubDigest = true;
  plan.StubDigest = 0xA1B2C3D4u;
  std::string before = ToolHeader(2000);
  std::string header = WithBlock(before, plan);
  EXPECT_EQ(header.substr(512 + 16, 8), std::string("\x89PRG\xD4\xC3\xB2\xA1", 8));
  EXPECT_EQ(Field(header, 1616, 8), LibraryCheck(header)) << "the self-check covers it";
  for (size_t at = 0; at < 2048; at++) {
    bool inBlock = at >= 256 && at % 256 >= 24, inField = at >= 528 && at < 536;
    if (!inBlock && !inField) ASSERT_EQ(header[at], before[at]) << "header byte " << at;
  }
  DigestBlock read;
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read));
  EXPECT_TRUE(read.HasStubDigest);
  EXPECT_EQ(read.StubDigest, 0xA1B2C3D4u);
  // An older set's block: valid, without a stub digest.
  ASSERT_TRUE(ReadDigestBlock(Bytes(header = WithBlock(before, Plan(3, 1000, 700))), &read));
  EXPECT_FALSE(read.HasStubDigest);
  // A record 3 text that reaches byte 16 leaves no room: the writer refuses, the reader ignores a
  // tag there under a correct self-check.
  HeaderTexts texts = MakeHeaderTexts("a", 2000, 1, 1, 1);
  texts[RecordCreationLow] = std::string(15, ' ') + "1";
  std::string longText = HeaderBytes(texts);
  EXPECT_FALSE(WriteDigestBlock(Bytes(longText), &plan));
  texts[RecordCreationLow] = std::string(14, ' ') + "1";
  header = WithBlock(HeaderBytes(texts), plan);
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read));
  EXPECT_TRUE(read.HasStubDigest) << "a text of 15 bytes leaves room";
  header[512] = 16;
  header[512 + 16] = '1';
  std::memcpy(&header[512 + 17], "\x89PRG", 4);  // shifted: the tag no longer where it belongs
  Seal(header);
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &read));
  EXPECT_FALSE(read.HasStubDigest);
}

TEST(DigestBlockPieces, SizesAndRunsOfEachPiece) {
  // 10 pieces in runs of 3 (as if the capacity were 4): runs 0-2, 3-5, 6-8 and 9 alone.
  DigestBlock plan = Plan(10, 50, 100);
  plan.Image.RunLength = 3;
  std::string header = WithBlock(ToolHeader(50 + 8 * 100 + 40), plan);
  DigestBlock b;
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &b));
  EXPECT_EQ(b.DigestCount, 4);
  // Pieces -1 to 10: the payload each must hold, its digest, whether it starts or ends its run.
  const struct {
    int64_t payload;
    int32_t digest;
    bool starts, ends;
  } pieces[12] = {{-1, -1, false, false},                                                 // outside
                  {50, 0, true, false},   {100, 0, false, false}, {100, 0, false, true},  // run 0
                  {100, 1, true, false},  {100, 1, false, false}, {100, 1, false, true},  // run 1
                  {100, 2, true, false},  {100, 2, false, false}, {100, 2, false, true},  // run 2
                  {40, 3, true, true},                                                    // run 3
                  {-1, -1, false, false}};                                                // outside
  for (int32_t n = -1; n <= 10; n++) {
    EXPECT_EQ(ExpectedPayload(b, n), pieces[n + 1].payload) << n;
    EXPECT_EQ(DigestIndexOf(b, n), pieces[n + 1].digest) << n;
    EXPECT_EQ(StartsRun(b, n), pieces[n + 1].starts) << n;
    EXPECT_EQ(EndsRun(b, n), pieces[n + 1].ends) << n;
  }
  EXPECT_FALSE(StartsRun(b, 12)) << "outside the set, though where a run would start";
  EXPECT_FALSE(EndsRun(b, 11)) << "outside the set, though where a run would end";
  // Runs -1 to 4: the first and the last piece of each (-1 -1: no such run).
  const std::pair<int32_t, int32_t> runs[6] = {{-1, -1}, {0, 2}, {3, 5}, {6, 8}, {9, 9}, {-1, -1}};
  for (int32_t run = -1; run <= 4; run++) {
    EXPECT_EQ(RunFirstPiece(b, run), runs[run + 1].first) << run;
    EXPECT_EQ(RunLastPiece(b, run), runs[run + 1].second) << run;
  }
}

TEST(DigestBlockPieces, VerdictsOfFinishedPieces) {
  DigestBlock single = Plan(3, 10, 20);
  std::string header = WithBlock(ToolHeader(10 + 20 + 5), single);
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &single));
  uint32_t digest1 = single.Image.Digests[1];
  EXPECT_EQ(JudgePiece(single, 1, 20, digest1), PieceGood);
  EXPECT_EQ(JudgePiece(single, 1, 20, digest1 ^ 1), PieceDamaged);
  EXPECT_EQ(JudgePiece(single, 1, 19, digest1), PieceShort);
  EXPECT_EQ(JudgePiece(single, 1, 21, digest1), PieceLong);
  EXPECT_EQ(JudgePiece(single, 1, 19, digest1 ^ 1), PieceShort) << "the size comes first";
  EXPECT_EQ(JudgePiece(single, 2, 5, single.Image.Digests[2]), PieceGood);
  EXPECT_EQ(JudgePiece(single, 0, 10, single.Image.Digests[0]), PieceGood);
  EXPECT_EQ(JudgePiece(single, 3, 0, 0), PieceOutsideSet);

  DigestBlock runs = Plan(5, 10, 20);
  runs.Image.RunLength = 2;  // runs 0-1, 2-3, 4
  header = WithBlock(ToolHeader(10 + 3 * 20 + 7), runs);
  ASSERT_TRUE(ReadDigestBlock(Bytes(header), &runs));
  EXPECT_EQ(JudgePiece(runs, 2, 20, 0xBAD), PieceGood) << "the run goes on: its digest is not due";
  EXPECT_EQ(JudgePiece(runs, 3, 20, runs.Image.Digests[1]), PieceGood);
  EXPECT_EQ(JudgePiece(runs, 3, 20, runs.Image.Digests[1] ^ 1), RunDamaged);
  EXPECT_EQ(JudgePiece(runs, 4, 7, runs.Image.Digests[2] ^ 1), RunDamaged)
      << "a last run of one piece is still a run";
}

}  // namespace
