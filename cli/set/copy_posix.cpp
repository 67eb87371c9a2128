// Copying on Linux: copy_file_range where it works, plain reads and writes where it does not,
// and the source's holes found with SEEK_DATA and SEEK_HOLE and left as holes.
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "cli/set/copy.h"
#include "cli/show/progress.h"

static bool CopyRangeMissing = false;  // the kernel has no copy_file_range at all
static const int64_t CopyChunk = 32 << 20;
// 128 KiB: as fast as cat here, where 1 MiB blocks made plain copies several times slower.
static const size_t BufferSize = 128 << 10;

// One chunk through copy_file_range: the bytes copied; 0 when the pair of files refuses it (or
// the source ends: plain reads find out which); -1 on a real error (EIO, ENOSPC, EFBIG...).
static int64_t CopyRange(int in, int64_t inOffset, int out, int64_t outOffset, int64_t chunk) {
  for (;;) {
    loff_t from = inOffset;
    loff_t to = outOffset;
    ssize_t n = copy_file_range(in, &from, out, &to, static_cast<size_t>(chunk), 0);
    if (n >= 0) return n;
    if (errno == EINTR && !CliInterrupted) continue;
    if (errno == ENOSYS) CopyRangeMissing = true;
    bool refused = errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP ||
                   errno == EBADF || errno == ETXTBSY || errno == EPERM;
    return refused ? 0 : -1;
  }
}

// One chunk through a buffer: the bytes copied, 0 at the end of the source, -1 on an error.
static int64_t CopyThroughBuffer(int in, int64_t inOffset, int out, int64_t outOffset,
                                 int64_t chunk) {
  static std::vector<char> buffer;
  if (buffer.empty()) buffer.resize(BufferSize);
  for (;;) {
    ssize_t n = pread(in, buffer.data(), static_cast<size_t>(std::min<int64_t>(chunk, BufferSize)),
                      inOffset);
    if (n < 0 && errno == EINTR && !CliInterrupted) continue;
    if (n <= 0) return n;
    return OsWriteAt(out, buffer.data(), static_cast<size_t>(n), outOffset) ? n : -1;
  }
}

// Copies a run of data (no holes looked for). Returns the bytes copied, less than count when the
// source ends; -1 on an error.
static int64_t CopyDense(int in, int64_t inOffset, int out, int64_t outOffset, int64_t count,
                         int64_t progressAt) {
  bool useRange = !CopyRangeMissing;
  int64_t done = 0;
  while (done < count) {
    if (OsStopBeforeChunk()) return -1;
    int64_t chunk = std::min(count - done, CopyChunk);
    int64_t n = useRange ? CopyRange(in, inOffset + done, out, outOffset + done, chunk)
                         : CopyThroughBuffer(in, inOffset + done, out, outOffset + done, chunk);
    if (n < 0) return -1;
    if (n == 0 && useRange) {
      useRange = false;
      continue;
    }
    if (n == 0) return done;
    done += n;
    ProgressUpdate(progressAt + done);
  }
  return done;
}

int64_t CopyFileBytes(OsFile inFile, int64_t inOffset, OsFile outFile, int64_t outOffset,
                      int64_t count, int64_t progressBase) {
  int in = static_cast<int>(inFile), out = static_cast<int>(outFile);
  int64_t done = 0;
  bool holesKnown = true;
  while (done < count) {
    if (OsStopBeforeChunk()) return -1;
    int64_t pos = inOffset + done;
    int64_t run = count - done;
    if (holesKnown) {
      off_t data = lseek(in, pos, SEEK_DATA);
      if (data < 0 && errno == ENXIO) {
        // No data from pos on: a hole up to the end of the file (or pos is past the end).
        OsFileInfo info;
        if (!OsInfo(inFile, &info)) return -1;
        int64_t end = std::min<int64_t>(info.Size, inOffset + count);
        if (end > pos) done += end - pos;
        return done;
      }
      if (data < 0) {
        holesKnown = false;  // the file system does not tell: everything is data
      } else if (data > pos) {
        done += std::min<int64_t>(data - pos, run);
        ProgressUpdate(progressBase + done);
        continue;
      } else {
        off_t hole = lseek(in, pos, SEEK_HOLE);
        if (hole > pos) run = std::min<int64_t>(hole - pos, run);
      }
    }
    int64_t got = CopyDense(in, pos, out, outOffset + done, run, progressBase + done);
    if (got < 0) return -1;
    done += got;
    if (got < run) return done;  // the source ended early
  }
  return done;
}
