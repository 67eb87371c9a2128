// The recovery module's files and progress (recovery/file_access.h) as the tool gives them: its
// open files through its door to the system, and its progress bar.
#pragma once

#include <stdint.h>

#include <vector>

#include "cli/os/os.h"
#include "cli/set/output.h"
#include "recovery/file_access.h"

// An open file of the tool as the module reads and writes it.
// Its views are mapped (OsViewRead), one at a time.
class OsFileAccess final : public FileAccess {
 public:
  explicit OsFileAccess(OsFile file) : file_(file) {}
  OsFileAccess(OsFileAccess&& other) noexcept;
  OsFileAccess(const OsFileAccess&) = delete;
  OsFileAccess& operator=(const OsFileAccess&) = delete;
  ~OsFileAccess() { EndView(); }
  bool ReadAt(void* bytes, size_t count, int64_t offset) const override;
  bool WriteAt(const void* bytes, size_t count, int64_t offset) const override;
  int64_t Size() const override;
  const uint8_t* View(size_t count, int64_t offset) const override;
  void EndView() const override;

 private:
  OsFile file_;
  mutable const void* view_ = nullptr;  // the last view given, until the next
  mutable size_t viewCount_ = 0;
};

// The thread the tool lends the module (OsStartThread), one run at a time.
class OsWorkBeside final : public WorkBeside {
 public:
  bool Start(void (*run)(void* context), void* context) override {
    return OsStartThread(run, context, &thread_);
  }
  void Wait() override { OsJoinThread(thread_); }

 private:
  OsThread thread_ = 0;
};

// Open files of the tool as the module takes them, in a list: null for NoFile (a file not there,
// or a row or target not wanted). The list serves for as long as the object lives.
class ModuleFiles {
 public:
  explicit ModuleFiles(const std::vector<OsFile>& files);
  ModuleFiles(const ModuleFiles&) = delete;
  ModuleFiles& operator=(const ModuleFiles&) = delete;
  const std::vector<const FileAccess*>& List() const { return list_; }

 private:
  std::vector<OsFileAccess> access_;
  std::vector<const FileAccess*> list_;
};

// The files of outputs (NoFile for one not created).
std::vector<OsFile> FilesOf(const std::vector<PendingOutput>& outputs);

// The module's progress on the tool's bar (bytes added up from 0); the work stops when the user
// interrupts or a test puts a failure in (OsStopBeforeChunk).
class ToolProgress final : public RecoveryProgress {
 public:
  bool Step(int64_t bytes) override;

 private:
  int64_t done_ = 0;
};
