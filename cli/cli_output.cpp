#include "cli/cli_output.h"

#include <utility>

#include "cli/cli_paths.h"

PendingOutput::PendingOutput(PendingOutput&& other) noexcept
    : target_(std::move(other.target_)), tempPath_(std::move(other.tempPath_)), file_(other.file_),
      committed_(other.committed_) {
  other.file_ = NoFile;
  other.tempPath_.clear();
}

bool PendingOutput::Create(const std::string& target, const std::string& prefix, bool nameless) {
  Discard();
  target_ = target;
  committed_ = false;
  file_ = OsCreateTemp(FolderOf(target), prefix, nameless, &tempPath_);
  return file_ != NoFile;
}

bool PendingOutput::Finish() {
  if (file_ == NoFile || tempPath_.empty()) return true;
  OsFile file = file_;
  file_ = NoFile;
  return OsClose(file);
}

bool PendingOutput::Commit(bool replace) {
  bool done = tempPath_.empty() ? OsLinkNameless(file_, FolderOf(target_), target_, replace)
                                : RenameInPlace(tempPath_, target_, replace);
  if (!done) return false;
  committed_ = true;
  tempPath_.clear();
  if (file_ != NoFile) {
    OsClose(file_);  // nameless: its data is in place, under its name, once linked
    file_ = NoFile;
  }
  return true;
}

void PendingOutput::Discard() {
  if (file_ != NoFile) OsClose(file_);
  file_ = NoFile;
  if (!committed_ && !tempPath_.empty()) OsDelete(tempPath_);
  tempPath_.clear();
}
