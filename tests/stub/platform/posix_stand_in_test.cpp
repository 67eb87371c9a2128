// The POSIX stand-ins: SetFileTime takes every FILETIME a header can give (the native join
// reaches it with untrusted times), and CharUpperBuffA upper-cases as the code page does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

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
  // Each FILETIME with the Unix time it is, worked out apart from the code under test (ticks less
  // 116444736000000000, over 10^7, rounded down; the rest in hundreds of nanoseconds): as the write
  // time, and one tick earlier as the access time.
  struct Case {
    FILETIME time;
    int64_t writeSeconds;
    long writeNanoseconds;
    int64_t accessSeconds;
    long accessNanoseconds;
  };
  const Case cases[] = {
      // Header halves "1" to "6": 1601-01-01 00:42:56.9803777, before any nanosecond count.
      {{1, 6}, -11644471024, 980377700, -11644471024, 980377600},
      {{0xD53E8000, 0x019DB1DE}, 0, 0, -1, 999999900},                  // 1970-01-01 00:00:00
      {{0x44FF8000, 0x01C138D1}, 1000000000, 0, 999999999, 999999900},  // 2001-09-09 01:46:40
      {{0x12345678, 0x01D5C0DE},
       1577908809,
       799026400,
       1577908809,
       799026300},  // 2020-01-01 20:00:09
      // The largest signed FILETIME (year 30828) and the largest unsigned one (year 60056).
      {{0xFFFFFFFF, 0x7FFFFFFF}, 910692730085, 477580700, 910692730085, 477580600},
      {{0xFFFFFFFF, 0xFFFFFFFF}, 1833029933770, 955161500, 1833029933770, 955161400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << c.time.dwHighDateTime << ":" << c.time.dwLowDateTime);
    HANDLE file = CreateFileW(WideOfUtf8(path_).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME access = {c.time.dwLowDateTime - 1, c.time.dwHighDateTime};
    EXPECT_TRUE(SetFileTime(file, nullptr, &access, &c.time)) << GetLastError();
    CloseHandle(file);
    struct stat info;
    ASSERT_EQ(stat(path_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, c.writeSeconds);
    EXPECT_EQ(info.st_mtim.tv_nsec, c.writeNanoseconds);
    EXPECT_EQ(info.st_atim.tv_sec, c.accessSeconds);
    EXPECT_EQ(info.st_atim.tv_nsec, c.accessNanoseconds);
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
  // Windows-1251's lower-case letters and their capitals, byte for byte, as the code page's
  // chart gives them: the Latin ones; а to я (E0 to FF) to А to Я (C0 to DF); and the scattered
  // letters of 80 to BF: ђ ѓ љ њ ќ ћ џ ў і ґ ё є ј ѕ ї.
  const std::string small =
      "abcdefghijklmnopqrstuvwxyz"
      "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
      "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"
      "\x90\x83\x9A\x9C\x9D\x9E\x9F\xA2\xB3\xB4\xB8\xBA\xBC\xBE\xBF";
  const std::string capital =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
      "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
      "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF"
      "\x80\x81\x8A\x8C\x8D\x8E\x8F\xA1\xB2\xA5\xA8\xAA\xA3\xBD\xAF";
  ASSERT_EQ(small.size(), 26u + 32u + 15u);
  ASSERT_EQ(capital.size(), small.size());
  // Every other byte stays as it is: capitals, digits, signs, µ (whose capital is Greek), 98.
  unsigned char expected[256];
  for (int i = 0; i < 256; i++) expected[i] = static_cast<unsigned char>(i);
  for (size_t k = 0; k < small.size(); k++)
    expected[static_cast<unsigned char>(small[k])] = static_cast<unsigned char>(capital[k]);

  char text[256];
  for (int i = 0; i < 256; i++) text[i] = static_cast<char>(i);
  EXPECT_EQ(CharUpperBuffA(text + 1, 255), 255u);  // the length, whatever the text
  for (int i = 1; i < 256; i++) {
    EXPECT_EQ(static_cast<unsigned char>(text[i]), expected[i]) << "byte 0x" << std::hex << i;
  }
  const std::string word = "\xF1\xEF\xEB\xE8\xF2 \xB8\xE6 file.exe";  // "сплит ёж file.exe"
  std::string upper = word;
  CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
  EXPECT_EQ(upper, "\xD1\xCF\xCB\xC8\xD2 \xA8\xC6 FILE.EXE");
}

}  // namespace
