// The digest block through the tool: split writes it, join checks against it while it copies,
// verify reads every piece and writes nothing, info tells what it covers; a set without a valid
// block is handled as before.
#include <errno.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include "cli/set/copy.h"
#include "container/digest_block.h"
#include "integrity/crc32c.h"
#include "tests/cli/test_support.h"

namespace {

// The copies through memory move 1 MiB at a time; verify's reads, which only hash, 256 KiB.
const int64_t Chunk = 1 << 20;
const int64_t HashChunk = Chunk / 4;

void FlipBit(const std::string& path, int64_t offset, int bit = 0) {
  std::string byte = ReadBytesAt(path, offset, 1);
  ASSERT_EQ(byte.size(), 1u) << path << " " << offset;
  byte[0] = static_cast<char>(byte[0] ^ (1 << bit));
  ASSERT_TRUE(WriteBytesAt(path, offset, byte));
}

// Where a piece's data begins in its file.
int64_t DataStart(int n) { return n == 0 ? PayloadOffset : 0; }

class Digests : public CliTest {
 protected:
  // Splits data into base.exe, base.c001, ... of at most cap bytes; returns the number of files.
  int MakeSet(const std::string& base, const std::string& data, int64_t cap) {
    Write(base + ".bin", data);
    EXPECT_EQ(Run({"split", base + ".bin", "--size", std::to_string(cap), "-q"}), ExitComplete)
        << Err();
    Remove(base + ".bin");
    int files = 0;
    while (std::filesystem::exists(U8(Path(PieceFile(base, files))))) files++;
    return files;
  }
  // A set of four files of at most cap bytes, the last piece holding last bytes; returns the data.
  std::string MakeFourFiles(const std::string& base, int64_t cap, int64_t last, int seed) {
    std::string data = Pattern(static_cast<size_t>(cap - PayloadOffset + 2 * cap + last), seed);
    EXPECT_EQ(MakeSet(base, data, cap), 4);
    return data;
  }
  DigestBlock BlockOf(const std::string& container) {
    std::string header = ReadBytesAt(Path(container), HeaderOffset, HeaderSize);
    DigestBlock block;
    EXPECT_TRUE(ReadDigestBlock(reinterpret_cast<const uint8_t*>(header.data()), &block))
        << container;
    return block;
  }
  // The lines of verify's or join's report that name a file of the set.
  std::set<std::string> Named(const std::string& report, const std::string& base, int files) {
    std::set<std::string> named;
    for (int n = 0; n < files; n++) {
      if (report.find("  " + PieceFile(base, n) + ":") != std::string::npos)
        named.insert(PieceFile(base, n));
    }
    return named;
  }
};

TEST_F(Digests, SplitWritesABlockWithEveryPiecesDigest) {
  // 569280 bytes in the container, then pieces of 600000, the last of 1 byte.
  std::string data = MakeFourFiles("s", 600000, 1, 3);
  DigestBlock block = BlockOf("s.exe");
  EXPECT_EQ(block.Image.PieceCount, 4u);
  EXPECT_EQ(block.Image.RunLength, 1u);
  EXPECT_EQ(block.Image.FirstPayload, 569280u);
  EXPECT_EQ(block.Image.PieceSize, 600000u);
  EXPECT_EQ(block.LastPayload, 1);
  // Each digest against the stub's own CRC of that piece's data, as it lies in the files.
  for (int n = 0; n < 4; n++) {
    std::string payload = Read(PieceFile("s", n)).substr(static_cast<size_t>(DataStart(n)));
    EXPECT_EQ(block.Image.Digests[n], Crc32cAdd(0, payload.data(), payload.size())) << n;
  }
  Write("s.c004", "of another set");
  ASSERT_EQ(Run({"info", "s.exe"}), ExitComplete);
  EXPECT_NE(Out().find("Digests:   CRC-32C of each of the 4 pieces"), std::string::npos) << Out();
  EXPECT_NE(Out().find(
                "s.c004                       not of the set: its digest block gives fewer pieces"),
            std::string::npos)
      << Out();
}

// One flipped bit in any piece, at the first and last byte of its data and on both sides of a
// chunk boundary: join keeps the output and names that piece alone, and so does verify.
TEST_F(Digests, AFlippedBitIsNamedInEachPiece) {
  std::string data = MakeFourFiles("f", 300000, 1, 4);
  Mkdir("out");
  for (int n = 0; n < 4; n++) {
    int64_t size = n == 0 ? 269280 : n == 3 ? 1 : 300000;
    for (int64_t at : {int64_t{0}, Chunk - 1, Chunk, size - 1}) {
      if (at >= size) continue;
      std::string piece = PieceFile("f", n);
      FlipBit(Path(piece), DataStart(n) + at, 5);
      EXPECT_EQ(Run({"verify", "f.exe"}), ExitMismatch) << piece << " " << at;
      EXPECT_EQ(Named(Out(), "f", 4), std::set<std::string>{piece}) << Out();
      EXPECT_NE(Out().find(piece + ": damaged"), std::string::npos) << Out();

      EXPECT_EQ(Run({"join", "f.exe", "-o", "out/joined", "-f", "-q"}), ExitMismatch)
          << piece << " " << at;
      EXPECT_EQ(Named(Err(), "f", 4), std::set<std::string>{piece}) << Err();
      EXPECT_NE(Err().find("out/joined is possibly damaged"), std::string::npos) << Err();
      std::string joined = Read("out/joined");
      ASSERT_EQ(joined.size(), data.size()) << "the output is kept, the damage in it";
      int64_t where = (n == 0 ? 0 : 269280 + (n - 1) * 300000) + at;
      EXPECT_EQ(joined[static_cast<size_t>(where)] ^ data[static_cast<size_t>(where)], 1 << 5);
      FlipBit(Path(piece), DataStart(n) + at, 5);
    }
  }
  EXPECT_EQ(Run({"verify", "f.exe"}), ExitComplete) << Out();
  EXPECT_EQ(Run({"join", "f.exe", "-o", "out/joined", "-f", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("out/joined") == data);
}

// A piece with a byte less or more is named short or long, by join (which keeps the output of
// exactly the pieces the block gives) and by verify; a wrong size comes before a digest.
TEST_F(Digests, ShortAndLongPiecesAreNamed) {
  std::string data = MakeFourFiles("z", 600000, 1000, 5);
  Mkdir("out");
  struct Case {
    int piece;
    int64_t change;
    const char* word;
  };
  for (Case c : {Case{1, -1, "short"}, Case{2, +1, "long"}, Case{0, -1, "short"},
                 Case{3, +600000, "long"}}) {
    std::string piece = PieceFile("z", c.piece);
    std::string original = Read(piece);
    std::filesystem::resize_file(U8(Path(piece)), original.size() + c.change);
    std::string expected = std::to_string(original.size() - DataStart(c.piece));
    std::string line = piece + ": " + c.word + ": " +
                       std::to_string(original.size() + c.change - DataStart(c.piece)) +
                       " bytes of data, the set gives it " + expected;
    EXPECT_EQ(Run({"verify", "z.exe"}), ExitMismatch) << piece;
    EXPECT_NE(Out().find(line), std::string::npos) << Out();
    EXPECT_EQ(Named(Out(), "z", 4), std::set<std::string>{piece}) << Out();
    EXPECT_EQ(Run({"join", "z.exe", "-o", "out/j", "-f", "-q"}), ExitMismatch) << piece;
    EXPECT_NE(Err().find(line), std::string::npos) << Err();
    EXPECT_EQ(SizeOf(Path("out/j")), static_cast<int64_t>(data.size()) + c.change)
        << "every piece's data is kept";
    ASSERT_EQ(Run({"info", "z.exe"}), ExitMismatch);
    EXPECT_NE(Out().find(std::string(", ") + c.word + ": the set gives it "), std::string::npos)
        << Out();
    Write(piece, original);
  }
  EXPECT_EQ(Run({"join", "z.exe", "-o", "out/j", "-f", "-q"}), ExitComplete) << Err();
  // The rest of the data all in the first piece: the sizes add up, and still that piece is long.
  Write("z.c001", Read("z.c001") + Read("z.c002") + Read("z.c003"));
  EXPECT_EQ(Run({"join", "z.exe", "-o", "out/j", "-f", "-q"}), ExitMismatch);
  EXPECT_TRUE(Read("out/j") == data);
  EXPECT_EQ(Named(Err(), "z", 4), std::set<std::string>{"z.c001"}) << Err();
  EXPECT_EQ(Run({"info", "z.exe"}), ExitMismatch);
  EXPECT_NE(Out().find("the data adds up, but 1 file is not the size the digest block gives"),
            std::string::npos)
      << Out();
  EXPECT_NE(Out().find("z.c002                       not needed: the data is complete before it"),
            std::string::npos)
      << Out();
  // A piece so long that the data is complete without the pieces after it: join stops there, as
  // the joiner does; verify reads every piece all the same.
  Write("z.c001", Pattern(1300000, 14));
  FlipBit(Path("z.c002"), 0);
  EXPECT_EQ(Run({"join", "z.exe", "-o", "out/j", "-f", "-q"}), ExitMismatch);
  EXPECT_EQ(SizeOf(Path("out/j")), 569280 + 1300000);
  EXPECT_EQ(Named(Err(), "z", 4), std::set<std::string>{"z.c001"}) << Err();
  EXPECT_EQ(Run({"verify", "z.exe"}), ExitMismatch);
  EXPECT_EQ(Named(Out(), "z", 4), (std::set<std::string>{"z.c001", "z.c002"})) << Out();
}

// More pieces than digests: runs of two. A damaged piece is named with its run; a missing
// piece leaves the other of its run unchecked, and verify names every missing piece.
TEST_F(Digests, RunsOfPiecesShareADigest) {
  const int files = 421;  // the container's 1 byte, then 420 pieces of 30721 bytes
  std::string data = Pattern(1 + (files - 1) * 30721, 6);
  ASSERT_EQ(MakeSet("r", data, 30721), files);
  DigestBlock block = BlockOf("r.exe");
  EXPECT_EQ(block.Image.RunLength, 2u);
  EXPECT_EQ(block.DigestCount, 211);
  ASSERT_EQ(Run({"info", "r.exe"}), ExitComplete);
  EXPECT_NE(Out().find("Digests:   CRC-32C of runs of 2 pieces (421 pieces, 211 digests)"),
            std::string::npos)
      << Out();
  EXPECT_EQ(Run({"verify", "r.exe"}), ExitComplete) << Out();

  FlipBit(Path("r.c007"), 30720);
  FlipBit(Path("r.c420"), 0);  // the last run holds this piece alone
  EXPECT_EQ(Run({"verify", "r.exe"}), ExitMismatch);
  EXPECT_NE(
      Out().find("  r.c006 to r.c007: damaged: one or more of these 2 pieces (pieces 6 to 7)"),
      std::string::npos)
      << Out();
  EXPECT_NE(Out().find("  r.c420: damaged: its data differs"), std::string::npos) << Out();
  EXPECT_EQ(Run({"join", "r.exe", "-o", "joined", "-q"}), ExitMismatch);
  EXPECT_NE(Err().find("  r.c006 to r.c007: damaged"), std::string::npos) << Err();
  FlipBit(Path("r.c007"), 30720);
  FlipBit(Path("r.c420"), 0);

  Rename("r.c009", "away9");
  Rename("r.c200", "away200");
  EXPECT_EQ(Run({"verify", "r.exe"}), ExitMissingPiece);
  std::string out = Out();
  EXPECT_NE(out.find("  r.c009: missing"), std::string::npos) << out;
  EXPECT_NE(out.find("  r.c200: missing"), std::string::npos) << out;
  EXPECT_NE(out.find("  r.c008 to r.c009: not checked"), std::string::npos) << out;
  EXPECT_NE(out.find("  r.c200 to r.c201: not checked"), std::string::npos) << out;
  EXPECT_LT(out.find("r.c008 to"), out.find("r.c200: missing")) << "in piece order";
  EXPECT_EQ(out.find(": damaged"), std::string::npos) << out;
  EXPECT_EQ(Run({"join", "r.exe", "-o", "joined", "-f", "-q"}), ExitMissingPiece);
  EXPECT_NE(Err().find("piece 9 is missing"), std::string::npos) << Err();

  // Piece 201 cannot be judged without piece 200: verify reads as much with it as without it.
  static int chunks;
  OsFaultHook = [](OsCall call) {
    if (call == OsCallCopy) chunks++;
    return 0;
  };
  chunks = 0;
  EXPECT_EQ(Run({"verify", "r.exe"}), ExitMissingPiece);
  int withPiece201 = chunks;
  Rename("r.c201", "away201");
  chunks = 0;
  EXPECT_EQ(Run({"verify", "r.exe"}), ExitMissingPiece);
  EXPECT_EQ(chunks, withPiece201) << "a piece of a run that cannot be judged was read";
  OsFaultHook = nullptr;
}

// A valid block may claim 2^31 - 1 pieces (of one byte each, adding up to the header's size)
// beside a container and one piece: verify's work and what it keeps follow the files there, so
// it names the missing pieces as runs at once instead of looking for each of them.
TEST_F(Digests, AClaimOfBillionsOfPiecesCostsWhatTheFilesThereCost) {
  const int32_t claimed = INT32_MAX;
  Write("huge.exe", ContainerBytes(Texts("huge.bin", std::to_string(100 + int64_t{claimed} - 1)),
                                   Pattern(100)));
  std::string header = ReadBytesAt(Path("huge.exe"), HeaderOffset, HeaderSize);
  DigestBlock block = {};
  block.Image.PieceCount = claimed;
  block.Image.RunLength = static_cast<uint32_t>(RunLengthFor(claimed));
  block.Image.FirstPayload = 100;
  block.Image.PieceSize = 1;
  ASSERT_TRUE(WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), &block));
  ASSERT_TRUE(WriteBytesAt(Path("huge.exe"), HeaderOffset, header));
  Write("huge.c002", "x");
  Write("HUGE.C020", "x");
  Write("huge.c20", "not a piece's name");

  EXPECT_EQ(Run({"verify", "huge.exe"}), ExitMissingPiece);
  std::string out = Out();
  EXPECT_NE(out.find("  huge.c001: missing (looked for huge.c001)"), std::string::npos) << out;
  EXPECT_NE(out.find("  huge.c003 to huge.c019: missing, all 17 (looked for huge.c003, ...)"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  huge.c021 to huge.c2147483646: missing, all 2147483626"), std::string::npos)
      << out;
  EXPECT_NE(out.find("missing pieces: 2147483644 of 2147483647"), std::string::npos) << out;
  EXPECT_EQ(out.find("C020: missing"), std::string::npos) << out;

  // An interruption ends the walk before its next piece.
  CliInterrupted = 1;
  EXPECT_EQ(Run({"verify", "huge.exe"}), ExitInterrupted);
  EXPECT_EQ(Run({"info", "huge.exe"}), ExitInterrupted);
  CliInterrupted = 0;
}

// Copies move 1 MiB chunks: data of exact chunk multiples, one byte either side, an empty
// container, a last piece of one byte; the last byte of every piece is checked too.
TEST_F(Digests, ChunkBoundariesAndEmptyData) {
  struct Case {
    int64_t size;
    int64_t cap;
  };
  const Case cases[] = {
      {0, 40000},                              // the container alone, no data
      {2 * Chunk, PayloadOffset + 2 * Chunk},  // the container's data exactly two chunks
      {Chunk + 1 + 3 * Chunk, PayloadOffset + Chunk + 1},
      {Chunk - 1 + Chunk + 1, PayloadOffset + Chunk - 1},
      {4 * Chunk + 1, 2 * Chunk},  // pieces of two chunks, a last of a few bytes
  };
  for (const Case& c : cases) {
    std::string data = Pattern(static_cast<size_t>(c.size), static_cast<uint32_t>(c.size + 1));
    int files = MakeSet("b", data, c.cap);
    ASSERT_GT(files, 0);
    EXPECT_EQ(Run({"verify", "b.exe"}), ExitComplete) << c.size << " " << Out();
    ASSERT_EQ(Run({"join", "b.exe", "-o", "joined", "-f", "-q"}), ExitComplete)
        << c.size << " " << Err();
    EXPECT_TRUE(Read("joined") == data) << c.size;
    for (int n = 0; n < files; n++) {
      std::string piece = PieceFile("b", n);
      int64_t end = SizeOf(Path(piece));
      if (end == DataStart(n)) continue;  // no data to damage
      FlipBit(Path(piece), end - 1, 7);
      EXPECT_EQ(Run({"verify", "b.exe"}), ExitMismatch) << c.size << " " << piece;
      EXPECT_EQ(Named(Out(), "b", files), std::set<std::string>{piece}) << Out();
      FlipBit(Path(piece), end - 1, 7);
    }
    for (int n = 0; n < files; n++) Remove(PieceFile("b", n));
  }
}

// Chunks of zeros are not written: a run of zeros in the input stays a hole in the set and in
// the joined file, and the digests still cover it.
TEST_F(Digests, ZerosStayHoles) {
  std::string data = Pattern(100000, 7) + std::string(8 * Chunk, '\0') + Pattern(100000, 8);
  ASSERT_EQ(MakeSet("h", data, 1 << 30), 1);
  EXPECT_LT(AllocatedSize(Path("h.exe")), static_cast<int64_t>(data.size()) - 4 * Chunk);
  ASSERT_EQ(Run({"join", "h.exe", "-o", "joined", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("joined") == data);
  EXPECT_LT(AllocatedSize(Path("joined")), static_cast<int64_t>(data.size()) - 4 * Chunk);
  ASSERT_TRUE(WriteBytesAt(Path("h.exe"), PayloadOffset + 100000 + 5 * Chunk, "x"));
  EXPECT_EQ(Run({"verify", "h.exe", "-q"}), ExitMismatch);
}

// A set whose header has no valid block (other splitters' zeros or random filler, or ours with
// its magic broken) joins as before: a flipped bit goes unnoticed there, and verify can only
// measure it.
TEST_F(Digests, SetsWithoutABlockAreHandledAsBefore) {
  std::string first = Pattern(9000, 9), second = Pattern(7000, 10);
  HeaderTexts texts = Texts("plain.bin", "16000");
  std::string header = HeaderBytes(texts);
  std::string noisy = header;
  std::string noise = Pattern(HeaderSize, 11);
  for (int record = 0; record < HeaderRecordCount; record++) {
    size_t at = static_cast<size_t>(record * HeaderRecordSize);
    size_t from = at + 1 + static_cast<unsigned char>(header[at]);
    noisy.replace(from, at + HeaderRecordSize - from, noise, from, at + HeaderRecordSize - from);
  }
  std::string stub(reinterpret_cast<const char*>(StubImage), StubImageSize);
  ASSERT_EQ(MakeSet("t", Pattern(569280 + 600000, 12), 600000), 2);
  FlipBit(Path("t.exe"),
          HeaderOffset + HeaderRecordSize + DigestBlockStart);  // the magic's first byte
  FlipBit(Path("t.c001"), 100);
  for (const std::string& head : {stub + header, stub + noisy}) {
    Write("p.exe", head + first);
    Write("p.c001", second);
    ASSERT_EQ(Run({"join", "p.exe", "-o", "joined", "-f", "-q"}), ExitComplete) << Err();
    EXPECT_TRUE(Read("joined") == first + second);
    EXPECT_EQ(Run({"verify", "p.exe"}), ExitUnchecked);
    EXPECT_NE(Out().find("p.exe: no digests: only the sizes can be checked"), std::string::npos)
        << Out();
    EXPECT_NE(Out().find("sizes add up"), std::string::npos) << Out();
    ASSERT_EQ(Run({"info", "p.exe"}), ExitComplete);
    EXPECT_NE(Out().find("Digests:   none"), std::string::npos) << Out();
  }
  EXPECT_EQ(Run({"join", "t.exe", "-o", "joined", "-f", "-q"}), ExitComplete)
      << "nothing to check it against";
  EXPECT_EQ(Run({"verify", "t.exe"}), ExitUnchecked) << Out();
  // Without a block the joiner's accounting decides: the data short by a byte looks for a piece
  // more, a byte too many is a mismatch.
  Write("p.c001", second.substr(1));
  EXPECT_EQ(Run({"verify", "p.exe"}), ExitMissingPiece) << Out();
  EXPECT_NE(Out().find("  p.c002: missing"), std::string::npos) << Out();
  Write("p.c001", second + "x");
  EXPECT_EQ(Run({"verify", "p.exe"}), ExitMismatch) << Out();
}

// A byte of the joiner program flipped: the stub digest finds it, as a digest finds a damaged
// piece. Every command names it (the data still good), join keeps its output, and repair puts
// this tool's own joiner back without recovery files, the set is then whole. A set made before
// the stub digest (its field cleared, the block sealed again) is judged as it was.
TEST_F(Digests, ADamagedJoinerProgramIsDamage) {
  std::string data = MakeFourFiles("j", 300000, 1000, 13);
  std::string pristine = Read("j.exe");
  FlipBit(Path("j.exe"), 20000);
  EXPECT_EQ(Run({"verify", "j.exe"}), ExitMismatch);
  EXPECT_EQ(Out(),
            "j.exe: digests: CRC-32C of each of the 4 pieces\n"
            "  j.exe: its Windows joiner is damaged; the data is good\n"
            "Result:    possibly damaged: j.exe's joiner program or header; to mend it, run "
            "`tarnovell repair j.exe`\n");
  EXPECT_EQ(Run({"verify", "j.exe", "--json"}), ExitMismatch);
  EXPECT_NE(Out().find("\"program\": \"damaged\""), std::string::npos) << Out();
  EXPECT_NE(Out().find("\"verdict\": \"program_damaged\""), std::string::npos) << Out();
  EXPECT_EQ(Run({"info", "j.exe"}), ExitMismatch);
  EXPECT_NE(Out().find("Damaged:   j.exe: its Windows joiner is damaged\n"), std::string::npos);
  EXPECT_EQ(Run({"join", "j.exe", "-o", "joined", "-q"}), ExitMismatch);
  EXPECT_TRUE(Read("joined") == data);
  EXPECT_NE(Err().find("j.exe: its Windows joiner is damaged; the data is good"),
            std::string::npos)
      << Err();
  EXPECT_EQ(Run({"repair", "j.exe"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("rebuilt j.exe (its joiner program, from this tool's own)"),
            std::string::npos);
  EXPECT_TRUE(Read("j.exe") == pristine);
  EXPECT_EQ(Run({"verify", "j.exe", "-q"}), ExitComplete) << Out();

  ForgetStubDigest(Path("j.exe"));
  FlipBit(Path("j.exe"), 20000);
  EXPECT_EQ(Run({"verify", "j.exe", "-q"}), ExitComplete) << Out();
  EXPECT_EQ(Run({"repair", "j.exe"}), ExitNotRepairable) << "nothing tells the damage";
}

// A piece cut short between two chunks of its read: join and verify say so, and join leaves
// nothing behind.
std::string PieceToCut;
int ChunksRead = 0;
int CutBeforeThirdChunk(OsCall call) {
  if (call == OsCallCopy && ++ChunksRead == 3) std::filesystem::resize_file(U8(PieceToCut), 1000);
  return 0;
}

TEST_F(Digests, APieceThatShrinksWhileItIsRead) {
  // The container's data is one chunk of join's, the piece's two.
  const int64_t cap = Chunk + 27856;
  ASSERT_EQ(MakeSet("c", Pattern(static_cast<size_t>(cap - PayloadOffset + cap), 15), cap), 2);
  std::string piece = Read("c.c001");
  PieceToCut = Path("c.c001");
  OsFaultHook = CutBeforeThirdChunk;
  Mkdir("out");
  // Join and verify read in smaller chunks, on two threads: the cut comes before the second chunk
  // of the piece that is asked for, whichever thread asks.
  const int containerChunks = static_cast<int>((cap - PayloadOffset + HashChunk - 1) / HashChunk);
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"join", "c.exe", "-o", "out"},
        std::vector<std::string>{"verify", "c.exe"}}) {
    ChunksRead = 1 - containerChunks;
    EXPECT_EQ(Run(command), ExitFileError) << command[0];
    EXPECT_NE(Err().find("c.c001 became shorter while it was read"), std::string::npos) << Err();
    Write("c.c001", piece);
  }
  EXPECT_EQ(List("out"), std::set<std::string>{});
}

TEST_F(Digests, VerifyExitCodesAndItWritesNothing) {
  std::string data = MakeFourFiles("v", 600000, 5, 13);
  std::set<std::string> files = List();
  EXPECT_EQ(Run({"verify", "v.exe", "-q"}), ExitComplete);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(Run({"verify", "v.exe"}), ExitComplete);
  EXPECT_NE(Out().find("v.exe: whole: 4 pieces, " + std::to_string(data.size()) + " bytes"),
            std::string::npos)
      << Out();
  Mkdir("elsewhere");
  for (std::string piece : {"v.c002", "v.c003"}) Rename(piece, "elsewhere/" + piece);
  EXPECT_EQ(Run({"verify", "v.exe"}), ExitMissingPiece);
  EXPECT_NE(Out().find("  v.c002: missing"), std::string::npos) << Out();
  EXPECT_NE(Out().find("  v.c003: missing"), std::string::npos) << Out();
  Rename("elsewhere/v.c002", "v.c002");
  FlipBit(Path("v.c002"), 9);
  EXPECT_EQ(Run({"verify", "v.exe"}), ExitMismatch) << "damage outweighs a missing piece";
  EXPECT_NE(Out().find("  v.c003: missing"), std::string::npos) << Out();
  Rename("elsewhere/v.c003", "v.c003");
  Mkdir("v.c001.folder");
  Rename("v.c001", "v.c001.folder/v.c001");
  Rename("v.c001.folder", "v.c001");
  EXPECT_EQ(Run({"verify", "v.exe"}), ExitFileError);
  EXPECT_NE(Err().find("is not a regular file"), std::string::npos) << Err();
  Write("bad.exe", "MZ");
  EXPECT_EQ(Run({"verify", "bad.exe"}), ExitBadContainer);
  EXPECT_EQ(Run({"verify"}), ExitUsage);
  files.insert({"elsewhere", "bad.exe"});
  EXPECT_EQ(List(), files) << "verify leaves no file behind";
}

// verify's read on two threads: the CRC of the bytes in order, continued from the one given, for
// no bytes, one, a chunk and either side of it, an odd count of chunks, join's chunk and either
// side of it, and many chunks and a few bytes; each from an offset of no chunk's size.
TEST_F(Digests, TheReadOnTwoThreadsHashesTheBytesInOrder) {
  const int64_t offset = 30721;
  const int64_t sizes[] = {0,         1,         4097,         HashChunk - 1, HashChunk,
                           HashChunk + 1,        2 * HashChunk, 2 * HashChunk + 1,
                           3 * HashChunk + 777,  7 * HashChunk, Chunk - 1,
                           Chunk,     Chunk + 1, 2 * Chunk + 1, 5 * Chunk + 12345};
  std::string bytes = Pattern(static_cast<size_t>(offset + 5 * Chunk + 12345), 21);
  Write("data", bytes);
  OsFileInfo info;
  OsFile file = OsOpenRead(Path("data"), &info);
  ASSERT_NE(file, NoFile);
  const uint32_t begun = Crc32cAdd(0, "before", 6);
  for (int64_t size : sizes) {
    uint32_t crc = begun;
    EXPECT_EQ(HashThroughMemory(file, offset, size, 0, &crc), size) << size;
    EXPECT_EQ(crc, Crc32cAdd(begun, bytes.data() + offset, static_cast<size_t>(size))) << size;
  }
  OsClose(file);
}

// join's copy on two threads: every byte where one thread would have put it, the CRC of them in
// order; a run of zeros left unwritten reads back as zeros.
TEST_F(Digests, TheCopyOnTwoThreadsPutsEveryByteInPlace) {
  const int64_t offset = 30721, at = 2 * 4096 + 3;
  const int64_t sizes[] = {0, 1, HashChunk - 1, HashChunk + 1, 3 * HashChunk + 777,
                           7 * HashChunk, Chunk + 1, 5 * Chunk + 12345};
  std::string bytes = Pattern(static_cast<size_t>(offset + 5 * Chunk + 12345), 24);
  bytes.replace(static_cast<size_t>(offset + 2 * HashChunk), static_cast<size_t>(2 * HashChunk),
                static_cast<size_t>(2 * HashChunk), '\0');
  Write("data", bytes);
  OsFileInfo info;
  OsFile file = OsOpenRead(Path("data"), &info);
  ASSERT_NE(file, NoFile);
  for (int64_t size : sizes) {
    Write("out", std::string(static_cast<size_t>(at), 'x'));
    OsFile out = OsOpenWrite(Path("out"), &info);
    ASSERT_NE(out, NoFile);
    uint32_t crc = 0;
    EXPECT_EQ(CopyOnTwoThreads(file, offset, out, at, size, 0, &crc), size) << size;
    ASSERT_TRUE(OsSetLength(out, at + size));
    OsClose(out);
    EXPECT_EQ(crc, Crc32cAdd(0, bytes.data() + offset, static_cast<size_t>(size))) << size;
    EXPECT_TRUE(Read("out") == std::string(static_cast<size_t>(at), 'x') +
                                   bytes.substr(static_cast<size_t>(offset),
                                                static_cast<size_t>(size)))
        << size;
  }
  OsClose(file);
}

#ifndef _WIN32
// A write that fails on either thread fails the copy with its error: the output's size limit
// falls in the first half of the chunks, or in the second.
TEST_F(Digests, AWriteThatFailsOnEitherThreadFailsTheCopy) {
  const int64_t size = 13 * HashChunk + 5;  // 7 chunks on this thread, 7 beside
  Write("data", Pattern(static_cast<size_t>(size), 25));
  OsFileInfo info;
  OsFile file = OsOpenRead(Path("data"), &info);
  ASSERT_NE(file, NoFile);
  struct rlimit before;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  signal(SIGXFSZ, SIG_IGN);
  for (int64_t limit : {2 * HashChunk, 10 * HashChunk}) {
    Write("out", "");
    OsFile out = OsOpenWrite(Path("out"), &info);
    ASSERT_NE(out, NoFile);
    struct rlimit capped = before;
    capped.rlim_cur = static_cast<rlim_t>(limit);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &capped), 0);
    uint32_t crc = 0;
    int64_t got = CopyOnTwoThreads(file, 0, out, 0, size, 0, &crc);
    int error = OsLastError();
    setrlimit(RLIMIT_FSIZE, &before);
    OsClose(out);
    EXPECT_EQ(got, -1) << limit;
    EXPECT_EQ(error, EFBIG) << limit;
  }
  signal(SIGXFSZ, SIG_DFL);
  OsClose(file);
}
#endif

// Which thread a failure is put in: the test's own, or the one beside it.
thread_local bool OnTestThread = false;
bool FailOnTestThread = false;
int AsksBeforeFailure = 0;  // on that thread; then done with
std::string FileToCut;      // empty: the failure is an error, else this file is cut short
int FailureError = 0;

int FailOnOneThread(OsCall call) {
  if (call != OsCallCopy || OnTestThread != FailOnTestThread || AsksBeforeFailure < 0) return 0;
  if (AsksBeforeFailure-- > 0) return 0;
  if (FileToCut.empty()) return FailureError;
  std::filesystem::resize_file(U8(FileToCut), 1000);
  return 0;
}

// A failure on either thread of verify's read is told as one thread's read tells it: an error
// as -1 with that error, a file cut short as fewer bytes than asked for.
TEST_F(Digests, AFailureOnEitherThreadOfTheReadIsTold) {
  const int64_t size = 3 * Chunk + 12345;  // 13 chunks of verify's: 7 on this thread, 6 beside
  std::string bytes = Pattern(static_cast<size_t>(size), 22);
  OnTestThread = true;
  for (bool cut : {false, true}) {
    for (bool onTestThread : {true, false}) {
      Write("data", bytes);
      OsFileInfo info;
      OsFile file = OsOpenRead(Path("data"), &info);
      ASSERT_NE(file, NoFile);
      FailOnTestThread = onTestThread;
      AsksBeforeFailure = 1;
      FileToCut = cut ? Path("data") : "";
      FailureError = onTestThread ? 5 : 13;
      OsFaultHook = FailOnOneThread;
      OsSetLastError(0);
      uint32_t crc = 0;
      int64_t got = HashThroughMemory(file, 0, size, 0, &crc);
      int error = OsLastError();
      OsFaultHook = nullptr;
      OsClose(file);
      std::string where = std::string(cut ? "cut" : "error") + (onTestThread ? " here" : " beside");
      EXPECT_EQ(AsksBeforeFailure, -1) << where << ": the failure was never put in";
      if (cut) {
        EXPECT_GE(got, 0) << where;
        EXPECT_LT(got, size) << where;
      } else {
        EXPECT_EQ(got, -1) << where;
        EXPECT_EQ(error, FailureError) << where;
      }
    }
  }
  OnTestThread = false;
}

// verify tells a failed read on either thread as it tells any failed read of a piece.
TEST_F(Digests, VerifyTellsAFailedReadOnEitherThread) {
  ASSERT_EQ(MakeSet("f", Pattern(static_cast<size_t>(3 * Chunk), 23), PayloadOffset + 3 * Chunk),
            1);
  OnTestThread = true;
  for (bool onTestThread : {true, false}) {
    FailOnTestThread = onTestThread;
    AsksBeforeFailure = 1;
    FileToCut = "";
    FailureError = onTestThread ? 5 : 13;
    OsFaultHook = FailOnOneThread;
    EXPECT_EQ(Run({"verify", "f.exe"}), ExitFileError) << onTestThread;
    OsFaultHook = nullptr;
    EXPECT_NE(Err().find("tarnovell: file system error: reading "), std::string::npos) << Err();
    EXPECT_NE(Err().find("f.exe: " + OsErrorText(FailureError) + "\n"), std::string::npos)
        << Err();
  }
  OnTestThread = false;
}

}  // namespace
