// A join set on disk, the join state, and a stand-in main window with its start button, for
// running the copier and the driver natively. They are given the main window's own callbacks
// (WindowJoinCallbacks, ShowJoinProgress), so the calls they make are the program's.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stub/state/join_state.h"
#include "stub/platform/files_posix.h"
#include "stub/platform/win32.h"
#include "stub/ui/main_window.h"
#include "stub/ui/progress.h"
#include "tests/support/scratch_files.h"
#include "tests/support/test_bytes.h"

namespace jointest {

using scratch::Exists;
inline std::string Read(const std::string& path) {
  return scratch::ReadBytes(path);
}  // "" when absent
void Write(const std::string& path, const std::string& bytes);
// Last access and last write, in whole seconds ({-1, -1} when the file is absent). Taken before
// the file is read: a read may move the access time.
struct FileTimes {
  int64_t access, write;
};
FileTimes TimesOf(const std::string& path);
int OpenDescriptors();
// Equal bytes; a failure names the sizes and the first differing offset, not the bytes.
testing::AssertionResult BytesAre(const std::string& actual, const std::string& expected);

// CP1251 texts of the window.
extern const char ExitLabel[];
extern const char ConfirmText[];
extern const char OutputInSetText[];
extern const char PieceIsOutputText[];

}  // namespace jointest

#define EXPECT_BYTES(actual, expected) EXPECT_TRUE(jointest::BytesAre(actual, expected))
#define ASSERT_BYTES(actual, expected) ASSERT_TRUE(jointest::BytesAre(actual, expected))

class JoinTest : public ::testing::Test {
 public:
  std::string Path(const std::string& name) const { return dir + "/" + name; }

 protected:
  void SetUp() override;
  void TearDown() override;
  void Restart() {  // a fresh folder and state, for cases run one after another in a test
    TearDown();
    SetUp();
  }

  // Writes base + ".exe" (a stub image, a header naming outputName, payloads[0]) and the
  // further pieces; returns base.
  std::string WriteSet(const std::string& base, const std::vector<std::string>& payloads,
                       int64_t total, const std::string& outputName = "DATA.BIN");
  // Moves the file from to to, both names in the folder; makes to's folder when it is missing.
  void Move(const std::string& from, const std::string& to);
  // JoinState as header loading leaves it for this set.
  void PrepareJoin(const std::string& base, int64_t total,
                   const std::string& outputName = "DATA.BIN");
  // The main loop: dispatches until the quit request and returns its code. A queue that runs dry
  // first is a process that would wait for ever: the test fails.
  int RunMessageLoop();
  // The quit request left in the queue, -1 when there is none.
  int PendingQuitCode();

  std::string dir;
  HWND window = nullptr;
  HWND button = nullptr;
  int descriptorsBefore = 0;
  // The times PrepareJoin gives, each a different one, as Unix seconds.
  static constexpr int64_t CreationSeconds = 1000000000;
  static constexpr int64_t AccessSeconds = 1100000000;
  static constexpr int64_t WriteSeconds = 1234567890;
  // The recording stand-in's line for SetFileTime with JoinState's three times, in their places.
  static std::string HeaderTimesCall();
};
