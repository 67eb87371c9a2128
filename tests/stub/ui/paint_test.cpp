// Painting of the main window from JoinState.
#include "stub/ui/paint.h"

#include "tests/support/outcome_texts.h"
#include "tests/support/ui_fixture.h"

namespace {

class PaintTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    JoinState.UiFont = reinterpret_cast<HFONT>(static_cast<intptr_t>(0x77));
    JoinState.TotalKb = 640;
    JoinState.TotalSize = 655360;
    TextCopy(JoinState.OutputPath, PathTextSize, "C:\\films\\movie.avi");
  }
  static void Paint() { PaintWindow(reinterpret_cast<HWND>(1)); }
  static std::vector<std::string> Texts() { return fake::Calls("DrawTextW"); }
};

TEST_F(PaintTest, ItemsInOrderWithTheirPlaceColourAndAlignment) {
  Paint();
  std::vector<std::string> log = fake::Log;
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[4].substr(0, 15), "DrawIcon(16,14,") << "the icon's top-left corner";
  std::vector<std::string> expected = {
      "BeginPaint(1)",
      "SelectObject(119)",  // the window font
      "SetBkMode(1)",       // transparent
      "LoadIconA(MAINICON)",
      log[4],
      "SetTextColor(0x000000)",
      "DrawTextW(\xC2\xE5\xF0\xF1\xE8\xFF 1.7,10,66,13,166,26,0x0)",
      "SetTextColor(0x123456)",
      "SetTextColor(0x000000)",
      "DrawTextW(\xA9 2025-2026,11,66,29,166,42,0x0)",
      "SetTextColor(0x123456)",
      "SetTextColor(0xFF0000)",  // link blue
      "DrawTextW(Tarnovell Team,14,140,29,230,42,0x0)",
      "SetTextColor(0x123456)",
      "SetTextColor(0xFF0000)",
      "DrawTextW(http://tarnovell.example.org,28,66,45,206,58,0x0)",
      "SetTextColor(0x123456)",
      "SetTextColor(0x000000)",
      "DrawTextW(640 \xCA\xE1,6,199,78,265,91,0x2)",  // right-aligned
      "SetTextColor(0x123456)",
      "DrawTextW(640 \xCA\xE1,6,0,0,0,0,0x420)",  // measured: 6 bytes of 5 pixels
      "SetTextColor(0x000000)",
      "DrawTextW(movie.avi,9,16,78,229,91,0x0)",  // 243 - 30 wide
      "SetTextColor(0x123456)",
      "DrawEdge(16,66,265,68,2,15)",
      "DrawEdge(16,93,265,104,2,15)",
      "CreateSolidBrush(0x7F0000)",
  };
  ASSERT_GE(log.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + expected.size()), expected);
  // The bar draws nothing before a join, then the previous mode and font go back.
  EXPECT_EQ(fake::Count("Rectangle"), 0u);
  std::vector<std::string> end(log.end() - 3, log.end());
  EXPECT_EQ(end, (std::vector<std::string>{"SetBkMode(2)", "SelectObject(2304)", "EndPaint(1)"}));
  EXPECT_EQ(fake::Count("DrawTextW"), 7u);  // no outcome line
}

TEST_F(PaintTest, FileNameIsTheLastComponentAndClippedBesideTheSizeText) {
  struct Case {
    const char* path;
    int64_t kb;
    const char* sizeLine;
    const char* nameLine;
  } cases[] = {
      {"movie.avi", 640, "DrawTextW(640 \xCA\xE1,6,199,78,265,91,0x2)",
       "DrawTextW(movie.avi,9,16,78,229,91,0x0)"},
      {"C:movie.avi", 5, "DrawTextW(5 \xCA\xE1,4,199,78,265,91,0x2)",
       "DrawTextW(movie.avi,9,16,78,239,91,0x0)"},
      {"D:\\a:b\\c", -2, "DrawTextW(-2 \xCA\xE1,5,199,78,265,91,0x2)",
       "DrawTextW(c,1,16,78,234,91,0x0)"},
      {"", 0, "DrawTextW(0 \xCA\xE1,4,199,78,265,91,0x2)", "DrawTextW(,0,16,78,239,91,0x0)"},
      {"x", 9007199254740992, "DrawTextW(9007199254740992 \xCA\xE1,19,199,78,265,91,0x2)",
       "DrawTextW(x,1,16,78,164,91,0x0)"},
  };
  for (const Case& c : cases) {
    fake::Log.clear();
    TextCopy(JoinState.OutputPath, PathTextSize, c.path);
    JoinState.TotalKb = c.kb;
    Paint();
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[4], c.sizeLine) << c.path;
    EXPECT_EQ(texts[6], c.nameLine) << c.path;
  }
}

// A name wider than its rectangle is handed over whole, to be clipped at 16 + 243 - w with
// neither ellipsis nor wrapping; the size text keeps its own place.
TEST_F(PaintTest, ALongNameIsClippedBesideTheSizeText) {
  const std::string name(200, 'n');  // 1000 pixels at the stand-in's 5 a byte
  TextCopy(JoinState.OutputPath, PathTextSize, ("C:\\films\\" + name).c_str());
  for (int64_t kb : {int64_t{5}, int64_t{123456}}) {
    fake::Log.clear();
    JoinState.TotalKb = kb;
    Paint();
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 7u);
    std::string size = std::to_string(kb) + " \xCA\xE1";
    int w = static_cast<int>(size.size()) * fake::TextWidthPerByte;
    EXPECT_EQ(texts[4],
              "DrawTextW(" + size + "," + std::to_string(size.size()) + ",199,78,265,91,0x2)");
    EXPECT_EQ(texts[6],
              "DrawTextW(" + name + ",200,16,78," + std::to_string(16 + 243 - w) + ",91,0x0)");
  }
}

TEST_F(PaintTest, OutcomeLineOnlyOnceFinished) {
  struct Case {
    bool finished;
    uint8_t outcome;
    const char* colour;
    std::string line;  // "": no outcome line
  } cases[] = {
      {false, OutcomeComplete, nullptr, ""},
      {false, OutcomeFileError, nullptr, ""},
      {true, OutcomeComplete, "SetTextColor(0x000000)",
       std::string("DrawTextW(") + outcome::CompleteText + ",24,16,107,265,120,0x0)"},
      {true, OutcomeMismatch, "SetTextColor(0x000080)",
       std::string("DrawTextW(") + outcome::MismatchText + ",35,16,107,265,120,0x0)"},
      {true, OutcomeFileError, "SetTextColor(0x0000FF)",
       std::string("DrawTextW(") + outcome::FileErrorText + ",24,16,107,265,120,0x0)"},
      {true, 3, nullptr, ""},
  };
  for (const Case& c : cases) {
    fake::Log.clear();
    JoinState.Finished = c.finished;
    JoinState.Outcome = c.outcome;
    Paint();
    auto texts = Texts();
    if (c.line.empty()) {
      EXPECT_EQ(texts.size(), 7u) << int(c.outcome);
      continue;
    }
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts.back(), c.line);
    auto colours = fake::Calls("SetTextColor");
    EXPECT_EQ(colours[colours.size() - 2], c.colour);
    // The line comes after the bar.
    EXPECT_EQ(fake::Log[fake::Log.size() - 5], texts.back());
    EXPECT_EQ(fake::Log[fake::Log.size() - 7].substr(0, 12), "DeleteObject");
  }
}

TEST_F(PaintTest, BarFollowsTheJoinAndIsFullForAFinishedEmptyFile) {
  struct Case {
    int64_t pos, total;
    bool finished;
    size_t blocks;
  } cases[] = {
      {0, 655360, false, 0},      {327680, 655360, false, 20},
      {655360, 655360, true, 41}, {0, 0, false, 0},
      {0, 0, true, 41},           {5000, 0, true, 41},
      {100, 1000, true, 4},  // a failed join keeps the bar where the copy stopped
  };
  for (const Case& c : cases) {
    fake::Log.clear();
    JoinState.OutputPos = c.pos;
    JoinState.TotalSize = c.total;
    JoinState.Finished = c.finished;
    Paint();
    EXPECT_EQ(fake::Count("Rectangle"), c.blocks)
        << c.pos << " of " << c.total << (c.finished ? " finished" : "");
    EXPECT_EQ(fake::Count("CreateSolidBrush"), 1u);
  }
}

}  // namespace
