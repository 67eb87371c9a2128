// The file layer's tests share this fixture: a fresh scratch folder per case, records that are
// closed again at its end. They run natively over the POSIX stand-in (with fault injection) and
// as a Windows program under Wine over the real Win32 calls.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "stub/fileio/large_file.h"
#include "tests/support/scratch_files.h"

#ifndef _WIN32
#include "stub/platform/files_posix.h"
#endif

const int64_t FiveGiB = 5368709120LL;
const int64_t FailedPosition = 4294967295LL;

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = scratch::MakeFolder("fileio");
    FileOpenMode = 2;
    TakeIoResult();
  }
  void TearDown() override {
#ifndef _WIN32
    FileFaultHook = nullptr;
    FileTransferCap = 0xFFFFFFFFu;
#endif
    for (LargeFile* file : opened)
      if (IsOpen(*file)) CloseLarge(*file);
    TakeIoResult();
    scratch::RemoveFolder(folder);
  }
  std::string Path(const std::string& name) const { return folder + scratch::Separator() + name; }
  // A record assigned to name in the scratch folder, closed again by TearDown if left open.
  LargeFile& Record(const std::string& name) {
    records.push_back(std::make_unique<LargeFile>());
    LargeFile& file = *records.back();
    AssignLargeFile(file, scratch::Wide(Path(name)).c_str());
    opened.push_back(&file);
    return file;
  }
  LargeFile& OpenWith(const std::string& name, uint8_t openMode, uint32_t recordSize = 1) {
    LargeFile& file = Record(name);
    FileOpenMode = openMode;
    ResetLarge(file, recordSize);
    return file;
  }
  // The file "data", written with bytes, then opened as OpenWith does.
  LargeFile& OpenData(const std::string& bytes, uint8_t openMode, uint32_t recordSize = 1) {
    EXPECT_TRUE(scratch::WriteBytes(Path("data"), bytes));
    return OpenWith("data", openMode, recordSize);
  }

  // BlockReadLarge of count records into a scratch buffer, with an actual count that must be
  // what the read returns; returns it.
  static uint32_t ReadWithActual(LargeFile& file, uint32_t count) {
    std::vector<char> buffer(static_cast<size_t>(count) * file.RecordSize + 1);
    uint32_t actual = 99;
    uint32_t got = BlockReadLarge(file, buffer.data(), count, &actual);
    EXPECT_EQ(actual, got);
    return got;
  }

  // SeekLarge to index, then BlockReadLarge of count records, all of which must come; returns
  // their bytes.
  static std::string ReadAt(LargeFile& file, int64_t index, uint32_t count) {
    SeekLarge(file, index);
    std::string bytes(static_cast<size_t>(count) * file.RecordSize, '\0');
    EXPECT_EQ(BlockReadLarge(file, &bytes[0], count, nullptr), count);
    return bytes;
  }

  std::string folder;
  std::vector<std::unique_ptr<LargeFile>> records;
  std::vector<LargeFile*> opened;
};
