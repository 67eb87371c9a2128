// Recovery files: N extra files beside a set (BASE.r01, BASE.r02, ...) from which any N bad files
// of each group of the set can be rebuilt exactly. The code is Reed–Solomon over GF(2^8) through
// ISA-L; the layout of a recovery file is in recovery_format.h.
//
// The set's files are numbered as the join reads them: file 0 is the container (its payload,
// from byte 30720 on, is what the code covers), file 1 is BASE.c001, and so on. For coding, every
// file of a group is taken as zero-padded to the group's longest payload. The container's stub and
// header are checked against the recovery header and written again from it: when only they are
// bad, the container costs no recovery row.
//
// Groups: GF(2^8) allows at most 255 files (data and recovery rows together) in one code word, so
// a set of F files with N recovery files is cut into C = ceil(F / (255 - N)) groups; file i
// belongs to group i mod C. Each recovery file carries one row of parity for every group. The
// guarantee: in every group, the files lost or damaged plus the recovery files lost or damaged
// (for that group) may add up to N; everything is then rebuilt. A set of at most 255 - N files is
// one group: any N of its files. With slice digests (recovery_format.h) the guarantee holds per
// stripe: a damaged file is lost only in its slices whose digest differs.
//
// Memory: the coding buffers take 1 MiB per file and recovery row of the group (256 KiB when
// encoding; less in large groups: at most 32 MiB in all), whatever the size of the pieces; reads
// for digests take 1 MiB more; a recovery header holds 12 bytes per file of the set and 4 per slice
// (a survey reads one per recovery file, and keeps a byte per slice of the set and of each row).
//
// Every call takes the caller's open files (FileAccess) and plain data, so the tool can give it
// files over its own system seam; nothing here prints. Nothing here writes to a file of the set:
// a repair writes into targets the caller provides, and the caller puts them in place afterwards.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <vector>

#include "recovery/file_access.h"
#include "recovery/recovery_format.h"

enum RecoveryOutcome {
  RecoveryDone,
  RecoveryRefused,         // a call the functions cannot serve: no files, N out of range, a target
                           // or the stub missing for a file to rebuild
  RecoveryNotASet,         // encoding: the container is shorter than 30720 bytes, the sizes do not
                           // fit in 63 bits or differ from the container's digest block
  RecoverySetDamaged,      // encoding: a file's CRC-32C differs from the container's digest block
  RecoveryNoRecoveryFile,  // no recovery file with a valid header among those given
  RecoveryOtherSet,  // the container's digest block checks, and no recovery file agrees with it
  RecoveryNotRepairable,  // a group has more lost files than good recovery rows: nothing written
  RecoveryReadFailed,
  RecoveryWriteFailed,
  RecoveryVerifyFailed,  // a rebuilt file read back does not match its digest
  RecoveryInterrupted,
};

// The outcome and the file it concerns: SetFile (a file of the set, or -1) or Row (a recovery
// file by its row, 0 for BASE.r01, or -1).
struct RecoveryResult {
  RecoveryOutcome Outcome;
  int32_t SetFile;
  int32_t Row;
};

// Writes the recovery files of a set. setFiles[n] is file n of the set (all present, readable);
// outputs[r] receives row r, empty and writable; N is outputs.size(), 1 to MaxRecoveryRows. A
// null output skips its row (to make one lost recovery file again). The parity is written first
// and every header last, so an output left by a failure carries no valid header. When the
// container carries a digest block, the files' sizes and (one digest per piece) CRCs must match
// it: recovery files never preserve damage. version and sliceSize: the format and S written (a
// lost recovery file is made again as its fellows are; 0: the writer's S). beside (null, or a
// thread the caller lends): each group is read and coded on two threads, half of it on each.
RecoveryResult EncodeRecovery(const std::vector<const FileAccess*>& setFiles,
                              const std::vector<const FileAccess*>& outputs,
                              RecoveryProgress* progress, int32_t version = RecoveryFormatVersion,
                              int32_t sliceSize = 0, WorkBeside* beside = nullptr);

// Encoding a set while it is written, its input read once: setFiles give their sizes as they will
// be and their payloads as the coding reads them (each read may write the bytes into the file as
// it goes); the container's stub and header are not read, they depend on the payloads' CRCs.
// EncodeParity writes every row's parity and leaves the CRC of every payload (from 0) in
// encoding->Header.Files; the caller then writes the container's stub and header, and
// FinishRecovery reads them from container, checks them as EncodeRecovery does (sizes and CRCs
// against the digest block) and writes every header. Outcomes as EncodeRecovery's; beside as
// its (the files are then read from two threads at once, in no order).
struct RecoveryEncoding {
  RecoveryHeader Header;
  std::vector<std::vector<uint32_t>> ParityDigests;  // per row, per group
  std::vector<std::vector<uint32_t>> ParitySlices;   // per row, as ParitySliceStarts lays them
};
RecoveryResult EncodeParity(const std::vector<const FileAccess*>& setFiles,
                            const std::vector<const FileAccess*>& outputs,
                            RecoveryProgress* progress, RecoveryEncoding* encoding,
                            WorkBeside* beside = nullptr);
RecoveryResult FinishRecovery(const FileAccess& container,
                              const std::vector<const FileAccess*>& outputs,
                              RecoveryEncoding* encoding);

// The header of one recovery file; false when the file holds no valid one. admit, where given,
// judges the header by its start (the fixed fields, the header copy, the files, the parity
// digests) before the slice digests are read: false leaves the file unread past that.
bool ReadRecoveryHeader(const FileAccess& file, RecoveryHeader* header,
                        const std::function<bool(const RecoveryHeader& start)>& admit = nullptr);
// The start of a recovery file's header (as ParseRecoveryStart gives it: no slice digests) where
// the whole header's self-check holds, read a chunk at a time: what a header says of the set,
// whatever its size, for the memory of one chunk. False when the file holds no valid header.
bool ReadRecoveryHeaderStart(const FileAccess& file, RecoveryHeader* header);
// The copy of the container's header that a recovery header carries holds a valid digest block,
// and the header's files agree with it (count, sizes, the digest of every run, the stub digest).
bool CarriesSoundHeader(const RecoveryHeader& header);
// The copy of the container's stub after a recovery file's parity (header: the file's own), into
// stub (StubSize bytes); false when the file holds none (an older file, or cut short) or its
// CRC-32C is not the header's StubDigest.
bool ReadStubCopy(const FileAccess& file, const RecoveryHeader& header, uint8_t* stub);

// How a file of the set compares with the recovery header.
enum FileState : uint8_t {
  FileGood,
  FileMissing,        // not given
  FileWrongSize,      // shorter or longer than its payload (and, for the container, 30720 bytes)
  FileUnreadable,     // a read failed
  FileDamaged,        // its payload's CRC-32C differs
  FilePrefixDamaged,  // the container only: its stub or header differs, its payload is good
};
// The file's payload is lost: it must come from the code.
bool PayloadLost(FileState state);
// The file must be written again (a lost payload, or the container's first 30720 bytes).
bool NeedsRewrite(FileState state);

// Checks file n of the set against header: size, payload digest, and for the container its
// header bytes and the CRC-32C of its stub, which must be stubDigest (header.StubDigest for the
// stub the set was made with). file null: FileMissing.
FileState CheckSetFile(const RecoveryHeader& header, int32_t n, const FileAccess* file,
                       uint32_t stubDigest, RecoveryProgress* progress, bool* interrupted);

// The CRC-32C of a stub image (StubSize bytes), as the header's StubDigest holds it.
uint32_t StubDigestOf(const uint8_t* stub);

struct GroupVerdict {
  int32_t Files;      // files of the set in the group
  int32_t LostFiles;  // files whose payload is lost in the stripe that decides (see below)
  int32_t GoodRows;   // recovery rows whose parity of that stripe is present and matches
};

// Everything a repair needs, found by reading the set and its recovery files once.
//
// Stripes: with slice digests, slice i of every file of a group and of every row's parity of it
// is one stripe, coded apart from the others: a damaged file loses only its slices whose digest
// differs, and a stripe is mended when its lost slices are no more than its good parity slices.
// Without them (an older recovery file) each group is one stripe and a damaged file lost whole.
// A group's verdict is the stripe with the least to spare (good rows less lost files), the first
// of equals.
struct SetSurvey {
  RecoveryHeader Header;           // the set as (most of) the recovery files describe it
  std::vector<FileState> Files;    // one per file of the set
  std::vector<int32_t> RowSource;  // per row: index into the recovery files given, -1 when absent
  std::vector<uint8_t> RowGood;    // [r * GroupCount + g]: row r's parity of group g is good
  std::vector<GroupVerdict> Groups;
  int64_t StripeSize;  // bytes: S, or without slices the longest group's (at least 1)
  // Per slice of every file (laid out as FirstFileSlice gives it with StripeSize): its bytes
  // are lost and must come from the code.
  std::vector<uint8_t> SliceLost;
  // Per group its first stripe (C + 1 entries, the last the count, as ParitySliceStarts gives
  // them with StripeSize); per row and stripe, [r * count + i]: row r's parity slice is good.
  std::vector<int64_t> StripeStarts;
  std::vector<uint8_t> RowSliceGood;
  // Per stripe: its lost slices are in their targets already, rebuilt while the set was surveyed
  // (SurveySet's early targets).
  std::vector<uint8_t> StripeRebuilt;
  int32_t FilesToRewrite;     // files with NeedsRewrite
  int32_t LostFiles;          // files with PayloadLost (some of their bytes are lost)
  int32_t GoodRecoveryFiles;  // rows good in every group
  bool Repairable;            // in every stripe, at least as many good rows as lost files
  // Per file of the set: the container's own evidence condemns the file there, where its digest
  // block is the authority: its size differs from the block's, or its digest (its own, or its
  // run's with every file of the run read), or for the container its stub from the stub digest;
  // and the container itself where its header is damaged (its block's self-check fails).
  // A file to rewrite that is there and not condemned is bad on the recovery files' word alone.
  std::vector<uint8_t> Condemned;
  // The container's block condemns more than half of the pieces there (two at least), in more
  // than half of their slices: it may be another set's container rather than theirs.
  bool ContainerSuspect;
};

// Whether slice i (of StripeSize bytes) of file n's payload is lost.
bool SliceLostOf(const SetSurvey& survey, int32_t n, int64_t i);
// Leaves recovery row r out (a rebuild from it missed a digest: its parity is not what its own
// digests say) and judges the set again; nothing rebuilt on the way is taken as done any more.
void LeaveOutRow(SetSurvey* survey, int32_t r);
// Takes the container as good (its joiner program is another, sound one) and judges the set
// again.
void TakeContainerAsGood(SetSurvey* survey);

// Reads every recovery file given (any order; their headers name their rows; files of another
// set or with a broken header are left out; a longer file still serves, its parity being whole)
// and every file of the set (setFiles[n], null or past the end when missing), and judges them.
// Where the container's digest block checks, it is the authority: a recovery file serves only
// when it carries the container's header and its sizes and digests are the block's, and a run of
// files whose sizes and digest are the block's must be found good. Without that authority, a
// recovery file serves when it agrees with the block of the header it carries (if that has one),
// and the set is the one most of them describe. RecoveryDone with *survey filled, or
// RecoveryNoRecoveryFile, RecoveryOtherSet (valid recovery files, none of the container's set),
// RecoveryInterrupted.
//
// knownGood (null, or one per file): the caller has read file n's payload and found it to have
// the size and digest the container's digest block gives it. Where that block is the authority,
// such a payload is not read again (the container's stub and header still are).
//
// early (null, or a repair's targets): the files found lost before a byte is read (missing, or of
// the wrong size) are rebuilt into their targets while their groups are read, so that a repair
// reads the survivors once; the stripes so rebuilt are marked in StripeRebuilt, and RepairSet,
// given the same targets, leaves them as they are. A target refused, a failed read or too few
// recovery files: the group is surveyed as without early, and nothing of it is marked. beside
// (null, or a thread the caller lends): those groups are read and rebuilt on two threads.
RecoveryResult SurveySet(const std::vector<const FileAccess*>& setFiles,
                         const std::vector<const FileAccess*>& recoveryFiles,
                         RecoveryProgress* progress, SetSurvey* survey,
                         const std::vector<uint8_t>* knownGood = nullptr,
                         RebuildTargets* early = nullptr, WorkBeside* beside = nullptr);

// Rebuilds every file of the set with NeedsRewrite into targets[n] (empty, readable and
// writable; the others may be null): its slices not lost copied from the file as it is, its lost
// ones decoded stripe by stripe from the slices the survey found good and the recovery files at
// the survey's indices; then reads each target back and checks it against its digest.
// A rebuilt container is stub (StubSize bytes, the caller's: the stub the set was made with
// where it can, see StubDigestOf), the header copy, the payload. Not repairable: nothing is
// written. Set files and recovery files are only read. Stripes the survey marks rebuilt are taken
// to be in targets already (SurveySet's early targets); the read-back checks them too.
RecoveryResult RepairSet(const SetSurvey& survey, const std::vector<const FileAccess*>& setFiles,
                         const std::vector<const FileAccess*>& recoveryFiles,
                         const std::vector<const FileAccess*>& targets, const uint8_t* stub,
                         RecoveryProgress* progress);
// The bytes of the set RepairSet reads and tells progress of, in all: the good slices it copies,
// the survivors of the stripes it decodes, every target read back.
int64_t RepairReadBytes(const SetSurvey& survey);
