// Damage found slice by slice: scattered damage across every file mended by one recovery file,
// stripes counted apart (files and recovery rows alike), the older format's whole-file verdicts,
// and a survey that takes the caller's verdicts instead of reading the files again.
#include <gtest/gtest.h>

#include "tests/recovery/recovery_fixture.h"

namespace {

const int64_t Slice = 1 << 20;

// A set of ten files, pieces of 10 MiB + 5 (11 slices; the container's 6, the last's 4).
std::vector<MemoryFile> TenFiles() { return MakeSet(10, 10 * Slice + 5); }

// Flips one byte in slice i of set file n's payload.
void Flip(std::vector<MemoryFile>& set, int32_t n, int64_t i) {
  set[n].Bytes[static_cast<size_t>(PayloadBase(n) + i * Slice + 4321)] ^= 0x10;
}

// The slices of file n the survey found lost.
std::vector<int64_t> LostSlices(const SetSurvey& survey, int32_t n) {
  std::vector<int64_t> lost;
  for (int64_t i = 0; i < SliceCount(survey.Header.Files[n].Payload, survey.StripeSize); i++)
    if (SliceLostOf(survey, n, i)) lost.push_back(i);
  return lost;
}

// One byte flipped in each of the ten files, each in a stripe of its own: one recovery file
// mends them all; the older format, which loses each damaged file whole, cannot.
TEST(RecoverySlices, OneRecoveryFileMendsOneBadSliceInEveryStripe) {
  std::vector<MemoryFile> original = TenFiles();
  std::vector<MemoryFile> set = original;
  Flip(set, 0, 0);
  Flip(set, 9, 1);
  for (int32_t n = 1; n <= 8; n++) Flip(set, n, n + 1);
  std::vector<MemoryFile> recovery = Encode(original, 1, RecoveryFormatVersion, Slice);
  RepairRun run = SurveyAndRepair(set, recovery);
  EXPECT_EQ(run.Survey.LostFiles, 10);
  EXPECT_TRUE(run.Survey.Repairable);
  EXPECT_EQ(LostSlices(run.Survey, 0), std::vector<int64_t>{0});
  EXPECT_EQ(LostSlices(run.Survey, 9), std::vector<int64_t>{1});
  EXPECT_EQ(LostSlices(run.Survey, 4), std::vector<int64_t>{5});
  ExpectRebuilt(run, original);
  for (const MemoryFile& file : set) EXPECT_EQ(file.Writes, 0);

  std::vector<MemoryFile> older = Encode(original, 1, RecoveryFormatWithoutSlices);
  run = SurveyAndRepair(set, older);
  EXPECT_FALSE(run.Survey.Repairable);
  EXPECT_EQ(run.Survey.Groups[0].LostFiles, 10);
  EXPECT_EQ(run.Survey.Groups[0].GoodRows, 1);
  EXPECT_EQ(run.Result.Outcome, RecoveryNotRepairable);
  for (const MemoryFile& target : run.Targets) EXPECT_EQ(target.Writes, 0);
}

// A stripe counts its own lost slices and good parity slices: two damaged files in one stripe
// need two rows; a recovery row damaged in one stripe still serves the others, not that one.
TEST(RecoverySlices, EachStripeCountsItsOwnLostFilesAndGoodRows) {
  std::vector<MemoryFile> original = MakeSet(4, 3 * Slice + 1);
  std::vector<MemoryFile> recovery = Encode(original, 2, RecoveryFormatVersion, Slice);
  std::vector<MemoryFile> set = original;
  Flip(set, 1, 2);
  Flip(set, 2, 2);
  std::vector<MemoryFile> one = {recovery[0]};
  RepairRun run = SurveyAndRepair(set, one);
  EXPECT_FALSE(run.Survey.Repairable);
  EXPECT_EQ(run.Survey.Groups[0].LostFiles, 2);
  EXPECT_EQ(run.Survey.Groups[0].GoodRows, 1);
  for (const MemoryFile& target : run.Targets) EXPECT_EQ(target.Writes, 0);
  ExpectRebuilt(SurveyAndRepair(set, recovery), original);

  // Row 0's parity slice 1 damaged (the header is 2112 + 12 * 4 + 4 + 4 T bytes long).
  RecoveryHeader header;
  ASSERT_TRUE(ReadRecoveryHeader(MemoryAccess(&recovery[0]), &header));
  std::vector<MemoryFile> damaged = {recovery[0]};
  damaged[0].Bytes[static_cast<size_t>(header.HeaderLength + Slice + 9)] ^= 1;
  set = original;
  Flip(set, 3, 0);
  run = SurveyAndRepair(set, damaged);
  EXPECT_EQ(run.Survey.GoodRecoveryFiles, 0);
  EXPECT_TRUE(run.Survey.Repairable);
  ExpectRebuilt(run, original);
  set = original;
  Flip(set, 2, 1);
  run = SurveyAndRepair(set, damaged);
  EXPECT_FALSE(run.Survey.Repairable);
  EXPECT_EQ(run.Result.Outcome, RecoveryNotRepairable);
}

// A header whose slice digests all agree with the bytes while its whole digest differs is not
// believed for them: forged or of another set, the stream counts as bad in every stripe.
TEST(RecoverySlices, SlicesThatAgreeWhereTheWholeDiffersAreNotBelieved) {
  std::vector<MemoryFile> original = MakeSet(4, 3 * Slice + 1);
  std::vector<MemoryFile> recovery = Encode(original, 1, RecoveryFormatVersion, Slice);
  RecoveryHeader header;
  ASSERT_TRUE(ReadRecoveryHeader(MemoryAccess(&recovery[0]), &header));
  header.ParityDigests[0] ^= 1;
  std::vector<uint8_t> bytes = RecoveryHeaderBytes(header);
  recovery[0].Bytes.replace(0, bytes.size(), reinterpret_cast<const char*>(bytes.data()),
                            bytes.size());
  std::vector<MemoryFile> set = original;
  Flip(set, 1, 0);
  RepairRun run = SurveyAndRepair(set, recovery);
  EXPECT_FALSE(run.Survey.Repairable);
  EXPECT_EQ(run.Survey.Groups[0].GoodRows, 0);
  for (const MemoryFile& target : run.Targets) EXPECT_EQ(target.Writes, 0);
}

// A missing file and a damaged one in another stripe of the same group, with one recovery file:
// the missing file's every slice is lost, so every stripe it has counts it; the damaged file's
// other slices are good and are copied, not decoded.
TEST(RecoverySlices, AMissingFileIsLostInEveryStripe) {
  std::vector<MemoryFile> original = MakeSet(4, 3 * Slice + 1);
  std::vector<MemoryFile> recovery = Encode(original, 1, RecoveryFormatVersion, Slice);
  std::vector<MemoryFile> set = original;
  set[2].Present = false;
  Flip(set, 1, 0);
  RepairRun run = SurveyAndRepair(set, recovery);
  EXPECT_EQ(LostSlices(run.Survey, 2), (std::vector<int64_t>{0, 1, 2, 3}));
  EXPECT_FALSE(run.Survey.Repairable);
  recovery = Encode(original, 2, RecoveryFormatVersion, Slice);
  ExpectRebuilt(SurveyAndRepair(set, recovery), original);
}

// The caller's verdicts: a file it found whole is not read again where the container's digest
// block is the authority; without that authority (the container lost) every file is read.
class CountingAccess : public MemoryAccess {
 public:
  using MemoryAccess::MemoryAccess;
  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    if (offset >= PayloadOffset || file_ != first_) payloadBytes_ += static_cast<int64_t>(count);
    return MemoryAccess::ReadAt(bytes, count, offset);
  }
  void SetContainer(const MemoryFile* first) { first_ = first; }
  int64_t PayloadBytes() const { return payloadBytes_; }

 private:
  const MemoryFile* first_ = nullptr;
  mutable int64_t payloadBytes_ = 0;
};

TEST(RecoverySlices, ASurveyTakesTheCallersVerdictsWhereTheContainerIsTheAuthority) {
  std::vector<MemoryFile> set = MakeSet(5, 3000);
  std::vector<MemoryFile> recovery = Encode(set, 1, RecoveryFormatVersion, Slice);
  set[3].Bytes[100] ^= 1;
  std::vector<CountingAccess> counting;
  for (MemoryFile& file : set) file.Views = false;  // read, to be counted
  for (MemoryFile& file : set) counting.emplace_back(&file);
  counting[0].SetContainer(&set[0]);
  std::vector<const FileAccess*> files;
  for (CountingAccess& access : counting) files.push_back(&access);
  Accesses rows(recovery);
  std::vector<uint8_t> known = {1, 1, 1, 0, 1};
  SetSurvey survey;
  ASSERT_EQ(SurveySet(files, rows.Files, nullptr, &survey, &known).Outcome, RecoveryDone);
  EXPECT_EQ(survey.Files,
            (std::vector<FileState>{FileGood, FileGood, FileGood, FileDamaged, FileGood}));
  for (int32_t n = 0; n < 5; n++)
    EXPECT_EQ(counting[n].PayloadBytes(), n == 3 ? 3000 : 0) << "file " << n;
  // The container's stub still counts: one flipped byte there is found.
  set[0].Bytes[10] ^= 1;
  ASSERT_EQ(SurveySet(files, rows.Files, nullptr, &survey, &known).Outcome, RecoveryDone);
  EXPECT_EQ(survey.Files[0], FilePrefixDamaged);
  // No container: nothing outranks the recovery header, and every file there is is read.
  files[0] = nullptr;
  ASSERT_EQ(SurveySet(files, rows.Files, nullptr, &survey, &known).Outcome, RecoveryDone);
  for (int32_t n = 1; n < 5; n++)
    EXPECT_GT(counting[n].PayloadBytes(), n == 3 ? 3000 : 0) << "file " << n;
}

}  // namespace
