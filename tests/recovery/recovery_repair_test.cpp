// Survey and repair over whole sets in memory: every combination of up to N bad files (set files
// and recovery files, the container among them, every kind of damage), one more than N, a
// recovery file of another set, an interrupted repair, and a set cut into groups.
#include <gtest/gtest.h>

#include <functional>

#include "integrity/crc32c.h"
#include "recovery/recovery_coding.h"
#include "tests/recovery/recovery_fixture.h"

namespace {

enum Damage { Lose, FlipPayload, CutLast, AddByte, FlipHeader, FlipStub, DamageKinds };

// Damages file (set file n, or a recovery file when n < 0) and returns the state a survey must
// find for a set file. Header and stub damage is the container's; a piece has no prefix.
FileState Apply(MemoryFile& file, int32_t n, Damage damage) {
  std::string& bytes = file.Bytes;
  bool recovery = n < 0;
  if (recovery && damage == AddByte) damage = FlipPayload;  // a longer recovery file still serves
  if (n > 0 && damage >= FlipHeader) damage = FlipPayload;
  size_t start = n == 0 ? PayloadOffset : 0;
  size_t end = bytes.size() - (recovery ? StubSize : 0);  // a recovery file's parity ends here
  switch (damage) {
    case Lose: file.Present = false; return FileMissing;
    case FlipPayload:
      bytes[recovery ? end - 1 : end - 1 - (end - start) / 3] ^= 0x20;
      return FileDamaged;
    case CutLast: bytes.resize(end - 1); return FileWrongSize;
    case AddByte: bytes.push_back('\0'); return FileWrongSize;
    case FlipHeader: bytes[recovery ? 30 : HeaderOffset + 3] ^= 1; return FilePrefixDamaged;
    default:
      bytes[recovery ? 400 : 100] ^= 0x80;
      return FilePrefixDamaged;  // a recovery file: its header copy
  }
}

int Bits(unsigned mask) { return __builtin_popcount(mask); }

// Damages the files of mask (bit i < set size: set file i; then the recovery files), kinds
// chosen by seed; returns the states a survey must find.
std::vector<FileState> DamageByMask(std::vector<MemoryFile>& set, std::vector<MemoryFile>& recovery,
                                    unsigned mask, int seed, bool payloadsOnly) {
  std::vector<FileState> expected(set.size(), FileGood);
  for (size_t i = 0; i < set.size() + recovery.size(); i++) {
    if (!(mask >> i & 1)) continue;
    Damage damage = static_cast<Damage>((seed + i) % (payloadsOnly ? FlipHeader : DamageKinds));
    if (i < set.size())
      expected[i] = Apply(set[i], static_cast<int32_t>(i), damage);
    else
      Apply(recovery[i - set.size()], -1, damage);
  }
  return expected;
}

// Damages every combination of up to N of the set's and recovery files, repairs and compares.
void RepairEveryCombination(int32_t files, int32_t rows) {
  std::vector<MemoryFile> original = MakeSet(files, 1000);
  std::vector<MemoryFile> recovery = Encode(original, rows);
  for (unsigned mask = 1; mask < 1u << (files + rows); mask++) {
    if (Bits(mask) > rows) continue;
    std::vector<MemoryFile> set = original, rowFiles = recovery;
    std::vector<FileState> expected =
        DamageByMask(set, rowFiles, mask, static_cast<int>(mask), false);
    RepairRun run = SurveyAndRepair(set, rowFiles);
    SCOPED_TRACE(std::to_string(files) + " files, N " + std::to_string(rows) +
                 ", bad files (mask) " + std::to_string(mask));
    // Every recovery file's header broken (the set itself is whole): nothing is known.
    if (mask >> files == (1u << rows) - 1 && run.Result.Outcome == RecoveryNoRecoveryFile) continue;
    ASSERT_EQ(run.Result.Outcome, RecoveryDone)
        << "file " << run.Result.SetFile << ", row " << run.Result.Row;
    ASSERT_EQ(run.Survey.Files, expected);
    EXPECT_EQ(run.Survey.GoodRecoveryFiles, rows - Bits(mask >> files));
    for (int32_t n = 0; n < files; n++) {
      EXPECT_EQ(set[n].Writes, 0) << "set file " << n << " was written";
      if (expected[n] == FileGood)
        EXPECT_EQ(run.Targets[n].Writes, 0) << "good file " << n << " rewritten";
      else
        EXPECT_TRUE(run.Targets[n].Bytes == original[n].Bytes) << "file " << n << " rebuilt wrong";
    }
  }
}

// Sets of one file (the container alone) and of six.
TEST(RecoveryRepair, EveryCombinationOfUpToNBadFilesIsRebuiltExactly) {
  for (int32_t rows = 1; rows <= 3; rows++) {
    RepairEveryCombination(1, rows);
    RepairEveryCombination(6, rows);
  }
}

TEST(RecoveryRepair, OneMoreBadFileThanNChangesNothing) {
  const int32_t files = 5;
  for (int32_t rows = 1; rows <= 3; rows++) {
    std::vector<MemoryFile> original = MakeSet(files, 700, 3);
    std::vector<MemoryFile> recovery = Encode(original, rows);
    for (unsigned mask = 1; mask < 1u << (files + rows); mask++) {
      if (Bits(mask) != rows + 1) continue;
      std::vector<MemoryFile> set = original, rowFiles = recovery;
      DamageByMask(set, rowFiles, mask, static_cast<int>(mask), true);
      RepairRun run = SurveyAndRepair(set, rowFiles);
      SCOPED_TRACE("N " + std::to_string(rows) + ", bad files (mask) " + std::to_string(mask));
      EXPECT_FALSE(run.Survey.Repairable);
      EXPECT_EQ(run.Survey.LostFiles + rows - run.Survey.GoodRecoveryFiles, rows + 1);
      ASSERT_EQ(run.Result.Outcome, RecoveryNotRepairable);
      for (const MemoryFile& target : run.Targets) ASSERT_EQ(target.Writes, 0);
    }
  }
}

TEST(RecoveryRepair, ARecoveryFileOfAnotherSetIsLeftOut) {
  std::vector<MemoryFile> set = MakeSet(4, 500), other = MakeSet(4, 500, 9);
  std::vector<MemoryFile> recovery = Encode(set, 2), foreign = Encode(other, 2);
  std::vector<MemoryFile> original = set;
  // The other set's row 0 comes first: the survey must still take this set's description.
  std::vector<MemoryFile> given = {foreign[0], recovery[1]};
  set[2].Present = false;
  RepairRun run = SurveyAndRepair(set, given);
  ASSERT_EQ(run.Result.Outcome, RecoveryDone);
  EXPECT_EQ(run.Survey.RowSource, (std::vector<int32_t>{-1, 1}));
  EXPECT_TRUE(run.Targets[2].Bytes == original[2].Bytes);
  // Alone, it describes nothing this set has: the container's digest block says so.
  given = {foreign[0]};
  run = SurveyAndRepair(set, given);
  EXPECT_EQ(run.Result.Outcome, RecoveryOtherSet);
}

// A recovery file's header as edit leaves it, sealed again; its parity kept (cut or padded with
// zeros to the parity length the header then gives).
void Forge(MemoryFile& file, const std::function<void(RecoveryHeader*)>& edit) {
  RecoveryHeader header;
  ASSERT_TRUE(ReadRecoveryHeader(MemoryAccess(&file), &header));
  edit(&header);
  ASSERT_TRUE(CompleteRecoveryGeometry(&header));
  std::vector<uint8_t> bytes = RecoveryHeaderBytes(header);
  file.Bytes.resize(static_cast<size_t>(header.HeaderLength + header.ParityLength), '\0');
  file.Bytes.replace(0, bytes.size(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// As short as a set can be: a byte a file.
void Empty(RecoveryHeader* header) {
  for (RecoveryFileEntry& file : header->Files) file = {1, 0};
  header->ParityDigests.assign(header->ParityDigests.size(), 0);
}

int TargetWrites(const RepairRun& run) {
  int writes = 0;
  for (const MemoryFile& target : run.Targets) writes += target.Writes;
  return writes;
}

// Where the container's digest block checks, recovery headers that carry its header but give
// other sizes or digests are of another set; with the container lost, a header that disagrees
// with the block of the header it carries is left out.
TEST(RecoveryAuthority, HeadersThatDisagreeWithTheDigestBlockAreOfAnotherSet) {
  std::vector<MemoryFile> set = MakeSet(4, 500), original = set;
  std::vector<MemoryFile> recovery = Encode(set, 2), forged = recovery;
  for (MemoryFile& file : forged) Forge(file, Empty);
  RepairRun run = SurveyAndRepair(set, forged);
  EXPECT_EQ(run.Result.Outcome, RecoveryOtherSet);
  EXPECT_EQ(TargetWrites(run), 0);
  forged = recovery;
  for (MemoryFile& file : forged)
    Forge(file, [](RecoveryHeader* header) { header->Files[3].Digest ^= 0x100; });
  EXPECT_EQ(SurveyAndRepair(set, forged).Result.Outcome, RecoveryOtherSet);
  forged = recovery;
  Forge(forged[0], Empty);
  set[1].Present = false;
  run = SurveyAndRepair(set, forged);
  ASSERT_EQ(run.Result.Outcome, RecoveryDone);
  EXPECT_EQ(run.Survey.RowSource, (std::vector<int32_t>{-1, 1}));
  EXPECT_TRUE(run.Targets[1].Bytes == original[1].Bytes);
  set = original;
  set[0].Present = false;
  forged = {recovery[0]};
  Forge(forged[0], Empty);
  EXPECT_EQ(SurveyAndRepair(set, forged).Result.Outcome, RecoveryNoRecoveryFile);
}

// Past 395 pieces a digest covers a run: a header is held to each run's digest, and a run that
// is whole on disk is never found bad, even by digests made to add up to the run's.
TEST(RecoveryAuthority, RunsOfPiecesAreHeldToTheirSharedDigest) {
  std::vector<MemoryFile> set = MakeSet(400, 64), original = set;
  std::vector<MemoryFile> recovery = Encode(set, 2), forged = recovery;
  set[5].Present = false;
  set[8].Bytes[3] ^= 1;
  RepairRun run = SurveyAndRepair(set, recovery);
  ASSERT_EQ(run.Result.Outcome, RecoveryDone);
  EXPECT_TRUE(run.Targets[5].Bytes == original[5].Bytes &&
              run.Targets[8].Bytes == original[8].Bytes);
  set = original;
  for (MemoryFile& file : forged)
    Forge(file, [](RecoveryHeader* header) { header->Files[3].Digest ^= 1; });
  EXPECT_EQ(SurveyAndRepair(set, forged).Result.Outcome, RecoveryOtherSet);
  // Pieces 2 and 3 share a digest: both of theirs changed so that the run's still adds up.
  forged = recovery;
  for (MemoryFile& file : forged) {
    Forge(file, [](RecoveryHeader* header) {
      header->Files[2].Digest ^= 0x5A;
      header->Files[3].Digest ^= Crc32cJoin(0x5A, 0, header->Files[3].Payload);
    });
  }
  run = SurveyAndRepair(set, forged);
  EXPECT_EQ(run.Result.Outcome, RecoveryOtherSet);
  EXPECT_EQ(TargetWrites(run), 0);
}

// Stops the work at the second step.
struct StopAtSecondStep : RecoveryProgress {
  int Steps = 0;
  bool Step(int64_t) override { return ++Steps < 2; }
};

TEST(RecoveryRepair, AnInterruptedRepairStopsAndWritesNoFileOfTheSet) {
  std::vector<MemoryFile> set = MakeSet(3, 3 << 20);  // several chunks a file
  std::vector<MemoryFile> recovery = Encode(set, 1);
  set[1].Present = false;
  StopAtSecondStep progress;
  RepairRun run = SurveyAndRepair(set, recovery, &progress);
  EXPECT_EQ(run.Result.Outcome, RecoveryInterrupted);
  EXPECT_EQ(progress.Steps, 2);
  for (const MemoryFile& file : set) EXPECT_EQ(file.Writes, 0);
  for (const MemoryFile& file : recovery) EXPECT_EQ(file.Writes, 0);
}

// Stores every write with its first byte changed, as a failing disk might.
struct CorruptingAccess : MemoryAccess {
  using MemoryAccess::MemoryAccess;
  bool WriteAt(const void* bytes, size_t count, int64_t offset) const override {
    bool written = MemoryAccess::WriteAt(bytes, count, offset);
    file_->Bytes[offset] ^= 1;
    return written;
  }
};

TEST(RecoveryRepair, ARebuiltFileThatReadsBackWrongFailsVerification) {
  std::vector<MemoryFile> set = MakeSet(3, 900);
  std::vector<MemoryFile> recovery = Encode(set, 1);
  set[1].Present = false;
  Accesses in(set), rows(recovery);
  SetSurvey survey;
  ASSERT_EQ(SurveySet(in.Files, rows.Files, nullptr, &survey).Outcome, RecoveryDone);
  MemoryFile target;
  CorruptingAccess corrupting(&target);
  RecoveryResult result =
      RepairSet(survey, in.Files, rows.Files, {nullptr, &corrupting, nullptr}, nullptr, nullptr);
  EXPECT_EQ(result.Outcome, RecoveryVerifyFailed);
  EXPECT_EQ(result.SetFile, 1);
}

// 300 files with N = 2: two groups of 150 (file i in group i mod 2). Two bad files in each group
// are rebuilt; a third in one group is too many.
TEST(RecoveryGroups, ASetOfMoreThan255FilesIsCutIntoGroups) {
  std::vector<MemoryFile> original = MakeSet(300, 64);
  std::vector<MemoryFile> recovery = Encode(original, 2);
  std::vector<MemoryFile> set = original;
  for (int32_t n : {0, 1, 2, 299}) Apply(set[n], n, FlipPayload);
  RepairRun run = SurveyAndRepair(set, recovery);
  ASSERT_EQ(run.Survey.Header.GroupCount, 2);
  EXPECT_EQ(run.Survey.Groups[0].Files, 150);
  EXPECT_EQ(run.Survey.Groups[1].LostFiles, 2);
  ASSERT_EQ(run.Result.Outcome, RecoveryDone);
  for (int32_t n : {0, 1, 2, 299}) EXPECT_TRUE(run.Targets[n].Bytes == original[n].Bytes) << n;
  Apply(set[150], 150, FlipPayload);
  run = SurveyAndRepair(set, recovery);
  EXPECT_EQ(run.Result.Outcome, RecoveryNotRepairable);
  EXPECT_EQ(run.Survey.Groups[0].LostFiles, 3);
}

}  // namespace

// The coding buffers of a group take one budget whatever its size: 10 files of a set take no less
// than 255, and no more (memory stays flat as the set grows).
TEST(RecoveryGroups, TheCodingBuffersDoNotGrowWithTheGroup) {
  const size_t flat = 9 << 20;
  for (int32_t count : {3, 12, 102, 257}) {
    StripeBuffers buffers;
    MakeStripeBuffers(count, int64_t{1} << 32, &buffers);
    EXPECT_LE(buffers.StorageSize, flat) << count << " buffers";
    EXPECT_GE(buffers.Chunk, 32 << 10) << count << " buffers";
  }
}
