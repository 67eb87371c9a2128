// The files read a chunk at a time, as encoding, checking and rebuilding read them: a payload's
// chunk padded with zeros, the CRC-32C of a range, progress told after each chunk; and the
// result of a call.
#pragma once

#include <stdint.h>

#include <vector>

#include "recovery/recovery.h"

enum : int32_t {
  ChunkLimit = 1 << 20,  // bytes per file and chunk, at most
  CacheBlock = 64 << 10,  // bytes per file digested then coded while they are in the cache
};

// How many bytes of a payload of payload bytes fall in [offset, offset + length).
inline int64_t PayloadBytesIn(int64_t payload, int64_t offset, int64_t length) {
  int64_t left = payload - offset;
  return left <= 0 ? 0 : left < length ? left : length;
}

// Reads the bytes of a payload that fall in [offset, offset + length) into buffer and fills the
// rest of it with zeros; returns the count read, -1 when the read fails.
int32_t ReadPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset,
                   uint8_t* buffer, int32_t length);

// The count bytes of file at offset: in place where the file shows them (FileAccess::View) and
// view allows it, else read into buffer; null when the read fails.
const uint8_t* ViewOrRead(const FileAccess& file, uint8_t* buffer, size_t count, int64_t offset,
                          bool view = true);
// As ReadPadded, the bytes in place where they fill length (*view then points at them, else at
// buffer).
int32_t ViewPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset,
                   uint8_t* buffer, int32_t length, const uint8_t** view, bool mayView = true);

// The CRC-32C of length bytes of file from at, read in chunks of buffer's size. Done,
// RecoveryReadFailed or RecoveryInterrupted.
RecoveryOutcome DigestOfRange(const FileAccess& file, int64_t at, int64_t length,
                              std::vector<uint8_t>* buffer, RecoveryProgress* progress,
                              uint32_t* digest);
// As DigestOfRange, and with size > 0 the CRC-32C of each slice of size bytes of the range into
// slices (ceil(length / size) of them, the whole digest joined from theirs).
RecoveryOutcome DigestOfSlices(const FileAccess& file, int64_t at, int64_t length, int64_t size,
                               std::vector<uint8_t>* buffer, RecoveryProgress* progress,
                               std::vector<uint32_t>* slices, uint32_t* digest);

// Adds count bytes lying at offset of a stream to the CRC-32Cs of the stream's slices of size
// bytes (slices[0] the first slice's); the bytes of each slice come in order, in any split.
void AddToSlices(uint32_t* slices, int64_t size, int64_t offset, const uint8_t* bytes,
                 size_t count);
// The CRC-32C of length bytes from the CRC-32Cs of their slices of size bytes.
uint32_t JoinSlices(const uint32_t* slices, int64_t size, int64_t length);

// Work on a stretch of bytes a chunk at a time, in one lane or in two side by side (RunLanes).
class LaneWork {
 public:
  // The length bytes at offset, in lane (0 or 1, each with buffers and digests of its own);
  // *read: the bytes to tell progress of. Anything but RecoveryDone stops both lanes.
  virtual RecoveryResult ChunkAt(int32_t lane, int64_t offset, int32_t length, int64_t* read) = 0;
  // The lane's share is done, or it was stopped.
  virtual void LaneDone(int32_t lane) { (void)lane; }

 protected:
  ~LaneWork() = default;
};

enum : int32_t { MaxLanes = 2 };

// Where the second lane begins on length bytes in chunks of chunk: the first chunk past the
// half where a thread is lent, else (and where that is the end) length: one lane does it all.
int64_t SecondLaneFrom(int64_t length, int32_t chunk, const WorkBeside* beside);
// The length bytes, chunk by chunk: the first lane's up to second on the caller's thread, the
// rest on the thread beside (after the first's where none is to be had). Progress is told
// from the caller's thread. The first failure's result, else RecoveryInterrupted where progress
// stopped the work, else RecoveryDone.
RecoveryResult RunLanes(LaneWork* work, int64_t length, int64_t second, int32_t chunk,
                        WorkBeside* beside, RecoveryProgress* progress);
// The CRC-32Cs of the slices of size bytes of a stream of length bytes (taken from its start)
// joined with second's (taken from from on): each slice's CRC of all its bytes.
void JoinSliceLanes(uint32_t* slices, const uint32_t* second, int64_t size, int64_t length,
                    int64_t from);

// Tells progress; false when the caller stops the work.
inline bool GoOn(RecoveryProgress* progress, int64_t bytes) {
  return progress == nullptr || progress->Step(bytes);
}

inline RecoveryResult Result(RecoveryOutcome outcome, int32_t setFile = -1, int32_t row = -1) {
  return {outcome, setFile, row};
}
