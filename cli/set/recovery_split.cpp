// split --recovery: the recovery files of a set, made through the recovery module (ISA-L) and
// put in place with the set: from a file, while the set is written, the input read once; from
// standard input, from the set read back once it is written. Verify's lines about them are
// recovery_verify.cpp, the repair commands/repair.cpp.
#include <algorithm>
#include <atomic>

#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/module_files.h"
#include "cli/set/recovery.h"
#include "cli/set/recovery_files.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"

bool RecoveryFilesAvailable() { return true; }

static int EncodeFailure(const RecoveryResult& result, const std::vector<std::string>& targets) {
  int error = OsLastError();
  if (CliInterrupted) return ReportInterrupted("nothing was left behind");
  if (result.Outcome == RecoverySetDamaged || result.Outcome == RecoveryNotASet) {
    CliPrint(
        CliErr,
        "tarnovell: the set read back differs from what was written; nothing was left behind\n");
    return ExitFileError;
  }
  std::string what = result.Row >= 0 ? Printable(targets[result.Row]) : "the recovery files";
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(),
           OsErrorText(error).c_str());
  return ExitFileError;
}

// The set's files as split wrote them: a nameless one read through its open file, one with a
// temporary name opened again (held by reopened). False (OsLastError) when one cannot be opened.
static bool WrittenFiles(const std::vector<PendingOutput>& outputs, OpenedFiles* reopened,
                         std::vector<OsFile>* files) {
  OsAllowManyOpenFiles();
  for (const PendingOutput& output : outputs) {
    OsFileInfo info;
    OsFile file = output.TempPath().empty() ? output.File() : OsOpenRead(output.TempPath(), &info);
    if (file == NoFile) return false;
    if (file != output.File()) reopened->Files.push_back(file);
    files->push_back(file);
  }
  return true;
}

int WriteRecoveryFiles(const std::vector<std::string>& targets, int64_t total, bool nameless,
                       bool progress, std::vector<PendingOutput>* outputs) {
  OpenedFiles reopened;
  std::vector<OsFile> setFiles;
  if (!WrittenFiles(*outputs, &reopened, &setFiles)) {
    CliPrint(
        CliErr,
        "tarnovell: file system error: cannot read the set back: %s; nothing was left behind\n",
        OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  size_t first = outputs->size();
  for (size_t r = 0; r < targets.size(); r++) {
    outputs->emplace_back();
    if (!outputs->back().Create(targets[r], ".tarnovell-split-", nameless))
      return EncodeFailure({RecoveryWriteFailed, -1, static_cast<int32_t>(r)}, targets);
  }
  std::vector<OsFile> files = FilesOf(*outputs);
  files.erase(files.begin(), files.begin() + static_cast<ptrdiff_t>(first));  // the set's own
  ModuleFiles set(setFiles), rows(files);
  ProgressBegin(progress, total, ProgressStep::SplitRecovery);
  ProgressLabel(LastComponent(targets.front()) + (targets.size() > 1 ? " ..." : ""));
  ToolProgress steps;
  OsWorkBeside beside;
  RecoveryResult result =
      EncodeRecovery(set.List(), rows.List(), &steps, RecoveryFormatVersion, 0, &beside);
  if (result.Outcome == RecoveryDone) ProgressComplete();
  ProgressEnd();
  if (result.Outcome != RecoveryDone) return EncodeFailure(result, targets);
  for (size_t r = 0; r < targets.size(); r++) {
    if (!(*outputs)[first + r].Finish())
      return EncodeFailure({RecoveryWriteFailed, -1, static_cast<int32_t>(r)}, targets);
  }
  return ExitComplete;
}

// A file of the set as the one pass writes it: a read of its payload reads the input where the
// file's data lies and writes the bytes into the file (a chunk of zeros left as a hole, as a
// copy leaves it), and to its sum where asked. The recovery module reads each payload in order.
class TeeFile final : public FileAccess {
 public:
  TeeFile(OsFile input, const SetFileData& data, int64_t base, OsFile out, ChunkSink* sum)
      : input_(input), data_(data), base_(base), out_(out), sum_(sum) {}
  TeeFile(TeeFile&& other) noexcept
      : input_(other.input_), data_(other.data_), base_(other.base_), out_(other.out_),
        sum_(other.sum_), inputFailed_(other.inputFailed_.load()) {}
  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    if (!OsReadAt(input_, bytes, count, data_.Start + offset - base_)) {
      inputFailed_ = true;
      return false;
    }
    if (sum_ != nullptr) sum_->Add(bytes, count);
    return AllZero(static_cast<const char*>(bytes), count) || OsWriteAt(out_, bytes, count, offset);
  }
  bool WriteAt(const void*, size_t, int64_t) const override { return false; }  // only read
  int64_t Size() const override { return base_ + data_.Size; }
  bool InputFailed() const { return inputFailed_; }

 private:
  OsFile input_;
  SetFileData data_;
  int64_t base_;  // where the payload begins in the file
  OsFile out_;
  ChunkSink* sum_;
  mutable std::atomic<bool> inputFailed_{false};  // read from two threads
};

// The input's bytes in order to a sink, on a thread of its own beside the coding (which reads
// them in stripes): reading them again costs little, they are in the page cache mostly, and the
// hash takes the other core.
class OrderedReader {
  static constexpr int64_t Chunk = 1 << 20;

 public:
  OrderedReader(OsFile input, int64_t total, ChunkSink* sink)
      : input_(input), total_(total), sink_(sink), done_(sink == nullptr) {
    started_ = sink != nullptr && OsStartThread(RunOn, this, &thread_);
  }
  ~OrderedReader() { Stop(); }
  // Waits for the end (reads on the caller's thread when none could be started): false when a
  // read failed (OsLastError) or it was stopped.
  bool Wait() {
    if (started_)
      OsJoinThread(thread_);
    else if (sink_ != nullptr && !ran_)
      Run();
    started_ = false;
    ran_ = true;
    return done_;
  }
  void Stop() {
    stop_ = true;
    Wait();
  }
  int Error() const { return error_; }

 private:
  static void RunOn(void* reader) { static_cast<OrderedReader*>(reader)->Run(); }
  void Run() {
    std::vector<char> buffer(static_cast<size_t>(Chunk));
    int64_t at = 0;
    while (at < total_ && !stop_) {
      size_t count = static_cast<size_t>(std::min(total_ - at, Chunk));
      if (!OsReadAt(input_, buffer.data(), count, at)) {
        error_ = OsLastError();
        return;
      }
      sink_->Add(buffer.data(), count);
      at += static_cast<int64_t>(count);
    }
    done_ = at == total_;
  }

  OsFile input_;
  int64_t total_;
  ChunkSink* sink_;
  OsThread thread_ = 0;
  bool started_ = false;
  bool ran_ = false;
  std::atomic<bool> stop_{false};
  bool done_;  // every byte went to the sink (or there is none)
  int error_ = 0;
};

// What made the one pass fail, told as split tells it.
static int OnePassFailure(const OnePassSplit& split, const RecoveryResult& result,
                          const std::vector<TeeFile>& tees, const std::vector<std::string>& targets,
                          const std::vector<PendingOutput>& outputs) {
  if (result.Outcome == RecoveryReadFailed && result.SetFile >= 0) {
    if (tees[result.SetFile].InputFailed()) return split.InputFailure(OsLastError());
    return split.WriteFailure(Printable(outputs[result.SetFile].Target()));
  }
  if (result.Outcome == RecoveryWriteFailed && result.Row >= 0)
    return split.WriteFailure(Printable(targets[result.Row]));
  if (result.Outcome == RecoveryInterrupted) return split.WriteFailure("the set");
  ProgressEnd();
  return EncodeFailure(result, targets);
}

// Every file written, finished (a named one closed: the system's last word on its writes).
static int FinishAll(const OnePassSplit& split, std::vector<PendingOutput>* outputs) {
  for (PendingOutput& output : *outputs)
    if (!output.Finish()) return split.WriteFailure(Printable(output.Target()));
  return ExitComplete;
}

// The lengths of the set's files: a hole at the end of one is made by its length.
static int SetLengths(const OnePassSplit& split, const std::vector<PendingOutput>& outputs) {
  for (size_t i = 0; i < split.Files.size(); i++) {
    int64_t length = PayloadBase(static_cast<int32_t>(i)) + split.Files[i].Size;
    if (!OsSetLength(outputs[i].File(), length))
      return split.WriteFailure(Printable(outputs[i].Target()));
  }
  return ExitComplete;
}

int WriteSetWithRecovery(const OnePassSplit& split, const std::vector<std::string>& targets,
                         bool nameless, std::vector<PendingOutput>* outputs) {
  size_t first = outputs->size();
  for (size_t r = 0; r < targets.size(); r++) {
    outputs->emplace_back();
    if (!outputs->back().Create(targets[r], ".tarnovell-split-", nameless))
      return split.WriteFailure(Printable(targets[r]));
  }
  std::vector<TeeFile> tees;
  int64_t total = 0;
  for (size_t i = 0; i < split.Files.size(); i++) {
    ChunkSink* sum = i < split.PieceSums.size() ? split.PieceSums[i] : nullptr;
    tees.emplace_back(split.Input, split.Files[i], PayloadBase(static_cast<int32_t>(i)),
                      (*outputs)[i].File(), sum);
    total += split.Files[i].Size;
  }
  std::vector<const FileAccess*> set;
  for (const TeeFile& tee : tees) set.push_back(&tee);
  std::vector<OsFile> files = FilesOf(*outputs);
  ModuleFiles rows(std::vector<OsFile>(files.begin() + static_cast<ptrdiff_t>(first), files.end()));
  ProgressLabel(LastComponent((*outputs)[0].Target()) + " ... " + LastComponent(targets.back()));
  OrderedReader original(split.Input, total, split.Original);
  ToolProgress steps;
  RecoveryEncoding encoding;
  // A thread lent where no piece is hashed in order (its sum takes the bytes as they are read).
  OsWorkBeside beside;
  bool ordered = std::any_of(split.PieceSums.begin(), split.PieceSums.end(),
                             [](const ChunkSink* sum) { return sum != nullptr; });
  RecoveryResult result =
      EncodeParity(set, rows.List(), &steps, &encoding, ordered ? nullptr : &beside);
  if (result.Outcome != RecoveryDone) {
    original.Stop();
    return OnePassFailure(split, result, tees, targets, *outputs);
  }
  ProgressComplete();
  ProgressEnd();
  std::vector<uint32_t> crcs;
  for (const RecoveryFileEntry& file : encoding.Header.Files) crcs.push_back(file.Digest);
  int code = SetLengths(split, *outputs);
  if (code == ExitComplete) code = split.Seal(crcs);
  if (code != ExitComplete) return code;
  OsFileAccess container((*outputs)[0].File());
  result = FinishRecovery(container, rows.List(), &encoding);
  if (result.Outcome != RecoveryDone) return OnePassFailure(split, result, tees, targets, *outputs);
  if (!original.Wait()) return split.InputFailure(original.Error());
  return FinishAll(split, outputs);
}
