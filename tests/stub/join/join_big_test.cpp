// Positions and sizes past 2 GiB and 4 GiB, with sparse files: the copier seeking and
// appending there, and a whole join whose pieces are over 2 GiB each.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

#include "stub/fileio/large_file.h"
#include "stub/join/copy_piece.h"
#include "stub/join/join_driver.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/fake_ui.h"

static const int64_t FourGiB = 4294967296LL;

// A sparse file of size bytes with the given bytes written at the given offsets.
static void MakeSparse(const std::string& path, int64_t size,
                       const std::vector<std::pair<int64_t, std::string>>& marks) {
  int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(ftruncate(fd, size), 0);
  for (const auto& [offset, bytes] : marks)
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

static std::string ReadAt(const std::string& path, int64_t offset, size_t count) {
  std::string bytes(count, '\0');
  int fd = open(path.c_str(), O_RDONLY);
  ssize_t n = fd < 0 ? -1 : pread(fd, &bytes[0], count, offset);
  if (fd >= 0) close(fd);
  bytes.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return bytes;
}

using JoinBigTest = JoinTest;

TEST_F(JoinBigTest, AppendingToAnOutputPastFourGiB) {
  std::string piece = Pattern(70000, 1);
  MakeSparse(Path("out.bin"), FourGiB + 3, {{FourGiB, "abc"}});
  jointest::Write(Path("DATA.c001"), piece);
  JoinState.TotalSize = FourGiB + 3 + 70000;
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), true, 0,
            window, ShowJoinProgress);
  EXPECT_FALSE(JoinState.IoFailed);
  EXPECT_EQ(JoinState.OutputPos, FourGiB + 3 + 70000);
  EXPECT_EQ(scratch::SizeOf(Path("out.bin")), FourGiB + 3 + 70000);
  EXPECT_BYTES(ReadAt(Path("out.bin"), FourGiB, 3 + 70000), "abc" + piece);
}

TEST_F(JoinBigTest, CopyingFromAnOffsetPastFourGiB) {
  std::string tail = Pattern(100000, 2);
  MakeSparse(Path("DATA.exe"), FourGiB + 30720 + 100000, {{FourGiB + 30720, tail}});
  CopyPiece(fake::Wide(Path("DATA.exe")).c_str(), fake::Wide(Path("out.bin")).c_str(), false,
            FourGiB + 30720, window, ShowJoinProgress);
  EXPECT_FALSE(JoinState.IoFailed);
  EXPECT_BYTES(jointest::Read(Path("out.bin")), tail);
}

// Two pieces of a little over 2 GiB: each is sized past the signed 32-bit range, and the
// output grows past 4 GiB. About 4.4 GB are written, in memory when /dev/shm has room.
TEST_F(JoinBigTest, AJoinOfPiecesOverTwoGiBEach) {
  const int64_t pieceSize = 2 * 1024LL * 1024 * 1024 + 100 * 1024 * 1024 + 7;
  std::string root = dir;
  struct statvfs space;
  if (statvfs("/dev/shm", &space) == 0 &&
      static_cast<int64_t>(space.f_bavail) * space.f_frsize > 3 * pieceSize)
    root = "/dev/shm";
  if (statvfs(root.c_str(), &space) != 0 ||
      static_cast<int64_t>(space.f_bavail) * space.f_frsize < 3 * pieceSize)
    GTEST_SKIP() << "no room for a join of " << 2 * pieceSize << " bytes";
  std::string work = root + "/tarnovell-join-big-" + std::to_string(getpid());
  std::filesystem::create_directories(work);

  std::string head = Pattern(1000, 3), first = Pattern(5000, 4), last = Pattern(5000, 5),
              mark = Pattern(64, 6);
  jointest::Write(work + "/DATA.exe", Pattern(30720, 7) + head);
  MakeSparse(work + "/DATA.c001", pieceSize, {{0, first}, {pieceSize - 64, mark}});
  MakeSparse(work + "/DATA.c002", pieceSize,
             {{FourGiB - pieceSize + 10, mark}, {pieceSize - 5000, last}});
  int64_t total = 1000 + 2 * pieceSize;
  PrepareJoin(work + "/DATA", total);
  fake::SaveAnswers.push_back({true, work + "/out.bin"});
  fake::OnPeek = [] { fake::Log.clear(); };  // some 70000 bar drawings: keep none of them
  RunJoin(window, WindowJoinCallbacks);

  std::string out = work + "/out.bin";
  EXPECT_EQ(JoinState.Outcome, OutcomeComplete);
  EXPECT_EQ(JoinState.JoinedSize, total);
  EXPECT_EQ(JoinState.PieceIndex, 3);
  EXPECT_EQ(JoinState.OutputPos, total);
  EXPECT_EQ(scratch::SizeOf(out), total);
  EXPECT_BYTES(ReadAt(out, 0, 1000 + 5000), head + first);
  EXPECT_BYTES(ReadAt(out, 1000 + pieceSize - 64, 64), mark);
  EXPECT_BYTES(ReadAt(out, 1000 + FourGiB + 10, 64), mark);  // past 4 GiB in the output
  EXPECT_BYTES(ReadAt(out, total - 5000, 5000), last);
  EXPECT_BYTES(ReadAt(out, 1000 + pieceSize + 4096, 16), std::string(16, '\0'));
  std::filesystem::remove_all(work);
}
