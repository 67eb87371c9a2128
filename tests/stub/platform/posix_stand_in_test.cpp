// The POSIX stand-ins: SetFileTime takes every FILETIME a header can give (the native join
// reaches it with untrusted times), and CharUpperBuffA upper-cases as the code page does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "base/cp1251_case.h"
#include "base/file_time.h"
#include "stub/platform/files_posix.h"
#include "tests/support/scratch_files.h"

namespace {

// On tmpfs, which keeps any 64-bit time, so that what the stand-in sets can be read back exactly.
class StandInTimes : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/dev/shm/tarnovell-times-XXXXXX";
    if (mkdtemp(pattern) == nullptr) GTEST_SKIP() << "no /dev/shm here: " << strerror(errno);
    folder_ = pattern;
    path_ = folder_ + "/file";
    ASSERT_TRUE(scratch::WriteBytes(path_, "x"));
  }
  void TearDown() override {
    if (!folder_.empty()) scratch::RemoveFolder(folder_);
  }
  std::string folder_, path_;
};

TEST_F(StandInTimes, EveryFileTimeIsAppliedAsItIs) {
  const FILETIME hostile[] = {
      {1, 6},                    // header halves "1" to "6": 1601, before any nanosecond count
      {0xFFFFFFFF, 0x7FFFFFFF},  // the largest signed FILETIME, year 30828
      {0xFFFFFFFF, 0xFFFFFFFF},  // the largest unsigned one
      {0x12345678, 0x01D5C0DE},  // an ordinary time, 2019
  };
  for (const FILETIME& time : hostile) {
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME access = {time.dwLowDateTime - 1, time.dwHighDateTime};
    EXPECT_TRUE(SetFileTime(file, nullptr, &access, &time)) << GetLastError();
    CloseHandle(file);
    struct stat info;
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    uint64_t ticks = TicksOf(time);
    UnixTime write = UnixTimeOfFileTime(ticks), accessed = UnixTimeOfFileTime(ticks - 1);
    EXPECT_EQ(info.st_mtim.tv_sec, write.Seconds) << ticks;
    EXPECT_EQ(info.st_mtim.tv_nsec, static_cast<long>(write.Nanoseconds)) << ticks;
    EXPECT_EQ(info.st_atim.tv_sec, accessed.Seconds) << ticks;
    EXPECT_EQ(info.st_atim.tv_nsec, static_cast<long>(accessed.Nanoseconds)) << ticks;
  }
}

TEST(StandInTimeConversions, SaturateOutsideTheNanosecondRange) {
  EXPECT_EQ(FileTimeToUnixNanoseconds(FILETIME{1, 6}), INT64_MIN);
  EXPECT_EQ(FileTimeToUnixNanoseconds(FILETIME{0xFFFFFFFF, 0xFFFFFFFF}), INT64_MAX);
  EXPECT_EQ(FileTimeToUnixNanoseconds(FILETIME{0xD53E8000, 0x019DB1DE}), 0);  // 1970-01-01
  FILETIME back = UnixNanosecondsToFileTime(1000000000LL * 1000000000 + 100);
  EXPECT_EQ(FileTimeToUnixNanoseconds(back), 1000000000LL * 1000000000 + 100);
}

TEST(StandInUpperCase, CharUpperBuffAFollowsTheCodePageTable) {
  char text[256];
  for (int i = 0; i < 256; i++) text[i] = static_cast<char>(i);
  EXPECT_EQ(CharUpperBuffA(text + 1, 255), 255u);  // the length, whatever the text
  for (int i = 1; i < 256; i++) {
    EXPECT_EQ(static_cast<unsigned char>(text[i]), Cp1251Upper(static_cast<unsigned char>(i))) << i;
  }
  const std::string word = "\xF1\xEF\xEB\xE8\xF2 \xB8\xE6 file.exe";  // "сплит ёж file.exe"
  std::string upper = word;
  CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
  EXPECT_EQ(upper, "\xD1\xCF\xCB\xC8\xD2 \xA8\xC6 FILE.EXE");
}

}  // namespace
