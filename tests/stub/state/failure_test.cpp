// A bad header number ends the run through the "Application Error" report.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "stub/state/failure.h"
#include "container/layout.h"
#include "stub/platform/files_posix.h"
#include "tests/support/fake_ui.h"

namespace {

class FailureReport : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    std::strcpy(PosixModulePath, "/sets/folder/DATA.exe");
  }
  void TearDown() override { PosixModulePath[0] = 0; }
};

// Runs ParseHeaderInteger on text that must fail; returns the box's text.
std::string FailingParse(const std::string& text) {
  try {
    ParseHeaderInteger(text.c_str());
  } catch (const FakeProcessExit& exit) {
    EXPECT_EQ(exit.code, 1u);
    EXPECT_FALSE(fake::Log.empty());
    if (!fake::Log.empty()) {
      EXPECT_EQ(fake::Log.back(), "ExitProcess(1)");
    }
    std::vector<std::string> boxes = fake::Calls("MessageBoxA");
    EXPECT_EQ(boxes.size(), 1u);
    return boxes.empty() ? std::string() : boxes[0];
  }
  ADD_FAILURE() << "'" << text << "' was taken as a number";
  return std::string();
}

TEST_F(FailureReport, BadIntegerTextShowsTheBoxAndExitsWithOne) {
  const char* texts[] = {"123 ", "", "$", "\t1", "9223372036854775808"};
  for (const char* text : texts) {
    fake::Reset();
    std::string box = FailingParse(text);
    // No owner, the text, the caption, MB_OK + MB_ICONSTOP + MB_TASKMODAL.
    std::regex expected(
        "MessageBoxA\\(0,Exception EConvertError in module DATA\\.exe at [0-9A-F]{8}\\.\r\n'" +
        std::regex_replace(std::string(text), std::regex("[$.^]"), "\\$&") +
        "' is not a valid integer value\\.\r\n,Application Error,0x2010\\)");
    EXPECT_TRUE(std::regex_match(box, expected)) << box;
  }
}

TEST_F(FailureReport, TheWholeRecordTextIsQuoted) {
  std::string text(254, '7');
  text += "x";  // 255 bytes, invalid only at its last byte
  std::string box = FailingParse(text);
  EXPECT_NE(box.find("\r\n'" + text + "' is not a valid integer value.\r\n"), std::string::npos)
      << box;
}

TEST_F(FailureReport, ValidTextShowsNothing) {
  EXPECT_EQ(ParseHeaderInteger("  -$10"), -16);
  EXPECT_EQ(ParseHeaderInteger("5000000"), 5000000);
  EXPECT_TRUE(fake::Log.empty());
}

TEST(FailureText, FullStopIsAddedOnlyWhenMissing) {
  const struct {
    const char* message;
    const char* tail;
  } cases[] = {{"Out of memory", "Out of memory.\r\n"},
               {"Already ends.", "Already ends.\r\n"},
               {"", ".\r\n"},
               {"Two..", "Two..\r\n"}};
  for (const auto& c : cases) {
    char text[FailureTextSize];
    FormatFailureText(text, "EOutOfMemory", "DATA.EXE", 0x1A2B, c.message);
    EXPECT_EQ(std::string(text),
              std::string("Exception EOutOfMemory in module DATA.EXE at 00001A2B.\r\n") + c.tail);
  }
  char text[FailureTextSize];
  FormatFailureText(text, "EAccessViolation", "x.exe", 0xFFFFFFFFu, "m");
  EXPECT_STREQ(text, "Exception EAccessViolation in module x.exe at FFFFFFFF.\r\nm.\r\n");
}

}  // namespace
