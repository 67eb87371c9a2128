// The progress bar's arithmetic and drawing, and the message pump.
#include "stub/ui/progress.h"

#include "tests/support/ui_fixture.h"

namespace {

using ProgressTest = UiTest;

HDC Dc() { return reinterpret_cast<HDC>(static_cast<intptr_t>(0x600)); }

// 245 p / 100 rounded to the nearest integer, halves to even, in integers only.
int64_t ExpectedLength(int64_t p) {
  int64_t q = 245 * p / 100, r = 245 * p % 100;
  return r > 50 || (r == 50 && q % 2 != 0) ? q + 1 : q;
}

TEST_F(ProgressTest, BarLengthForEveryWholePercentage) {
  for (int64_t p = 0; p <= 100; p++)
    EXPECT_EQ(ProgressBarLength(p, 100), ExpectedLength(p)) << p << "%";
  // The five exact halves go to the even neighbour.
  EXPECT_EQ(ProgressBarLength(10, 100), 24);
  EXPECT_EQ(ProgressBarLength(30, 100), 74);
  EXPECT_EQ(ProgressBarLength(50, 100), 122);
  EXPECT_EQ(ProgressBarLength(70, 100), 172);
  EXPECT_EQ(ProgressBarLength(90, 100), 220);
}

// Half a percent goes to the even percent before the length is taken: 50.5 % is 50 % (122
// pixels), 51.5 % is 52 % (127 pixels). The block counts alone (20 and 21) cannot tell 51 % from
// 52 %.
TEST_F(ProgressTest, HalfAPercentGoesToTheEvenPercent) {
  EXPECT_EQ(ProgressBarLength(101, 200), 122);
  EXPECT_EQ(ProgressBarLength(103, 200), 127);
  EXPECT_EQ(ProgressBarLength(105, 200), 127) << "52.5 %: 52 %, not 53 % (130)";
  EXPECT_EQ(ProgressBarLength(-101, 200), -122) << "-50.5 %: -50 %";
}

TEST_F(ProgressTest, BlocksDrawn) {
  struct Case {
    int64_t done, total;
    size_t blocks;
  } cases[] = {
      {0, 100, 0},   {1, 100, 0},    {2, 100, 1},        {3, 100, 1},       {4, 100, 2},
      {6, 100, 2},   {10, 100, 4},   {50, 100, 20},      {69, 100, 28},     {70, 100, 29},
      {97, 100, 40}, {99, 100, 40},  {100, 100, 41},     {101, 200, 20},    {103, 200, 21},
      {0, 1, 0},     {250, 100, 41}, {1LL << 40, 3, 41}, {5, -100, 0},      {-5, 100, 0},
      {0, 0, 0},     {7, 0, 0},      {INT64_MAX, 1, 41}, {INT64_MIN, 1, 0},
  };
  for (const Case& c : cases) {
    fake::Log.clear();
    DrawProgress(Dc(), c.done, c.total);
    auto rects = fake::Calls("Rectangle");
    ASSERT_EQ(rects.size(), c.blocks) << c.done << " of " << c.total;
    for (size_t k = 0; k < rects.size(); k++)
      EXPECT_EQ(rects[k], "Rectangle(" + std::to_string(18 + 6 * k) + ",95," +
                              std::to_string(22 + 6 * k) + ",102)");
  }
  DrawProgress(Dc(), 100, 100);
  EXPECT_EQ(fake::Calls("Rectangle").back(), "Rectangle(258,95,262,102)");
}

TEST_F(ProgressTest, DrawingObjectsAreMadeSelectedRestoredAndDeletedInOrder) {
  DrawProgress(Dc(), 2, 100);
  ASSERT_EQ(fake::Log.size(), 9u);
  EXPECT_EQ(fake::Log[0], "CreateSolidBrush(0x7F0000)");  // red 0, green 0, blue 127
  EXPECT_EQ(fake::Log[1], "CreatePen(0,1,0x7F0000)");
  std::string brush = fake::Log[2].substr(12), pen = fake::Log[3].substr(12);  // "(id)"
  EXPECT_EQ(fake::Log[4], "Rectangle(18,95,22,102)");
  EXPECT_EQ(fake::Log[5], "SelectObject(2304)");  // the stand-in's "previous" objects, back in
  EXPECT_EQ(fake::Log[6], "SelectObject(2304)");
  EXPECT_EQ(fake::Log[7], "DeleteObject" + pen);
  EXPECT_EQ(fake::Log[8], "DeleteObject" + brush);
  EXPECT_NE(brush, pen);
}

TEST_F(ProgressTest, PumpDispatchesEverythingButTheQuitRequest) {
  HWND window = reinterpret_cast<HWND>(9);
  fake::Post(window, WM_PAINT);
  fake::Post(nullptr, WM_QUIT, 0);
  fake::Post(window, WM_MOUSEMOVE);
  bool added = false;
  fake::OnPeek = [&] {  // a message that arrives while the pump runs is handled too
    if (!added && fake::Queue.size() == 1) {
      added = true;
      fake::Post(window, WM_CHAR, 32);
    }
  };
  PumpMessages();
  EXPECT_TRUE(fake::Queue.empty());
  EXPECT_EQ(fake::Calls("DispatchMessageW"),
            (std::vector<std::string>{"DispatchMessageW(9,15)", "DispatchMessageW(9,512)",
                                      "DispatchMessageW(9,258)"}));
  EXPECT_TRUE(JoinState.QuitRequested);
}

TEST_F(ProgressTest, PumpOnAnEmptyQueueReturnsAtOnce) {
  PumpMessages();
  EXPECT_EQ(fake::Count("DispatchMessageW"), 0u);
  EXPECT_FALSE(JoinState.QuitRequested);
}

}  // namespace
