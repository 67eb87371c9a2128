#include "cli/os/paths.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "cli/os/encoding.h"
#include "cli/os/os.h"

bool IsPathSeparator(char c) { return c != '\0' && std::strchr(OsPathSeparators, c) != nullptr; }

// Where the last component begins: after the last separator, never inside the root.
static size_t LastComponentStart(const std::string& path) {
  size_t root = OsPathRootLength(path);
  size_t separator = path.find_last_of(OsPathSeparators);
  return separator == std::string::npos || separator < root ? root : separator + 1;
}

std::string FolderOf(const std::string& path) {
  size_t start = LastComponentStart(path);
  size_t root = OsPathRootLength(path);
  // The folder ends before the separator, unless that separator ends the root ("/", "C:\").
  return path.substr(0, start > root ? start - 1 : root);
}

std::string LastComponent(const std::string& path) { return path.substr(LastComponentStart(path)); }

std::string JoinPath(const std::string& folder, const std::string& name) {
  // A root without a separator ("C:") and a folder that ends in one take the name as it is.
  if (folder.empty() || IsPathSeparator(folder.back()) ||
      OsPathRootLength(folder) == folder.size()) {
    return folder + name;
  }
  return folder + OsPathSeparator + name;
}

void SplitBasePath(const std::string& basePath, std::string* folder, std::string* baseName) {
  bool folderOnly = !basePath.empty() && IsPathSeparator(basePath.back());
  *baseName = folderOnly ? "" : LastComponent(basePath);
  *folder = folderOnly ? basePath : FolderOf(basePath);
}

// Folder -> (fold key -> the first name, in byte order, with that key).
static std::map<std::string, std::map<std::string, std::string>> FolderListings;

void ForgetFolderListings() { FolderListings.clear(); }

std::string FindFileIgnoringCase(const std::string& folder, const std::string& name) {
  std::string path = JoinPath(folder, name);
  OsFileInfo info;
  if (!OsProbe(path, &info) || info.Kind != OsKind::Missing) return path;
  auto listing = FolderListings.find(folder);
  if (listing == FolderListings.end()) {
    std::vector<std::string> names;
    OsListFolder(folder, &names);  // a folder that cannot be listed holds nothing to find
    std::sort(names.begin(), names.end());
    std::map<std::string, std::string> keys;
    for (const std::string& entryName : names) keys.emplace(NameFoldKey(entryName), entryName);
    listing = FolderListings.emplace(folder, std::move(keys)).first;
  }
  auto found = listing->second.find(NameFoldKey(name));
  if (found == listing->second.end()) return "";
  return JoinPath(folder, found->second);
}
