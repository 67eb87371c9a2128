#include "stub/state/recovery_row.h"

#include "base/byte_text.h"
#include "integrity/crc64.h"
#include "stub/fileio/large_file.h"

enum : uint32_t {
  CodeCauchy = 1,
  CheckBufferBytes = 1u << 16,
};

// The magic: 89 54 4E 56 52 45 43 1A ("\x89TNVREC\x1A") as a little-endian integer.
static const uint64_t RecoveryMagic = 0x1A434552564E5489ull;

RowHeaderStart RowStart;
// The container's header and the block's sizes and digests, as a header copies them.
static RowHeaderStart Expected;
// The header beyond the entries, read for its self-check.
static uint8_t CheckBuffer[CheckBufferBytes];

void RecoveryRowPath(WCHAR* path, const WCHAR* base, int32_t row) {
  char digits[24];
  FormatInt64(digits, sizeof digits, row + 1);
  TextCopy(path, RowPathSize, base);
  TextAppend(path, RowPathSize, row + 1 < 10 ? ".r0" : ".r");
  TextAppend(path, RowPathSize, static_cast<const char*>(digits));
}

bool RowDescribesSet(const uint8_t* header, const DigestBlock& block) {
  uint32_t files = block.Image.PieceCount;
  if (RowStart.Files != files || block.Image.RunLength != 1) return false;
  CopyBytes(Expected.ContainerHeader, header, HeaderSize);
  for (uint32_t n = 0; n < files; n++) {
    Expected.Entries[n].Payload = static_cast<uint64_t>(ExpectedPayload(block, n));
    Expected.Entries[n].Digest = block.Image.Digests[n];
  }
  const uint8_t* a = RowStart.ContainerHeader;
  const uint8_t* b = Expected.ContainerHeader;
  for (uint32_t i = 0; i < HeaderSize + sizeof(RowFileEntry) * files; i++)
    if (a[i] != b[i]) return false;
  return true;
}

// The self-check over the header's length bytes, the first start of them in RowStart already.
static bool SelfCheckHolds(LargeFile& file, uint32_t start, int64_t length) {
  if (length < start + SelfCheckBytes) return false;
  uint64_t check = Crc64Add(0, &RowStart, start);
  uint32_t actual = 0;
  for (int64_t rest = length - SelfCheckBytes - start; rest > 0; rest -= actual) {
    uint32_t chunk = rest < CheckBufferBytes ? static_cast<uint32_t>(rest) : CheckBufferBytes;
    BlockReadLarge(file, CheckBuffer, chunk, &actual);
    if (actual != chunk) return false;
    check = Crc64Add(check, CheckBuffer, chunk);
  }
  uint64_t stored = 0;
  BlockReadLarge(file, &stored, SelfCheckBytes, &actual);
  return actual == SelfCheckBytes && stored == check;
}

int64_t ReadRowHeader(const WCHAR* path, int32_t row, int64_t (*fits)(int32_t row)) {
  LargeFile file;
  AssignLargeFile(file, path);
  FileOpenMode = 0;
  ResetLarge(file, 1);
  const RowHeaderStart& start = RowStart;
  uint32_t actual = 0;
  BlockReadLarge(file, &RowStart, EntriesAt, &actual);
  uint32_t entries = sizeof(RowFileEntry) * start.Files;
  bool known = actual == EntriesAt && start.Magic == RecoveryMagic && start.Version - 1 <= 1 &&
               start.Code == CodeCauchy && start.Files - 1 < DigestCapacity;
  if (known) BlockReadLarge(file, RowStart.Entries, entries, &actual);
  int64_t length = known && actual == entries ? fits(row) : 0;
  // A file too short for its parity serves all the same: what it lacks reads as damage.
  bool serves = length != 0 && SelfCheckHolds(file, EntriesAt + entries, length);
  CloseLarge(file);
  return TakeIoResult() == 0 && serves ? length : 0;
}
