#include "tests/stub/join/join_fixture.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "container/container_writer.h"
#include "base/byte_text.h"
#include "stub/fileio/large_file.h"
#include "stub/join/join_driver.h"
#include "stub/platform/files_posix.h"
#include "tests/support/fake_ui.h"
#include "tests/support/scratch_files.h"

namespace jointest {

const char ExitLabel[] = "\xC2\xFB\xF5\xEE\xE4";
const char ConfirmText[] =
    "\xC2\xFB \xF3\xE2\xE5\xF0\xE5\xED\xFB ?\r\n\xD2\xE5\xEA\xF3\xF9\xE8\xE9 "
    "\xEF\xF0\xEE\xF6\xE5\xF1\xF1 "
    "\xE1\xF3\xE4\xE5\xF2 \xEF\xF0\xE5\xF0\xE2\xE0\xED.";
const char OutputInSetText[] =
    "\xCD\xE5\xEB\xFC\xE7\xFF \xF1\xEE\xF5\xF0\xE0\xED\xE8\xF2\xFC \xE2 \xF4\xE0\xE9\xEB, "
    "\xEA\xEE\xF2\xEE\xF0\xFB"
    "\xE9 \xFF\xE2\xEB\xFF\xE5\xF2\xF1\xFF \xF7\xE0\xF1\xF2\xFC\xFE \xED\xE0\xE1\xEE\xF0\xE0!";
const char PieceIsOutputText[] =
    "\xCD\xE5\xEB\xFC\xE7\xFF \xEF\xF0\xE8\xF1\xEE\xE5\xE4\xE8\xED\xE8\xF2\xFC "
    "\xEF\xEE\xEB\xF3\xF7\xE0\xE5\xEC"
    "\xFB\xE9 \xF4\xE0\xE9\xEB \xEA \xF1\xE0\xEC\xEE\xEC\xF3 \xF1\xE5\xE1\xE5!";

void Write(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(WriteWholeFile(path, bytes)) << path;
}

FileTimes TimesOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return {-1, -1};
  return {info.st_atim.tv_sec, info.st_mtim.tv_sec};
}

testing::AssertionResult BytesAre(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) at++;
  return testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                     << " were expected, first difference at offset " << at;
}

int OpenDescriptors() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (readdir(fds) != nullptr) count++;
  closedir(fds);
  return count;
}

}  // namespace jointest

static LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_COMMAND:
      if (wParam == static_cast<WPARAM>(StartButtonId)) RunJoin(window, WindowJoinCallbacks);
      return 0;
    case WM_PAINT: return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
}

static std::string StartDir;

void JoinTest::SetUp() {
  fake::Reset();
  FillZero(&JoinState, sizeof JoinState);
  FileOpenMode = 2;
  FileFaultHook = nullptr;
  TakeIoResult();
  dir = scratch::MakeFolder("join");
  StartDir = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir.c_str()), 0);  // relative output names land here

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = TestWindowProc;
  windowClass.lpszClassName = u"Tarnovell";
  RegisterClassW(&windowClass);
  window = CreateWindowExW(0, u"Tarnovell", u"Tarnovell! - DATA.EXE", 0x880000, 368, 279, 288, 210,
                           nullptr, nullptr, nullptr, nullptr);
  button = CreateWindowExW(0, u"Button", u"Старт", WS_CHILD | WS_VISIBLE, 103, 142, 75, 25, window,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(StartButtonId)), nullptr,
                           nullptr);
  JoinState.StartButton = button;
  // A scripted run that keeps answering "go on" would ask for ever: stop it.
  static int boxes;
  boxes = 0;
  fake::OnMessageBox = [](const std::string&) {
    if (++boxes > 100) throw std::runtime_error("more than 100 message boxes: the join never ends");
  };
  fake::Log.clear();
  descriptorsBefore = jointest::OpenDescriptors();
}

void JoinTest::TearDown() {
  FileFaultHook = nullptr;
  EXPECT_EQ(jointest::OpenDescriptors(), descriptorsBefore) << "a file was left open";
  if (!StartDir.empty()) EXPECT_EQ(chdir(StartDir.c_str()), 0);
  scratch::RemoveFolder(dir);
}

std::string JoinTest::WriteSet(const std::string& base, const std::vector<std::string>& payloads,
                               int64_t total, const std::string& outputName) {
  HeaderTexts texts =
      MakeHeaderTexts(outputName, total, 2ull << 32 | 1, 4ull << 32 | 3, 6ull << 32 | 5);
  EXPECT_TRUE(::WriteSet(base, Pattern(9000, 77), texts, payloads)) << base;
  return base;
}

void JoinTest::Move(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(Path(to)).parent_path());
  std::filesystem::rename(Path(from), Path(to));
}

void JoinTest::PrepareJoin(const std::string& base, int64_t total, const std::string& outputName) {
  TextCopy(JoinState.BasePath, PathTextSize, fake::Wide(base).c_str());
  TextCopy(JoinState.OutputPath, PathTextSize, fake::Wide(outputName).c_str());
  JoinState.TotalSize = total;
  JoinState.TotalKb = total / 1024;
  JoinState.CreationTime = UnixNanosecondsToFileTime(CreationSeconds * 1000000000);
  JoinState.LastAccessTime = UnixNanosecondsToFileTime(AccessSeconds * 1000000000);
  JoinState.LastWriteTime = UnixNanosecondsToFileTime(WriteSeconds * 1000000000);
}

std::string JoinTest::HeaderTimesCall() {
  return fake::SetFileTimeCall(JoinState.CreationTime, JoinState.LastAccessTime,
                               JoinState.LastWriteTime);
}

int JoinTest::RunMessageLoop() {
  MSG message;
  try {
    while (GetMessageW(&message, nullptr, 0, 0)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  } catch (const FakeProcessExit&) {
    ADD_FAILURE() << "the message loop ran dry: the process would wait for ever";
    return -1;
  }
  return static_cast<int>(message.wParam);
}

int JoinTest::PendingQuitCode() {
  for (const MSG& message : fake::Queue)
    if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
  return -1;
}
