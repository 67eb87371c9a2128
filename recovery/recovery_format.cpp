#include "recovery/recovery_format.h"

#include <algorithm>

#include <string.h>

#include "container/layout.h"
#include "integrity/crc64.h"

static const uint8_t RecoveryMagic[8] = {0x89, 'T', 'N', 'V', 'R', 'E', 'C', 0x1A};

enum : int32_t {
  CopyAt = RecoveryFixedSize,
  FilesAt = CopyAt + HeaderSize,
  FileEntrySize = 12,
  SelfCheckSize = 8,
};
static_assert(FilesAt + SelfCheckSize == 2112, "the header length's constant part");

// Numbers are stored little-endian, in 4 or 8 bytes.
static void PutLittle(uint8_t* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; i++) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

static uint64_t GetLittle(const uint8_t* at, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; i--) value = value << 8 | at[i];
  return value;
}

static void Put32(uint8_t* at, uint32_t value) { PutLittle(at, value, 4); }
static void Put64(uint8_t* at, uint64_t value) { PutLittle(at, value, 8); }
static uint32_t Get32(const uint8_t* at) { return static_cast<uint32_t>(GetLittle(at, 4)); }
static uint64_t Get64(const uint8_t* at) { return GetLittle(at, 8); }

int32_t GroupOf(const RecoveryHeader& header, int32_t n) { return n % header.GroupCount; }

int32_t GroupSize(const RecoveryHeader& header, int32_t group) {
  return (header.FileCount - 1 - group) / header.GroupCount + 1;
}

int32_t GroupMember(const RecoveryHeader& header, int32_t group, int32_t position) {
  return group + position * header.GroupCount;
}

int64_t RecoveryHeaderLength(int32_t files, int32_t groups, int64_t slices) {
  return FilesAt + int64_t{FileEntrySize} * files + int64_t{4} * groups + int64_t{4} * slices +
         SelfCheckSize;
}

// Where the slice digests begin: after the parity digests.
static int64_t SlicesAt(const RecoveryHeader& header) {
  return RecoveryHeaderLength(header.FileCount, header.GroupCount) - SelfCheckSize;
}

int64_t SliceCount(int64_t length, int64_t size) {
  return length <= 0 || size <= 0 ? 0 : (length - 1) / size + 1;
}

// Files 1 to F - 2 are of one size: the last file's slices follow theirs.
static int64_t FirstSliceIn(const std::vector<RecoveryFileEntry>& files, int32_t n, int64_t size) {
  if (n == 0 || size == 0) return 0;
  return SliceCount(files[0].Payload, size) + int64_t{n - 1} * SliceCount(files[1].Payload, size);
}

int64_t FirstFileSlice(const RecoveryHeader& header, int32_t n) {
  return FirstSliceIn(header.Files, n, header.SliceSize);
}

int64_t FirstFileSlice(const RecoveryHeader& header, int32_t n, int64_t size) {
  return FirstSliceIn(header.Files, n, size);
}

int64_t PayloadBase(int32_t n) { return n == 0 ? PayloadOffset : 0; }

// The longest payload of each group, added up from H; false past 2^63 - 1.
static bool OffsetsFrom(const RecoveryHeader& header, std::vector<int64_t>* offsets) {
  offsets->assign(1, header.HeaderLength);
  for (int32_t g = 0; g < header.GroupCount; g++) {
    int64_t longest = 0;
    for (int32_t j = 0; j < GroupSize(header, g); j++) {
      int64_t payload = header.Files[GroupMember(header, g, j)].Payload;
      if (payload > longest) longest = payload;
    }
    int64_t next;
    if (__builtin_add_overflow(offsets->back(), longest, &next)) return false;
    offsets->push_back(next);
  }
  return true;
}

std::vector<int64_t> ParityOffsets(const RecoveryHeader& header) {
  std::vector<int64_t> offsets;
  OffsetsFrom(header, &offsets);
  return offsets;
}

// The slices of the files (the parity's from its offsets), with S.
static int64_t FileSliceTotal(const RecoveryHeader& header, int64_t size) {
  int32_t files = static_cast<int32_t>(header.Files.size());
  return files < 1 ? 0
                   : FirstSliceIn(header.Files, files - 1, size) +
                         SliceCount(header.Files[files - 1].Payload, size);
}

static std::vector<int64_t> ParitySliceStartsFor(const std::vector<int64_t>& offsets,
                                                 int64_t size) {
  std::vector<int64_t> starts(1, 0);
  for (size_t g = 1; g < offsets.size(); g++)
    starts.push_back(starts.back() + SliceCount(offsets[g] - offsets[g - 1], size));
  return starts;
}

std::vector<int64_t> ParitySliceStarts(const RecoveryHeader& header) {
  return ParitySliceStartsFor(ParityOffsets(header), header.SliceSize);
}

std::vector<int64_t> ParitySliceStarts(const RecoveryHeader& header, int64_t size) {
  return ParitySliceStartsFor(ParityOffsets(header), size);
}

// T for the files and parity (offsets) cut in slices of size bytes.
static int64_t SliceTotal(const RecoveryHeader& header, const std::vector<int64_t>& offsets,
                          int64_t size) {
  return FileSliceTotal(header, size) + ParitySliceStartsFor(offsets, size).back();
}

int32_t WriterSliceSize(const RecoveryHeader& header) {
  std::vector<int64_t> offsets;
  OffsetsFrom(header, &offsets);
  // The largest payload in WriterSlicesPerPiece slices at least, where the smallest slice allows.
  int64_t largest = 0;
  for (const RecoveryFileEntry& file : header.Files) largest = std::max(largest, file.Payload);
  int64_t size = int64_t{1} << WriterSliceShift;
  while (size > (int64_t{1} << MinSliceShift) && largest / size < WriterSlicesPerPiece) size /= 2;
  while (size < (int64_t{1} << MaxSliceShift) &&
         SliceTotal(header, offsets, size) > WriterSliceDigests)
    size *= 2;
  return static_cast<int32_t>(size);
}

// A slice size a header may give: a power of two from 2^16 to 2^30.
static bool SliceSizeInRange(uint32_t size) {
  return size >= (1u << MinSliceShift) && size <= (1u << MaxSliceShift) && (size & (size - 1)) == 0;
}

// The version's slice size: zero without slices, else in range.
static bool SliceSizeFits(int32_t version, uint32_t size) {
  if (version == RecoveryFormatWithoutSlices) return size == 0;
  return version == RecoveryFormatVersion && SliceSizeInRange(size);
}

// The payloads are cut as a split cuts a set: the pieces but the last (files 1 to F - 2) of one
// size, the last of 1 byte to that size. So no header can claim pieces that cost nothing to
// rebuild.
static bool CutLikeASet(const std::vector<RecoveryFileEntry>& files) {
  if (files.size() < 2) return true;
  int64_t last = files.back().Payload, size = files.size() > 2 ? files[1].Payload : last;
  for (size_t n = 1; n + 1 < files.size(); n++)
    if (files[n].Payload != size) return false;
  return last >= 1 && last <= size;
}

bool CompleteRecoveryGeometry(RecoveryHeader* header) {
  int64_t fileSlices, paritySlices;
  if (!MeasureRecoveryGeometry(header, &fileSlices, &paritySlices)) return false;
  header->FileSlices.resize(static_cast<size_t>(fileSlices), 0);
  header->ParitySlices.resize(static_cast<size_t>(paritySlices), 0);
  return true;
}

bool MeasureRecoveryGeometry(RecoveryHeader* header, int64_t* fileSlices, int64_t* paritySlices) {
  int32_t files = header->FileCount;
  if (files < 1 || files > MaxRecoverySetFiles || header->RowCount < 1 ||
      header->RowCount > MaxRecoveryRows || static_cast<int32_t>(header->Files.size()) != files ||
      !SliceSizeFits(header->Version, static_cast<uint32_t>(header->SliceSize)))
    return false;
  if (!CutLikeASet(header->Files)) return false;
  int64_t total = 0;  // the set's bytes: each file's, and all together, must fit
  for (int32_t n = 0; n < files; n++) {
    int64_t payload = header->Files[n].Payload;
    if (payload < 0 || __builtin_add_overflow(total, payload, &total) ||
        __builtin_add_overflow(total, PayloadBase(n), &total))
      return false;
  }
  header->GroupCount = GroupCountFor(files, header->RowCount);
  header->HeaderLength = RecoveryHeaderLength(files, header->GroupCount);
  std::vector<int64_t> offsets;
  if (!OffsetsFrom(*header, &offsets)) return false;
  header->ParityLength = offsets.back() - header->HeaderLength;
  // S >= 2^16 keeps T below 2^48 and 4 T far from overflow; H must still fit with it, and the
  // digests in memory.
  *fileSlices = FileSliceTotal(*header, header->SliceSize);
  *paritySlices = ParitySliceStartsFor(offsets, header->SliceSize).back();
  return *fileSlices + *paritySlices <= MaxReadSliceDigests &&
         !__builtin_add_overflow(header->HeaderLength, 4 * (*fileSlices + *paritySlices),
                                 &header->HeaderLength) &&
         !__builtin_add_overflow(header->HeaderLength, header->ParityLength, &total);
}

bool CompleteWriterGeometry(RecoveryHeader* header, int32_t version, int32_t sliceSize) {
  // The writer's S follows from the payloads and the groups: those first, without slices.
  header->Version = RecoveryFormatWithoutSlices;
  header->SliceSize = 0;
  if (!CompleteRecoveryGeometry(header)) return false;
  if (version == RecoveryFormatWithoutSlices) return true;
  header->Version = version;
  header->SliceSize = sliceSize > 0 ? sliceSize : WriterSliceSize(*header);
  return CompleteRecoveryGeometry(header);
}

std::vector<uint8_t> RecoveryHeaderBytes(const RecoveryHeader& header) {
  std::vector<uint8_t> bytes(static_cast<size_t>(header.HeaderLength), 0);
  uint8_t* at = bytes.data();
  memcpy(at, RecoveryMagic, sizeof RecoveryMagic);
  Put32(at + 8, static_cast<uint32_t>(header.Version));
  Put32(at + 12, static_cast<uint32_t>(header.Code));
  Put32(at + 16, static_cast<uint32_t>(header.FileCount));
  Put32(at + 20, static_cast<uint32_t>(header.RowCount));
  Put32(at + 24, static_cast<uint32_t>(header.Row));
  Put32(at + 28, static_cast<uint32_t>(header.GroupCount));
  Put64(at + 32, static_cast<uint64_t>(header.HeaderLength));
  Put64(at + 40, static_cast<uint64_t>(header.ParityLength));
  Put32(at + 48, header.StubDigest);
  Put32(at + 52, static_cast<uint32_t>(header.SliceSize));
  memcpy(at + CopyAt, header.ContainerHeader, HeaderSize);
  uint8_t* entry = at + FilesAt;
  for (const RecoveryFileEntry& file : header.Files) {
    Put64(entry, static_cast<uint64_t>(file.Payload));
    Put32(entry + 8, file.Digest);
    entry += FileEntrySize;
  }
  for (int32_t g = 0; g < header.GroupCount; g++) Put32(entry + 4 * g, header.ParityDigests[g]);
  // The slice digests H has room for (all of them, unless a test forged H or the sizes).
  size_t checked = bytes.size() - SelfCheckSize;
  size_t slice = static_cast<size_t>(SlicesAt(header));
  for (const std::vector<uint32_t>* digests : {&header.FileSlices, &header.ParitySlices})
    for (size_t i = 0; i < digests->size() && slice + 4 <= checked; i++, slice += 4)
      Put32(at + slice, (*digests)[i]);
  Put64(at + checked, Crc64(at, checked));
  return bytes;
}

bool ParseRecoveryFixed(const uint8_t* bytes, RecoveryHeader* header) {
  *header = RecoveryHeader{};
  uint32_t version = Get32(bytes + 8), sliceSize = Get32(bytes + 52);
  if (memcmp(bytes, RecoveryMagic, sizeof RecoveryMagic) != 0 ||
      (version != RecoveryFormatVersion && version != RecoveryFormatWithoutSlices) ||
      !SliceSizeFits(static_cast<int32_t>(version), sliceSize))
    return false;
  uint32_t code = Get32(bytes + 12), files = Get32(bytes + 16), rows = Get32(bytes + 20);
  uint32_t row = Get32(bytes + 24), groups = Get32(bytes + 28);
  if (code != RecoveryCodeCauchy || files < 1 || files > MaxRecoverySetFiles || rows < 1 ||
      rows > MaxRecoveryRows || row >= rows)
    return false;
  header->Version = static_cast<int32_t>(version);
  header->SliceSize = static_cast<int32_t>(sliceSize);
  header->Code = static_cast<int32_t>(code);
  header->FileCount = static_cast<int32_t>(files);
  header->RowCount = static_cast<int32_t>(rows);
  header->Row = static_cast<int32_t>(row);
  header->GroupCount = GroupCountFor(header->FileCount, header->RowCount);
  header->HeaderLength = RecoveryHeaderLength(header->FileCount, header->GroupCount);
  header->ParityLength = static_cast<int64_t>(Get64(bytes + 40));
  header->StubDigest = Get32(bytes + 48);
  // With slices, H past the fixed part holds whole digests; the payloads tell how many.
  uint64_t length = Get64(bytes + 32), fixed = static_cast<uint64_t>(header->HeaderLength);
  bool lengthFits = header->SliceSize == 0
                        ? length == fixed
                        : length >= fixed && (length - fixed) % 4 == 0 &&
                              (length - fixed) / 4 <= uint64_t{MaxReadSliceDigests};
  header->HeaderLength = static_cast<int64_t>(length);
  return groups == static_cast<uint32_t>(header->GroupCount) && lengthFits;
}

int64_t RecoveryStartLength(const RecoveryHeader& fixed) {
  return FilesAt + int64_t{FileEntrySize} * fixed.FileCount + int64_t{4} * fixed.GroupCount;
}

void ParseRecoveryStart(const uint8_t* bytes, RecoveryHeader* header) {
  memcpy(header->ContainerHeader, bytes + CopyAt, HeaderSize);
  const uint8_t* entry = bytes + FilesAt;
  header->Files.resize(static_cast<size_t>(header->FileCount));
  for (RecoveryFileEntry& file : header->Files) {
    file.Payload = static_cast<int64_t>(Get64(entry));
    file.Digest = Get32(entry + 8);
    entry += FileEntrySize;
  }
  header->ParityDigests.clear();
  for (int32_t g = 0; g < header->GroupCount; g++)
    header->ParityDigests.push_back(Get32(entry + 4 * g));
}

bool ParseRecoveryHeader(const uint8_t* bytes, int64_t length, RecoveryHeader* header) {
  if (length < RecoveryFixedSize || !ParseRecoveryFixed(bytes, header) ||
      length != header->HeaderLength ||
      Get64(bytes + length - SelfCheckSize) !=
          Crc64(bytes, static_cast<size_t>(length) - SelfCheckSize)) {
    *header = RecoveryHeader{};
    return false;
  }
  ParseRecoveryStart(bytes, header);
  int64_t parity = header->ParityLength;
  if (!CompleteRecoveryGeometry(header) || header->ParityLength != parity ||
      header->HeaderLength != length) {
    *header = RecoveryHeader{};
    return false;
  }
  const uint8_t* slice = bytes + SlicesAt(*header);
  for (uint32_t& digest : header->FileSlices) digest = Get32(slice), slice += 4;
  for (uint32_t& digest : header->ParitySlices) digest = Get32(slice), slice += 4;
  return true;
}

bool SameRecoverySet(const RecoveryHeader& a, const RecoveryHeader& b) {
  if (a.Version != b.Version || a.SliceSize != b.SliceSize || a.FileSlices != b.FileSlices ||
      a.Code != b.Code || a.FileCount != b.FileCount || a.RowCount != b.RowCount ||
      a.GroupCount != b.GroupCount || a.HeaderLength != b.HeaderLength ||
      a.ParityLength != b.ParityLength || a.StubDigest != b.StubDigest ||
      memcmp(a.ContainerHeader, b.ContainerHeader, HeaderSize) != 0 ||
      a.Files.size() != b.Files.size())
    return false;
  for (size_t n = 0; n < a.Files.size(); n++)
    if (a.Files[n].Payload != b.Files[n].Payload || a.Files[n].Digest != b.Files[n].Digest)
      return false;
  return true;
}

int64_t RecoveryFileSize(const RecoveryHeader& header) {
  return header.HeaderLength + header.ParityLength + StubSize;
}

int64_t WrittenRecoveryFileSize(const std::vector<int64_t>& payloads, int32_t rows) {
  if (payloads.size() > MaxRecoverySetFiles) return -1;
  RecoveryHeader header{};
  header.Code = RecoveryCodeCauchy;
  header.FileCount = static_cast<int32_t>(payloads.size());
  header.RowCount = rows;
  for (int64_t payload : payloads) header.Files.push_back({payload, 0});
  if (!CompleteWriterGeometry(&header, RecoveryFormatVersion, 0)) return -1;
  return RecoveryFileSize(header);
}
