// A container saved under another name ("film (1).exe", as browsers save a second download) has
// no pieces of its own name: the set in its folder that its digest block vouches for is taken,
// or the one --pieces-base names.
#include "cli/set/renamed.h"

#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "cli/os/paths.h"
#include "cli/set/pieces.h"
#include "cli/show/hints.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"
#include "container/layout.h"
#include "integrity/crc32c.h"

// Adds count bytes of a file from offset to the CRC; false when they cannot be read, or when
// the user stops the command.
static bool AddFileBytes(OsFile file, int64_t offset, int64_t count, uint32_t* crc) {
  std::vector<char> buffer(1 << 20);
  while (count > 0) {
    size_t step = static_cast<size_t>(std::min<int64_t>(count, buffer.size()));
    if (CliInterrupted || !OsReadAt(file, buffer.data(), step, offset)) return false;
    *crc = Crc32cAdd(*crc, buffer.data(), step);
    offset += static_cast<int64_t>(step);
    count -= static_cast<int64_t>(step);
  }
  return true;
}

// Adds a piece's bytes to the CRC.
static bool AddPieceBytes(const std::string& path, uint32_t* crc) {
  OsFileInfo info;
  OsFile file = OsOpenRead(path, &info);
  if (file == NoFile) return false;
  bool read = info.Kind == OsKind::Regular && AddFileBytes(file, 0, info.Size, crc);
  OsClose(file);
  return read;
}

// Whether the pieces of base in the set's folder are the block's: every one there has the size
// the block gives it (looked at first: nothing is read for a set of other sizes), and the pieces
// of the run that holds piece 1 are there, with its digest (the first run begins with the
// container's own data).
static bool BlockVouchesFor(const PieceSet& set, const std::string& base) {
  const DigestBlock& block = set.Head.Digests;
  int32_t count = static_cast<int32_t>(block.Image.PieceCount);
  int32_t run = static_cast<int32_t>(block.Image.RunLength);
  int32_t lastOfRun = run == 1 ? 1 : std::min(run, count) - 1;
  PieceSet candidate;
  candidate.BaseName = base;
  std::vector<std::string> runPaths;
  for (int32_t n = 1; n < count; n++) {
    std::string path = FindFileIgnoringCase(set.Folder, candidate.PieceName(n));
    OsFileInfo info;
    if (path.empty() && n > lastOfRun) continue;  // missing: the join will say so
    if (path.empty() || !OsProbe(path, &info) || info.Kind != OsKind::Regular ||
        info.Size != ExpectedPayload(block, n))
      return false;
    if (n <= lastOfRun) runPaths.push_back(path);
  }
  uint32_t crc = 0;
  if (run > 1 &&
      !AddFileBytes(set.Container, PayloadOffset, set.ContainerInfo.Size - PayloadOffset, &crc))
    return false;
  for (const std::string& path : runPaths)
    if (!AddPieceBytes(path, &crc)) return false;
  return crc == block.Image.Digests[run == 1 ? 1 : 0];
}

// The bases of the sets in the folder other than the container's own: each name whose piece 1
// is there.
static std::vector<std::string> OtherBases(const PieceSet& set) {
  std::vector<std::string> names, bases;
  OsListFolder(set.Folder, &names);
  for (const std::string& name : names) {
    std::string base;
    if (PieceNumberOfName(name, &base) == 1 && base != set.BaseName) bases.push_back(base);
  }
  std::sort(bases.begin(), bases.end());
  return bases;
}

// The bases, for a message: "film", "film2".
static std::string ListOfBases(const std::vector<std::string>& bases) {
  std::string list;
  for (const std::string& base : bases)
    list += (list.empty() ? "\"" : ", \"") + Printable(base) + "\"";
  return list;
}

void FindRenamedSet(PieceSet* set) {
  bool needsPieces = set->Head.HasDigests
                         ? set->Head.Digests.Image.PieceCount > 1
                         : set->Head.TotalSize > set->ContainerInfo.Size - PayloadOffset;
  if (!needsPieces || !FindFileIgnoringCase(set->Folder, set->PieceName(1)).empty()) return;
  std::vector<std::string> bases = OtherBases(*set), fitting;
  if (bases.empty()) return;
  std::string missing = Printable(set->PieceName(1));
  if (!set->Head.HasDigests) {
    CliPrint(CliErr,
             "tarnovell: %s is not there, but pieces of %s are; the container has no digests to "
             "tell whether they are its own: give --pieces-base NAME if the container was "
             "renamed\n",
             missing.c_str(), ListOfBases(bases).c_str());
    return;
  }
  for (const std::string& base : bases)
    if (BlockVouchesFor(*set, base)) fitting.push_back(base);
  if (fitting.size() == 1) {
    CliPrint(CliErr,
             "tarnovell: %s is not there; pieces taken from %s (the set the container's digests "
             "fit): the container was renamed\n",
             missing.c_str(), Printable(fitting[0] + ".c001").c_str());
    set->BaseName = fitting[0];
    return;
  }
  CliPrint(
      CliErr, "tarnovell: %s is not there, and %s; give --pieces-base NAME\n", missing.c_str(),
      fitting.empty()
          ? ("the container's digests fit none of the sets beside it (" + ListOfBases(bases) + ")")
                .c_str()
          : ("its digests fit several sets (" + ListOfBases(fitting) + ")").c_str());
}

static bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return tolower(static_cast<unsigned char>(x)) == tolower(static_cast<unsigned char>(y));
         });
}

// The name a browser's renaming came from: "docs (1).c002", "docs(2).c002" and
// "docs.c002.download" (or .crdownload, .part) give "docs.c002"; "" for any other name.
static std::string NameBeforeBrowser(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(tolower(c)); });
  for (const char* ending : {".download", ".crdownload", ".part"}) {
    size_t length = strlen(ending);
    if (lower.size() > length && lower.compare(lower.size() - length, length, ending) == 0)
      return name.substr(0, name.size() - length);
  }
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0 || name[dot - 1] != ')') return "";
  size_t open = name.find_last_of('(', dot);
  if (open == std::string::npos || open + 2 >= dot ||
      name.find_first_not_of("0123456789", open + 1) != dot - 1)
    return "";
  size_t start = open > 0 && name[open - 1] == ' ' ? open - 1 : open;
  return name.substr(0, start) + name.substr(dot);
}

std::string FindBrowserRenamedPiece(const PieceSet& set, int32_t n,
                                    std::vector<std::string>* others) {
  std::vector<std::string> names;
  if (!OsListFolder(set.Folder, &names)) return "";
  std::string wanted = set.PieceName(n), found;
  const DigestBlock& block = set.Head.Digests;
  // Only a digest of this piece alone vouches for a file alone.
  bool alone = set.Head.HasDigests && StartsRun(block, n) && EndsRun(block, n);
  int64_t size = set.Head.HasDigests ? ExpectedPayload(block, n) : -1;
  int matches = 0;
  for (const std::string& name : names) {
    if (!EqualIgnoringCase(NameBeforeBrowser(name), wanted)) continue;
    std::string path = JoinPath(set.Folder, name);
    OsFileInfo info;
    uint32_t crc = 0;
    bool fits = alone && OsProbe(path, &info) && info.Kind == OsKind::Regular &&
                info.Size == size && AddPieceBytes(path, &crc) &&
                crc == block.Image.Digests[DigestIndexOf(block, n)];
    if (fits && matches++ == 0) {
      found = path;
    } else {
      others->push_back(path);
    }
  }
  if (matches == 1) return found;
  if (matches > 1) others->push_back(found);
  return "";
}
