// A piece over 4 GiB, in sparse files: marks across the 4 GiB line survive encoding, the loss of
// the piece and its rebuilding, in little memory and little disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/recovery/recovery_fixture.h"
#include "tests/support/descriptor_access.h"
#include "tests/support/scratch_test.h"

namespace {

const int64_t BigPiece = (int64_t{4} << 30) + (64 << 10) + 3;
const int64_t MarkOffsets[] = {0, (int64_t{1} << 32) - 2048, BigPiece - 4096};
const size_t MarkSize = 4096;

// A file on disk, written through pwrite, but a chunk of zeros only lengthens the file: outputs
// stay sparse.
struct DiskFile : DescriptorAccess {
  DiskFile(const std::string& path, bool create)
      : DescriptorAccess(open(path.c_str(), create ? O_RDWR | O_CREAT | O_TRUNC : O_RDONLY, 0644)) {
  }
  ~DiskFile() override { close(Descriptor()); }
  bool WriteAt(const void* bytes, size_t count, int64_t offset) const override {
    static const std::string zeros(1 << 20, '\0');  // no chunk is longer
    struct stat info;
    if (count <= zeros.size() && memcmp(bytes, zeros.data(), count) == 0 &&
        fstat(Descriptor(), &info) == 0)
      return info.st_size >= offset + static_cast<int64_t>(count) ||
             ftruncate(Descriptor(), offset + count) == 0;
    return pwrite(Descriptor(), bytes, count, offset) == static_cast<ssize_t>(count);
  }
};

bool WriteAt(const std::string& path, int64_t offset, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY);
  bool written =
      pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && written;
}

std::string ReadAt(const std::string& path, int64_t offset, size_t count) {
  std::string bytes(count, '\0');
  int fd = open(path.c_str(), O_RDONLY);
  ssize_t done = pread(fd, &bytes[0], count, offset);
  close(fd);
  return done == static_cast<ssize_t>(count) ? bytes : std::string();
}

int64_t DiskBytes(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_blocks) * 512 : -1;
}

using RecoveryBig = scratch::FolderTest;

TEST_F(RecoveryBig, APieceOver4GiBIsRebuiltInBoundedMemory) {
  const uint64_t time = 2ull << 32 | 1;  // the halves 1 and 2
  std::string header =
      HeaderBytes(MakeHeaderTexts("big.bin", (1 << 20) + BigPiece + 5000, time, time, time));
  ASSERT_TRUE(scratch::WriteBytes(Path("big.exe"), TestStub() + header + Pattern(1 << 20, 5)));
  ASSERT_TRUE(scratch::MakeSizedFile(Path("big.c001"), BigPiece));
  ASSERT_TRUE(scratch::WriteBytes(Path("big.c002"), Pattern(5000, 6)));
  for (int64_t at : MarkOffsets) ASSERT_TRUE(WriteAt(Path("big.c001"), at, Pattern(MarkSize, at)));
  {
    DiskFile container(Path("big.exe"), false), piece(Path("big.c001"), false),
        last(Path("big.c002"), false);
    DiskFile output(Path("big.r01"), true);
    ASSERT_EQ(EncodeRecovery({&container, &piece, &last}, {&output}, nullptr).Outcome,
              RecoveryDone);
  }
  ASSERT_EQ(unlink(Path("big.c001").c_str()), 0);
  DiskFile container(Path("big.exe"), false), last(Path("big.c002"), false),
      recovery(Path("big.r01"), false);
  DiskFile target(Path("big.c001.new"), true);
  std::vector<const FileAccess*> set = {&container, nullptr, &last};
  SetSurvey survey;
  ASSERT_EQ(SurveySet(set, {&recovery}, nullptr, &survey).Outcome, RecoveryDone);
  EXPECT_EQ(survey.Files, (std::vector<FileState>{FileGood, FileMissing, FileGood}));
  ASSERT_EQ(
      RepairSet(survey, set, {&recovery}, {nullptr, &target, nullptr}, nullptr, nullptr).Outcome,
      RecoveryDone);
  EXPECT_EQ(scratch::SizeOf(Path("big.c001.new")), BigPiece);
  for (int64_t at : MarkOffsets)
    EXPECT_EQ(ReadAt(Path("big.c001.new"), at, MarkSize), Pattern(MarkSize, at)) << at;
  EXPECT_LT(DiskBytes(Path("big.r01")) + DiskBytes(Path("big.c001.new")), int64_t{64} << 20);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss, 256 << 10) << "KiB at the peak";
}

}  // namespace
