// Copies through memory, the part of copying that is the same on every system: a chunk read,
// hashed where asked, and written unless it is all zeros. The system's own copies are
// copy_posix.cpp and copy_windows.cpp.
#include "cli/set/copy.h"

#include <string.h>

#include <algorithm>
#include <atomic>

#include "cli/show/progress.h"
#include "integrity/crc32c.h"

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

// 256 KiB for a read that is only hashed: each chunk is still in the core's cache when it is
// hashed. Faster than 1 MiB here, on one thread or two, at the best times and the median
// (tools/bench_table.sh, the verify row); 128 KiB is no faster.
static const size_t HashChunkSize = 1 << 18;

namespace {
// One thread's share of a copy on two: Count bytes from Offset, read and hashed chunk by chunk,
// and written to Out at OutOffset as CopyThroughMemory writes them (Out NoFile: not written).
struct ReadShare {
  OsFile In = NoFile;
  int64_t Offset = 0;
  int64_t Count = 0;
  OsFile Out = NoFile;
  int64_t OutOffset = 0;
  char* Buffer = nullptr;
  std::atomic<int64_t> Done{0};        // bytes read, hashed and written so far
  std::atomic<bool> Abandoned{false};  // the other share failed before this one matters
  uint32_t Crc = 0;                    // of the bytes done
  int Read = 1;                        // as ReadChunk: 1 all read, 0 the source ended, -1 failed
  int Error = 0;                       // OsLastError of a failure
};
}  // namespace

// Reads, hashes and writes a share. On the caller's thread (beside: the other share, whose bytes done
// count too) it tells the progress.
static void ReadShareChunks(ReadShare* share, const ReadShare* beside, int64_t progressBase) {
  int64_t done = 0;
  while (done < share->Count) {
    if (share->Abandoned || OsStopBeforeChunk()) {
      share->Read = -1;
      share->Error = OsLastError();
      return;
    }
    size_t chunk = static_cast<size_t>(std::min<int64_t>(share->Count - done, HashChunkSize));
    share->Read = ReadChunk(share->In, share->Buffer, chunk, share->Offset + done);
    if (share->Read <= 0) {
      share->Error = OsLastError();
      return;
    }
    share->Crc = Crc32cAdd(share->Crc, share->Buffer, chunk);
    if (share->Out != NoFile &&
        !PutChunk(share->Out, share->Buffer, chunk, share->OutOffset + done, false)) {
      share->Read = -1;
      share->Error = OsLastError();
      return;
    }
    done += static_cast<int64_t>(chunk);
    share->Done = done;
    if (beside != nullptr) ProgressUpdate(progressBase + done + beside->Done);
  }
}

static void ReadShareBeside(void* share) {
  ReadShareChunks(static_cast<ReadShare*>(share), nullptr, 0);
}

// What the read of both shares comes to, as one read of them in order would have ended: the
// first share's end wins over anything the second found after it.
static int64_t BothShares(const ReadShare& first, const ReadShare& second, uint32_t* crc) {
  if (first.Read != 1) {
    *crc = Crc32cJoin(*crc, first.Crc, first.Done);
  } else {
    *crc = Crc32cJoin(Crc32cJoin(*crc, first.Crc, first.Count), second.Crc, second.Done);
  }
  const ReadShare& ended = first.Read != 1 ? first : second;
  if (ended.Read < 0) {
    OsSetLastError(ended.Error);
    return -1;
  }
  return (first.Read != 1 ? 0 : first.Count) + ended.Done;
}

int64_t CopyOnTwoThreads(OsFile in, int64_t inOffset, OsFile out, int64_t outOffset,
                         int64_t count, int64_t progressBase, uint32_t* crc) {
  alignas(4096) static char buffers[2][HashChunkSize];
  // The first share the first half of the chunks (the one more of an odd count), so that every
  // chunk is where one thread would read it.
  const int64_t chunk = static_cast<int64_t>(HashChunkSize);
  int64_t chunks = (count + chunk - 1) / chunk;
  ReadShare first, second;
  first.In = second.In = in;
  first.Out = second.Out = out;
  first.Offset = inOffset;
  first.OutOffset = outOffset;
  first.Count = std::min(count, (chunks + 1) / 2 * chunk);
  first.Buffer = buffers[0];
  second.Offset = inOffset + first.Count;
  second.OutOffset = outOffset + first.Count;
  second.Count = count - first.Count;
  second.Buffer = buffers[1];
  OsThread thread = 0;
  bool beside = second.Count > 0 && OsStartThread(ReadShareBeside, &second, &thread);
  ReadShareChunks(&first, &second, progressBase);
  if (beside) {
    if (first.Read != 1) second.Abandoned = true;
    OsJoinThread(thread);
  } else if (first.Read == 1) {
    ReadShareChunks(&second, &first, progressBase);  // no thread to be had: after the first
  }
  int64_t done = BothShares(first, second, crc);
  if (done > 0) ProgressUpdate(progressBase + done);
  return done;
}

int64_t HashThroughMemory(OsFile in, int64_t inOffset, int64_t count, int64_t progressBase,
                          uint32_t* crc) {
  return CopyOnTwoThreads(in, inOffset, NoFile, 0, count, progressBase, crc);
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
