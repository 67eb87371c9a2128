// --json of info and verify, read back by a strict reader of its own (json_reader.h): one object
// on standard output and nothing else there, each file of the set with its verdict, the header,
// the recovery files' facts, the result and the exit code the command returns, with or without
// --json; names of any bytes give valid JSON.
#include "cli/set/checksums.h"
#include "cli/show/json.h"
#include "integrity/sha256.h"
#include "tests/cli/json_reader.h"
#include "tests/cli/test_support.h"

namespace {

// The container (16384 bytes of data: Cap - 30720 in whole pages) and five pieces, the last of
// 3616 bytes. With recovery files the pieces too hold 16384 bytes (what leaves each recovery file
// within Cap): the same six files are made of a shorter input.
const int64_t Cap = 48 << 10;
const int64_t InputSize = 4 * Cap + 20000;
const int64_t FirstData = 16384;
const int64_t RecoveryPiece = 16384;
const int64_t RecoveryInputSize = FirstData + 4 * RecoveryPiece + 3616;

class Json : public CliTest {
 protected:
  // Runs the command with --json: it prints one JSON object and nothing else on stdout, its exit
  // code is the object's and the same as without --json.
  JsonValue RunJson(std::vector<std::string> args, int expected) {
    int textCode = Run(args);
    EXPECT_EQ(expected, textCode) << "the text's exit code differs";
    return RunJsonOnce(args, expected);
  }
  // The same, for a command that changes what it runs on: without the text run.
  JsonValue RunJsonOnce(std::vector<std::string> args, int expected) {
    args.push_back("--json");
    int code = Run(args);
    EXPECT_EQ(code, expected) << Out() << Err();
    JsonValue object;
    JsonReader reader;
    EXPECT_TRUE(reader.Read(Out(), &object)) << reader.Error() << "\n" << Out();
    EXPECT_EQ(object.Kind, JsonValue::Object) << Out();
    EXPECT_EQ(object["exit_code"].Int(), code) << Out();
    EXPECT_EQ(object["command"].Str(), args[0]);
    return object;
  }
  // The verdicts of the files listed, in order: "0:good 1:missing ...".
  static std::string Verdicts(const JsonValue& object) {
    std::string text;
    for (const JsonValue& file : object["files"].Items)
      text += std::to_string(file["piece"].Int()) + ":" + file["verdict"].Str() + " ";
    return text;
  }
  // Splits a fresh input into set.exe and set.c001, ... of at most Cap bytes; the input is
  // removed.
  void MakeSet(const std::vector<std::string>& more = {}, int64_t input = InputSize) {
    Write("set.bin", Pattern(static_cast<size_t>(input), 5));
    std::vector<std::string> args = {"split", "set.bin", "--size", std::to_string(Cap), "-q"};
    args.insert(args.end(), more.begin(), more.end());
    ASSERT_EQ(Run(args), ExitComplete) << Err();
    Remove("set.bin");
  }
  static std::string PieceName(int n) {
    char suffix[PieceSuffixSize];
    PieceSuffix(n, suffix);
    return std::string("set") + suffix;
  }
  void FlipBit(const std::string& name, int64_t offset) {
    std::string byte = ReadBytesAt(Path(name), offset, 1);
    ASSERT_EQ(byte.size(), 1u) << name;
    byte[0] = static_cast<char>(byte[0] ^ 0x10);
    ASSERT_TRUE(WriteBytesAt(Path(name), offset, byte));
  }
};

TEST(JsonText, StringsAreEscapedAndAlwaysValidUtf8) {
  JsonReader reader;
  JsonValue value;
  // Every control character, quotes and backslashes read back as they were.
  std::string all = "\"q\" \\ / \x7F фильм 𝄞";
  for (char c = 1; c < 0x20; c++) all += c;
  ASSERT_TRUE(reader.Read(JsonString(all), &value)) << reader.Error() << JsonString(all);
  EXPECT_EQ(value.Str(), all);
  // Bytes that are not UTF-8 (a lone byte, overlong forms, a surrogate, past U+10FFFF, a cut
  // sequence) become U+FFFD each.
  for (std::string bad :
       {"\xFF", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << JsonString(bad);
    ASSERT_TRUE(reader.Read(JsonString("a" + bad + "b"), &value)) << reader.Error();
    std::string read = value.Str();
    EXPECT_EQ(read.substr(0, 4), "a\xEF\xBF\xBD") << JsonString(bad);
    EXPECT_EQ(read.back(), 'b');
    for (size_t i = 1; i + 1 < read.size(); i += 3) EXPECT_EQ(read.substr(i, 3), "\xEF\xBF\xBD");
  }
  EXPECT_TRUE(IsValidUtf8("€ 𝄞 \xF4\x8F\xBF\xBF"));
  EXPECT_EQ(IsoFileTime(0x01D5C0DE12345678), "2020-01-01T20:00:09.7990264Z");
}

TEST_F(Json, AWholeSetInInfoAndVerify) {
  MakeSet();
  for (const char* command : {"info", "verify"}) {
    JsonValue set = RunJson({command, "set.exe"}, ExitComplete);
    EXPECT_EQ(Err(), "") << command;
    EXPECT_EQ(Verdicts(set), "0:good 1:good 2:good 3:good 4:good 5:good ") << Out();
    EXPECT_EQ(set["result"].Str(), "complete");
    EXPECT_EQ(set["container"].Str(), "set.exe");
    EXPECT_EQ(set["header"]["name"].Str(), "set.bin");
    EXPECT_EQ(set["header"]["size"].Int(), InputSize);
    EXPECT_TRUE(set["digests"].Flag);
    EXPECT_EQ(set["digest_block"]["pieces"].Int(), 6);
    EXPECT_EQ(set["files"][0]["size"].Int(), PayloadOffset + FirstData);
    EXPECT_EQ(set["files"][0]["data_size"].Int(), FirstData);
    EXPECT_EQ(set["files"][5]["name"].Str(), "set.c005");
    EXPECT_EQ(set["files"][5]["data_size"].Int(), 3616);
    EXPECT_EQ(set["files"][5]["expected_data_size"].Int(), 3616);
    EXPECT_FALSE(set.Has("error"));
  }
  // A file after the set, which a join does not read.
  Write("set.c006", "extra");
  EXPECT_EQ(Verdicts(RunJson({"info", "set.exe"}, ExitComplete)),
            "0:good 1:good 2:good 3:good 4:good 5:good 6:not_of_set ");
  Remove("set.c006");
  // -q keeps the object whole.
  JsonValue quiet = RunJson({"verify", "set.exe", "-q"}, ExitComplete);
  EXPECT_EQ(Verdicts(quiet), "0:good 1:good 2:good 3:good 4:good 5:good ");
}

TEST_F(Json, MissingDamagedShortAndLongPieces) {
  MakeSet();
  std::string second = Read("set.c002");
  Remove("set.c002");
  JsonValue verify = RunJson({"verify", "set.exe"}, ExitMissingPiece);
  EXPECT_EQ(Verdicts(verify), "0:good 1:good 2:missing 3:good 4:good 5:good ") << Out();
  EXPECT_EQ(verify["files"][2]["looked_for"].Str(), "set.c002");
  EXPECT_EQ(verify["result"].Str(), "missing_pieces");
  JsonValue info = RunJson({"info", "set.exe"}, ExitMissingPiece);
  EXPECT_EQ(Verdicts(info), "0:good 1:good 2:missing ") << Out();  // where a join stops
  EXPECT_EQ(info["data_found"].Int(), FirstData + Cap);
  Write("set.c002", second);

  // info reads no data: a damaged piece is found by verify alone.
  FlipBit("set.c001", 100);
  verify = RunJson({"verify", "set.exe"}, ExitMismatch);
  EXPECT_EQ(Verdicts(verify), "0:good 1:damaged 2:good 3:good 4:good 5:good ") << Out();
  EXPECT_EQ(verify["result"].Str(), "possibly_damaged");
  EXPECT_EQ(Verdicts(RunJson({"info", "set.exe"}, ExitComplete)),
            "0:good 1:good 2:good 3:good 4:good 5:good ");
  FlipBit("set.c001", 100);

  std::filesystem::resize_file(U8(Path("set.c003")), 1000);
  Write("set.c004", Read("set.c004") + "more");
  for (const char* command : {"verify", "info"}) {
    JsonValue set = RunJson({command, "set.exe"}, ExitMismatch);
    EXPECT_EQ(Verdicts(set), "0:good 1:good 2:good 3:short 4:long 5:good ") << Out();
    EXPECT_EQ(set["files"][3]["data_size"].Int(), 1000);
    EXPECT_EQ(set["files"][3]["expected_data_size"].Int(), Cap);
    EXPECT_EQ(set["files"][4]["size"].Int(), Cap + 4);
  }
}

// More pieces than digests: runs of two share one. A piece's own verdict comes before its run's.
TEST_F(Json, PiecesThatShareADigest) {
  const int files = 421;  // the container's 1 byte, then 420 pieces of 30721 bytes
  Write("r.bin", Pattern(1 + (files - 1) * 30721, 6));
  ASSERT_EQ(Run({"split", "r.bin", "--size", "30721", "-q"}), ExitComplete) << Err();
  FlipBit("r.c007", 30720);
  std::filesystem::resize_file(U8(Path("r.c010")), 100);  // its run: 10 and 11
  Remove("r.c200");                                       // its run: 200 and 201
  JsonValue set = RunJson({"verify", "r.exe"}, ExitMismatch);
  ASSERT_EQ(set["files"].Items.size(), static_cast<size_t>(files)) << Out();
  std::string verdicts = Verdicts(set);
  EXPECT_NE(verdicts.find(" 5:good 6:run_damaged 7:run_damaged 8:good "), std::string::npos);
  EXPECT_NE(verdicts.find(" 9:good 10:short 11:unchecked 12:good "), std::string::npos);
  EXPECT_NE(verdicts.find(" 199:good 200:missing 201:unchecked 202:good "), std::string::npos);
  EXPECT_EQ(set["files"][7]["run_first"].Int(), 6);
  EXPECT_EQ(set["files"][7]["run_last"].Int(), 7);
  EXPECT_EQ(set["files"][11]["run_first"].Int(), 10);
  EXPECT_FALSE(set["files"][10].Has("run_first"));
}

TEST_F(Json, ASetWithoutDigests) {
  WriteSet("old", "film.avi", Patterns({100, 200, 300}));
  JsonValue verify = RunJson({"verify", "old.exe"}, ExitUnchecked);
  EXPECT_EQ(Verdicts(verify), "0:unchecked 1:unchecked 2:unchecked ") << Out();
  EXPECT_FALSE(verify["digests"].Flag);
  EXPECT_FALSE(verify.Has("digest_block"));
  EXPECT_EQ(verify["result"].Str(), "unchecked");
  JsonValue info = RunJson({"info", "old.exe"}, ExitComplete);
  EXPECT_EQ(Verdicts(info), "0:unchecked 1:unchecked 2:unchecked ") << Out();
  EXPECT_FALSE(info["files"][0].Has("expected_data_size"));
  // The times as Texts gives them, as text and as FILETIME ticks.
  const JsonValue& header = info["header"];
  EXPECT_EQ(header["created"].Str(), "2020-01-01T20:00:09.7990264Z");
  EXPECT_EQ(header["created_filetime"].Text, "132223824097990264");
  EXPECT_EQ(header["accessed"].Str(), "2020-01-01T20:11:08.3606768Z");
  EXPECT_EQ(header["accessed_filetime"].Text, "132223830683606768");
  EXPECT_EQ(header["modified"].Str(), "2020-01-01T20:00:09.7990264Z");
  EXPECT_EQ(header["size"].Int(), 600);
  Write("old.c003", "after the data");
  EXPECT_EQ(Verdicts(RunJson({"info", "old.exe"}, ExitComplete)),
            "0:unchecked 1:unchecked 2:unchecked 3:not_needed ");

  Remove("old.c002");
  verify = RunJson({"verify", "old.exe"}, ExitMissingPiece);
  EXPECT_EQ(Verdicts(verify), "0:unchecked 1:unchecked 2:missing ") << Out();
  EXPECT_EQ(verify["files"][2]["looked_for"].Str(), "old.c002");
}

// BASE.sha256 beside a set goes into the object, never as text lines beside it: without digests
// it judges the files it names; with them, the recovery files too.
TEST_F(Json, VerifyTellsWhatTheChecksumFileFound) {
  std::vector<std::string> payloads = Patterns({100, 200, 300});
  WriteSet("old", "film.avi", payloads);
  std::string sums;
  for (const std::string& name : {"old.exe", "old.c001", "old.c002"}) {
    Sha256 hash;
    std::string bytes = Read(name);
    hash.Add(bytes.data(), bytes.size());
    Sha256Digest digest;
    ASSERT_TRUE(hash.End(&digest));
    sums += ChecksumLineText(name, digest);
  }
  Write("old.sha256", sums);
  JsonValue verify = RunJson({"verify", "old.exe"}, ExitComplete);
  EXPECT_EQ(Verdicts(verify), "0:good 1:good 2:good ") << Out();
  EXPECT_TRUE(verify["checksums"]["counted"].Flag) << Out();
  EXPECT_EQ(verify["checksums"]["file"].Str(), "old.sha256");
  std::string piece = Read("old.c001");
  piece[50] ^= 1;
  Write("old.c001", piece);
  verify = RunJson({"verify", "old.exe"}, ExitMismatch);
  EXPECT_EQ(Verdicts(verify), "0:good 1:damaged 2:good ") << Out();
  EXPECT_EQ(verify["checksums"]["files"][1]["verdict"].Str(), "damaged") << Out();

#ifndef _WIN32  // the Windows build has no recovery files
  MakeSet({"--checksums", "--recovery", "1"}, RecoveryInputSize);
  FlipBit("set.r01", 5000);
  verify = RunJson({"verify", "set.exe"}, ExitMismatch);
  EXPECT_EQ(Verdicts(verify), "0:good 1:good 2:good 3:good 4:good 5:good ") << Out();
  bool named = false;
  for (const JsonValue& file : verify["checksums"]["files"].Items)
    if (file["name"].Str() == "set.r01") named = file["verdict"].Str() == "damaged";
  EXPECT_TRUE(named) << Out();
#endif
}

TEST_F(Json, NamesOfAnyBytesGiveValidJson) {
  // Quotes, a backslash, Cyrillic (Windows-1251 in the header) and control characters.
  WriteSet("q", "\"q\" \\ \xF4\xE8\xEB\xFC\xEC\x01\x1F.bin", Patterns({10, 20}));
  JsonValue set = RunJson({"info", "q.exe"}, ExitComplete);
  EXPECT_EQ(set["header"]["name"].Str(), "\"q\" \\ фильм\x01\x1F.bin");
#ifdef _WIN32
  const std::string base = "фильм 'a'";  // Windows allows no '"' in a name
#else
  const std::string base = "фильм \"a\"";
#endif
  WriteSet(base, "a.bin", Patterns({10, 20}));
  set = RunJson({"verify", base + ".exe"}, ExitUnchecked);
  EXPECT_EQ(set["files"][1]["name"].Str(), base + ".c001");
  EXPECT_FALSE(set["files"][1].Has("name_hex"));
#ifndef _WIN32
  // A file name that is not UTF-8 (Linux keeps any bytes): U+FFFD, and its bytes in hex.
  WriteSet("set\xFF", "a.bin", Patterns({10, 20}));
  for (const char* command : {"info", "verify"}) {
    set = RunJson({command, "set\xFF.exe"}, command[0] == 'i' ? ExitComplete : ExitUnchecked);
    EXPECT_EQ(set["container"].Str(), "set\xEF\xBF\xBD.exe");
    EXPECT_EQ(set["container_hex"].Str(), "736574ff2e657865");
    EXPECT_EQ(set["files"][1]["name_hex"].Str(), "736574ff2e63303031");
    EXPECT_EQ(set["pieces_base_hex"].Str(), "736574ff");
  }
#endif
}

TEST_F(Json, AContainerThatCannotBeOpenedGivesAnErrorObject) {
  Write("text.exe", "not a container");
  for (const char* command : {"info", "verify"}) {
    JsonValue missing = RunJson({command, "none.exe"}, ExitFileError);
    EXPECT_EQ(missing["error"].Str(), "file_error");
    EXPECT_EQ(missing["container"].Str(), "none.exe");
    EXPECT_FALSE(missing.Has("result"));
    EXPECT_NE(Err(), "");  // the reason, as without --json
    JsonValue text = RunJson({command, "text.exe"}, ExitBadContainer);
    EXPECT_EQ(text["error"].Str(), "not_a_container");
  }
  // A piece that is not a file: info tells the files so far and why it stopped.
  WriteSet("set", "a.bin", Patterns({10, 20, 30}));
  Remove("set.c002");
  Mkdir("set.c002");
  JsonValue info = RunJson({"info", "set.exe"}, ExitFileError);
  EXPECT_EQ(info["error"].Str(), "file_error") << Out();
  EXPECT_FALSE(info.Has("result"));
  EXPECT_NE(info["failure"].Str(), "");
  EXPECT_EQ(Verdicts(info), "0:unchecked 1:unchecked ");
  JsonValue verify = RunJson({"verify", "set.exe"}, ExitFileError);
  EXPECT_EQ(verify["error"].Str(), "file_error") << Out();
  EXPECT_FALSE(verify.Has("files"));
}

// The SHA-256 of bytes, as sha256sum gives it.
static std::string Sha256HexOf(const std::string& bytes) {
  Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  Sha256Digest digest;
  EXPECT_TRUE(hash.End(&digest));
  return Sha256Hex(digest);
}

#ifndef _WIN32  // the Windows build has no recovery files
// split, repair and join with --json: the object alone on stdout (no summary beside it), each
// file it names there with the size and the digests it gives; a command that stops before its
// work is done says why in words and in a reason code.
TEST_F(Json, SplitRepairAndJoinTellWhatTheyWrote) {
  std::string input = Pattern(static_cast<size_t>(RecoveryInputSize), 9);
  Write("set.bin", input);
  std::vector<std::string> split = {"split", "set.bin", "--size", std::to_string(Cap), "-r", "1",
                                    "--checksums"};
  JsonValue made = RunJsonOnce(split, ExitComplete);
  EXPECT_EQ(made["sha256"].Str(), Sha256HexOf(input));
  std::string roles;
  for (const JsonValue& file : made["files"].Items) {
    roles += file["role"].Str() + " ";
    std::string bytes = Read(file["path"].Str());
    EXPECT_EQ(file["size"].Int(), static_cast<int64_t>(bytes.size())) << file["path"].Str();
    if (file.Has("sha256")) EXPECT_EQ(file["sha256"].Str(), Sha256HexOf(bytes));
  }
  EXPECT_EQ(roles, "container piece piece piece piece piece recovery checksums ");
  EXPECT_EQ(made["files"][3]["data_size"].Int(), RecoveryPiece);

  JsonValue again = RunJsonOnce(split, ExitRefused);
  EXPECT_EQ(again["error"].Str(), "refused");
  EXPECT_EQ(again["reason"].Str(), "exists");
  EXPECT_NE(again["message"].Str().find("set.exe exists"), std::string::npos) << Out();

  Remove("set.c002");
  JsonValue repaired = RunJsonOnce({"repair", "set.exe"}, ExitComplete);
  EXPECT_EQ(repaired["result"].Str(), "repaired");
  ASSERT_EQ(repaired["rebuilt"].Items.size(), 1u) << Out();
  EXPECT_EQ(repaired["rebuilt"][0]["path"].Str(), "set.c002");
  EXPECT_EQ(repaired["rebuilt"][0]["sha256"].Str(), Sha256HexOf(Read("set.c002")));
  EXPECT_EQ(RunJsonOnce({"repair", "set.exe"}, ExitComplete)["result"].Str(), "whole");

  JsonValue joined = RunJsonOnce({"join", "set.exe", "-o", "out.bin"}, ExitComplete);
  EXPECT_EQ(Read("out.bin"), input);
  EXPECT_EQ(joined["size"].Int(), RecoveryInputSize);
  EXPECT_EQ(joined["sha256"].Str(), made["sha256"].Str());
  JsonValue toStdout = RunJsonOnce({"join", "set.exe", "-o", "-"}, ExitUsage);
  EXPECT_EQ(toStdout["reason"].Str(), "usage");
}
#endif

#ifndef _WIN32  // the Windows build has no recovery files
TEST_F(Json, VerifyTellsTheRecoveryFilesFacts) {
  MakeSet({"--recovery", "2"}, RecoveryInputSize);
  JsonValue whole = RunJson({"verify", "set.exe", "-q"}, ExitComplete);
  const JsonValue& recovery = whole["recovery"];
  EXPECT_EQ(recovery["state"].Str(), "whole") << Out();
  EXPECT_EQ(recovery["found"].Int(), 2);
  EXPECT_EQ(recovery["good_recovery_files"].Int(), 2);
  EXPECT_EQ(recovery["recovery_files"].Items.size(), 2u);
  EXPECT_EQ(recovery["recovery_files"][1]["name"].Str(), "set.r02");
  EXPECT_EQ(recovery["recovery_files"][1]["verdict"].Str(), "good");
  EXPECT_EQ(recovery["bad_files"].Items.size(), 0u);

  std::string first = Read("set.c001"), row = Read("set.r01");
  Remove("set.c001");
  JsonValue one = RunJson({"verify", "set.exe"}, ExitMissingPiece);
  EXPECT_EQ(Verdicts(one), "0:good 1:missing 2:good 3:good 4:good 5:good ") << Out();
  EXPECT_EQ(one["recovery"]["state"].Str(), "repairable") << Out();
  EXPECT_EQ(one["recovery"]["bad_files"][0]["name"].Str(), "set.c001");
  EXPECT_EQ(one["recovery"]["bad_files"][0]["verdict"].Str(), "missing");
  FlipBit("set.c002", 5);
  FlipBit("set.c003", 5);
  JsonValue three = RunJson({"verify", "set.exe"}, ExitMismatch);
  EXPECT_EQ(three["recovery"]["state"].Str(), "not_repairable") << Out();
  EXPECT_EQ(three["recovery"]["bad_files"].Items.size(), 3u);
  EXPECT_EQ(three["recovery"]["failing_groups"][0]["bad_files"].Int(), 3);
  EXPECT_EQ(three["recovery"]["failing_groups"][0]["good_recovery_files"].Int(), 2);
  FlipBit("set.c002", 5);
  FlipBit("set.c003", 5);
  Write("set.c001", first);

  Remove("set.r01");
  JsonValue lessRows = RunJson({"verify", "set.exe"}, ExitComplete);
  EXPECT_EQ(lessRows["recovery"]["good_recovery_files"].Int(), 1) << Out();
  EXPECT_EQ(lessRows["recovery"]["recovery_files"][0]["name"].Str(), "set.r01");
  EXPECT_EQ(lessRows["recovery"]["recovery_files"][0]["verdict"].Str(), "missing");
  EXPECT_EQ(lessRows["recovery"]["recovery_files"][1]["verdict"].Str(), "good");
  Write("set.r01", row);
  FlipBit("set.r02", static_cast<int64_t>(row.size()) - StubSize - 10);  // in its parity
  lessRows = RunJson({"verify", "set.exe"}, ExitComplete);
  EXPECT_EQ(lessRows["recovery"]["recovery_files"][1]["verdict"].Str(), "damaged") << Out();
  FlipBit("set.r02", static_cast<int64_t>(row.size()) - StubSize - 10);

  std::string second = Read("set.r02");
  Write("set.r01", "not a recovery file");
  Write("set.r02", "nor this");
  JsonValue invalid = RunJson({"verify", "set.exe"}, ExitComplete);
  EXPECT_EQ(invalid["recovery"]["state"].Str(), "no_valid_file") << Out();
  EXPECT_EQ(invalid["recovery"]["found"].Int(), 2);
  EXPECT_FALSE(invalid["recovery"].Has("recovery_files"));
  Write("set.r01", row);
  Write("set.r02", second);

  // A header whose digest block no longer checks, read by the recovery files' copy of it, and a
  // container cut short: the recovery files show the set damaged and repairable.
  FlipBit("set.exe", HeaderOffset + 2 * HeaderRecordSize + 200);
  JsonValue header = RunJson({"verify", "set.exe"}, ExitMismatch);
  EXPECT_TRUE(header["digests"].Flag);
  EXPECT_EQ(header["container_parts"]["header"].Str(), "damaged");
  EXPECT_EQ(header["container_parts"]["header_copy"].Str(), "set.r01");
  EXPECT_EQ(header["container_parts"]["program"].Str(), "good");
  EXPECT_EQ(header["files"][0]["verdict"].Str(), "header_damaged");
  EXPECT_EQ(header["result"].Str(), "possibly_damaged");
  EXPECT_EQ(header["recovery"]["state"].Str(), "repairable") << Out();
  EXPECT_EQ(header["recovery"]["bad_files"][0]["piece"].Int(), 0);
  EXPECT_EQ(header["recovery"]["bad_files"][0]["verdict"].Str(), "prefix_damaged");
  std::filesystem::resize_file(U8(Path("set.exe")), 20000);
  JsonValue cut = RunJson({"verify", "set.exe"}, ExitMismatch);
  EXPECT_FALSE(cut.Has("error")) << Out();
  EXPECT_FALSE(cut.Has("header"));
  EXPECT_EQ(cut["recovery"]["state"].Str(), "repairable") << Out();
}

// A run of more than ten damaged files is one entry in bad_files, as it was; each of its files
// is also listed in bad_bytes_by_file with its own byte ranges, where the recovery files carry
// slice digests. A file named alone keeps bad_bytes; a run of missing files has neither.
TEST_F(Json, VerifyGivesTheBadBytesOfEveryFileOfARun) {
  // The container and 13 pieces, the last of 1000 bytes.
  const int64_t lastSize = 1000;
  Write("set.bin", Pattern(static_cast<size_t>(FirstData + 12 * RecoveryPiece + lastSize), 5));
  ASSERT_EQ(Run({"split", "set.bin", "--size", std::to_string(Cap), "--recovery", "1", "-q"}),
            ExitComplete)
      << Err();
  int64_t dataAt = static_cast<int64_t>(Read("set.exe").size()) - FirstData;
  FlipBit("set.exe", dataAt + 10);
  for (int n = 2; n <= 13; n++) FlipBit(PieceName(n), 10);
  JsonValue damaged = RunJson({"verify", "set.exe"}, ExitMismatch);
  const JsonValue& bad = damaged["recovery"]["bad_files"];
  ASSERT_EQ(bad.Items.size(), 2u) << Out();
  EXPECT_EQ(bad[0]["piece"].Int(), 0);
  EXPECT_FALSE(bad[0].Has("bad_bytes_by_file"));
  ASSERT_EQ(bad[0]["bad_bytes"].Items.size(), 1u) << Out();
  EXPECT_EQ(bad[0]["bad_bytes"][0][0].Int(), dataAt);
  EXPECT_EQ(bad[0]["bad_bytes"][0][1].Int(), dataAt + FirstData - 1);

  const JsonValue& run = bad[1];
  EXPECT_EQ(run["piece"].Int(), 2);
  EXPECT_EQ(run["last_piece"].Int(), 13);
  EXPECT_EQ(run["name"].Str(), "set.c002");
  EXPECT_EQ(run["verdict"].Str(), "damaged");
  EXPECT_FALSE(run.Has("bad_bytes")) << "the files of a run have ranges of their own";
  const JsonValue& byFile = run["bad_bytes_by_file"];
  ASSERT_EQ(byFile.Items.size(), 12u) << Out();
  for (int n = 2; n <= 13; n++) {
    const JsonValue& file = byFile[static_cast<size_t>(n - 2)];
    SCOPED_TRACE(n);
    EXPECT_EQ(file["piece"].Int(), n);
    EXPECT_EQ(file["name"].Str(), PieceName(n));
    ASSERT_EQ(file["bad_bytes"].Items.size(), 1u);
    EXPECT_EQ(file["bad_bytes"][0][0].Int(), 0);
    EXPECT_EQ(file["bad_bytes"][0][1].Int(), (n == 13 ? lastSize : RecoveryPiece) - 1);
  }

  for (int n = 2; n <= 13; n++) Remove(PieceName(n));
  JsonValue missing = RunJson({"verify", "set.exe"}, ExitMismatch);  // the container too
  const JsonValue& lost = missing["recovery"]["bad_files"][1];
  EXPECT_EQ(lost["verdict"].Str(), "missing") << Out();
  EXPECT_EQ(lost["last_piece"].Int(), 13);
  EXPECT_FALSE(lost.Has("bad_bytes_by_file"));
  EXPECT_FALSE(lost.Has("bad_bytes"));
}

#endif

}  // namespace
