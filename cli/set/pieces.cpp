#include "cli/set/pieces.h"

#include <string.h>

#include <algorithm>
#include <set>

#include "base/cp1251_case.h"
#include "base/file_time.h"
#include "cli/os/encoding.h"
#include "cli/os/paths.h"
#include "cli/set/recovery_files.h"
#include "cli/set/renamed.h"
#include "cli/set/stub_image.h"
#include "cli/show/hints.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"
#include "container/layout.h"
#include "container/name_field.h"
#include "integrity/crc32c.h"

std::string ContainerBasePath(const std::string& containerPath) {
  // The joiner's own steps: upper-case a copy (Windows-1251, which keeps the length and turns
  // no byte of a UTF-8 path into an ASCII letter) and cut the path at the last ".EXE" found.
  std::string upper = containerPath;
  for (char& c : upper) c = static_cast<char>(Cp1251Upper(static_cast<unsigned char>(c)));
  return containerPath.substr(0, ContainerBaseLength(upper.data(), upper.size()));
}

static int NotAContainer(const OsFileInfo& info, std::string* error) {
  if (info.Kind != OsKind::Regular) {
    *error = "not a container: not a regular file";
  } else if (info.Size == StubSize) {
    *error = "not a container: this is the bare joiner program (" + std::to_string(StubSize) +
             " bytes), it holds no set";
  } else if (info.Size < PayloadOffset) {
    *error = "not a container: " + std::to_string(info.Size) +
             " bytes, shorter than the stub and the header (" + std::to_string(PayloadOffset) +
             " bytes)";
  } else {
    return ExitComplete;
  }
  return ExitBadContainer;
}

int ParseContainerHeader(const uint8_t* header, ContainerHead* head, std::string* error) {
  HeaderRecord records[HeaderRecordCount];
  static_assert(sizeof records == HeaderSize, "the header is 2048 bytes");
  memcpy(records, header, HeaderSize);
  // Record 1 goes to the platform's file calls as a zero-terminated text.
  std::string name(records[RecordFileName].Text, records[RecordFileName].Length);
  head->NameBytes = name.substr(0, name.find('\0'));
  int64_t values[HeaderRecordCount] = {};
  for (int i = RecordTotalSize; i < HeaderRecordCount; i++) {
    char text[HeaderRecordSize];
    HeaderRecordText(records[i], text);
    if (!TryParseHeaderInteger(text, &values[i])) {
      *error = "not a valid container: '" + Printable(Cp1251ToUtf8(text)) +
               "' is not a valid integer value (header record " + std::to_string(i + 1) + ")";
      return ExitBadContainer;
    }
  }
  // A time is two records, its low and high halves, each taken modulo 2^32 as the joiner takes it.
  auto time = [&](int low) {
    return FileTimeOfHalves(static_cast<uint32_t>(values[low]),
                            static_cast<uint32_t>(values[low + 1]));
  };
  head->TotalSize = values[RecordTotalSize];
  head->CreationTime = time(RecordCreationLow);
  head->LastAccessTime = time(RecordLastAccessLow);
  head->LastWriteTime = time(RecordLastWriteLow);
  head->HasDigests = ReadDigestBlock(header, &head->Digests);
  const uint8_t* field = nullptr;
  int32_t length = 0;
  head->NameFromField = head->HasDigests && ReadNameField(header, &field, &length, nullptr);
  head->Name = head->NameFromField ? std::string(reinterpret_cast<const char*>(field), length)
                                   : Cp1251ToUtf8(head->NameBytes);
  return ExitComplete;
}

// The joiner program against the stub digest, where the block carries one.
static int CheckProgram(OsFile file, ContainerHead* head, std::string* error) {
  head->Program = PartState::Unchecked;
  if (!head->HasDigests || !head->Digests.HasStubDigest) return ExitComplete;
  std::vector<uint8_t> stub(StubSize);
  if (!OsReadAt(file, stub.data(), stub.size(), 0)) {
    *error = "cannot read the joiner program: " + OsErrorText(OsLastError());
    return ExitFileError;
  }
  bool good = Crc32cAdd(0, stub.data(), stub.size()) == head->Digests.StubDigest;
  bool ours = memcmp(stub.data(), StubImage, StubSize) == 0;
  head->Program = good ? PartState::Good : ours ? PartState::Other : PartState::Damaged;
  return ExitComplete;
}

int ReadContainerHead(OsFile file, const OsFileInfo& info, ContainerHead* head,
                      std::string* error) {
  if (NotAContainer(info, error) != ExitComplete) return ExitBadContainer;
  head->ContainerSize = info.Size;
  uint8_t header[HeaderSize];
  if (!OsReadAt(file, header, sizeof header, HeaderOffset)) {
    *error = "cannot read the header: " + OsErrorText(OsLastError());
    return ExitFileError;
  }
  head->HeaderDamaged = DigestBlockDamaged(header);
  int code = ParseContainerHeader(header, head, error);
  return code == ExitComplete ? CheckProgram(file, head, error) : code;
}

bool ContainerPartDamaged(const ContainerHead& head) {
  return head.Program == PartState::Damaged || head.HeaderDamaged;
}

// A damaged header (code: how reading it ended): the head is read from the copy the recovery
// files beside the container carry, where one checks. Returns the code the head now has.
static int TakeHeaderCopy(PieceSet* set, int code, std::string* error) {
  std::vector<uint8_t> copy;
  std::string path = FindHeaderCopy(ContainerBasePath(set->ContainerPath), &copy);
  if (path.empty()) return code;
  ContainerHead head;
  head.ContainerSize = set->ContainerInfo.Size;
  head.HeaderDamaged = true;
  head.HeaderCopy = path;
  std::string why;
  int copied = ParseContainerHeader(copy.data(), &head, &why);
  if (copied == ExitComplete) copied = CheckProgram(set->Container, &head, &why);
  if (copied != ExitComplete) return code;
  set->Head = head;
  error->clear();
  return ExitComplete;
}

PieceSet::~PieceSet() {
  if (Container != NoFile) OsClose(Container);
}

std::string PieceSet::JoinedName() const {
  return SafeOutputName(Head.Name, BaseName.empty() ? "joined" : BaseName);
}

std::string PieceSet::PieceName(int32_t n) const {
  char suffix[PieceSuffixSize];
  PieceSuffix(n, suffix);
  return BaseName + suffix;
}

std::string SetContainerPath(const std::string& path) {
  std::string name = LastComponent(path), base;
  if (PieceNumberOfName(name, &base) <= 0) {
    if (RecoveryRowOfName(name) < 0) return path;
    base = name.substr(0, name.find_last_of('.'));
  }
  std::string folder = FolderOf(path);
  std::string found = FindFileIgnoringCase(folder, base + ".exe");
  return found.empty() ? JoinPath(folder, base + ".exe") : found;
}

void TellRecoveryFilesOfLostContainer(const std::string& containerPath) {
  std::string base = ContainerBasePath(containerPath);
  if (base.empty()) return;
  std::vector<std::string> rows = RecoveryFilesBeside(base);
  if (rows.empty()) return;
  std::string names;
  for (size_t i = 0; i < rows.size() && i < 3; i++)
    names += (i > 0 ? ", " : "") + Printable(LastComponent(rows[i]));
  if (rows.size() > 3) names += " and " + std::to_string(rows.size() - 3) + " more";
  CliPrint(CliErr,
           "tarnovell: recovery files of its set lie beside it (%s): `tarnovell repair %s` "
           "rebuilds it from them\n",
           names.c_str(), PasteablePath(containerPath).c_str());
}

// Whether an open file begins with the joiner this tool puts in front of its sets.
static bool StartsWithOurStub(OsFile file, const OsFileInfo& info) {
  if (info.Kind != OsKind::Regular || info.Size < StubSize) return false;
  std::string head(StubSize, '\0');
  return OsReadAt(file, &head[0], head.size(), 0) &&
         head.compare(0, StubImageSize, reinterpret_cast<const char*>(StubImage), StubImageSize) ==
             0;
}

bool IsContainerOfOurs(OsFile file, const OsFileInfo& info) {
  ContainerHead head;
  std::string why;
  return ReadContainerHead(file, info, &head, &why) == ExitComplete &&
         (head.HasDigests || StartsWithOurStub(file, info));
}

// Tells why a file given as a container is none: a file that does not begin with our joiner is
// "not a container" (its header's bytes are no text to show); a container of ours with a broken
// header gets the reason. Returns ExitBadContainer.
static int ReportNotAContainer(const std::string& path, const PieceSet& set,
                               const std::string& why) {
  if (why.compare(0, 15, "not a container") != 0 &&
             !StartsWithOurStub(set.Container, set.ContainerInfo)) {
    CliPrint(CliErr, "tarnovell: %s: not a container: it does not begin with the joiner of a set\n",
             Printable(path).c_str());
  } else {
    CliPrint(CliErr, "tarnovell: %s: %s\n", Printable(path).c_str(), why.c_str());
  }
  return ExitBadContainer;
}

std::string GivenPiecesBase(const std::string& given) {
  std::string folder, name, base;
  SplitBasePath(given, &folder, &name);
  if (PieceNumberOfName(name, &base) > 0) {
    name = base;
  } else if (!ContainerBasePath(name).empty()) {
    name = ContainerBasePath(name);
  }
  return given.substr(0, given.size() - LastComponent(given).size()) + name;
}

// The base --pieces-base names; a folder in front is where the pieces are, unless --pieces-dir
// gives one.
static void TakePiecesBase(const std::string& given, const std::string& piecesDir, PieceSet* set) {
  std::string folder;
  SplitBasePath(GivenPiecesBase(given), &folder, &set->BaseName);
  if (piecesDir.empty() && given.find_first_of(OsPathSeparators) != std::string::npos)
    set->Folder = folder;
}

// What was told of pieces found under a browser's name, so that a command that walks the set
// twice tells it once.
static std::set<std::string> ToldRenamedPieces;

int OpenPieceSet(const std::string& givenPath, const std::string& piecesDir, PieceSet* set,
                 const std::string& piecesBase) {
  ForgetFolderListings();
  ToldRenamedPieces.clear();
  std::string containerPath = SetContainerPath(givenPath);
  set->ContainerPath = containerPath;
  set->Container = OsOpenRead(containerPath, &set->ContainerInfo);
  if (set->Container == NoFile) {
    int error = OsLastError();
    CliPrint(CliErr, "tarnovell: cannot open %s: %s\n", Printable(containerPath).c_str(),
             OsErrorText(error).c_str());
    if (OsErrorIsMissing(error)) TellRecoveryFilesOfLostContainer(containerPath);
    return ExitFileError;
  }
  std::string why;
  int code = ReadContainerHead(set->Container, set->ContainerInfo, &set->Head, &why);
  if (set->Head.HeaderDamaged && code != ExitFileError) code = TakeHeaderCopy(set, code, &why);
  if (code == ExitBadContainer && set->Head.HeaderDamaged)
    why += " (the header is damaged: its digest block no longer checks)";
  if (code == ExitBadContainer) return ReportNotAContainer(containerPath, *set, why);
  if (code != ExitComplete) {
    CliPrint(CliErr, "tarnovell: %s: %s\n", Printable(containerPath).c_str(), why.c_str());
    return code;
  }
  std::string folder;
  SplitBasePath(ContainerBasePath(containerPath), &folder, &set->BaseName);
  set->Folder = !piecesDir.empty() ? piecesDir : folder;
  if (!piecesBase.empty())
    TakePiecesBase(piecesBase, piecesDir, set);
  else
    FindRenamedSet(set);
  return ExitComplete;
}

// Piece n under a browser's name, when it is missing under its own: the one file that has its
// size and digest is taken, and said; other such files are named.
static std::string TakeBrowserRenamedPiece(const PieceSet& set, int32_t n) {
  std::vector<std::string> others;
  std::string found = FindBrowserRenamedPiece(set, n, &others);
  std::string name = set.PieceName(n);
  if (!ToldRenamedPieces.insert(name).second) return found;
  if (!found.empty()) {
    CliPrint(CliErr, "tarnovell: %s is not there; %s is taken for it: its size and digest are "
                     "piece %d's\n",
             Printable(name).c_str(), Printable(LastComponent(found)).c_str(), n);
  } else if (!others.empty()) {
    std::string names;
    for (const std::string& other : others)
      names += (names.empty() ? "" : ", ") + PasteablePath(LastComponent(other));
    CliPrint(CliErr,
             "tarnovell: %s is not there; %s may be it, but not one alone has its size and "
             "digest: rename the right one to %s\n",
             Printable(name).c_str(), names.c_str(), Printable(name).c_str());
  }
  return found;
}

// Finds and opens piece n. A name that leads nowhere (a symbolic link to nothing) is missing
// like a name that is not there.
static int OpenPiece(const PieceSet& set, PieceFile* piece, WalkEnd* end) {
  std::string name = set.PieceName(piece->Index);
  piece->Path = FindFileIgnoringCase(set.Folder, name);
  if (piece->Path.empty()) piece->Path = TakeBrowserRenamedPiece(set, piece->Index);
  if (!piece->Path.empty()) piece->File = OsOpenRead(piece->Path, &piece->Info);
  if (piece->Path.empty() || (piece->File == NoFile && OsErrorIsMissing(OsLastError()))) {
    end->Missing = JoinPath(set.Folder, name);
    return ExitMissingPiece;
  }
  if (piece->File == NoFile) {
    end->Failure = "cannot open " + Printable(piece->Path) + ": " + OsErrorText(OsLastError());
    return ExitFileError;
  }
  if (piece->Info.Kind != OsKind::Regular) {
    OsClose(piece->File);
    piece->File = NoFile;
    end->Failure = Printable(piece->Path) + " is not a regular file";
    return ExitFileError;
  }
  return ExitComplete;
}

// Visits one file: its data must still fit in the signed 64-bit count of the set's data.
static int VisitPiece(PieceFile* piece, const PieceVisitor& visit, WalkEnd* end) {
  piece->DataSize = piece->Info.Size - piece->DataOffset;
  if (piece->DataSize > INT64_MAX - end->Data) {
    end->Failure = "not a valid set: with " + Printable(piece->Path) +
                   " its files hold more than " + std::to_string(INT64_MAX) + " bytes of data";
    return ExitBadContainer;
  }
  return visit(*piece, &end->Failure);
}

// The numbers of the pieces whose names are in the set's folder (ignoring case), in order.
static std::vector<int32_t> PiecesInFolder(const PieceSet& set) {
  std::vector<std::string> names;
  OsListFolder(set.Folder, &names);  // none found: every piece is missing
  std::string prefix = set.PieceName(1);
  prefix.resize(prefix.size() - 3);  // BaseName + ".c"
  std::string prefixKey = NameFoldKey(prefix);
  std::vector<int32_t> present;
  for (const std::string& name : names) {
    if (name.size() <= prefix.size() || NameFoldKey(name.substr(0, prefix.size())) != prefixKey)
      continue;
    std::string digits = name.substr(prefix.size());
    if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    long long n = std::stoll(digits);
    if (n < 1 || n > INT32_MAX) continue;
    std::string expected = set.PieceName(static_cast<int32_t>(n));
    if (expected.compare(prefix.size(), std::string::npos, digits) == 0)
      present.push_back(static_cast<int32_t>(n));
  }
  std::sort(present.begin(), present.end());
  return present;
}

// The last piece of the run of missing pieces that begins with piece n: the one before the next
// piece in the folder, or the block's last.
static int32_t LastMissing(const PieceSet& set, int32_t n, std::vector<int32_t>* present,
                           bool* listed) {
  if (!*listed) *present = PiecesInFolder(set);
  *listed = true;
  auto next = std::upper_bound(present->begin(), present->end(), n);
  int64_t last = static_cast<int64_t>(set.Head.Digests.Image.PieceCount) - 1;
  return static_cast<int32_t>(next == present->end() ? last : std::min<int64_t>(*next - 1, last));
}

int64_t WalkEnd::MissingCount() const {
  int64_t count = 0;
  for (const MissingPiece& run : MissingPieces)
    count += static_cast<int64_t>(run.Last) - run.First + 1;
  return count;
}

// Whether the walk goes on to piece n (see WalkPieces).
static bool WalkGoesOn(const PieceSet& set, int64_t n, const WalkEnd& end, bool everyPiece) {
  bool inBlock =
      !set.Head.HasDigests || n < static_cast<int64_t>(set.Head.Digests.Image.PieceCount);
  return inBlock && ((everyPiece && set.Head.HasDigests) || end.Data < set.Head.TotalSize);
}

WalkEnd WalkPieces(const PieceSet& set, const PieceVisitor& visit, bool everyPiece) {
  WalkEnd end;
  std::vector<int32_t> present;  // the pieces in the folder, once a piece is found missing
  bool listed = false;
  for (int64_t n = 0; WalkGoesOn(set, n, end, everyPiece); n++) {
    if (CliInterrupted) {
      end.Code = ExitInterrupted;
      return end;
    }
    if (n > INT32_MAX) {
      end.Failure = "the set would need more than 2147483647 pieces";
      end.Code = ExitFileError;
      return end;
    }
    PieceFile piece;
    piece.Index = static_cast<int32_t>(n);
    piece.DataBefore = end.Data;
    if (piece.Index == 0) {
      piece.Path = set.ContainerPath;
      piece.File = set.Container;
      piece.Info = set.ContainerInfo;
      piece.DataOffset = PayloadOffset;
    } else if ((end.Code = OpenPiece(set, &piece, &end)) != ExitComplete) {
      if (end.Code != ExitMissingPiece || !everyPiece || !set.Head.HasDigests) return end;
      int32_t last = LastMissing(set, piece.Index, &present, &listed);
      end.MissingPieces.push_back({piece.Index, last, end.Missing});
      n = last;
      continue;
    }
    end.Code = VisitPiece(&piece, visit, &end);
    if (piece.Index > 0) OsClose(piece.File);
    if (end.Code != ExitComplete) return end;
    end.Data += piece.DataSize;
    end.Files++;
  }
  if (!end.MissingPieces.empty()) {
    end.Code = ExitMissingPiece;
    end.Missing = end.MissingPieces.front().Path;
  } else {
    end.Code = end.Data == set.Head.TotalSize ? ExitComplete : ExitMismatch;
  }
  return end;
}

int PieceMoveOutcome(const PieceFile& piece, int64_t got, const char* verb, std::string* failure) {
  if (got < 0 && CliInterrupted) return ExitInterrupted;
  if (got < 0) {
    *failure = std::string(verb) + " " + Printable(piece.Path) + ": " + OsErrorText(OsLastError());
    return ExitFileError;
  }
  if (got < piece.DataSize) {
    *failure = Printable(piece.Path) + " became shorter while it was read";
    return ExitFileError;
  }
  return ExitComplete;
}

static void JsonTime(JsonWriter* json, const char* key, uint64_t fileTime) {
  json->Field(key, IsoFileTime(fileTime));
  json->Field((std::string(key) + "_filetime").c_str(), fileTime);
}

void JsonSetMembers(JsonWriter* json, const PieceSet& set) {
  const ContainerHead& head = set.Head;
  json->NameField("container", set.ContainerPath);
  json->Begin("header")
      .Field("name", head.Name)
      .NameField("joined_as", set.JoinedName())
      .Field("size", head.TotalSize);
  JsonTime(json, "created", head.CreationTime);
  JsonTime(json, "accessed", head.LastAccessTime);
  JsonTime(json, "modified", head.LastWriteTime);
  json->End().NameField("pieces_base", set.BaseName).NameField("pieces_folder", set.Folder);
  // The container's own parts: its joiner program against the stub digest, its header against
  // its block's self-check (and the recovery file whose copy of it the set is read by).
  const char* program = head.Program == PartState::Good      ? "good"
                        : head.Program == PartState::Damaged ? "damaged"
                        : head.Program == PartState::Other   ? "other"
                                                             : "unchecked";
  json->Begin("container_parts")
      .Field("program", program)
      .Field("header", head.HeaderDamaged ? "damaged" : head.HasDigests ? "good" : "unchecked");
  if (!head.HeaderCopy.empty()) json->NameField("header_copy", head.HeaderCopy);
  json->End();
  json->Field("digests", head.HasDigests);
  if (!head.HasDigests) return;
  json->Begin("digest_block")
      .Field("pieces", int64_t{head.Digests.Image.PieceCount})
      .Field("run_length", int64_t{head.Digests.Image.RunLength})
      .Field("digest_count", int64_t{head.Digests.DigestCount})
      .End();
}
