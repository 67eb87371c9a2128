// Copying a run of one file into another, in two ways: as the system copies best
// (CopyFileBytes: copy_posix.cpp with copy_file_range, copy_windows.cpp in large blocks), and
// through memory, every byte hashed on its way (CopyThroughMemory, copy.cpp). Either way the
// output is a new file filled in order, zero wherever nothing is written, whose length the
// caller sets: the source's holes, or its chunks of zeros, are not written and stay holes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "cli/os/os.h"

// What else takes every chunk copied through memory, in order (split --checksums: SHA-256).
class ChunkSink {
 public:
  virtual void Add(const void* bytes, size_t count) = 0;

 protected:
  ~ChunkSink() = default;
};

// Copies count bytes of in from inOffset to out at outOffset. Holes of the source are skipped
// (left as holes in out, which must be zero there: a new file being filled in order); the caller
// sets the final length. progressBase + bytes done so far go to ProgressUpdate. Returns the
// bytes copied (less than count when the source ends early); -1 on an error (OsLastError), or
// when CliInterrupted is set.
int64_t CopyFileBytes(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                      int64_t progressBase);

// Whether count bytes are all zeros (a chunk left as a hole in a new file).
bool AllZero(const char* bytes, size_t count);

// Reads count bytes of in from inOffset into memory, chunk by chunk, continues *crc over them and
// writes them to out at outOffset (out NoFile: reads and hashes only); sink, where given, takes
// every chunk too. Chunks of zeros are not
// written: out is a new file filled in order, whose length the caller sets, so they stay holes;
// unless dense, where every chunk is written in order, after what was written before, whatever
// outOffset says (out is a stream, which has no holes, or standard output).
// progressBase + bytes done go to ProgressUpdate. Returns count; fewer when in ends early; -1 on
// an error (OsLastError) or an interruption (OsStopBeforeChunk).
int64_t CopyThroughMemory(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                          int64_t progressBase, uint32_t* crc, bool dense = false,
                          ChunkSink* sink = nullptr);

// Reads count bytes of in from inOffset and continues *crc over them, as CopyThroughMemory does
// with no output and no sink (the same result and error for the same bytes), on two threads
// where there is more than a chunk: this one reads and hashes the first half of the chunks, a
// thread beside it the second, and the two CRCs are joined (verify: reading from the page cache
// and hashing together take one core longer than a plain read). Each thread asks
// OsStopBeforeChunk before every chunk it reads; progressBase + bytes done go to ProgressUpdate
// from this thread only.
int64_t HashThroughMemory(OsFile in, int64_t inOffset, int64_t count, int64_t progressBase,
                          uint32_t* crc);
// As HashThroughMemory, each thread writing the chunks it read to out at outOffset as
// CopyThroughMemory writes them (not dense: chunks of zeros stay holes): join, where every byte is
// hashed. Where either share fails, what it wrote stays (the caller deletes the output).
int64_t CopyOnTwoThreads(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset,
                         int64_t count, int64_t progressBase, uint32_t* crc);

// The loop of CopyThroughMemory, and of a system's copy that goes through memory too (Windows):
// chunks of at most size bytes through buffer, *crc continued over them unless crc is null.
int64_t CopyInChunks(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                     int64_t progressBase, char* buffer, size_t size, uint32_t* crc, bool dense,
                     ChunkSink* sink = nullptr);

// A stream read in order (standard input, for split -), a chunk ahead: its end is known before
// anything is made for data that is not there.
class StreamReader {
 public:
  explicit StreamReader(OsFile in) : in_(in) {}
  // 1 when data waits, 0 when the stream has ended, -1 on an error or an interruption
  // (OsLastError).
  int Peek();
  // Moves up to count bytes of what comes next to out at outOffset as CopyThroughMemory does
  // (chunks of zeros left as holes), *crc continued over them, sink (where given) taking them
  // too. Returns count; fewer when the stream ends; -1 on an error or an interruption
  // (OsLastError).
  int64_t CopyTo(OsFile out, int64_t outOffset, int64_t count, int64_t progressBase, uint32_t* crc,
                 ChunkSink* sink = nullptr);

 private:
  OsFile in_;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // what waits: buffer_[begin_, end_)
  size_t end_ = 0;
  bool ended_ = false;
};
