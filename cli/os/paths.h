// Paths of the tool, separated as the system separates them (os/os.h): folder and name parts,
// and piece files found ignoring case.
#pragma once

#include <string>

// The folder part of a path ("" for a bare name; the root for a name in it, such as "/" or a
// Windows drive) and the last component.
std::string FolderOf(const std::string& path);
std::string LastComponent(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);
bool IsPathSeparator(char c);
// The folder and the file name a set's base path stands for (the pieces are the name followed by
// ".c001", ... in the folder): a base ending in a separator (a container named ".exe") is a
// folder with an empty base name.
void SplitBasePath(const std::string& basePath, std::string* folder, std::string* baseName);

// Finds a file in folder: the exact name, else (on a case-sensitive file system) a name equal to
// it ignoring Latin and Windows-1251 case. The folder's listing is read once and kept for the
// following lookups of the same folder. "" when there is none; a path the system cannot look up
// (a name too long) is returned as it is, for the open to report.
std::string FindFileIgnoringCase(const std::string& folder, const std::string& name);
void ForgetFolderListings();
