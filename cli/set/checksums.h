// BASE.sha256 beside a set: the SHA-256 of the original file (under the name the set gives it)
// and of every file of the set, in sha256sum's format, so that a receiver can check them with any
// tool. split --checksums writes it with the set; verify and join read it when it lies beside the
// container, without trusting it: the set's own digest block decides, and a checksum file that
// disagrees with files the block vouches for is taken for another set's and only warned about.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "cli/set/copy.h"
#include "cli/set/output.h"
#include "cli/set/pieces.h"
#include "integrity/sha256.h"

// The checksum file of the set whose files are basePath + ".exe", ".c001", ...
std::string ChecksumFilePath(const std::string& basePath);

// The largest checksum file read: room for the lines of many thousand files; anything larger is
// not taken for one.
constexpr int64_t ChecksumFileLimit = 4 << 20;

struct ChecksumLine {
  std::string Name;  // as the file names it (UTF-8 on both systems), unescaped
  Sha256Digest Digest;
};

// One line as sha256sum writes it, with its newline: a name holding a backslash, a newline or a
// carriage return is escaped (\\, \n, \r) and the line starts with a backslash.
std::string ChecksumLineText(const std::string& name, const Sha256Digest& digest);
// The length of the checksum file split writes for the original's name and the set's files
// (paths: the container, the pieces, the recovery files; each named by its last component): a
// line each, as long whatever its digest.
int64_t ChecksumFileLength(const std::string& name, const std::vector<std::string>& paths);
// The lines of a checksum file as sha256sum -c reads them (blank lines skipped, a line ending in
// CR LF taken); false with why for the first line that is not one, a NUL byte anywhere, or a name
// given twice.
bool ParseChecksumText(const std::string& text, std::vector<ChecksumLine>* lines, std::string* why);

// A sink for the chunks of one stream: its SHA-256.
struct Sha256Sink : ChunkSink {
  Sha256 Hash;
  void Add(const void* bytes, size_t count) override { Hash.Add(bytes, count); }
};
// The SHA-256 of a whole open file; false when it cannot be read.
bool Sha256OfFile(OsFile file, Sha256Digest* digest);

// split --checksums: the digests taken while the set is written, and BASE.sha256 from them.
class SplitChecksums : public ChunkSink {
 public:
  // The chunks that follow are file index's data (0: the container's, whose whole file is read
  // back once its header is final); every one is the original's too. Files come in order; how
  // many there are may be known only at the end (split -).
  ChunkSink* ForFile(size_t index);
  // Where the files are written out of order (split --recovery from a file): per file of the
  // set, the sink of its data alone (null for the container, read back); the original's.
  std::vector<ChunkSink*> PieceSinks(size_t files);
  ChunkSink* OriginalOnly() { return &original_; }
  void Add(const void* bytes, size_t count) override;
  // Once every file of the set is written (outputs: the container, its pieces, the recovery
  // files, not yet in place): BASE.sha256 as one more output (target) appended to them, to go in
  // place with the set. name: record 1, in UTF-8. ExitComplete, or an exit code after telling
  // CliErr.
  int Write(const std::string& target, const std::string& name, bool nameless,
            std::vector<PendingOutput>* outputs);
  // Once written: the original's SHA-256, and each output's, in the order of outputs.
  const Sha256Digest& Original() const { return originalDigest_; }
  const std::vector<Sha256Digest>& Files() const { return fileDigests_; }

 private:
  Sha256Sink original_;
  std::vector<Sha256Sink> pieces_;  // [0] unused: the container is read back
  size_t file_ = 0;
  Sha256Digest originalDigest_;
  std::vector<Sha256Digest> fileDigests_;
};

// BASE.sha256 as read beside a set, to compare what verify and join read with.
struct SetChecksums {
  std::string Path;  // "" when there is none, or it is not used
  std::vector<ChecksumLine> Lines;
  std::string OriginalName;  // the set's record 1, in UTF-8
  // The digest it gives a name; null when it names no such file.
  const Sha256Digest* Find(const std::string& name) const;
  // The name of the first line that names no file of the set, when it is not the set's own
  // original name: the checksums were made for another file. "" when there is no such line.
  std::string ForeignOriginal(const PieceSet& set) const;
  const Sha256Digest* Original() const { return Find(OriginalName); }
  std::string FileName() const;
};

// Reads the checksum file beside the set's container (base name from the container's name) when
// there is one. One that is not a checksum file (too large, binary, a line that is none) is told
// on CliErr and not used (Path left empty).
void LoadSetChecksums(const PieceSet& set, SetChecksums* sums);

// The digests of the set's files as a walk reads them whole, each compared with BASE.sha256.
class FileChecksums : public ChunkSink {
 public:
  explicit FileChecksums(const SetChecksums& sums) : sums_(sums) {}
  // Before a file is read from piece.DataOffset to its end: the sink for those bytes, null when
  // the checksum file does not name it. The container's head is read and added here.
  ChunkSink* Begin(const PieceFile& piece);
  // After it was read whole: its digest compared.
  void End();
  // The set's recovery files that the checksum file names, beside the pieces (no walk visits
  // them): each one there is read whole. False with OsLastError when one cannot be read.
  bool AddRecoveryFiles(const PieceSet& set);
  void Add(const void* bytes, size_t count) override { current_.Add(bytes, count); }

  struct Compared {
    int32_t Index;  // in the walk; -1 for files beyond it
    std::string Name;
    bool Matches;
  };
  std::vector<Compared> Files;

 private:
  const SetChecksums& sums_;
  Sha256Sink current_;
  std::string name_;
  int32_t index_ = -1;
  bool open_ = false;
};

// Whether the checksum file can be counted against the set: not when it names another original,
// or differs for every file the set's digest block vouches for (vouched(index) true: read, found
// whole by its CRC-32C) that it names: then it is another set's. Where it matches some of them
// and differs for others, it counts: a SHA-256 that differs where the CRC-32C matches is a file
// forged or changed on purpose, which a CRC cannot tell. Says why on CliErr when not counted;
// quiet or not, it is a warning.
bool ChecksumsOfThisSet(const SetChecksums& sums, const PieceSet& set, const FileChecksums& files,
                        const std::function<bool(int32_t index)>& vouched);
// The files whose digest differs, one line each on stream after indent ("NAME: damaged: ..."),
// but those of the walk told already (told(index)); one vouched for by the set's digests is
// said forged. Returns their count; a null stream counts them only.
int64_t PrintChecksumDifferences(FILE* stream, const SetChecksums& sums, const FileChecksums& files,
                                 const std::function<bool(int32_t index)>& told,
                                 const std::function<bool(int32_t index)>& vouched,
                                 const char* indent);
