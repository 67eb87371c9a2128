// Finding what is bad: recovery headers, each recovery row's parity group by group, and every
// file of the set against the digests the recovery header holds.
#include <string.h>

#include <memory>

#include "integrity/crc32c.h"
#include "recovery/recovery.h"
#include "recovery/recovery_chunks.h"

bool PayloadLost(FileState state) { return state != FileGood && state != FilePrefixDamaged; }

bool NeedsRewrite(FileState state) { return state != FileGood; }

uint32_t StubDigestOf(const uint8_t* stub) { return Crc32cAdd(0, stub, StubSize); }

bool ReadRecoveryHeader(const FileAccess& file, RecoveryHeader* header) {
  *header = RecoveryHeader{};
  uint8_t fixed[RecoveryFixedSize];
  int64_t size = file.Size();
  if (size < RecoveryFixedSize || !file.ReadAt(fixed, sizeof fixed, 0) ||
      !ParseRecoveryFixed(fixed, header) || size < header->HeaderLength) {
    *header = RecoveryHeader{};
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(header->HeaderLength));
  if (!file.ReadAt(bytes.data(), bytes.size(), 0)) {
    *header = RecoveryHeader{};
    return false;
  }
  return ParseRecoveryHeader(bytes.data(), header->HeaderLength, header);
}

static std::vector<uint8_t> ReadBuffer(int64_t length) {
  int64_t size = length < ChunkLimit ? length : int64_t{ChunkLimit};
  return std::vector<uint8_t>(static_cast<size_t>(size > 0 ? size : 1));
}

// The container's stub and header against the recovery header.
static bool PrefixMatches(const RecoveryHeader& header, const FileAccess& file, uint32_t stubDigest,
                          bool* readable) {
  std::unique_ptr<uint8_t[]> prefix(new uint8_t[PayloadOffset]);
  *readable = file.ReadAt(prefix.get(), PayloadOffset, 0);
  return *readable && StubDigestOf(prefix.get()) == stubDigest &&
         memcmp(prefix.get() + HeaderOffset, header.ContainerHeader, HeaderSize) == 0;
}

// As CheckSetFile; *digest is the payload's CRC-32C where it was read (else 0).
static FileState CheckFile(const RecoveryHeader& header, int32_t n, const FileAccess* file,
                           uint32_t stubDigest, RecoveryProgress* progress, bool* interrupted,
                           uint32_t* digest) {
  *interrupted = false;
  *digest = 0;
  if (file == nullptr) return FileMissing;
  int64_t payload = header.Files[n].Payload;
  if (file->Size() != PayloadBase(n) + payload) return FileWrongSize;
  bool readable = true;
  bool prefixGood = n != 0 || PrefixMatches(header, *file, stubDigest, &readable);
  if (!readable) return FileUnreadable;
  std::vector<uint8_t> buffer = ReadBuffer(payload);
  RecoveryOutcome outcome =
      DigestOfRange(*file, PayloadBase(n), payload, &buffer, progress, digest);
  *interrupted = outcome == RecoveryInterrupted;
  if (outcome != RecoveryDone) return FileUnreadable;
  if (*digest != header.Files[n].Digest) return FileDamaged;
  return prefixGood ? FileGood : FilePrefixDamaged;
}

FileState CheckSetFile(const RecoveryHeader& header, int32_t n, const FileAccess* file,
                       uint32_t stubDigest, RecoveryProgress* progress, bool* interrupted) {
  uint32_t digest;
  return CheckFile(header, n, file, stubDigest, progress, interrupted, &digest);
}

// The container's header, when the container is there to read; else empty.
static std::vector<uint8_t> ContainerHeaderOf(const std::vector<const FileAccess*>& setFiles) {
  std::vector<uint8_t> header(HeaderSize);
  const FileAccess* container = setFiles.empty() ? nullptr : setFiles[0];
  if (container == nullptr || !container->ReadAt(header.data(), HeaderSize, HeaderOffset))
    header.clear();
  return header;
}

// What the set's files must be where the container says it: its header, and whether a digest
// block in it checks (the authority over every recovery file).
struct Authority {
  std::vector<uint8_t> Header;  // empty when the container cannot be read
  bool Sound = false;
  DigestBlock Block = {};
};

static Authority AuthorityOf(const std::vector<const FileAccess*>& setFiles) {
  Authority authority;
  authority.Header = ContainerHeaderOf(setFiles);
  authority.Sound =
      !authority.Header.empty() && ReadDigestBlock(authority.Header.data(), &authority.Block);
  return authority;
}

// The CRC-32C of the block's run k from per-file digests (the block's sizes).
static uint32_t RunDigest(const DigestBlock& block, int32_t k,
                          const std::vector<uint32_t>& digests) {
  uint32_t digest = 0;
  for (int32_t n = RunFirstPiece(block, k); n <= RunLastPiece(block, k); n++)
    digest = Crc32cJoin(digest, digests[n], ExpectedPayload(block, n));
  return digest;
}

// The recovery header describes the files the block gives: their count, each size, each run's
// digest.
static bool AgreesWithBlock(const RecoveryHeader& header, const DigestBlock& block) {
  if (static_cast<int64_t>(block.Image.PieceCount) != header.FileCount) return false;
  std::vector<uint32_t> digests;
  for (int32_t n = 0; n < header.FileCount; n++) {
    if (header.Files[n].Payload != ExpectedPayload(block, n)) return false;
    digests.push_back(header.Files[n].Digest);
  }
  for (int32_t k = 0; k < block.DigestCount; k++)
    if (RunDigest(block, k, digests) != block.Image.Digests[k]) return false;
  return true;
}

// A recovery header may describe the set: it carries the container's header where that is the
// authority, and agrees with the block of the header it carries, if that has one.
static bool Admissible(const RecoveryHeader& header, const Authority& authority) {
  if (authority.Sound && memcmp(header.ContainerHeader, authority.Header.data(), HeaderSize) != 0)
    return false;
  DigestBlock own;
  return !ReadDigestBlock(header.ContainerHeader, &own) || AgreesWithBlock(header, own);
}

// The description to follow: one whose header copy is the container's before all others, then
// the one most recovery files agree on (the first of equals); -1 when no header is admissible.
static int32_t ChooseReference(const std::vector<RecoveryHeader>& headers,
                               const std::vector<uint8_t>& admissible,
                               const std::vector<uint8_t>& containerHeader) {
  int32_t best = -1;
  size_t bestScore = 0;
  for (size_t i = 0; i < headers.size(); i++) {
    if (!admissible[i]) continue;
    bool ours = !containerHeader.empty() &&
                memcmp(headers[i].ContainerHeader, containerHeader.data(), HeaderSize) == 0;
    size_t score = ours ? headers.size() + 1 : 1;
    for (size_t j = 0; j < headers.size(); j++)
      score += admissible[j] && j != i && SameRecoverySet(headers[i], headers[j]);
    if (score > bestScore) best = static_cast<int32_t>(i), bestScore = score;
  }
  return best;
}

// Which recovery file serves each row (headers: every file's, empty when not valid); the
// survey's header is the reference's.
static RecoveryResult AssignRows(const std::vector<const FileAccess*>& recoveryFiles,
                                 const Authority& authority, std::vector<RecoveryHeader>* headers,
                                 SetSurvey* survey) {
  headers->assign(recoveryFiles.size(), RecoveryHeader{});
  std::vector<uint8_t> admissible(recoveryFiles.size(), 0);
  bool anyValid = false;
  for (size_t i = 0; i < recoveryFiles.size(); i++) {
    bool valid =
        recoveryFiles[i] != nullptr && ReadRecoveryHeader(*recoveryFiles[i], &(*headers)[i]);
    anyValid |= valid;
    admissible[i] = valid && Admissible((*headers)[i], authority);
  }
  int32_t reference = ChooseReference(*headers, admissible, authority.Header);
  if (reference < 0)
    return Result(anyValid && authority.Sound ? RecoveryOtherSet : RecoveryNoRecoveryFile);
  survey->Header = (*headers)[reference];
  survey->RowSource.assign(static_cast<size_t>(survey->Header.RowCount), -1);
  for (size_t i = 0; i < headers->size(); i++) {
    if (!admissible[i] || !SameRecoverySet((*headers)[i], survey->Header)) continue;
    int32_t& source = survey->RowSource[(*headers)[i].Row];
    if (source < 0) source = static_cast<int32_t>(i);
  }
  return Result(RecoveryDone);
}

// Where the container is the authority, a run whose files have the block's sizes and digest is
// the set's own: a recovery header that finds a file of it bad describes another set (digests:
// each file's, 0 where it was not read).
static bool RunsConfirmed(const SetSurvey& survey, const std::vector<uint32_t>& digests,
                          const Authority& authority) {
  if (!authority.Sound) return true;
  const DigestBlock& block = authority.Block;
  for (int32_t k = 0; k < block.DigestCount; k++) {
    bool read = true, foundBad = false;
    for (int32_t n = RunFirstPiece(block, k); n <= RunLastPiece(block, k); n++) {
      FileState state = survey.Files[n];
      read &= state == FileGood || state == FilePrefixDamaged || state == FileDamaged;
      foundBad |= PayloadLost(state);
    }
    if (read && foundBad && RunDigest(block, k, digests) == block.Image.Digests[k]) return false;
  }
  return true;
}

// Row r's parity, group by group, against the digests of its own header.
static RecoveryResult CheckRow(const FileAccess& file, const RecoveryHeader& own,
                               const std::vector<int64_t>& offsets, RecoveryProgress* progress,
                               SetSurvey* survey) {
  int32_t r = own.Row, groups = survey->Header.GroupCount;
  std::vector<uint8_t> buffer = ReadBuffer(offsets[groups] - offsets[0]);
  for (int32_t g = 0; g < groups; g++) {
    uint32_t digest;
    RecoveryOutcome outcome =
        DigestOfRange(file, offsets[g], offsets[g + 1] - offsets[g], &buffer, progress, &digest);
    if (outcome == RecoveryInterrupted) return Result(outcome, -1, r);
    survey->RowGood[r * groups + g] = outcome == RecoveryDone && digest == own.ParityDigests[g];
  }
  return Result(RecoveryDone);
}

// The verdict of each group and of the set.
static void Judge(SetSurvey* survey) {
  const RecoveryHeader& header = survey->Header;
  int32_t groups = header.GroupCount, rows = header.RowCount;
  survey->Groups.assign(static_cast<size_t>(groups), GroupVerdict{0, 0, 0});
  survey->FilesToRewrite = survey->LostFiles = survey->GoodRecoveryFiles = 0;
  survey->Repairable = true;
  for (int32_t n = 0; n < header.FileCount; n++) {
    GroupVerdict& group = survey->Groups[GroupOf(header, n)];
    group.Files++;
    group.LostFiles += PayloadLost(survey->Files[n]);
    survey->LostFiles += PayloadLost(survey->Files[n]);
    survey->FilesToRewrite += NeedsRewrite(survey->Files[n]);
  }
  for (int32_t r = 0; r < rows; r++) {
    int32_t good = 0;
    for (int32_t g = 0; g < groups; g++) good += survey->RowGood[r * groups + g];
    for (int32_t g = 0; g < groups; g++)
      survey->Groups[g].GoodRows += survey->RowGood[r * groups + g];
    survey->GoodRecoveryFiles += good == groups;
  }
  for (const GroupVerdict& group : survey->Groups)
    survey->Repairable &= group.LostFiles <= group.GoodRows;
}

RecoveryResult SurveySet(const std::vector<const FileAccess*>& setFiles,
                         const std::vector<const FileAccess*>& recoveryFiles,
                         RecoveryProgress* progress, SetSurvey* survey) {
  *survey = SetSurvey{};
  Authority authority = AuthorityOf(setFiles);
  std::vector<RecoveryHeader> headers;
  RecoveryResult result = AssignRows(recoveryFiles, authority, &headers, survey);
  if (result.Outcome != RecoveryDone) return result;
  const RecoveryHeader& header = survey->Header;
  std::vector<int64_t> offsets = ParityOffsets(header);
  survey->RowGood.assign(static_cast<size_t>(header.RowCount * header.GroupCount), 0);
  for (int32_t r = 0; r < header.RowCount; r++) {
    int32_t source = survey->RowSource[r];
    if (source >= 0)
      result = CheckRow(*recoveryFiles[source], headers[source], offsets, progress, survey);
    if (result.Outcome != RecoveryDone) return result;
  }
  std::vector<uint32_t> digests(static_cast<size_t>(header.FileCount), 0);
  for (int32_t n = 0; n < header.FileCount; n++) {
    const FileAccess* file = n < static_cast<int32_t>(setFiles.size()) ? setFiles[n] : nullptr;
    bool interrupted;
    survey->Files.push_back(
        CheckFile(header, n, file, header.StubDigest, progress, &interrupted, &digests[n]));
    if (interrupted) return Result(RecoveryInterrupted, n);
  }
  if (!RunsConfirmed(*survey, digests, authority)) return Result(RecoveryOtherSet);
  Judge(survey);
  return Result(RecoveryDone);
}
