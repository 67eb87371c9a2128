// Encoding: every group's files are read side by side, a chunk of each at a time, and each
// recovery row's parity of the chunk is written; the files' CRCs are taken on the way. The
// container's stub and header are read apart from its payload: before the parity for a set
// already written, after it for one written as it is coded.
#include <string.h>

#include <algorithm>

#include "integrity/crc32c.h"
#include "recovery/recovery.h"
#include "recovery/recovery_chunks.h"
#include "recovery/recovery_coding.h"

namespace {

struct EncodeJob {
  const std::vector<const FileAccess*>& SetFiles;
  const std::vector<const FileAccess*>& Outputs;
  RecoveryProgress* Progress;
  int32_t Version;
  int32_t SliceSize;  // 0: the writer's
  RecoveryHeader Header;
  std::vector<int64_t> Offsets;
  std::vector<std::vector<uint32_t>> ParityDigests;  // per row, per group
  std::vector<std::vector<uint32_t>> ParitySlices;   // per row, as ParitySliceStarts lays them
  std::vector<int64_t> ParitySliceStarts;
  WorkBeside* Beside;  // or null
  StripeBuffers Buffers[MaxLanes];  // per lane: k data, then N parity
  std::vector<uint8_t> Stub;  // the container's stub, copied after each output's parity
};

// What a lane digests of a group: each member's and each row's slices (one, of the group's
// length, where the set has none); the second lane's from where it begins.
struct LaneDigests {
  std::vector<std::vector<uint32_t>> Files, Rows;
};

// One group's encoding, in lanes.
struct GroupWork final : LaneWork {
  EncodeJob* Job;
  int32_t Group, K;
  int64_t Size;  // the slices' size
  std::vector<uint8_t> Tables;
  LaneDigests Digests[MaxLanes];
  RecoveryResult ChunkAt(int32_t lane, int64_t offset, int32_t length, int64_t* read) override;
};

}  // namespace

// The set's geometry from its files' sizes.
static RecoveryResult DescribeSizes(EncodeJob* job) {
  RecoveryHeader& header = job->Header;
  header.Code = RecoveryCodeCauchy;
  header.FileCount = static_cast<int32_t>(job->SetFiles.size());
  header.RowCount = static_cast<int32_t>(job->Outputs.size());
  if (header.FileCount < 1 || header.RowCount < 1 || header.RowCount > MaxRecoveryRows)
    return Result(RecoveryRefused);
  for (int32_t n = 0; n < header.FileCount; n++) {
    const FileAccess* file = job->SetFiles[n];
    if (file == nullptr) return Result(RecoveryRefused, n);
    int64_t size = file->Size();
    if (size < 0) return Result(RecoveryReadFailed, n);
    if (size < PayloadBase(n)) return Result(RecoveryNotASet, n);
    header.Files.push_back({size - PayloadBase(n), 0});
  }
  return Result(RecoveryDone);
}

// Groups, offsets and the slice size from the sizes.
static RecoveryResult CompleteGeometry(EncodeJob* job) {
  return Result(CompleteWriterGeometry(&job->Header, job->Version, job->SliceSize)
                    ? RecoveryDone
                    : RecoveryNotASet);
}

// The container's stub digest and header copy; the sizes must be its digest block's.
static RecoveryResult DescribePrefix(EncodeJob* job, const FileAccess& container) {
  RecoveryHeader& header = job->Header;
  uint8_t prefix[PayloadOffset];
  if (!container.ReadAt(prefix, sizeof prefix, 0)) return Result(RecoveryReadFailed, 0);
  header.StubDigest = StubDigestOf(prefix);
  job->Stub.assign(prefix, prefix + StubSize);
  memcpy(header.ContainerHeader, prefix + HeaderOffset, HeaderSize);
  DigestBlock block;
  if (ReadDigestBlock(header.ContainerHeader, &block)) {  // names the file that differs
    if (static_cast<int32_t>(block.Image.PieceCount) != header.FileCount)
      return Result(RecoveryNotASet);
    for (int32_t n = 0; n < header.FileCount; n++)
      if (ExpectedPayload(block, n) != header.Files[n].Payload) return Result(RecoveryNotASet, n);
  }
  return Result(RecoveryDone);
}

// With a digest per piece in the container, every CRC taken must be the block's.
static RecoveryResult CheckDigests(const RecoveryHeader& header) {
  DigestBlock block;
  if (!ReadDigestBlock(header.ContainerHeader, &block) || block.Image.RunLength != 1)
    return Result(RecoveryDone);
  for (int32_t n = 0; n < header.FileCount; n++)
    if (header.Files[n].Digest != block.Image.Digests[n]) return Result(RecoverySetDamaged, n);
  return Result(RecoveryDone);
}

// One chunk of the group at offset, in lane: the files read (and digested), the parity made and
// written.
RecoveryResult GroupWork::ChunkAt(int32_t lane, int64_t offset, int32_t length, int64_t* read) {
  const RecoveryHeader& header = Job->Header;
  int32_t rows = header.RowCount;
  uint8_t** data = Job->Buffers[lane].Rows.data();
  LaneDigests& digests = Digests[lane];
  for (int32_t j = 0; j < K; j++) {
    int32_t n = GroupMember(header, Group, j);
    int32_t count =
        ReadPadded(*Job->SetFiles[n], n, header.Files[n].Payload, offset, data[j], length);
    if (count < 0) return Result(RecoveryReadFailed, n);
    AddToSlices(digests.Files[j].data(), Size, offset, data[j], static_cast<size_t>(count));
    *read += count;
  }
  CodeStripe(length, K, rows, Tables.data(), data, data + K);
  for (int32_t r = 0; r < rows; r++) {
    AddToSlices(digests.Rows[r].data(), Size, offset, data[K + r], static_cast<size_t>(length));
    const FileAccess* output = Job->Outputs[r];
    if (output != nullptr &&
        !output->WriteAt(data[K + r], static_cast<size_t>(length), Job->Offsets[Group] + offset))
      return Result(RecoveryWriteFailed, -1, r);
  }
  return Result(RecoveryDone);
}

// The group's digests from its lanes', kept where the header and the job keep them.
static void KeepDigests(EncodeJob* job, GroupWork* work, int64_t second) {
  RecoveryHeader& header = job->Header;
  int32_t g = work->Group;
  int64_t length = job->Offsets[g + 1] - job->Offsets[g];
  // A stream's slices, the second lane's joined in, and where they go.
  auto keep = [&](std::vector<uint32_t>* first, const std::vector<uint32_t>& other,
                  int64_t streamLength, uint32_t* slices, uint32_t* digest) {
    if (second < length)
      JoinSliceLanes(first->data(), other.data(), work->Size, streamLength, second);
    if (header.SliceSize > 0)
      std::copy(first->begin(), first->end(), slices);
    else
      *digest = first->empty() ? 0 : (*first)[0];  // an empty stream has no slice
  };
  for (int32_t j = 0; j < work->K; j++) {
    int32_t n = GroupMember(header, g, j);
    keep(&work->Digests[0].Files[j], work->Digests[1].Files[j], header.Files[n].Payload,
         header.FileSlices.data() + FirstFileSlice(header, n), &header.Files[n].Digest);
  }
  for (int32_t r = 0; r < header.RowCount; r++)
    keep(&work->Digests[0].Rows[r], work->Digests[1].Rows[r], length,
         job->ParitySlices[r].data() + job->ParitySliceStarts[g], &job->ParityDigests[r][g]);
}

// Group g, chunk by chunk: in two lanes where the caller lends a thread (each taking half of the
// group's length), else in one.
static RecoveryResult EncodeGroup(EncodeJob* job, int32_t g) {
  const RecoveryHeader& header = job->Header;
  GroupWork work;
  work.Job = job, work.Group = g, work.K = GroupSize(header, g);
  work.Tables = EncodeTables(work.K, header.RowCount);
  int64_t length = job->Offsets[g + 1] - job->Offsets[g];
  work.Size = header.SliceSize > 0 ? header.SliceSize : length > 0 ? length : 1;
  for (LaneDigests& digests : work.Digests) {
    for (int32_t j = 0; j < work.K; j++)
      digests.Files.emplace_back(static_cast<size_t>(SliceCount(
                                     header.Files[GroupMember(header, g, j)].Payload, work.Size)),
                                 0);
    digests.Rows.assign(static_cast<size_t>(header.RowCount),
                        std::vector<uint32_t>(static_cast<size_t>(SliceCount(length, work.Size)), 0));
  }
  int32_t chunk = job->Buffers[0].Chunk;
  int64_t second = SecondLaneFrom(length, chunk, job->Beside);
  RecoveryResult result = RunLanes(&work, length, second, chunk, job->Beside, job->Progress);
  if (result.Outcome == RecoveryDone) KeepDigests(job, &work, second);
  return result;
}

// Each output's stub copy, then its header, last: a file whose parity is not all written has
// none.
static RecoveryResult WriteHeaders(EncodeJob* job) {
  int64_t stubAt = job->Header.HeaderLength + job->Header.ParityLength;
  for (int32_t r = 0; r < job->Header.RowCount; r++) {
    const FileAccess* output = job->Outputs[r];
    if (output == nullptr) continue;
    if (!output->WriteAt(job->Stub.data(), job->Stub.size(), stubAt))
      return Result(RecoveryWriteFailed, -1, r);
    job->Header.Row = r;
    job->Header.ParityDigests = job->ParityDigests[r];
    if (job->Header.SliceSize > 0) job->Header.ParitySlices = job->ParitySlices[r];
    std::vector<uint8_t> bytes = RecoveryHeaderBytes(job->Header);
    if (!output->WriteAt(bytes.data(), bytes.size(), 0)) return Result(RecoveryWriteFailed, -1, r);
  }
  return Result(RecoveryDone);
}

// With slices, the whole digests of the payloads and parities from their slices'.
static void JoinDigests(EncodeJob* job) {
  RecoveryHeader& header = job->Header;
  int64_t size = header.SliceSize;
  if (size == 0) return;
  for (int32_t n = 0; n < header.FileCount; n++)
    header.Files[n].Digest =
        JoinSlices(header.FileSlices.data() + FirstFileSlice(header, n), size, header.Files[n].Payload);
  for (int32_t r = 0; r < header.RowCount; r++)
    for (int32_t g = 0; g < header.GroupCount; g++)
      job->ParityDigests[r][g] = JoinSlices(job->ParitySlices[r].data() + job->ParitySliceStarts[g], size,
                                            job->Offsets[g + 1] - job->Offsets[g]);
}

// Every group's parity, written to the outputs, and the payloads' CRCs.
static RecoveryResult EncodeGroups(EncodeJob* job) {
  job->Offsets = ParityOffsets(job->Header);
  job->ParityDigests.assign(static_cast<size_t>(job->Header.RowCount),
                            std::vector<uint32_t>(static_cast<size_t>(job->Header.GroupCount), 0));
  // Group 0 has the most files.
  int32_t count = GroupSize(job->Header, 0) + job->Header.RowCount;
  job->Beside = BesideWithinBudget(count, job->Beside);
  int32_t lanes = job->Beside != nullptr ? MaxLanes : 1;
  for (int32_t lane = 0; lane < lanes; lane++)
    MakeStripeBuffers(count, LongestGroup(job->Offsets), &job->Buffers[lane], ReadChunkLimit,
                      StripeBudget / lanes);
  job->ParitySliceStarts = ParitySliceStarts(job->Header);
  job->ParitySlices.assign(static_cast<size_t>(job->Header.RowCount), job->Header.ParitySlices);
  RecoveryResult result = Result(RecoveryDone);
  for (int32_t g = 0; g < job->Header.GroupCount && result.Outcome == RecoveryDone; g++)
    result = EncodeGroup(job, g);
  if (result.Outcome == RecoveryDone) JoinDigests(job);
  return result;
}

// The CRCs against the container's digest block, then the headers.
static RecoveryResult Seal(EncodeJob* job) {
  RecoveryResult result = CheckDigests(job->Header);
  return result.Outcome == RecoveryDone ? WriteHeaders(job) : result;
}

RecoveryResult EncodeRecovery(const std::vector<const FileAccess*>& setFiles,
                              const std::vector<const FileAccess*>& outputs,
                              RecoveryProgress* progress, int32_t version, int32_t sliceSize,
                              WorkBeside* beside) {
  EncodeJob job{setFiles, outputs, progress, version, sliceSize, {}, {}, {}, {}, {}, beside, {}, {}};
  RecoveryResult result = DescribeSizes(&job);
  if (result.Outcome == RecoveryDone) result = DescribePrefix(&job, *setFiles[0]);
  if (result.Outcome == RecoveryDone) result = CompleteGeometry(&job);
  if (result.Outcome == RecoveryDone) result = EncodeGroups(&job);
  return result.Outcome == RecoveryDone ? Seal(&job) : result;
}

RecoveryResult EncodeParity(const std::vector<const FileAccess*>& setFiles,
                            const std::vector<const FileAccess*>& outputs,
                            RecoveryProgress* progress, RecoveryEncoding* encoding,
                            WorkBeside* beside) {
  EncodeJob job{setFiles, outputs, progress, RecoveryFormatVersion, 0, {}, {}, {}, {}, {}, beside, {}, {}};
  RecoveryResult result = DescribeSizes(&job);
  if (result.Outcome == RecoveryDone) result = CompleteGeometry(&job);
  if (result.Outcome == RecoveryDone) result = EncodeGroups(&job);
  encoding->Header = std::move(job.Header);
  encoding->ParityDigests = std::move(job.ParityDigests);
  encoding->ParitySlices = std::move(job.ParitySlices);
  return result;
}

RecoveryResult FinishRecovery(const FileAccess& container,
                              const std::vector<const FileAccess*>& outputs,
                              RecoveryEncoding* encoding) {
  std::vector<const FileAccess*> setFiles;  // read no more
  EncodeJob job{setFiles,
                outputs,
                nullptr,
                encoding->Header.Version,
                encoding->Header.SliceSize,
                std::move(encoding->Header),
                {},
                {},
                {},
                {},
                nullptr,
                {},
                {}};
  job.ParityDigests = std::move(encoding->ParityDigests);
  job.ParitySlices = std::move(encoding->ParitySlices);
  RecoveryResult result = DescribePrefix(&job, container);
  return result.Outcome == RecoveryDone ? Seal(&job) : result;
}
