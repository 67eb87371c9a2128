#include "cli/set/output.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "cli/os/paths.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"

static const char TempMark[] = ".tarnovell-";

// The process that made a temporary file of the tool, from its name: ".tarnovell-KIND-ID-...".
// False for any other name.
static bool TempFileOwner(const std::string& name, int64_t* id) {
  const size_t mark = sizeof TempMark - 1;
  if (name.compare(0, mark, TempMark) != 0) return false;
  size_t digits = name.find('-', mark);
  if (digits == std::string::npos) return false;
  *id = 0;
  size_t end = ++digits;
  for (; end < name.size() && end - digits < 10 && name[end] >= '0' && name[end] <= '9'; end++)
    *id = *id * 10 + (name[end] - '0');
  return end > digits && end < name.size() && name[end] == '-';
}

// The folders swept by the command that runs.
static std::set<std::string> SweptFolders;

void ForgetSweptFolders() { SweptFolders.clear(); }

// Removes the temporary files a killed command left in folder (whose process is gone), once per
// folder in a command: what a kill between a file's temporary name and its final one left.
static void RemoveLeftovers(const std::string& folder) {
  if (!SweptFolders.insert(folder).second) return;
  std::vector<std::string> names;
  if (!OsListFolder(folder, &names)) return;  // the create that follows says why
  for (const std::string& name : names) {
    int64_t owner;
    OsFileInfo info;
    std::string path = JoinPath(folder, name);
    if (!TempFileOwner(name, &owner) || !OsProcessGone(owner)) continue;
    if (OsProbe(path, &info, false) && info.Kind == OsKind::Regular) OsDelete(path);
  }
}

PendingOutput::PendingOutput(PendingOutput&& other) noexcept
    : target_(std::move(other.target_)),
      tempPath_(std::move(other.tempPath_)),
      file_(other.file_),
      committed_(other.committed_) {
  other.file_ = NoFile;
  other.tempPath_.clear();
}

bool PendingOutput::Create(const std::string& target, const std::string& prefix, bool nameless) {
  Discard();
  target_ = target;
  committed_ = false;
  std::string folder = FolderOf(target);
  RemoveLeftovers(folder);
  file_ = OsCreateTemp(folder, prefix + std::to_string(OsProcessId()) + "-", nameless, &tempPath_);
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

int CheckRoom(const std::string& folder, uint64_t needed, const std::string& what) {
  // A folder that takes no file at all is not short of room.
  int error = 0;
  if (OsFolderRefusesWrites(folder, &error)) {
    TellReason("not_writable");
    CliPrint(CliErr, "tarnovell: cannot write into %s: %s; nothing was written\n",
             Printable(folder.empty() ? "." : folder).c_str(), OsErrorText(error).c_str());
    return ExitFileError;
  }
  uint64_t free = 0;
  if (!OsFreeSpace(folder, &free) || free >= needed) return ExitComplete;
  std::string need = FormatSize(static_cast<int64_t>(std::min<uint64_t>(needed, INT64_MAX)));
  std::string room = FormatSize(static_cast<int64_t>(std::min<uint64_t>(free, INT64_MAX)));
  if (need == room) {  // rounded alike: the bytes tell the shortfall
    need = std::to_string(needed) + " bytes";
    room = std::to_string(free) + " bytes";
  }
  TellReason("no_room");
  CliPrint(CliErr, "tarnovell: %s needs %s, %s free in %s; nothing was written\n", what.c_str(),
           need.c_str(), room.c_str(), Printable(folder.empty() ? "." : folder).c_str());
  return ExitFileError;
}
