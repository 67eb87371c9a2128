#include "stub/join/piece_rebuild.h"

#include "base/byte_text.h"
#include "container/digest_block.h"
#include "container/layout.h"
#include "integrity/crc32c.h"
#include "recovery/gf256.h"
#include "stub/fileio/large_file.h"
#include "stub/state/join_state.h"
#include "stub/state/recovery_row.h"
#include "stub/join/piece_check.h"

enum : uint32_t {
  GroupDigestBytes = 4,  // the CRC-32C of this row's parity of a group
  SliceDigestBytes = 4,
  SmallestSlice = 1u << 16,
  LargestSlice = 1u << 30,
};

enum : uint8_t { PieceLost = 1 };

// Working storage (static: the stub allows no big stack frames). Nothing here holds anything
// between calls that JoinState.Rebuild does not say.
static uint8_t RebuildBuffer[RebuildBufferBytes];
static LargeFile Sources[RecoveryCodeWord];
static int32_t SourceRow[RecoveryCodeWord];    // its generator row: j for the file at position j,
                                               // k + r for recovery row r
static int32_t SourcePiece[RecoveryCodeWord];  // the piece it is (files only)
static uint32_t SourceCrc[RecoveryCodeWord];   // of the bytes read from it
static const uint8_t* SourceBytes[RecoveryCodeWord];
static uint8_t Generator[RecoveryCodeWord * RecoveryCodeWord];
static uint8_t Taken[RecoveryCodeWord * RecoveryCodeWord];
static uint8_t Inverse[RecoveryCodeWord * RecoveryCodeWord];
static uint8_t Tables[GfTableBytes * RecoveryCodeWord];
// The geometry of the groups for a count of rows: the longest payload of each, and where its
// parity begins after a recovery file's header (C + 1 entries, the last the parity's length).
static int64_t Longest[DigestCapacity];
static int64_t ParityAt[DigestCapacity + 1];

static const DigestBlock& Block() { return JoinState.PieceCheck.Block; }
static int32_t Files() { return static_cast<int32_t>(Block().Image.PieceCount); }
__attribute__((noinline)) static int64_t Payload(int32_t n) { return ExpectedPayload(Block(), n); }

__attribute__((noinline)) static int32_t GroupsFor(int32_t rows) {
  return (Files() - 1) / (RecoveryCodeWord - rows) + 1;
}
static int32_t GroupSizeOf(int32_t g, int32_t groups) {
  return (Files() - g + groups - 1) / groups;
}

// Slices of 2^shift bytes that size bytes are cut into, the last one shorter (none for shift 0).
static int64_t SliceCount(int64_t size, uint32_t shift) {
  return size == 0 || shift == 0 ? 0 : ((size - 1) >> shift) + 1;
}

// Longest and ParityAt for groups groups; returns the slices of 2^shift bytes that the payloads
// and one row's parity are cut into (0 for shift 0).
static int64_t MeasureGroups(int32_t groups, uint32_t shift) {
  FillZero(Longest, sizeof Longest);
  int64_t slices = 0;
  for (int32_t n = 0; n < Files(); n++) {
    if (Payload(n) > Longest[n % groups]) Longest[n % groups] = Payload(n);
    slices += SliceCount(Payload(n), shift);
  }
  for (int32_t g = 0; g < groups; g++) {
    ParityAt[g + 1] = ParityAt[g] + Longest[g];
    slices += SliceCount(Longest[g], shift);
  }
  return slices;
}

// The shift of a version 2 slice size; 0 when it is not a power of two in range.
static uint32_t SliceShiftOf(uint32_t size) {
  bool valid = (size & (size - 1)) == 0 && size >= SmallestSlice && size <= LargestSlice;
  return valid ? static_cast<uint32_t>(__builtin_ctz(size)) : 0;
}

// Binds file to path and opens it (FileOpenMode mode) at offset.
static void OpenAt(LargeFile& file, const WCHAR* path, uint8_t mode, int64_t offset) {
  AssignLargeFile(file, path);
  FileOpenMode = mode;
  ResetLarge(file, 1);
  SeekLarge(file, offset);
}

// The fixed fields against this set and this row (the magic, version, code and file count read
// already); the header length they give (0: not valid). Files that disagree on N are not refused
// here: a row of another code misses every digest it rebuilds, and the rebuild then leaves it out.
__attribute__((noinline)) static int64_t CheckFixedFields(int32_t row) {
  const RowHeaderStart& start = RowStart;
  int32_t count = static_cast<int32_t>(start.Rows);
  uint32_t shift = SliceShiftOf(start.SliceSize);
  if (count < 1 || count > RecoveryRowLimit || start.Row != static_cast<uint32_t>(row) ||
      start.Groups != static_cast<uint32_t>(GroupsFor(count)) ||
      (start.Version == 1 ? start.SliceSize != 0 : shift == 0))
    return 0;
  int32_t groups = static_cast<int32_t>(start.Groups);
  int64_t slices = MeasureGroups(groups, shift);
  int64_t length = EntriesAt + sizeof(RowFileEntry) * Files() + GroupDigestBytes * groups +
                   SliceDigestBytes * slices + SelfCheckBytes;
  if (start.HeaderLength != static_cast<uint64_t>(length) ||
      start.ParityLength != static_cast<uint64_t>(ParityAt[groups]))
    return 0;
  return length;
}

// RowStart serves as row of this set: its fixed fields fit, it copies the container's header and
// gives the block's sizes and digests. Its header length, else 0.
static int64_t RowFitsThisSet(int32_t row) {
  int64_t length = CheckFixedFields(row);
  return length != 0 && RowDescribesSet(JoinState.HeaderImage, Block()) ? length : 0;
}

void FindRecoveryFiles() {
  RebuildRecord& rebuild = JoinState.Rebuild;
  FillZero(&rebuild, sizeof rebuild);
  // A header that a recovery file's copy stands for (the container's was damaged) was rebuilt.
  if (JoinState.HeaderFromCopy) NoteRebuiltPiece(0);
  const PieceCheckRecord& check = JoinState.PieceCheck;
  if (!check.Active || check.Block.Image.RunLength != 1) return;
  TextCopy(rebuild.Base, PathTextSize, JoinState.BasePath);
  int32_t rows = 0;
  WCHAR path[RowPathSize];
  for (int32_t row = 0; row < (rows != 0 ? rows : static_cast<int32_t>(RecoveryRowLimit)); row++) {
    RecoveryRowPath(path, rebuild.Base, row);
    if (row == 0 && FileSizeByName(path) < 0) return;  // no recovery files: this look-up is all
    rebuild.RowHeader[row] = ReadRowHeader(path, row, RowFitsThisSet);
    if (rebuild.RowHeader[row] != 0) rows = static_cast<int32_t>(RowStart.Rows);
  }
  rebuild.RowCount = rows;
  rebuild.GroupCount = rows != 0 ? GroupsFor(rows) : 0;
  if (rows != 0) MeasureGroups(rebuild.GroupCount, 0);
}

bool RebuildServes() { return JoinState.Rebuild.RowCount != 0; }

uint32_t StripeBytes(int32_t k) {
  return RebuildBufferBytes / static_cast<uint32_t>(k + 1) & ~uint32_t{4095};
}

// Piece m's file lies at the base with the size the block gives it.
static bool PieceFileServes(int32_t m) {
  WCHAR path[PathTextSize + PieceSuffixSize];
  PiecePathFor(path, PathTextSize + PieceSuffixSize, JoinState.Rebuild.Base, m);
  return FileSizeByName(path) == Payload(m) + (m == 0 ? PayloadOffset : 0);
}

// The first k sources of group g that may serve: its files, then the recovery rows. Returns
// how many there are (fewer than k: the piece cannot be rebuilt).
static int32_t ChooseSources(int32_t g, int32_t k) {
  RebuildRecord& rebuild = JoinState.Rebuild;
  int32_t taken = 0;
  for (int32_t j = 0; j < k; j++) {
    int32_t m = g + j * rebuild.GroupCount;
    if (rebuild.Lost[m] == 0 && !PieceFileServes(m)) rebuild.Lost[m] = PieceLost;
    if (rebuild.Lost[m] != 0) continue;
    SourcePiece[taken] = m;
    SourceRow[taken++] = j;
  }
  for (int32_t r = 0; r < rebuild.RowCount && taken < k; r++) {
    if (rebuild.RowHeader[r] == 0) continue;
    SourceRow[taken++] = k + r;
  }
  return taken;
}

// The tables that give the file at position of the group from the chosen sources: the sources
// are the chosen rows of the generator times the files, so the files are its inverse times them.
static bool MakeDecodeTables(int32_t position, int32_t k) {
  GfCauchyMatrix(Generator, k + JoinState.Rebuild.RowCount, k);
  for (int32_t s = 0; s < k; s++) CopyBytes(Taken + s * k, Generator + SourceRow[s] * k, k);
  if (!GfInvertMatrix(Taken, Inverse, k)) return false;
  GfMakeTables(k, 1, Inverse + position * k, Tables);
  return true;
}

static void OpenSources(int32_t g, int32_t k) {
  const RebuildRecord& rebuild = JoinState.Rebuild;
  WCHAR path[RowPathSize];
  for (int32_t s = 0; s < k; s++) {
    int64_t offset;
    if (SourceRow[s] < k) {
      PiecePathFor(path, RowPathSize, rebuild.Base, SourcePiece[s]);
      offset = SourcePiece[s] == 0 ? PayloadOffset : 0;
    } else {
      int32_t r = SourceRow[s] - k;
      RecoveryRowPath(path, rebuild.Base, r);
      offset = rebuild.RowHeader[r] + ParityAt[g];
    }
    OpenAt(Sources[s], path, 0, offset);
    SourceCrc[s] = 0;
  }
}

// Bytes of a file of size bytes that lie in the stripe of length bytes from from.
__attribute__((noinline)) static uint32_t Within(int64_t size, int64_t from, uint32_t length) {
  if (size <= from) return 0;
  return size - from < length ? static_cast<uint32_t>(size - from) : length;
}

// Source s's stripe from from, zero-padded to length bytes. A source that ends early reads as
// damaged: its digest misses.
__attribute__((noinline)) static void ReadStripe(int32_t s, int32_t k, int64_t from,
                                                 uint32_t length, uint8_t* bytes) {
  uint32_t wanted = SourceRow[s] < k ? Within(Payload(SourcePiece[s]), from, length) : length;
  uint32_t actual = 0;
  BlockReadLarge(Sources[s], bytes, wanted, &actual);
  SourceCrc[s] = Crc32cAdd(SourceCrc[s], bytes, actual);
  FillZero(bytes + actual, length - actual);
}

// The output opened and cut at at: what lay beyond is gone.
static void OpenOutputAt(LargeFile& output, int64_t at) {
  OpenAt(output, JoinState.OutputPath, 2, at);
  TruncateLarge(output);
  JoinState.OutputPos = at;
}

// One rebuild of piece n (at position of group g of k files) from the chosen sources, every
// source read once, stripe by stripe, the output written from at.
static RebuildResult RunStripes(int32_t n, int32_t g, int32_t k, int64_t at, HWND window,
                                BlockCopiedCallback blockCopied) {
  uint32_t stripe = StripeBytes(k);
  uint8_t* rebuilt = RebuildBuffer + static_cast<size_t>(k) * stripe;
  for (int32_t s = 0; s < k; s++) SourceBytes[s] = RebuildBuffer + static_cast<size_t>(s) * stripe;
  OpenSources(g, k);
  LargeFile output;
  OpenOutputAt(output, at);
  int64_t longest = Longest[g];
  uint32_t crc = 0;
  bool moved = true;
  for (int64_t from = 0; from < longest && moved && !JoinState.QuitRequested; from += stripe) {
    uint32_t length = Within(longest, from, stripe);
    for (int32_t s = 0; s < k; s++)
      ReadStripe(s, k, from, length, RebuildBuffer + static_cast<size_t>(s) * stripe);
    GfEncodeRow(length, k, Tables, SourceBytes, rebuilt);
    uint32_t wanted = Within(Payload(n), from, length);
    uint32_t written = 0;
    BlockWriteLarge(output, rebuilt, wanted, &written);
    moved = written == wanted;
    crc = Crc32cAdd(crc, rebuilt, written);
    JoinState.OutputPos = at + from + written;
    blockCopied(window);
  }
  CloseLarge(output);
  for (int32_t s = 0; s < k; s++) CloseLarge(Sources[s]);
  if (TakeIoResult() != 0 || !moved) JoinState.IoFailed = true;
  if (JoinState.QuitRequested || JoinState.IoFailed) return RebuildStopped;
  if (crc == Block().Image.Digests[n]) return RebuildDone;
  OpenOutputAt(output, at);  // what the rebuild wrote is gone
  CloseLarge(output);
  if (TakeIoResult() == 0) return RebuildUntrusted;
  JoinState.IoFailed = true;
  return RebuildStopped;
}

// After a rebuild that missed its digest: the files whose bytes missed their digests serve no
// more; when every file matched, the recovery rows it took are what is wrong, and none of them
// serves any more. Something is always left out: a rebuild takes at least one row.
static void DropDamagedSources(int32_t k) {
  RebuildRecord& rebuild = JoinState.Rebuild;
  bool filesDamaged = false;
  for (int32_t s = 0; s < k; s++)
    if (SourceRow[s] < k && SourceCrc[s] != Block().Image.Digests[SourcePiece[s]]) {
      rebuild.Lost[SourcePiece[s]] = PieceLost;
      filesDamaged = true;
    }
  for (int32_t s = 0; s < k && !filesDamaged; s++)
    if (SourceRow[s] >= k) rebuild.RowHeader[SourceRow[s] - k] = 0;
}

RebuildResult RebuildPiece(int32_t n, int64_t at, HWND window, BlockCopiedCallback blockCopied) {
  RebuildRecord& rebuild = JoinState.Rebuild;
  if (!RebuildServes()) return RebuildImpossible;
  rebuild.Lost[n] = PieceLost;
  int32_t g = n % rebuild.GroupCount;
  int32_t k = GroupSizeOf(g, rebuild.GroupCount);
  // Every rebuild that misses leaves out a source, so this ends; once it has missed, a later call
  // finds too few sources at once.
  RebuildResult result = RebuildImpossible;
  while (ChooseSources(g, k) == k && MakeDecodeTables(n / rebuild.GroupCount, k)) {
    result = RunStripes(n, g, k, at, window, blockCopied);
    if (result != RebuildUntrusted) break;
    DropDamagedSources(k);
  }
  return result;
}
