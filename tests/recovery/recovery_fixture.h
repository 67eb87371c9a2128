// Sets in memory for the recovery tests: files that count their writes and can be missing, a
// set made as the tool makes it (stub, header with a digest block, payloads), its recovery
// files, and a survey plus repair of a copy.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "container/container_writer.h"
#include "integrity/crc32c.h"
#include "container/digest_block.h"
#include "recovery/recovery.h"
#include "tests/support/test_bytes.h"

struct MemoryFile {
  std::string Bytes;
  bool Present = true;
  int Writes = 0;
  int64_t BytesRead = 0;
  bool Views = true;  // shows its bytes in place (FileAccess::View), as the tool's mapped files do
  bool Viewed = false;  // a view of it is held: shown, and not ended since
};

// A MemoryFile as the module reads and writes it.
class MemoryAccess : public FileAccess {
 public:
  explicit MemoryAccess(MemoryFile* file) : file_(file) {}
  virtual ~MemoryAccess() = default;

  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    const std::string& data = file_->Bytes;
    if (offset < 0 || static_cast<uint64_t>(offset) + count > data.size()) return false;
    memcpy(bytes, data.data() + offset, count);
    file_->BytesRead += static_cast<int64_t>(count);
    return true;
  }
  bool WriteAt(const void* bytes, size_t count, int64_t offset) const override {
    if (file_->Bytes.size() < offset + count) file_->Bytes.resize(offset + count, '\0');
    memcpy(&file_->Bytes[offset], bytes, count);
    file_->Writes++;
    return true;
  }
  int64_t Size() const override { return static_cast<int64_t>(file_->Bytes.size()); }
  const uint8_t* View(size_t count, int64_t offset) const override {
    const std::string& data = file_->Bytes;
    if (!file_->Views || offset < 0 || static_cast<uint64_t>(offset) + count > data.size())
      return nullptr;
    file_->BytesRead += static_cast<int64_t>(count);
    file_->Viewed = true;
    return reinterpret_cast<const uint8_t*>(data.data()) + offset;
  }
  void EndView() const override { file_->Viewed = false; }

 protected:
  MemoryFile* file_;
};

// A thread lent as the tool lends one, its run done on the caller's thread when it is waited
// for (so the second lane ends last, as a slower thread does); refuse: none to be had.
struct AtOnce : WorkBeside {
  bool Start(void (*run)(void* context), void* context) override {
    Run = run, Context = context;
    return !Refuse;
  }
  void Wait() override { Run(Context); }
  void (*Run)(void* context) = nullptr;
  void* Context = nullptr;
  bool Refuse = false;
};

// Accesses for files (null for a file not Present); keeps them alive beside the pointers.
struct Accesses {
  std::vector<MemoryAccess> Storage;
  std::vector<const FileAccess*> Files;
  explicit Accesses(std::vector<MemoryFile>& files) {
    Storage.reserve(files.size());
    for (MemoryFile& file : files) {
      Storage.emplace_back(&file);
      Files.push_back(file.Present ? &Storage.back() : nullptr);
    }
  }
};

inline std::string TestStub() { return Pattern(StubSize, 77); }

// Payload sizes as the tool cuts them: the container's and the last shorter than the rest.
inline std::vector<int64_t> PayloadSizes(int32_t files, int64_t pieceSize) {
  std::vector<int64_t> sizes(static_cast<size_t>(files), pieceSize);
  sizes[0] = pieceSize / 2 + 7;
  if (files > 1) sizes.back() = pieceSize / 3 + 1;
  return sizes;
}

// The set's files: the container with its digest block (a digest per piece, or per run of
// pieces past 395), then the pieces.
inline std::vector<MemoryFile> MakeSet(int32_t files, int64_t pieceSize, uint32_t seed = 1) {
  std::vector<int64_t> sizes = PayloadSizes(files, pieceSize);
  std::vector<std::string> payloads;
  int64_t total = 0;
  DigestBlock block{};
  int32_t run = RunLengthFor(files);
  for (int32_t n = 0; n < files; n++) {
    payloads.push_back(Pattern(static_cast<size_t>(sizes[n]), seed * 1000 + n));
    total += sizes[n];
    uint32_t& digest = block.Image.Digests[n / run];
    digest = Crc32cAdd(digest, payloads[n].data(), payloads[n].size());
  }
  block.Image.PieceCount = static_cast<uint32_t>(files);
  block.Image.RunLength = static_cast<uint32_t>(run);
  block.Image.FirstPayload = static_cast<uint64_t>(sizes[0]);
  block.Image.PieceSize = static_cast<uint64_t>(files > 1 ? sizes[1] : 0);
  const uint64_t time = 30000000ull << 32 | 123456789u;  // the halves 123456789 and 30000000
  std::string header = HeaderBytes(MakeHeaderTexts("film.mkv", total, time, time, time));
  EXPECT_TRUE(WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), &block));
  std::vector<MemoryFile> set(static_cast<size_t>(files));
  set[0].Bytes = TestStub() + header + payloads[0];
  for (int32_t n = 1; n < files; n++) set[n].Bytes = payloads[n];
  return set;
}

inline std::vector<MemoryFile> Encode(std::vector<MemoryFile>& set, int32_t rows,
                                      int32_t version = RecoveryFormatVersion,
                                      int32_t sliceSize = 0) {
  std::vector<MemoryFile> recovery(static_cast<size_t>(rows));
  Accesses in(set), out(recovery);
  RecoveryResult result = EncodeRecovery(in.Files, out.Files, nullptr, version, sliceSize);
  EXPECT_EQ(result.Outcome, RecoveryDone);
  for (MemoryFile& file : set) file.Writes = 0;
  for (MemoryFile& file : recovery) file.Writes = 0;
  return recovery;
}

// A survey of set and recovery as they are, then a repair into fresh targets.
struct RepairRun {
  SetSurvey Survey;
  RecoveryResult Result;
  std::vector<MemoryFile> Targets;
};

inline RepairRun SurveyAndRepair(std::vector<MemoryFile>& set, std::vector<MemoryFile>& recovery,
                                 RecoveryProgress* progress = nullptr) {
  RepairRun run;
  run.Targets.resize(set.size());
  Accesses in(set), rows(recovery), out(run.Targets);
  run.Result = SurveySet(in.Files, rows.Files, nullptr, &run.Survey);
  if (run.Result.Outcome != RecoveryDone) return run;
  std::string stub = TestStub();
  run.Result = RepairSet(run.Survey, in.Files, rows.Files, out.Files,
                         reinterpret_cast<const uint8_t*>(stub.data()), progress);
  return run;
}

// The repair went through, every file to rewrite rebuilt as original has it, and no good file
// written.
inline void ExpectRebuilt(const RepairRun& run, const std::vector<MemoryFile>& original) {
  ASSERT_EQ(run.Result.Outcome, RecoveryDone)
      << "file " << run.Result.SetFile << ", row " << run.Result.Row;
  for (size_t n = 0; n < original.size(); n++) {
    if (NeedsRewrite(run.Survey.Files[n]))
      EXPECT_TRUE(run.Targets[n].Bytes == original[n].Bytes) << "file " << n << " rebuilt wrong";
    else
      EXPECT_EQ(run.Targets[n].Writes, 0) << "good file " << n << " rewritten";
  }
}
