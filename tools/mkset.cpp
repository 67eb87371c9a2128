// mkset STUB_IMAGE FILE BASE_PATH PIECE_SIZE
// Cuts FILE into a set: BASE_PATH.exe (the stub fitted to 28672 bytes, the header from FILE's
// name, size and times, then the first PIECE_SIZE bytes of FILE) and BASE_PATH.c001, .c002, ...
// with PIECE_SIZE bytes each (the last one less). Every piece file stays below 2147483648 bytes.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "container/container_writer.h"
#include "platform/files_posix.h"

static int Fail(const std::string& what) {
  std::fprintf(stderr, "mkset: %s\n", what.c_str());
  return 1;
}

static FILETIME TimeOf(const struct timespec& time) {
  return UnixNanosecondsToFileTime(static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec);
}

// Copies up to count bytes from source to target; returns the bytes copied, -1 on failure.
static int64_t CopyBytesBetween(FILE* source, FILE* target, int64_t count) {
  static char block[1 << 16];
  int64_t copied = 0;
  while (copied < count) {
    size_t want = static_cast<size_t>(count - copied < int64_t(sizeof block) ? count - copied : int64_t(sizeof block));
    size_t got = std::fread(block, 1, want, source);
    if (got > 0 && std::fwrite(block, 1, got, target) != got) return -1;
    copied += static_cast<int64_t>(got);
    if (got < want) return std::ferror(source) ? -1 : copied;
  }
  return copied;
}

int main(int argc, char** argv) {
  if (argc != 5) return Fail("usage: mkset STUB_IMAGE FILE BASE_PATH PIECE_SIZE");
  const std::string stubPath = argv[1], filePath = argv[2], base = argv[3];
  char* end = nullptr;
  errno = 0;
  long long pieceSize = std::strtoll(argv[4], &end, 10);
  const long long largestPiece = 2147483647LL - PayloadOffset;  // the container is the largest file
  if (errno != 0 || *end != 0 || pieceSize < 1 || pieceSize > largestPiece)
    return Fail("PIECE_SIZE must be 1.." + std::to_string(largestPiece));

  std::string stub;
  if (!ReadWholeFile(stubPath, &stub)) return Fail("cannot read " + stubPath + ": " + std::strerror(errno));
  if (stub.size() > size_t(StubSize)) return Fail("the stub image is larger than " + std::to_string(StubSize) + " bytes");

  struct stat info;
  if (stat(filePath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return Fail("no file " + filePath);
  const size_t slash = filePath.find_last_of('/');
  const std::string name = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
  if (name.size() > 255) return Fail("the file name is longer than the 255 bytes a record holds");
  // POSIX keeps no creation time: the last-write time stands in for it.
  const HeaderTexts texts = MakeHeaderTexts(name, static_cast<int64_t>(info.st_size), TimeOf(info.st_mtim),
                                            TimeOf(info.st_atim), TimeOf(info.st_mtim));

  FILE* source = std::fopen(filePath.c_str(), "rb");
  if (source == nullptr) return Fail("cannot open " + filePath + ": " + std::strerror(errno));
  int64_t left = static_cast<int64_t>(info.st_size);
  for (int32_t n = 0;; n++) {
    char path[4096];
    PiecePathFor(path, sizeof path, base.c_str(), n);
    FILE* piece = std::fopen(path, "wb");
    if (piece == nullptr) return Fail(std::string("cannot create ") + path + ": " + std::strerror(errno));
    bool ok = true;
    if (n == 0) {
      const std::string head = FitStubImage(stub) + HeaderBytes(texts);
      ok = std::fwrite(head.data(), 1, head.size(), piece) == head.size();
    }
    const int64_t want = left < pieceSize ? left : pieceSize;
    ok = ok && CopyBytesBetween(source, piece, want) == want;
    ok = std::fclose(piece) == 0 && ok;
    if (!ok) return Fail(std::string("cannot write ") + path);
    left -= want;
    if (left == 0) break;
  }
  std::fclose(source);
  return 0;
}
