// Joins with recovery files beside the set, made by the tool's own encoder: lost and damaged
// pieces rebuilt (the container's payload too), in one group and in several, from files of both
// versions of the format; recovery files that cannot mend the set or belong to another split
// leave the join exactly as without them; every file call of a rebuild failed in turn.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "base/byte_text.h"
#include "integrity/crc32c.h"
#include "integrity/crc64.h"
#include "recovery/recovery.h"
#include "stub/join/join_driver.h"
#include "stub/join/piece_check.h"
#include "stub/join/piece_rebuild.h"
#include "stub/platform/files_posix.h"
#include "stub/state/header_load.h"
#include "tests/recovery/recovery_fixture.h"
#include "tests/stub/join/block_header.h"
#include "tests/stub/join/join_fixture.h"
#include "tests/support/fake_ui.h"

using jointest::Exists;
using jointest::Read;
using testing::ElementsAre;

static_assert(RecoveryRowLimit == MaxRecoveryRows && RecoveryCodeWord == CodeWordLimit,
              "the stub's limits are the format's");

namespace {

// "Восстановлены части набора:" and a line break, in CP1251.
const std::string RebuiltIntro =
    "\xC2\xEE\xF1\xF1\xF2\xE0\xED\xEE\xE2\xEB\xE5\xED\xFB \xF7\xE0\xF1\xF2\xE8 "
    "\xED\xE0\xE1\xEE\xF0\xE0:\r\n";

std::string RebuiltBox(const std::string& names) {
  return "MessageBoxW(1," + RebuiltIntro + names + ",Tarnovell!,0x40)";
}

// A set as split cuts it: the container's payload, pieces of one size, a shorter last one.
const std::vector<std::string> SixFiles = Patterns({100000, 90000, 90000, 90000, 90000, 50000});

int64_t TotalOf(const std::vector<std::string>& payloads) {
  int64_t total = 0;
  for (const std::string& payload : payloads) total += static_cast<int64_t>(payload.size());
  return total;
}

void Flip(std::string& bytes, size_t at) { bytes.at(at) ^= 0x5A; }

// A recovery file with the width bytes at offset set to value and its self-check made again.
void Resealed(std::string& file, size_t offset, uint64_t value, size_t width = 8) {
  uint64_t length = 0;
  memcpy(&length, &file[32], 8);
  memcpy(&file[offset], &value, width);
  uint64_t check = Crc64(file.data(), length - 8);
  memcpy(&file[length - 8], &check, 8);
}

class PieceRebuildTest : public JoinTest {
 protected:
  // base.exe and its pieces on disk, JoinState as header loading leaves it; returns the files
  // (the container whole, then the pieces) as written.
  std::vector<std::string> WriteBlockSet(const std::vector<std::string>& payloads,
                                         const std::string& fileName = "DATA.BIN") {
    HeaderTexts texts = MakeHeaderTexts(fileName, TotalOf(payloads), 2ull << 32 | 1, 4ull << 32 | 3,
                                        6ull << 32 | 5);
    std::string header = jointest::BlockHeader(texts, payloads);
    std::vector<std::string> files = {FitStubImage(Pattern(9000, 77)) + header + payloads[0]};
    for (size_t n = 1; n < payloads.size(); n++) files.push_back(payloads[n]);
    for (size_t n = 0; n < files.size(); n++) jointest::Write(PiecePath(n), files[n]);
    PrepareJoin(Path("DATA"), TotalOf(payloads));
    CopyBytes(JoinState.HeaderImage, header.data(), HeaderSize);
    JoinState.PieceCheck.Active =
        ReadDigestBlock(JoinState.HeaderImage, &JoinState.PieceCheck.Block);
    EXPECT_TRUE(JoinState.PieceCheck.Active);
    return files;
  }
  // The recovery files of files, as the tool's encoder makes them (in the format version given,
  // slices of sliceSize bytes; 0: the writer's).
  static std::vector<std::string> Encode(const std::vector<std::string>& files, int32_t rows,
                                         int32_t version = RecoveryFormatVersion,
                                         int32_t sliceSize = 0) {
    std::vector<MemoryFile> set(files.size()), outputs(static_cast<size_t>(rows));
    for (size_t n = 0; n < files.size(); n++) set[n].Bytes = files[n];
    Accesses setAccess(set), outputAccess(outputs);
    RecoveryResult result =
        EncodeRecovery(setAccess.Files, outputAccess.Files, nullptr, version, sliceSize);
    EXPECT_EQ(result.Outcome, RecoveryDone);
    std::vector<std::string> made;
    for (const MemoryFile& output : outputs) made.push_back(output.Bytes);
    return made;
  }
  void WriteRows(const std::vector<std::string>& rows) {
    for (size_t r = 0; r < rows.size(); r++)
      jointest::Write(Path("DATA" + RecoverySuffix(static_cast<int32_t>(r))), rows[r]);
  }
  std::string PiecePath(size_t n) {
    char path[PathTextSize];
    PiecePathFor(path, sizeof path, Path("DATA").c_str(), static_cast<int32_t>(n));
    return path;
  }
  void Damage(size_t n, size_t at) {
    std::string bytes = Read(PiecePath(n));
    Flip(bytes, at);
    jointest::Write(PiecePath(n), bytes);
  }
  // The container written with a bit of the first text byte of its first records records changed
  // (DATA.BIN becomes EATA.BIN, a digit another digit), then JoinState as header loading leaves
  // it, the fields it fills cleared first.
  void LoadDamagedContainer(std::string container, int32_t records) {
    for (int32_t record = 0; record < records; record++)
      container[HeaderOffset + HeaderRecordSize * record + 1] ^= 1;
    jointest::Write(PiecePath(0), container);
    JoinState = JoinStateRecord{};
    JoinState.StartButton = button;
    snprintf(PosixModulePath, sizeof PosixModulePath, "%s", PiecePath(0).c_str());
    LoadHeader(window);
  }
  // The join, saved as out.bin: its bytes ("" when it was deleted).
  std::string Join() {
    fake::SaveAnswers.push_back({true, Path("out.bin")});
    RunJoin(window, WindowJoinCallbacks);
    return Read(Path("out.bin"));
  }
  // What a user sees of a join: its titles, dialogs and boxes, and the times written (the
  // scratch folder, new for every join, left out).
  std::vector<std::string> SeenCalls() const {
    std::vector<std::string> seen;
    for (std::string line : fake::Log)
      for (const char* name : {"SetWindowTextW", "GetOpenFileNameW", "GetSaveFileNameW",
                               "MessageBoxW", "SetFileTime"}) {
        if (line.rfind(name, 0) != 0) continue;
        for (size_t at; (at = line.find(dir)) != std::string::npos;)
          line.replace(at, dir.size(), "DIR");
        seen.push_back(line);
      }
    return seen;
  }
  void ExpectCompleteWithBox(const std::vector<std::string>& payloads, const std::string& output,
                             const std::string& names) {
    EXPECT_BYTES(output, Concatenated(payloads));
    EXPECT_EQ(JoinState.Outcome, OutcomeComplete);
    EXPECT_EQ(fake::Count("GetOpenFileNameW"), 0u) << "no piece was asked for";
    EXPECT_THAT(fake::Calls("MessageBoxW"), ElementsAre(RebuiltBox(names)));
    EXPECT_EQ(fake::Log.back(), RebuiltBox(names)) << "the box comes after the outcome";
    EXPECT_THAT(fake::Calls("SetFileTime"), ElementsAre(HeaderTimesCall()));
  }
};

// ---- pieces rebuilt -----------------------------------------------------------------------------

TEST_F(PieceRebuildTest, AMissingAndADamagedPieceAreRebuiltWithoutAsking) {
  std::vector<std::string> files = WriteBlockSet(SixFiles);
  WriteRows(Encode(files, 2));
  ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
  Damage(4, 45000);
  std::string output = Join();
  ExpectCompleteWithBox(SixFiles, output, "DATA.C002, DATA.C004");
  // The title names each piece as it is joined or rebuilt, the lost one included.
  EXPECT_THAT(fake::Calls("SetWindowTextW"),
              testing::Contains("SetWindowTextW(1,Tarnovell! - DATA.C002)"));
  EXPECT_FALSE(Exists(PiecePath(2))) << "a rebuild writes only the output";
}

TEST_F(PieceRebuildTest, TheContainersOwnPayloadAndAShortPieceAreMended) {
  std::vector<std::string> files = WriteBlockSet(SixFiles);
  WriteRows(Encode(files, 2));
  std::string container = files[0];
  Flip(container, PayloadOffset + 99999);  // the last byte of its payload
  jointest::Write(PiecePath(0), container);
  jointest::Write(PiecePath(5), SixFiles[5].substr(0, 49000));
  ExpectCompleteWithBox(SixFiles, Join(), "DATA.EXE, DATA.C005");
}

TEST_F(PieceRebuildTest, TheBoxNamesThreePiecesThenCountsTheRest) {
  std::vector<std::string> payloads = Patterns({70000, 65536, 65536, 65536, 65536, 65536, 1});
  std::vector<std::string> files = WriteBlockSet(payloads);
  WriteRows(Encode(files, 5));
  for (size_t n : {1, 3, 4, 6}) ASSERT_EQ(remove(PiecePath(n).c_str()), 0);
  Damage(2, 0);
  ExpectCompleteWithBox(payloads, Join(), "DATA.C001, DATA.C002, DATA.C003\r\n\xE8 \xE5\xF9\xB8 2");
}

TEST_F(PieceRebuildTest, PiecesOfEveryGroupAreRebuiltFromTheirOwnGroup) {
  // 252 rows leave three files to a group: seven files in groups {0, 3, 6}, {1, 4}, {2, 5}.
  std::vector<std::string> payloads = Patterns({30000, 40000, 40000, 40000, 40000, 40000, 700});
  std::vector<std::string> files = WriteBlockSet(payloads);
  std::vector<std::string> rows = Encode(files, 252);
  rows.resize(3);  // rows 0 to 2 are all this join needs: one lost file per group
  WriteRows(rows);
  for (size_t n : {4, 5, 6}) ASSERT_EQ(remove(PiecePath(n).c_str()), 0);
  ExpectCompleteWithBox(payloads, Join(), "DATA.C004, DATA.C005, DATA.C006");
}

// Older recovery files (no slice digests), and slices smaller than the writer's: their headers are
// as long as their own version and slice size make them.
TEST_F(PieceRebuildTest, OlderFilesAndSmallSlicesServeToo) {
  for (int32_t version : {1, 2}) {
    SCOPED_TRACE(version);
    Restart();
    std::vector<std::string> files = WriteBlockSet(SixFiles);
    WriteRows(Encode(files, 2, version, version == 1 ? 0 : 65536));
    ASSERT_EQ(remove(PiecePath(1).c_str()), 0);
    ASSERT_EQ(remove(PiecePath(3).c_str()), 0);
    ExpectCompleteWithBox(SixFiles, Join(), "DATA.C001, DATA.C003");
  }
}

TEST_F(PieceRebuildTest, ADamagedRecoveryFileIsLeftOutForAnother) {
  std::vector<std::string> files = WriteBlockSet(SixFiles);
  std::vector<std::string> rows = Encode(files, 2);
  Flip(rows[0], rows[0].size() - 1000);  // its parity: the header still checks
  WriteRows(rows);
  ASSERT_EQ(remove(PiecePath(3).c_str()), 0);
  ExpectCompleteWithBox(SixFiles, Join(), "DATA.C003");
}

// ---- a damaged container header -----------------------------------------------------------------

// A recovery file's copy stands for the header (its name, size and times); the recovery files mend
// the set as ever, and the container is named among the rebuilt pieces, once.
TEST_F(PieceRebuildTest, ADamagedHeaderGivesWayToTheCopyOfARecoveryFile) {
  for (bool payloadDamaged : {false, true}) {
    Restart();
    std::vector<std::string> files = WriteBlockSet(SixFiles);
    WriteRows(Encode(files, 1));
    if (payloadDamaged) Flip(files[0], PayloadOffset + 7);
    if (!payloadDamaged) ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
    LoadDamagedContainer(files[0], 3);
    EXPECT_EQ(fake::Text(JoinState.OutputPath), "DATA.BIN");
    EXPECT_EQ(JoinState.TotalSize, TotalOf(SixFiles));
    EXPECT_EQ(JoinState.CreationTime.dwLowDateTime, 1u);
    ExpectCompleteWithBox(SixFiles, Join(), payloadDamaged ? "DATA.EXE" : "DATA.EXE, DATA.C002");
  }
}

// Without a recovery file whose copy serves (its self-check fails, its copy's block does not
// check, its sizes are not the copy's), the set joins as one without digests, the container bad.
TEST_F(PieceRebuildTest, ADamagedHeaderWithoutACopyThatServesLeavesTheContainerBad) {
  std::string row = Encode(WriteBlockSet(SixFiles), 1)[0];
  std::string unchecked = row, blockless = row, otherSizes = row;
  Flip(unchecked, 2104 + 12 * 6 + 4);           // a slice digest
  Resealed(blockless, 56 + HeaderSize - 8, 0);  // the copy's block self-check
  Resealed(otherSizes, 2104 + 12 * 3, 4000);    // piece 3's size
  for (const auto& rows :
       std::vector<std::vector<std::string>>{{unchecked}, {blockless}, {otherSizes}, {}}) {
    Restart();
    std::vector<std::string> files = WriteBlockSet(SixFiles);
    WriteRows(rows);
    LoadDamagedContainer(files[0], 1);
    EXPECT_EQ(fake::Text(JoinState.OutputPath), "EATA.BIN");
    EXPECT_BYTES(Join(), Concatenated(SixFiles));
    EXPECT_EQ(JoinState.Outcome, OutcomeMismatch);
    EXPECT_THAT(fake::Calls("MessageBoxW"),
                ElementsAre(testing::EndsWith(":\r\nDATA.EXE,Tarnovell!,0x30)")));
  }
}

// ---- recovery files that cannot serve: the join as without them ----------------------------

class RebuildRefusedTest : public PieceRebuildTest {
 protected:
  // The join of the set as it is on disk, with the recovery files rows beside it, and then once
  // more without them: the same output, outcome and everything the user sees.
  void ExpectSameAsWithout(const std::vector<std::string>& rows) {
    std::vector<std::string> files;
    for (size_t n = 0; n < SixFiles.size(); n++) files.push_back(Read(PiecePath(n)));
    WriteRows(rows);
    fake::MessageBoxAnswers = {IDYES};  // a piece asked for: the join is abandoned
    std::string with = Join();
    uint8_t outcome = JoinState.Outcome;
    std::vector<std::string> seen = SeenCalls();

    Restart();
    WriteBlockSet(SixFiles);
    for (size_t n = 0; n < files.size(); n++)
      if (files[n].empty())
        remove(PiecePath(n).c_str());
      else
        jointest::Write(PiecePath(n), files[n]);
    fake::MessageBoxAnswers = {IDYES};
    EXPECT_BYTES(with, Join());
    EXPECT_EQ(outcome, JoinState.Outcome);
    EXPECT_EQ(seen, SeenCalls());
  }
};

TEST_F(RebuildRefusedTest, ThreeDamagedPiecesWithTwoRecoveryFilesAreNamedAsBefore) {
  std::vector<std::string> files = WriteBlockSet(SixFiles);
  std::vector<std::string> rows = Encode(files, 2);
  for (size_t n : {1, 3, 5}) Damage(n, 10);
  ExpectSameAsWithout(rows);
  EXPECT_EQ(JoinState.Outcome, OutcomeMismatch);
}

TEST_F(RebuildRefusedTest, ThreeLostPiecesWithTwoRecoveryFilesAreAskedForAsBefore) {
  std::vector<std::string> files = WriteBlockSet(SixFiles);
  std::vector<std::string> rows = Encode(files, 2);
  Damage(1, 10);
  Damage(2, 10);
  ASSERT_EQ(remove(PiecePath(4).c_str()), 0);
  ExpectSameAsWithout(rows);
  EXPECT_EQ(fake::Count("GetOpenFileNameW"), 1u);
}

TEST_F(RebuildRefusedTest, RecoveryFilesOfAnOlderSplitAreIgnored) {
  std::vector<std::string> older = SixFiles;
  Flip(older[2], 7);
  std::vector<std::string> rows = Encode(WriteBlockSet(older), 2);
  Restart();
  WriteBlockSet(SixFiles);
  ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
  ExpectSameAsWithout(rows);
}

TEST_F(RebuildRefusedTest, RecoveryFilesUnderTheWrongNameOrWithABrokenHeaderAreIgnored) {
  std::vector<std::string> rows = Encode(WriteBlockSet(SixFiles), 2);
  ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
  // Each row is opened once, for its header, and never as a source: no rebuild cuts the output
  // back to the piece's offset to write there.
  static std::vector<std::string>* calls;
  std::vector<std::string> seen;
  calls = &seen;
  FileFaultHook = [](FileCallKind call, const char* name) -> DWORD {
    std::string file = name != nullptr ? LastPathComponent(name) : "";
    if (call == CallSetEndOfFile) calls->push_back("cut");
    if (call == CallCreateFile && (file == "DATA.r01" || file == "DATA.r02"))
      calls->push_back(file);
    return 0;
  };
  ExpectSameAsWithout({rows[1], rows[0]});  // each row under the other's name
  EXPECT_THAT(seen, ElementsAre("DATA.r01", "DATA.r02"));
  Restart();
  WriteBlockSet(SixFiles);
  ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
  std::vector<std::string> broken = rows;
  Flip(broken[0], 3000);                     // inside the header: the self-check fails
  Resealed(broken[1], 2104 + 12 * 3, 4000);  // piece 3's size, under a self-check that holds
  ExpectSameAsWithout(broken);
  Restart();
  WriteBlockSet(SixFiles);
  ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
  std::vector<std::string> badSlices = rows;
  for (std::string& row : badSlices) Resealed(row, 52, 65536 + 1, 4);  // S not a power of two
  ExpectSameAsWithout(badSlices);
}

TEST_F(PieceRebuildTest, WithoutRecoveryFilesTheOnlyNewCallIsOneLookUp) {
  WriteBlockSet(SixFiles);
  std::vector<std::string> looked;
  static std::vector<std::string>* names;
  names = &looked;
  FileFaultHook = [](FileCallKind call, const char* name) -> DWORD {
    if (name != nullptr && std::string(LastPathComponent(name)).find(".r") != std::string::npos)
      names->push_back(std::to_string(call) + ":" + LastPathComponent(name));
    return 0;
  };
  EXPECT_BYTES(Join(), Concatenated(SixFiles));
  FileFaultHook = nullptr;
  EXPECT_THAT(looked, ElementsAre(std::to_string(CallFindFirstFile) + ":DATA.r01"));
}

// ---- file errors during a rebuild --------------------------------------------------------------

int CallNumber;
int FailAt;

int KindOfCall;

DWORD FailOneCall(FileCallKind kind, const char*) {
  if (++CallNumber != FailAt) return 0;
  KindOfCall = kind;
  return 5;
}

TEST_F(PieceRebuildTest, AFailedCallDuringARebuildNeverGivesAWrongCompleteFile) {
  std::vector<std::string> files = WriteBlockSet(SixFiles);
  std::vector<std::string> rows = Encode(files, 2);
  std::string joined = Concatenated(SixFiles);
  int completes = 0, deleted = 0, mismatches = 0;
  for (FailAt = 1;; FailAt++) {
    Restart();
    WriteBlockSet(SixFiles);
    WriteRows(rows);
    ASSERT_EQ(remove(PiecePath(2).c_str()), 0);
    Damage(4, 100);
    fake::MessageBoxAnswers = {IDYES};
    CallNumber = 0;
    FileFaultHook = FailOneCall;
    std::string output = Join();
    FileFaultHook = nullptr;
    if (CallNumber < FailAt) break;  // every call has failed once
    SCOPED_TRACE("call " + std::to_string(FailAt));
    if (!JoinState.Finished) {  // asked for the lost piece, and abandoned
      EXPECT_EQ(fake::Count("GetOpenFileNameW"), 1u);
    } else if (JoinState.Outcome == OutcomeComplete) {
      EXPECT_BYTES(output, joined);
      completes++;
    } else if (output.empty()) {
      EXPECT_EQ(JoinState.Outcome, OutcomeFileError) << "the window says the file system failed";
      deleted++;
    } else {
      // Kept but not complete: a piece left damaged, or a size that could not be told.
      EXPECT_EQ(JoinState.Outcome, OutcomeMismatch) << KindOfCall;
      mismatches++;
    }
    EXPECT_BYTES(Read(PiecePath(1)), SixFiles[1]) << "a piece is only read";
  }
  EXPECT_GT(deleted, 10) << "reads and writes of the rebuild end as a failed join";
  EXPECT_GT(completes, 0) << "a recovery file that cannot be read is merely left out";
  EXPECT_GT(mismatches, 0) << "the recovery files unreadable: the damaged piece is named";
}

// ---- memory
// --------------------------------------------------------------------------------------

TEST(RebuildMemory, StripesOfEveryGroupSizeFitTheBufferInWholePages) {
  for (int32_t k = 1; k < RecoveryCodeWord; k++) {
    uint32_t stripe = StripeBytes(k);
    ASSERT_GE(stripe, 4096u) << k;
    ASSERT_EQ(stripe % 4096, 0u) << k;
    ASSERT_LE(static_cast<uint64_t>(stripe) * (k + 1), RebuildBufferBytes) << k;
  }
  EXPECT_LT(RebuildBufferBytes, 16u << 20);
}

}  // namespace
