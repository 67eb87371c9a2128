// The two link areas: the cursor over them and what a press opens.
#include "stub/ui/links.h"

#include "stub/ui/credits.h"
#include "stub/ui/paint.h"
#include "tests/support/ui_fixture.h"

namespace {

class LinksTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    JoinState.HandCursor = reinterpret_cast<HCURSOR>(static_cast<intptr_t>(0x11));
    JoinState.ArrowCursor = reinterpret_cast<HCURSOR>(static_cast<intptr_t>(0x22));
  }
  static HWND Window() { return reinterpret_cast<HWND>(1); }
};

const std::string MailTarget = MakerMailTarget;
// The web-site address as the window paints it, written out: what the web link must open.
const std::string WebTarget = "http://tarnovell.example.org";

TEST_F(LinksTest, PressesOpenTheLinkUnderThemWithInclusiveBounds) {
  struct Case {
    int x, y;
    const std::string* target;
  } cases[] = {
      {140, 29, &MailTarget}, {240, 42, &MailTarget}, {240, 29, &MailTarget},
      {140, 42, &MailTarget}, {241, 42, nullptr},     {139, 30, nullptr},
      {200, 43, nullptr},     {200, 28, nullptr},     {66, 45, &WebTarget},
      {203, 58, &WebTarget},  {204, 50, nullptr},     {100, 44, nullptr},
      {65, 50, nullptr},      {100, 59, nullptr},     {-1, 35, nullptr},
      {150, -30, nullptr},    {0, 0, nullptr},
  };
  for (const Case& c : cases) {
    fake::Log.clear();
    HandleLinkClick(Window(), fake::Point(c.x, c.y));
    if (c.target == nullptr) {
      EXPECT_EQ(fake::Count("ShellExecuteW"), 0u) << c.x << "," << c.y;
    } else {
      EXPECT_EQ(fake::Calls("ShellExecuteW"),
                std::vector<std::string>{"ShellExecuteW(1,open," + *c.target + ",,,5)"})
          << c.x << "," << c.y;
    }
    fake::Log.clear();
    UpdateCursor(Window(), fake::Point(c.x, c.y));
    EXPECT_EQ(fake::Calls("SetCursor"),
              std::vector<std::string>{c.target != nullptr ? "SetCursor(17)" : "SetCursor(34)"})
        << c.x << "," << c.y;
  }
}

TEST_F(LinksTest, HandShowsBeyondThePaintedCreditNameAndArrowBetweenTheAreas) {
  UpdateCursor(Window(), fake::Point(235, 35));
  UpdateCursor(Window(), fake::Point(235, 44));
  EXPECT_EQ(fake::Calls("SetCursor"), (std::vector<std::string>{"SetCursor(17)", "SetCursor(34)"}));
}

TEST_F(LinksTest, TargetsAreTheMailFormAndThePaintedUrl) {
  const std::string subject = "?subject=Tarnovell!_1.7";
  ASSERT_GT(MailTarget.size(), 7 + subject.size());
  EXPECT_EQ(MailTarget.substr(0, 7), "mailto:");
  EXPECT_EQ(MailTarget.substr(MailTarget.size() - subject.size()), subject);
  std::string address = MailTarget.substr(7, MailTarget.size() - 7 - subject.size());
  EXPECT_NE(address.find('@'), std::string::npos);
  // The web link opens exactly what the window paints as the web-site address.
  PaintWindow(Window());
  auto texts = fake::Calls("DrawTextW");
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[3].substr(0, 10 + WebTarget.size() + 1), "DrawTextW(" + WebTarget + ",");
  EXPECT_EQ(WebTarget.substr(0, 7), "http://");
}

}  // namespace
