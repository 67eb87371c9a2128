// Copies through memory, the part of copying that is the same on every system: a chunk read,
// hashed where asked, and written unless it is all zeros. The system's own copies are
// posix/copy.cpp and windows/copy.cpp.
#include "cli/cli_copy.h"

#include <string.h>

#include <algorithm>

#include "integrity/crc32c.h"
#include "cli/cli_progress.h"

// 1 MiB: faster than 256 KiB here for reading, hashing and writing, at the best times of both
// and without the hash at the median too (tools/bench_table.sh, the copy rows, side by side).
static const size_t ChunkSize = 1 << 20;

bool AllZero(const char* bytes, size_t count) {
  // Every byte equal to the one before it, and the first zero: one fast compare.
  return count == 0 || (bytes[0] == 0 && memcmp(bytes, bytes + 1, count - 1) == 0);
}

// Reads one chunk: 1 when it was read, 0 when the source ends before its end (it became shorter
// since it was measured), -1 on an error (OsLastError).
static int ReadChunk(OsFile in, void* bytes, size_t count, int64_t offset) {
  if (OsReadAt(in, bytes, count, offset)) return 1;
  OsFileInfo info;
  if (OsInfo(in, &info) && info.Size < offset + static_cast<int64_t>(count)) return 0;
  // Once more, so that OsLastError holds the read's own error, whatever OsInfo left there.
  return OsReadAt(in, bytes, count, offset) ? 1 : -1;
}

// Writes a chunk read for out (see CopyThroughMemory): in order when dense, else at offset unless
// it is all zeros.
static bool PutChunk(OsFile out, const char* bytes, size_t count, int64_t offset, bool dense) {
  if (dense) return OsWriteNext(out, bytes, count);
  return AllZero(bytes, count) || OsWriteAt(out, bytes, count, offset);
}

int64_t CopyInChunks(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                     int64_t progressBase, char* buffer, size_t size, uint32_t* crc, bool dense,
                     ChunkSink* sink) {
  int64_t done = 0;
  while (done < count) {
    if (OsStopBeforeChunk()) return -1;
    size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(size)));
    int read = ReadChunk(in, buffer, chunk, inOffset + done);
    if (read <= 0) return read == 0 ? done : -1;
    if (crc != nullptr) *crc = Crc32cAdd(*crc, buffer, chunk);
    if (sink != nullptr) sink->Add(buffer, chunk);
    if (out != NoFile && !PutChunk(out, buffer, chunk, outOffset + done, dense)) return -1;
    done += static_cast<int64_t>(chunk);
    ProgressUpdate(progressBase + done);
  }
  return done;
}

int64_t CopyThroughMemory(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset, int64_t count,
                          int64_t progressBase, uint32_t* crc, bool dense, ChunkSink* sink) {
  alignas(4096) static char buffer[ChunkSize];  // on a page boundary, as the system copies best
  return CopyInChunks(in, inOffset, out, outOffset, count, progressBase, buffer, sizeof buffer, crc,
                      dense, sink);
}

int StreamReader::Peek() {
  if (begin_ < end_) return 1;
  if (ended_) return 0;
  if (OsStopBeforeChunk()) return -1;
  if (buffer_.empty()) buffer_.resize(ChunkSize);
  // A whole chunk where the stream gives it (a pipe gives 64 KiB at a time), so that chunks of
  // zeros are as long as from a file.
  begin_ = end_ = 0;
  while (end_ < buffer_.size()) {
    int64_t got = OsReadNext(in_, &buffer_[end_], buffer_.size() - end_);
    if (got < 0) return -1;
    if (got == 0) {
      ended_ = true;
      break;
    }
    end_ += static_cast<size_t>(got);
  }
  return end_ > 0 ? 1 : 0;
}

int64_t StreamReader::CopyTo(OsFile out, int64_t outOffset, int64_t count, int64_t progressBase,
                             uint32_t* crc, ChunkSink* sink) {
  int64_t done = 0;
  while (done < count) {
    int waiting = Peek();
    if (waiting <= 0) return waiting == 0 ? done : -1;
    size_t chunk =
        static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(end_ - begin_)));
    const char* bytes = &buffer_[begin_];
    *crc = Crc32cAdd(*crc, bytes, chunk);
    if (sink != nullptr) sink->Add(bytes, chunk);
    if (!PutChunk(out, bytes, chunk, outOffset + done, false)) return -1;
    begin_ += chunk;
    done += static_cast<int64_t>(chunk);
    ProgressUpdate(progressBase + done);
  }
  return done;
}
