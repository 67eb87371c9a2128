// Finding what is bad: recovery headers, each recovery row's parity group by group, and every
// file of the set against the digests the recovery header holds.
#include <string.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "integrity/crc32c.h"
#include "integrity/crc64.h"
#include "recovery/recovery.h"
#include "recovery/recovery_chunks.h"
#include "recovery/recovery_survey.h"

bool PayloadLost(FileState state) { return state != FileGood && state != FilePrefixDamaged; }

bool NeedsRewrite(FileState state) { return state != FileGood; }

uint32_t StubDigestOf(const uint8_t* stub) { return Crc32cAdd(0, stub, StubSize); }

bool ReadRecoveryHeader(const FileAccess& file, RecoveryHeader* header,
                        const std::function<bool(const RecoveryHeader& start)>& admit) {
  *header = RecoveryHeader{};
  uint8_t fixed[RecoveryFixedSize];
  int64_t size = file.Size();
  if (size < RecoveryFixedSize || !file.ReadAt(fixed, sizeof fixed, 0) ||
      !ParseRecoveryFixed(fixed, header) || size < header->HeaderLength) {
    *header = RecoveryHeader{};
    return false;
  }
  if (admit) {  // judged by its start before its slice digests take memory
    std::vector<uint8_t> start(static_cast<size_t>(RecoveryStartLength(*header)));
    bool admitted = file.ReadAt(start.data(), start.size(), 0);
    if (admitted) ParseRecoveryStart(start.data(), header);
    if (!admitted || !admit(*header)) {
      *header = RecoveryHeader{};
      return false;
    }
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(header->HeaderLength));
  if (!file.ReadAt(bytes.data(), bytes.size(), 0)) {
    *header = RecoveryHeader{};
    return false;
  }
  return ParseRecoveryHeader(bytes.data(), header->HeaderLength, header);
}

bool ReadStubCopy(const FileAccess& file, const RecoveryHeader& header, uint8_t* stub) {
  int64_t at = header.HeaderLength + header.ParityLength;
  return file.Size() >= at + StubSize && file.ReadAt(stub, StubSize, at) &&
         StubDigestOf(stub) == header.StubDigest;
}

static bool SelfCheckHolds(const FileAccess& file, int64_t length);

bool ReadRecoveryHeaderStart(const FileAccess& file, RecoveryHeader* header) {
  RecoveryHeader seen;
  ReadRecoveryHeader(file, header, [&seen](const RecoveryHeader& start) {
    seen = start;
    return false;  // the slice digests are not read: the self-check streams them
  });
  *header = RecoveryHeader{};
  RecoveryHeader measured = seen;  // P and H as the payloads give them, as a whole read checks
  int64_t fileSlices, paritySlices;
  if (seen.HeaderLength == 0 || !MeasureRecoveryGeometry(&measured, &fileSlices, &paritySlices) ||
      measured.HeaderLength != seen.HeaderLength || measured.ParityLength != seen.ParityLength ||
      !SelfCheckHolds(file, seen.HeaderLength))
    return false;
  *header = std::move(seen);
  return true;
}

static std::vector<uint8_t> ReadBuffer(int64_t length) {
  int64_t size = length < ChunkLimit ? length : int64_t{ChunkLimit};
  return std::vector<uint8_t>(static_cast<size_t>(size > 0 ? size : 1));
}

bool PrefixMatches(const RecoveryHeader& header, const FileAccess& file, uint32_t stubDigest,
                   bool* readable) {
  std::unique_ptr<uint8_t[]> prefix(new uint8_t[PayloadOffset]);
  *readable = file.ReadAt(prefix.get(), PayloadOffset, 0);
  return *readable && StubDigestOf(prefix.get()) == stubDigest &&
         memcmp(prefix.get() + HeaderOffset, header.ContainerHeader, HeaderSize) == 0;
}

// As CheckSetFile; with slices, each one's digest taken on the way. known: the payload is known
// to be the set's (its size and digest), and is not read.
static FileCheck CheckFile(const RecoveryHeader& header, int32_t n, const FileAccess* file,
                           uint32_t stubDigest, RecoveryProgress* progress, bool known) {
  FileCheck check;
  if (file == nullptr) return check;
  int64_t payload = header.Files[n].Payload;
  check.State = FileWrongSize;
  if (!HasItsSize(header, n, *file)) return check;
  bool readable = true;
  bool prefixGood = n != 0 || PrefixMatches(header, *file, stubDigest, &readable);
  check.State = FileUnreadable;
  if (!readable) return check;
  if (known) {
    check.Digest = header.Files[n].Digest;
  } else {
    std::vector<uint8_t> buffer = ReadBuffer(payload);
    RecoveryOutcome outcome = DigestOfSlices(*file, PayloadBase(n), payload, header.SliceSize,
                                             &buffer, progress, &check.Slices, &check.Digest);
    check.Interrupted = outcome == RecoveryInterrupted;
    if (outcome != RecoveryDone) return check;
  }
  check.State = StateOfRead(header, n, check.Digest, prefixGood);
  return check;
}

bool HasItsSize(const RecoveryHeader& header, int32_t n, const FileAccess& file) {
  return file.Size() == PayloadBase(n) + header.Files[n].Payload;
}

FileState StateOfRead(const RecoveryHeader& header, int32_t n, uint32_t digest, bool prefixGood) {
  return digest != header.Files[n].Digest ? FileDamaged
         : prefixGood                     ? FileGood
                                          : FilePrefixDamaged;
}

FileState CheckSetFile(const RecoveryHeader& header, int32_t n, const FileAccess* file,
                       uint32_t stubDigest, RecoveryProgress* progress, bool* interrupted) {
  FileCheck check = CheckFile(header, n, file, stubDigest, progress, false);
  *interrupted = check.Interrupted;
  return check.State;
}

void JudgeSlices(bool read, const std::vector<uint32_t>& digests, const uint32_t* expected,
                 bool whole, uint8_t* good) {
  bool allAgree = true;
  for (size_t i = 0; i < digests.size(); i++) allAgree &= digests[i] == expected[i];
  for (size_t i = 0; i < digests.size(); i++)
    good[i] = read && digests[i] == expected[i] && (whole || !allAgree);
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

bool CarriesSoundHeader(const RecoveryHeader& header) {
  DigestBlock own;
  return ReadDigestBlock(header.ContainerHeader, &own) && AgreesWithBlock(header, own) &&
         (!own.HasStubDigest || own.StubDigest == header.StubDigest);
}

// A recovery header may describe the set: it carries the container's header where that is the
// authority, and agrees with the block of the header it carries, if that has one.
static bool Admissible(const RecoveryHeader& header, const Authority& authority) {
  if (authority.Sound && memcmp(header.ContainerHeader, authority.Header.data(), HeaderSize) != 0)
    return false;
  DigestBlock own;
  return !ReadDigestBlock(header.ContainerHeader, &own) || CarriesSoundHeader(header);
}

// The self-check of a header of length bytes (H), read a chunk at a time, nothing of it kept.
static bool SelfCheckHolds(const FileAccess& file, int64_t length) {
  std::vector<uint8_t> chunk(static_cast<size_t>(ChunkLimit));
  uint64_t check = 0;
  for (int64_t at = 0, end = length - 8; at < end;) {
    size_t count = static_cast<size_t>(std::min<int64_t>(end - at, ChunkLimit));
    if (!file.ReadAt(chunk.data(), count, at)) return false;
    check = Crc64Add(check, chunk.data(), count);
    at += static_cast<int64_t>(count);
  }
  uint8_t stored[8];
  if (!file.ReadAt(stored, sizeof stored, length - 8)) return false;
  uint64_t value = 0;
  for (int i = 7; i >= 0; i--) value = value << 8 | stored[i];
  return value == check;
}

// Two headers of the same set, their file slices' digests told by keys (the tables themselves
// are kept for the reference alone).
static bool SameSet(const std::vector<RecoveryHeader>& headers, const std::vector<uint64_t>& keys,
                    size_t a, size_t b) {
  return keys[a] == keys[b] && SameRecoverySet(headers[a], headers[b]);
}

// The description to follow: one whose header copy is the container's before all others, then
// the one most recovery files agree on (the first of equals); -1 when no header is admissible.
static int32_t ChooseReference(const std::vector<RecoveryHeader>& headers,
                               const std::vector<uint64_t>& keys,
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
      score += admissible[j] && j != i && SameSet(headers, keys, i, j);
    if (score > bestScore) best = static_cast<int32_t>(i), bestScore = score;
  }
  return best;
}

// Which recovery file serves each row (headers: every file's, empty when not valid); the
// survey's header is the reference's. A header is judged by its start before its slice digests
// are read (those of another set, where the container is the authority, never are), and only the
// reference keeps its table of the files' slice digests: memory stays that of one header of the
// set, however many recovery files there are.
static RecoveryResult AssignRows(const std::vector<const FileAccess*>& recoveryFiles,
                                 const Authority& authority, std::vector<RecoveryHeader>* headers,
                                 SetSurvey* survey) {
  headers->assign(recoveryFiles.size(), RecoveryHeader{});
  std::vector<uint8_t> admissible(recoveryFiles.size(), 0);
  std::vector<uint64_t> keys(recoveryFiles.size(), 0);
  bool anyValid = false;
  for (size_t i = 0; i < recoveryFiles.size(); i++) {
    int64_t refused = 0;  // the length of a header refused by its start
    auto admit = [&](const RecoveryHeader& start) {
      bool admitted = Admissible(start, authority);
      if (!admitted) refused = start.HeaderLength;
      return admitted;
    };
    RecoveryHeader& header = (*headers)[i];
    admissible[i] =
        recoveryFiles[i] != nullptr && ReadRecoveryHeader(*recoveryFiles[i], &header, admit);
    anyValid |= admissible[i] || (refused > 0 && SelfCheckHolds(*recoveryFiles[i], refused));
    keys[i] = Crc64(header.FileSlices.data(), header.FileSlices.size() * sizeof(uint32_t));
    std::vector<uint32_t>().swap(header.FileSlices);
  }
  int32_t reference = ChooseReference(*headers, keys, admissible, authority.Header);
  if (reference < 0)
    return Result(anyValid && authority.Sound ? RecoveryOtherSet : RecoveryNoRecoveryFile);
  const RecoveryHeader& chosen = (*headers)[reference];
  std::vector<uint32_t> slices;  // the reference's table, read again
  bool same = ReadRecoveryHeader(*recoveryFiles[reference], &survey->Header);
  slices.swap(survey->Header.FileSlices);
  same = same && SameRecoverySet(survey->Header, chosen) &&
         Crc64(slices.data(), slices.size() * sizeof(uint32_t)) == keys[reference];
  slices.swap(survey->Header.FileSlices);
  if (!same) return Result(RecoveryReadFailed, -1, chosen.Row);  // it changed under the survey
  survey->RowSource.assign(static_cast<size_t>(survey->Header.RowCount), -1);
  for (size_t i = 0; i < headers->size(); i++) {
    if (!admissible[i] || !SameSet(*headers, keys, i, static_cast<size_t>(reference))) continue;
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

// Whether the container's own evidence condemns file n of the set as the survey found it: its
// size or digest against the block (digests: each file's as read), a run's only when every file
// of the run was read; the container's stub by the stub digest alone.
static bool ContainerCondemns(const SetSurvey& survey, const std::vector<uint32_t>& digests,
                              const Authority& authority, int32_t n) {
  const DigestBlock& block = authority.Block;
  switch (survey.Files[n]) {
    case FileWrongSize: return true;  // the header's sizes are the block's
    case FilePrefixDamaged: return block.HasStubDigest;
    case FileDamaged: break;
    default: return false;
  }
  int32_t k = DigestIndexOf(block, n);
  for (int32_t m = RunFirstPiece(block, k); m <= RunLastPiece(block, k); m++) {
    FileState state = survey.Files[m];
    if (state != FileGood && state != FilePrefixDamaged && state != FileDamaged) return false;
  }
  return RunDigest(block, k, digests) != block.Image.Digests[k];
}

// Which bad files there the container condemns (itself too where its header is damaged: its
// block's self-check fails), and whether it condemns most of the pieces there in most of their
// bytes (damage, even in every piece, lies in a few slices of each; another set's pieces differ
// throughout).
static void MarkCondemned(const std::vector<const FileAccess*>& setFiles,
                          const std::vector<uint32_t>& digests, const Authority& authority,
                          SetSurvey* survey) {
  int32_t files = survey->Header.FileCount, pieces = 0, condemned = 0;
  int64_t slices = 0, lost = 0;  // of the pieces condemned
  survey->Condemned.assign(static_cast<size_t>(files), 0);
  for (int32_t n = 0; n < files; n++) {
    bool there = n < static_cast<int32_t>(setFiles.size()) && setFiles[n] != nullptr;
    bool damagedHeader = n == 0 && !authority.Header.empty() &&
                         DigestBlockDamaged(authority.Header.data()) && NeedsRewrite(survey->Files[0]);
    survey->Condemned[n] =
        there && (damagedHeader || (authority.Sound && ContainerCondemns(*survey, digests, authority, n)));
    pieces += n > 0 && there;
    if (n == 0 || !survey->Condemned[n]) continue;
    condemned++;
    for (int64_t i = 0; i < SliceCount(survey->Header.Files[n].Payload, survey->StripeSize); i++) {
      slices++;
      lost += SliceLostOf(*survey, n, i);
    }
  }
  survey->ContainerSuspect = condemned >= 2 && 2 * condemned > pieces && 2 * lost > slices;
}

void JudgeRowGroup(const RecoveryHeader& own, int32_t g, bool read, uint32_t digest,
                   std::vector<uint32_t>* slices, SetSurvey* survey) {
  int32_t r = own.Row, groups = survey->Header.GroupCount;
  int64_t stripes = survey->StripeStarts.back(), first = survey->StripeStarts[g];
  int64_t count = survey->StripeStarts[g + 1] - first;
  bool good = read && digest == own.ParityDigests[g];
  survey->RowGood[r * groups + g] = good;
  uint8_t* stripe = &survey->RowSliceGood[r * stripes + first];
  if (own.SliceSize == 0) {
    if (count > 0) *stripe = good;
    return;
  }
  slices->resize(static_cast<size_t>(count));
  JudgeSlices(read, *slices, &own.ParitySlices[first], good, stripe);
}

// Row r's parity, group by group (but those handled already), against the digests of its own
// header: each group whole, and each stripe of it.
static RecoveryResult CheckRow(const FileAccess& file, const RecoveryHeader& own,
                               const std::vector<int64_t>& offsets,
                               const std::vector<uint8_t>& handled, RecoveryProgress* progress,
                               SetSurvey* survey) {
  int32_t groups = survey->Header.GroupCount;
  std::vector<uint8_t> buffer = ReadBuffer(offsets[groups] - offsets[0]);
  std::vector<uint32_t> slices;
  for (int32_t g = 0; g < groups; g++) {
    if (handled[g]) continue;
    uint32_t digest;
    RecoveryOutcome outcome = DigestOfSlices(file, offsets[g], offsets[g + 1] - offsets[g],
                                             own.SliceSize, &buffer, progress, &slices, &digest);
    if (outcome == RecoveryInterrupted) return Result(outcome, -1, own.Row);
    JudgeRowGroup(own, g, outcome == RecoveryDone, digest, &slices, survey);
  }
  return Result(RecoveryDone);
}

bool SliceLostOf(const SetSurvey& survey, int32_t n, int64_t i) {
  return i < SliceCount(survey.Header.Files[n].Payload, survey.StripeSize) &&
         survey.SliceLost[FirstFileSlice(survey.Header, n, survey.StripeSize) + i];
}

// File n's lost slices: none for a file whose payload is good, those whose digest differs for a
// damaged one with slices, else all.
static void MarkLostSlices(int32_t n, const FileCheck& check, SetSurvey* survey) {
  const RecoveryHeader& header = survey->Header;
  int64_t first = FirstFileSlice(header, n, survey->StripeSize);
  int64_t count = SliceCount(header.Files[n].Payload, survey->StripeSize);
  if (!PayloadLost(check.State)) return;
  std::vector<uint8_t> good(static_cast<size_t>(count), 0);
  if (check.State == FileDamaged && header.SliceSize > 0)
    JudgeSlices(true, check.Slices, &header.FileSlices[FirstFileSlice(header, n)], false,
                good.data());
  for (int64_t i = 0; i < count; i++) survey->SliceLost[first + i] = !good[i];
}

// The stripes of the survey's set: their size, where each group's begin, room for the verdicts.
static void LayStripes(SetSurvey* survey, const std::vector<int64_t>& offsets) {
  const RecoveryHeader& header = survey->Header;
  int64_t size = header.SliceSize;
  survey->StripeSize = 1;
  for (size_t g = 1; size == 0 && g < offsets.size(); g++)
    if (offsets[g] - offsets[g - 1] > survey->StripeSize)
      survey->StripeSize = offsets[g] - offsets[g - 1];
  if (size > 0) survey->StripeSize = size;
  survey->StripeStarts = ParitySliceStarts(header, survey->StripeSize);
  int64_t fileSlices = FirstFileSlice(header, header.FileCount - 1, survey->StripeSize) +
                       SliceCount(header.Files.back().Payload, survey->StripeSize);
  survey->SliceLost.assign(static_cast<size_t>(fileSlices), 0);
  survey->RowSliceGood.assign(static_cast<size_t>(header.RowCount * survey->StripeStarts.back()),
                              0);
  survey->StripeRebuilt.assign(static_cast<size_t>(survey->StripeStarts.back()), 0);
}

// The verdict of group g from each stripe's lost files (lost) and good rows (good).
static GroupVerdict JudgeGroup(const SetSurvey& survey, int32_t g, const std::vector<int32_t>& lost,
                               const std::vector<int32_t>& good) {
  GroupVerdict verdict{GroupSize(survey.Header, g), 0, survey.Header.RowCount};
  bool first = true;
  for (int64_t i = survey.StripeStarts[g]; i < survey.StripeStarts[g + 1]; i++) {
    if (first || good[i] - lost[i] < verdict.GoodRows - verdict.LostFiles)
      verdict.LostFiles = lost[i], verdict.GoodRows = good[i];
    first = false;
  }
  return verdict;
}

// The verdict of each group and of the set.
static void Judge(SetSurvey* survey) {
  const RecoveryHeader& header = survey->Header;
  int32_t groups = header.GroupCount, rows = header.RowCount;
  int64_t stripes = survey->StripeStarts.back();
  std::vector<int32_t> lost(static_cast<size_t>(stripes), 0), good(lost);
  survey->FilesToRewrite = survey->LostFiles = survey->GoodRecoveryFiles = 0;
  survey->Repairable = true;
  for (int32_t n = 0; n < header.FileCount; n++) {
    survey->LostFiles += PayloadLost(survey->Files[n]);
    survey->FilesToRewrite += NeedsRewrite(survey->Files[n]);
    int64_t at = survey->StripeStarts[GroupOf(header, n)];
    for (int64_t i = 0; i < SliceCount(header.Files[n].Payload, survey->StripeSize); i++)
      lost[at + i] += SliceLostOf(*survey, n, i);
  }
  for (int32_t r = 0; r < rows; r++) {
    int32_t goodGroups = 0;
    for (int32_t g = 0; g < groups; g++) goodGroups += survey->RowGood[r * groups + g];
    survey->GoodRecoveryFiles += goodGroups == groups;
    for (int64_t i = 0; i < stripes; i++) good[i] += survey->RowSliceGood[r * stripes + i];
  }
  survey->Groups.clear();
  for (int32_t g = 0; g < groups; g++) {
    survey->Groups.push_back(JudgeGroup(*survey, g, lost, good));
    survey->Repairable &= survey->Groups.back().LostFiles <= survey->Groups.back().GoodRows;
  }
}

void LeaveOutRow(SetSurvey* survey, int32_t r) {
  int32_t groups = survey->Header.GroupCount;
  int64_t stripes = survey->StripeStarts.back();
  survey->RowSource[r] = -1;
  for (int32_t g = 0; g < groups; g++) survey->RowGood[r * groups + g] = 0;
  for (int64_t i = 0; i < stripes; i++) survey->RowSliceGood[r * stripes + i] = 0;
  survey->StripeRebuilt.assign(survey->StripeRebuilt.size(), 0);
  Judge(survey);
}

void TakeContainerAsGood(SetSurvey* survey) {
  survey->Files[0] = FileGood;
  for (int64_t i = 0; i < SliceCount(survey->Header.Files[0].Payload, survey->StripeSize); i++)
    survey->SliceLost[static_cast<size_t>(i)] = 0;
  Judge(survey);
}

RecoveryResult SurveySet(const std::vector<const FileAccess*>& setFiles,
                         const std::vector<const FileAccess*>& recoveryFiles,
                         RecoveryProgress* progress, SetSurvey* survey,
                         const std::vector<uint8_t>* knownGood, RebuildTargets* early,
                         WorkBeside* beside) {
  *survey = SetSurvey{};
  Authority authority = AuthorityOf(setFiles);
  std::vector<RecoveryHeader> headers;
  RecoveryResult result = AssignRows(recoveryFiles, authority, &headers, survey);
  if (result.Outcome != RecoveryDone) return result;
  const RecoveryHeader& header = survey->Header;
  std::vector<int64_t> offsets = ParityOffsets(header);
  survey->RowGood.assign(static_cast<size_t>(header.RowCount * header.GroupCount), 0);
  LayStripes(survey, offsets);
  std::vector<FileCheck> checks(static_cast<size_t>(header.FileCount));
  std::vector<uint8_t> handled(static_cast<size_t>(header.GroupCount), 0);
  std::vector<std::vector<int32_t>> survivors;
  if (early != nullptr) {
    result = SurveyGroupsDecoding(setFiles, recoveryFiles, headers, offsets, early, beside,
                                  progress, survey, &checks, &handled, &survivors);
    if (result.Outcome != RecoveryDone) return result;
  }
  for (int32_t r = 0; r < header.RowCount; r++) {
    int32_t source = survey->RowSource[r];
    if (source >= 0)
      result = CheckRow(*recoveryFiles[source], headers[source], offsets, handled, progress,
                        survey);
    if (result.Outcome != RecoveryDone) return result;
  }
  std::vector<uint32_t> digests(static_cast<size_t>(header.FileCount), 0);
  for (int32_t n = 0; n < header.FileCount; n++) {
    const FileAccess* file = n < static_cast<int32_t>(setFiles.size()) ? setFiles[n] : nullptr;
    // The caller's verdict stands only where the container's block is the authority.
    bool known = authority.Sound && knownGood != nullptr &&
                 n < static_cast<int32_t>(knownGood->size()) && (*knownGood)[n];
    FileCheck& check = checks[n];
    if (!handled[GroupOf(header, n)])
      check = CheckFile(header, n, file, header.StubDigest, progress, known);
    if (check.Interrupted) return Result(RecoveryInterrupted, n);
    survey->Files.push_back(check.State);
    digests[n] = check.Digest;
    MarkLostSlices(n, check, survey);
  }
  MarkRebuiltStripes(handled, survivors, survey);
  if (!RunsConfirmed(*survey, digests, authority)) return Result(RecoveryOtherSet);
  MarkCondemned(setFiles, digests, authority, survey);
  Judge(survey);
  return Result(RecoveryDone);
}
