// Every file call of a three-piece join made to fail in turn: the output is then either the
// whole joined file or absent, the outcome says which, and no piece is ever changed.
#include <gmock/gmock.h>

#include <map>

#include "stub/fileio/large_file.h"
#include "stub/join/join_driver.h"
#include "stub/platform/files_posix.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/fake_ui.h"

using jointest::Exists;
using jointest::Read;

namespace {

int CallNumber;
int FailAt;  // 0: no call fails
DWORD FailCode;
std::vector<FileCallKind> Calls;

DWORD FailOneCall(FileCallKind call, const char*) {
  Calls.push_back(call);
  return ++CallNumber == FailAt ? FailCode : 0;
}

const char* KindName(FileCallKind kind) {
  static const char* names[] = {"CreateFile",  "ReadFile",          "WriteFile",  "SetFilePointer",
                                "GetFileSize", "CloseHandle",       "DeleteFile", "FindFirstFile",
                                "SetFileTime", "GetFileInformation", "SetEndOfFile"};
  return names[kind];
}

}  // namespace

class JoinFaultTest : public JoinTest {
 protected:
  std::vector<std::string> payloads = Patterns({150000, 70000, 1000});
  int64_t total = 150000 + 70000 + 1000;
  std::string pieces[3];

  void Run(int failAt, DWORD code) {
    WriteSet(Path("DATA"), payloads, total);
    PrepareJoin(Path("DATA"), total);
    pieces[0] = Read(Path("DATA.exe"));
    pieces[1] = Read(Path("DATA.c001"));
    pieces[2] = Read(Path("DATA.c002"));
    fake::SaveAnswers.push_back({true, Path("out.bin")});
    // A piece that looks missing: the Open dialog is cancelled; the first box goes on, the
    // second abandons (a join that would otherwise ask for ever).
    fake::MessageBoxAnswers = {IDNO, IDYES};
    CallNumber = 0;
    FailAt = failAt;
    FailCode = code;
    Calls.clear();
    FileFaultHook = FailOneCall;
    RunJoin(window, WindowJoinCallbacks);
    FileFaultHook = nullptr;
  }
};

TEST_F(JoinFaultTest, EveryFileCallMayFail) {
  Run(0, 0);
  const std::string joined = Concatenated(payloads);
  ASSERT_BYTES(Read(Path("out.bin")), joined);
  ASSERT_EQ(JoinState.Outcome, OutcomeComplete);
  const std::vector<FileCallKind> clean = Calls;
  const int n = static_cast<int>(clean.size());

  std::map<std::string, int> seen;  // what each failure led to, for the record
  for (DWORD code :
       {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_DISK_FULL}, DWORD{ERROR_SHARING_VIOLATION}}) {
    for (int k = 1; k <= n; k++) {
      FileCallKind kind = clean[k - 1];
      SCOPED_TRACE(testing::Message()
                   << "call " << k << " of " << n << " (" << KindName(kind) << "), error " << code);
      Restart();
      Run(k, code);
      ASSERT_GE(static_cast<int>(Calls.size()), k);
      ASSERT_EQ(Calls[k - 1], kind) << "the failure hit another call than in the clean run";

      EXPECT_BYTES(Read(Path("DATA.exe")), pieces[0]);
      EXPECT_BYTES(Read(Path("DATA.c001")), pieces[1]);
      EXPECT_BYTES(Read(Path("DATA.c002")), pieces[2]);
      std::string result;
      if (!JoinState.Finished) {
        result = "abandoned";
        EXPECT_FALSE(Exists(Path("out.bin")));
        EXPECT_EQ(PendingQuitCode(), 0);
      } else if (JoinState.Outcome == OutcomeComplete) {
        result = "complete";
        EXPECT_BYTES(Read(Path("out.bin")), joined);
      } else {
        result = "file error";
        EXPECT_EQ(JoinState.Outcome, OutcomeFileError);
        EXPECT_FALSE(Exists(Path("out.bin")));
      }
      // Data calls exist only inside a copy: their failure is a failed copy.
      if (kind == CallReadFile || kind == CallWriteFile || kind == CallSetFilePointer ||
          kind == CallGetFileSize)
        EXPECT_EQ(result, "file error");
      if (kind == CallSetFileTime) {
        EXPECT_EQ(result, "complete");
        EXPECT_EQ(k, n - 1) << "the times are the last but one call, before the close";
      }
      if (result == "complete" && kind != CallSetFileTime && kind != CallCreateFile)
        EXPECT_EQ(jointest::TimesOf(Path("out.bin")).write, WriteSeconds);
      seen[std::string(KindName(kind)) + " -> " + result]++;
    }
  }
  for (const auto& [what, count] : seen) std::printf("  %-40s %d\n", what.c_str(), count);
}
