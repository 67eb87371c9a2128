// Joins checked against the container's digest block: every piece judged at its end (a digest
// over several 64 KB blocks, an empty container payload, pieces of exact block multiples, the
// last piece, runs of several pieces), short and long pieces, a wrong file picked in the Open
// dialog, the warning box that names the bad pieces, and sets without a valid block joined with
// exactly the calls they always had.
#include <gmock/gmock.h>

#include <filesystem>

#include "base/byte_text.h"
#include "container/container_writer.h"
#include "stub/join/join_driver.h"
#include "stub/join/piece_check.h"
#include "tests/stub/join/block_header.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/fake_ui.h"

using jointest::Read;
using testing::ElementsAre;

namespace {

// The box's texts in CP1251: "Повреждены части набора:" and a line break, the dash between the
// first and last piece of a run, and "и ещё " before the count of the others.
const std::string Intro =
    "\xCF\xEE\xE2\xF0\xE5\xE6\xE4\xE5\xED\xFB \xF7\xE0\xF1\xF2\xE8 \xED\xE0\xE1\xEE\xF0\xE0:\r\n";
const std::string Dash = "\x96";
const std::string More = "\r\n\xE8 \xE5\xF9\xB8 ";

std::string Box(const std::string& names) {
  return "MessageBoxW(1," + Intro + names + ",Tarnovell!,0x30)";
}

int64_t TotalOf(const std::vector<std::string>& payloads) {
  int64_t total = 0;
  for (const std::string& payload : payloads) total += static_cast<int64_t>(payload.size());
  return total;
}

HeaderTexts Texts(int64_t total) {
  return MakeHeaderTexts("DATA.BIN", total, 2ull << 32 | 1, 4ull << 32 | 3, 6ull << 32 | 5);
}

std::string BlockHeader(const std::vector<std::string>& payloads, int32_t runLength = 1) {
  return jointest::BlockHeader(Texts(TotalOf(payloads)), payloads, runLength);
}

// Other splitters' headers: the same texts with zero or random filler.
std::string ZeroFillerHeader(const std::vector<std::string>& payloads) {
  return HeaderBytes(Texts(TotalOf(payloads)));
}
std::string RandomFillerHeader(const std::vector<std::string>& payloads) {
  std::string header = ZeroFillerHeader(payloads);
  std::string noise = Pattern(HeaderSize, 99);
  for (size_t at = 0; at < header.size(); at++)
    if (at % HeaderRecordSize > static_cast<uint8_t>(header[at - at % HeaderRecordSize]))
      header[at] = noise[at];
  return header;
}

// The recording's log with the drawing objects' handles left out (the stand-in numbers them on
// for ever).
std::vector<std::string> CallsWithoutObjectHandles() {
  std::vector<std::string> calls;
  for (const std::string& line : fake::Log)
    calls.push_back(line.rfind("SelectObject(", 0) == 0 || line.rfind("DeleteObject(", 0) == 0
                        ? line.substr(0, line.find('('))
                        : line);
  return calls;
}

std::string Flipped(std::string bytes, size_t at) {
  bytes.at(at) ^= 0x10;
  return bytes;
}

// Pieces 1 to 3 of 3 * 64 KB + 5 bytes: a digest over four blocks of the copier.
const std::vector<std::string> Planned = Patterns({2 * 65536, 3 * 65536 + 5, 3 * 65536 + 5, 1000});

class PieceCheckTest : public JoinTest {
 protected:
  // base.exe holds the stub, header and pieces[0]; base.c001, ... the further pieces. JoinState
  // as header loading leaves it, the block read from header.
  void Prepare(const std::string& header, const std::vector<std::string>& pieces,
               const std::string& base = "DATA") {
    jointest::Write(Path(base + ".exe"), FitStubImage(Pattern(9000, 77)) + header + pieces[0]);
    for (size_t n = 1; n < pieces.size(); n++) {
      char path[PathTextSize];
      PiecePathFor(path, sizeof path, Path(base).c_str(), static_cast<int32_t>(n));
      jointest::Write(path, pieces[n]);
    }
    char totalText[HeaderRecordSize];
    HeaderRecordText(
        *reinterpret_cast<const HeaderRecord*>(&header[RecordTotalSize * HeaderRecordSize]),
        totalText);
    int64_t total = 0;
    ASSERT_TRUE(TryParseHeaderInteger(totalText, &total));
    PrepareJoin(Path(base), total);
    JoinState.PieceCheck.Active = ReadDigestBlock(reinterpret_cast<const uint8_t*>(header.data()),
                                                  &JoinState.PieceCheck.Block);
  }
  // The join, its output saved as out.bin; returns the output.
  std::string Join() {
    fake::SaveAnswers.push_back({true, Path("out.bin")});
    RunJoin(window, WindowJoinCallbacks);
    return Read(Path("out.bin"));
  }
  // The join of pieces, prepared under header: all their bytes, complete, and no box.
  void ExpectQuietCompleteJoin(const std::string& header, const std::vector<std::string>& pieces) {
    Prepare(header, pieces);
    EXPECT_BYTES(Join(), Concatenated(pieces));
    EXPECT_EQ(JoinState.Outcome, OutcomeComplete);
    EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
  }
  // A finished join that kept its output and warned about it last.
  void ExpectWarned(const std::string& names) {
    EXPECT_TRUE(JoinState.Finished);
    EXPECT_EQ(JoinState.Outcome, OutcomeMismatch);
    EXPECT_THAT(fake::Calls("MessageBoxW"), ElementsAre(Box(names)));
    EXPECT_EQ(fake::Log.back(), Box(names)) << "the box comes after the window shows the outcome";
    EXPECT_THAT(fake::Calls("SetFileTime"), ElementsAre(HeaderTimesCall()));
  }
  std::string Piece(int32_t n) { return "DATA.C00" + std::to_string(n); }
};

// ---- clean sets, and sets of other splitters --------------------------------------------------

TEST_F(PieceCheckTest, AGoodSetJoinsWithTheSameCallsWithOrWithoutItsBlock) {
  std::vector<std::vector<std::string>> logs;
  for (const std::string& header :
       {ZeroFillerHeader(Planned), RandomFillerHeader(Planned), BlockHeader(Planned)}) {
    Restart();
    ExpectQuietCompleteJoin(header, Planned);
    logs.push_back(CallsWithoutObjectHandles());
  }
  EXPECT_TRUE(JoinState.PieceCheck.Active) << "the last set carries a block";
  EXPECT_EQ(logs[1], logs[0]);
  EXPECT_EQ(logs[2], logs[0]);
}

TEST_F(PieceCheckTest, WithoutABlockADamagedOrShortPieceJoinsAsItAlwaysDid) {
  std::vector<std::string> damaged = Planned;
  damaged[2] = Flipped(damaged[2], 70000);
  for (const std::string& header : {ZeroFillerHeader(Planned), RandomFillerHeader(Planned)}) {
    Restart();
    ExpectQuietCompleteJoin(header, damaged);
    EXPECT_FALSE(JoinState.PieceCheck.Active);
  }
  // A short last piece: the join looks for a piece after it, as always.
  std::vector<std::string> shortLast = Planned;
  shortLast[3].pop_back();
  Restart();
  Prepare(RandomFillerHeader(Planned), shortLast);
  fake::MessageBoxAnswers = {IDYES};
  Join();
  EXPECT_EQ(fake::Count("GetOpenFileNameW"), 1u);
  EXPECT_EQ(fake::DialogInitialNames.back(), Path("DATA.c004"));
}

// ---- damaged pieces ---------------------------------------------------------------------------

TEST_F(PieceCheckTest, EachDamagedPieceIsNamedAndTheOutputKept) {
  struct Case {
    int32_t piece;
    size_t at;
  };
  // First and last bytes, and both sides of the copier's block boundaries.
  const Case cases[] = {
      {0, 0},     {0, 65535},         {0, 65536},         {0, 2 * 65536 - 1}, {1, 0},
      {1, 65536}, {1, 3 * 65536 + 4}, {2, 2 * 65536 - 1}, {2, 3 * 65536},     {3, 0},
      {3, 999}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "piece " << c.piece << " byte " << c.at);
    Restart();
    std::vector<std::string> pieces = Planned;
    pieces[c.piece] = Flipped(pieces[c.piece], c.at);
    Prepare(BlockHeader(Planned), pieces);
    EXPECT_BYTES(Join(), Concatenated(pieces));
    ExpectWarned(c.piece == 0 ? "DATA.EXE" : Piece(c.piece));
    EXPECT_EQ(JoinState.PieceIndex, 4);
  }
}

TEST_F(PieceCheckTest, AnEmptyContainerPayloadAndPiecesOfWholeBlocks) {
  // Piece 0 holds no payload; pieces 1 and 2 hold exactly one and three blocks.
  const std::vector<std::string> planned = {"", Pattern(3 * 65536, 5), Pattern(3 * 65536, 6),
                                            Pattern(65536, 7)};
  ExpectQuietCompleteJoin(BlockHeader(planned), planned);
  for (size_t at : {size_t{0}, size_t{65535}, size_t{3 * 65536 - 1}}) {
    SCOPED_TRACE(at);
    Restart();
    std::vector<std::string> pieces = planned;
    pieces[2] = Flipped(pieces[2], at);
    Prepare(BlockHeader(planned), pieces);
    Join();
    ExpectWarned(Piece(2));
  }
}

// ---- pieces of the wrong size -----------------------------------------------------------------

TEST_F(PieceCheckTest, ShortAndLongPiecesAreNamed) {
  struct Case {
    const char* what;
    int32_t piece;
    int64_t change;      // bytes added (or cut when negative) at the piece's end
    int32_t pieceIndex;  // where the join ends
  };
  const Case cases[] = {
      {"a short piece in the middle", 1, -1, 4},
      {"a piece cut to nothing", 2, -(3 * 65536 + 5), 4},
      {"a short last piece", 3, -1, 4},
      {"a long piece in the middle", 2, 1, 4},
      // The extra bytes make up for the last piece: the sizes add up after piece 2.
      {"a piece as long as the next", 2, 1000, 3},
      {"a long last piece", 3, 65536, 4},
      {"a long container", 0, 7, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    std::vector<std::string> pieces = Planned;
    if (c.change < 0)
      pieces[c.piece].resize(pieces[c.piece].size() - static_cast<size_t>(-c.change));
    else
      pieces[c.piece] += Pattern(static_cast<size_t>(c.change), 8);
    Prepare(BlockHeader(Planned), pieces);
    std::string joined;
    for (int32_t n = 0; n < c.pieceIndex; n++) joined += pieces[n];
    EXPECT_BYTES(Join(), joined);
    EXPECT_EQ(fake::Count("GetOpenFileNameW"), 0u) << "the set's last piece ends the join";
    EXPECT_EQ(JoinState.PieceIndex, c.pieceIndex);
    ExpectWarned(c.piece == 0 ? "DATA.EXE" : Piece(c.piece));
  }
}

TEST_F(PieceCheckTest, AWrongFilePickedInTheOpenDialogIsNamed) {
  std::filesystem::create_directory(Path("B"));
  const std::string wrongs[] = {Pattern(Planned[2].size(), 50), Planned[2].substr(1),
                                Planned[2] + "!", Planned[2]};
  for (const std::string& wrong : wrongs) {
    Restart();
    std::filesystem::create_directory(Path("B"));
    Prepare(BlockHeader(Planned), Planned);
    std::filesystem::remove(Path("DATA.c002"));
    jointest::Write(Path("B/DATA.c002"), wrong);
    std::filesystem::copy_file(Path("DATA.c003"), Path("B/DATA.c003"));
    fake::OpenAnswers.push_back({true, Path("B/DATA.c002")});
    EXPECT_BYTES(Join(), Planned[0] + Planned[1] + wrong + Planned[3]);
    EXPECT_EQ(fake::Count("GetOpenFileNameW"), 1u);
    if (wrong == Planned[2]) {
      EXPECT_EQ(JoinState.Outcome, OutcomeComplete);
      EXPECT_EQ(fake::Count("MessageBoxW"), 0u) << "the right file, from another folder";
    } else {
      ExpectWarned(Piece(2));
    }
  }
}

// ---- runs of several pieces, and the box --------------------------------------------------------

TEST_F(PieceCheckTest, ADamagedRunIsNamedByItsFirstAndLastPiece) {
  // Seven pieces in runs of three: pieces 0-2, 3-5 and 6.
  std::vector<std::string> planned = {Pattern(70000, 10)};
  for (int n = 1; n < 6; n++) planned.push_back(Pattern(65536 + 3, 10 + n));
  planned.push_back(Pattern(20, 16));
  Prepare(BlockHeader(planned, 3), planned);
  Join();
  EXPECT_EQ(JoinState.Outcome, OutcomeComplete) << "a run's digest goes on over its pieces";
  EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
  // A flipped bit names the run; a piece of the wrong size is named alone, not again as its run,
  // whose digest it spoils.
  struct Case {
    int32_t piece;
    int change;  // 0: a bit flipped; else a byte cut (-1) or added (+1)
    std::string names;
  };
  const Case cases[] = {{0, 0, "DATA.EXE" + Dash + "DATA.C002"},
                        {2, 0, "DATA.EXE" + Dash + "DATA.C002"},
                        {4, 0, "DATA.C003" + Dash + "DATA.C005"},
                        {6, 0, "DATA.C006"},
                        {4, -1, "DATA.C004"},
                        {1, +1, "DATA.C001"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.piece);
    Restart();
    std::vector<std::string> pieces = planned;
    std::string& piece = pieces[c.piece];
    if (c.change == 0) piece = Flipped(piece, std::min<size_t>(65536, piece.size() - 1));
    if (c.change < 0) piece.pop_back();
    if (c.change > 0) piece += "!";
    Prepare(BlockHeader(planned, 3), pieces);
    Join();
    ExpectWarned(c.names);
  }
}

TEST_F(PieceCheckTest, ThreeBadPiecesAreNamedAndTheRestCounted) {
  std::vector<std::string> planned = {Pattern(100, 20)};
  for (int n = 1; n < 12; n++) planned.push_back(Pattern(200, 20 + n));
  struct Case {
    std::vector<int32_t> bad;
    std::string text;
  };
  const Case cases[] = {
      {{5}, "DATA.C005"},
      {{0, 7, 11}, "DATA.EXE, DATA.C007, DATA.C011"},
      {{1, 2, 3, 4}, "DATA.C001, DATA.C002, DATA.C003" + More + "1"},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, "DATA.EXE, DATA.C001, DATA.C002" + More + "9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Restart();
    std::vector<std::string> pieces = planned;
    for (int32_t n : c.bad) pieces[n] = Flipped(pieces[n], 50);
    Prepare(BlockHeader(planned), pieces);
    Join();
    ExpectWarned(c.text);
  }
}

TEST_F(PieceCheckTest, NamesAreSpelledAsTheWindowTitlesSpellThem) {
  const std::vector<std::string> planned = {Pattern(10, 30), Pattern(20, 31), Pattern(5, 32)};
  std::vector<std::string> pieces = planned;
  pieces[0] = Flipped(pieces[0], 3);
  pieces[2] = Flipped(pieces[2], 3);
  Prepare(BlockHeader(planned), pieces, "film");
  Join();
  ExpectWarned("film.EXE, FILM.C002");
  // A base name too long for the box: three names and the count, cut, still ending the text.
  JoinState.PieceCheck.BadCount = 7;
  TextCopy(JoinState.BasePath, PathTextSize, fake::Wide(std::string(299, 'x')).c_str());
  WCHAR text[608];
  std::fill(text, text + 608, u'#');
  FormatBadPieces(text, 600);
  EXPECT_EQ(fake::Text(text).size(), 599u);
  EXPECT_EQ(text[600], u'#') << "nothing written past the capacity";
}

// ---- when no box is shown ---------------------------------------------------------------------

TEST_F(PieceCheckTest, AFileErrorAfterABadPieceLeavesNoOutputAndNoBox) {
  std::vector<std::string> pieces = Planned;
  pieces[1] = Flipped(pieces[1], 5);
  Prepare(BlockHeader(Planned), pieces);
  std::filesystem::remove(Path("DATA.c002"));
  std::filesystem::create_directory(Path("DATA.c002"));
  Join();
  EXPECT_EQ(JoinState.Outcome, OutcomeFileError);
  EXPECT_FALSE(jointest::Exists(Path("out.bin")));
  EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
}

TEST_F(PieceCheckTest, AWindowClosedInTheLastPumpShowsNoBox) {
  std::vector<std::string> pieces = Planned;
  pieces[1] = Flipped(pieces[1], 5);
  Prepare(BlockHeader(Planned), pieces);
  fake::SaveAnswers.push_back({true, Path("out.bin")});
  static bool closed;
  closed = false;
  fake::OnPeek = [] {
    if (JoinState.PieceIndex == 4 && !closed) fake::Post(fake::MainWindow(), WM_CLOSE);
    closed = closed || JoinState.PieceIndex == 4;
  };
  fake::Post(window, WM_COMMAND, StartButtonId);
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_TRUE(JoinState.Finished);
  EXPECT_EQ(JoinState.Outcome, OutcomeMismatch);
  EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
  EXPECT_BYTES(Read(Path("out.bin")), Concatenated(pieces));
}

}  // namespace
