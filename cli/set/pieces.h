// A set as the joiner reads it: the container's head, where its pieces are, and the walk over
// the container and its pieces that join, info and any later check share.
//
// cli/set/ is the set model: opening a set and walking its pieces (this header), pieces found
// under other names (renamed.h), the judgement of pieces against the digest block (digest.h),
// BASE.sha256 (checksums.h), outputs put in place (output.h) and the copies that fill them
// (copy.h), the recovery files of a set (recovery.h, recovery_files.h, and module_files.h: the
// recovery module's files as the tool gives them), and the embedded stub (stub_image.h). Of the
// tool it may include cli/show and cli/os.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/os/os.h"
#include "container/digest_block.h"

// The base path of a container path, as the joiner derives its own: the bytes before the last
// ".exe" (any case); "" when the path holds none. Pieces are base + PieceSuffix(n).
std::string ContainerBasePath(const std::string& containerPath);

// A part of the container beside its data, as the set's digests vouch for it.
enum class PartState {
  Unchecked,  // the set carries no digest of it (sets made before it did)
  Good,
  Damaged,
  Other,  // not the set's but this tool's own joiner program: a sound one (a repair that had no
          // copy of the set's own put it there), not damage
};

struct ContainerHead {
  int64_t ContainerSize = 0;
  std::string NameBytes;  // record 1, Windows-1251 bytes as stored
  // The joined file's name in UTF-8: the exact name of the header's name field where it checks
  // (NameFromField), else record 1's.
  std::string Name;
  bool NameFromField = false;
  int64_t TotalSize = 0;
  uint64_t CreationTime = 0;
  uint64_t LastAccessTime = 0;
  uint64_t LastWriteTime = 0;
  // The digest block in the header's filler (sets made by this tool); a header without a valid
  // one is read as before.
  bool HasDigests = false;
  DigestBlock Digests = {};
  // The joiner program (bytes 0 to 28671) against the stub digest of the block.
  PartState Program = PartState::Unchecked;
  // The header's digest block is there (its magic and version) but its self-check fails: a byte
  // of the header changed. The head is then read from HeaderCopy, a recovery file of the set
  // whose copy of the header checks, where there is one ("": none, the head is the header's own,
  // without digests).
  bool HeaderDamaged = false;
  std::string HeaderCopy;
};

// Reads and checks the head of an open container (info tells what was opened), the digest block
// and the joiner program too. Returns ExitComplete, or ExitBadContainer / ExitFileError with the
// reason in error; a damaged header is told in head->HeaderDamaged, whatever the code.
int ReadContainerHead(OsFile file, const OsFileInfo& info, ContainerHead* head, std::string* error);
// The joiner program or the header of the container is damaged.
bool ContainerPartDamaged(const ContainerHead& head);

// Whether an open file is a container of ours: its head reads, and it carries a digest block or
// begins with the joiner this tool puts in front of its sets.
bool IsContainerOfOurs(OsFile file, const OsFileInfo& info);

// An open container with its head, and where its pieces are looked for. Closes the container
// when dropped.
struct PieceSet : HoldsFiles {
  std::string ContainerPath;
  OsFile Container = NoFile;
  OsFileInfo ContainerInfo;
  ContainerHead Head;
  std::string Folder;    // "" for the current folder
  std::string BaseName;  // the pieces are BaseName + ".c001", ... in Folder

  ~PieceSet();
  // BaseName + PieceSuffix(n).
  std::string PieceName(int32_t n) const;
  // The joined file's name where -o gives none: the header's name reduced to a plain file name
  // (SafeOutputName), else BaseName, else "joined".
  std::string JoinedName() const;
};

// The head as a header's bytes (HeaderSize) give it: records, times, digest block, the name.
// Returns ExitComplete, or ExitBadContainer with the reason in *error.
int ParseContainerHeader(const uint8_t* header, ContainerHead* head, std::string* error);

// The container of the set a path names: a piece (BASE.c001, ...) or a recovery file (BASE.r01,
// ...) names the BASE.exe beside it (in whatever case it is there, else the path it belongs at);
// any other path names itself.
std::string SetContainerPath(const std::string& path);
// A container that is not there: the recovery files of its set beside it, if any, named on CliErr
// with the repair that rebuilds it.
void TellRecoveryFilesOfLostContainer(const std::string& containerPath);

// Opens the container of the set givenPath names (SetContainerPath) and reads its head; pieces
// are looked for beside it, or in piecesDir, named from the container's name, or from piecesBase
// (--pieces-base: a base, or the name of the container or of a piece of that set, perhaps with
// its folder). Returns ExitComplete, or an exit code after telling CliErr why.
int OpenPieceSet(const std::string& givenPath, const std::string& piecesDir, PieceSet* set,
                 const std::string& piecesBase = "");

// The base a --pieces-base names (its folder, if any, kept in front): "film" as it is, and
// "film.exe" or "film.c001" of that set cut to "film".
std::string GivenPiecesBase(const std::string& given);

// One file of the set, open for reading while it is visited.
struct PieceFile {
  int32_t Index = 0;  // 0: the container
  std::string Path;
  OsFile File = NoFile;
  OsFileInfo Info;
  int64_t DataOffset = 0;  // where its data begins: 30720 in the container, 0 in a piece
  int64_t DataSize = 0;    // Info.Size - DataOffset
  int64_t DataBefore = 0;  // the data of the files before it
};

// How a walk ended.
struct WalkEnd {
  // ExitComplete: the data adds up to the header's size; ExitMismatch: more data than that, or
  // less in a set with a digest block (the walk ends at the block's last piece);
  // ExitMissingPiece (Missing names the path looked for); ExitFileError and ExitBadContainer
  // (Failure tells why; a set whose sizes cannot be added is not valid); or what a visit
  // returned to stop the walk.
  int Code = 0;
  int64_t Files = 0;  // files whose data counted
  int64_t Data = 0;   // their data
  std::string Missing;
  std::string Failure;
  // A walk that goes on past missing pieces: each run of them (First to Last, none of them in
  // the folder), with the path looked for the first. Runs, so that what a walk keeps follows the
  // files there are, not the count a block claims.
  struct MissingPiece {
    int32_t First;
    int32_t Last;
    std::string Path;
  };
  std::vector<MissingPiece> MissingPieces;
  int64_t MissingCount() const;  // the pieces of those runs
};

// Returns ExitComplete to go on, or an exit code that ends the walk (with failure set for it).
using PieceVisitor = std::function<int(const PieceFile& piece, std::string* failure)>;

// Walks the set by the joiner's rule: the container, then piece 1, 2, ... while the data so far
// is below the header's size, and in a set with a digest block no further than the pieces the
// block gives (a short piece does not send the walk looking for one more). Each piece is opened
// without waiting and refused unless it is a regular file, so every command gives the same
// answer for the same set. A missing piece ends the walk (Missing). With everyPiece, in a set
// with a digest block, the walk visits every piece the block gives, whatever the data so far; a
// missing one is noted in MissingPieces with those after it that are not in the folder either,
// and the walk goes on at the next piece there, to end with ExitMissingPiece (Missing: the
// first). An interruption (Ctrl+C) ends any walk before its next piece, with ExitInterrupted.
WalkEnd WalkPieces(const PieceSet& set, const PieceVisitor& visit, bool everyPiece = false);

// How a visitor's move of a piece's data went: got is what the copy or read returned (negative
// when a call failed) of piece.DataSize bytes; verb names the work in the failure ("copying").
// ExitComplete, ExitInterrupted, or ExitFileError with failure set.
int PieceMoveOutcome(const PieceFile& piece, int64_t got, const char* verb, std::string* failure);

class JsonWriter;
// The members info and verify share: "container", "header" (name, joined_as, size, the three
// times), "pieces_base", "pieces_folder", "digests" and, where the set carries them,
// "digest_block".
void JsonSetMembers(JsonWriter* json, const PieceSet& set);
