// Fuzzes the program's start and join over hostile containers: the window created from the own
// image (its header loaded), the start command with the Save dialog answered or cancelled, a
// missing piece given up, and a paint after it; over the POSIX file stand-in and the recording
// window stand-in. Beyond what the sanitizers see, every run checks that nothing is written
// outside the current folder, that the set's files keep their bytes, and that a complete join
// holds exactly the set's payloads up to the header's total.
//
// With a digest block (bit 6 of byte 0) the header is given one that the tool could have
// written for the set as planned: record 2 holds the planned total, the texts of records 2 to 8
// are cut to fit, the planned sizes are the pieces' own where the block's layout allows (the
// others then come short or long), and one digest may be spoiled. The join must then warn about
// exactly the pieces that an independent model calls bad, and only then.
//
// Input: byte 0 (bits 0-1: further pieces k; bit 4: own image without ".exe"; bit 5: the Save
// dialog cancelled; bit 6: a digest block), with a block two bytes (the run length, and which
// digest is spoiled: 0 none), k two-byte piece lengths, then the bytes after the stub: the
// header and the container's payload, with the pieces' bytes taken from its end.
#include <dirent.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/byte_text.h"
#include "stub/state/join_state.h"
#include "integrity/crc32c.h"
#include "container/digest_block.h"
#include "container/layout.h"
#include "stub/fileio/large_file.h"
#include "stub/platform/files_posix.h"
#include "tests/support/fake_ui.h"
#include "stub/ui/main_window.h"

namespace {

struct Run {
  std::vector<std::string> pieces;  // payloads: the container's, then the further pieces'
  std::string tail;                 // the container after the stub
  bool ownExe = true;
  bool cancelSave = false;
  bool block = false;            // a digest block is written into the header
  uint8_t runChoice = 0;         // the block's run length, 1 + runChoice modulo the pieces
  uint8_t spoiled = 0;           // digest spoiled - 1, or 0 for none
  std::vector<int64_t> planned;  // the pieces' payloads as the block gives them
};

Run Decode(const uint8_t* data, size_t size) {
  Run run;
  if (size == 0) return run;
  size_t k = data[0] & 3, at = 1;
  run.ownExe = (data[0] & 0x10) == 0;
  run.cancelSave = (data[0] & 0x20) != 0;
  run.block = (data[0] & 0x40) != 0 && size >= at + 2;
  if (run.block) {
    run.runChoice = data[at++];
    run.spoiled = data[at++];
  }
  std::vector<size_t> lengths;
  for (size_t i = 0; i < k && at + 2 <= size; i++, at += 2)
    lengths.push_back(data[at] | (data[at + 1] << 8));
  run.tail.assign(reinterpret_cast<const char*>(data) + at, size - at);
  size_t payload0 = run.tail.size() > PayloadOffset - HeaderOffset
                        ? run.tail.size() - (PayloadOffset - HeaderOffset)
                        : 0;
  std::vector<std::string> further;
  for (size_t length : lengths) {
    size_t taken = length < payload0 ? length : payload0;
    payload0 -= taken;
    further.push_back(run.tail.substr(run.tail.size() - taken));
    run.tail.resize(run.tail.size() - taken);
  }
  run.pieces.push_back(payload0 == 0 ? std::string()
                                     : run.tail.substr(PayloadOffset - HeaderOffset));
  run.pieces.insert(run.pieces.end(), further.rbegin(), further.rend());
  return run;
}

void Check(bool condition, const char* what);

// The sizes the block plans: the container's and piece 1's own (at least 1 byte), the pieces
// between of piece 1's size, the last one its own size kept within 1 to that size.
std::vector<int64_t> PlannedSizes(const Run& run) {
  size_t n = run.pieces.size();
  std::vector<int64_t> sizes = {static_cast<int64_t>(run.pieces[0].size())};
  int64_t size = n > 1 ? std::max<int64_t>(1, run.pieces[1].size()) : 0;
  for (size_t i = 1; i + 1 < n; i++) sizes.push_back(size);
  if (n > 1)
    sizes.push_back(std::min<int64_t>(size, std::max<int64_t>(1, run.pieces[n - 1].size())));
  return sizes;
}

// The block for the run written into its header (the tail's first bytes): false when there is
// no whole header. Record 2 takes the planned total; longer texts of records 2 to 8 are cut
// before the block's room.
bool SealBlock(Run& run) {
  if (run.tail.size() < static_cast<size_t>(HeaderSize)) return false;
  uint8_t* header = reinterpret_cast<uint8_t*>(&run.tail[0]);
  run.planned = PlannedSizes(run);
  int64_t total = 0;
  for (int64_t size : run.planned) total += size;
  std::string text = std::to_string(total);
  header[HeaderRecordSize] = static_cast<uint8_t>(text.size());
  std::copy(text.begin(), text.end(), header + HeaderRecordSize + 1);
  for (int record = 1; record < HeaderRecordCount; record++)
    header[record * HeaderRecordSize] =
        std::min<uint8_t>(header[record * HeaderRecordSize], DigestBlockStart - 1);
  DigestBlock plan{};
  int32_t pieces = static_cast<int32_t>(run.pieces.size());
  plan.Image.PieceCount = static_cast<uint32_t>(pieces);
  plan.Image.RunLength = 1 + run.runChoice % static_cast<uint32_t>(pieces);
  plan.Image.FirstPayload = static_cast<uint64_t>(run.planned[0]);
  plan.Image.PieceSize = pieces > 1 ? static_cast<uint64_t>(run.planned[1]) : 0;
  int32_t length = static_cast<int32_t>(plan.Image.RunLength);
  for (int32_t n = 0; n < pieces; n++)
    plan.Image.Digests[n / length] = Crc32cAdd(n % length == 0 ? 0 : plan.Image.Digests[n / length],
                                               run.pieces[n].data(), run.pieces[n].size());
  int32_t digests = (pieces - 1) / length + 1;
  if (run.spoiled != 0) plan.Image.Digests[(run.spoiled - 1) % digests] ^= 1;
  Check(WriteDigestBlock(header, &plan), "a planned block refused");
  return true;
}

// Base holds only a/, which holds only set/ (the container and its pieces) and run/ (the current
// folder while the program runs; the fuzzer's own folder is current otherwise, so that its
// corpus and artifacts are where it was told).
std::string Base, Root, SetDir, RunDir, FuzzerDir;

bool WriteFile(const std::string& path, const std::string& bytes, off_t at = 0) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = ftruncate(fileno(file), at) == 0 && fseeko(file, at, SEEK_SET) == 0 &&
            fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return "<none>";
  char block[4096];
  for (size_t n; (n = fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, n);
  fclose(file);
  return bytes;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) abort();
  while (dirent* entry = readdir(dir))
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
      names.push_back(entry->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void Empty(const std::string& folder) {
  for (const std::string& name : Entries(folder))
    if (unlink((folder + "/" + name).c_str()) != 0) abort();  // only files are ever made there
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "join fuzz: %s\n", what);
  if (chdir(FuzzerDir.c_str()) != 0)
    std::fprintf(stderr, "join fuzz: back to %s failed\n", FuzzerDir.c_str());
  abort();
}

// The program from its window's creation to a paint after the start command; it may end the
// process (a bare stub, a header number that is not valid), which the stand-in throws.
void RunProgram(const Run& run) {
  fake::Reset();
  JoinState = JoinStateRecord{};
  FileOpenMode = 2;
  TakeIoResult();
  if (!run.cancelSave) fake::SaveAnswers.push_back({true, "out.bin"});
  fake::MessageBoxAnswers = {IDYES};  // a missing piece: give the join up
  try {
    Check(RegisterMainClass(), "the class");
    HWND window = CreateMainWindow();
    MainWndProc(window, WM_COMMAND, StartButtonId, 0);
    MainWndProc(window, WM_PAINT, 0, 0);
  } catch (const FakeProcessExit&) {
  }
}

// A join of a set with a block warns, and ends as possibly damaged, exactly when a piece it took
// has another size than planned or ends a run whose digest was spoiled, unless a piece of that
// run has another size (which alone is named: such a run cannot match its digest anyway); it
// remembers those pieces (and runs), in order.
void CheckWarning(const Run& run) {
  Check(JoinState.PieceCheck.Active, "the block was not taken");
  const PieceCheckRecord& check = JoinState.PieceCheck;
  int32_t spoiled = run.spoiled == 0 ? -1 : (run.spoiled - 1) % check.Block.DigestCount;
  std::vector<std::pair<int32_t, int32_t>> bad;  // first and last piece of each
  bool runSizesRight = true;
  for (int32_t n = 0; n < JoinState.PieceIndex; n++) {
    int32_t digest = DigestIndexOf(check.Block, n);
    if (n == RunFirstPiece(check.Block, digest)) runSizesRight = true;
    if (static_cast<int64_t>(run.pieces.at(n).size()) != run.planned.at(n)) {
      bad.push_back({n, n});
      runSizesRight = false;
    } else if (EndsRun(check.Block, n) && digest == spoiled && runSizesRight) {
      bad.push_back({RunFirstPiece(check.Block, digest), n});
    }
  }
  Check(check.BadCount == static_cast<int32_t>(bad.size()), "the bad pieces miscounted");
  for (size_t i = 0; i < bad.size() && i < NamedBadPieces; i++)
    Check(check.BadFirst[i] == bad[i].first && check.BadLast[i] == bad[i].second,
          "another bad piece remembered");
  size_t warnings = 0;  // boxes with the warning icon
  for (const std::string& line : fake::Calls("MessageBoxW"))
    warnings += line.size() > 6 && line.substr(line.size() - 6) == ",0x30)";
  Check(warnings == (bad.empty() ? 0u : 1u),
        "a warning without a bad piece, or a bad piece without one");
  Check((JoinState.Outcome == OutcomeComplete) ==
            (bad.empty() && JoinState.JoinedSize == JoinState.TotalSize),
        "the outcome does not follow the pieces");
}

// What the current folder holds after the run: nothing, unless the join ended with a joined
// file, which then holds exactly the payloads of the pieces it took, in order (an empty file
// named by the header when no dialog was shown).
void CheckOutput(const Run& run) {
  std::vector<std::string> made = Entries(RunDir);
  Check(JoinState.TextBuffer[TextBufferSize - 1] == 0, "TextBuffer not terminated");
  if (!JoinState.Finished || JoinState.Outcome == OutcomeFileError) {
    Check(made.empty(), "an output left without a joined file");
    return;
  }
  bool asked = fake::Count("GetSaveFileNameW") > 0;
  // Without the dialog the file is the header's name, under the name the file calls give it.
  Check(made.size() == 1 && made[0] == (asked ? "out.bin" : Utf8OfWide(JoinState.OutputPath)),
        "the output is elsewhere");
  std::string taken;
  for (int32_t n = 0; asked && n < JoinState.PieceIndex; n++) taken += run.pieces.at(n);
  std::string output = ReadFile(RunDir + "/" + made[0]);
  Check(output == taken, "the output is not the payloads taken");
  bool wholeHeader = run.tail.size() >= static_cast<size_t>(PayloadOffset - HeaderOffset);
  if (JoinState.Outcome == OutcomeComplete && wholeHeader)
    Check(output.size() == static_cast<uint64_t>(JoinState.TotalSize),
          "complete, but not the header's size");
  if (run.block && asked) CheckWarning(run);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/dev/shm/tarnovell-join-fuzz-XXXXXX";
  char fallback[] = "/tmp/tarnovell-join-fuzz-XXXXXX";
  const char* base = mkdtemp(folder);
  if (base == nullptr) base = mkdtemp(fallback);
  Check(base != nullptr, "no scratch folder");
  Base = base;
  Root = Base + "/a";
  SetDir = Root + "/set";
  RunDir = Root + "/run";
  for (const std::string& path : {Root, SetDir, RunDir})
    Check(mkdir(path.c_str(), 0700) == 0, "mkdir");
  char here[4096];
  Check(getcwd(here, sizeof here) != nullptr, "getcwd");
  FuzzerDir = here;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(Base, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run run = Decode(data, size);
  if (run.block && !SealBlock(run)) return 0;
  Empty(SetDir);
  Empty(RunDir);
  std::string own = SetDir + (run.ownExe ? "/DATA.exe" : "/DATA.bin");
  Check(WriteFile(own, run.tail, StubSize), "the container");
  for (size_t n = 1; n < run.pieces.size(); n++) {
    char path[PathTextSize];
    PiecePathFor(path, sizeof path, (SetDir + "/DATA").c_str(), static_cast<int32_t>(n));
    Check(WriteFile(path, run.pieces[n]), "a piece");
  }
  TextCopy(PosixModulePath, sizeof PosixModulePath, own.c_str());
  std::vector<std::string> before = Entries(SetDir);

  Check(chdir(RunDir.c_str()) == 0, "chdir");
  RunProgram(run);
  Check(chdir(FuzzerDir.c_str()) == 0, "chdir back");

  Check(Entries(Base).size() == 1 && Entries(Root).size() == 2 && Entries(SetDir) == before,
        "a file written outside the current folder");
  Check(ReadFile(own).substr(StubSize) == run.tail, "the container changed");
  for (size_t n = 1; n < run.pieces.size(); n++) {
    char path[PathTextSize];
    PiecePathFor(path, sizeof path, (SetDir + "/DATA").c_str(), static_cast<int32_t>(n));
    Check(ReadFile(path) == run.pieces[n], "a piece changed");
  }
  // Every piece of a set with a block is there: none is ever looked for.
  if (JoinState.PieceCheck.Active)
    Check(fake::Count("GetOpenFileNameW") == 0, "a piece after the set's last looked for");
  CheckOutput(run);
  return 0;
}
