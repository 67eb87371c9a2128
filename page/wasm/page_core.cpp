// The page's WebAssembly core: what the joiner page knows of the format, all of it the system's
// own code (the header and its digest block, CRC-32C, recovery files, survey and repair) over
// files that the page's script reads from the browser. Each call leaves its findings as one JSON
// text (PageResult); the script shows them, keeps the rebuilt bytes and saves the joined file.
//
// A call runs to its end in one go, but a read may wait for the browser: the build is
// transformed so that the script can suspend the call there and resume it (page_imports.h).
#include <string.h>

#include <string>
#include <vector>

#include "base/byte_text.h"
#include "container/digest_block.h"
#include "integrity/crc32c.h"
#include "integrity/crc64.h"
#include "page/wasm/page_imports.h"
#include "recovery/recovery.h"
#include "recovery/recovery_format.h"

namespace {

enum : int32_t { ReadChunk = 8 << 20 };

// A file the user picked, read through the script.
class PickedFile final : public FileAccess {
 public:
  PickedFile(int32_t id, int64_t size) : Id(id), Length(size) {}
  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    if (offset < 0 || offset > Length || static_cast<int64_t>(count) > Length - offset)
      return false;
    return count == 0 ||
           PageRead(Id, bytes, static_cast<uint32_t>(count), static_cast<double>(offset)) != 0;
  }
  bool WriteAt(const void*, size_t, int64_t) const override { return false; }
  int64_t Size() const override { return Length; }
  int32_t Id;
  int64_t Length;
};

// A file of the set rebuilt by a repair, as the repair sees it: its lost slices are the rebuilt
// bytes the script keeps (written once, read back to be checked), the rest is the file as picked.
// Nothing else is kept: a repair copies a damaged file's good slices into its target, and those
// are the picked file's own bytes. A file lost whole (missing, or of another size) is kept whole.
// The container's stub and header are kept here; the joined file needs neither.
class RebuiltFile final : public FileAccess {
 public:
  RebuiltFile(int32_t n, const FileAccess* picked, int64_t payload)
      : N(n),
        Picked(picked),
        Payload(payload),
        Whole(picked == nullptr || picked->Size() != PayloadBase(n) + payload) {
    if (n == 0) Prefix.assign(PayloadOffset, 0);
  }
  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    return Each(offset, count, [&](int64_t at, size_t part, bool kept, size_t done) {
      uint8_t* into = static_cast<uint8_t*>(bytes) + done;
      if (at < PayloadBase(N)) return memcpy(into, &Prefix[at], part), true;
      if (kept)
        return PageRead(RebuiltFiles + N, into, static_cast<uint32_t>(part),
                        static_cast<double>(at)) != 0;
      return Picked->ReadAt(into, part, at);
    });
  }
  bool WriteAt(const void* bytes, size_t count, int64_t offset) const override {
    return Each(offset, count, [&](int64_t at, size_t part, bool kept, size_t done) {
      const uint8_t* from = static_cast<const uint8_t*>(bytes) + done;
      if (at < PayloadBase(N)) return memcpy(const_cast<uint8_t*>(&Prefix[at]), from, part), true;
      return !kept || PageWrite(RebuiltFiles + N, from, static_cast<uint32_t>(part),
                                static_cast<double>(at)) != 0;
    });
  }
  int64_t Size() const override { return PayloadBase(N) + Payload; }

  const SetSurvey* Survey = nullptr;  // once surveyed: which slices are lost

 private:
  // Cuts [offset, offset + count) at the prefix's end and the slices' bounds; each part is kept
  // (rebuilt) or the picked file's. False when a part fails, or the range is past the end.
  template <typename Part>
  bool Each(int64_t offset, size_t count, Part part) const {
    if (offset < 0 || static_cast<int64_t>(count) > Size() - offset) return false;
    int64_t base = PayloadBase(N), stripe = Survey != nullptr ? Survey->StripeSize : 0;
    for (size_t done = 0; done < count;) {
      int64_t at = offset + static_cast<int64_t>(done), end = offset + static_cast<int64_t>(count);
      bool kept = true;
      if (at < base) {
        end = end < base ? end : base;
      } else if (!Whole && stripe > 0) {
        int64_t slice = (at - base) / stripe;
        int64_t sliceEnd = base + (slice + 1) * stripe;
        end = end < sliceEnd ? end : sliceEnd;
        kept = SliceLostOf(*Survey, N, slice);
      } else if (!Whole) {
        kept = false;  // not surveyed yet: nothing of a file of its size is written
      }
      size_t length = static_cast<size_t>(end - at);
      if (!part(at, length, kept, done)) return false;
      done += length;
    }
    return true;
  }

  int32_t N;
  const FileAccess* Picked;
  int64_t Payload;
  bool Whole;
  std::vector<uint8_t> Prefix;
};

class PageTargets : public RebuildTargets {
 public:
  const FileAccess* TargetOf(int32_t n) override { return Get(n); }
  RebuiltFile* Get(int32_t n) {
    if (n < 0 || n >= static_cast<int32_t>(Files.size())) return nullptr;
    if (Files[n] == nullptr) Files[n] = new RebuiltFile(n, Picked[n], Payloads[n]);
    return Files[n];
  }
  void Reset(const std::vector<const FileAccess*>& picked, const std::vector<int64_t>& payloads) {
    for (RebuiltFile* file : Files) delete file;
    Files.assign(picked.size(), nullptr);
    Picked = picked;
    Payloads = payloads;
  }
  std::vector<RebuiltFile*> Files;
  std::vector<const FileAccess*> Picked;
  std::vector<int64_t> Payloads;
};

class PageProgressSink : public RecoveryProgress {
 public:
  bool Step(int64_t bytes) override {
    PageProgress(static_cast<double>(bytes));
    return true;
  }
};

// The findings of the last call, as JSON.
std::string Result;

void Add(const char* text) { Result += text; }
void AddNumber(int64_t value) { Result += std::to_string(value); }
void AddField(const char* name) {
  if (!Result.empty() && Result.back() != '{' && Result.back() != '[') Result += ',';
  Result += '"';
  Result += name;
  Result += "\":";
}
void AddString(const char* name, const char* value) {
  AddField(name);
  Result += '"';
  Result += value;  // words of this file only: no quoting needed
  Result += '"';
}
void AddInteger(const char* name, int64_t value) {
  AddField(name);
  AddNumber(value);
}
// Bytes as hexadecimal digits (a name in the header's code page: the script decodes it).
void AddHex(const char* name, const uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789abcdef";
  AddField(name);
  Result += '"';
  for (size_t i = 0; i < count; i++) {
    Result += digits[bytes[i] >> 4];
    Result += digits[bytes[i] & 15];
  }
  Result += '"';
}
void AddItem() {
  if (!Result.empty() && Result.back() != '[') Result += ',';
}

// The header's integer record index, or -1 when it is not a valid text.
bool RecordInteger(const uint8_t* header, int32_t record, int64_t* value) {
  char text[HeaderRecordSize];
  HeaderRecordText(*reinterpret_cast<const HeaderRecord*>(header + record * HeaderRecordSize),
                   text);
  return TryParseHeaderInteger(text, value);
}

// A header's facts: the name, the size, the times, and the digest block's sizes.
void AddHeaderFacts(const uint8_t* header, const DigestBlock* block) {
  const HeaderRecord& name = *reinterpret_cast<const HeaderRecord*>(header);
  AddHex("name", reinterpret_cast<const uint8_t*>(name.Text), name.Length);
  int64_t size = -1;
  if (!RecordInteger(header, RecordTotalSize, &size)) size = -1;
  AddInteger("size", size);
  AddField("times");
  Add("[");
  for (int32_t record = RecordCreationLow; record <= RecordLastWriteHigh; record += 2) {
    int64_t low, high;
    AddItem();
    if (RecordInteger(header, record, &low) && RecordInteger(header, record + 1, &high)) {
      uint64_t time = (static_cast<uint64_t>(high) << 32) | static_cast<uint32_t>(low);
      Result += '"' + std::to_string(time) + '"';  // 100 ns since 1601, past a double's digits
    } else {
      Add("null");
    }
  }
  Add("]");
  uint64_t key = Crc64(header, HeaderSize);
  AddHex("key", reinterpret_cast<const uint8_t*>(&key), sizeof key);
  if (block == nullptr) return;
  AddInteger("pieces", block->Image.PieceCount);
  AddInteger("first", static_cast<int64_t>(block->Image.FirstPayload));
  AddInteger("pieceSize", static_cast<int64_t>(block->Image.PieceSize));
  AddInteger("last", block->LastPayload);
  AddInteger("run", block->Image.RunLength);
}

// The header at offset of a file, when the file is long enough to hold it.
bool ReadHeaderAt(const FileAccess& file, int64_t offset, uint8_t* header) {
  return file.Size() >= offset + HeaderSize && file.ReadAt(header, HeaderSize, offset);
}

// What the set is: the files picked for it (by number; null: missing) and its recovery files.
std::vector<PickedFile> SetStore, RecoveryStore;
std::vector<const FileAccess*> SetFiles, RecoveryFiles;
PageTargets Targets;
SetSurvey Survey;
std::vector<uint8_t> Buffer;

// The header that judges the set: the container's where its block checks, else the copy most
// recovery files carry whose block checks and agrees with them. Returns where it came from.
const char* ChooseHeader(uint8_t* header, DigestBlock* block, bool* damaged) {
  *damaged = false;
  const FileAccess* container = SetFiles.empty() ? nullptr : SetFiles[0];
  if (container != nullptr && ReadHeaderAt(*container, HeaderOffset, header)) {
    if (ReadDigestBlock(header, block)) return "container";
    *damaged = DigestBlockDamaged(header);
  }
  std::vector<RecoveryHeader> copies;
  for (const FileAccess* file : RecoveryFiles) {
    RecoveryHeader copy;
    if (file != nullptr && ReadRecoveryHeader(*file, &copy) && CarriesSoundHeader(copy))
      copies.push_back(copy);
  }
  size_t best = copies.size(), bestVotes = 0;
  for (size_t i = 0; i < copies.size(); i++) {
    size_t votes = 0;
    for (const RecoveryHeader& other : copies)
      votes += memcmp(other.ContainerHeader, copies[i].ContainerHeader, HeaderSize) == 0;
    if (votes > bestVotes) best = i, bestVotes = votes;
  }
  if (best < copies.size()) {
    memcpy(header, copies[best].ContainerHeader, HeaderSize);
    ReadDigestBlock(header, block);
    return "recovery";
  }
  FillZero(block, sizeof *block);
  if (container != nullptr && ReadHeaderAt(*container, HeaderOffset, header)) return "plain";
  return "none";
}

// The CRC-32C of length bytes of file from at, continued from crc; false when a read fails.
bool Digest(const FileAccess& file, int64_t at, int64_t length, uint32_t* crc) {
  if (Buffer.empty()) Buffer.resize(ReadChunk);
  for (int64_t done = 0; done < length;) {
    int64_t left = length - done;
    size_t count = left < ReadChunk ? static_cast<size_t>(left) : static_cast<size_t>(ReadChunk);
    if (!file.ReadAt(Buffer.data(), count, at + done)) return false;
    *crc = Crc32cAdd(*crc, Buffer.data(), count);
    PageProgress(static_cast<double>(count));
    done += static_cast<int64_t>(count);
  }
  return true;
}

const char* FileStateWord(FileState state) {
  switch (state) {
    case FileGood: return "good";
    case FileMissing: return "missing";
    case FileWrongSize: return "wrong_size";
    case FileUnreadable: return "unreadable";
    case FileDamaged: return "damaged";
    case FilePrefixDamaged: return "prefix_damaged";
  }
  return "";
}

const char* OutcomeWord(RecoveryOutcome outcome) {
  switch (outcome) {
    case RecoveryDone: return "done";
    case RecoveryRefused: return "refused";
    case RecoveryNotASet: return "not_a_set";
    case RecoverySetDamaged: return "set_damaged";
    case RecoveryNoRecoveryFile: return "no_valid_file";
    case RecoveryOtherSet: return "other_set";
    case RecoveryNotRepairable: return "not_repairable";
    case RecoveryReadFailed: return "read_failed";
    case RecoveryWriteFailed: return "write_failed";
    case RecoveryVerifyFailed: return "verify_failed";
    case RecoveryInterrupted: return "interrupted";
  }
  return "";
}

// Each piece against the block: its size, and the digest of its run where every piece of the run
// is there with its size. knownGood: the pieces the digests vouch for.
void CheckPieces(const DigestBlock& block, std::vector<uint8_t>* knownGood) {
  int32_t count = static_cast<int32_t>(block.Image.PieceCount);
  knownGood->assign(static_cast<size_t>(count), 0);
  std::vector<const char*> states(static_cast<size_t>(count), "unchecked");
  for (int32_t k = 0; k < block.DigestCount; k++) {
    int32_t first = RunFirstPiece(block, k), last = RunLastPiece(block, k);
    bool judged = true;
    for (int32_t n = first; n <= last; n++) {
      const FileAccess* file = n < static_cast<int32_t>(SetFiles.size()) ? SetFiles[n] : nullptr;
      int64_t payload = file == nullptr ? -1 : file->Size() - PayloadBase(n);
      int64_t expected = ExpectedPayload(block, n);
      if (file == nullptr || payload < 0) states[n] = file == nullptr ? "missing" : "short";
      if (file != nullptr && payload >= 0 && payload != expected)
        states[n] = payload < expected ? "short" : "long";
      judged &= file != nullptr && payload == expected;
    }
    if (!judged) continue;
    uint32_t crc = 0;
    bool read = true;
    for (int32_t n = first; n <= last && read; n++)
      read = Digest(*SetFiles[n], PayloadBase(n), ExpectedPayload(block, n), &crc);
    PieceVerdict verdict =
        read ? JudgePiece(block, last, ExpectedPayload(block, last), crc) : PieceDamaged;
    for (int32_t n = first; n <= last; n++) {
      states[n] = !read                  ? "unreadable"
                  : verdict == PieceGood ? "good"
                  : first == last        ? "damaged"
                                         : "run_damaged";
      (*knownGood)[n] = read && verdict == PieceGood;
    }
  }
  AddField("pieces");
  Add("[");
  for (int32_t n = 0; n < count; n++) {
    AddItem();
    Result += '"';
    Result += states[n];
    Result += '"';
  }
  Add("]");
}

// The container's joiner program against the stub digest of the header that judges the set.
const char* ProgramState(const DigestBlock& block) {
  const FileAccess* container = SetFiles.empty() ? nullptr : SetFiles[0];
  if (!block.HasStubDigest || container == nullptr || container->Size() < PayloadOffset)
    return "unknown";
  uint32_t crc = 0;
  if (!Digest(*container, 0, StubSize, &crc)) return "unknown";
  return crc == block.StubDigest ? "good" : "damaged";
}

void AddSurvey(RecoveryResult result) {
  AddField("recovery");
  Add("{");
  AddString("outcome", OutcomeWord(result.Outcome));
  if (result.Outcome == RecoveryDone) {
    AddField("files");
    Add("[");
    for (FileState state : Survey.Files) {
      AddItem();
      Result += std::string("\"") + FileStateWord(state) + "\"";
    }
    Add("]");
    AddField("rows");
    Add("[");
    int32_t groups = Survey.Header.GroupCount;
    for (int32_t r = 0; r < Survey.Header.RowCount; r++) {
      int32_t good = 0;
      for (int32_t g = 0; g < groups; g++) good += Survey.RowGood[r * groups + g];
      AddItem();
      Add(Survey.RowSource[r] < 0 ? "\"missing\"" : good == groups ? "\"good\"" : "\"damaged\"");
    }
    Add("]");
    AddInteger("groups", groups);
    AddInteger("toRewrite", Survey.FilesToRewrite);
    AddField("repairable");
    Add(Survey.Repairable ? "true" : "false");
    int32_t worst = 0;  // the group with the least to spare
    for (int32_t g = 1; g < groups; g++)
      if (Survey.Groups[g].GoodRows - Survey.Groups[g].LostFiles <
          Survey.Groups[worst].GoodRows - Survey.Groups[worst].LostFiles)
        worst = g;
    AddInteger("lost", Survey.Groups[worst].LostFiles);
    AddInteger("goodRows", Survey.Groups[worst].GoodRows);
    AddInteger("repairBytes", RepairReadBytes(Survey));
  }
  Add("}");
}

}  // namespace

extern "C" {

PAGE_EXPORT("page_alloc") void* PageAlloc(uint32_t size) { return new uint8_t[size]; }
PAGE_EXPORT("page_free") void PageFree(void* bytes) { delete[] static_cast<uint8_t*>(bytes); }
PAGE_EXPORT("page_result") const char* PageResult() { return Result.c_str(); }
PAGE_EXPORT("page_result_length") uint32_t PageResultLength() {
  return static_cast<uint32_t>(Result.size());
}

// What a picked file is, by its contents: a recovery file (its row and its set), a container
// (its header's facts), or neither.
PAGE_EXPORT("page_examine") void PageExamine(int32_t id, double size) {
  Result = "{";
  PickedFile file(id, static_cast<int64_t>(size));
  RecoveryHeader recovery;
  uint8_t header[HeaderSize];
  DigestBlock block;
  if (ReadRecoveryHeader(file, &recovery)) {
    AddString("kind", "recovery");
    AddInteger("row", recovery.Row);
    AddInteger("rows", recovery.RowCount);
    AddInteger("files", recovery.FileCount);
    bool sound = CarriesSoundHeader(recovery);
    AddString("block", sound ? "sound" : "none");
    if (sound) ReadDigestBlock(recovery.ContainerHeader, &block);
    AddHeaderFacts(recovery.ContainerHeader, sound ? &block : nullptr);
  } else if (ReadHeaderAt(file, HeaderOffset, header)) {
    int64_t total;
    bool sound = ReadDigestBlock(header, &block);
    bool damaged = !sound && DigestBlockDamaged(header);
    uint8_t mark[2] = {0, 0};
    bool program = file.ReadAt(mark, 2, 0) && mark[0] == 'M' && mark[1] == 'Z';
    bool records = header[0] > 0 && RecordInteger(header, RecordTotalSize, &total) && total >= 0;
    if (sound || damaged || (program && records)) {
      AddString("kind", "container");
      AddString("block", sound ? "sound" : damaged ? "damaged" : "none");
      AddHeaderFacts(header, sound ? &block : nullptr);
    } else {
      AddString("kind", "other");
    }
  } else {
    AddString("kind", "other");
  }
  Add("}");
}

// The set to check: count files by number (ids[n] < 0: missing) and their sizes, and the
// recovery files picked. Returns nothing; page_check and page_repair work on it.
PAGE_EXPORT("page_set")
void PageSet(int32_t count, const int32_t* ids, const double* sizes, int32_t rows,
             const int32_t* rowIds, const double* rowSizes) {
  SetStore.clear();
  RecoveryStore.clear();
  for (int32_t n = 0; n < count; n++) SetStore.emplace_back(ids[n], static_cast<int64_t>(sizes[n]));
  for (int32_t r = 0; r < rows; r++)
    RecoveryStore.emplace_back(rowIds[r], static_cast<int64_t>(rowSizes[r]));
  SetFiles.clear();
  RecoveryFiles.clear();
  for (const PickedFile& file : SetStore) SetFiles.push_back(file.Id < 0 ? nullptr : &file);
  for (const PickedFile& file : RecoveryStore) RecoveryFiles.push_back(&file);
  Survey = SetSurvey{};
}

// Checks the set: the header that judges it, every piece against its digest block, the joiner
// program, and with recovery files their survey, the files lost before a byte is read rebuilt on
// the way. Then, where files must be rebuilt and can be, page_repair.
PAGE_EXPORT("page_check") void PageCheck() {
  Result = "{";
  uint8_t header[HeaderSize];
  DigestBlock block;
  bool damaged;
  const char* source = ChooseHeader(header, &block, &damaged);
  AddString("header", source);
  AddField("headerDamaged");
  Add(damaged ? "true" : "false");
  bool digests = block.Image.PieceCount > 0;
  if (!digests) {
    if (strcmp(source, "none") != 0) AddHeaderFacts(header, nullptr);
    Add("}");
    return;
  }
  AddHeaderFacts(header, &block);
  AddString("program", ProgramState(block));
  std::vector<uint8_t> knownGood;
  CheckPieces(block, &knownGood);
  if (!RecoveryFiles.empty()) {
    std::vector<int64_t> payloads;
    for (int32_t n = 0; n < static_cast<int32_t>(block.Image.PieceCount); n++)
      payloads.push_back(ExpectedPayload(block, n));
    SetFiles.resize(payloads.size(), nullptr);
    Targets.Reset(SetFiles, payloads);
    PageProgressSink progress;
    RecoveryResult result =
        SurveySet(SetFiles, RecoveryFiles, &progress, &Survey, &knownGood, &Targets);
    AddSurvey(result);
  }
  Add("}");
}

// Rebuilds what the last check found lost or damaged, into the rebuilt files the script keeps,
// and reads each back against its digest.
PAGE_EXPORT("page_repair") void PageRepair() {
  Result = "{";
  std::vector<const FileAccess*> targets;
  for (int32_t n = 0; n < static_cast<int32_t>(Survey.Files.size()); n++) {
    RebuiltFile* target = NeedsRewrite(Survey.Files[n]) ? Targets.Get(n) : nullptr;
    if (target != nullptr) target->Survey = &Survey;
    targets.push_back(target);
  }
  static uint8_t stub[StubSize];  // the joined file needs no program: any stub will do
  PageProgressSink progress;
  RecoveryResult result = RepairSet(Survey, SetFiles, RecoveryFiles, targets, stub, &progress);
  AddString("outcome", OutcomeWord(result.Outcome));
  AddInteger("file", result.SetFile);
  AddField("rebuilt");
  Add("[");
  for (int32_t n = 0; n < static_cast<int32_t>(targets.size()); n++)
    if (targets[n] != nullptr && PayloadLost(Survey.Files[n])) AddItem(), AddNumber(n);
  Add("]");
  Add("}");
}

}  // extern "C"
