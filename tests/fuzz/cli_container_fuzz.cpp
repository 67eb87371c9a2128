// Fuzzes the tool's reading of a container: ReadContainerHead over a memory file made from the
// input, the digest block read with it, and the judgement of pieces against that block as join
// and verify make it. The input's first byte chooses how the file is made:
// - even: the input after it is the container from byte 28672 on (a stub of zeros before it): any
//   header, any length;
// - odd: a header the tool could have written (texts from the input, a block with fields and
//   digests from it, sealed), with bits of it flipped or not, then a few bytes of payload.
// Whatever the reader takes must hold together; then pieces of the sizes the input says (right,
// or a little short or long, or missing) with digests that match or not are judged, and the
// findings must name exactly the pieces a plain model calls bad.
#include <stddef.h>
#include <stdint.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "cli/os/os.h"
#include "cli/set/digest.h"
#include "cli/set/pieces.h"
#include "cli/show/messages.h"
#include "container/layout.h"
#include "integrity/crc64.h"
#include "tests/fuzz/fuzz_input.h"

// The tool's printing (cli/show/messages.cpp) is left out: nothing here prints.
FILE* CliOut = nullptr;
FILE* CliErr = nullptr;
void CliPrint(FILE*, const char*, ...) {}
int ReportInterrupted(const char*) { return ExitInterrupted; }
void TellReason(const char*) {}
const char* ToldReason() { return ""; }
std::string ToldErrors() { return ""; }

namespace {

[[noreturn]] void Fail(const char* what) { FuzzFail("tool container", what); }

using Reader = FuzzReader;

// A header as split writes one: texts, then a block over made-up sizes and digests.
std::string MadeHeader(Reader& in) {
  uint32_t pieces = 1 + static_cast<uint32_t>(in.Take(2) % 1200);
  uint64_t first = in.Take(3), size = 1 + in.Take(3), last = 1 + in.Take(3) % size;
  uint64_t total = pieces == 1 ? first : first + size * (pieces - 2) + last;
  std::string texts[HeaderRecordCount] = {std::string(in.Take(1) % 200, 'n'),
                                          std::to_string(total)};
  for (int i = 2; i < HeaderRecordCount; i++)
    texts[i] = std::to_string(static_cast<uint32_t>(in.Take(4)));
  std::string header(HeaderSize, '\0');
  for (int i = 0; i < HeaderRecordCount; i++) {
    header[static_cast<size_t>(i * HeaderRecordSize)] = static_cast<char>(texts[i].size());
    header.replace(static_cast<size_t>(i * HeaderRecordSize + 1), texts[i].size(), texts[i]);
  }
  DigestBlock block = FuzzPlan(in, pieces, first, size, 1);
  if (!WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), &block))
    Fail("the writer refused a plan");
  // Up to two bits flipped anywhere: the reader must then refuse the block.
  for (uint64_t flips = in.Take(1) % 3, i = 0; i < flips; i++) {
    uint64_t bit = in.Take(2) % (8 * HeaderSize);
    header[bit / 8] = static_cast<char>(header[bit / 8] ^ (1 << (bit % 8)));
  }
  return header;
}

// The pieces of a set judged as join and verify judge them; the findings against a plain model.
void JudgePieces(const PieceSet& set, Reader& in) {
  const DigestBlock& block = set.Head.Digests;
  int32_t pieces =
      static_cast<int32_t>(block.Image.PieceCount < 600 ? block.Image.PieceCount : 600);
  PieceCheck check;
  std::set<int32_t> wrongSize, missing, spoiled;
  for (int32_t n = 0; n < pieces; n++) {
    uint64_t choice = in.Take(1);
    if (choice % 11 == 1) {
      missing.insert(n);
      continue;
    }
    PieceFile piece;
    piece.Index = n;
    piece.Path = "piece";  // a name for the findings; the set names runs itself
    piece.DataSize = ExpectedPayload(block, n) + (choice % 11 == 2 ? -1 : choice % 11 == 3 ? 1 : 0);
    if (piece.DataSize != ExpectedPayload(block, n)) wrongSize.insert(n);
    CheckBegin(&check, set, n);
    // The run's CRC as reading it would leave it: right at the run's end unless the input says.
    if (EndsRun(block, n))
      check.Crc = block.Image.Digests[DigestIndexOf(block, n)] ^ (choice % 11 == 4 ? 1 : 0);
    if (EndsRun(block, n) && choice % 11 == 4) spoiled.insert(n);
    CheckEnd(&check, piece);
  }
  CheckFinish(&check);
  for (const Finding& finding : check.Findings) {
    if (finding.First < 0 || finding.Last < finding.First ||
        finding.Last >= static_cast<int32_t>(block.Image.PieceCount))
      Fail("a finding outside the set");
    bool sized = finding.Kind == FindingKind::Short || finding.Kind == FindingKind::Long;
    if (sized != (finding.First == finding.Last && wrongSize.count(finding.First) > 0))
      Fail("a size misjudged");
    for (int32_t n = finding.First; n <= finding.Last && !sized; n++)
      if (finding.Kind != FindingKind::RunUnchecked && (wrongSize.count(n) || missing.count(n)))
        Fail("a run with a piece of the wrong size or missing was judged by its digest");
  }
  // The model: a run is named damaged when its digest was spoiled and every piece of it was there
  // with its size; a piece of the wrong size is named as that.
  int64_t sizedFindings = 0, damageFindings = 0, damagedRuns = 0;
  for (const Finding& finding : check.Findings) {
    sizedFindings += finding.Kind == FindingKind::Short || finding.Kind == FindingKind::Long;
    if (finding.Kind != FindingKind::Damaged && finding.Kind != FindingKind::RunDamaged) continue;
    damageFindings++;
    int32_t run = DigestIndexOf(block, finding.Last);
    if (!spoiled.count(finding.Last) || finding.First != RunFirstPiece(block, run) ||
        finding.Last != RunLastPiece(block, run))
      Fail("damage named where there was none, or not as its run");
  }
  for (int32_t last : spoiled) {
    bool whole = true;
    for (int32_t n = RunFirstPiece(block, DigestIndexOf(block, last)); n <= last; n++)
      whole = whole && !wrongSize.count(n) && !missing.count(n);
    damagedRuns += whole;
  }
  if (sizedFindings != static_cast<int64_t>(wrongSize.size()))
    Fail("a piece of the wrong size not named");
  if (damageFindings != damagedRuns) Fail("a damaged run not named");
  DigestCoverage(set);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The container after the stub; the stub is the memory file's first StubSize bytes of zeros.
  std::string tail;
  Reader in{data + 1, size - 1};
  if (data[0] % 2 == 0) {
    tail.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    in.size = 0;
  } else {
    tail = MadeHeader(in);
    tail.append(in.Take(1), 'p');
  }
  static int memory = memfd_create("container", 0);
  if (memory < 0 || ftruncate(memory, 0) != 0 || ftruncate(memory, StubSize) != 0 ||
      pwrite(memory, tail.data(), tail.size(), StubSize) != static_cast<ssize_t>(tail.size()))
    Fail("memory file");
  PieceSet set;
  set.Container = dup(memory);  // the set closes its own
  set.BaseName = "set";
  if (!OsInfo(set.Container, &set.ContainerInfo)) Fail("stat of a memory file");
  std::string error;
  int code = ReadContainerHead(set.Container, set.ContainerInfo, &set.Head, &error);
  if ((code == ExitComplete) == !error.empty())
    Fail("an outcome without its reason, or a reason without one");
  if (tail.size() < static_cast<size_t>(HeaderSize) && code == ExitComplete)
    Fail("a short file taken");
  if (code == ExitComplete && set.Head.HasDigests) {
    if (set.Head.Digests.TotalSize != set.Head.TotalSize)
      Fail("the block and the header disagree on the size");
    JudgePieces(set, in);
  } else if (set.Head.HasDigests) {
    Fail("a block kept from a header that was refused");
  }
  return 0;
}
