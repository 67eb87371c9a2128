// Fuzzes the recovery header reader; the input's first byte chooses how.
// - Even: the rest is a header as it is. Whatever the reader takes must hold together: the
//   geometry follows from F and N, the parity offsets rise to H + P, the sizes are a set's.
// - Odd: a header is made from the numbers that follow (F, N, the row, the payloads) and must read
//   back as written; then one bit the next bytes name is flipped, and the reader must refuse it.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "recovery/recovery_format.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

void Fail(const char* what) { FuzzFail("recovery header", what); }

// T counted plainly: every payload's slices and every group's parity's, of S bytes.
int64_t SliceDigests(const RecoveryHeader& header) {
  int64_t size = header.SliceSize, count = 0;
  if (size == 0) return 0;
  for (const RecoveryFileEntry& file : header.Files) count += (file.Payload + size - 1) / size;
  std::vector<int64_t> offsets = ParityOffsets(header);
  for (size_t g = 1; g < offsets.size(); g++)
    count += (offsets[g] - offsets[g - 1] + size - 1) / size;
  return count;
}

void CheckTaken(const RecoveryHeader& header) {
  if (header.GroupCount != GroupCountFor(header.FileCount, header.RowCount)) Fail("group count");
  int64_t size = header.SliceSize, slices = SliceDigests(header);
  if (header.Version == RecoveryFormatWithoutSlices
          ? size != 0
          : header.Version != RecoveryFormatVersion || size < (1 << MinSliceShift) ||
                size > (1 << MaxSliceShift) || (size & (size - 1)) != 0)
    Fail("version or slice size");
  if (static_cast<int64_t>(header.FileSlices.size() + header.ParitySlices.size()) != slices)
    Fail("slice digests");
  if (header.HeaderLength != RecoveryHeaderLength(header.FileCount, header.GroupCount, slices))
    Fail("header length");
  if (static_cast<int32_t>(header.Files.size()) != header.FileCount ||
      static_cast<int32_t>(header.ParityDigests.size()) != header.GroupCount)
    Fail("table sizes");
  if (header.Row < 0 || header.Row >= header.RowCount) Fail("row");
  std::vector<int64_t> offsets = ParityOffsets(header);
  if (static_cast<int32_t>(offsets.size()) != header.GroupCount + 1 ||
      offsets.front() != header.HeaderLength ||
      offsets.back() - header.HeaderLength != header.ParityLength)
    Fail("parity offsets");
  for (size_t g = 1; g < offsets.size(); g++)
    if (offsets[g] < offsets[g - 1]) Fail("parity offsets fall");
  int32_t members = 0;
  for (int32_t g = 0; g < header.GroupCount; g++) {
    int32_t size = GroupSize(header, g);
    if (size < 1 || size + header.RowCount > CodeWordLimit) Fail("group size");
    for (int32_t j = 0; j < size; j++)
      if (GroupOf(header, GroupMember(header, g, j)) != g) Fail("group member");
    members += size;
  }
  if (members != header.FileCount) Fail("groups do not cover the set");
  const std::vector<RecoveryFileEntry>& files = header.Files;
  for (size_t n = 1; n < files.size(); n++) {
    int64_t size = files.size() > 2 ? files[1].Payload : files[n].Payload;
    if (files[n].Payload < 1 || files[n].Payload > size ||
        (n + 1 < files.size() && files[n].Payload != size))
      Fail("not cut as a set");
  }
}

void MadeAndSpoiled(FuzzReader& in) {
  RecoveryHeader header{};
  header.Code = RecoveryCodeCauchy;
  bool sliced = in.Take(1) % 4 != 0;
  header.Version = sliced ? RecoveryFormatVersion : RecoveryFormatWithoutSlices;
  header.SliceSize =
      sliced ? 1 << (MinSliceShift + in.Take(1) % (MaxSliceShift - MinSliceShift + 1)) : 0;
  header.FileCount = 1 + static_cast<int32_t>(in.Take(2) % 600);
  header.RowCount = 1 + static_cast<int32_t>(in.Take(1) % MaxRecoveryRows);
  header.Row = static_cast<int32_t>(in.Take(1) % static_cast<uint64_t>(header.RowCount));
  header.StubDigest = static_cast<uint32_t>(in.Take(4));
  for (uint8_t& byte : header.ContainerHeader) byte = static_cast<uint8_t>(in.Take(1));
  // Cut as a split cuts: the container's data, pieces of one size, the last of 1 byte to it.
  int64_t piece = 1 + static_cast<int64_t>(in.Take(5));
  header.Files.push_back({static_cast<int64_t>(in.Take(5)), static_cast<uint32_t>(in.Take(4))});
  for (int32_t n = 1; n < header.FileCount; n++) {
    int64_t payload =
        n + 1 < header.FileCount ? piece : 1 + static_cast<int64_t>(in.Take(5)) % piece;
    header.Files.push_back({payload, static_cast<uint32_t>(in.Take(4))});
  }
  header.GroupCount = GroupCountFor(header.FileCount, header.RowCount);
  int64_t slices = SliceDigests(header);
  bool fits = slices <= MaxReadSliceDigests;
  if (fits && slices > (1 << 16)) return;  // megabytes of digests a run: the unit tests take those
  if (CompleteRecoveryGeometry(&header) != fits)
    Fail("a plain geometry refused, or one too big taken");
  if (!fits) return;
  for (int32_t g = 0; g < header.GroupCount; g++)
    header.ParityDigests.push_back(static_cast<uint32_t>(in.Take(4)));
  for (uint32_t& digest : header.FileSlices) digest = static_cast<uint32_t>(in.Take(4));
  for (uint32_t& digest : header.ParitySlices) digest = static_cast<uint32_t>(in.Take(4));
  std::vector<uint8_t> bytes = RecoveryHeaderBytes(header);
  RecoveryHeader back;
  if (!ParseRecoveryHeader(bytes.data(), static_cast<int64_t>(bytes.size()), &back))
    Fail("a made header refused");
  if (!SameRecoverySet(header, back) || back.Row != header.Row ||
      back.ParityDigests != header.ParityDigests || back.ParitySlices != header.ParitySlices)
    Fail("a made header read back otherwise");
  CheckTaken(back);
  uint64_t bit = in.Take(4) % (bytes.size() * 8);
  bytes[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
  if (ParseRecoveryHeader(bytes.data(), static_cast<int64_t>(bytes.size()), &back))
    Fail("a flipped bit taken");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzReader in{data + 1, size - 1};
  if (data[0] % 2 == 1) {
    MadeAndSpoiled(in);
    return 0;
  }
  RecoveryHeader header;
  if (ParseRecoveryHeader(data + 1, static_cast<int64_t>(size - 1), &header)) CheckTaken(header);
  return 0;
}
