#include "recovery/recovery_format.h"

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

int64_t RecoveryHeaderLength(int32_t files, int32_t groups) {
  return FilesAt + int64_t{FileEntrySize} * files + int64_t{4} * groups + SelfCheckSize;
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
  int32_t files = header->FileCount;
  if (files < 1 || files > MaxRecoverySetFiles || header->RowCount < 1 ||
      header->RowCount > MaxRecoveryRows || static_cast<int32_t>(header->Files.size()) != files)
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
  return true;
}

std::vector<uint8_t> RecoveryHeaderBytes(const RecoveryHeader& header) {
  std::vector<uint8_t> bytes(static_cast<size_t>(header.HeaderLength), 0);
  uint8_t* at = bytes.data();
  memcpy(at, RecoveryMagic, sizeof RecoveryMagic);
  Put32(at + 8, RecoveryFormatVersion);
  Put32(at + 12, static_cast<uint32_t>(header.Code));
  Put32(at + 16, static_cast<uint32_t>(header.FileCount));
  Put32(at + 20, static_cast<uint32_t>(header.RowCount));
  Put32(at + 24, static_cast<uint32_t>(header.Row));
  Put32(at + 28, static_cast<uint32_t>(header.GroupCount));
  Put64(at + 32, static_cast<uint64_t>(header.HeaderLength));
  Put64(at + 40, static_cast<uint64_t>(header.ParityLength));
  Put32(at + 48, header.StubDigest);
  memcpy(at + CopyAt, header.ContainerHeader, HeaderSize);
  uint8_t* entry = at + FilesAt;
  for (const RecoveryFileEntry& file : header.Files) {
    Put64(entry, static_cast<uint64_t>(file.Payload));
    Put32(entry + 8, file.Digest);
    entry += FileEntrySize;
  }
  for (int32_t g = 0; g < header.GroupCount; g++) Put32(entry + 4 * g, header.ParityDigests[g]);
  size_t checked = bytes.size() - SelfCheckSize;
  Put64(at + checked, Crc64(at, checked));
  return bytes;
}

bool ParseRecoveryFixed(const uint8_t* bytes, RecoveryHeader* header) {
  *header = RecoveryHeader{};
  if (memcmp(bytes, RecoveryMagic, sizeof RecoveryMagic) != 0 ||
      Get32(bytes + 8) != RecoveryFormatVersion)
    return false;
  uint32_t code = Get32(bytes + 12), files = Get32(bytes + 16), rows = Get32(bytes + 20);
  uint32_t row = Get32(bytes + 24), groups = Get32(bytes + 28);
  if (code != RecoveryCodeCauchy || files < 1 || files > MaxRecoverySetFiles || rows < 1 ||
      rows > MaxRecoveryRows || row >= rows || Get32(bytes + 52) != 0)
    return false;
  header->Code = static_cast<int32_t>(code);
  header->FileCount = static_cast<int32_t>(files);
  header->RowCount = static_cast<int32_t>(rows);
  header->Row = static_cast<int32_t>(row);
  header->GroupCount = GroupCountFor(header->FileCount, header->RowCount);
  header->HeaderLength = RecoveryHeaderLength(header->FileCount, header->GroupCount);
  header->ParityLength = static_cast<int64_t>(Get64(bytes + 40));
  header->StubDigest = Get32(bytes + 48);
  return groups == static_cast<uint32_t>(header->GroupCount) &&
         Get64(bytes + 32) == static_cast<uint64_t>(header->HeaderLength);
}

bool ParseRecoveryHeader(const uint8_t* bytes, int64_t length, RecoveryHeader* header) {
  if (length < RecoveryFixedSize || !ParseRecoveryFixed(bytes, header) ||
      length != header->HeaderLength ||
      Get64(bytes + length - SelfCheckSize) !=
          Crc64(bytes, static_cast<size_t>(length) - SelfCheckSize)) {
    *header = RecoveryHeader{};
    return false;
  }
  memcpy(header->ContainerHeader, bytes + CopyAt, HeaderSize);
  const uint8_t* entry = bytes + FilesAt;
  header->Files.resize(static_cast<size_t>(header->FileCount));
  for (RecoveryFileEntry& file : header->Files) {
    file.Payload = static_cast<int64_t>(Get64(entry));
    file.Digest = Get32(entry + 8);
    entry += FileEntrySize;
  }
  for (int32_t g = 0; g < header->GroupCount; g++)
    header->ParityDigests.push_back(Get32(entry + 4 * g));
  int64_t parity = header->ParityLength;
  if (!CompleteRecoveryGeometry(header) || header->ParityLength != parity) {
    *header = RecoveryHeader{};
    return false;
  }
  return true;
}

bool SameRecoverySet(const RecoveryHeader& a, const RecoveryHeader& b) {
  if (a.Code != b.Code || a.FileCount != b.FileCount || a.RowCount != b.RowCount ||
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
