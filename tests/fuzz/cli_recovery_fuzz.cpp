// Fuzzes the tool's recovery path over forged recovery files beside a real set: finding the
// recovery files and the set's files (OpenRecoveryFileSet), the survey (SurveyRecoveryFileSet)
// and, where it finds the set repairable, the repair into memory targets (RepairSet). Two sets
// are made once in a folder of their own: one of 4 files (a digest per piece) and one of 400
// (digests per run of 2), each with 2 genuine recovery files. The input's first byte picks the
// set and a file of it to hide for the run (or none); then for each of 3 recovery files: none,
// the genuine one, one with its header edited as the input says and sealed again (its parity
// genuine, cut or padded), or the input's bytes as they are.
// The set's files are the genuine ones, so whatever recovery files lie beside them:
// - a survey that ends well finds no file's data lost but the hidden one's, and the sizes it
//   follows are the block's;
// - a repair that ends well gives the hidden file back byte for byte.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/os/paths.h"
#include "cli/set/module_files.h"
#include "cli/set/recovery_files.h"
#include "cli/set/stub_image.h"
#include "cli/show/messages.h"
#include "container/layout.h"
#include "integrity/crc32c.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/descriptor_access.h"

// The tool's printing and its report of an interruption (cli/show/messages.cpp) are left out:
// nothing here prints. The embedded stub is left out too: zeros stand for it.
FILE* CliOut = nullptr;
FILE* CliErr = nullptr;
void CliPrint(FILE*, const char*, ...) {}
int ReportInterrupted(const char*) { return ExitInterrupted; }
void TellReason(const char*) {}
const char* ToldReason() { return ""; }
std::string ToldErrors() { return ""; }
const unsigned char StubImage[StubSize] = {};
const size_t StubImageSize = StubSize;

namespace {

[[noreturn]] void Fail(const char* what) { FuzzFail("tool recovery", what); }

struct MadeSet {
  std::string Base;  // folder + "/set"
  DigestBlock Block;
  std::vector<std::string> Files;     // each file's bytes
  std::vector<std::string> Recovery;  // each genuine recovery file's bytes
};

std::string FileName(const std::string& base, int32_t n) {
  if (n == 0) return base + ".exe";
  char suffix[PieceSuffixSize];
  PieceSuffix(n, suffix);
  return base + suffix;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0)
    Fail("cannot write the set");
}

// The header as split writes one: a name, the total, three times, the block sealed in.
std::string MakeHeader(int64_t total, DigestBlock* block) {
  std::string texts[HeaderRecordCount] = {
      "film.mkv", std::to_string(total), "1", "2", "3", "4", "5", "6"};
  std::string header(HeaderSize, '\0');
  for (int i = 0; i < HeaderRecordCount; i++) {
    header[static_cast<size_t>(i * HeaderRecordSize)] = static_cast<char>(texts[i].size());
    header.replace(static_cast<size_t>(i * HeaderRecordSize + 1), texts[i].size(), texts[i]);
  }
  if (!WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), block))
    Fail("the block was refused");
  return header;
}

MadeSet Make(const char* folder, int32_t files, int64_t pieceSize) {
  MadeSet set;
  std::string dir = std::string(P_tmpdir) + "/" + folder + "." + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  set.Base = dir + "/set";
  int32_t run = RunLengthFor(files);
  DigestBlock block = {};
  int64_t total = 0;
  std::vector<std::string> payloads;
  for (int32_t n = 0; n < files; n++) {
    int64_t size = n == 0 ? pieceSize / 2 + 7 : n == files - 1 ? pieceSize / 3 + 1 : pieceSize;
    std::string payload;
    for (int64_t i = 0; i < size; i++) payload += static_cast<char>((n * 131 + i * 7) & 0xFF);
    block.Image.Digests[n / run] =
        Crc32cAdd(block.Image.Digests[n / run], payload.data(), payload.size());
    payloads.push_back(payload);
    total += size;
  }
  block.Image.PieceCount = static_cast<uint32_t>(files);
  block.Image.RunLength = static_cast<uint32_t>(run);
  block.Image.FirstPayload = static_cast<uint64_t>(payloads[0].size());
  block.Image.PieceSize = static_cast<uint64_t>(pieceSize);
  std::string header = MakeHeader(total, &block);
  set.Block = block;
  for (int32_t n = 0; n < files; n++) {
    set.Files.push_back(n == 0 ? std::string(StubSize, '\0') + header + payloads[0] : payloads[n]);
    WriteFile(FileName(set.Base, n), set.Files.back());
  }
  std::vector<int> inputs, outputs;
  for (int32_t n = 0; n < files; n++)
    inputs.push_back(open(FileName(set.Base, n).c_str(), O_RDONLY));
  for (int r = 0; r < 2; r++) outputs.push_back(memfd_create("row", 0));
  std::vector<DescriptorAccess> inAccess(inputs.begin(), inputs.end()),
      outAccess(outputs.begin(), outputs.end());
  std::vector<const FileAccess*> in, out;
  for (const DescriptorAccess& access : inAccess) in.push_back(&access);
  for (const DescriptorAccess& access : outAccess) out.push_back(&access);
  if (EncodeRecovery(in, out, nullptr).Outcome != RecoveryDone)
    Fail("the set could not be encoded");
  for (int fd : outputs) {
    std::string bytes(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (pread(fd, &bytes[0], bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
      Fail("reading a row back");
    set.Recovery.push_back(bytes);
    close(fd);
  }
  for (int fd : inputs) close(fd);
  return set;
}

// A number the input picks for a size: the right one, near it, 0, a large power of two, or any.
int64_t PickSize(FuzzReader& in, int64_t right) {
  switch (in.Take(1) % 6) {
    case 0: return right;
    case 1: return right + 1;
    case 2: return right > 0 ? right - 1 : 0;
    case 3: return 0;
    case 4: return int64_t{1} << (in.Take(1) % 63);
    default: return static_cast<int64_t>(in.Take(8) & INT64_MAX);
  }
}

// A genuine recovery file with its header edited by the input and sealed again.
std::string Forge(const std::string& genuine, FuzzReader& in) {
  RecoveryHeader header;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(genuine.data());
  if (!ParseRecoveryFixed(bytes, &header) ||
      !ParseRecoveryHeader(bytes, header.HeaderLength, &header))
    Fail("a genuine header does not read");
  int64_t parityAt = header.HeaderLength;
  for (uint64_t edits = in.Take(1) % 8, i = 0; i < edits; i++) {
    int32_t n = static_cast<int32_t>(in.Take(2) % static_cast<uint64_t>(header.FileCount));
    switch (in.Take(1) % 9) {
      case 0: header.Files[n].Payload = PickSize(in, header.Files[n].Payload); break;
      case 1: header.Files[n].Digest ^= static_cast<uint32_t>(in.Take(4)); break;
      case 2: header.StubDigest ^= static_cast<uint32_t>(in.Take(1)); break;
      case 3:
        header.ContainerHeader[in.Take(2) % HeaderSize] ^=
            static_cast<uint8_t>(1 + in.Take(1) % 255);
        break;
      case 4:
        header.Row = static_cast<int32_t>(in.Take(1) % static_cast<uint64_t>(header.RowCount));
        break;
      case 5: {  // the set longer or shorter by a few files
        int32_t files = 1 + static_cast<int32_t>(in.Take(2) % 500);
        header.Files.resize(static_cast<size_t>(files), RecoveryFileEntry{PickSize(in, 64), 0});
        header.FileCount = files;
        break;
      }
      case 6:  // a slice's digest, of a file or of the parity
        if (!header.FileSlices.empty() && in.Take(1) % 2 == 0)
          header.FileSlices[in.Take(3) % header.FileSlices.size()] ^= 1;
        else if (!header.ParitySlices.empty())
          header.ParitySlices[in.Take(3) % header.ParitySlices.size()] ^= 1;
        break;
      case 7:  // another slice size, or the older format
        header.SliceSize = in.Take(1) % 4 == 0 ? 0 : 1 << (14 + in.Take(1) % 18);
        header.Version = header.SliceSize == 0 ? RecoveryFormatWithoutSlices : header.Version;
        break;
      default:
        header.RowCount = 1 + static_cast<int32_t>(in.Take(1) % 4);
        header.Row %= header.RowCount;
        break;
    }
  }
  if (!CompleteRecoveryGeometry(&header)) {  // sizes past the limit: the header says any P
    header.GroupCount = GroupCountFor(header.FileCount, header.RowCount);
    header.HeaderLength = RecoveryHeaderLength(header.FileCount, header.GroupCount);
    header.ParityLength = static_cast<int64_t>(in.Take(8) & INT64_MAX);
  }
  header.ParityDigests.resize(static_cast<size_t>(header.GroupCount),
                              static_cast<uint32_t>(in.Take(4)));
  std::vector<uint8_t> made = RecoveryHeaderBytes(header);
  std::string file(made.begin(), made.end());
  file += genuine.substr(static_cast<size_t>(parityAt));
  uint64_t cut = in.Take(2);
  if (cut % 3 == 1) file.resize(file.size() > cut ? file.size() - cut % 4096 : 0);
  if (cut % 3 == 2) file.append(cut % 4096, '\0');
  return file;
}

std::string RecoveryFile(const MadeSet& set, int32_t r, FuzzReader& in) {
  const std::string& genuine = set.Recovery[static_cast<size_t>(r) % set.Recovery.size()];
  switch (in.Take(1) % 4) {
    case 0: return genuine;
    case 1: return Forge(genuine, in);
    case 2: {
      size_t length = in.Take(2) % 5000;
      std::string bytes;
      for (size_t i = 0; i < length && in.size > 0; i++) bytes += static_cast<char>(in.Take(1));
      return bytes;
    }
    default: return "";
  }
}

// The survey's verdict against the genuine files on disk, then the repair's output against them.
// With the container hidden there is no authority: only that nothing breaks is checked.
void Check(const MadeSet& set, const RecoveryFileSet& files, const SetSurvey& survey,
           int32_t hidden) {
  bool authority = hidden != 0;
  if (!authority) hidden = -1;
  if (!authority) {
  } else if (survey.Header.FileCount != static_cast<int32_t>(set.Files.size()))
    Fail("a survey of another file count");
  for (int32_t n = 0; n < survey.Header.FileCount && authority; n++) {
    if (survey.Header.Files[n].Payload != ExpectedPayload(set.Block, n))
      Fail("a survey that follows other sizes");
    if (n != hidden && PayloadLost(survey.Files[n])) Fail("a genuine file found lost");
  }
  if (!survey.Repairable || survey.FilesToRewrite == 0) return;
  std::vector<int> fds;
  std::vector<const FileAccess*> targets;
  for (int32_t n = 0; n < survey.Header.FileCount; n++)
    fds.push_back(NeedsRewrite(survey.Files[n]) ? memfd_create("t", 0) : -1);
  std::vector<DescriptorAccess> access(fds.begin(), fds.end());
  for (size_t n = 0; n < fds.size(); n++) targets.push_back(fds[n] >= 0 ? &access[n] : nullptr);
  ModuleFiles setFiles(files.SetFiles), recoveryFiles(files.RecoveryFiles);
  RecoveryResult result =
      RepairSet(survey, setFiles.List(), recoveryFiles.List(), targets, StubImage, nullptr);
  if (result.Outcome == RecoveryDone && hidden >= 0) {
    const std::string& expected = set.Files[static_cast<size_t>(hidden)];
    std::string got(expected.size(), '\0');
    if (lseek(fds[hidden], 0, SEEK_END) != static_cast<off_t>(expected.size()) ||
        pread(fds[hidden], &got[0], got.size(), 0) != static_cast<ssize_t>(got.size()) ||
        got != expected)
      Fail("a rebuilt file that is not the genuine one");
  }
  for (int fd : fds)
    if (fd >= 0) close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MadeSet small = Make("tarnovell-fuzz-small", 4, 96),
                 runs = Make("tarnovell-fuzz-runs", 400, 24);
  if (size == 0) return 0;
  FuzzReader in{data + 1, size - 1};
  const MadeSet& set = data[0] % 2 == 0 ? small : runs;
  int32_t files = static_cast<int32_t>(set.Files.size());
  int32_t hidden = static_cast<int32_t>(data[0] / 2 % 8) - 1;
  if (hidden >= files) hidden = -1;
  std::vector<std::string> rows;
  for (int32_t r = 0; r < 3; r++) {
    std::string path = set.Base + RecoverySuffix(r);
    unlink(path.c_str());
    std::string bytes = RecoveryFile(set, r, in);
    if (!bytes.empty() || r == 2) WriteFile(path, bytes);
  }
  std::string hiddenPath = hidden >= 0 ? FileName(set.Base, hidden) : "";
  if (hidden >= 0 && rename(hiddenPath.c_str(), (hiddenPath + ".away").c_str()) != 0)
    Fail("cannot hide a file");
  {
    RecoveryFileSet files;
    if (OpenRecoveryFileSet(set.Base, "", FolderOf(set.Base), &files) == ExitComplete &&
        files.FileCount > 0) {
      SetSurvey survey;
      bool otherSet;
      if (SurveyRecoveryFileSet(files, false, ProgressStep::RepairCheck, &survey, &otherSet) ==
          ExitComplete)
        Check(set, files, survey, hidden);
    }
  }
  if (hidden >= 0 && rename((hiddenPath + ".away").c_str(), hiddenPath.c_str()) != 0)
    Fail("cannot put a file back");
  return 0;
}
