// bench_digest [MEBIBYTES [ROUNDS [FILE]]]: the speed of the piece digest (CRC-32C) over 64 KB
// blocks already in the cache, as the stub and the tool hash a block right after reading it: the
// stub's own code each way it takes, and ISA-L's, which the Linux tool uses. Each row hashes
// MEBIBYTES (default 128) once in each of ROUNDS (default 15) rounds; its best run is printed in
// GB/s (10^9 bytes a second). The own code is built by tools/bench_digest.sh with the stub's own
// compiler options; ISA-L is left out of the Windows build (TARNOVELL_BENCH_OWN_ONLY). The
// Windows build, given a FILE, also copies it as the stub copies a piece, and prints the copy's
// speed with and without hashing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "integrity/crc32c.h"
#ifdef _WIN32
#include <windows.h>
#endif
#ifndef TARNOVELL_BENCH_OWN_ONLY
#include <isa-l.h>
#endif

enum { BlockSize = 65536 };
static unsigned char Block[BlockSize];

// Hashes blockCount blocks as one stream and returns the digest (so no work is optimised away).
using Hasher = uint64_t (*)(size_t blockCount);

template <uint32_t (*Crc)(uint32_t, const void*, size_t)>
static uint64_t OwnCrc(size_t blockCount) {
  uint32_t crc = 0;
  for (size_t i = 0; i < blockCount; i++) crc = Crc(crc, Block, BlockSize);
  return crc;
}

#ifndef TARNOVELL_BENCH_OWN_ONLY
// ISA-L leaves the CRC's usual inversions to its caller.
static uint64_t LibraryCrc32c(size_t blockCount) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < blockCount; i++) crc = crc32_iscsi(Block, BlockSize, crc);
  return ~crc;
}
#endif

struct Row {
  const char* Name;
  Hasher Run;
};

static const Row Rows[] = {
    {"own CRC-32C (the stub's code)", OwnCrc<Crc32cAdd>},
    {"own CRC-32C, the stub's table way", OwnCrc<Crc32cAddByTable>},
#ifndef TARNOVELL_BENCH_OWN_ONLY
    {"ISA-L CRC-32C (crc32_iscsi)", LibraryCrc32c},
#endif
};

static double Seconds(Hasher run, size_t blockCount, uint64_t* digest) {
  auto start = std::chrono::steady_clock::now();
  *digest = run(blockCount);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

#ifdef _WIN32
// The stub's copy loop without its window: FILE is copied to FILE.copy in 64 KB blocks through
// ReadFile and WriteFile, each block hashed (or not) right after it is read.
static uint32_t CopyCrc;  // the digest of the copy's blocks (so no work is optimised away)
static void HashNone(const void*, size_t) {}
static void HashCrc(const void* bytes, size_t count) { CopyCrc = Crc32cAdd(CopyCrc, bytes, count); }

struct CopyRow {
  const char* Name;
  void (*Hash)(const void*, size_t);
};
static const CopyRow CopyRows[] = {
    {"copy only", HashNone},
    {"copy + own CRC-32C (the stub's)", HashCrc},
};

static double CopySeconds(const char* sourcePath, const char* targetPath,
                          void (*hash)(const void*, size_t), uint64_t* bytes) {
  static unsigned char buffer[BlockSize];
  HANDLE source =
      CreateFileA(sourcePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE target = CreateFileA(targetPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (source == INVALID_HANDLE_VALUE || target == INVALID_HANDLE_VALUE) return -1;
  CopyCrc = 0;
  *bytes = 0;
  auto start = std::chrono::steady_clock::now();
  DWORD got = 0, put = 0;
  while (ReadFile(source, buffer, BlockSize, &got, nullptr) && got > 0) {
    hash(buffer, got);
    if (!WriteFile(target, buffer, got, &put, nullptr) || put != got) break;
    *bytes += got;
  }
  CloseHandle(target);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  CloseHandle(source);
  DeleteFileA(targetPath);
  return took.count();
}

static int CopyBench(const char* sourcePath, int rounds) {
  std::string targetPath = std::string(sourcePath) + ".copy";
  const size_t count = sizeof CopyRows / sizeof CopyRows[0];
  double best[count];
  uint64_t bytes = 0;
  for (size_t i = 0; i < count; i++) best[i] = 1e9;
  for (int round = 0; round < rounds; round++)
    for (size_t i = 0; i < count; i++) {
      double seconds = CopySeconds(sourcePath, targetPath.c_str(), CopyRows[i].Hash, &bytes);
      if (seconds < 0) {
        std::printf("cannot copy %s\n", sourcePath);
        return 1;
      }
      if (seconds < best[i]) best[i] = seconds;
    }
  std::printf("\n%-34s %8s  %s\n", "copy of the file, 64 KB blocks", "GB/s",
              "time against copy only");
  for (size_t i = 0; i < count; i++)
    std::printf("%-34s %8.2f  %+.1f %%\n", CopyRows[i].Name, bytes / best[i] / 1e9,
                (best[i] / best[0] - 1) * 100);
  return 0;
}
#endif

int main(int argc, char** argv) {
  size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 128;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
  size_t blockCount = mebibytes * 16;
  uint32_t seed = 12345;
  for (unsigned char& byte : Block)
    byte = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);
  // Rounds interleave the rows, so a busy moment of the machine spoils one run of each
  // rather than every run of one; the least disturbed run is the figure.
  const size_t count = sizeof Rows / sizeof Rows[0];
  double best[count];
  uint64_t digests[count];
  for (size_t i = 0; i < count; i++) best[i] = 1e9;
  for (int round = 0; round < rounds; round++)
    for (size_t i = 0; i < count; i++) {
      double seconds = Seconds(Rows[i].Run, blockCount, &digests[i]);
      if (seconds < best[i]) best[i] = seconds;
    }
  std::printf("%-34s %8s  %s\n", "CRC-32C", "GB/s", "digest");
  for (size_t i = 0; i < count; i++)
    std::printf("%-34s %8.2f  %016llx\n", Rows[i].Name,
                blockCount * double(BlockSize) / best[i] / 1e9,
                static_cast<unsigned long long>(digests[i]));
#ifdef _WIN32
  if (argc > 3) return CopyBench(argv[3], rounds);
#endif
  return 0;
}
