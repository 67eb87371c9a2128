// The progress line: it fits every width without wrapping, keeps the end of long names, tells
// the rate and the time left, redraws at most ten times a second, names the step, and is drawn
// on any stream with --progress (never with -q).
#include <stdlib.h>

#include <algorithm>

#include "cli/show/progress.h"
#include "tests/cli/test_support.h"

namespace {

const int64_t MiB = 1 << 20;

// Whether a text is whole UTF-8: no character cut.
bool WholeUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; k++)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

ProgressView Running(const std::string& name, bool step) {
  ProgressView view;
  if (step) {
    view.Step = "step 2 of 2: recovery files";
    view.StepShort = "2/2";
  }
  view.Name = name;
  view.Done = 1234 * MiB;
  view.Total = 3072 * MiB;
  view.Rate = 84.2 * MiB;
  view.Seconds = 22;
  return view;
}

const std::string CyrillicName = "очень-длинное-имя-видео-с-праздника-в-декабре-2024.c003";
const std::string AsciiName = "very-long-holiday-video-from-the-last-december-2024.c003";

TEST(ProgressLine, FitsEveryWidthAndKeepsTheNamesEnd) {
  for (const std::string& name : {CyrillicName, AsciiName}) {
    for (bool step : {false, true}) {
      for (size_t columns : {20, 40, 60, 80, 120, 200}) {
        std::string line = ProgressLine(Running(name, step), columns);
        SCOPED_TRACE(line);
        EXPECT_LE(CharacterCount(line), columns - 1);
        EXPECT_TRUE(WholeUtf8(line));
        EXPECT_NE(line.find("4.c003"), std::string::npos);  // the distinguishing end
        EXPECT_NE(line.find(" 40%"), std::string::npos);
        // The bar is the first to go, and only on narrow terminals.
        bool bar = line.find("[#") != std::string::npos;
        EXPECT_EQ(bar, columns >= (step ? 120u : 80u)) << columns;
        if (bar) EXPECT_EQ(CharacterCount(line), columns - 1);  // the bar takes the rest
        if (columns >= 80) EXPECT_NE(line.find("ETA  0:22"), std::string::npos);
        // The rate and the time left stay longer than the step's name, which leaves "2/2".
        if (columns >= 60) EXPECT_NE(line.find("84.2 MiB/s ETA  0:22"), std::string::npos);
        if (step && columns >= 80) EXPECT_EQ(line.rfind("step 2 of 2: recovery files ", 0), 0u);
        if (step && columns == 60) EXPECT_EQ(line.rfind("2/2 ", 0), 0u);
      }
    }
  }
  // Wide enough for everything: every field in its order, the whole name.
  std::string line = ProgressLine(Running(AsciiName, true), 200);
  EXPECT_EQ(line.rfind("step 2 of 2: recovery files " + AsciiName + " [####", 0), 0u) << line;
  EXPECT_NE(line.find("]  40%    1.2 GiB/3.0 GiB   84.2 MiB/s ETA  0:22"), std::string::npos)
      << line;
  // Too narrow for anything but the percentage: still within the width.
  for (size_t columns : {0, 1, 2, 5, 8})
    EXPECT_LE(CharacterCount(ProgressLine(Running(CyrillicName, true), columns)),
              columns > 0 ? columns - 1 : 0);
}

TEST(ProgressLine, CutsNamesInTheMiddleNeverInsideACharacter) {
  EXPECT_EQ(CutMiddle("very-long-holiday-photos-of-the-last-day-2024.c003", 27),
            "very-long-hol…day-2024.c003");
  EXPECT_EQ(CutMiddle("short.c001", 27), "short.c001");
  EXPECT_EQ(CutMiddle("holiday-2024.c003", 6), "….c003");  // narrow: only the end
  for (size_t width = 0; width < CharacterCount(CyrillicName); width++) {
    std::string cut = CutMiddle(CyrillicName, width);
    EXPECT_TRUE(WholeUtf8(cut)) << width;
    EXPECT_EQ(CharacterCount(cut), width);
    if (width >= 6) EXPECT_EQ(cut.substr(cut.size() - 5), ".c003") << cut;
  }
}

// A stream's size is known only at its end (split -): the bytes so far and the rate, but no
// bar, no percentage and no time left, which would be made up; at the end, the time taken.
TEST(ProgressLine, NoTotalShowsTheBytesAndTheRateOnly) {
  for (size_t columns : {20, 60, 120}) {
    ProgressView view = Running(AsciiName, true);
    view.Total = ProgressUnknownTotal;
    std::string line = ProgressLine(view, columns);
    SCOPED_TRACE(line);
    EXPECT_LE(CharacterCount(line), columns - 1);
    EXPECT_NE(line.find("1.2 GiB"), std::string::npos);
    EXPECT_EQ(line.find('%'), std::string::npos);
    EXPECT_EQ(line.find("GiB/"), std::string::npos);
    EXPECT_EQ(line.find("[#"), std::string::npos);
    EXPECT_EQ(line.find("ETA"), std::string::npos);
    if (columns >= 60) EXPECT_NE(line.find("84.2 MiB/s"), std::string::npos);
    view.Finished = true;
    if (columns >= 60) EXPECT_NE(ProgressLine(view, columns).find("in  0:22"), std::string::npos);
  }
}

TEST(ProgressLine, TimeAndRateEdges) {
  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(12), "0:12");
  EXPECT_EQ(FormatDuration(60), "1:00");
  EXPECT_EQ(FormatDuration(3599), "59:59");
  EXPECT_EQ(FormatDuration(3600), "1:00:00");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(99 * 3600 + 3599), "99:59:59");
  for (int64_t unknown : {int64_t{-1}, int64_t{100 * 3600}, INT64_MAX})
    EXPECT_EQ(FormatDuration(unknown), "--:--") << unknown;
  EXPECT_EQ(FormatRate(-1), "");
  EXPECT_EQ(FormatRate(0), "0 B/s");
  EXPECT_EQ(FormatRate(84.2 * MiB), "84.2 MiB/s");
  EXPECT_EQ(FormatRate(1e30), "8.0 EiB/s");  // held at the largest size there is

  ProgressView view = Running("film.c001", false);
  view.Rate = 0;  // nothing moves: no time left can be told
  view.Seconds = -1;
  EXPECT_NE(ProgressLine(view, 120).find("0 B/s ETA --:--"), std::string::npos);
  view.Rate = -1;  // not known yet: its column stays blank
  EXPECT_NE(ProgressLine(view, 120).find("GiB              ETA --:--"), std::string::npos)
      << ProgressLine(view, 120);
  // Sizes past what a double tells apart, and more done than the total.
  view.Done = INT64_MAX - 1;
  view.Total = INT64_MAX;
  EXPECT_NE(ProgressLine(view, 120).find(" 99%    8.0 EiB/8.0 EiB"), std::string::npos);
  view.Done = INT64_MAX / 2;
  EXPECT_NE(ProgressLine(view, 120).find(" 49% "), std::string::npos);
  view.Done = 5000;
  view.Total = 3000;
  std::string over = ProgressLine(view, 60);
  EXPECT_NE(over.find("100%"), std::string::npos) << over;
  EXPECT_LE(CharacterCount(over), 59u);
  EXPECT_NE(ProgressLine(view, 200).find("#]"), std::string::npos);  // a full bar, no more
  view.Total = 0;
  EXPECT_NE(ProgressLine(view, 60).find("100%"), std::string::npos);
}

TEST(ProgressRate, FollowsTheLastSecondsAndStopsAtNothing) {
  ProgressRate rate;
  rate.Start(1000, 0);
  int64_t done = 0, now = 1000;
  auto run = [&](int64_t bytesPerSecond, int64_t ms) {
    for (int64_t t = 0; t < ms; t += 100) {
      now += 100;
      done += bytesPerSecond / 10;
      rate.Add(now, done);
    }
  };
  run(10 * MiB, 400);
  EXPECT_LT(rate.BytesPerSecond(), 0);  // too soon to tell
  run(10 * MiB, 2600);
  EXPECT_NEAR(rate.BytesPerSecond(), 10.0 * MiB, 0.01 * MiB);
  run(40 * MiB, 6000);  // the older, slower seconds are forgotten
  EXPECT_NEAR(rate.BytesPerSecond(), 40.0 * MiB, 0.01 * MiB);
  EXPECT_NEAR(rate.Average(), (30.0 + 240.0) / 9 * MiB, 0.01 * MiB);
  run(0, 6000);  // stalled
  EXPECT_EQ(rate.BytesPerSecond(), 0);
}

// The line as the commands drive it, into a file, under a clock of the test's.
class ProgressDrawing : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    Clock = 50000;
    ProgressClock = [] { return Clock; };
    ProgressForce(true);
    setenv("COLUMNS", "70", 1);
  }
  void TearDown() override {
    ProgressClock = nullptr;
    ProgressForce(false);
    unsetenv("COLUMNS");
    CliTest::TearDown();
  }
  // The drawings of the line: what each carriage return starts.
  std::vector<std::string> Drawings() {
    std::vector<std::string> drawings;
    std::string err = Err();
    for (size_t at = err.find('\r'); at != std::string::npos; at = err.find('\r', at + 1))
      drawings.push_back(err.substr(at + 1, err.find_first_of("\r\n", at + 1) - at - 1));
    return drawings;
  }
  static int64_t Clock;
};
int64_t ProgressDrawing::Clock = 0;

TEST_F(ProgressDrawing, AtMostTenTimesASecondAndTheEndOnce) {
  ProgressSteps(ProgressCommand::Join);
  ProgressBegin(true, 3000 * MiB, ProgressStep::Join);
  ProgressLabel(CyrillicName);
  for (int64_t ms = 1; ms <= 3000; ms++) {  // an update every millisecond for 3 seconds
    Clock++;
    ProgressUpdate(ms * MiB);
  }
  ProgressEnd();
  ProgressEnd();  // once only
  std::vector<std::string> drawings = Drawings();
  EXPECT_GE(drawings.size(), 30u);
  EXPECT_LE(drawings.size(), 32u);  // 10 a second, the first one and the end
  for (const std::string& drawing : drawings) EXPECT_LE(CharacterCount(drawing), 69u) << drawing;
  // The end came within 100 ms of the drawing before it, and is drawn all the same, with the time
  // taken; the line then ends.
  EXPECT_NE(drawings.back().find("100%"), std::string::npos) << drawings.back();
  EXPECT_NE(drawings.back().find("1000.0 MiB/s in  0:03"), std::string::npos) << drawings.back();
  std::string err = Err();
  EXPECT_EQ(err.back(), '\n');
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  // Mid-way, the rate of the last seconds and the time left.
  EXPECT_NE(drawings[20].find("1000.0 MiB/s ETA  0:01"), std::string::npos) << drawings[20];
}

TEST_F(ProgressDrawing, QuietWinsOverForced) {
  ProgressBegin(false, 100, ProgressStep::Join);
  ProgressUpdate(50);
  ProgressEnd();
  EXPECT_EQ(Err(), "");
}

// A file of several pieces, for the commands.
class ProgressCommands : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    Write("film.bin", Pattern(300000, 7));
  }
  static bool Drawn(const std::string& err) { return err.find('\r') != std::string::npos; }
  // The last drawing of the line that begins with start: the one that ends it.
  static std::string EndOf(const std::string& err, const std::string& start) {
    size_t at = err.rfind("\r" + start);
    return at == std::string::npos ? "" : err.substr(at + 1, err.find('\n', at) - at - 1);
  }
};

TEST_F(ProgressCommands, ForcedLineNamesTheStepsOfSplitRecovery) {
  // From a file the set and its recovery files are written in one pass: one step, no name.
  ASSERT_EQ(Run({"split", "film.bin", "--size", "64K", "--recovery", "2", "--progress"}), 0)
      << Err();
  EXPECT_EQ(Err().find("step"), std::string::npos) << Err();
  std::string last = EndOf(Err(), "film.exe");
  EXPECT_NE(last.find("film.r02 [#"), std::string::npos) << Err();
  EXPECT_NE(last.find("100%"), std::string::npos) << Err();

  ASSERT_EQ(Run({"verify", "film.exe", "--progress"}), 0) << Err();
  EXPECT_NE(Err().find("\rstep 1 of 2: pieces film."), std::string::npos) << Err();
  EXPECT_NE(Err().find("\rstep 2 of 2: recovery files film"), std::string::npos) << Err();

  Remove("film.c002");
  ASSERT_EQ(Run({"repair", "film.exe", "--progress"}), 0) << Err();
  // One count for the run: all three steps may follow the check, and one not needed (no
  // recovery file to make again) keeps the count.
  EXPECT_NE(Err().find("\rstep 1 of 3: checking film"), std::string::npos) << Err();
  EXPECT_NE(Err().find("\rstep 2 of 3: rebuilding film"), std::string::npos) << Err();
  // The check reads no lost file, yet ends at 100%.
  EXPECT_NE(EndOf(Err(), "step 1 of 3: checking").find("100%"), std::string::npos) << Err();
  Remove("film.r02");
  ASSERT_EQ(Run({"repair", "film.exe", "--progress"}), 0) << Err();
  EXPECT_NE(Err().find("\rstep 3 of 3: recovery files film"), std::string::npos) << Err();
}

TEST_F(ProgressCommands, OneStepNoStepAndNothingUnlessForced) {
  ASSERT_EQ(Run({"split", "film.bin", "--size", "64K", "--progress"}), 0) << Err();
  EXPECT_TRUE(Drawn(Err()));
  EXPECT_EQ(Err().find("step"), std::string::npos) << Err();
  EXPECT_NE(Err().find("film.c005 ["), std::string::npos) << Err();  // the end, drawn
  EXPECT_NE(Err().find("100%  293.0 KiB/293.0 KiB"), std::string::npos) << Err();

  ASSERT_EQ(Run({"join", "film.exe", "-o", "again.bin", "--progress"}), 0) << Err();
  EXPECT_TRUE(Drawn(Err()));
  EXPECT_EQ(Err().find("step"), std::string::npos) << Err();
  ASSERT_EQ(Run({"verify", "film.exe", "--progress"}), 0) << Err();
  EXPECT_EQ(Err().find("step"), std::string::npos) << Err();

  // stderr is a file here: nothing without --progress, and -q wins over it.
  ASSERT_EQ(Run({"join", "film.exe", "-o", "third.bin"}), 0);
  EXPECT_EQ(Err(), "");
  ASSERT_EQ(Run({"split", "film.bin", "--size", "64K", "--base", "quiet", "-q", "--progress",
                 "--recovery", "1"}),
            0);
  EXPECT_EQ(Err(), "");
}

TEST_F(ProgressCommands, ForcedLineTakesTheWidthOfColumns) {
  setenv("COLUMNS", "40", 1);
  int code = Run({"split", "film.bin", "--size", "64K", "--recovery", "1", "--progress"});
  unsetenv("COLUMNS");
  ASSERT_EQ(code, 0) << Err();
  std::string err = Err();
  size_t lines = 0;
  for (size_t at = 0; at < err.size(); lines++) {
    size_t end = err.find_first_of("\r\n", at);
    if (end == std::string::npos) end = err.size();
    EXPECT_LE(CharacterCount(err.substr(at, end - at)), 39u) << err.substr(at, end - at);
    at = end + 1;
  }
  EXPECT_GT(lines, 2u);
  EXPECT_NE(err.find("\rfilm.exe ... film.r01 100%"), std::string::npos) << err;
}

// Where the locale shows no UTF-8 (LANG=C, as under many scripts), a cut name is marked in ASCII.
TEST_F(ProgressCommands, AsciiLocaleCutsNamesWithDots) {
  Write("holiday-film-of-the-whole-family.bin", Pattern(100000, 3));
  const char* kept = getenv("LC_ALL");
  std::string locale = kept != nullptr ? kept : "";
  setenv("COLUMNS", "40", 1);
  setenv("LC_ALL", "C", 1);
  int code = Run({"split", "holiday-film-of-the-whole-family.bin", "-s", "64K", "--progress"});
  unsetenv("COLUMNS");
  kept != nullptr ? setenv("LC_ALL", locale.c_str(), 1) : unsetenv("LC_ALL");
  ASSERT_EQ(code, 0) << Err();
  EXPECT_EQ(Err().find("…"), std::string::npos) << Err();
  EXPECT_NE(Err().find("...family.c00"), std::string::npos) << Err();
}

}  // namespace
