// The tool on Windows where it has ways of its own: the creation time, a process killed or sent
// Ctrl+C in the middle of a join, and the built program taking UTF-16 arguments. Windows only.
#include "tests/cli/test_support.h"

namespace {

const char KilledJoinVariable[] = "TARNOVELL_TEST_KILLED_JOIN";

std::wstring ThisProgram() {
  wchar_t self[32768];
  DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  return std::wstring(self, length);
}

// Runs a program with a command line, its output into a file; returns its exit code.
DWORD RunProgram(const std::wstring& commandLine, const std::string& folder,
                 const std::string& output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(U8(output).wstring().c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(out, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine;
  // No console of its own (a console's host process would outlive the test, in its folder).
  bool started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                nullptr, U8(folder).wstring().c_str(), &startup, &process);
  CloseHandle(out);
  EXPECT_TRUE(started) << GetLastError();
  if (!started) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

// Whether the file system keeps a creation time that can be set (NTFS does; Wine over a Linux
// file system reports the last write time instead).
bool CreationTimesKept(const std::string& path) {
  const uint64_t probe = 0x01D00000AAAAAAAAull;
  FileTimes now = TimesOf(path);
  SetFileTimes(path, probe, now.Access, now.Write);
  return TimesOf(path).Creation == probe;
}

TEST_F(CliTest, TheCreationTimeTravelsWithTheSet) {
  Write("probe", "");
  bool creationKept = CreationTimesKept(Path("probe"));
  Remove("probe");
  const uint64_t creation = 0x01D5C0DE00001111ull, access = 0x01D6000022220000ull,
                 write = 0x01D5D00033330000ull;
  Write("Фото.jpg", "picture");
  SetFileTimes(Path("Фото.jpg"), creation, access, write);
  uint64_t reported = TimesOf(Path("Фото.jpg")).Creation;  // what the header must carry
  ASSERT_EQ(Run({"split", "Фото.jpg", "-q"}), ExitComplete) << Err();
  std::string container = Read("Фото.exe");
  auto record = [&](int index) {
    const char* at = container.data() + HeaderOffset + index * HeaderRecordSize;
    return std::string(at + 1, static_cast<unsigned char>(at[0]));
  };
  EXPECT_EQ(record(RecordCreationLow), std::to_string(reported & 0xFFFFFFFF));
  EXPECT_EQ(record(RecordCreationHigh), std::to_string(reported >> 32));

  Mkdir("out");
  ASSERT_EQ(Run({"join", "Фото.exe", "-o", "out", "-q"}), ExitComplete) << Err();
  FileTimes joined = TimesOf(Path("out/Фото.jpg"));
  EXPECT_EQ(joined.Access, access);
  EXPECT_EQ(joined.Write, write);
  if (!creationKept)
    GTEST_SKIP() << "this file system keeps no creation time that can be set (Wine over Linux)";
  EXPECT_EQ(reported, creation);
  EXPECT_EQ(joined.Creation, creation);
}

// The child of AKilledJoinLeavesNothing: a join that ends its own process at its third block.
TEST(CliChild, JoinKilledAtTheThirdBlock) {
  const char* folder = getenv(KilledJoinVariable);
  if (folder == nullptr) GTEST_SKIP() << "run by AKilledJoinLeavesNothing only";
  std::filesystem::current_path(U8(folder));
  OsFaultHook = [](OsCall call) {
    static int blocks = 0;
    if (call == OsCallCopy && ++blocks == 3) TerminateProcess(GetCurrentProcess(), 9);
    return 0;
  };
  RunCliArgs({"tarnovell", "join", "data.exe", "-o", "out", "-q"});
  ExitProcess(0);  // not killed: the parent sees 0, not 9
}

// A join stopped in the middle: data.exe and pieces of 1 MiB each, and an empty folder "out".
class StoppedJoin : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    Write("data.bin", Pattern(3 << 20));
    ASSERT_EQ(Run({"split", "data.bin", "--size", "1M", "-q"}), ExitComplete) << Err();
    Mkdir("out");
  }
};

TEST_F(StoppedJoin, AKilledJoinLeavesNothing) {
  SetEnvironmentVariableA(KilledJoinVariable, dir_.c_str());
  DWORD code =
      RunProgram(L"\"" + ThisProgram() + L"\" --gtest_filter=CliChild.JoinKilledAtTheThirdBlock",
                 dir_, captures_ + "/child.txt");
  SetEnvironmentVariableA(KilledJoinVariable, nullptr);
  ASSERT_EQ(code, 9u) << "the child was not killed in the middle of its join";
  EXPECT_EQ(List("out"), std::set<std::string>{})
      << "the half-written output is gone with its process";
}

// A console of the process's own for the length of a scope (Ctrl+C goes to a console's
// processes), the standard handles kept as they were.
class OwnConsole {
 public:
  // The console's host process starts in the current folder: it is started from the temporary
  // folder, so that the test's own folder can be removed after it.
  explicit OwnConsole(const std::string& folder) {
    for (int i = 0; i < 3; i++) saved_[i] = GetStdHandle(StdHandle(i));
    std::filesystem::path current = std::filesystem::current_path();
    std::filesystem::current_path(U8(folder));
    FreeConsole();
    ok_ = AllocConsole() != 0;
    std::filesystem::current_path(current);
  }
  ~OwnConsole() {
    FreeConsole();
    for (int i = 0; i < 3; i++) SetStdHandle(StdHandle(i), saved_[i]);
  }
  bool Ok() const { return ok_; }

 private:
  static DWORD StdHandle(int i) {
    return i == 0 ? STD_INPUT_HANDLE : i == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  }
  HANDLE saved_[3] = {};
  bool ok_ = false;
};

TEST_F(StoppedJoin, CtrlCStopsAJoinAndLeavesNothing) {
  OwnConsole console(TextOf(std::filesystem::temp_directory_path()));
  if (!console.Ok()) GTEST_SKIP() << "no console can be made here";
  // At the first block, Ctrl+C; the handler runs on a thread of its own.
  OsFaultHook = [](OsCall call) {
    if (call == OsCallCopy && !CliInterrupted) {
      GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
      for (int i = 0; i < 200 && !CliInterrupted; i++) Sleep(25);
    }
    return 0;
  };
  EXPECT_EQ(Run({"join", "data.exe", "-o", "out"}), ExitInterrupted);
  EXPECT_NE(Err().find("interrupted; nothing was written"), std::string::npos) << Err();
  EXPECT_EQ(List("out"), std::set<std::string>{});
}

TEST_F(CliTest, TheProgramTakesUnicodeArgumentsAndWritesUtf8WhenRedirected) {
  std::string data = Pattern(100000, 3);
  Write("Фильм.avi", data);
  std::wstring tool = L"\"" + U8(BuildFile(TARNOVELL_WINDOWS_TOOL)).wstring() + L"\" ";
  std::string printed = captures_ + "/split.txt";
  EXPECT_EQ(
      RunProgram(tool + L"split \u0424\u0438\u043B\u044C\u043C.avi --size 40000", dir_, printed),
      0u);
  std::string text;
  ReadFileBytes(printed, &text);
  EXPECT_EQ(text,
            "Фильм.avi: 100000 bytes in Фильм.exe and 3 pieces (Фильм.c001 to Фильм.c003)\r\n");
  Mkdir("out");
  printed = captures_ + "/join.txt";
  EXPECT_EQ(RunProgram(tool + L"join \u0424\u0438\u043B\u044C\u043C.exe -o out", dir_, printed),
            0u);
  ReadFileBytes(printed, &text);
  EXPECT_EQ(text, "out\\Фильм.avi: complete, 100000 bytes from 4 files\r\n");
  EXPECT_TRUE(Read("out/Фильм.avi") == data);
  printed = captures_ + "/missing.txt";
  EXPECT_EQ(RunProgram(tool + L"join \u041D\u0435\u0442.exe", dir_, printed),
            static_cast<DWORD>(ExitFileError));
  ReadFileBytes(printed, &text);
  EXPECT_EQ(text.rfind("tarnovell: cannot open Нет.exe: ", 0), 0u) << text;
}

// A set without a digest block (as older splitters make them) is copied by the Windows side's
// own copy: every byte in its place across blocks of 4 MiB, and blocks of zeros left unwritten,
// so that they take no room where the file system keeps holes.
TEST_F(CliTest, ASetWithoutDigestsJoinsByteForByteWithItsZerosUnwritten) {
  // 16 MiB of zeros: 2 MiB at the end of the container's data, whole blocks at the start of the
  // piece's, 10 MiB unwritten in all.
  const std::string data = std::string(1, '\0') + Pattern(100000, 4) + std::string(16 << 20, '\0') +
                           Pattern(5 << 20, 5) + std::string(3, '\0');
  const size_t first = 6 << 20;
  Write("z.exe",
        ContainerBytes(Texts("z.bin", std::to_string(data.size())), data.substr(0, first)));
  Write("z.c001", data.substr(first));
  ASSERT_EQ(Run({"join", "z.exe", "-q"}), ExitComplete) << Err();
  EXPECT_TRUE(Read("z.bin") == data);
  Write("probe", std::string(1 << 20, '\0'));
  if (AllocatedSize(Path("probe")) < (1 << 20))
    GTEST_SKIP() << "this file system does not count allocation";
  EXPECT_LT(AllocatedSize(Path("z.bin")), static_cast<int64_t>(data.size()) - (8 << 20));
}

}  // namespace
