// SHA-256 through the build's library (libgcrypt on Linux; BCrypt in the Windows build, under
// Wine) and BASE.sha256 through the tool: split --checksums writes it with the set, verify and
// join judge by it without trusting it.
#include <map>

#include "cli/set/checksums.h"
#include "integrity/sha256.h"
#include "tests/cli/test_support.h"

namespace {

// The digest of bytes fed in chunks of the sizes given, in turn (all at once without any).
std::string HexOf(const std::string& bytes, const std::vector<size_t>& chunks = {}) {
  Sha256 hash;
  size_t at = 0;
  for (size_t k = 0; !chunks.empty() && at < bytes.size(); k++) {
    size_t chunk = std::min(chunks[k % chunks.size()], bytes.size() - at);
    hash.Add(bytes.data() + at, chunk);
    at += chunk;
  }
  hash.Add(bytes.data() + at, bytes.size() - at);
  Sha256Digest digest;
  EXPECT_TRUE(hash.End(&digest));
  return Sha256Hex(digest);
}

// FIPS 180-4's examples and the million 'a's; fed in odd chunks, each crossing the 64-byte
// blocks another way; and a digest carried by a moved object.
TEST(Sha256Test, KnownAnswersWhateverTheChunks) {
  EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const char twoBlocksHex[] = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
  EXPECT_EQ(HexOf(twoBlocks), twoBlocksHex);
  EXPECT_EQ(HexOf(twoBlocks, {1, 2, 3}), twoBlocksHex);
  const std::string million(1000000, 'a');
  const char millionHex[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
  EXPECT_EQ(HexOf(million), millionHex);
  EXPECT_EQ(HexOf(million, {1, 63, 64, 65, 1000, 4097, 7}), millionHex);

  Sha256 first;
  first.Add("ab", 2);
  Sha256 moved(std::move(first));
  moved.Add("c", 1);
  Sha256Digest digest;
  ASSERT_TRUE(moved.End(&digest));
  EXPECT_EQ(Sha256Hex(digest), HexOf("abc"));
  EXPECT_FALSE(first.End(&digest)) << "a moved-from digest gave a result";
}

const std::string HexA = std::string(63, 'a') + "b";

Sha256Digest DigestA() {
  Sha256Digest digest;
  EXPECT_TRUE(ParseSha256Hex(HexA, &digest));
  return digest;
}

// sha256sum's own lines: two spaces, and a name with a backslash, a newline or a carriage return
// escaped behind a leading backslash (as coreutils 9 writes and reads them); read back alike,
// with the binary mark and CR LF endings that other tools write.
TEST(ChecksumTextTest, LinesAsSha256sumWritesAndReadsThem) {
  EXPECT_EQ(ChecksumLineText("my film.avi", DigestA()), HexA + "  my film.avi\n");
  const std::string odd = "a\\b\nc\rd";
  EXPECT_EQ(ChecksumLineText(odd, DigestA()), "\\" + HexA + "  a\\\\b\\nc\\rd\n");
  std::vector<ChecksumLine> lines;
  std::string why;
  std::string upper = HexA;
  upper[0] = 'A';
  ASSERT_TRUE(ParseChecksumText(
      ChecksumLineText(odd, DigestA()) + "\n" + upper + " *x.c001\r\n" + HexA + "  \\n", &lines,
      &why))
      << why;
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Name, odd);
  EXPECT_EQ(lines[1].Name, "x.c001");
  EXPECT_EQ(lines[2].Name, "\\n") << "a line without the leading backslash is not unescaped";
  for (const ChecksumLine& line : lines) EXPECT_TRUE(line.Digest == DigestA());
}

TEST(ChecksumTextTest, AnythingElseIsRefused) {
  std::string badDigit = HexA;
  badDigit[5] = 'g';
  const std::vector<std::string> refused = {
      HexA.substr(1) + "   x\n",                // 63 digits
      HexA + " x\n",                            // one space
      HexA + "  \n",                            // no name
      "\\" + HexA + "  a\\qb\n",                // no such escape
      "\\" + HexA + "  a\\\n",                  // a backslash at the end
      badDigit + "  x\n",                       // not a digit
      HexA + "  x\n" + HexA + "  x\n",          // a name twice
      HexA + "  x\n" + std::string("y\0z", 3),  // binary
      "SHA256 (x) = " + HexA + "\n",            // BSD's tag format
  };
  for (const std::string& text : refused) {
    std::vector<ChecksumLine> lines;
    std::string why;
    EXPECT_FALSE(ParseChecksumText(text, &lines, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }
}

// The SHA-256 of each file in the scratch folder named, as sha256sum would list them.
class ChecksumTest : public CliTest {
 protected:
  std::string LineOf(const std::string& name, const std::string& file) {
    Sha256Digest digest;
    EXPECT_TRUE(ParseSha256Hex(HexOf(Read(file)), &digest));
    return ChecksumLineText(name, digest);
  }
  std::string SumsOf(const std::string& original, const std::vector<std::string>& files) {
    std::string text = LineOf(original, original);
    for (const std::string& file : files) text += LineOf(file, file);
    return text;
  }
  std::map<std::string, std::string> Parsed(const std::string& file) {
    std::vector<ChecksumLine> lines;
    std::string why;
    EXPECT_TRUE(ParseChecksumText(Read(file), &lines, &why)) << why;
    std::map<std::string, std::string> digests;
    for (const ChecksumLine& line : lines) digests[line.Name] = Sha256Hex(line.Digest);
    return digests;
  }
};

// Every file of the set and the original under record 1's name (UTF-8), each with its digest;
// the set's summary names the file; join finds the match and says so.
TEST_F(ChecksumTest, SplitNamesTheOriginalAndEveryFile) {
  const std::string data = Pattern(250000);
  Write("data.bin", data);
  const std::string name = "\xD0\xBC\xD0\xBE\xD0\xB9 film.avi";  // "мой film.avi"
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums", "--name", name}),
            ExitComplete)
      << Err();
  EXPECT_NE(Out().find("checksums in \xD0\xBC\xD0\xBE\xD0\xB9 film.sha256"), std::string::npos)
      << Out();
  const std::string sums = "\xD0\xBC\xD0\xBE\xD0\xB9 film.sha256";
  std::map<std::string, std::string> expected = {{name, HexOf(data)}};
  for (int n = 0; n <= 2; n++) {
    std::string file = PieceFile("\xD0\xBC\xD0\xBE\xD0\xB9 film", n);
    expected[file] = HexOf(Read(file));
  }
  EXPECT_EQ(Parsed(sums), expected);
  EXPECT_EQ(Read(sums).rfind(LineOf(name, "data.bin"), 0), 0u) << "the original comes first";

  Mkdir("out");
  ASSERT_EQ(Run({"join", "\xD0\xBC\xD0\xBE\xD0\xB9 film.exe", "-o", "out"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("; SHA-256 matches " + sums), std::string::npos) << Out();
  ASSERT_EQ(Run({"verify", "\xD0\xBC\xD0\xBE\xD0\xB9 film.exe"}), ExitComplete) << Err();
  EXPECT_NE(Out().find(sums + ": the SHA-256 of 3 files matches"), std::string::npos) << Out();
  EXPECT_EQ(Err(), "");
}

// BASE.sha256 fits the size too: its lines for the original (73 bytes), the container (271) and
// 130 pieces (272 each, the names being long) pass 31000 bytes; refused before anything is written.
TEST_F(ChecksumTest, AChecksumFileLargerThanTheSizeIsRefused) {
  Write("in.bin", Pattern(130 * 31000));
  const std::string base(200, 'b');
  EXPECT_EQ(Run({"split", "in.bin", "-s", "31000", "--base", base, "--checksums"}), ExitUsage);
  EXPECT_NE(Err().find(base + ".sha256 would be 35704 bytes, more than --size 31000"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List(), std::set<std::string>{"in.bin"});
}

// A set without digests (another splitter's) with BASE.sha256 beside it: the checksums are all
// there is to judge its contents, so a difference is damage (exit 1) for verify and join.
TEST_F(ChecksumTest, WithoutDigestsADifferenceIsDamage) {
  std::vector<std::string> payloads = Patterns({5000, 7000, 3000});
  WriteSet("s", "s.bin", payloads);
  Write("s.bin", payloads[0] + payloads[1] + payloads[2]);
  EXPECT_EQ(Run({"verify", "s.exe"}), ExitUnchecked) << Out();
  Write("s.sha256", SumsOf("s.bin", {"s.exe", "s.c001", "s.c002"}));
  Remove("s.bin");

  EXPECT_EQ(Run({"verify", "s.exe"}), ExitComplete) << Out() << Err();
  EXPECT_NE(Out().find("the SHA-256 of each matches s.sha256"), std::string::npos) << Out();
  EXPECT_EQ(Run({"join", "s.exe", "-o", "j1"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("SHA-256 matches s.sha256"), std::string::npos) << Out();

  std::string piece = Read("s.c001");
  piece[3000] ^= 1;  // the same size: only the contents tell
  Write("s.c001", piece);
  EXPECT_EQ(Run({"verify", "s.exe"}), ExitMismatch) << Out();
  EXPECT_NE(Out().find("  s.c001: damaged: its SHA-256 differs from s.sha256"), std::string::npos)
      << Out();
  EXPECT_EQ(Out().find("s.c002: damaged"), std::string::npos) << Out();
  EXPECT_NE(Out().find("Result:    possibly damaged"), std::string::npos) << Out();
  EXPECT_EQ(Run({"join", "s.exe", "-o", "j2"}), ExitMismatch) << Err();
  EXPECT_NE(Err().find("j2 is possibly damaged: its SHA-256 differs from s.sha256"),
            std::string::npos)
      << Err();
}

// Checksums of another set (every file the digests vouch for differs) or of another original's
// name are warned about and not counted; a checksum file that matches the set but for a file whose
// CRC-32C is the set's names that file forged: a CRC cannot tell a file changed on purpose, a
// SHA-256 can. The file itself is left as it is.
TEST_F(ChecksumTest, ChecksumsOfAnotherSetAreWarnedAboutAndAForgeryIsNamed) {
  Write("data.bin", Pattern(250000));
  Write("other.bin", Pattern(250000, 9));
  Mkdir("o");
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums", "-q"}), ExitComplete);
  ASSERT_EQ(Run({"split", "other.bin", "--size", "100000", "--checksums", "-q", "--base", "data",
                 "-d", "o"}),
            ExitComplete);
  const std::string own = Read("data.sha256");
  std::string otherName = own;
  otherName.replace(otherName.find("  data.bin"), 10, "  film.bin");
  for (const std::string& foreign : {Read("o/data.sha256"), otherName}) {
    Write("data.sha256", foreign);
    EXPECT_EQ(Run({"verify", "data.exe"}), ExitComplete) << Out() << Err();
    EXPECT_NE(Err().find("warning: data.sha256 looks like the checksums of another set"),
              std::string::npos)
        << Err();
    EXPECT_EQ(Out().find("damaged"), std::string::npos) << Out();
    EXPECT_EQ(Run({"join", "data.exe", "-o", "j", "--force"}), ExitComplete) << Err();
    EXPECT_TRUE(Read("data.sha256") == foreign) << "the checksum file was changed";
  }
  // One line wrong: the piece's (join, which judges the joined file alone, finds it whole), then
  // the original's (verify does not read the original).
  std::string wrongPiece = own;
  size_t c002 = wrongPiece.find("  data.c002") - 64;
  wrongPiece[c002] = wrongPiece[c002] == '0' ? '1' : '0';
  Write("data.sha256", wrongPiece);
  EXPECT_EQ(Run({"verify", "data.exe"}), ExitMismatch) << Out() << Err();
  EXPECT_NE(Out().find("  data.c002: damaged: its SHA-256 differs from data.sha256, though its "
                       "CRC-32C is the set's: forged, or changed on purpose\n"
                       "Result:    possibly damaged: fetch the files named again\n"),
            std::string::npos)
      << Out();
  EXPECT_EQ(Run({"join", "data.exe", "-o", "j", "--force"}), ExitComplete) << Err();
  EXPECT_NE(Out().find("SHA-256 matches"), std::string::npos) << Out();
  std::string wrongOriginal = own;
  wrongOriginal[0] = wrongOriginal[0] == '0' ? '1' : '0';
  Write("data.sha256", wrongOriginal);
  EXPECT_EQ(Run({"verify", "data.exe"}), ExitComplete) << Err();
  EXPECT_EQ(Run({"join", "data.exe", "-o", "j", "--force"}), ExitMismatch) << Err();
  EXPECT_NE(Err().find("its SHA-256 differs from data.sha256, though every piece matches the "
                       "set's digests: a piece was forged or changed on purpose"),
            std::string::npos)
      << Err();
  EXPECT_TRUE(Read("j") == Read("data.bin"));
  // Where they agree with the digests, a piece the digests find damaged is told once.
  Write("data.sha256", own);
  std::string piece = Read("data.c001");
  piece[10] ^= 1;
  Write("data.c001", piece);
  EXPECT_EQ(Run({"verify", "data.exe"}), ExitMismatch);
  EXPECT_EQ(Err(), "");
  EXPECT_EQ(Out().find("SHA-256 differs"), std::string::npos) << Out();
}

// A checksum file that disagrees with the container alone, whose data the digests find whole, is
// evidence of damage to its joiner program or header, which the digests of a set made before the
// stub digest do not cover: counted, the container named.
TEST_F(ChecksumTest, AChecksumFileThatDisagreesWithTheContainerAloneNamesIt) {
  Write("data.bin", Pattern(250000));
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums", "-q"}), ExitComplete);
  ForgetStubDigest(Path("data.exe"));
  Write("data.sha256", SumsOf("data.bin", {"data.exe", "data.c001", "data.c002"}));
  std::string container = Read("data.exe");
  container[20000] ^= 1;
  Write("data.exe", container);
  EXPECT_EQ(Run({"verify", "data.exe"}), ExitMismatch) << Out();
  EXPECT_EQ(Err(), "");
  EXPECT_NE(Out().find("  data.exe: damaged: its SHA-256 differs from data.sha256\n"
                       "Result:    possibly damaged: fetch the files named again\n"),
            std::string::npos)
      << Out();
}

// Too large, binary or not made of checksum lines: said, not used, not changed.
TEST_F(ChecksumTest, AFileThatIsNoChecksumFileIsRefused) {
  WriteSet("s", "s.bin", Patterns({5000, 7000}));
  std::string line = HexA + "  s.c001\n";
  std::string huge;
  while (static_cast<int64_t>(huge.size()) <= ChecksumFileLimit) huge += line;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {huge, "more than a checksum file holds"},
      {line + std::string(100, '\0'), "binary data"},
      {line + "not a line\n", "line 2 is not a SHA-256 line"},
  };
  for (const auto& [text, why] : cases) {
    Write("s.sha256", text);
    EXPECT_EQ(Run({"verify", "s.exe"}), ExitUnchecked) << Out();
    EXPECT_NE(Err().find("warning: s.sha256 is not used: "), std::string::npos) << Err();
    EXPECT_NE(Err().find(why), std::string::npos) << Err();
    EXPECT_EQ(Run({"join", "s.exe", "-o", "j", "--force", "-q"}), ExitComplete) << Err();
    EXPECT_TRUE(Read("s.sha256") == text);
  }
}

// BASE.sha256 follows the set's rules: refused when it exists without --force, replaced with
// it; an older one goes with --force when the new set has none; and it is put in place with the
// set, so that a failure at the end leaves none of it.
int ChunksBeforeFault = -1;

int FailTheChunk(OsCall call) {
  return call == OsCallCopy && ChunksBeforeFault >= 0 && ChunksBeforeFault-- == 0 ? 5 : 0;
}

TEST_F(ChecksumTest, ItGoesInPlaceWithTheSetOrNotAtAll) {
  Write("data.bin", Pattern(250000));
  Write("data.sha256", "mine");
  EXPECT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums"}), ExitRefused);
  EXPECT_NE(Err().find("data.sha256 exists (give --force to replace it)"), std::string::npos);
  EXPECT_EQ(List(), (std::set<std::string>{"data.bin", "data.sha256"}));
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums", "-f", "-q"}),
            ExitComplete);
  EXPECT_EQ(Read("data.sha256").rfind(LineOf("data.bin", "data.bin"), 0), 0u);
  ASSERT_EQ(Run({"split", "data.bin", "--size", "100000", "-f", "-q"}), ExitComplete);
  EXPECT_EQ(List().count("data.sha256"), 0u) << "an older set's checksums were left";

  Mkdir("out");
  // Three chunks of the set's data, then the container read back for its digest.
  for (int chunk : {0, 2, 3}) {
    ChunksBeforeFault = chunk;
    OsFaultHook = FailTheChunk;
    EXPECT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums", "-d", "out"}),
              ExitFileError)
        << chunk;
    OsFaultHook = nullptr;
    EXPECT_NE(Err().find("nothing was left behind"), std::string::npos) << Err();
    EXPECT_EQ(List("out"), std::set<std::string>{}) << chunk;
  }
}

std::string AppearingFile;

int WriteAppearingFile(OsCall call) {
  if (call == OsCallCopy && !AppearingFile.empty()) {
    WriteFileBytes(AppearingFile, "appeared");
    AppearingFile.clear();
  }
  return 0;
}

TEST_F(ChecksumTest, AChecksumFileThatAppearsDuringTheSplitIsNotReplaced) {
  Write("data.bin", Pattern(250000));
  AppearingFile = Path("data.sha256");
  OsFaultHook = WriteAppearingFile;
  EXPECT_EQ(Run({"split", "data.bin", "--size", "100000", "--checksums"}), ExitRefused);
  EXPECT_NE(Err().find("data.sha256 appeared while the set was written; nothing was left behind"),
            std::string::npos)
      << Err();
  EXPECT_EQ(List(), (std::set<std::string>{"data.bin", "data.sha256"}));
  EXPECT_EQ(Read("data.sha256"), "appeared");
}

}  // namespace
