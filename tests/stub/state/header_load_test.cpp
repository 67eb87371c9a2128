// Loading the header of the program's own image into JoinState at window creation.
#include "stub/state/header_load.h"

#include <cstring>

#include "container/digest_block.h"
#include "container/name_field.h"

#include "stub/ui/main_window.h"
#include "tests/support/outcome_texts.h"
#include "tests/support/ui_fixture.h"

namespace {

class HeaderLoadTest : public UiTest {
 protected:
  static HWND Window() { return reinterpret_cast<HWND>(1); }
  // Fields that loading must reset, set to something else first.
  static void Dirty() {
    JoinState.PieceIndex = 5;
    JoinState.JoinedSize = 6;
    JoinState.OutputPos = 7;
    JoinState.Finished = true;
    JoinState.CloseOnPress = true;
    std::fill(JoinState.TextBuffer, JoinState.TextBuffer + TextBufferSize - 1, u'q');
  }
};

TEST_F(HeaderLoadTest, BasePathAndTitleFromTheOwnName) {
  struct Case {
    const char* relative;
    const char* base;  // relative to the folder; null: empty
    const char* title;
  } cases[] = {
      {"films/movie.exe", "films/movie", "Tarnovell! - movie.EXE"},
      {"films/MOVIE.EXE", "films/MOVIE", "Tarnovell! - MOVIE.EXE"},
      {"films/Movie.Exe", "films/Movie", "Tarnovell! - Movie.EXE"},
      {"old.exe files/movie.exe", "old.exe files/movie", "Tarnovell! - movie.EXE"},
      {"films/movie.exe.exe", "films/movie.exe", "Tarnovell! - movie.exe.EXE"},
      {"films/movie.bin", nullptr, "Tarnovell! - .EXE"},
      {"films.exe/movie.bin", "films", "Tarnovell! - films.EXE"},
      {"films/фильм.exe", "films/фильм", "Tarnovell! - \xF4\xE8\xEB\xFC\xEC.EXE"},
      {"日本語 データ/Фильм.EXE", "日本語 データ/Фильм", "Tarnovell! - \xD4\xE8\xEB\xFC\xEC.EXE"},
  };
  for (const Case& c : cases) {
    SetUp();
    UseContainer(c.relative, Texts("out.avi", "2048"));
    Dirty();
    LoadHeader(Window());
    std::string base = c.base == nullptr ? "" : Dir + "/" + c.base;
    EXPECT_EQ(scratch::Utf8(JoinState.BasePath), base) << c.relative;
    EXPECT_EQ(fake::Calls("SetWindowTextW"),
              std::vector<std::string>{std::string("SetWindowTextW(1,") + c.title + ")"})
        << c.relative;
    // The title, then zero bytes to the end: nothing left of what the buffer held before.
    EXPECT_EQ(fake::Text(JoinState.TextBuffer, TextBufferSize),
              c.title + std::string(TextBufferSize - std::strlen(c.title), '\0'));
    EXPECT_EQ(JoinState.PieceIndex, 0);
    EXPECT_EQ(JoinState.JoinedSize, 0);
    EXPECT_EQ(JoinState.OutputPos, 0);
    EXPECT_FALSE(JoinState.Finished);
    EXPECT_FALSE(JoinState.CloseOnPress);
    EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
    TearDown();
  }
}

TEST_F(HeaderLoadTest, HeaderValuesReachJoinState) {
  UseContainer("movie.exe",
               HeaderTexts{"C:\\out\\movie.avi", "   1048576", "4294967295", "-1", "4294967296",
                           "$10", "0x7fffffff", "-2147483648"},
               "payload");
  LoadHeader(Window());
  EXPECT_EQ(fake::Text(JoinState.OutputPath), "movie.avi") << "a file name, never a folder";
  EXPECT_EQ(JoinState.TotalSize, 1048576);
  EXPECT_EQ(JoinState.TotalKb, 1024);
  EXPECT_EQ(JoinState.CreationTime.dwLowDateTime, 0xFFFFFFFFu);
  EXPECT_EQ(JoinState.CreationTime.dwHighDateTime, 0xFFFFFFFFu);
  EXPECT_EQ(JoinState.LastAccessTime.dwLowDateTime, 0u);  // only the low 32 bits count
  EXPECT_EQ(JoinState.LastAccessTime.dwHighDateTime, 16u);
  EXPECT_EQ(JoinState.LastWriteTime.dwLowDateTime, 0x7FFFFFFFu);
  EXPECT_EQ(JoinState.LastWriteTime.dwHighDateTime, 0x80000000u);
}

TEST_F(HeaderLoadTest, KilobytesRoundHalfToEven) {
  struct Case {
    const char* size;
    int64_t kb;
  } cases[] = {
      {"0", 0},
      {"511", 0},
      {"512", 0},
      {"513", 1},
      {"1535", 1},
      {"1536", 2},
      {"2560", 2},
      {"3584", 4},
      {"1048576", 1024},
      {"-512", 0},
      {"-1536", -2},
      {"-513", -1},
      {"-1535", -1},
      {"-2560", -2},
      {"-1", 0},
      {"9223372036854775807", 9007199254740992},
      {"-9223372036854775808", -9007199254740992},
  };
  for (const Case& c : cases) {
    SetUp();
    UseContainer("movie.exe", Texts("movie.avi", c.size));
    LoadHeader(Window());
    EXPECT_EQ(JoinState.TotalKb, c.kb) << c.size;
    TearDown();
  }
}

TEST_F(HeaderLoadTest, EmptyFirstRecordGivesAnEmptyOutputPath) {
  UseContainer("movie.exe", Texts("", "1"));
  TextCopy(JoinState.OutputPath, PathTextSize, "old");
  LoadHeader(Window());
  EXPECT_EQ(fake::Text(JoinState.OutputPath), "");
}

TEST_F(HeaderLoadTest, ContainerEndingInsideTheHeaderReusesTheLastRecordRead) {
  // Only records 1 and 2 are there: the reads of records 3 to 8 deliver nothing, and each takes
  // what the buffer still holds, record 2.
  UseImage("movie.exe", FitStubImage("MZ") +
                            HeaderBytes(Texts("movie.avi", "777")).substr(0, 2 * HeaderRecordSize));
  LoadHeader(Window());
  EXPECT_EQ(JoinState.TotalSize, 777);
  EXPECT_EQ(JoinState.CreationTime.dwLowDateTime, 777u);
  EXPECT_EQ(JoinState.LastWriteTime.dwHighDateTime, 777u);
}

TEST_F(HeaderLoadTest, BareStubEndsSilentlyWithCodeZero) {
  UseImage("movie.exe", FitStubImage("MZ"));
  try {
    LoadHeader(Window());
    FAIL() << "the process did not end";
  } catch (const FakeProcessExit& exit) {
    EXPECT_EQ(exit.code, 0u);
  }
  EXPECT_EQ(fake::Count("MessageBoxW"), 0u);
  EXPECT_EQ(fake::Count("SetWindowTextW"), 0u);
}

TEST_F(HeaderLoadTest, BareStubNeverShowsTheWindow) {
  UseImage("movie.exe", FitStubImage("MZ"));
  EXPECT_THROW(RunProgram(), FakeProcessExit);
  EXPECT_EQ(fake::Count("ShowWindow"), 0u);
  EXPECT_EQ(fake::Log.back(), "ExitProcess(0)");
}

DWORD FailOwnImageOpen(FileCallKind call, const char* name) {
  return call == CallCreateFile && std::string(name) == PosixModulePath ? ERROR_SHARING_VIOLATION
                                                                        : 0;
}
DWORD FailSeek(FileCallKind call, const char*) {
  return call == CallSetFilePointer ? 25u /* ERROR_SEEK */ : 0;
}

TEST_F(HeaderLoadTest, UnreadableImageIsReportedAndEndsTheLoop) {
  struct Case {
    const char* what;
    bool exists;
    DWORD (*fault)(FileCallKind, const char*);
  } cases[] = {{"missing", false, nullptr},
               {"locked", true, FailOwnImageOpen},
               {"seek fails", true, FailSeek}};
  for (const Case& c : cases) {
    SetUp();
    std::string path = Dir + "/films/movie.exe";
    if (c.exists)
      UseContainer("films/movie.exe", Texts("movie.avi", "1"));
    else
      UseOwnImage(path);
    FileFaultHook = c.fault;
    Dirty();
    EXPECT_EQ(RunProgram(), 0) << c.what;
    FileFaultHook = nullptr;
    EXPECT_EQ(fake::Calls("MessageBoxW"),
              std::vector<std::string>{"MessageBoxW(1," + path + ". " + outcome::FileErrorText +
                                       ",Tarnovell!,0x10)"})
        << c.what;
    // The window keeps its first title, is shown once, and the loop ends on the quit request.
    EXPECT_EQ(fake::Count("SetWindowTextW"), 0u) << c.what;
    EXPECT_EQ(fake::Count("ShowWindow"), 1u) << c.what;
    auto after = LogFrom("MessageBoxW");
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[1], "PostQuitMessage(0)");
    EXPECT_EQ(fake::Text(JoinState.OutputPath), "");
    EXPECT_EQ(JoinState.PieceIndex, 0);
    EXPECT_TRUE(JoinState.Finished) << "left as it was";
    TearDown();
  }
}

TEST_F(HeaderLoadTest, InvalidSizeRecordEndsThroughTheFailureReportBeforeAnyTitle) {
  struct Case {
    int record;  // index of the bad text
    const char* text;
  } cases[] = {{1, "1048576 "}, {1, ""}, {1, "\t5"}, {4, "12x"}, {7, "99999999999999999999"}};
  for (const Case& c : cases) {
    SetUp();
    HeaderTexts texts = Texts("movie.avi", "2048");
    texts[c.record] = c.text;
    std::string path = UseContainer("movie.exe", texts);
    try {
      LoadHeader(Window());
      FAIL() << c.text;
    } catch (const FakeProcessExit& exit) {
      EXPECT_EQ(exit.code, 1u);
    }
    auto boxes = fake::Calls("MessageBoxA");
    ASSERT_EQ(boxes.size(), 1u);
    std::string expectedMessage =
        std::string("'") + c.text + "' is not a valid integer value.\r\n,Application Error,0x2010)";
    const std::string head = "MessageBoxA(0,Exception EConvertError in module ";
    EXPECT_EQ(boxes[0].substr(0, head.size()), head) << c.text;
    EXPECT_EQ(boxes[0].substr(boxes[0].size() - expectedMessage.size()), expectedMessage) << c.text;
    EXPECT_EQ(fake::Count("SetWindowTextW"), 0u);
    EXPECT_EQ(fake::Text(JoinState.BasePath), path) << "still the own path";
    if (c.record > 1) EXPECT_EQ(JoinState.TotalSize, 2048);
    TearDown();
  }
}

// The header's name field names the joined file where it checks, in a header whose digest block
// is taken; anywhere else record 1 does, in the system's code page, reduced to a file name.
TEST_F(HeaderLoadTest, TheNameFieldNamesTheFileWhereItChecks) {
  const std::string exact = "Müller – Ωmega 日本.pdf";
  const std::string rendered = "M_ller \x96 _mega __.pdf";
  struct Case {
    std::string field, record;
    bool sealed, damaged;
    std::string joined;
  } cases[] = {
      {exact, rendered, true, false, exact},
      {exact, rendered, false, false, "M_ller – _mega __.pdf"},   // no digest block
      {exact, rendered, true, true, "M_ller – _mega __.pdf"},     // a damaged header
      {"..\\evil.txt", "..\\evil.txt", true, false, "evil.txt"},  // forged: ignored
      {"film.avi", "other.avi", true, false, "other.avi"},        // the tie fails
  };
  for (const Case& c : cases) {
    SetUp();
    std::string header = HeaderBytes(HeaderTexts{c.record, "0", "1", "2", "3", "4", "5", "6"});
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&header[0]);
    std::string field = "\x89NAM" + std::string(1, static_cast<char>(c.field.size())) + c.field;
    header.replace(1 + c.record.size(), field.size(), field);
    DigestBlock block{};
    block.Image.PieceCount = 1;
    block.Image.RunLength = 1;
    if (c.sealed) ASSERT_TRUE(WriteDigestBlock(bytes, &block));
    if (c.damaged) header[1000] ^= 1;
    UseImage("film.exe", FitStubImage("MZ") + header);
    LoadHeader(Window());
    EXPECT_EQ(scratch::Utf8(JoinState.OutputPath), c.joined) << c.field;
    TearDown();
  }
}

// An own path that fills the program's room is told in the box, and nothing is read.
TEST_F(HeaderLoadTest, AnOwnPathTooLongIsToldAndEndsTheProgram) {
  std::string folder = std::string(200, 'f') + "/" + std::string(200, 'g') + "/";
  for (size_t length : {size_t{583}, size_t{584}}) {
    SetUp();
    std::string relative = folder + std::string(length - Dir.size() - 1 - folder.size() - 4, 'n');
    std::string path = UseContainer(relative + ".exe", Texts("movie.avi", "0"));
    ASSERT_EQ(path.size(), length);
    LoadHeader(Window());
    bool told = length >= PathTextSize - PieceSuffixSize;
    // "Слишком длинный путь к файлу!"
    const std::string box =
        "\xD1\xEB\xE8\xF8\xEA\xEE\xEC \xE4\xEB\xE8\xED\xED\xFB\xE9 "
        "\xEF\xF3\xF2\xFC \xEA \xF4\xE0\xE9\xEB\xF3!";
    EXPECT_EQ(fake::Count("MessageBoxW"), told ? 1u : 0u) << length;
    if (told) EXPECT_NE(fake::Calls("MessageBoxW")[0].find(". " + box + ","), std::string::npos);
    EXPECT_EQ(fake::Count("PostQuitMessage"), told ? 1u : 0u);
    EXPECT_EQ(fake::Text(JoinState.OutputPath), told ? "" : "movie.avi");
    TearDown();
  }
}

}  // namespace
