// The piece copier over real files: block passes and their bar drawings, create and append
// modes, files that cannot be opened, the single verdict, and the stop on a quit request.
#include <gmock/gmock.h>

#include <filesystem>

#include "stub/fileio/large_file.h"
#include "stub/join/copy_piece.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/fake_ui.h"

using jointest::Read;

using CopyPieceTest = JoinTest;

// Rectangles drawn by the last bar drawing (between the last GetDC and its ReleaseDC).
static size_t RectanglesOfLastDrawing() {
  size_t count = 0;
  for (const std::string& line : fake::Log) {
    if (line.rfind("GetDC(", 0) == 0) count = 0;
    if (line.rfind("Rectangle(", 0) == 0) count++;
  }
  return count;
}

TEST_F(CopyPieceTest, CreateModeCopiesFromTheOffsetInBlockPasses) {
  struct Case {
    size_t payload;
    size_t passes;  // n full blocks, a partial one if any, and the final pass of 0 bytes
  };
  const Case cases[] = {{0, 1}, {1, 2}, {65535, 2}, {65536, 2}, {3 * 65536, 4}, {65537, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload);
    fake::Log.clear();
    std::string head = Pattern(30720, 1);
    std::string payload = Pattern(c.payload, 2);
    jointest::Write(Path("DATA.exe"), head + payload);
    JoinState.TotalSize = static_cast<int64_t>(c.payload);
    FileOpenMode = 1;
    CopyPiece(fake::Wide(Path("DATA.exe")).c_str(), fake::Wide(Path("out.bin")).c_str(), false,
              30720, window, ShowJoinProgress);
    EXPECT_FALSE(JoinState.IoFailed);
    EXPECT_BYTES(Read(Path("out.bin")), payload);
    EXPECT_EQ(JoinState.OutputPos, static_cast<int64_t>(c.payload));
    EXPECT_EQ(fake::Count("GetDC"), c.passes);
    EXPECT_EQ(fake::Count("ReleaseDC"), c.passes);
    EXPECT_EQ(fake::Calls("GetDC").front(), "GetDC(1)");
    EXPECT_EQ(FileOpenMode, 2);
    EXPECT_EQ(TakeIoResult(), 0);
    // The last drawing shows the whole bar: 41 blocks (none at all for a total of 0).
    EXPECT_EQ(RectanglesOfLastDrawing(), c.payload == 0 ? 0u : 41u);
  }
}

TEST_F(CopyPieceTest, OffsetAtOrPastTheEndGivesAnEmptyOutputAndOneDrawing) {
  for (int64_t offset : {int64_t{100}, int64_t{5000}, int64_t{5368709120}}) {
    SCOPED_TRACE(offset);
    fake::Log.clear();
    jointest::Write(Path("short.exe"), Pattern(100, 3));
    jointest::Write(Path("out.bin"), "old content");
    CopyPiece(fake::Wide(Path("short.exe")).c_str(), fake::Wide(Path("out.bin")).c_str(), false,
              offset, window, ShowJoinProgress);
    EXPECT_FALSE(JoinState.IoFailed);
    EXPECT_TRUE(jointest::Exists(Path("out.bin")));
    EXPECT_BYTES(Read(Path("out.bin")), "");
    EXPECT_EQ(fake::Count("GetDC"), 1u);
  }
}

TEST_F(CopyPieceTest, AppendAddsTheWholePieceAtTheEndOfTheOutput) {
  std::string earlier = Pattern(70000, 4);
  std::string piece = Pattern(131072 + 17, 5);
  jointest::Write(Path("out.bin"), earlier);
  jointest::Write(Path("DATA.c001"), piece);
  JoinState.TotalSize = static_cast<int64_t>(earlier.size() + piece.size());
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), true, 0,
            window, ShowJoinProgress);
  EXPECT_FALSE(JoinState.IoFailed);
  EXPECT_BYTES(Read(Path("out.bin")), earlier + piece);
  EXPECT_EQ(JoinState.OutputPos, JoinState.TotalSize);  // the whole output, not this piece
  EXPECT_EQ(fake::Count("GetDC"), 4u);
  EXPECT_EQ(RectanglesOfLastDrawing(), 41u);
  EXPECT_BYTES(Read(Path("DATA.c001")), piece);
}

TEST_F(CopyPieceTest, CreateModeEmptiesALongerFileFirst) {
  jointest::Write(Path("out.bin"), std::string(300000, 'x'));
  std::string piece = Pattern(1000, 6);
  jointest::Write(Path("DATA.c001"), piece);
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), false, 0,
            window, ShowJoinProgress);
  EXPECT_FALSE(JoinState.IoFailed);
  EXPECT_BYTES(Read(Path("out.bin")), piece);
}

TEST_F(CopyPieceTest, FilesThatCannotBeOpenedFailTheCopyAfterOnePass) {
  struct Case {
    const char* name;
    const char* source;
    const char* target;
    bool append;
    bool outputExistsBefore;
    bool outputExistsAfter;
    std::string outputAfter;
  };
  const std::string old = "earlier output";
  const Case cases[] = {
      // The output is created (or emptied) although nothing can be read.
      {"missing source, create", "missing.exe", "out.bin", false, false, true, ""},
      {"missing source, create over a file", "missing.exe", "out.bin", false, true, true, ""},
      {"folder as source", "folder", "out.bin", false, false, true, ""},
      {"missing source, append", "missing.c001", "out.bin", true, true, true, old},
      // Append mode never creates the output.
      {"missing output, append", "DATA.c001", "out.bin", true, false, false, ""},
      {"output in a missing folder", "DATA.c001", "nowhere/out.bin", false, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::Log.clear();
    std::filesystem::remove_all(Path("out.bin"));
    std::filesystem::create_directory(Path("folder"));
    jointest::Write(Path("DATA.c001"), Pattern(200000, 7));
    if (c.outputExistsBefore) jointest::Write(Path("out.bin"), old);
    CopyPiece(fake::Wide(Path(c.source)).c_str(), fake::Wide(Path(c.target)).c_str(), c.append, 0,
              window, ShowJoinProgress);
    EXPECT_TRUE(JoinState.IoFailed);
    EXPECT_EQ(TakeIoResult(), 0) << "the copier takes the pending error itself";
    EXPECT_EQ(fake::Count("GetDC"), 1u);
    EXPECT_EQ(jointest::Exists(Path(c.target)), c.outputExistsAfter);
    if (c.outputExistsAfter) EXPECT_BYTES(Read(Path(c.target)), c.outputAfter);
    EXPECT_BYTES(Read(Path("DATA.c001")), Pattern(200000, 7));
  }
}

TEST_F(CopyPieceTest, AnErrorLeftPendingBeforeTheCallFailsTheCopy) {
  std::string piece = Pattern(5000, 8);
  jointest::Write(Path("DATA.c001"), piece);
  SetIoResult(ERROR_ACCESS_DENIED);
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), false, 0,
            window, ShowJoinProgress);
  EXPECT_TRUE(JoinState.IoFailed);
  EXPECT_BYTES(Read(Path("out.bin")), piece);  // the copy itself ran through
  EXPECT_EQ(TakeIoResult(), 0);
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), true, 0,
            window, ShowJoinProgress);
  EXPECT_FALSE(JoinState.IoFailed);
}

TEST_F(CopyPieceTest, AFailedReadOrWriteInTheMiddleEndsTheCopy) {
  std::string piece = Pattern(5 * 65536, 9);
  jointest::Write(Path("DATA.c001"), piece);
  for (FileCallKind kind : {CallReadFile, CallWriteFile}) {
    SCOPED_TRACE(kind);
    fake::Log.clear();
    static int calls;
    static FileCallKind failing;
    calls = 0;
    failing = kind;
    FileFaultHook = [](FileCallKind call, const char*) -> DWORD {
      return call == failing && ++calls == 3 ? ERROR_DISK_FULL : 0;
    };
    CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), false, 0,
              window, ShowJoinProgress);
    FileFaultHook = nullptr;
    EXPECT_TRUE(JoinState.IoFailed);
    EXPECT_EQ(fake::Count("GetDC"), 3u);
    EXPECT_BYTES(Read(Path("out.bin")), piece.substr(0, 2 * 65536));
  }
}

TEST_F(CopyPieceTest, AQuitRequestStopsTheCopyAfterTheCurrentBlock) {
  std::string piece = Pattern(6 * 65536, 10);
  jointest::Write(Path("DATA.c001"), piece);
  static int peeks;
  peeks = 0;
  fake::OnPeek = [] {
    if (++peeks == 2) fake::Post(nullptr, WM_QUIT, 0);
  };
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), false, 0,
            window, ShowJoinProgress);
  EXPECT_TRUE(JoinState.QuitRequested);
  EXPECT_FALSE(JoinState.IoFailed);
  EXPECT_EQ(fake::Count("GetDC"), 2u);
  EXPECT_BYTES(Read(Path("out.bin")), piece.substr(0, 2 * 65536));
}

TEST_F(CopyPieceTest, MessagesAreDispatchedBetweenBlocks) {
  jointest::Write(Path("DATA.c001"), Pattern(2 * 65536, 11));
  static int peeks;
  peeks = 0;
  fake::OnPeek = [] {
    if (++peeks == 1) fake::Post(fake::MainWindow(), WM_PAINT);
  };
  CopyPiece(fake::Wide(Path("DATA.c001")).c_str(), fake::Wide(Path("out.bin")).c_str(), false, 0,
            window, ShowJoinProgress);
  std::vector<std::string> order;
  for (const std::string& line : fake::Log)
    if (line.rfind("GetDC", 0) == 0 || line.rfind("DispatchMessageW", 0) == 0)
      order.push_back(line);
  EXPECT_THAT(order,
              testing::ElementsAre("GetDC(1)", "DispatchMessageW(1,15)", "GetDC(1)", "GetDC(1)"));
}
