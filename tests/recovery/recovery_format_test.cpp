// The recovery file as documented: every field read by its offset and checked with the system's
// own CRCs and ISA-L's field multiplication (not the module's code); headers with any flipped
// byte refused; sets that must not be encoded refused.
#include <gtest/gtest.h>
#include <isa-l.h>

#include "integrity/crc64.h"
#include "tests/recovery/recovery_fixture.h"

namespace {

uint64_t Field(const std::string& bytes, size_t offset, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; i--)
    value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

std::string PayloadOf(const std::vector<MemoryFile>& set, size_t n) {
  return set[n].Bytes.substr(n == 0 ? PayloadOffset : 0);
}

// Pieces of several coding chunks and slices (1 MiB), the container's and the last piece's
// shorter; in the format written and in the older one without slices.
TEST(RecoveryLayout, FieldsLieWhereTheTableSays) {
  const int files = 4, rows = 2, k = 4;
  const uint64_t pieceSize = (5 << 19) + 1, slice = 1 << 20;
  std::vector<MemoryFile> set = MakeSet(files, pieceSize);
  std::vector<std::string> payloads;
  for (int n = 0; n < files; n++) payloads.push_back(PayloadOf(set, n));
  std::vector<uint8_t> matrix((k + rows) * k);
  gf_gen_cauchy1_matrix(matrix.data(), k + rows, k);
  for (uint64_t version : {1, 2}) {
    std::vector<MemoryFile> recovery =
        Encode(set, rows, static_cast<int32_t>(version), version == 2 ? slice : 0);
    // Every payload's slices, then the parity's (3 slices of the longest payload).
    std::vector<std::string> sliced;
    for (const std::string& payload : payloads)
      for (size_t at = 0; version == 2 && at < payload.size(); at += slice)
        sliced.push_back(payload.substr(at, slice));
    const uint64_t fileSlices = sliced.size(), paritySlices = version == 2 ? 3 : 0;
    const uint64_t slicesAt = 2104 + 12 * files + 4 * 1;
    const uint64_t headerLength = slicesAt + 4 * (fileSlices + paritySlices) + 8;
    const uint64_t parityLength = pieceSize;
    for (int r = 0; r < rows; r++) {
      const std::string& bytes = recovery[r].Bytes;
      SCOPED_TRACE("version " + std::to_string(version) + ", row " + std::to_string(r));
      EXPECT_EQ(bytes.substr(0, 8), std::string("\x89TNVREC\x1A", 8));
      EXPECT_EQ(Field(bytes, 8, 4), version);
      EXPECT_EQ(Field(bytes, 12, 4), 1u);  // code
      EXPECT_EQ(Field(bytes, 16, 4), uint64_t{files});
      EXPECT_EQ(Field(bytes, 20, 4), uint64_t{rows});
      EXPECT_EQ(Field(bytes, 24, 4), uint64_t(r));
      EXPECT_EQ(Field(bytes, 28, 4), 1u);  // groups
      EXPECT_EQ(Field(bytes, 32, 8), headerLength);
      EXPECT_EQ(Field(bytes, 40, 8), parityLength);
      ASSERT_EQ(bytes.size(), headerLength + parityLength + StubSize);
      EXPECT_EQ(bytes.substr(headerLength + parityLength), set[0].Bytes.substr(0, StubSize))
          << "the stub copy after the parity";
      EXPECT_EQ(Field(bytes, 48, 4), Crc32cAdd(0, set[0].Bytes.data(), StubSize));
      EXPECT_EQ(Field(bytes, 52, 4), version == 2 ? slice : 0);
      EXPECT_EQ(bytes.substr(56, HeaderSize), set[0].Bytes.substr(HeaderOffset, HeaderSize));
      for (int n = 0; n < files; n++) {
        EXPECT_EQ(Field(bytes, 2104 + 12 * n, 8), payloads[n].size()) << "file " << n;
        EXPECT_EQ(Field(bytes, 2112 + 12 * n, 4),
                  Crc32cAdd(0, payloads[n].data(), payloads[n].size()))
            << "file " << n;
      }
      std::string parity = bytes.substr(headerLength, parityLength);
      for (uint64_t i = 0; i < paritySlices; i++) sliced.push_back(parity.substr(i * slice, slice));
      for (uint64_t i = 0; i < sliced.size(); i++)
        EXPECT_EQ(Field(bytes, slicesAt + 4 * i, 4),
                  Crc32cAdd(0, sliced[i].data(), sliced[i].size()))
            << "slice " << i;
      sliced.resize(fileSlices);
      EXPECT_EQ(Field(bytes, 2104 + 12 * files, 4), Crc32cAdd(0, parity.data(), parity.size()));
      EXPECT_EQ(Field(bytes, headerLength - 8, 8), Crc64(bytes.data(), headerLength - 8));
      // Row r of the Cauchy matrix over the zero-padded payloads.
      for (size_t i = 0; i < parityLength; i++) {
        uint8_t expected = 0;
        for (int j = 0; j < k; j++)
          expected ^= gf_mul(matrix[(k + r) * k + j],
                             i < payloads[j].size() ? static_cast<uint8_t>(payloads[j][i]) : 0);
        ASSERT_EQ(static_cast<uint8_t>(parity[i]), expected) << "parity byte " << i;
      }
    }
  }
  EXPECT_EQ(RecoverySuffix(0) + RecoverySuffix(9) + RecoverySuffix(99), ".r01.r10.r100");
}

bool HeaderReadable(MemoryFile file) {
  RecoveryHeader header;
  return ReadRecoveryHeader(MemoryAccess(&file), &header);
}

// Three payloads and the parity of one slice each: T = 4 with slices.
TEST(RecoveryLayout, AHeaderWithAnyFlippedByteIsRefused) {
  std::vector<MemoryFile> set = MakeSet(3, 500);
  for (int32_t version : {1, 2}) {
    MemoryFile file = Encode(set, 1, version)[0];
    ASSERT_TRUE(HeaderReadable(file));
    size_t headerLength = 2112 + 12 * 3 + 4 + (version == 2 ? 4 * 4 : 0);
    for (size_t at = 0; at < headerLength; at++) {
      MemoryFile flipped = file;
      flipped.Bytes[at] ^= static_cast<char>(1 << (at % 8));
      ASSERT_FALSE(HeaderReadable(flipped)) << "version " << version << ", header byte " << at;
    }
    file.Bytes.resize(headerLength - 1);
    EXPECT_FALSE(HeaderReadable(file)) << "a cut header";
  }
}

void Put(std::string* bytes, size_t offset, uint64_t value, int size) {
  for (int i = 0; i < size; i++) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

// The header of bytes (H as its field gives it) with its self-check made again.
std::string Resealed(std::string bytes) {
  size_t length = Field(bytes, 32, 8);
  if (length < 64 || length > bytes.size()) return bytes;
  bytes.resize(length);
  Put(&bytes, length - 8, Crc64(bytes.data(), length - 8), 8);
  return bytes;
}

bool Parses(const std::string& bytes, RecoveryHeader* header) {
  return ParseRecoveryHeader(reinterpret_cast<const uint8_t*>(bytes.data()),
                             static_cast<int64_t>(bytes.size()), header);
}

// Each version's header read back as it was written, and two rows of one set alike but for
// what is theirs; then fields forged and sealed again, which a reader must still refuse.
TEST(RecoveryLayout, HeadersReadBackAndForgedSlicesAreRefused) {
  std::vector<MemoryFile> set = MakeSet(4, 3 << 20);
  for (int32_t version : {1, 2}) {
    std::vector<MemoryFile> rows = Encode(set, 2, version, version == 2 ? 1 << 20 : 0);
    RecoveryHeader first, second;
    ASSERT_TRUE(ReadRecoveryHeader(MemoryAccess(&rows[0]), &first));
    ASSERT_TRUE(ReadRecoveryHeader(MemoryAccess(&rows[1]), &second));
    EXPECT_EQ(first.Version, version);
    EXPECT_EQ(first.SliceSize, version == 2 ? 1 << 20 : 0);
    // Payloads of 1.5 MiB + 7, 3 MiB, 3 MiB, 1 MiB + 1; parity of 3 MiB.
    EXPECT_EQ(first.FileSlices.size(), version == 2 ? 2u + 3 + 3 + 2 : 0u);
    EXPECT_EQ(first.ParitySlices.size(), version == 2 ? 3u : 0u);
    std::vector<uint8_t> again = RecoveryHeaderBytes(first);
    EXPECT_EQ(std::string(again.begin(), again.end()),
              rows[0].Bytes.substr(0, static_cast<size_t>(first.HeaderLength)));
    EXPECT_TRUE(SameRecoverySet(first, second));
    if (version == 1) continue;
    EXPECT_NE(first.ParitySlices, second.ParitySlices);
    second.FileSlices.back() ^= 1;
    EXPECT_FALSE(SameRecoverySet(first, second)) << "a file slice's digest differs";
  }
  // S of another count: H no longer as the payloads give it.
  std::string big = Encode(set, 1, RecoveryFormatVersion, 1 << 20)[0].Bytes.substr(0, 2112 + 12 * 4 + 4 + 4 * 13);
  RecoveryHeader header;
  ASSERT_TRUE(Parses(big, &header));
  Put(&big, 52, 1 << 21, 4);
  EXPECT_FALSE(Parses(Resealed(big), &header));
  // Payloads and parity of one slice each (T = 5) whatever S: only S's own rules refuse it.
  std::vector<MemoryFile> small = MakeSet(4, 900);
  std::string good = Encode(small, 1)[0].Bytes.substr(0, 2112 + 12 * 4 + 4 + 4 * 5);
  ASSERT_TRUE(Parses(good, &header));
  Put(&good, 52, 1 << 30, 4);
  ASSERT_TRUE(Parses(Resealed(good), &header)) << "any S in range serves";
  EXPECT_EQ(header.SliceSize, 1 << 30);
  struct Forgery {
    const char* What;
    size_t Offset;
    uint64_t Value;
    int Size;
  } forgeries[] = {
      {"S not a power of two", 52, (1 << 20) + 4096, 4},
      {"S below 2^16", 52, 1 << 15, 4},
      {"S past 2^30", 52, 1u << 31, 4},
      {"S zero in version 2", 52, 0, 4},
      {"version 3", 8, 3, 4},
      {"version 1 with S", 8, 1, 4},
  };
  for (const Forgery& forgery : forgeries) {
    std::string bytes = good;
    Put(&bytes, forgery.Offset, forgery.Value, forgery.Size);
    EXPECT_FALSE(Parses(Resealed(bytes), &header)) << forgery.What;
  }
  // H a slice digest longer or shorter than the payloads give it.
  for (int64_t change : {-4, 4, 2}) {
    std::string bytes = good;
    bytes.resize(static_cast<size_t>(static_cast<int64_t>(bytes.size()) + change), '\0');
    Put(&bytes, 32, bytes.size(), 8);
    EXPECT_FALSE(Parses(Resealed(bytes), &header)) << "H changed by " << change;
  }
  // H claiming more slice digests than a reader loads: refused by the fixed fields alone.
  std::string bytes = good;
  Put(&bytes, 32, 2112 + 12 * 4 + 4 + 4 * (uint64_t{MaxReadSliceDigests} + 1), 8);
  EXPECT_FALSE(ParseRecoveryFixed(reinterpret_cast<const uint8_t*>(bytes.data()), &header));
  Put(&bytes, 32, 2112 + 12 * 4 + 4 + 4 * uint64_t{MaxReadSliceDigests}, 8);
  EXPECT_TRUE(ParseRecoveryFixed(reinterpret_cast<const uint8_t*>(bytes.data()), &header));
}

// The writer's S: 64 slices of the largest payload where 2^16 to 1 MiB allows, doubled while the
// slice digests would pass 2^22; payloads so large that the slices at 2^16 would overflow nothing
// (T stays far below 2^62).
TEST(RecoveryLayout, TheWriterFitsTheSliceSizeToThePieces) {
  RecoveryHeader header{};
  header.Version = RecoveryFormatWithoutSlices;
  header.Code = RecoveryCodeCauchy;
  header.FileCount = 3;
  header.RowCount = 1;
  auto sizeFor = [&](int64_t piece) {
    header.Files = {{piece, 0}, {piece, 0}, {piece, 0}};
    EXPECT_TRUE(CompleteRecoveryGeometry(&header));
    return WriterSliceSize(header);
  };
  EXPECT_EQ(sizeFor(1), 1 << 16);
  EXPECT_EQ(sizeFor(1 << 20), 1 << 16);  // 16 slices: the smallest S allows no more
  EXPECT_EQ(sizeFor((1 << 23) - 1), 1 << 16);
  EXPECT_EQ(sizeFor(1 << 23), 1 << 17);  // 64 slices of 128 KiB
  EXPECT_EQ(sizeFor(1 << 26), 1 << 20);
  EXPECT_EQ(sizeFor(int64_t{1} << 30), 1 << 20);  // 1024 slices: no larger S
  // 3 files and the parity of 2^42 bytes each: 2^24 slices of 1 MiB, 2^22 of 4 MiB.
  EXPECT_EQ(sizeFor(int64_t{1} << 42), 1 << 22);
  EXPECT_EQ(sizeFor((int64_t{1} << 42) + 1), 1 << 23);
  EXPECT_EQ(sizeFor(int64_t{1} << 61), 1 << 30);  // as large as S goes
  // A reader holds at most MaxReadSliceDigests: 2^24 slices of 2^16 bytes, no more.
  header.Version = RecoveryFormatVersion;
  header.SliceSize = 1 << MinSliceShift;
  const int64_t piece = int64_t{1} << (24 + MinSliceShift - 2);
  header.Files = {{piece, 0}, {piece, 0}, {piece, 0}};
  ASSERT_TRUE(CompleteRecoveryGeometry(&header));
  EXPECT_EQ(header.HeaderLength, 2112 + 12 * 3 + 4 + 4 * (int64_t{1} << 24));
  header.Files = {{piece + 1, 0}, {piece, 0}, {piece, 0}};  // two slices more
  EXPECT_FALSE(CompleteRecoveryGeometry(&header));
  header.Files = {{int64_t{1} << 61, 0}, {int64_t{1} << 61, 0}, {int64_t{1} << 61, 0}};
  EXPECT_FALSE(CompleteRecoveryGeometry(&header));
}

RecoveryResult EncodeInto(std::vector<MemoryFile>& set, std::vector<MemoryFile>& outputs) {
  Accesses in(set), out(outputs);
  return EncodeRecovery(in.Files, out.Files, nullptr);
}

TEST(RecoveryEncoding, SetsThatDisagreeWithTheirDigestsAreRefused) {
  std::vector<MemoryFile> good = MakeSet(4, 800), outputs(2);
  std::vector<MemoryFile> set = good;
  set[2].Bytes[10] ^= 4;
  RecoveryResult result = EncodeInto(set, outputs);
  EXPECT_EQ(result.Outcome, RecoverySetDamaged);
  EXPECT_EQ(result.SetFile, 2);
  for (MemoryFile& output : outputs) EXPECT_FALSE(HeaderReadable(output)) << "a header was written";
  set = good;
  set[1].Bytes.push_back('x');
  result = EncodeInto(set, outputs);
  EXPECT_EQ(result.Outcome, RecoveryNotASet);
  EXPECT_EQ(result.SetFile, 1);
  set = good;
  set[0].Bytes.resize(PayloadOffset - 1);
  EXPECT_EQ(EncodeInto(set, outputs).Outcome, RecoveryNotASet);
  std::vector<MemoryFile> none, tooMany(MaxRecoveryRows + 1);
  EXPECT_EQ(EncodeInto(good, none).Outcome, RecoveryRefused);
  EXPECT_EQ(EncodeInto(good, tooMany).Outcome, RecoveryRefused);
}

// A container whose stub and header are not written yet: a read of them fails.
class HeadlessAccess : public MemoryAccess {
 public:
  using MemoryAccess::MemoryAccess;
  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    return offset >= PayloadOffset && MemoryAccess::ReadAt(bytes, count, offset);
  }
};

// Encoding with a thread lent (each group's length in two lanes, the second's digests joined to
// the first's): the files are the ones made on one thread, in the format with slices and in the
// older one, in one group and in two; and where the thread is refused.
TEST(RecoveryEncoding, WithAThreadLentTheFilesAreTheSame) {
  struct {
    int32_t Files;
    int64_t PieceSize;
    int32_t Version;
  } cases[] = {{4, (3 << 20) + 100, RecoveryFormatVersion},
               {5, (1 << 20) + 7, RecoveryFormatWithoutSlices},
               {260, 5000, RecoveryFormatVersion}};
  for (const auto& c : cases)
    for (bool refuse : {false, true}) {
      std::vector<MemoryFile> set = MakeSet(c.Files, c.PieceSize);
      std::vector<MemoryFile> expected = Encode(set, 2, c.Version), outputs(2);
      Accesses in(set), out(outputs);
      AtOnce lent;
      lent.Refuse = refuse;
      ASSERT_EQ(EncodeRecovery(in.Files, out.Files, nullptr, c.Version, 0, &lent).Outcome,
                RecoveryDone);
      for (int32_t r = 0; r < 2; r++)
        EXPECT_EQ(outputs[r].Bytes, expected[r].Bytes) << c.Files << " files, row " << r;
    }
  // An empty input's set (the container alone) in the older format: no slice to take a digest
  // from, the empty stream's digest all the same.
  DigestBlock block{};
  block.Image.PieceCount = 1;
  block.Image.RunLength = static_cast<uint32_t>(RunLengthFor(1));
  std::string header = HeaderBytes(MakeHeaderTexts("empty", 0, 1, 1, 1));
  ASSERT_TRUE(WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), &block));
  std::vector<MemoryFile> set(1), outputs(2);
  set[0].Bytes = TestStub() + header;
  std::vector<MemoryFile> expected = Encode(set, 2, RecoveryFormatWithoutSlices);
  Accesses in(set), out(outputs);
  AtOnce lent;
  ASSERT_EQ(EncodeRecovery(in.Files, out.Files, nullptr, RecoveryFormatWithoutSlices, 0, &lent).Outcome,
            RecoveryDone);
  EXPECT_EQ(outputs[0].Bytes, expected[0].Bytes);
}

// Encoding in two halves, the container's head written between them (split from a file, on two
// threads): the parity made without reading the head, the payloads' CRCs given, and the recovery
// files those of one call; in several stripes (pieces of several coding chunks) and in several
// groups.
TEST(RecoveryEncoding, InTwoHalvesTheHeadComesBetweenAndTheFilesAreTheSame) {
  struct {
    int32_t Files;
    int64_t PieceSize;
    int32_t Rows;
  } cases[] = {{4, (3 << 20) + 100, 2}, {9, 700, 250}};
  for (const auto& c : cases) {
    std::vector<MemoryFile> set = MakeSet(c.Files, c.PieceSize);
    std::vector<MemoryFile> expected = Encode(set, c.Rows), outputs(c.Rows);
    Accesses in(set), out(outputs);
    std::vector<HeadlessAccess> headless{HeadlessAccess(&set[0])};
    std::vector<const FileAccess*> files = in.Files;
    files[0] = &headless[0];
    RecoveryEncoding encoding;
    AtOnce lent;
    ASSERT_EQ(EncodeParity(files, out.Files, nullptr, &encoding, &lent).Outcome, RecoveryDone);
    for (int32_t n = 0; n < c.Files; n++) {
      std::string payload = PayloadOf(set, static_cast<size_t>(n));
      EXPECT_EQ(encoding.Header.Files[n].Digest, Crc32cAdd(0, payload.data(), payload.size()));
    }
    for (MemoryFile& output : outputs) EXPECT_FALSE(HeaderReadable(output));
    ASSERT_EQ(FinishRecovery(MemoryAccess(&set[0]), out.Files, &encoding).Outcome, RecoveryDone);
    for (int32_t r = 0; r < c.Rows; r++)
      ASSERT_EQ(outputs[r].Bytes, expected[r].Bytes) << c.Files << " files, row " << r;
  }
}

// The second half holds the CRCs taken to the container's digest block: a payload that differs
// from it (changed while it was written) gives no recovery file a header.
TEST(RecoveryEncoding, InTwoHalvesAPayloadThatDisagreesWithTheHeadIsRefused) {
  std::vector<MemoryFile> set = MakeSet(4, 900), outputs(2);
  MemoryFile head = set[0];
  set[3].Bytes[5] ^= 1;
  Accesses in(set), out(outputs);
  RecoveryEncoding encoding;
  ASSERT_EQ(EncodeParity(in.Files, out.Files, nullptr, &encoding).Outcome, RecoveryDone);
  RecoveryResult result = FinishRecovery(MemoryAccess(&head), out.Files, &encoding);
  EXPECT_EQ(result.Outcome, RecoverySetDamaged);
  EXPECT_EQ(result.SetFile, 3);
  for (MemoryFile& output : outputs) EXPECT_FALSE(HeaderReadable(output));
}

// The set's files together must fit in 63 bits, as the digest block's total must (in the older
// format: with slices, so many would be refused on their own).
TEST(RecoveryLayout, SizesThatAddUpPast2To63AreRefused) {
  RecoveryHeader header{};
  header.Version = RecoveryFormatWithoutSlices;
  header.Code = RecoveryCodeCauchy;
  header.FileCount = 2;
  header.RowCount = 1;
  int64_t first = int64_t{1} << 62;
  header.Files = {{first, 0}, {INT64_MAX - PayloadOffset - first, 0}};
  EXPECT_TRUE(CompleteRecoveryGeometry(&header));
  header.Files[1].Payload++;
  EXPECT_FALSE(CompleteRecoveryGeometry(&header));
  header.Files = {{first, 0}, {first, 0}};
  EXPECT_FALSE(CompleteRecoveryGeometry(&header));
}

// Only sizes a split could have cut make a header: pieces of one size, the last of 1 byte to that
// size (the container's data may be of any size, empty too). Else a forged header could claim a
// million empty pieces that any recovery file "rebuilds".
TEST(RecoveryLayout, SizesNotCutAsASetAreRefused) {
  RecoveryHeader header{};
  header.Version = RecoveryFormatVersion;
  header.SliceSize = 1 << 20;
  header.Code = RecoveryCodeCauchy;
  header.RowCount = 2;
  auto complete = [&](std::vector<int64_t> sizes) {
    header.FileCount = static_cast<int32_t>(sizes.size());
    header.Files.clear();
    for (int64_t size : sizes) header.Files.push_back({size, 0});
    return CompleteRecoveryGeometry(&header);
  };
  EXPECT_TRUE(complete({0}));
  EXPECT_TRUE(complete({0, 1}));
  EXPECT_TRUE(complete({5000, 300, 300, 300}));
  EXPECT_TRUE(complete({7, 300, 300, 1}));
  EXPECT_FALSE(complete({7, 0}));              // an empty last piece
  EXPECT_FALSE(complete({7, 0, 0, 0}));        // empty pieces
  EXPECT_FALSE(complete({7, 300, 299, 300}));  // pieces of two sizes
  EXPECT_FALSE(complete({7, 300, 300, 301}));  // the last longer than the rest
}

}  // namespace

// --recovery P%: P % of the files of each group to the nearest file (a half up), at least one; a
// set larger than a group is held to its groups, not to its own count.
TEST(RecoveryShare, RowsArePercentOfTheLargestGroup) {
  const struct {
    int32_t files;
    double percent;
    int32_t rows;
  } cases[] = {
      {10, 10, 1},   {11, 10, 1},     {15, 10, 2},     {10, 25, 3},    {1, 0.5, 1},
      {1, 100, 1},   {100, 10, 10},   {100, 12.5, 13}, {254, 100, 127}, {1000, 10, 20},
      {100000, 1, 3}, {19, 10, 2},
  };
  for (const auto& c : cases) {
    int32_t rows = RecoveryRowsForShare(c.files, c.percent);
    EXPECT_EQ(rows, c.rows) << c.files << " files, " << c.percent << "%";
    // The share rounded for the largest group, and one fewer would not be.
    EXPECT_GE(rows + 0.5, LargestGroupFor(c.files, rows) * c.percent / 100 - 1e-6);
    if (rows > 1)
      EXPECT_LT(rows - 0.5, LargestGroupFor(c.files, rows - 1) * c.percent / 100 + 1e-6);
  }
}
