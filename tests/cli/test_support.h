// A scratch folder per test, the tool run in-process with its messages captured, and small
// file helpers; the same on Linux and on Windows (under Wine), where the tool's paths are UTF-8
// too. The helpers reach the files through std::filesystem and the system's own calls, never
// through the tool's seam, so that they judge it from outside.
#pragma once

#include <stdio.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <io.h>

#include "stub/platform/win32.h"  // TicksOf, FileTimeOfTicks
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include "base/file_time.h"
#include "cli/app.h"
#include "cli/os/os.h"
#include "cli/set/stub_image.h"
#include "cli/show/messages.h"
#include "container/container_writer.h"
#include "container/digest_block.h"
#include "container/layout.h"
#include "tests/support/scratch_files.h"  // also <filesystem>, <fstream>, <string>, and <windows.h> or <unistd.h>
#include "tests/support/test_bytes.h"

// A path from UTF-8 text, and back.
inline std::filesystem::path U8(const std::string& utf8) { return std::filesystem::u8path(utf8); }
inline std::string TextOf(const std::filesystem::path& path) { return path.u8string(); }

// An absolute path in the form that has no length limit: "\\?\C:\..." on Windows.
inline std::filesystem::path LongForm(const std::string& absolute) {
#ifdef _WIN32
  std::wstring path = U8(absolute).wstring();
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return std::filesystem::path(L"\\\\?\\" + path);
#else
  return U8(absolute);
#endif
}

// A file of the build: its path on Linux; on Windows the path is relative to the test program
// (the build's tree is the same, wherever Windows sees it).
inline std::string BuildFile(const std::string& path) {
#ifdef _WIN32
  wchar_t self[32768];
  DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  return TextOf(std::filesystem::path(std::wstring(self, length)).parent_path() / U8(path));
#else
  return path;
#endif
}

inline bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(U8(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

inline bool ReadFileBytes(const std::string& path, std::string* bytes) {
  std::ifstream in(U8(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream all;  // in bulk: a byte at a time, megabytes take seconds under the sanitizers
  all << in.rdbuf();
  *bytes = all.str();
  return true;
}

// The name of file n of a set: base.exe, base.c001, ...
inline std::string PieceFile(const std::string& base, int n) {
  if (n == 0) return base + ".exe";
  char suffix[PieceSuffixSize];
  PieceSuffix(n, suffix);
  return base + suffix;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TextOf(std::filesystem::path(scratch::MakeFolder("cli")));
    captures_ = TextOf(std::filesystem::path(scratch::MakeFolder("cli-out")));
    oldCwd_ = std::filesystem::current_path();
    std::filesystem::current_path(U8(dir_));
    Capture();
  }
  void TearDown() override {
    CliOut = stdout;
    CliErr = stderr;
    fclose(out_);
    fclose(err_);
    CliInterrupted = 0;
    std::filesystem::current_path(oldCwd_);
    OsFaultHook = nullptr;
    OsFreeSpaceHook = nullptr;
    scratch::RemoveFolder(dir_);
    scratch::RemoveFolder(captures_);
  }

  // Fresh files for what the tool prints, outside the scratch folder (whose listing the tests
  // check).
  void Capture() {
    if (out_ != nullptr) fclose(out_);
    if (err_ != nullptr) fclose(err_);
    out_ = fopen((captures_ + "/out").c_str(), "w+b");
    err_ = fopen((captures_ + "/err").c_str(), "w+b");
    ASSERT_TRUE(out_ != nullptr && err_ != nullptr);
#ifdef _WIN32
    // Not inherited by the programs a test starts, which could hold them past the test.
    for (FILE* file : {out_, err_}) {
      SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))),
                           HANDLE_FLAG_INHERIT, 0);
    }
#endif
    CliOut = out_;
    CliErr = err_;
  }

  // Runs "tarnovell args..." in-process; Out() and Err() then hold what it printed.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnovell");
    Capture();
    return RunCliArgs(args);
  }
  std::string Captured(FILE* file, const char* name) {
    fflush(file);
    std::string text;
    ReadFileBytes(captures_ + "/" + name, &text);
    return text;
  }
  std::string Out() { return Captured(out_, "out"); }
  std::string Err() { return Captured(err_, "err"); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFileBytes(Path(name), bytes)) << name;
  }
  // base.exe (the header names name and the payloads' total, Texts' times) with the first
  // payload, and base.c001, ... with the others.
  void WriteSet(const std::string& base, const std::string& name,
                const std::vector<std::string>& payloads);
  std::string Read(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(Path(name), &bytes)) << name;
    return bytes;
  }
  // The names in a folder of the scratch folder ("" for itself), dot files included.
  std::set<std::string> List(const std::string& sub = "") {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(U8(sub.empty() ? dir_ : Path(sub)), error)) {
      names.insert(TextOf(entry.path().filename()));
    }
    return names;
  }
  void Mkdir(const std::string& name) {
    ASSERT_TRUE(std::filesystem::create_directory(U8(Path(name)))) << name;
  }
  // Runs the command info gives for joining container without the tool in the scratch folder,
  // with the original removed first, and expects it back as data (POSIX shells only).
  void ExpectThePortableCommandJoins(const std::string& container, const std::string& original,
                                     const std::string& data) {
#ifndef _WIN32
    ASSERT_EQ(Run({"info", container}), 0) << Err();
    std::string out = Out();
    size_t line = out.find("Without the tool");
    ASSERT_NE(line, std::string::npos) << out;
    size_t start = out.find("\n  ", line) + 3;
    std::string command = out.substr(start, out.find('\n', start) - start);
    Remove(original);
    ASSERT_EQ(system(("cd '" + dir_ + "' && " + command).c_str()), 0) << command;
    EXPECT_TRUE(Read(original) == data) << command;
#endif
  }
  void Remove(const std::string& name) {
    ASSERT_TRUE(std::filesystem::remove(U8(Path(name)))) << name;
  }
  void Rename(const std::string& from, const std::string& to) {
    std::filesystem::rename(U8(Path(from)), U8(Path(to)));
  }

  std::string dir_, captures_;
  std::filesystem::path oldCwd_;
  FILE* out_ = nullptr;
  FILE* err_ = nullptr;
};

inline int64_t SizeOf(const std::string& path) {
  std::error_code error;
  uintmax_t size = std::filesystem::file_size(U8(path), error);
  EXPECT_FALSE(error) << path;
  return error ? -1 : static_cast<int64_t>(size);
}

// A file's times as FILETIME ticks, as the system keeps them (Linux keeps no creation time that
// can be set: Creation is 0 there).
struct FileTimes {
  uint64_t Creation = 0;
  uint64_t Access = 0;
  uint64_t Write = 0;
};

#ifdef _WIN32
inline HANDLE OpenForTimes(const std::string& path, DWORD access) {
  std::wstring wide = U8(path).wstring();
  return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

inline FileTimes TimesOf(const std::string& path) {
  FileTimes times;
  HANDLE file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
  FILETIME t[3];
  EXPECT_TRUE(file != INVALID_HANDLE_VALUE && GetFileTime(file, &t[0], &t[1], &t[2])) << path;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  times.Creation = TicksOf(t[0]);
  times.Access = TicksOf(t[1]);
  times.Write = TicksOf(t[2]);
  return times;
}

inline void SetFileTimes(const std::string& path, uint64_t creation, uint64_t access,
                         uint64_t write) {
  HANDLE file = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  FILETIME t[3] = {FileTimeOfTicks(creation), FileTimeOfTicks(access), FileTimeOfTicks(write)};
  BOOL ok = SetFileTime(file, creation != 0 ? &t[0] : nullptr, &t[1], &t[2]);
  CloseHandle(file);
  ASSERT_TRUE(ok) << path;
}

// The room a file takes on the disk (holes take none).
inline int64_t AllocatedSize(const std::string& path) {
  HANDLE file = OpenForTimes(path, FILE_READ_ATTRIBUTES);
  FILE_STANDARD_INFO info = {};
  bool ok = file != INVALID_HANDLE_VALUE &&
            GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  EXPECT_TRUE(ok) << path;
  return info.AllocationSize.QuadPart;
}

inline bool MakeHardLink(const std::string& existing, const std::string& link) {
  return CreateHardLinkW(U8(link).wstring().c_str(), U8(existing).wstring().c_str(), nullptr) != 0;
}

// Bytes at an offset of an existing file, which may be larger than 4 GiB.
inline OVERLAPPED OverlappedAt(int64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

inline bool WriteBytesAt(const std::string& path, int64_t offset, const std::string& bytes) {
  HANDLE file =
      CreateFileW(U8(path).wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  OVERLAPPED at = OverlappedAt(offset);
  DWORD put = 0;
  bool ok = file != INVALID_HANDLE_VALUE &&
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, &at) &&
            put == bytes.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

inline std::string ReadBytesAt(const std::string& path, int64_t offset, int64_t count) {
  HANDLE file = CreateFileW(U8(path).wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string bytes(static_cast<size_t>(count), '\0');
  OVERLAPPED at = OverlappedAt(offset);
  DWORD got = 0;
  if (file == INVALID_HANDLE_VALUE ||
      !ReadFile(file, &bytes[0], static_cast<DWORD>(count), &got, &at))
    got = 0;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  bytes.resize(got);
  return bytes;
}
#else
inline FileTimes TimesOf(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  FileTimes times;
  times.Access =
      FileTimeOfUnixTime(info.st_atim.tv_sec, static_cast<uint32_t>(info.st_atim.tv_nsec));
  times.Write =
      FileTimeOfUnixTime(info.st_mtim.tv_sec, static_cast<uint32_t>(info.st_mtim.tv_nsec));
  return times;
}

inline void SetFileTimes(const std::string& path, uint64_t, uint64_t access, uint64_t write) {
  UnixTime a = UnixTimeOfFileTime(access), w = UnixTimeOfFileTime(write);
  struct timespec t[2] = {{static_cast<time_t>(a.Seconds), static_cast<long>(a.Nanoseconds)},
                          {static_cast<time_t>(w.Seconds), static_cast<long>(w.Nanoseconds)}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), t, 0), 0) << path;
}

inline int64_t AllocatedSize(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return static_cast<int64_t>(info.st_blocks) * 512;
}

inline bool MakeHardLink(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0;
}

inline bool WriteBytesAt(const std::string& path, int64_t offset, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  bool ok = fd >= 0 &&
            pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
  if (fd >= 0) close(fd);
  return ok;
}

inline std::string ReadBytesAt(const std::string& path, int64_t offset, int64_t count) {
  int fd = open(path.c_str(), O_RDONLY);
  std::string bytes(static_cast<size_t>(count), '\0');
  ssize_t got = fd >= 0 ? pread(fd, &bytes[0], bytes.size(), offset) : 0;
  if (fd >= 0) close(fd);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

inline struct stat StatOf(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info;
}
#endif

// Sets access and write times from Unix seconds and nanoseconds (whole 100 ns, as a header can
// carry them).
inline void SetTimes(const std::string& path, int64_t atimeSec, long atimeNs, int64_t mtimeSec,
                     long mtimeNs) {
  SetFileTimes(path, 0, FileTimeOfUnixTime(atimeSec, static_cast<uint32_t>(atimeNs)),
               FileTimeOfUnixTime(mtimeSec, static_cast<uint32_t>(mtimeNs)));
}

// Makes a container the tool wrote into one of a set made before the stub digest: the field
// cleared, the block sealed again.
inline void ForgetStubDigest(const std::string& container) {
  std::string header = ReadBytesAt(container, HeaderOffset, HeaderSize);
  DigestBlock block;
  ASSERT_TRUE(ReadDigestBlock(reinterpret_cast<const uint8_t*>(header.data()), &block));
  ASSERT_TRUE(block.HasStubDigest);
  block.HasStubDigest = false;
  header.replace(StubDigestRecord * HeaderRecordSize + StubDigestStart, 8, 8, '\0');
  ASSERT_TRUE(WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), &block));
  ASSERT_TRUE(WriteBytesAt(container, HeaderOffset, header));
}

// A container from texts: the stub of this build, the header, the payload.
inline std::string ContainerBytes(const HeaderTexts& texts, const std::string& payload) {
  std::string stub(reinterpret_cast<const char*>(StubImage), StubImageSize);
  return stub + HeaderBytes(texts) + payload;
}

// Creation 0x01D5C0DE12345678, access 0x01D5C0DF9ABCDEF0, write the same as creation.
inline HeaderTexts Texts(const std::string& name, const std::string& size) {
  const uint64_t a = 0x01D5C0DE12345678, b = 0x01D5C0DF9ABCDEF0;
  HeaderTexts texts = MakeHeaderTexts(name, 0, a, b, a);
  texts[RecordTotalSize] = size;
  return texts;
}

inline void CliTest::WriteSet(const std::string& base, const std::string& name,
                              const std::vector<std::string>& payloads) {
  size_t total = 0;
  for (const std::string& payload : payloads) total += payload.size();
  Write(base + ".exe", ContainerBytes(Texts(name, std::to_string(total)), payloads[0]));
  for (size_t n = 1; n < payloads.size(); n++)
    Write(PieceFile(base, static_cast<int>(n)), payloads[n]);
}
