// A recovery file's header (BASE.r01, BASE.r02, ...) as the stub reads it: the join rebuilds
// pieces from the files whose header describes the set, and header loading puts a file's copy of
// the container's header in the place of a damaged one. Integers little-endian: the fixed fields,
// the copy of the container's header, per file of the set its payload size (8) and CRC-32C (4),
// per group the CRC-32C of this row's parity, in version 2 then the CRC-32C of every slice (of S
// bytes) of every payload and of this row's parity, and last the self-check: CRC-64/XZ of
// everything before it. The parity of group g follows the header, after the earlier groups' (each
// as long as its longest payload).
#pragma once

#include <stdint.h>

#include "container/digest_block.h"
#include "stub/state/join_state.h"

#pragma pack(push, 4)
struct RowFileEntry {
  uint64_t Payload;
  uint32_t Digest;
};
struct RowHeaderStart {
  uint64_t Magic;
  uint32_t Version;
  uint32_t Code;
  uint32_t Files;
  uint32_t Rows;
  uint32_t Row;
  uint32_t Groups;
  uint64_t HeaderLength;
  uint64_t ParityLength;
  uint32_t StubDigest;
  uint32_t SliceSize;  // version 2; zero in version 1
  uint8_t ContainerHeader[HeaderSize];
  RowFileEntry Entries[DigestCapacity];  // as many as the set has files
};
#pragma pack(pop)
static_assert(sizeof(RowFileEntry) == 12, "a file entry is 12 bytes");
static_assert(__builtin_offsetof(RowHeaderStart, ContainerHeader) == 56, "the fixed fields");
static_assert(__builtin_offsetof(RowHeaderStart, Entries) == 2104, "the header copy");

enum : uint32_t {
  EntriesAt = __builtin_offsetof(RowHeaderStart, Entries),
  SelfCheckBytes = 8,
};
enum { RowPathSize = PathTextSize + 16 };

// The header last read: its fixed fields, its copy of the container's header, its entries.
extern RowHeaderStart RowStart;

// base + ".r01" for row 0, ".r02" for row 1, ... (two digits at least) into path (RowPathSize).
void RecoveryRowPath(WCHAR* path, const WCHAR* base, int32_t row);

// RowStart describes the set of this container header and block: it copies header, and gives as
// many files as the block has pieces, each with the block's size and digest (one per piece).
bool RowDescribesSet(const uint8_t* header, const DigestBlock& block);

// Reads the header of the recovery file at path into RowStart as far as its entries: a known
// magic, version (1 or 2) and code, 1 to DigestCapacity files. fits(row) then judges RowStart and
// gives the header's length (0: the file does not serve), and the self-check must hold over that
// length. Returns the length, or 0; no file error is left pending.
int64_t ReadRowHeader(const WCHAR* path, int32_t row, int64_t (*fits)(int32_t row));
