// The ways a join can copy a set into one file, timed by bench_table.py against cat:
//   bench_copy kernel SHIFT OUT CONTAINER PIECE...  copy_file_range at the set's offsets in OUT,
//                                                    every piece SHIFT bytes further on;
//   bench_copy rw CHUNK OUT CONTAINER PIECE...      pread and pwrite in chunks of CHUNK bytes;
//   bench_copy crc CHUNK OUT CONTAINER PIECE...     the same with CRC-32C over every chunk, as
//                                                    the tool's join copies (cli/set/copy.cpp).
// The container's data begins at byte 30720. Prints the CRCs' sum, so none is optimised away.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "container/layout.h"
#include "integrity/crc32c.h"

static void Fail(const char* what) {
  perror(what);
  exit(1);
}

static bool KernelCopy(int in, off_t inOffset, int out, off_t outOffset, off_t count) {
  while (count > 0) {
    ssize_t done = copy_file_range(in, &inOffset, out, &outOffset, static_cast<size_t>(count), 0);
    if (done <= 0) return false;
    count -= done;
  }
  return true;
}

static bool MemoryCopy(int in, off_t inOffset, int out, off_t outOffset, off_t count, char* buffer,
                       size_t chunk, uint32_t* crc) {
  while (count > 0) {
    size_t want = count < static_cast<off_t>(chunk) ? static_cast<size_t>(count) : chunk;
    ssize_t got = pread(in, buffer, want, inOffset);
    if (got <= 0) return false;
    if (crc != nullptr) *crc = Crc32cAdd(*crc, buffer, static_cast<size_t>(got));
    if (pwrite(out, buffer, static_cast<size_t>(got), outOffset) != got) return false;
    inOffset += got;
    outOffset += got;
    count -= got;
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: bench_copy kernel|rw|crc SHIFT|CHUNK OUT CONTAINER PIECE...\n");
    return 2;
  }
  const char* mode = argv[1];
  long long number = atoll(argv[2]);
  int out = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) Fail(argv[3]);
  char* buffer = nullptr;
  if (strcmp(mode, "kernel") != 0 &&
      posix_memalign(reinterpret_cast<void**>(&buffer), 4096, static_cast<size_t>(number)) != 0)
    Fail("posix_memalign");
  uint32_t crcSum = 0;
  off_t position = 0;
  for (int i = 4; i < argc; i++) {
    int in = open(argv[i], O_RDONLY);
    struct stat info;
    if (in < 0 || fstat(in, &info) != 0) Fail(argv[i]);
    off_t inOffset = i == 4 ? PayloadOffset : 0;
    off_t count = info.st_size - inOffset;
    uint32_t crc = 0;
    bool ok =
        strcmp(mode, "kernel") == 0
            ? KernelCopy(in, inOffset, out, position + (i == 4 ? 0 : number), count)
            : MemoryCopy(in, inOffset, out, position, count, buffer, static_cast<size_t>(number),
                         strcmp(mode, "crc") == 0 ? &crc : nullptr);
    if (!ok) Fail(argv[i]);
    crcSum += crc;
    position += count;
    close(in);
  }
  if (close(out) != 0) Fail(argv[3]);
  printf("%08x\n", crcSum);
  return 0;
}
