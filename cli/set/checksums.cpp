#include "cli/set/checksums.h"

#include <string.h>

#include <set>

#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"

static const char ChecksumSuffix[] = ".sha256";

std::string ChecksumFilePath(const std::string& basePath) { return basePath + ChecksumSuffix; }

// sha256sum's escapes in a name, each written as a backslash and a letter.
static const struct {
  char Byte;
  char Letter;
} NameEscapes[] = {{'\\', '\\'}, {'\n', 'n'}, {'\r', 'r'}};

std::string ChecksumLineText(const std::string& name, const Sha256Digest& digest) {
  std::string escaped;
  bool any = false;
  for (char c : name) {
    bool found = false;
    for (const auto& escape : NameEscapes) {
      if (c != escape.Byte) continue;
      escaped += '\\';
      escaped += escape.Letter;
      found = any = true;
    }
    if (!found) escaped += c;
  }
  return (any ? "\\" : "") + Sha256Hex(digest) + "  " + escaped + "\n";
}

int64_t ChecksumFileLength(const std::string& name, const std::vector<std::string>& paths) {
  Sha256Digest any = {};
  size_t length = ChecksumLineText(name, any).size();
  for (const std::string& path : paths) length += ChecksumLineText(LastComponent(path), any).size();
  return static_cast<int64_t>(length);
}

// A name as an escaped line gives it; false for a backslash that starts no escape.
static bool UnescapeName(const std::string& text, std::string* name) {
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '\\') {
      *name += text[i];
      continue;
    }
    bool found = false;
    for (const auto& escape : NameEscapes) {
      if (i + 1 < text.size() && text[i + 1] == escape.Letter) {
        *name += escape.Byte;
        found = true;
      }
    }
    if (!found) return false;
    i++;
  }
  return true;
}

// One line without its newline: [\]HEX, a space, a space or '*' (binary), the name.
static bool ParseLine(std::string line, ChecksumLine* parsed) {
  bool escaped = !line.empty() && line[0] == '\\';
  if (escaped) line.erase(0, 1);
  const size_t hex = 2 * Sha256Size;
  if (line.size() < hex + 3 || line[hex] != ' ' || (line[hex + 1] != ' ' && line[hex + 1] != '*'))
    return false;
  if (!ParseSha256Hex(line.substr(0, hex), &parsed->Digest)) return false;
  std::string name = line.substr(hex + 2);
  if (!escaped) {
    parsed->Name = name;
    return true;
  }
  return UnescapeName(name, &parsed->Name);
}

bool ParseChecksumText(const std::string& text, std::vector<ChecksumLine>* lines,
                       std::string* why) {
  if (text.find('\0') != std::string::npos) {
    *why = "it holds binary data";
    return false;
  }
  std::set<std::string> names;
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    number++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    ChecksumLine parsed;
    if (!ParseLine(line, &parsed)) {
      *why = "line " + std::to_string(number) + " is not a SHA-256 line";
      return false;
    }
    if (!names.insert(parsed.Name).second) {
      *why = "line " + std::to_string(number) + " names " + Printable(parsed.Name) + " again";
      return false;
    }
    lines->push_back(parsed);
  }
  return true;
}

ChunkSink* SplitChecksums::ForFile(size_t index) {
  file_ = index;
  if (pieces_.size() <= index) pieces_.resize(index + 1);
  return this;
}

std::vector<ChunkSink*> SplitChecksums::PieceSinks(size_t files) {
  pieces_.resize(files);
  std::vector<ChunkSink*> sinks(files, nullptr);
  for (size_t i = 1; i < files; i++) sinks[i] = &pieces_[i];
  return sinks;
}

void SplitChecksums::Add(const void* bytes, size_t count) {
  original_.Add(bytes, count);
  if (file_ > 0) pieces_[file_].Add(bytes, count);
}

// The digest of a whole file, read through memory.
static bool DigestOfFile(OsFile file, Sha256Sink* sink, Sha256Digest* digest) {
  OsFileInfo info;
  if (!OsInfo(file, &info)) return false;
  int64_t got = CopyThroughMemory(file, 0, NoFile, 0, info.Size, 0, nullptr, false, sink);
  return got == info.Size && sink->Hash.End(digest);
}

bool Sha256OfFile(OsFile file, Sha256Digest* digest) {
  Sha256Sink sink;
  return DigestOfFile(file, &sink, digest);
}

// The digest of a file written for the set: read through its open file where it has no name,
// else opened again at its temporary name.
static bool DigestOfOutput(const PendingOutput& output, Sha256Digest* digest) {
  Sha256Sink sink;
  if (output.TempPath().empty()) return DigestOfFile(output.File(), &sink, digest);
  OsFileInfo info;
  OsFile file = OsOpenRead(output.TempPath(), &info);
  if (file == NoFile) return false;
  bool done = DigestOfFile(file, &sink, digest);
  OsClose(file);
  return done;
}

static int ChecksumFailure(const std::string& what) {
  int error = OsLastError();
  if (CliInterrupted) return ReportInterrupted("nothing was left behind");
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(),
           error != 0 ? OsErrorText(error).c_str() : "SHA-256 could not be taken");
  return ExitFileError;
}

int SplitChecksums::Write(const std::string& target, const std::string& name, bool nameless,
                          std::vector<PendingOutput>* outputs) {
  Sha256Digest digest;
  if (!original_.Hash.End(&originalDigest_)) return ChecksumFailure(Printable(target));
  std::string text = ChecksumLineText(name, originalDigest_);
  for (size_t i = 0; i < outputs->size(); i++) {
    const PendingOutput& output = (*outputs)[i];
    // The pieces were hashed as they were written; the container and the recovery files are
    // final only now.
    bool hashed = i < pieces_.size() && i > 0 ? pieces_[i].Hash.End(&digest)
                                              : DigestOfOutput(output, &digest);
    if (!hashed) return ChecksumFailure(Printable(output.Target()));
    text += ChecksumLineText(LastComponent(output.Target()), digest);
    fileDigests_.push_back(digest);
  }
  outputs->emplace_back();
  PendingOutput& out = outputs->back();
  if (!out.Create(target, ".tarnovell-split-", nameless) ||
      !OsWriteAt(out.File(), text.data(), text.size(), 0) || !out.Finish()) {
    return ChecksumFailure(Printable(target));
  }
  return ExitComplete;
}

const Sha256Digest* SetChecksums::Find(const std::string& name) const {
  for (const ChecksumLine& line : Lines)
    if (line.Name == name) return &line.Digest;
  return nullptr;
}

std::string SetChecksums::FileName() const { return Printable(LastComponent(Path)); }

// A name of the set's own files: the container, a piece or a recovery file.
static bool IsSetFileName(const PieceSet& set, const std::string& name) {
  if (name == LastComponent(set.ContainerPath)) return true;
  if (name.size() < set.BaseName.size() + 3 || name.compare(0, set.BaseName.size(), set.BaseName))
    return false;
  std::string rest = name.substr(set.BaseName.size());
  if (rest[0] != '.' || (rest[1] != 'c' && rest[1] != 'r')) return false;
  return rest.find_first_not_of("0123456789", 2) == std::string::npos;
}

std::string SetChecksums::ForeignOriginal(const PieceSet& set) const {
  for (const ChecksumLine& line : Lines) {
    if (!IsSetFileName(set, line.Name)) return line.Name == OriginalName ? "" : line.Name;
  }
  return "";
}

// Reads at most ChecksumFileLimit bytes; false with why for a file that is larger or cannot be
// read.
static bool ReadChecksumFile(const std::string& path, std::string* text, std::string* why) {
  OsFileInfo info;
  OsFile file = OsOpenRead(path, &info);
  if (file == NoFile) {
    *why = OsErrorText(OsLastError());
    return false;
  }
  bool done = false;
  if (info.Kind != OsKind::Regular) {
    *why = "not a regular file";
  } else if (info.Size > ChecksumFileLimit) {
    *why = std::to_string(info.Size) + " bytes, more than a checksum file holds";
  } else {
    text->resize(static_cast<size_t>(info.Size));
    done = text->empty() || OsReadAt(file, &(*text)[0], text->size(), 0);
    if (!done) *why = OsErrorText(OsLastError());
  }
  OsClose(file);
  return done;
}

void LoadSetChecksums(const PieceSet& set, SetChecksums* sums) {
  std::string base = ContainerBasePath(set.ContainerPath);
  sums->Path.clear();
  if (base.empty()) return;
  std::string path = ChecksumFilePath(base);
  OsFileInfo info;
  if (!OsProbe(path, &info, false) || info.Kind == OsKind::Missing) return;
  std::string text, why;
  if (!ReadChecksumFile(path, &text, &why) || !ParseChecksumText(text, &sums->Lines, &why)) {
    CliPrint(CliErr, "tarnovell: warning: %s is not used: %s\n", Printable(path).c_str(),
             why.c_str());
    sums->Lines.clear();
    return;
  }
  sums->Path = path;
  sums->OriginalName = set.Head.Name;
}

ChunkSink* FileChecksums::Begin(const PieceFile& piece) {
  name_ = LastComponent(piece.Path);
  index_ = piece.Index;
  open_ = sums_.Find(name_) != nullptr;
  if (!open_) return nullptr;
  current_ = Sha256Sink();
  std::string head(static_cast<size_t>(piece.DataOffset), '\0');
  if (!head.empty() && !OsReadAt(piece.File, &head[0], head.size(), 0)) {
    open_ = false;  // unread: judged by the walk's own reading, not here
    return nullptr;
  }
  current_.Add(head.data(), head.size());
  return this;
}

void FileChecksums::End() {
  if (!open_) return;
  open_ = false;
  Sha256Digest digest;
  bool taken = current_.Hash.End(&digest);
  if (taken) Files.push_back({index_, name_, digest == *sums_.Find(name_)});
}

bool FileChecksums::AddRecoveryFiles(const PieceSet& set) {
  for (const ChecksumLine& line : sums_.Lines) {
    const std::string& name = line.Name;
    std::string path = JoinPath(set.Folder, name);
    OsFileInfo info;
    if (!IsSetFileName(set, name) || name.compare(set.BaseName.size(), 2, ".r") != 0 ||
        !OsProbe(path, &info, false) || info.Kind != OsKind::Regular) {
      continue;
    }
    OsFile file = OsOpenRead(path, &info);
    if (file == NoFile) return false;
    Sha256Sink sink;
    Sha256Digest digest;
    bool taken = DigestOfFile(file, &sink, &digest);
    OsClose(file);
    if (!taken) return false;
    Files.push_back({-1, name, digest == *sums_.Find(name)});
  }
  return true;
}

bool ChecksumsOfThisSet(const SetChecksums& sums, const PieceSet& set, const FileChecksums& files,
                        const std::function<bool(int32_t index)>& vouched) {
  std::string why, foreign = sums.ForeignOriginal(set);
  int64_t matching = 0, differing = 0;  // of the files the set's digests vouch for
  std::string first;                    // the first of those that differs
  for (const FileChecksums::Compared& file : files.Files) {
    if (file.Index < 0 || !vouched(file.Index)) continue;
    matching += file.Matches;
    differing += !file.Matches;
    if (!file.Matches && first.empty()) first = file.Name;
  }
  if (!foreign.empty()) {
    why = "it is for " + Printable(foreign) + ", not " + Printable(sums.OriginalName);
  } else if (differing > 0 && matching == 0) {
    why = "it gives " + Printable(first) +
          " another SHA-256, though the set's digests find that file whole, and no file of the "
          "set its own";
  }
  if (why.empty()) return true;
  CliPrint(CliErr,
           "tarnovell: warning: %s looks like the checksums of another set (%s); not counted\n",
           sums.FileName().c_str(), why.c_str());
  return false;
}

int64_t PrintChecksumDifferences(FILE* stream, const SetChecksums& sums, const FileChecksums& files,
                                 const std::function<bool(int32_t index)>& told,
                                 const std::function<bool(int32_t index)>& vouched,
                                 const char* indent) {
  int64_t count = 0;
  for (const FileChecksums::Compared& file : files.Files) {
    if (file.Matches || (file.Index >= 0 && told(file.Index))) continue;
    if (stream != nullptr) {
      bool forged = file.Index >= 0 && vouched(file.Index);
      CliPrint(stream, "%s%s: damaged: its SHA-256 differs from %s%s\n", indent,
               Printable(file.Name).c_str(), sums.FileName().c_str(),
               forged ? ", though its CRC-32C is the set's: forged, or changed on purpose" : "");
    }
    count++;
  }
  return count;
}
