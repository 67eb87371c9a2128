// A group read side by side while a repair surveys it, its lost files rebuilt on the way: the
// survivors are then read once, not once to judge them and again to decode from them.
//
// Lost here are the files known lost before a byte is read: missing, or of the wrong size. Every
// other file of the group and the first rows present are the survivors. Each chunk of every file
// and of every present row is read once: its digests are taken as the plain survey takes them,
// and the lost files' chunks are decoded from it at once. Only afterwards do the digests tell
// which stripes had good survivors throughout; those are marked rebuilt, and the others (damage
// found on the way, a bad parity slice) are left to RepairSet, which decodes them again from
// survivors it chooses knowing the verdicts.
#include "recovery/recovery_chunks.h"
#include "recovery/recovery_coding.h"
#include "recovery/recovery_survey.h"

namespace {

// One group's pass. Positions 0..K-1 are the group's files; survivor positions from K on are
// rows (K + r).
struct GroupPass {
  int32_t Group = 0;
  int32_t K = 0;
  int64_t Length = 0;                     // the group's stripe: its longest payload
  std::vector<const FileAccess*> Files;   // per position; null for a lost file
  std::vector<uint8_t> PrefixGood;        // per position: the container's stub and header match
  std::vector<int32_t> Rows;              // the rows present, in order
  std::vector<int32_t> Survivors, Lost;   // positions
  std::vector<const FileAccess*> Targets; // per lost file
  std::vector<uint8_t> Tables;
  std::vector<std::vector<uint32_t>> Slices;  // per position, then per present row (K + i)
};

// Everything a pass reads from.
struct PassSources {
  const std::vector<const FileAccess*>& SetFiles;
  const std::vector<const FileAccess*>& RecoveryFiles;
  const std::vector<RecoveryHeader>& Headers;
  const SetSurvey& Survey;
  const std::vector<int64_t>& Offsets;  // ParityOffsets of the survey's header
};

}  // namespace

static const FileAccess* SetFile(const PassSources& sources, int32_t n) {
  return n < static_cast<int32_t>(sources.SetFiles.size()) ? sources.SetFiles[n] : nullptr;
}

static int32_t Member(const PassSources& sources, const GroupPass& pass, int32_t j) {
  return GroupMember(sources.Survey.Header, pass.Group, j);
}

// File n is lost before a byte of it is read: missing, or of the wrong size.
static bool LostUnread(const PassSources& sources, int32_t n) {
  const FileAccess* file = SetFile(sources, n);
  return file == nullptr || !HasItsSize(sources.Survey.Header, n, *file);
}

// Every group has at least as many recovery files as files lost unread. When one has not, the
// set cannot be repaired, whatever reading finds: nothing is rebuilt on the way.
static bool MayBeRepairable(const PassSources& sources) {
  const RecoveryHeader& header = sources.Survey.Header;
  int32_t rows = 0;
  for (int32_t source : sources.Survey.RowSource) rows += source >= 0;
  std::vector<int32_t> lost(static_cast<size_t>(header.GroupCount), 0);
  for (int32_t n = 0; n < header.FileCount; n++)
    if (LostUnread(sources, n) && ++lost[GroupOf(header, n)] > rows) return false;
  return true;
}

// Which files of group g are lost before reading, which serve, and the tables that rebuild the
// one from the other; false when there is nothing to rebuild or it cannot be done here.
static bool PlanPass(const PassSources& sources, int32_t g, RebuildTargets* early,
                     GroupPass* pass) {
  const SetSurvey& survey = sources.Survey;
  const RecoveryHeader& header = survey.Header;
  pass->Group = g;
  pass->K = GroupSize(header, g);
  pass->Length = sources.Offsets[g + 1] - sources.Offsets[g];
  pass->PrefixGood.assign(static_cast<size_t>(pass->K), 1);
  for (int32_t j = 0; j < pass->K; j++) {
    int32_t n = Member(sources, *pass, j);
    bool lost = LostUnread(sources, n);
    pass->Files.push_back(lost ? nullptr : SetFile(sources, n));
    (lost ? pass->Lost : pass->Survivors).push_back(j);
  }
  for (int32_t r = 0; r < header.RowCount; r++)
    if (survey.RowSource[r] >= 0) pass->Rows.push_back(r);
  if (pass->Lost.empty() || pass->Rows.size() < pass->Lost.size()) return false;
  for (size_t t = 0; t < pass->Lost.size(); t++) pass->Survivors.push_back(pass->K + pass->Rows[t]);
  for (int32_t j : pass->Lost) {
    pass->Targets.push_back(early->TargetOf(Member(sources, *pass, j)));
    if (pass->Targets.back() == nullptr) return false;
  }
  if (pass->Files[0] != nullptr && Member(sources, *pass, 0) == 0) {
    bool readable;
    pass->PrefixGood[0] = PrefixMatches(header, *pass->Files[0], header.StubDigest, &readable);
    if (!readable) return false;
  }
  return DecodeTables(pass->K, header.RowCount, pass->Survivors, pass->Lost, &pass->Tables);
}

// A group's pass in lanes: each with buffers of its own and digests of slices of its own (the
// second lane's taken from where it begins), as GroupPass::Slices.
struct PassWork final : LaneWork {
  const PassSources* Sources;
  GroupPass* Pass;
  // Views the files: only where one lane does it all. Two threads read, since giving back a view
  // on one stops the other (the system makes every core running the program forget the
  // mapping), which took longer than the copies of reading.
  bool Views;
  StripeBuffers Buffers[MaxLanes];
  std::vector<std::vector<uint32_t>> Slices[MaxLanes];
  RecoveryResult ChunkAt(int32_t lane, int64_t offset, int32_t length, int64_t* read) override;
  void LaneDone(int32_t lane) override;
};

// The chunk at offset of every file and row read (their digests taken; *read: the bytes, as the
// plain survey tells them), and the lost files' chunks decoded from it and written. False when a
// read or a write fails.
static bool PassChunk(PassWork& work, int32_t lane, int64_t offset, int32_t length,
                      int64_t* read) {
  const PassSources& sources = *work.Sources;
  const GroupPass* pass = work.Pass;
  const RecoveryHeader& header = sources.Survey.Header;
  int64_t size = sources.Survey.StripeSize, at = sources.Offsets[pass->Group];
  uint8_t* const* rows = work.Buffers[lane].Rows.data();
  // Each file's and row's chunk: in place where its file shows it, else in its buffer; and how
  // many of its bytes are data (the rest is padding).
  size_t inputs = static_cast<size_t>(pass->K) + pass->Rows.size();
  std::vector<uint8_t*> in(inputs);
  std::vector<int32_t> counts(inputs, 0);
  for (int32_t j = 0; j < pass->K; j++) {
    in[j] = rows[j];
    if (pass->Files[j] == nullptr) continue;
    int32_t n = Member(sources, *pass, j);
    const uint8_t* view;
    counts[j] = ViewPadded(*pass->Files[j], n, header.Files[n].Payload, offset, rows[j], length,
                           &view, work.Views);
    if (counts[j] < 0) return false;
    in[j] = const_cast<uint8_t*>(view);  // only read: a coding input
    *read += counts[j];
  }
  for (size_t i = 0; i < pass->Rows.size(); i++) {
    const FileAccess& file = *sources.RecoveryFiles[sources.Survey.RowSource[pass->Rows[i]]];
    const uint8_t* view = ViewOrRead(file, rows[pass->K + i], static_cast<size_t>(length),
                                     at + offset, work.Views);
    if (view == nullptr) return false;
    in[pass->K + i] = const_cast<uint8_t*>(view);
    counts[pass->K + i] = length;
    *read += length;
  }
  // The survivors' chunks in plan order (the rows taken are the first present), then the outputs.
  std::vector<uint8_t*> coding;
  for (int32_t s : pass->Survivors) coding.push_back(s < pass->K ? in[s] : nullptr);
  for (size_t t = 0; t < pass->Lost.size(); t++) {
    coding[pass->K - pass->Lost.size() + t] = in[pass->K + t];
    coding.push_back(rows[pass->K + pass->Rows.size() + t]);
  }
  int32_t lost = static_cast<int32_t>(pass->Lost.size());
  // Digests and code a block at a time, which the coding then finds in the cache the digests
  // brought it into.
  std::vector<uint8_t*> block(coding.size());
  for (int32_t from = 0; from < length; from += CacheBlock) {
    int32_t part = length - from < CacheBlock ? length - from : CacheBlock;
    for (size_t i = 0; i < inputs; i++) {
      int32_t count = counts[i] - from < part ? counts[i] - from : part;
      if (count > 0 && (i >= static_cast<size_t>(pass->K) || pass->Files[i] != nullptr))
        AddToSlices(work.Slices[lane][i].data(), size, offset + from, in[i] + from,
                    static_cast<size_t>(count));
    }
    for (size_t c = 0; c < coding.size(); c++) block[c] = coding[c] + from;
    CodeStripe(part, pass->K, lost, pass->Tables.data(), block.data(), block.data() + pass->K);
  }
  for (int32_t t = 0; t < lost; t++) {
    int32_t n = Member(sources, *pass, pass->Lost[t]);
    size_t count = static_cast<size_t>(PayloadBytesIn(header.Files[n].Payload, offset, length));
    if (count > 0 && !pass->Targets[t]->WriteAt(coding[pass->K + t], count, PayloadBase(n) + offset))
      return false;
  }
  return true;
}

RecoveryResult PassWork::ChunkAt(int32_t lane, int64_t offset, int32_t length, int64_t* read) {
  return Result(PassChunk(*this, lane, offset, length, read) ? RecoveryDone : RecoveryReadFailed);
}

void PassWork::LaneDone(int32_t) {
  if (!Views) return;
  for (const FileAccess* file : Pass->Files)
    if (file != nullptr) file->EndView();
  for (int32_t r : Pass->Rows) Sources->RecoveryFiles[Sources->Survey.RowSource[r]]->EndView();
}

// The bytes of position i (a file's payload, or a row's parity) the pass digests.
static int64_t PositionLength(const PassSources& sources, const GroupPass& pass, int32_t i) {
  return i < pass.K ? sources.Survey.Header.Files[Member(sources, pass, i)].Payload : pass.Length;
}

// The whole group, chunk by chunk: in two lanes where the caller lends a thread (each taking half
// of the group's length, with half the buffers), else in one. RecoveryDone, RecoveryReadFailed
// (a read or a write failed) or RecoveryInterrupted.
static RecoveryOutcome RunPass(const PassSources& sources, GroupPass* pass,
                               RecoveryProgress* progress, WorkBeside* beside) {
  int64_t size = sources.Survey.StripeSize;
  int32_t count = pass->K + static_cast<int32_t>(pass->Rows.size() + pass->Lost.size());
  beside = BesideWithinBudget(count, beside);
  PassWork work;
  work.Sources = &sources, work.Pass = pass;
  for (int32_t lane = 0; lane < MaxLanes; lane++) {
    MakeStripeBuffers(count, pass->Length, &work.Buffers[lane],
                      beside != nullptr ? ReadChunkLimit : ChunkLimit,
                      beside != nullptr ? StripeBudget / MaxLanes : StripeBudget);
    for (size_t i = 0; i < pass->K + pass->Rows.size(); i++)
      work.Slices[lane].emplace_back(static_cast<size_t>(SliceCount(
                                         PositionLength(sources, *pass, static_cast<int32_t>(i)), size)),
                                     0);
    if (beside == nullptr) break;
  }
  int64_t second = SecondLaneFrom(pass->Length, work.Buffers[0].Chunk, beside);
  work.Views = second == pass->Length;
  RecoveryOutcome outcome =
      RunLanes(&work, pass->Length, second, work.Buffers[0].Chunk, beside, progress).Outcome;
  pass->Slices = std::move(work.Slices[0]);
  if (second < pass->Length)
    for (size_t i = 0; i < pass->Slices.size(); i++)
      JoinSliceLanes(pass->Slices[i].data(), work.Slices[1][i].data(), size,
                     PositionLength(sources, *pass, static_cast<int32_t>(i)), second);
  return outcome;
}

// The verdicts the pass's digests give: each file's check, each present row's on the group.
static void JudgePass(const PassSources& sources, GroupPass* pass, SetSurvey* survey,
                      std::vector<FileCheck>* checks) {
  const RecoveryHeader& header = survey->Header;
  int64_t size = survey->StripeSize;
  for (int32_t j = 0; j < pass->K; j++) {
    int32_t n = Member(sources, *pass, j);
    FileCheck& check = (*checks)[n];
    if (pass->Files[j] == nullptr) {
      check.State = SetFile(sources, n) == nullptr ? FileMissing : FileWrongSize;
      continue;
    }
    check.Digest = JoinSlices(pass->Slices[j].data(), size, header.Files[n].Payload);
    check.State = StateOfRead(header, n, check.Digest, pass->PrefixGood[j] != 0);
    if (header.SliceSize > 0) check.Slices = pass->Slices[j];
  }
  for (size_t i = 0; i < pass->Rows.size(); i++) {
    std::vector<uint32_t>& slices = pass->Slices[pass->K + i];
    uint32_t digest = JoinSlices(slices.data(), size, pass->Length);
    const RecoveryHeader& own = sources.Headers[survey->RowSource[pass->Rows[i]]];
    JudgeRowGroup(own, pass->Group, true, digest, &slices, survey);
  }
}

RecoveryResult SurveyGroupsDecoding(const std::vector<const FileAccess*>& setFiles,
                                    const std::vector<const FileAccess*>& recoveryFiles,
                                    const std::vector<RecoveryHeader>& headers,
                                    const std::vector<int64_t>& offsets, RebuildTargets* early,
                                    WorkBeside* beside, RecoveryProgress* progress,
                                    SetSurvey* survey, std::vector<FileCheck>* checks,
                                    std::vector<uint8_t>* handled,
                                    std::vector<std::vector<int32_t>>* survivors) {
  PassSources sources{setFiles, recoveryFiles, headers, *survey, offsets};
  int32_t groups = survey->Header.GroupCount;
  survivors->assign(static_cast<size_t>(groups), {});
  if (!MayBeRepairable(sources)) return Result(RecoveryDone);
  for (int32_t g = 0; g < groups; g++) {
    GroupPass pass;
    if (!PlanPass(sources, g, early, &pass)) continue;
    RecoveryOutcome outcome = RunPass(sources, &pass, progress, beside);
    if (outcome == RecoveryInterrupted) return Result(outcome);
    if (outcome != RecoveryDone) continue;  // the plain survey finds what failed, and says so
    JudgePass(sources, &pass, survey, checks);
    (*handled)[g] = 1;
    (*survivors)[g] = pass.Survivors;
  }
  return Result(RecoveryDone);
}

void MarkRebuiltStripes(const std::vector<uint8_t>& handled,
                        const std::vector<std::vector<int32_t>>& survivors, SetSurvey* survey) {
  const RecoveryHeader& header = survey->Header;
  int64_t stripes = survey->StripeStarts.back();
  for (int32_t g = 0; g < header.GroupCount; g++) {
    if (!handled[g]) continue;
    int32_t k = GroupSize(header, g);
    for (int64_t i = 0; i < survey->StripeStarts[g + 1] - survey->StripeStarts[g]; i++) {
      int64_t stripe = survey->StripeStarts[g] + i;
      bool good = true;
      for (int32_t s : survivors[g])
        good &= s < k ? !SliceLostOf(*survey, GroupMember(header, g, s), i)
                      : survey->RowSliceGood[(s - k) * stripes + stripe] != 0;
      survey->StripeRebuilt[stripe] = good;
    }
  }
}
