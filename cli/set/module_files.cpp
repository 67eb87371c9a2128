#include "cli/set/module_files.h"

#include "cli/show/progress.h"

OsFileAccess::OsFileAccess(OsFileAccess&& other) noexcept
    : file_(other.file_), view_(other.view_), viewCount_(other.viewCount_) {
  other.view_ = nullptr;
}

bool OsFileAccess::ReadAt(void* bytes, size_t count, int64_t offset) const {
  // After a view found a file cut short, what was viewed may be zeros: nothing read goes on.
  return !OsViewFailed() && OsReadAt(file_, bytes, count, offset);
}

void OsFileAccess::EndView() const {
  if (view_ != nullptr) OsDropView(view_, viewCount_);
  view_ = nullptr;
}

const uint8_t* OsFileAccess::View(size_t count, int64_t offset) const {
  EndView();
  // Past the end the read fails, as ReadAt's does (a view there would show a fault).
  OsFileInfo info;
  if (!OsInfo(file_, &info) || info.Kind != OsKind::Regular ||
      offset > info.Size - static_cast<int64_t>(count))
    return nullptr;
  view_ = OsViewRead(file_, offset, count);
  viewCount_ = count;
  return static_cast<const uint8_t*>(view_);
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
