// A scratch folder per test, the tool run in-process with its messages captured, and small
// file helpers.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "container/container_writer.h"
#include "tests/support/test_bytes.h"

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarnovell-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    oldCwd_ = cwd;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    out_ = tmpfile();
    err_ = tmpfile();
    CliOut = out_;
    CliErr = err_;
  }
  void TearDown() override {
    CliOut = stdout;
    CliErr = stderr;
    fclose(out_);
    fclose(err_);
    CliInterrupted = 0;
    (void)chdir(oldCwd_.c_str());
    (void)system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Runs "tarnovell args..." in-process; Out() and Err() then hold what it printed.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnovell");
    ftruncate(fileno(out_), 0);
    ftruncate(fileno(err_), 0);
    rewind(out_);
    rewind(err_);
    return RunCliArgs(args);
  }
  static std::string Captured(FILE* file) {
    fflush(file);
    std::string text;
    ReadWholeFile("/proc/self/fd/" + std::to_string(fileno(file)), &text);
    return text;
  }
  std::string Out() { return Captured(out_); }
  std::string Err() { return Captured(err_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) { ASSERT_TRUE(WriteWholeFile(Path(name), bytes)); }
  std::string Read(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(Path(name), &bytes)) << name;
    return bytes;
  }
  // The names in a folder of the scratch folder ("" for itself), dot files included.
  std::set<std::string> List(const std::string& sub = "") {
    std::set<std::string> names;
    DIR* d = opendir(sub.empty() ? dir_.c_str() : Path(sub).c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
    return names;
  }
  void Mkdir(const std::string& name) { ASSERT_EQ(mkdir(Path(name).c_str(), 0755), 0); }

  std::string dir_, oldCwd_;
  FILE* out_ = nullptr;
  FILE* err_ = nullptr;
};


// Sets access and write times (whole 100 ns, as a header can carry them).
inline void SetTimes(const std::string& path, int64_t atimeSec, long atimeNs, int64_t mtimeSec, long mtimeNs) {
  struct timespec t[2] = {{static_cast<time_t>(atimeSec), atimeNs}, {static_cast<time_t>(mtimeSec), mtimeNs}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

inline struct stat StatOf(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info;
}

// A container from texts: the stub of this build, the header, the payload.
inline std::string ContainerBytes(const HeaderTexts& texts, const std::string& payload) {
  std::string stub(reinterpret_cast<const char*>(StubImage), StubImageSize);
  return stub + HeaderBytes(texts) + payload;
}

inline HeaderTexts Texts(const std::string& name, const std::string& size) {
  FILETIME a = {0x12345678, 0x01D5C0DE};
  FILETIME b = {0x9ABCDEF0, 0x01D5C0DF};
  HeaderTexts texts = MakeHeaderTexts(name, 0, a, b, a);
  texts[RecordTotalSize] = size;
  return texts;
}
