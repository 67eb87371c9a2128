// Rebuilding: a file to rewrite gets its slices that are not lost copied from it as it is; then in
// each stripe with lost slices, k survivors (the good files' slices, then as many good recovery
// rows' as slices are lost) are read side by side, a chunk at a time, and the lost slices' chunks
// follow from the inverse of the survivors' generator rows. Then every target is read back and
// checked.
#include <string.h>

#include "recovery/recovery.h"
#include "recovery/recovery_coding.h"

namespace {

struct RepairJob {
  const SetSurvey& Survey;
  const std::vector<const FileAccess*>& SetFiles;
  const std::vector<const FileAccess*>& RecoveryFiles;
  const std::vector<const FileAccess*>& Targets;
  RecoveryProgress* Progress;
  std::vector<int64_t> Offsets;
  StripeBuffers Buffers;
};

// One stripe's survivors and lost files, by position in the group (rows as k + r).
struct GroupPlan {
  int32_t Group;
  int32_t K;
  std::vector<int32_t> Survivors;
  std::vector<int32_t> Lost;
};

// The decoding tables of the last plan: stripes alike share them.
struct DecodeCache {
  GroupPlan Plan{-1, 0, {}, {}};
  std::vector<uint8_t> Tables;
};

}  // namespace

// A file to rewrite whose good slices come from it as it is: it is there and was read.
static bool CopiedFrom(FileState state) { return state == FileDamaged || state == FilePrefixDamaged; }

static const FileAccess* Target(const RepairJob& job, int32_t n) {
  return n < static_cast<int32_t>(job.Targets.size()) ? job.Targets[n] : nullptr;
}

// Every file to rewrite has a target, a container to rewrite a stub; every survivor is given.
static RecoveryResult CheckCall(const RepairJob& job, const uint8_t* stub) {
  const SetSurvey& survey = job.Survey;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    const FileAccess* target = Target(job, n);
    bool given = n < static_cast<int32_t>(job.SetFiles.size()) && job.SetFiles[n] != nullptr;
    FileState state = survey.Files[n];
    bool copied = CopiedFrom(state);
    bool served = NeedsRewrite(state)
                      ? target != nullptr && (n != 0 || stub != nullptr) && (given || !copied)
                      : given;
    if (!served) return Result(RecoveryRefused, n);
  }
  for (int32_t r = 0; r < survey.Header.RowCount; r++) {
    int32_t source = survey.RowSource[r];
    if (source >= static_cast<int32_t>(job.RecoveryFiles.size()) ||
        (source >= 0 && !job.RecoveryFiles[source]))
      return Result(RecoveryRefused, -1, r);
  }
  return Result(RecoveryDone);
}

// Stripe i (counted in the group) of group g.
static GroupPlan PlanStripe(const SetSurvey& survey, int32_t g, int64_t i) {
  GroupPlan plan{g, GroupSize(survey.Header, g), {}, {}};
  for (int32_t j = 0; j < plan.K; j++) {
    bool lost = SliceLostOf(survey, GroupMember(survey.Header, g, j), i);
    (lost ? plan.Lost : plan.Survivors).push_back(j);
  }
  int64_t stripes = survey.StripeStarts.back(), stripe = survey.StripeStarts[g] + i;
  for (int32_t r = 0;
       r < survey.Header.RowCount && static_cast<int32_t>(plan.Survivors.size()) < plan.K; r++)
    if (survey.RowSliceGood[r * stripes + stripe]) plan.Survivors.push_back(plan.K + r);
  return plan;
}

// Survivor s's chunk at offset: a file of the group (zero-padded) or a recovery row's parity.
static RecoveryResult ReadSurvivor(const RepairJob& job, const GroupPlan& plan, int32_t s,
                                   int64_t offset, int32_t length, int64_t* read) {
  const RecoveryHeader& header = job.Survey.Header;
  int32_t which = plan.Survivors[s];
  uint8_t* buffer = job.Buffers.Rows[s];
  if (which >= plan.K) {
    int32_t r = which - plan.K;
    const FileAccess& file = *job.RecoveryFiles[job.Survey.RowSource[r]];
    bool done = file.ReadAt(buffer, static_cast<size_t>(length), job.Offsets[plan.Group] + offset);
    return Result(done ? RecoveryDone : RecoveryReadFailed, -1, r);
  }
  int32_t n = GroupMember(header, plan.Group, which);
  const FileAccess* file =
      n < static_cast<int32_t>(job.SetFiles.size()) ? job.SetFiles[n] : nullptr;
  if (file == nullptr) {  // a lost file past its payload: padding only
    if (offset < header.Files[n].Payload) return Result(RecoveryRefused, n);
    memset(buffer, 0, static_cast<size_t>(length));
    return Result(RecoveryDone);
  }
  int32_t count = ReadPadded(*file, n, header.Files[n].Payload, offset, buffer, length);
  *read += count > 0 ? count : 0;
  return Result(count < 0 ? RecoveryReadFailed : RecoveryDone, n);
}

static RecoveryResult DecodeChunk(const RepairJob& job, const GroupPlan& plan, uint8_t* tables,
                                  int64_t offset, int32_t length) {
  const RecoveryHeader& header = job.Survey.Header;
  int64_t read = 0;
  for (int32_t s = 0; s < plan.K; s++) {
    RecoveryResult result = ReadSurvivor(job, plan, s, offset, length, &read);
    if (result.Outcome != RecoveryDone) return result;
  }
  uint8_t** rows = const_cast<uint8_t**>(job.Buffers.Rows.data());
  int32_t lost = static_cast<int32_t>(plan.Lost.size());
  CodeStripe(length, plan.K, lost, tables, rows, rows + plan.K);
  for (int32_t t = 0; t < lost; t++) {
    int32_t n = GroupMember(header, plan.Group, plan.Lost[t]);
    size_t count = static_cast<size_t>(PayloadBytesIn(header.Files[n].Payload, offset, length));
    const FileAccess& target = *job.Targets[n];
    if (count > 0 && !target.WriteAt(rows[plan.K + t], count, PayloadBase(n) + offset))
      return Result(RecoveryWriteFailed, n);
  }
  return Result(GoOn(job.Progress, read) ? RecoveryDone : RecoveryInterrupted);
}

// The tables of plan: the cache's when its plan is the same.
static bool TablesFor(const RepairJob& job, const GroupPlan& plan, DecodeCache* cache) {
  if (cache->Plan.Group == plan.Group && cache->Plan.Survivors == plan.Survivors &&
      cache->Plan.Lost == plan.Lost)
    return true;
  cache->Plan = plan;
  cache->Plan.Group = -1;  // until the tables are made
  if (!DecodeTables(plan.K, job.Survey.Header.RowCount, plan.Survivors, plan.Lost, &cache->Tables))
    return false;
  cache->Plan.Group = plan.Group;
  return true;
}

// Stripe i of group g was rebuilt while the set was surveyed.
static bool RebuiltAlready(const SetSurvey& survey, int32_t g, int64_t i) {
  size_t stripe = static_cast<size_t>(survey.StripeStarts[g] + i);
  return stripe < survey.StripeRebuilt.size() && survey.StripeRebuilt[stripe];
}

static RecoveryResult DecodeStripe(const RepairJob& job, int32_t g, int64_t i, DecodeCache* cache) {
  GroupPlan plan = PlanStripe(job.Survey, g, i);
  if (plan.Lost.empty() || RebuiltAlready(job.Survey, g, i)) return Result(RecoveryDone);
  if (static_cast<int32_t>(plan.Survivors.size()) < plan.K) return Result(RecoveryNotRepairable);
  if (!TablesFor(job, plan, cache))
    return Result(RecoveryVerifyFailed, GroupMember(job.Survey.Header, g, plan.Lost[0]));
  int64_t length = job.Offsets[g + 1] - job.Offsets[g], size = job.Survey.StripeSize;
  int64_t end = (i + 1) * size < length ? (i + 1) * size : length;
  for (int64_t offset = i * size; offset < end; offset += job.Buffers.Chunk) {
    int64_t left = end - offset;
    int32_t chunk = left < job.Buffers.Chunk ? static_cast<int32_t>(left) : job.Buffers.Chunk;
    RecoveryResult result = DecodeChunk(job, plan, cache->Tables.data(), offset, chunk);
    if (result.Outcome != RecoveryDone) return result;
  }
  return Result(RecoveryDone);
}

static RecoveryResult DecodeGroup(const RepairJob& job, int32_t g) {
  DecodeCache cache;
  int64_t stripes = job.Survey.StripeStarts[g + 1] - job.Survey.StripeStarts[g];
  for (int64_t i = 0; i < stripes; i++) {
    RecoveryResult result = DecodeStripe(job, g, i, &cache);
    if (result.Outcome != RecoveryDone) return result;
  }
  return Result(RecoveryDone);
}

// length bytes of file n's payload from at, copied from the file as it is into its target.
static RecoveryResult CopyPayload(const RepairJob& job, int32_t n, int64_t at, int64_t length) {
  const FileAccess& old = *job.SetFiles[n];
  const FileAccess& target = *job.Targets[n];
  uint8_t* buffer = job.Buffers.Rows[0];
  int64_t base = PayloadBase(n);
  for (int64_t done = at; done < at + length;) {
    int64_t left = at + length - done;
    size_t count = left < job.Buffers.Chunk ? static_cast<size_t>(left)
                                            : static_cast<size_t>(job.Buffers.Chunk);
    if (!old.ReadAt(buffer, count, base + done)) return Result(RecoveryReadFailed, n);
    if (!target.WriteAt(buffer, count, base + done)) return Result(RecoveryWriteFailed, n);
    done += static_cast<int64_t>(count);
    if (!GoOn(job.Progress, static_cast<int64_t>(count))) return Result(RecoveryInterrupted, n);
  }
  return Result(RecoveryDone);
}

// A file to rewrite that is there and readable (its stub or header bad, or some slices
// damaged): its slices that are not lost, each run of them in one copy.
static RecoveryResult CopyGoodSlices(const RepairJob& job, int32_t n) {
  if (!CopiedFrom(job.Survey.Files[n])) return Result(RecoveryDone);
  int64_t payload = job.Survey.Header.Files[n].Payload, size = job.Survey.StripeSize;
  int64_t slices = SliceCount(payload, size);
  for (int64_t i = 0, last; i < slices; i = last + 1) {
    for (last = i; !SliceLostOf(job.Survey, n, i) && last + 1 < slices &&
                   !SliceLostOf(job.Survey, n, last + 1);)
      last++;
    if (SliceLostOf(job.Survey, n, i)) continue;
    int64_t end = (last + 1) * size < payload ? (last + 1) * size : payload;
    RecoveryResult result = CopyPayload(job, n, i * size, end - i * size);
    if (result.Outcome != RecoveryDone) return result;
  }
  return Result(RecoveryDone);
}

// The rebuilt container's stub and header.
static RecoveryResult WriteContainerPrefix(const RepairJob& job, const uint8_t* stub) {
  const FileAccess& target = *job.Targets[0];
  if (!target.WriteAt(stub, StubSize, 0) ||
      !target.WriteAt(job.Survey.Header.ContainerHeader, HeaderSize, HeaderOffset))
    return Result(RecoveryWriteFailed, 0);
  return Result(RecoveryDone);
}

// Every file to rewrite: the container's prefix, and what of each is good.
static RecoveryResult WriteGoodParts(const RepairJob& job, const uint8_t* stub) {
  const SetSurvey& survey = job.Survey;
  RecoveryResult result = Result(RecoveryDone);
  if (NeedsRewrite(survey.Files[0])) result = WriteContainerPrefix(job, stub);
  for (int32_t n = 0; n < survey.Header.FileCount && result.Outcome == RecoveryDone; n++)
    if (NeedsRewrite(survey.Files[n])) result = CopyGoodSlices(job, n);
  return result;
}

// Each target read back: its size, the container's prefix, the payload's digest.
static RecoveryResult VerifyTargets(const RepairJob& job, const uint8_t* stub) {
  const SetSurvey& survey = job.Survey;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    if (!NeedsRewrite(survey.Files[n])) continue;
    bool interrupted;
    uint32_t stubDigest = n == 0 ? StubDigestOf(stub) : 0;
    FileState state =
        CheckSetFile(survey.Header, n, job.Targets[n], stubDigest, job.Progress, &interrupted);
    if (interrupted) return Result(RecoveryInterrupted, n);
    if (state != FileGood) return Result(RecoveryVerifyFailed, n);
  }
  return Result(RecoveryDone);
}

RecoveryResult RepairSet(const SetSurvey& survey, const std::vector<const FileAccess*>& setFiles,
                         const std::vector<const FileAccess*>& recoveryFiles,
                         const std::vector<const FileAccess*>& targets, const uint8_t* stub,
                         RecoveryProgress* progress) {
  if (survey.Header.FileCount < 1 || survey.Files.size() != survey.Header.Files.size())
    return Result(RecoveryRefused);
  if (!survey.Repairable) return Result(RecoveryNotRepairable);
  RepairJob job{survey, setFiles, recoveryFiles, targets, progress, ParityOffsets(survey.Header),
                {}};
  RecoveryResult result = CheckCall(job, stub);
  if (result.Outcome != RecoveryDone) return result;
  MakeStripeBuffers(GroupSize(survey.Header, 0) + survey.Header.RowCount, LongestGroup(job.Offsets),
                    &job.Buffers);
  result = WriteGoodParts(job, stub);
  for (int32_t g = 0; g < survey.Header.GroupCount && result.Outcome == RecoveryDone; g++)
    result = DecodeGroup(job, g);
  if (result.Outcome == RecoveryDone) result = VerifyTargets(job, stub);
  return result;
}

int64_t RepairReadBytes(const SetSurvey& survey) {
  const RecoveryHeader& header = survey.Header;
  int64_t size = survey.StripeSize, total = 0;
  if (survey.Files.size() != header.Files.size()) return 0;
  for (int32_t n = 0; n < header.FileCount; n++) {
    if (!NeedsRewrite(survey.Files[n])) continue;
    int64_t payload = header.Files[n].Payload;
    total += payload;  // read back
    if (!CopiedFrom(survey.Files[n])) continue;
    for (int64_t i = 0; i < SliceCount(payload, size); i++)
      total += SliceLostOf(survey, n, i) ? 0 : PayloadBytesIn(payload, i * size, size);
  }
  for (int32_t g = 0; g < header.GroupCount; g++) {
    for (int64_t i = 0; i < survey.StripeStarts[g + 1] - survey.StripeStarts[g]; i++) {
      GroupPlan plan = PlanStripe(survey, g, i);
      if (plan.Lost.empty() || RebuiltAlready(survey, g, i)) continue;
      for (int32_t j : plan.Survivors)
        if (j < plan.K)
          total += PayloadBytesIn(header.Files[GroupMember(header, g, j)].Payload, i * size, size);
    }
  }
  return total;
}
