// The recovery file: a header of its own, checked by its own digest, that holds everything a
// repair needs (even with the container lost), then the parity. Integers little-endian.
//
//   offset     size  field
//   0          8     magic: 89 54 4E 56 52 45 43 1A
//   8          4     version: 2 (1: an older file, without slice digests; still read)
//   12         4     code: 1 = Reed-Solomon over GF(2^8), ISA-L's Cauchy matrix
//                    (gf_gen_cauchy1_matrix with k data rows and N parity rows per group)
//   16         4     file count F of the set (file 0 is the container's payload)
//   20         4     recovery file count N (1 to 254)
//   24         4     row r of this file (0 to N-1; the file is BASE.r01 for row 0, ...)
//   28         4     group count C = ceil(F / (255 - N)); file i is in group i mod C, at
//                    position i / C (the group's k is the number of its files)
//   32         8     header length H = 2112 + 12 F + 4 C + 4 T (version 1: T = 0); the parity
//                    begins here
//   40         8     parity length P: the sum over the groups of their longest payload
//   48         4     CRC-32C of the container's stub (its bytes 0 to 28671)
//   52         4     slice size S: a power of two from 2^16 to 2^30 (version 1: zero)
//   56         2048  copy of the container's header (its bytes 28672 to 30719)
//   2104       12 F  per file: payload size (8), CRC-32C of the payload (4)
//   2104+12F   4 C   per group: CRC-32C of this file's parity of the group
//   2104+12F+4C 4 T  slice digests (version 2): the CRC-32C of every slice, see below
//   H-8        8     self-check: CRC-64/XZ of bytes 0 to H-9
//   H          P     parity: row r of group 0 (as long as its longest payload), group 1, ...
//   H+P        28672 stub copy: the container's bytes 0 to 28671, whose CRC-32C is the field at
//                    offset 48, so that a container rebuilt gets the very joiner program the set
//                    was made with. Files written before it end at H+P (and readers of that time
//                    ignore what follows the parity): a reader takes the copy only where the file
//                    holds it and its CRC-32C matches.
//
// Slices (version 2): each payload is cut into ceil(payload / S) slices of S bytes from its
// start, the last one shorter when the payload is not a multiple of S (an empty payload has
// none); this file's parity of group g likewise, ceil(longest_g / S) slices. T counts them all:
//   T = sum over files n of ceil(payload_n / S) + sum over groups g of ceil(longest_g / S)
// and the digests follow in that order: file 0's slices first, ..., then this row's parity
// slices, group 0's first. A short last slice is digested as it is (not padded). Slice i of the
// files of a group and of each row's parity of it make one stripe of the code, independent of
// every other: byte b of a group only ever combines byte b of its files and parities, so one
// recovery row mends one bad slice in every stripe.
//
// The writer takes S = 1 MiB, halved (to 64 KiB at least) while the largest payload would have
// fewer than 64 slices, and doubled while T would exceed 2^22 (a header stays below 17 MiB plus
// 12 F): small pieces get slices of their own size's scale, so that damage at different offsets
// of several pieces falls in different stripes. A reader takes any S in range; this one loads headers of at most
// MaxReadSliceDigests slice digests.
//
// Recovery files of one set differ only in the row, the parity digests, the parity slice digests
// and the self-check.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "container/digest_block.h"

enum : int32_t {
  RecoveryFormatVersion = 2,  // what the writer writes
  RecoveryFormatWithoutSlices = 1,
  RecoveryCodeCauchy = 1,
  CodeWordLimit = 255,                  // files and recovery rows of one group: GF(2^8)
  MaxRecoveryRows = CodeWordLimit - 1,  // at least one file per group
  MaxRecoverySetFiles = 1 << 20,        // keeps a header below 13 MiB
  RecoveryFixedSize = 56,               // the fields before the header copy
  MinSliceShift = 16,
  MaxSliceShift = 30,
  WriterSliceShift = 20,          // the writer's S for pieces of 64 MiB and more: 1 MiB
  WriterSlicesPerPiece = 64,      // the slices of the largest payload, where 64 KiB allows
  WriterSliceDigests = 1 << 22,   // the writer's T at most, S allowing
  MaxReadSliceDigests = 1 << 24,  // what a header read into memory may hold (64 MiB)
};

struct RecoveryFileEntry {
  int64_t Payload;
  uint32_t Digest;
};

struct RecoveryHeader {
  int32_t Version;  // RecoveryFormatVersion, or RecoveryFormatWithoutSlices
  int32_t Code;
  int32_t FileCount;
  int32_t RowCount;
  int32_t Row;
  int32_t GroupCount;
  int64_t HeaderLength;
  int64_t ParityLength;
  uint32_t StubDigest;
  int32_t SliceSize;  // S; 0 without slices
  uint8_t ContainerHeader[HeaderSize];
  std::vector<RecoveryFileEntry> Files;
  std::vector<uint32_t> ParityDigests;  // this row's, one per group
  // Without slices both empty. FileSlices: every file's, file 0's first (see FirstFileSlice);
  // ParitySlices: this row's, group 0's first (see ParitySliceStarts).
  std::vector<uint32_t> FileSlices;
  std::vector<uint32_t> ParitySlices;
};

// The group count of F files with N recovery rows (inline: split's planning, in every build of
// the tool, takes it too).
inline int32_t GroupCountFor(int32_t files, int32_t rows) {
  int32_t width = CodeWordLimit - rows;
  return files < 1 || rows < 1 || width < 1 ? 0 : (files - 1) / width + 1;
}
// The files of the largest group of F files with N recovery rows.
inline int32_t LargestGroupFor(int32_t files, int32_t rows) {
  int32_t groups = GroupCountFor(files, rows);
  return groups > 0 ? (files - 1) / groups + 1 : 0;
}
// split --recovery P%: the fewest recovery rows N that are P % of the files of the largest group
// rounded to the nearest whole file (a half up), and at least one. Each group gets its own N
// rows, so a set larger than a group is held to P % of each group, not of the whole set (which
// would make N the size of a group).
inline int32_t RecoveryRowsForShare(int32_t files, double percent) {
  for (int32_t rows = 1; rows < MaxRecoveryRows; rows++) {
    double wanted = LargestGroupFor(files, rows) * percent / 100;
    if (rows >= static_cast<int64_t>(wanted + 0.5 + 1e-9)) return rows;
  }
  return MaxRecoveryRows;
}
// The group of file n; the files in group g; file j of group g.
int32_t GroupOf(const RecoveryHeader& header, int32_t n);
int32_t GroupSize(const RecoveryHeader& header, int32_t group);
int32_t GroupMember(const RecoveryHeader& header, int32_t group, int32_t position);
// Offsets in a recovery file where each group's parity begins: C + 1 entries, the last H + P.
std::vector<int64_t> ParityOffsets(const RecoveryHeader& header);
// H for F files in C groups and T slice digests (0 without slices).
int64_t RecoveryHeaderLength(int32_t files, int32_t groups, int64_t slices = 0);
// The slices of length bytes cut in slices of size bytes: ceil(length / size).
int64_t SliceCount(int64_t length, int64_t size);
// Where file n's slices begin in FileSlices (payloads as the header gives them, cut as a set);
// with size, where they would begin were the slices of size bytes.
int64_t FirstFileSlice(const RecoveryHeader& header, int32_t n);
int64_t FirstFileSlice(const RecoveryHeader& header, int32_t n, int64_t size);
// Where each group's parity slices begin in ParitySlices: C + 1 entries, the last their count;
// with size, were the slices of size bytes.
std::vector<int64_t> ParitySliceStarts(const RecoveryHeader& header);
std::vector<int64_t> ParitySliceStarts(const RecoveryHeader& header, int64_t size);
// The slice size the writer takes for the header's payloads (Files and C filled in).
int32_t WriterSliceSize(const RecoveryHeader& header);
// The length of a recovery file as the writer makes it: its header, its parity, the stub copy
// (geometry complete).
int64_t RecoveryFileSize(const RecoveryHeader& header);
// The length of each recovery file the writer makes, with rows recovery files, of a set whose
// files hold these payloads (file 0's: the container's data); -1 where it makes none (payloads
// not cut as a set's, sizes past 2^63 - 1, F or N out of range). split plans its pieces by it.
int64_t WrittenRecoveryFileSize(const std::vector<int64_t>& payloads, int32_t rows);
// Where file n's payload begins in the file.
int64_t PayloadBase(int32_t n);

// Fills in C, H and P from the code, N, the version, S and the files' payloads, and sizes the
// slice digests to T (new ones zero); false when the sizes do not fit (a payload below 0, the
// set's files together, the parity or H past 2^63 - 1 bytes), are not cut as a split cuts a set
// (pieces of one size, the last of 1 byte to that size), F, N or S is out of range, T is past
// MaxReadSliceDigests, or the version is not one of the two.
bool CompleteRecoveryGeometry(RecoveryHeader* header);
// The geometry the writer gives the header's payloads (Code, F, N and Files filled in): version
// and S (sliceSize; 0: WriterSliceSize's), then C, H and P as CompleteRecoveryGeometry gives them,
// and false where it does.
bool CompleteWriterGeometry(RecoveryHeader* header, int32_t version, int32_t sliceSize);
// As CompleteRecoveryGeometry, but the slice digests are only counted (*fileSlices,
// *paritySlices), not given room.
bool MeasureRecoveryGeometry(RecoveryHeader* header, int64_t* fileSlices, int64_t* paritySlices);
// The header's bytes, its self-check included.
std::vector<uint8_t> RecoveryHeaderBytes(const RecoveryHeader& header);
// The fixed fields (RecoveryFixedSize bytes): magic, version, code, counts in range, C as it
// follows from F and N, S in range, and H: as F and C give it without slices, and with them at
// least that plus whole slice digests, at most MaxReadSliceDigests of them (the payloads, which
// give T, lie past the fixed fields). False otherwise. The rest of *header is left empty.
bool ParseRecoveryFixed(const uint8_t* bytes, RecoveryHeader* header);
// The start of a header whose fixed fields are parsed (fixed): its first RecoveryStartLength
// bytes, the fixed fields, the header copy, the files and this row's parity digests, all before
// the slice digests. ParseRecoveryStart fills in the copy, Files and ParityDigests from them,
// unchecked by the self-check: a header is judged by them before its slice digests are loaded.
int64_t RecoveryStartLength(const RecoveryHeader& fixed);
void ParseRecoveryStart(const uint8_t* bytes, RecoveryHeader* header);
// A whole header of length bytes: the fixed fields, the self-check, and P and H as the payloads
// give them.
bool ParseRecoveryHeader(const uint8_t* bytes, int64_t length, RecoveryHeader* header);
// Two recovery files belong to the same set: equal in everything but the row and parity digests
// (whole and sliced).
bool SameRecoverySet(const RecoveryHeader& a, const RecoveryHeader& b);

// ".r01" for row 0, ".r02", ... (two digits at least): the name's ending beside BASE. Inline:
// the Windows build of the tool, which has no recovery module, names them too (split --force
// removes an older set's).
inline std::string RecoverySuffix(int32_t row) {
  std::string digits = std::to_string(row + 1);
  return ".r" + std::string(digits.size() < 2 ? 2 - digits.size() : 0, '0') + digits;
}
