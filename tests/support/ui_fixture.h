// Shared set-up of the window tests: a fresh recording stand-in, a zero JoinState, and containers
// written to a temporary folder for the program to find as its own image.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "container/container_writer.h"
#include "stub/state/join_state.h"
#include "stub/platform/files_posix.h"
#include "tests/support/fake_ui.h"
#include "tests/support/scratch_files.h"
#include "stub/ui/main_window.h"

class UiTest : public ::testing::Test {
 protected:
  // Table-driven cases call SetUp and TearDown again for each row: a folder left by the
  // previous SetUp is removed first.
  void SetUp() override {
    if (!Dir.empty()) TearDown();
    fake::Reset();
    JoinState = JoinStateRecord{};
    PosixModulePath[0] = 0;
    FileFaultHook = nullptr;
    Dir = scratch::MakeFolder("ui");
  }
  void TearDown() override {
    PosixModulePath[0] = 0;
    FileFaultHook = nullptr;
    if (Dir.empty()) return;
    scratch::RemoveFolder(Dir);
    Dir.clear();
  }

  // Writes Dir/relative (folders made as needed) with bytes, and makes it the program's own
  // image. Returns its full path.
  std::string UseImage(const std::string& relative, const std::string& bytes) {
    std::string path = Dir + "/" + relative;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    EXPECT_FALSE(error) << path;
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    UseOwnImage(path);
    return path;
  }
  // UseImage with a container of the given header texts and first payload.
  std::string UseContainer(const std::string& relative, const HeaderTexts& texts,
                           const std::string& payload = "") {
    return UseImage(relative, FitStubImage("MZ") + HeaderBytes(texts) + payload);
  }
  void UseOwnImage(const std::string& path) {
    ASSERT_LT(path.size(), sizeof PosixModulePath);
    snprintf(PosixModulePath, sizeof PosixModulePath, "%s", path.c_str());
  }
  // The main window over the own image, as the process entry makes it; the log starts empty.
  static HWND OpenMainWindow() {
    EXPECT_TRUE(RegisterMainClass());
    HWND window = CreateMainWindow();
    EXPECT_NE(window, nullptr);
    fake::Log.clear();
    return window;
  }
  static HeaderTexts Texts(const std::string& name, const std::string& size) {
    return HeaderTexts{name, size, "1", "2", "3", "4", "5", "6"};
  }

  // Log lines from the first line that starts with from (inclusive), for order checks.
  static std::vector<std::string> LogFrom(const std::string& from) {
    std::vector<std::string> lines;
    bool on = false;
    for (const std::string& line : fake::Log) {
      if (line.compare(0, from.size(), from) == 0) on = true;
      if (on) lines.push_back(line);
    }
    return lines;
  }

  std::string Dir;
};
