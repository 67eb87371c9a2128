#include "cli/set/module_files.h"

#include "cli/show/progress.h"

bool OsFileAccess::ReadAt(void* bytes, size_t count, int64_t offset) const {
  return OsReadAt(file_, bytes, count, offset);
}

bool OsFileAccess::WriteAt(const void* bytes, size_t count, int64_t offset) const {
  return OsWriteAt(file_, bytes, count, offset);
}

int64_t OsFileAccess::Size() const {
  OsFileInfo info;
  return OsInfo(file_, &info) ? info.Size : -1;
}

ModuleFiles::ModuleFiles(const std::vector<OsFile>& files) {
  access_.reserve(files.size());  // the list points into it
  for (OsFile file : files) {
    access_.emplace_back(file);
    list_.push_back(file != NoFile ? &access_.back() : nullptr);
  }
}

std::vector<OsFile> FilesOf(const std::vector<PendingOutput>& outputs) {
  std::vector<OsFile> files;
  for (const PendingOutput& output : outputs) files.push_back(output.File());
  return files;
}

bool ToolProgress::Step(int64_t bytes) {
  done_ += bytes;
  ProgressUpdate(done_);
  return !OsStopBeforeChunk();
}
