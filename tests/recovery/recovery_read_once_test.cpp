// A repair that reads the set once: files lost before a byte is read are rebuilt while the set
// is surveyed, and the repair then leaves the stripes so rebuilt as they are. The survey's
// verdicts must be the ones a plain survey gives, damage found on the way must still be mended,
// and whatever keeps the pass from decoding leaves the work to the plain way.
#include <gtest/gtest.h>

#include "tests/recovery/recovery_fixture.h"

namespace {

const int64_t Slice = 1 << 20;

// Targets a survey may ask for; asked counts the asks, refuse makes it give none.
struct MemoryTargets : RebuildTargets {
  explicit MemoryTargets(std::vector<MemoryFile>* files) : Access(*files) {}
  const FileAccess* TargetOf(int32_t n) override {
    Asked++;
    return Refuse ? nullptr : Access.Files[n];
  }
  Accesses Access;
  int Asked = 0;
  bool Refuse = false;
};

// Adds up what the work tells; stops it after stopAfter steps (0: never).
struct Counter : RecoveryProgress {
  bool Step(int64_t bytes) override {
    Bytes += bytes;
    return StopAfter == 0 || ++Steps < StopAfter;
  }
  int64_t Bytes = 0;
  int Steps = 0, StopAfter = 0;
};

// A survey with early targets, then the repair into the same targets.
struct ReadOnceRun : RepairRun {
  int64_t SetBytesRepairRead = 0;  // read from the set's files by the repair itself
  int64_t RepairTold = 0;          // what the repair told progress
  int64_t SurveyTold = 0;          // and the survey
  int Asked = 0;
};

int64_t BytesRead(const std::vector<MemoryFile>& files) {
  int64_t total = 0;
  for (const MemoryFile& file : files) total += file.BytesRead;
  return total;
}

ReadOnceRun SurveyEarlyAndRepair(std::vector<MemoryFile>& set, std::vector<MemoryFile>& recovery,
                                 bool refuse = false, WorkBeside* beside = nullptr) {
  ReadOnceRun run;
  run.Targets.resize(set.size());
  MemoryTargets early(&run.Targets);
  early.Refuse = refuse;
  Accesses in(set), rows(recovery);
  Counter surveyed;
  run.Result = SurveySet(in.Files, rows.Files, &surveyed, &run.Survey, nullptr, &early, beside);
  run.SurveyTold = surveyed.Bytes;
  run.Asked = early.Asked;
  if (run.Result.Outcome != RecoveryDone || !run.Survey.Repairable) return run;
  std::string stub = TestStub();
  int64_t before = BytesRead(set);
  Counter told;
  run.Result = RepairSet(run.Survey, in.Files, rows.Files, early.Access.Files,
                         reinterpret_cast<const uint8_t*>(stub.data()), &told);
  run.SetBytesRepairRead = BytesRead(set) - before;
  run.RepairTold = told.Bytes;
  return run;
}

// The plain survey of the same files (told: what it told progress).
SetSurvey PlainSurvey(std::vector<MemoryFile>& set, std::vector<MemoryFile>& recovery,
                      int64_t* told = nullptr) {
  SetSurvey survey;
  Accesses in(set), rows(recovery);
  Counter counter;
  EXPECT_EQ(SurveySet(in.Files, rows.Files, &counter, &survey).Outcome, RecoveryDone);
  if (told != nullptr) *told = counter.Bytes;
  return survey;
}

void ExpectSameVerdicts(const SetSurvey& early, const SetSurvey& plain) {
  EXPECT_EQ(early.Files, plain.Files);
  EXPECT_EQ(early.SliceLost, plain.SliceLost);
  EXPECT_EQ(early.RowGood, plain.RowGood);
  EXPECT_EQ(early.RowSliceGood, plain.RowSliceGood);
  EXPECT_EQ(early.Repairable, plain.Repairable);
  EXPECT_EQ(early.LostFiles, plain.LostFiles);
  EXPECT_EQ(early.GoodRecoveryFiles, plain.GoodRecoveryFiles);
  ASSERT_EQ(early.Groups.size(), plain.Groups.size());
  for (size_t g = 0; g < early.Groups.size(); g++) {
    EXPECT_EQ(early.Groups[g].LostFiles, plain.Groups[g].LostFiles) << "group " << g;
    EXPECT_EQ(early.Groups[g].GoodRows, plain.Groups[g].GoodRows) << "group " << g;
  }
}

// The stripes the survey marked rebuilt.
int64_t Rebuilt(const SetSurvey& survey) {
  int64_t count = 0;
  for (uint8_t stripe : survey.StripeRebuilt) count += stripe;
  return count;
}

void Flip(std::vector<MemoryFile>& file, size_t n, int64_t at) { file[n].Bytes[at] ^= 0x20; }

}  // namespace

// Missing and cut files, in sets of one and of two groups and in the older format: the survey
// decodes them as it reads, its verdicts are the plain survey's, and the repair reads none of
// the set's survivors again (only its targets, read back). Alike whether the files show their
// bytes in place or are read, and whether a thread is lent (each half of a group's length then
// read and decoded by one lane, the slices' digests joined from both) or refused.
TEST(RecoveryReadOnce, LostFilesAreRebuiltWhileTheSetIsSurveyed) {
  struct Case {
    const char* What;
    int32_t Files, Rows, Version;
    int64_t Piece;
    std::vector<int32_t> Missing, Cut;
  };
  const Case cases[] = {
      {"one missing", 10, 2, RecoveryFormatVersion, 3 * Slice + 5, {4}, {}},
      {"the container and a cut piece", 6, 2, RecoveryFormatVersion, 2 * Slice + 9, {0}, {5}},
      {"older format", 6, 2, RecoveryFormatWithoutSlices, Slice + 3, {2}, {3}},
      {"two groups", 260, 2, RecoveryFormatVersion, 3000, {7, 200}, {8}},
  };
  for (const Case& c : cases)
  for (std::string how : {"viewed", "read", "a thread lent", "a thread refused"}) {
    SCOPED_TRACE(c.What + (", " + how));
    bool views = how != "read";
    AtOnce lent;
    lent.Refuse = how == "a thread refused";
    std::vector<MemoryFile> original = MakeSet(c.Files, c.Piece);
    std::vector<MemoryFile> recovery = Encode(original, c.Rows, c.Version);
    for (MemoryFile& file : recovery) file.Views = views;
    std::vector<MemoryFile> set = original;
    for (MemoryFile& file : set) file.Views = views;
    for (int32_t n : c.Missing) set[n].Present = false;
    for (int32_t n : c.Cut) set[n].Bytes.resize(set[n].Bytes.size() - 1000);
    int64_t plainTold;
    SetSurvey plain = PlainSurvey(set, recovery, &plainTold);
    for (MemoryFile& file : set) file.BytesRead = 0;
    ReadOnceRun run = SurveyEarlyAndRepair(set, recovery, false, how[0] == 'a' ? &lent : nullptr);
    ExpectSameVerdicts(run.Survey, plain);
    EXPECT_EQ(run.SurveyTold, plainTold) << "the survey's progress";
    EXPECT_EQ(run.Asked, static_cast<int>(c.Missing.size() + c.Cut.size()));
    EXPECT_GT(Rebuilt(run.Survey), 0);
    ExpectRebuilt(run, original);
    EXPECT_EQ(run.SetBytesRepairRead, 0);
    int64_t rebuilt = 0;
    for (int32_t n = 0; n < c.Files; n++)
      if (NeedsRewrite(run.Survey.Files[n])) rebuilt += run.Survey.Header.Files[n].Payload;
    EXPECT_EQ(RepairReadBytes(run.Survey), rebuilt);
    EXPECT_EQ(run.RepairTold, rebuilt);
    // Every view given back: a held one keeps its pages in memory, file after file.
    for (const std::vector<MemoryFile>* files : {&set, &recovery, &run.Targets})
      for (const MemoryFile& file : *files) EXPECT_FALSE(file.Viewed);
  }
}

// Damage the survey finds only by reading (a flipped byte in a survivor, in the parity of the
// row the pass decodes with, or in the survivor's slice of the stripe decoded): those stripes are
// not taken as rebuilt, and the repair decodes them with what it knows; the rest it leaves.
TEST(RecoveryReadOnce, DamageFoundOnTheWayIsLeftToTheRepair) {
  std::vector<MemoryFile> original = MakeSet(8, 4 * Slice + 11);
  std::vector<MemoryFile> recovery = Encode(original, 2, RecoveryFormatVersion, Slice);
  std::vector<MemoryFile> set = original;
  set[3].Present = false;
  Flip(set, 5, PayloadBase(5) + Slice + 17);  // stripe 1
  std::vector<MemoryFile> rows = recovery;
  SetSurvey header = PlainSurvey(set, rows);
  int64_t at = ParityOffsets(header.Header)[0];
  Flip(rows, 0, at + 2 * Slice + 5);  // the first row's parity, stripe 2
  SetSurvey plain = PlainSurvey(set, rows);
  ReadOnceRun run = SurveyEarlyAndRepair(set, rows);
  ExpectSameVerdicts(run.Survey, plain);
  ASSERT_TRUE(run.Survey.Repairable);
  EXPECT_EQ(run.Survey.StripeRebuilt, (std::vector<uint8_t>{1, 0, 0, 1, 1}));
  ExpectRebuilt(run, original);
  EXPECT_EQ(run.RepairTold, RepairReadBytes(run.Survey));

  // Two groups of three stripes each (the smallest slices): a file of group 1 lost and the first
  // row's parity of group 1's second stripe damaged, group 0 whole. Each stripe of group 1 is
  // judged by its own verdicts, not by group 0's stripe of the same place.
  const int64_t small = 1 << MinSliceShift;
  original = MakeSet(254, 2 * small + 11);
  recovery = Encode(original, 2, RecoveryFormatVersion, static_cast<int32_t>(small));
  set = original;
  set[1].Present = false;
  rows = recovery;
  header = PlainSurvey(set, rows);
  ASSERT_EQ(header.Header.GroupCount, 2);
  Flip(rows, 0, ParityOffsets(header.Header)[1] + small + 5);
  run = SurveyEarlyAndRepair(set, rows);
  ExpectSameVerdicts(run.Survey, PlainSurvey(set, rows));
  ASSERT_TRUE(run.Survey.Repairable);
  EXPECT_EQ(run.Survey.StripeRebuilt, (std::vector<uint8_t>{0, 0, 0, 1, 0, 1}));
  ExpectRebuilt(run, original);
}

// Nothing decoded on the way, and the plain survey's verdicts: a group with more files lost
// than recovery files (no target is even asked for), a target refused, a survivor that cannot be
// read to its end. A stop on the way stops the survey.
TEST(RecoveryReadOnce, WhatKeepsThePassFromDecodingLeavesThePlainWay) {
  std::vector<MemoryFile> original = MakeSet(6, 2 * Slice + 1);
  std::vector<MemoryFile> recovery = Encode(original, 1);
  std::vector<MemoryFile> set = original;
  set[1].Present = false;
  set[2].Present = false;
  ReadOnceRun run = SurveyEarlyAndRepair(set, recovery);
  EXPECT_EQ(run.Asked, 0);
  ExpectSameVerdicts(run.Survey, PlainSurvey(set, recovery));
  EXPECT_FALSE(run.Survey.Repairable);
  // One group could be rebuilt, the other cannot: the set cannot, so no target is asked for.
  std::vector<MemoryFile> grouped = MakeSet(300, 3000);
  std::vector<MemoryFile> groupedRows = Encode(grouped, 1);
  grouped[2].Present = grouped[4].Present = grouped[5].Present = false;  // groups 0, 0 and 1
  run = SurveyEarlyAndRepair(grouped, groupedRows);
  ASSERT_EQ(run.Survey.Header.GroupCount, 2);
  EXPECT_FALSE(run.Survey.Repairable);
  EXPECT_EQ(run.Asked, 0);

  set[2].Present = true;
  run = SurveyEarlyAndRepair(set, recovery, true);
  EXPECT_EQ(run.Asked, 1);
  EXPECT_EQ(Rebuilt(run.Survey), 0);
  ExpectRebuilt(run, original);

  // A survivor cut short under the survey (its size as the header says, its read failing).
  struct ShortRead : MemoryAccess {
    using MemoryAccess::MemoryAccess;
    bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
      return offset + static_cast<int64_t>(count) <= static_cast<int64_t>(file_->Bytes.size() / 2) &&
             MemoryAccess::ReadAt(bytes, count, offset);
    }
  };
  std::vector<MemoryFile> targets(set.size());
  MemoryTargets early(&targets);
  Accesses in(set), rows(recovery);
  set[4].Views = false;  // read, to fail
  ShortRead failing(&set[4]);
  in.Files[4] = &failing;
  SetSurvey survey, plain;
  ASSERT_EQ(SurveySet(in.Files, rows.Files, nullptr, &plain).Outcome, RecoveryDone);
  // Alike with a thread lent: the failing half is the second lane's, the stop the first's.
  AtOnce lent;
  for (WorkBeside* beside : {static_cast<WorkBeside*>(nullptr), static_cast<WorkBeside*>(&lent)}) {
    in.Files[4] = &failing;
    ASSERT_EQ(SurveySet(in.Files, rows.Files, nullptr, &survey, nullptr, &early, beside).Outcome,
              RecoveryDone);
    EXPECT_EQ(survey.Files[4], FileUnreadable);
    EXPECT_EQ(Rebuilt(survey), 0);
    ExpectSameVerdicts(survey, plain);

    Counter stop;
    stop.StopAfter = 2;
    in.Files[4] = &in.Storage[4];
    EXPECT_EQ(SurveySet(in.Files, rows.Files, &stop, &survey, nullptr, &early, beside).Outcome,
              RecoveryInterrupted);
  }
}

// What the repair tells progress is what it said it would, in the plain way too: good slices
// copied, survivors of each stripe decoded, targets read back.
TEST(RecoveryReadOnce, TheRepairTellsTheBytesItSaidItWouldRead) {
  std::vector<MemoryFile> original = MakeSet(7, 3 * Slice + 7);
  std::vector<MemoryFile> recovery = Encode(original, 2);
  std::vector<MemoryFile> set = original;
  set[6].Present = false;
  Flip(set, 2, PayloadBase(2) + 2 * Slice);
  Flip(set, 0, 100);  // the container's stub: its payload is copied whole
  Counter told;
  RepairRun run = SurveyAndRepair(set, recovery, &told);
  ASSERT_EQ(run.Result.Outcome, RecoveryDone);
  EXPECT_EQ(told.Bytes, RepairReadBytes(run.Survey));
}
