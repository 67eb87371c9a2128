// split: the container (stub, header, first data) and BASE.c001, BASE.c002, ... The plan is
// made and checked first; every file is written without a name (where the file system allows,
// else under a temporary one) and all are put in place at the end, the container last. A
// failure, an interruption or a kill leaves no part of the set. The data comes from a file, whose
// size is known before the first byte, or from standard input (split -), whose size is known
// only at its end: either way the files are filled in order, their digests made on the way, and
// the container's stub and header are written last. With --recovery from a file, the files are
// filled stripe by stripe with the recovery files, the input read once (set/recovery_split.cpp).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "base/file_time.h"
#include "cli/commands/commands.h"
#include "cli/commands/page.h"
#include "cli/os/encoding.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/checksums.h"
#include "cli/set/copy.h"
#include "cli/set/module_files.h"
#include "cli/set/output.h"
#include "cli/set/recovery.h"
#include "cli/set/recovery_files.h"
#include "cli/set/stub_image.h"
#include "cli/show/hints.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"
#include "container/container_writer.h"
#include "container/digest_block.h"
#include "container/layout.h"
#include "container/name_field.h"
#include "integrity/crc32c.h"
#include "recovery/recovery_format.h"

// Where the data comes from: a regular file read at offsets, or a stream read in order.
struct SplitInput {
  std::string Shown;  // in messages: the path, or "standard input"
  OsFile File = NoFile;
  OsFileInfo Info;
  bool Stream = false;  // standard input, a FIFO or a device: its size is known at its end
  StreamReader Reader{NoFile};
  int64_t Taken = 0;  // the data moved into the set so far
};

// What split has found of one file of the set it wrote: its data, and their CRC-32C (from 0).
struct WrittenData {
  int64_t Size = 0;
  uint32_t Crc = 0;
};

struct SplitPlan {
  std::string Name;        // the joined file's name, as given (UTF-8): the header's name field
  std::string Name1251;    // record 1: its Windows-1251 rendering ("_" for what 1251 lacks)
  bool NameField = false;  // the header carries the name field (it fits the record)
  std::string Stub;        // the container's first StubSize bytes
  uint64_t Times[3] = {};  // creation, last access, last write (FILETIME ticks)
  std::string Base;
  std::string OutputDir;  // "" for the current folder: bare names, in messages too
  bool Stream = false;    // from a stream: Total, First and Pieces are known once it has ended
  int64_t Total = 0;
  int64_t First = 0;  // the data the container carries (from a stream, until it ends: its cap)
  uint64_t PieceSize = 0;
  uint64_t Pieces = 0;               // files after the container
  bool ShrunkForRecovery = false;    // the pieces are below SIZE so that each recovery file fits it
  std::vector<std::string> Targets;  // the container, then the pieces
  std::vector<std::string> RecoveryTargets;  // BASE.r01, ... (--recovery)
  std::vector<WrittenData> Written;          // the files written, in order
  std::string ChecksumTarget;                // BASE.sha256 (--checksums)
  std::string PageTarget;                    // BASE.html (--page)
  bool Nameless = false;  // the files are written without names: each stays open until its commit
  std::vector<std::string> Orphans;  // files a killed split of this input left, replaced freely
  bool BaseMoved = false;  // the base from the name was the input's own (setup.exe): BASE-set
};

// The most files of a set written without names, all open until they are put in place; a larger
// set gets temporary names (which the next command removes where a kill left them).
static const size_t NamelessFileLimit = 900;

// The default base name: the input's file name without its last extension ("movie.avi" gives
// "movie", "archive.tar.gz" gives "archive.tar"); a name without one, or a dot file, is kept.
static std::string DefaultBaseName(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return fileName;
  return fileName.substr(0, dot);
}

// A name of the set made for Windows: "" when it can be used, else why not and, to paste, the
// option with a name that can ("give --name \"cafe.mkv\"").
static std::string UnusableName(const std::string& what, const std::string& name,
                                const char* option) {
  std::string problem = WindowsNameProblem(name);
  if (problem.empty()) return "";
  return what + " \"" + Printable(name) + "\" cannot be used: " + problem + "; give " + option +
         " \"" + Printable(SuggestedName(name)) + "\"";
}

// Refuses with every problem of problems, one line each. ExitComplete when there is none.
static int RefuseAll(const std::vector<std::string>& problems) {
  if (problems.empty()) return ExitComplete;
  for (size_t i = 0; i + 1 < problems.size(); i++)
    CliPrint(CliErr, "tarnovell: %s\n", problems[i].c_str());
  return Refuse(problems.back());
}

// The stub the container starts with: the embedded one, or an image of exactly StubSize bytes.
static int LoadStub(const std::string& path, std::string* stub) {
  if (path.empty()) {
    stub->assign(reinterpret_cast<const char*>(StubImage), StubImageSize);
    return ExitComplete;
  }
  OsFileInfo info;
  OsFile file = OsOpenRead(path, &info);
  if (file == NoFile) {
    CliPrint(CliErr, "tarnovell: --stub: cannot open %s: %s\n", Printable(path).c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  int code = ExitComplete;
  if (info.Kind != OsKind::Regular || info.Size != StubSize) {
    CliPrint(CliErr,
             "tarnovell: --stub: %s is not a stub image: that is a file of exactly %d bytes\n",
             Printable(path).c_str(), static_cast<int>(StubSize));
    code = ExitUsage;
  } else {
    stub->resize(StubSize);
    if (!OsReadAt(file, &(*stub)[0], stub->size(), 0)) {
      CliPrint(CliErr, "tarnovell: --stub: cannot read %s: %s\n", Printable(path).c_str(),
               OsErrorText(OsLastError()).c_str());
      code = ExitFileError;
    }
  }
  OsClose(file);
  return code;
}

// The times the header records: the input's own; for a stream that is not a file (a pipe), the
// time of the split, for all three.
static int InputTimes(const SplitInput& input, uint64_t times[3]) {
  if (input.Info.Kind != OsKind::Regular) {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    times[0] = times[1] = times[2] =
        FileTimeOfUnixTime(ns / 1000000000, static_cast<uint32_t>(ns % 1000000000));
    return ExitComplete;
  }
  if (OsFileTimes(input.File, &times[0], &times[1], &times[2])) return ExitComplete;
  CliPrint(CliErr, "tarnovell: cannot read the times of %s: %s\n", Printable(input.Shown).c_str(),
           OsErrorText(OsLastError()).c_str());
  return ExitFileError;
}

// Record 1 and the name field: the name's Windows-1251 rendering, which readers that know only
// record 1 take (on Windows in the system's code page), and the exact name where it fits beside
// it. A name that 1251 writes exactly may go without the field, as sets always did; any other
// needs it. "" when the name can travel, else why not.
static std::string PlanHeaderName(SplitPlan* plan) {
  const uint8_t* utf8 = reinterpret_cast<const uint8_t*>(plan->Name.data());
  int32_t length = static_cast<int32_t>(std::min<size_t>(plan->Name.size(), 1 << 20));
  uint8_t rendered[HeaderRecordSize];
  int32_t renderedLength = 0;
  if (!RenderName1251(utf8, length, rendered, &renderedLength))
    return "the name is longer than 255 characters; give a shorter one with --name";
  plan->Name1251.assign(reinterpret_cast<const char*>(rendered), renderedLength);
  std::string exact;
  bool exactIn1251 = Utf8ToCp1251(plan->Name, &exact) && exact == plan->Name1251;
  plan->NameField = 1 + renderedLength + NameFieldHeadSize + length <= HeaderRecordSize;
  if (plan->NameField || exactIn1251) return "";
  return "the name is too long for the header: " + std::to_string(length) +
         " bytes in UTF-8 beside its " + std::to_string(renderedLength) +
         " characters for older joiners, " +
         std::to_string(HeaderRecordSize - 1 - NameFieldHeadSize) +
         " at most together; give a shorter one with --name";
}

// Record 1, the base name, the stub and the times.
static int PlanNames(const SplitOptions& options, const SplitInput& input, SplitPlan* plan) {
  plan->Name = options.Name.empty() ? LastComponent(options.InputPath) : options.Name;
  std::vector<std::string> problems;
  std::string problem = UnusableName("the name", plan->Name, "--name");
  if (problem.empty()) problem = PlanHeaderName(plan);
  if (!problem.empty()) problems.push_back(problem);
  // The base name: the joiner opens the pieces by their Unicode names.
  plan->Base = options.Base.empty() ? DefaultBaseName(plan->Name) : options.Base;
  problem = UnusableName("the base name", plan->Base, "--base");
  if (!problem.empty()) problems.push_back(problem);
  int code = RefuseAll(problems);
  if (code == ExitComplete) code = LoadStub(options.StubPath, &plan->Stub);
  if (code == ExitComplete) code = InputTimes(input, plan->Times);
  return code;
}

// The container's data is cut to whole pages (4096 bytes) where pieces of whole pages follow:
// every piece then starts on a page boundary of the joined file, as it does in its own file,
// and copies between them go page by page. Pieces of other sizes gain nothing by it.
static const int64_t DataAlignment = 4096;

static int64_t AlignDown(int64_t n) { return n / DataAlignment * DataAlignment; }

static uint64_t AlignUp(uint64_t n) {
  return (n + DataAlignment - 1) / DataAlignment * DataAlignment;
}

static uint64_t CeilDivide(uint64_t n, uint64_t d) { return n / d + (n % d != 0 ? 1 : 0); }

// The most data a file takes of a cap of its data where the size is whole pages: whole pages,
// unless the cap is less than a page (then all of it). A file that fits the container's cap but
// not its whole pages makes a piece more, as a stream does, whose end is not known when the
// container is filled.
static int64_t WholePagesOf(int64_t cap) { return cap >= DataAlignment ? AlignDown(cap) : cap; }

// The container's cap on its data: the whole container stays below 4 GiB, a Windows image.
static const int64_t ContainerDataCap = static_cast<int64_t>(ContainerSizeLimit - PayloadOffset);
static const int64_t ContainerDataLimit = WholePagesOf(ContainerDataCap);

// Below this size of a piece, --number keeps the sizes equal to the byte rather than aligned.
static const uint64_t AlignedPieceMinimum = 1 << 20;

// --number with whole pages: pieces of P = ceil(total / N) rounded up to whole pages, the
// container's data whole pages of at most P, the last piece the rest; no file holds more than
// 4095 bytes over ceil(total / N). False (the plan untouched) when that makes no N files.
static bool PlanAlignedSizes(uint64_t number, SplitPlan* plan) {
  uint64_t total = static_cast<uint64_t>(plan->Total);
  uint64_t size = AlignUp(CeilDivide(total, number));
  if (number < 2 || size < AlignedPieceMinimum || (number - 2) * size >= total) return false;
  uint64_t first = std::min(size, total - (number - 2) * size - 1);
  if (first > static_cast<uint64_t>(ContainerDataLimit)) {
    first = static_cast<uint64_t>(ContainerDataLimit);  // the pieces share what it cannot take
    size = AlignUp(CeilDivide(total - first, number - 1));
  }
  first = static_cast<uint64_t>(AlignDown(static_cast<int64_t>(first)));
  if (first < static_cast<uint64_t>(DataAlignment) || CeilDivide(total - first, size) != number - 1)
    return false;
  plan->First = static_cast<int64_t>(first);
  plan->PieceSize = size;
  plan->Pieces = number - 1;
  return true;
}

// --number: N files whose data is as equal as the layout allows. Pieces of at least a MiB are
// aligned as above. Otherwise, pieces 1 to N-2 alike, the container's data and the last piece 1
// to that much: with P = ceil(total / N) no file holds more than P, when N - 2 pieces of P leave
// at least 2 bytes for the container and the last; when they do not (N near the total),
// P = floor(total / N) and the container takes the remainder.
static void PlanEqualSizes(uint64_t number, SplitPlan* plan) {
  uint64_t total = static_cast<uint64_t>(plan->Total);
  if (number == 1) {
    plan->First = plan->Total <= ContainerDataCap ? plan->Total : ContainerDataLimit;
    plan->PieceSize = std::max<uint64_t>(total - static_cast<uint64_t>(plan->First), 1);
    plan->Pieces = plan->First < plan->Total ? 1 : 0;
    return;
  }
  if (PlanAlignedSizes(number, plan)) return;
  uint64_t size = CeilDivide(total, number);
  uint64_t first;
  if ((number - 2) * size + 2 <= total) {
    first = std::min(size, total - (number - 2) * size - 1);
  } else {
    size = total / number;
    first = total - (number - 1) * size;
  }
  if (first > static_cast<uint64_t>(ContainerDataLimit)) {
    // The pieces share what the container cannot take: each above 4 GiB, far more than N.
    first = static_cast<uint64_t>(ContainerDataLimit);
    size = CeilDivide(total - first, number - 1);
  }
  plan->First = static_cast<int64_t>(first);
  plan->PieceSize = size;
  plan->Pieces = CeilDivide(total - first, size);
}

// A set of the container and pieces more: refused when a set cannot have so many, or when they
// are more than SetFileLimit files without --force. From a stream, pieces is the one about to be
// made: the set needs at least that many.
static int CheckPieceCount(const SplitOptions& options, const SplitPlan& plan, uint64_t pieces) {
  if (pieces >= static_cast<uint64_t>(INT32_MAX)) {  // with the container, at most 2^31 - 1 files
    CliPrint(CliErr, "tarnovell: the set would need %s%llu pieces, more than a set can have\n",
             plan.Stream ? "more than " : "", static_cast<unsigned long long>(pieces));
    return ExitUsage;
  }
  if (pieces + 1 <= SetFileLimit || options.Force) return ExitComplete;
  const char* instead = options.Number > 0 ? "a smaller --number" : "a larger --size";
  if (plan.Stream) {
    CliPrint(CliErr,
             "tarnovell: standard input needs more than %llu files at this --size; give --force "
             "to make it all the same, or %s; nothing was left behind\n",
             static_cast<unsigned long long>(SetFileLimit), instead);
  } else {
    CliPrint(CliErr,
             "tarnovell: the set would be %llu pieces (the container and %llu more), more than "
             "%llu; give --force to make it all the same, or %s\n",
             static_cast<unsigned long long>(pieces + 1), static_cast<unsigned long long>(pieces),
             static_cast<unsigned long long>(SetFileLimit), instead);
  }
  return ExitUsage;
}

// Under a size, every file's data up to cap (the size itself, or less for the recovery files):
// the container's also up to the size less its stub and header, and below 4 GiB, a Windows image
// (whole pages where the size is); no empty last piece. From a stream, only the caps.
static void PlanCap(uint64_t size, uint64_t cap, SplitPlan* plan) {
  int64_t room = static_cast<int64_t>(std::min(size, ContainerSizeLimit)) - PayloadOffset;
  plan->PieceSize = cap;
  plan->First =
      std::min(size % DataAlignment == 0 ? WholePagesOf(room) : room, static_cast<int64_t>(cap));
  if (plan->Stream) return;  // the rest is known at the stream's end
  plan->First = std::min(plan->Total, plan->First);
  plan->Pieces = CeilDivide(static_cast<uint64_t>(plan->Total - plan->First), cap);
}

// --recovery: so many files, or the share of the set's files (known once its sizes are planned).
static int RecoveryRowsOf(const SplitOptions& options, const SplitPlan& plan) {
  if (options.RecoveryPercent <= 0) return options.RecoveryRows;
  return RecoveryRowsForShare(static_cast<int32_t>(plan.Pieces + 1), options.RecoveryPercent);
}

// The data of each file of the plan, the container's first. From a stream, whose end is not
// known, the most that one group of rows recovery files holds: 255 - rows files, full.
static std::vector<int64_t> PlannedPayloads(const SplitPlan& plan, int32_t rows) {
  int64_t piece = static_cast<int64_t>(plan.PieceSize);
  if (plan.Stream) {
    std::vector<int64_t> payloads(static_cast<size_t>(CodeWordLimit - rows), piece);
    payloads[0] = plan.First;
    return payloads;
  }
  std::vector<int64_t> payloads(1, plan.First);
  for (uint64_t n = 1; n <= plan.Pieces; n++)
    payloads.push_back(n < plan.Pieces ? piece : plan.Total - plan.First - (n - 1) * piece);
  return payloads;
}

// --recovery under a size: the cap of every file's data that keeps each recovery file within the
// size too, the plan made with it; 0 when none does. A recovery file of one group holds its
// header, the group's largest data and the stub's copy; the header grows with the files and their
// slices, which grow as the pieces shrink (and with P % the recovery files), so the cap is a fixed
// point, found by iteration: from the size, while a recovery file would be longer, the cap becomes
// the largest data less what the file is over (rounded down to whole pages where the size is).
// The cap falls at every step, so the iteration ends: at the first cap whose recovery files fit,
// or at a set of more than one group. No smaller cap makes one that fits: a recovery file carries
// the largest data of every group, C pieces, and pieces a C-th as large make C times the files,
// as many groups again. Each step takes off what the header grew by at the one before, a small
// share of it (12 bytes a file and 4 a slice, against the bytes that make a file more), so a few
// steps do.
static uint64_t RecoveryFitCap(const SplitOptions& options, uint64_t size, SplitPlan* plan) {
  for (uint64_t cap = size;;) {
    PlanCap(size, cap, plan);
    // Files past 255 are more than one group, whatever the rows.
    if (!plan->Stream && plan->Pieces >= static_cast<uint64_t>(CodeWordLimit)) return 0;
    int32_t rows = RecoveryRowsOf(options, *plan);
    if (!plan->Stream && GroupCountFor(static_cast<int32_t>(plan->Pieces + 1), rows) > 1) return 0;
    std::vector<int64_t> payloads = PlannedPayloads(*plan, rows);
    int64_t length = WrittenRecoveryFileSize(payloads, rows);
    if (length < 0) return 0;
    if (static_cast<uint64_t>(length) <= size) return cap;
    uint64_t over = static_cast<uint64_t>(length) - size;
    uint64_t largest = static_cast<uint64_t>(*std::max_element(payloads.begin(), payloads.end()));
    if (over >= largest) return 0;
    cap = largest - over;
    if (size % DataAlignment == 0)
      cap = static_cast<uint64_t>(WholePagesOf(static_cast<int64_t>(cap)));
  }
}

// --recovery P% as the messages give it: "10%".
static std::string PercentText(double percent) {
  char text[32];
  snprintf(text, sizeof text, "%g%%", percent);
  return text;
}

// Whether the input is read as a stream: standard input, or a path to a FIFO or a device (a
// link to one too, as /dev/fd/63 of a shell's <(command) is).
static bool InputIsStream(const std::string& path) {
  OsFileInfo info;
  return path == StandardStreamPath || (OsProbe(path, &info) && info.Kind == OsKind::Stream);
}

// A path to a descriptor of this process (/dev/fd/N, /proc/self/fd/N, /dev/stdin): a stream
// whose last component is no name.
static bool DescriptorPath(const std::string& path) {
  std::string number = LastComponent(path);
  std::string folder = FolderOf(path);
  bool fd = !number.empty() && number.find_first_not_of("0123456789") == std::string::npos &&
            folder.size() >= 3 && folder.compare(folder.size() - 3, 3, "/fd") == 0;
  return fd || path == "/dev/stdin";
}

// A stream input as messages name it.
static std::string StreamShown(const std::string& path) {
  return path == StandardStreamPath ? "standard input" : Printable(path);
}

// SIZE as the messages give it: as it was given, else the default's bytes.
static std::string SizeShown(const SplitOptions& options) {
  if (!options.SizeText.empty()) return Printable(options.SizeText);
  return std::to_string(options.PieceSize) + " bytes";
}

// The smallest size in whole MiB (KiB below one) under which the recovery files fit, as --size
// takes it ("5M"); "" when there is none.
static std::string FittingSizeText(const SplitOptions& options, const SplitPlan& plan) {
  SplitPlan trial = plan;
  auto fits = [&](uint64_t size) { return RecoveryFitCap(options, size, &trial) > 0; };
  const uint64_t largest = static_cast<uint64_t>(INT64_MAX);
  uint64_t low = options.PieceSize, high = low;  // low does not fit; high does, once found
  do {
    if (high == largest) return "";
    high = high > largest / 2 ? largest : high * 2;
  } while (!fits(high));
  while (high - low > 1) {
    uint64_t middle = low + (high - low) / 2;
    (fits(middle) ? high : low) = middle;
  }
  uint64_t unit = high >= (1 << 20) ? 1 << 20 : 1 << 10;
  uint64_t units = CeilDivide(high, unit);
  while (units < largest / unit && !fits(units * unit)) units++;
  return std::to_string(units) + (unit == 1 << 20 ? "M" : "K");
}

// What can be done instead, for a refusal of the recovery files under the size.
static std::string FewerRecoveryFiles(const SplitOptions& options) {
  return options.RecoveryPercent > 0 ? "a smaller share of recovery files" : "fewer recovery files";
}

// --recovery under a size: the pieces shrink until each recovery file fits it; refused when
// none can.
static int FitRecoveryFiles(const SplitOptions& options, SplitPlan* plan) {
  uint64_t cap = RecoveryFitCap(options, options.PieceSize, plan);
  if (cap > 0) {
    plan->ShrunkForRecovery = cap < options.PieceSize;
    return ExitComplete;
  }
  std::string what = StreamShown(options.InputPath);
  std::string with = options.RecoveryPercent > 0
                         ? "--recovery " + PercentText(options.RecoveryPercent)
                         : std::to_string(options.RecoveryRows) + " recovery file" +
                               (options.RecoveryRows == 1 ? "" : "s");
  std::string groups = options.RecoveryPercent > 0
                           ? "every group of the set's files"
                           : "every group of up to " +
                                 std::to_string(CodeWordLimit - options.RecoveryRows) + " files";
  std::string larger = FittingSizeText(options, *plan);
  larger = larger.empty() ? "a larger --size" : "--size " + larger + " or more";
  CliPrint(CliErr,
           "tarnovell: --size %s is too small for %s with %s: each recovery file holds a piece of "
           "%s, its own header and a copy of the stub; give %s, or %s\n",
           SizeShown(options).c_str(), what.c_str(), with.c_str(), groups.c_str(), larger.c_str(),
           FewerRecoveryFiles(options).c_str());
  return ExitUsage;
}

// The container holds the first data up to its cap, every piece up to the size, or less so that
// each recovery file fits it too. Or, with --number, N files of equal size (the recovery files
// then as large as their data needs).
static int PlanSizes(const SplitOptions& options, SplitPlan* plan) {
  if (options.Number > 0) {
    if (options.Number > static_cast<uint64_t>(plan->Total)) {
      CliPrint(CliErr, "tarnovell: --number: %s holds %lld bytes, too few for %llu files\n",
               Printable(options.InputPath).c_str(), static_cast<long long>(plan->Total),
               static_cast<unsigned long long>(options.Number));
      return ExitUsage;
    }
    PlanEqualSizes(options.Number, plan);
  } else {
    PlanCap(options.PieceSize, options.PieceSize, plan);
    if (options.RecoveryRows > 0 || options.RecoveryPercent > 0) {
      int code = FitRecoveryFiles(options, plan);
      if (code != ExitComplete) return code;
    }
    if (plan->Stream) return ExitComplete;
  }
  return CheckPieceCount(options, *plan, plan->Pieces);
}

static std::string PiecePath(const SplitPlan& plan, uint64_t n) {
  char suffix[PieceSuffixSize];
  PieceSuffix(static_cast<int32_t>(n), suffix);
  return JoinPath(plan.OutputDir, plan.Base + suffix);
}

static std::string RecoveryPath(const SplitPlan& plan, int32_t row) {
  return JoinPath(plan.OutputDir, plan.Base + RecoverySuffix(row));
}

static bool NameTooLong(const std::string& target) { return LastComponent(target).size() > 255; }

static int RefuseLongNames() {
  return Refuse("the base name is too long for the piece names; give a shorter one with --base");
}

// A file of the set against what is at its path: never the input, nothing without --force,
// nothing but a regular file.
static int CheckTarget(const SplitOptions& options, const OsFileInfo& input,
                       const std::string& target) {
  OsFileInfo existing;
  if (!OsProbe(target, &existing, false) || existing.Kind == OsKind::Missing) return ExitComplete;
  if (SameFile(existing, input))
    return Refuse(Printable(target) + " is the input file; give another --base or --output-dir");
  if (!options.Force) {
    TellReason("exists");
    return Refuse(Printable(target) + " exists (give --force to replace it)");
  }
  if (existing.Kind == OsKind::Folder) return Refuse(Printable(target) + " is a folder");
  if (existing.Kind != OsKind::Regular)
    return Refuse(Printable(target) + " is not a regular file, and nothing else is replaced");
  return ExitComplete;
}

// The data piece n holds (0: the container), from where in the input: as the plan cuts a file.
static void PlannedData(const SplitPlan& plan, uint64_t n, int64_t* start, int64_t* size) {
  *start = n == 0 ? 0 : plan.First + static_cast<int64_t>((n - 1) * plan.PieceSize);
  int64_t cap = n == 0 ? plan.First : static_cast<int64_t>(plan.PieceSize);
  *size = std::min(cap, plan.Total - *start);
}

// The CRC-32C of count bytes of a file from offset; false when they cannot be read.
static bool CrcOfRange(OsFile file, int64_t offset, int64_t count, uint32_t* crc) {
  *crc = 0;
  return CopyThroughMemory(file, offset, NoFile, 0, count, 0, crc) == count;
}

// A file a split of this same input left when it was killed while the files got their names (the
// pieces and the recovery files go in place before the container, so a kill there leaves them
// without one): its bytes are what this split writes under that name. A piece holds the input's
// bytes of its place; a recovery file has a header of this set's sizes and name; the checksum
// file names this set's files alone.
static bool OwnOrphan(const SplitPlan& plan, const SplitInput& input, const std::string& target) {
  OsFileInfo info;
  OsFile file = OsOpenRead(target, &info);
  if (file == NoFile) return false;
  bool own = false;
  auto piece = std::find(plan.Targets.begin(), plan.Targets.end(), target);
  if (info.Kind != OsKind::Regular) {
  } else if (piece != plan.Targets.end()) {
    int64_t start, size;
    PlannedData(plan, static_cast<uint64_t>(piece - plan.Targets.begin()), &start, &size);
    uint32_t theirs, ours;
    own = info.Size == size && CrcOfRange(file, 0, size, &theirs) &&
          CrcOfRange(input.File, start, size, &ours) && theirs == ours;
  } else if (target == plan.ChecksumTarget) {
    std::string text(static_cast<size_t>(std::min<int64_t>(info.Size, ChecksumFileLimit)), '\0');
    std::vector<ChecksumLine> lines;
    std::string why;
    own = OsReadAt(file, &text[0], text.size(), 0) && ParseChecksumText(text, &lines, &why);
    for (const ChecksumLine& line : lines) {
      bool ours = line.Name == plan.Name;
      for (const std::string& name : plan.Targets) ours |= line.Name == LastComponent(name);
      for (const std::string& name : plan.RecoveryTargets) ours |= line.Name == LastComponent(name);
      own &= ours;
    }
  } else {
    RecoveryHeader header;
    own = ReadRecoveryHeader(OsFileAccess(file), &header) &&
          header.FileCount == static_cast<int32_t>(plan.Pieces + 1) &&
          header.ContainerHeader[0] == plan.Name1251.size() &&
          plan.Name1251.compare(0, plan.Name1251.size(),
                                reinterpret_cast<const char*>(header.ContainerHeader + 1),
                                plan.Name1251.size()) == 0;
    for (int32_t n = 0; own && n < header.FileCount; n++) {
      int64_t start, size;
      PlannedData(plan, static_cast<uint64_t>(n), &start, &size);
      own = header.Files[n].Payload == size;
    }
  }
  OsClose(file);
  return own;
}

// The set's paths from its base: the container, the pieces, the recovery files.
static void NameTargets(const SplitOptions& options, SplitPlan* plan) {
  plan->Targets.assign(1, JoinPath(plan->OutputDir, plan->Base + ".exe"));
  for (uint64_t n = 1; n <= plan->Pieces; n++) plan->Targets.push_back(PiecePath(*plan, n));
  plan->RecoveryTargets.clear();
  for (int r = 0; r < RecoveryRowsOf(options, *plan); r++)
    plan->RecoveryTargets.push_back(RecoveryPath(*plan, r));
}

// Whether a file of the set would be the input itself.
static bool NamesTheInput(const SplitPlan& plan, const OsFileInfo& input) {
  if (input.Kind != OsKind::Regular) return false;
  std::vector<std::string> all = plan.Targets;
  all.insert(all.end(), plan.RecoveryTargets.begin(), plan.RecoveryTargets.end());
  for (const std::string& target : all) {
    OsFileInfo existing;
    if (OsProbe(target, &existing, false) && SameFile(existing, input)) return true;
  }
  return false;
}

// The files of the set, each checked against what is there. From a stream only the container and
// the recovery files are known here; each piece is checked when the data reaches it. From a file,
// where no container is there, what a killed split of it left is replaced freely.
static int PlanTargets(const SplitOptions& options, const SplitInput& source, SplitPlan* plan) {
  const OsFileInfo& input = source.Info;
  OsFileInfo folder;
  if (!OsProbe(options.OutputDir, &folder) || folder.Kind != OsKind::Folder) {
    CliPrint(CliErr, "tarnovell: %s is not a folder\n", Printable(options.OutputDir).c_str());
    return ExitFileError;
  }
  plan->OutputDir = options.OutputDir == "." ? "" : options.OutputDir;
  NameTargets(options, plan);
  // A set named after its input (setup.exe into setup.exe, docs.c001 into docs.c001) takes
  // another base unless one was given: BASE-set, said in the summary.
  if (options.Base.empty() && NamesTheInput(*plan, input)) {
    plan->Base += "-set";
    plan->BaseMoved = true;
    NameTargets(options, plan);
  }
  if (NameTooLong(plan->Targets.back()) ||
      (!plan->RecoveryTargets.empty() && NameTooLong(plan->RecoveryTargets.back()))) {
    return RefuseLongNames();
  }
  if (options.Checksums)
    plan->ChecksumTarget = ChecksumFilePath(JoinPath(plan->OutputDir, plan->Base));
  std::vector<std::string> all = plan->Targets;
  all.insert(all.end(), plan->RecoveryTargets.begin(), plan->RecoveryTargets.end());
  if (options.Checksums) all.push_back(plan->ChecksumTarget);
  if (options.Page) all.push_back(plan->PageTarget = PagePath(plan->OutputDir, plan->Base));
  plan->Nameless = all.size() <= NamelessFileLimit;
  if (plan->Nameless || plan->Stream) OsAllowManyOpenFiles();
  OsFileInfo container;
  bool orphans = !plan->Stream && !options.Force && OsProbe(plan->Targets[0], &container, false) &&
                 container.Kind == OsKind::Missing;
  for (const std::string& target : all) {
    OsFileInfo existing;
    if (orphans && OsProbe(target, &existing, false) && existing.Kind == OsKind::Regular &&
        !SameFile(existing, input) && OwnOrphan(*plan, source, target)) {
      plan->Orphans.push_back(target);
      continue;
    }
    int code = CheckTarget(options, input, target);
    if (code != ExitComplete) return code;
  }
  return ExitComplete;
}

// Whether file i of the set is written without a name. From a stream, whose count is known only
// at its end, the first files are, as many as the limit leaves beside the recovery files.
static bool WrittenNameless(const SplitPlan& plan, size_t i) {
  return plan.Stream ? i + plan.RecoveryTargets.size() < NamelessFileLimit : plan.Nameless;
}

// The set as a whole: its container and how many files follow it, where.
static std::string SetDescription(const SplitPlan& plan) {
  return "the set " + Printable(plan.Targets[0]) + " (" + std::to_string(plan.Targets.size()) +
         " files)";
}

// A write of the set failed (what: the file, or what was done): a full disk is told for the set,
// whichever of its files found it full.
static int WriteFailure(const SplitPlan& plan, const std::string& what) {
  int error = OsLastError();
  ProgressEnd();
  if (CliInterrupted) return ReportInterrupted("nothing was left behind");
  if (OsErrorIsNoSpace(error)) {
    CliPrint(CliErr, "tarnovell: no space left for %s: %s; nothing was left behind\n",
             SetDescription(plan).c_str(), OsErrorText(error).c_str());
    return ExitFileError;
  }
  CliPrint(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(),
           OsErrorText(error).c_str());
  return ExitFileError;
}

// The most data file i takes, the input's first pos bytes taken: its cap; from a file, no more
// than is left.
static int64_t DataFor(const SplitPlan& plan, size_t i, int64_t pos) {
  int64_t cap = i == 0 ? plan.First : static_cast<int64_t>(plan.PieceSize);
  return plan.Stream ? cap : std::min(cap, plan.Total - pos);
}

// The input ended before the plan's size: it became shorter while it was read.
static int InputShorter(const SplitInput& input) {
  ProgressEnd();
  CliPrint(CliErr, "tarnovell: %s became shorter while it was split; nothing was left behind\n",
           Printable(input.Shown).c_str());
  return ExitFileError;
}

// Moves up to count bytes of what comes next of the input to out at outPos, *crc continued over
// them (and sink, where given, taking them): the bytes moved (fewer at a stream's end, or where a
// file became shorter), -1 on an error or an interruption.
static int64_t TakeInput(SplitInput* input, OsFile out, int64_t outPos, int64_t count,
                         uint32_t* crc, ChunkSink* sink) {
  int64_t got = input->Stream ? input->Reader.CopyTo(out, outPos, count, input->Taken, crc, sink)
                              : CopyThroughMemory(input->File, input->Taken, out, outPos, count,
                                                  input->Taken, crc, false, sink);
  if (got > 0) input->Taken += got;
  return got;
}

// File i of the set, the last of plan->Targets, from what comes next of the input; its data and
// their CRC go to plan->Written (and to checksums, where asked). The container stays open for
// its stub and header.
static int WriteSetFile(SplitPlan* plan, size_t i, SplitInput* input, PendingOutput* out,
                        SplitChecksums* checksums) {
  const std::string& target = plan->Targets[i];
  if (!out->Create(target, ".tarnovell-split-", WrittenNameless(*plan, i))) {
    return WriteFailure(*plan, "cannot create a file in " +
                                   Printable(plan->OutputDir.empty() ? "." : plan->OutputDir));
  }
  ProgressLabel(LastComponent(target));
  int64_t outPos = i == 0 ? PayloadOffset : 0;
  int64_t count = DataFor(*plan, i, input->Taken);
  WrittenData data;
  data.Size = TakeInput(input, out->File(), outPos, count, &data.Crc,
                        checksums != nullptr ? checksums->ForFile(i) : nullptr);
  if (data.Size < 0) return WriteFailure(*plan, Printable(target));
  if (data.Size < count && !plan->Stream) return InputShorter(*input);
  // The length makes the holes at the end of a sparse input.
  if (!OsSetLength(out->File(), outPos + data.Size) || (i > 0 && !out->Finish()))
    return WriteFailure(*plan, Printable(target));
  plan->Written.push_back(data);
  return ExitComplete;
}

// From a stream with recovery files, before piece i: the pieces were cut so that the recovery
// files of one group (255 - N files) fit the size; a second group would put a piece more in each.
static int CheckStreamGroup(const SplitOptions& options, uint64_t i) {
  int32_t files = CodeWordLimit - options.RecoveryRows;
  if (options.RecoveryRows == 0 || i < static_cast<uint64_t>(files)) return ExitComplete;
  CliPrint(CliErr,
           "tarnovell: standard input needs more than %d files at --size %s, more than %d "
           "recovery file%s within that size can cover; give a larger --size, or %s; nothing was "
           "left behind\n",
           static_cast<int>(files), SizeShown(options).c_str(), options.RecoveryRows,
           options.RecoveryRows == 1 ? "" : "s", FewerRecoveryFiles(options).c_str());
  return ExitUsage;
}

// Whether the set has a file i (*more). From a file, by the plan; from a stream, while data
// waits after the container's: piece i's path is then checked and added to plan->Targets (no
// piece is made for data there is not).
static int MoreFiles(const SplitOptions& options, SplitPlan* plan, SplitInput* input, size_t i,
                     bool* more) {
  *more = i < plan->Targets.size();
  if (!plan->Stream || i == 0) return ExitComplete;
  int waiting = input->Reader.Peek();
  if (waiting < 0) return WriteFailure(*plan, "cannot read " + input->Shown);
  *more = waiting > 0;
  if (!*more) return ExitComplete;
  ProgressClear();  // a refusal is told on a line of its own
  int code = CheckPieceCount(options, *plan, i);
  if (code == ExitComplete) code = CheckStreamGroup(options, i);
  std::string target = PiecePath(*plan, i);
  if (code == ExitComplete && NameTooLong(target)) code = RefuseLongNames();
  if (code == ExitComplete) code = CheckTarget(options, input->Info, target);
  if (code != ExitComplete) return code;
  plan->Targets.push_back(target);
  return ExitComplete;
}

// The files of the set, in order, into *outputs; from a stream, what the set is comes of it.
static int WriteSetFiles(const SplitOptions& options, SplitPlan* plan, SplitInput* input,
                         std::vector<PendingOutput>* outputs, SplitChecksums* checksums) {
  outputs->reserve(plan->Targets.size());
  bool more = true;
  for (size_t i = 0;; i++) {
    int code = MoreFiles(options, plan, input, i, &more);
    if (code != ExitComplete) return code;
    if (!more) break;
    outputs->emplace_back();
    code = WriteSetFile(plan, i, input, &outputs->back(), checksums);
    if (code != ExitComplete) return code;
  }
  ProgressEnd();
  if (plan->Stream) {
    plan->Total = input->Taken;
    plan->First = plan->Written[0].Size;
    plan->Pieces = plan->Targets.size() - 1;
    plan->Nameless = plan->Targets.size() + plan->RecoveryTargets.size() <= NamelessFileLimit;
  }
  return ExitComplete;
}

// The digest block of the set as written: the digest of each run made from its files' CRCs.
static DigestBlock SetDigests(const SplitPlan& plan) {
  DigestBlock digests = {};
  int32_t pieces = static_cast<int32_t>(plan.Written.size());
  digests.Image.PieceCount = static_cast<uint32_t>(pieces);
  digests.Image.RunLength = static_cast<uint32_t>(RunLengthFor(pieces));
  digests.Image.FirstPayload = static_cast<uint64_t>(plan.First);
  digests.Image.PieceSize = plan.PieceSize;
  digests.HasStubDigest = true;
  digests.StubDigest = Crc32cAdd(0, plan.Stub.data(), plan.Stub.size());
  for (int32_t n = 0; n < pieces; n++) {
    uint32_t* digest = &digests.Image.Digests[DigestIndexOf(digests, n)];
    const WrittenData& data = plan.Written[static_cast<size_t>(n)];
    *digest = StartsRun(digests, n) ? data.Crc : Crc32cJoin(*digest, data.Crc, data.Size);
  }
  return digests;
}

// The stub and the header, now with the set's size and digest block.
static int WriteContainerHead(const SplitPlan& plan, const PendingOutput& container) {
  std::string header = HeaderBytes(
      MakeHeaderTexts(plan.Name1251, plan.Total, plan.Times[0], plan.Times[1], plan.Times[2]));
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&header[0]);
  // The plan checked the name: the field fits and checks where it is planned.
  if (plan.NameField)
    WriteNameField(bytes, reinterpret_cast<const uint8_t*>(plan.Name.data()),
                   static_cast<int32_t>(plan.Name.size()));
  DigestBlock digests = SetDigests(plan);
  if (!WriteDigestBlock(bytes, &digests)) {
    // The header's numbers are at most 19 digits and add up by the plan: not to be reached.
    CliPrint(CliErr,
             "tarnovell: the digest block does not fit this header; nothing was left behind\n");
    return ExitFileError;
  }
  std::string head = plan.Stub + header;
  if (!OsWriteAt(container.File(), head.data(), head.size(), 0))
    return WriteFailure(plan, Printable(container.Target()));
  return ExitComplete;
}

// The stub and the header, and the container closed.
static int SealContainer(const SplitPlan& plan, PendingOutput* container) {
  int code = WriteContainerHead(plan, *container);
  if (code == ExitComplete && !container->Finish())
    return WriteFailure(plan, Printable(container->Target()));
  return code;
}

// --recovery from a file: the set's files created, then written with the recovery files in one
// pass over the input (set/recovery_split.cpp), the container's head once every payload is in.
static int WriteSetInOnePass(SplitPlan* plan, const SplitInput& input,
                             std::vector<PendingOutput>* outputs, SplitChecksums* checksums) {
  OnePassSplit split;
  split.Input = input.File;
  outputs->reserve(plan->Targets.size() + plan->RecoveryTargets.size() + 1);
  for (size_t i = 0; i < plan->Targets.size(); i++) {
    outputs->emplace_back();
    if (!outputs->back().Create(plan->Targets[i], ".tarnovell-split-", plan->Nameless)) {
      return WriteFailure(*plan, "cannot create a file in " +
                                     Printable(plan->OutputDir.empty() ? "." : plan->OutputDir));
    }
    int64_t start = i == 0 ? 0 : split.Files.back().Start + split.Files.back().Size;
    split.Files.push_back({start, DataFor(*plan, i, start)});
  }
  if (checksums != nullptr) {
    split.PieceSums = checksums->PieceSinks(plan->Targets.size());
    split.Original = checksums->OriginalOnly();
  }
  split.Seal = [plan, outputs, &split](const std::vector<uint32_t>& crcs) {
    for (size_t i = 0; i < crcs.size(); i++)
      plan->Written.push_back({split.Files[i].Size, crcs[i]});
    return WriteContainerHead(*plan, outputs->front());
  };
  split.WriteFailure = [plan](const std::string& what) { return WriteFailure(*plan, what); };
  split.InputFailure = [plan, &input](int error) -> int {
    OsFileInfo info;
    if (OsInfo(input.File, &info) && info.Size < plan->Total) return InputShorter(input);
    ProgressEnd();
    CliPrint(CliErr, "tarnovell: file system error: cannot read %s: %s; nothing was left behind\n",
             Printable(input.Shown).c_str(), OsErrorText(error).c_str());
    return ExitFileError;
  };
  return WriteSetWithRecovery(split, plan->RecoveryTargets, plan->Nameless, outputs);
}

// The order the files go in place: the pieces and the recovery files, then the container, whose
// header decides what the set is. Stopped anywhere (a kill), the folder holds the older set with
// some of its files replaced by new ones under its older container (--force), or new files
// without a container: never a new container before all of its files.
static std::vector<size_t> CommitOrder(size_t count) {
  std::vector<size_t> order;
  for (size_t i = 1; i < count; i++) order.push_back(i);
  order.push_back(0);
  return order;
}

// Puts every file in place (replacing what is there with force, and the orphans of a killed split
// of this input); on a failure the ones already in place go again. Files of an older set that
// they replaced (--force) cannot come back: the message says so.
static int CommitSet(std::vector<PendingOutput>* outputs, bool force,
                     const std::vector<std::string>& orphans) {
  int replaced = 0;
  std::vector<size_t> order = CommitOrder(outputs->size());
  for (size_t k = 0; k < order.size(); k++) {
    PendingOutput& output = (*outputs)[order[k]];
    bool orphan = std::find(orphans.begin(), orphans.end(), output.Target()) != orphans.end();
    OsFileInfo existing;
    bool replaces =
        force && OsProbe(output.Target(), &existing, false) && existing.Kind != OsKind::Missing;
    if (output.Commit(force || orphan)) {
      replaced += replaces;
      continue;
    }
    int error = OsLastError();
    for (size_t j = 0; j < k; j++) OsDelete((*outputs)[order[j]].Target());
    std::string target = Printable(output.Target());
    std::string left = replaced == 0 ? "nothing was left behind"
                       : replaced == 1
                           ? "nothing of the new set was left behind, and the file of an older set "
                             "that it had replaced is gone"
                           : "nothing of the new set was left behind, and the " +
                                 std::to_string(replaced) +
                                 " files of an older set that it had replaced are gone";
    if (OsErrorIsExists(error))
      return Refuse(target + " appeared while the set was written; " + left);
    CliPrint(CliErr, "tarnovell: file system error: %s: %s; %s\n", target.c_str(),
             OsErrorText(error).c_str(), left.c_str());
    return ExitFileError;
  }
  return ExitComplete;
}

// Removes a file of an older set: only a regular file, never the input. False when there is
// none to remove, or it cannot be removed (said).
static bool RemoveOlderFile(const std::string& path, const OsFileInfo& input) {
  OsFileInfo info;
  if (!OsProbe(path, &info, false) || info.Kind != OsKind::Regular || SameFile(info, input))
    return false;
  if (OsDelete(path)) return true;
  CliPrint(CliErr, "tarnovell: warning: cannot remove %s of an older set: %s\n",
           Printable(path).c_str(), OsErrorText(OsLastError()).c_str());
  return false;
}

// The pieces of an older, longer set of the same base that the new set replaced: those after
// its last piece, as far as they follow on without a gap; and its recovery files beyond the new
// set's, every one of them (one may have been lost).
static void RemoveOlderPieces(const SplitPlan& plan, const OsFileInfo& input) {
  for (uint64_t n = plan.Pieces + 1; n <= static_cast<uint64_t>(INT32_MAX); n++)
    if (!RemoveOlderFile(PiecePath(plan, n), input)) break;
  for (int32_t r = static_cast<int32_t>(plan.RecoveryTargets.size()); r < MaxRecoveryRows; r++)
    RemoveOlderFile(RecoveryPath(plan, r), input);
  // Its checksums, which no longer fit the set, unless new ones replaced them.
  if (plan.ChecksumTarget.empty())
    RemoveOlderFile(ChecksumFilePath(JoinPath(plan.OutputDir, plan.Base)), input);
}

// "N files (FIRST to LAST)", or "1 file (NAME)", of paths; what names the kind.
static std::string FilesOf(const std::vector<std::string>& paths, size_t first, const char* what) {
  size_t count = paths.size() - first;
  std::string text = std::to_string(count) + " " + what + (count == 1 ? "" : "s") + " (" +
                     Printable(LastComponent(paths[first]));
  if (count > 1) text += " to " + Printable(LastComponent(paths.back()));
  return text + ")";
}

// --recovery P% in the summary: of what ("25% of the 10 files", or for a set of several groups
// "10% of each group of up to 200 files"), and the count it came to where it is not whole.
static std::string ShareText(const SplitOptions& options, const SplitPlan& plan) {
  int32_t files = static_cast<int32_t>(plan.Pieces + 1);
  int32_t rows = static_cast<int32_t>(plan.RecoveryTargets.size());
  std::string text = PercentText(options.RecoveryPercent);
  if (GroupCountFor(files, rows) <= 1)
    text += " of the " + std::to_string(files) + " files";
  else
    text += " of each group of up to " + std::to_string(LargestGroupFor(files, rows)) + " files";
  double exact = LargestGroupFor(files, rows) * options.RecoveryPercent / 100;
  if (std::fabs(exact - rows) < 1e-9) return text;
  char chosen[64];
  snprintf(chosen, sizeof chosen, " (%.3g, %s)", exact,
           exact < 0.5 ? "at least 1" : exact < rows ? "rounded up" : "rounded down");
  return text + chosen;
}

// The bytes the files at paths take, as they are now.
static int64_t BytesOf(const std::vector<std::string>& paths) {
  int64_t bytes = 0;
  for (const std::string& path : paths) {
    OsFileInfo info;
    if (OsProbe(path, &info) && info.Kind == OsKind::Regular) bytes += info.Size;
  }
  return bytes;
}

// What the recovery files cost beside the set, and what they mend: any N lost or damaged files
// of the set and themselves together (of each group, in a set of several).
static void ReportRecoveryCost(const SplitPlan& plan) {
  int32_t files = static_cast<int32_t>(plan.Pieces + 1);
  int32_t rows = static_cast<int32_t>(plan.RecoveryTargets.size());
  int64_t set = BytesOf(plan.Targets), recovery = BytesOf(plan.RecoveryTargets);
  std::string mends = "any " + std::to_string(rows) + " of ";
  if (GroupCountFor(files, rows) <= 1)
    mends += "the " + std::to_string(files + rows) + " files";
  else
    mends += "each group's " + std::to_string(LargestGroupFor(files, rows) + rows) + " files or fewer";
  CliPrint(CliOut, "Recovery: %s beside the set's %s (%lld%% more); %s %s\n",
           FormatSize(recovery).c_str(), FormatSize(set).c_str(),
           set > 0 ? static_cast<long long>((recovery * 100 + set / 2) / set) : 0LL,
           rows == 1 ? "it mends" : "they mend", mends.c_str());
}

static void ReportSet(const SplitOptions& options, const SplitPlan& plan) {
  CliPrint(CliOut, "%s: %lld bytes in %s", Printable(plan.Name).c_str(),
           static_cast<long long>(plan.Total), Printable(plan.Targets[0]).c_str());
  if (plan.Pieces > 0) CliPrint(CliOut, " and %s", FilesOf(plan.Targets, 1, "piece").c_str());
  if (!plan.RecoveryTargets.empty())
    CliPrint(CliOut, ", %s", FilesOf(plan.RecoveryTargets, 0, "recovery file").c_str());
  if (options.RecoveryPercent > 0) CliPrint(CliOut, " for %s", ShareText(options, plan).c_str());
  if (plan.ShrunkForRecovery && plan.Pieces > 0) {
    CliPrint(CliOut, ", pieces of %llu bytes so that each recovery file fits %s",
             static_cast<unsigned long long>(plan.PieceSize), SizeShown(options).c_str());
  }
  if (!plan.ChecksumTarget.empty())
    CliPrint(CliOut, ", checksums in %s", Printable(LastComponent(plan.ChecksumTarget)).c_str());
  if (!plan.PageTarget.empty())
    CliPrint(CliOut, ", the joiner page %s", Printable(LastComponent(plan.PageTarget)).c_str());
  if (plan.BaseMoved) {
    CliPrint(CliOut, "; named %s, as %s is the input (--base NAME gives another)",
             Printable(plan.Base).c_str(), Printable(options.InputPath).c_str());
  }
  CliPrint(CliOut, "\n");
  if (!plan.RecoveryTargets.empty()) ReportRecoveryCost(plan);
}

// A folder named as the input: what packs it into one stream that split takes.
static int RefuseFolderInput(const SplitOptions& options) {
  std::string folder = options.InputPath;
  while (folder.size() > 1 && LastComponent(folder).empty()) folder.pop_back();
  std::string size = options.Number > 0 ? "SIZE" : SizeShown(options);
  std::string name = options.Name.empty() ? LastComponent(folder) + ".tar" : options.Name;
  CliPrint(CliErr,
           "tarnovell: %s is a folder, and split cuts one file; pack it into one first, as "
           "in `tar c %s | tarnovell split - --name %s -s %s`\n",
           Printable(options.InputPath).c_str(), PasteablePath(folder).c_str(),
           PasteablePath(name).c_str(), PasteablePath(size).c_str());
  return ExitUsage;
}

// Opens the input: a regular file, or a stream read as it comes: standard input
// (StandardStreamPath), a FIFO or a device.
static int OpenInput(const SplitOptions& options, SplitInput* input) {
  const std::string& path = options.InputPath;
  if (path == StandardStreamPath) {
    input->Shown = "standard input";
    input->Stream = true;
    input->File = OsFileOfStream(CliIn);
    input->Reader = StreamReader(input->File);
    // What it is cannot always be told (Wine, for a file redirected into a Windows program): it
    // is read as a stream either way, with the split's times, and a read that fails says why.
    if (!OsInfo(input->File, &input->Info)) input->Info.Kind = OsKind::Stream;
    return ExitComplete;
  }
  input->Shown = path;
  input->Stream = InputIsStream(path);
  input->File = input->Stream ? OsOpenStream(path, &input->Info) : OsOpenRead(path, &input->Info);
  if (input->File == NoFile && CliInterrupted) return ReportInterrupted("nothing was written");
  if (input->File == NoFile) {
    CliPrint(CliErr, "tarnovell: cannot open %s: %s\n", Printable(path).c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  if (input->Stream && input->Info.Kind == OsKind::Stream) {
    input->Reader = StreamReader(input->File);
    return ExitComplete;
  }
  if (input->Info.Kind == OsKind::Folder) return RefuseFolderInput(options);
  if (input->Info.Kind != OsKind::Regular) {
    CliPrint(CliErr, "tarnovell: %s is not a regular file, a FIFO or a device\n",
             Printable(path).c_str());
    return ExitFileError;
  }
  input->Stream = false;  // a FIFO in the probe, a file once open: read as the file
  return ExitComplete;
}

// BASE.sha256 within the size too (--checksums; --number sets no size): its lines follow from the
// names, known before a byte is written; from a stream, at its end.
static int CheckChecksumFileFits(const SplitOptions& options, const SplitPlan& plan) {
  if (plan.ChecksumTarget.empty() || options.Number > 0) return ExitComplete;
  std::vector<std::string> files = plan.Targets;
  files.insert(files.end(), plan.RecoveryTargets.begin(), plan.RecoveryTargets.end());
  int64_t length = ChecksumFileLength(plan.Name, files);
  if (static_cast<uint64_t>(length) <= options.PieceSize) return ExitComplete;
  CliPrint(CliErr,
           "tarnovell: %s would be %lld bytes, more than --size %s; give a larger --size, or "
           "leave out --checksums%s\n",
           Printable(LastComponent(plan.ChecksumTarget)).c_str(), static_cast<long long>(length),
           SizeShown(options).c_str(), plan.Stream ? "; nothing was left behind" : "");
  return ExitUsage;
}

// From a stream, each recovery file of the set as it came, before one is written. The pieces
// were cut for a full group and a file past it refused as it came; but a set of one file, shorter
// than a piece, may get finer slices than the plan's, and so more of their digests.
static int CheckStreamRecoveryFits(const SplitOptions& options, const SplitPlan& plan) {
  if (!plan.Stream || plan.RecoveryTargets.empty()) return ExitComplete;
  SplitPlan ended = plan;  // its sizes now known
  ended.Stream = false;
  int32_t rows = static_cast<int32_t>(plan.RecoveryTargets.size());
  int64_t length = WrittenRecoveryFileSize(PlannedPayloads(ended, rows), rows);
  if (length >= 0 && static_cast<uint64_t>(length) <= options.PieceSize) return ExitComplete;
  CliPrint(CliErr,
           "tarnovell: the recovery files of standard input would be %lld bytes, more than "
           "--size %s; give a larger --size, or %s; nothing was left behind\n",
           static_cast<long long>(length), SizeShown(options).c_str(),
           FewerRecoveryFiles(options).c_str());
  return ExitUsage;
}

// The room the set takes (and its recovery files at least a piece each), checked before a byte
// of it is written. A stream's size is not known: a full disk is told when it is found.
static int CheckRoomForSet(const SplitPlan& plan) {
  if (plan.Stream) return ExitComplete;
  uint64_t total = static_cast<uint64_t>(plan.Total);
  uint64_t needed = total + PayloadOffset +
                    plan.RecoveryTargets.size() * std::min<uint64_t>(plan.PieceSize, total);
  return CheckRoom(plan.OutputDir, needed, SetDescription(plan));
}

// One file of the set in split's JSON object: its path, role and size, the CRC-32C of its data
// (the digest block's, for the container and the pieces), and with --checksums its SHA-256.
static void JsonSetFile(JsonWriter* json, const std::string& path, const char* role,
                        const WrittenData* data, const Sha256Digest* sha256) {
  OsFileInfo info;
  json->Begin().NameField("path", path).Field("role", role);
  if (OsProbe(path, &info)) json->Field("size", info.Size);
  if (data != nullptr) {
    char crc[9];
    snprintf(crc, sizeof crc, "%08x", data->Crc);
    json->Field("data_size", data->Size).Field("data_crc32c", crc);
  }
  if (sha256 != nullptr) json->Field("sha256", Sha256Hex(*sha256));
  json->End();
}

// split --json: what was written, in the order of BASE.sha256 (the set, its recovery files,
// then BASE.sha256 and BASE.html).
static void PrintSplitJson(const SplitOptions& options, const SplitPlan& plan,
                           const SplitChecksums* sums) {
  JsonWriter json;
  json.Begin()
      .Field("command", "split")
      .NameField("input", options.InputPath)
      .Field("name", plan.Name)
      .Field("size", plan.Total)
      .NameField("base", plan.Base)
      .NameField("folder", plan.OutputDir);
  if (sums != nullptr) json.Field("sha256", Sha256Hex(sums->Original()));
  json.BeginArray("files");
  size_t i = 0;
  auto digest = [&](size_t k) { return sums != nullptr ? &sums->Files()[k] : nullptr; };
  for (; i < plan.Targets.size(); i++) {
    const WrittenData* data = i < plan.Written.size() ? &plan.Written[i] : nullptr;
    JsonSetFile(&json, plan.Targets[i], i == 0 ? "container" : "piece", data, digest(i));
  }
  for (const std::string& path : plan.RecoveryTargets)
    JsonSetFile(&json, path, "recovery", nullptr, digest(i++));
  if (!plan.ChecksumTarget.empty())
    JsonSetFile(&json, plan.ChecksumTarget, "checksums", nullptr, nullptr);
  if (!plan.PageTarget.empty()) JsonSetFile(&json, plan.PageTarget, "page", nullptr, nullptr);
  json.End();
  JsonEndWith(&json, JsonResultWord(ExitComplete), ExitComplete);
  JsonPrint(json);
}

// A container of ours is refused as the input, unless forced: it is most likely a set to join.
static int RefuseSplittingASet(const SplitOptions& options, const SplitInput& input) {
  if (options.Force || input.Stream || !IsContainerOfOurs(input.File, input.Info))
    return ExitComplete;
  return Refuse(Printable(options.InputPath) + " is already a set; did you mean `tarnovell join " +
                PasteablePath(options.InputPath) + "`? (give --force to split it all the same)");
}

static int SplitInputInto(const SplitOptions& options, SplitInput* input) {
  SplitPlan plan;
  plan.Stream = input->Stream;
  plan.Total = input->Stream ? 0 : input->Info.Size;  // a stream's is counted as it is read
  // The input's times are taken (PlanNames) before anything of it is read.
  int code = PlanNames(options, *input, &plan);
  if (code == ExitComplete) code = RefuseSplittingASet(options, *input);
  if (code == ExitComplete) code = PlanSizes(options, &plan);
  if (code == ExitComplete) code = PlanTargets(options, *input, &plan);
  if (code == ExitComplete && !plan.Stream) code = CheckChecksumFileFits(options, plan);
  if (code == ExitComplete) code = CheckRoomForSet(plan);
  if (code != ExitComplete) return code;

  std::vector<PendingOutput> outputs;
  ProgressSteps(ProgressCommand::Split);
  // From a file the recovery files are made with the set: one step.
  if (!plan.Stream || plan.RecoveryTargets.empty()) ProgressSkip(ProgressStep::SplitRecovery);
  ProgressBegin(!options.Quiet, plan.Stream ? ProgressUnknownTotal : plan.Total,
                ProgressStep::SplitSet);
  SplitChecksums checksums;
  SplitChecksums* sums = options.Checksums ? &checksums : nullptr;
  if (plan.Stream || plan.RecoveryTargets.empty()) {
    code = WriteSetFiles(options, &plan, input, &outputs, sums);
    if (code == ExitComplete && plan.Stream) code = CheckChecksumFileFits(options, plan);
    if (code == ExitComplete) code = CheckStreamRecoveryFits(options, plan);
    if (code == ExitComplete) code = SealContainer(plan, &outputs.front());
  } else {
    code = WriteSetInOnePass(&plan, *input, &outputs, sums);
  }
  if (code == ExitComplete && plan.Stream && !plan.RecoveryTargets.empty()) {
    code = WriteRecoveryFiles(plan.RecoveryTargets, plan.Total, plan.Nameless, !options.Quiet,
                              &outputs);
  }
  if (code == ExitComplete && sums != nullptr)
    code = sums->Write(plan.ChecksumTarget, plan.Name, plan.Nameless, &outputs);
  if (code == ExitComplete && options.Page) {
    PageFacts facts{plan.Name, plan.Total, plan.Base, static_cast<int64_t>(plan.Pieces + 1),
                    static_cast<int32_t>(plan.RecoveryTargets.size())};
    code = WritePageOutput(plan.PageTarget, facts, plan.Nameless, &outputs);
  }
  if (code == ExitComplete) code = CommitSet(&outputs, options.Force, plan.Orphans);
  if (code != ExitComplete) return code;
  if (!plan.Orphans.empty()) {
    CliPrint(CliErr,
             "tarnovell: replaced %zu file%s that a split of this same file left without their "
             "container (killed while it named them)\n",
             plan.Orphans.size(), plan.Orphans.size() == 1 ? "" : "s");
  }
  if (options.Force) RemoveOlderPieces(plan, input->Info);
  if (options.Json)
    PrintSplitJson(options, plan, sums);
  else if (!options.Quiet)
    ReportSet(options, plan);
  return ExitComplete;
}

// What a stream cannot give: a size known in advance, and, from standard input or a descriptor
// (/dev/fd/63 of a shell's <(command)), a name (record 1 would be "-" or "63").
static int CheckStreamOptions(const SplitOptions& options) {
  if (!InputIsStream(options.InputPath)) return ExitComplete;
  std::string what = StreamShown(options.InputPath);
  if (options.Number > 0) {
    CliPrint(CliErr,
             "tarnovell: --number cannot be used with %s: its size is not known in advance; give "
             "--size instead\n",
             what.c_str());
    return ExitUsage;
  }
  if (options.RecoveryPercent > 0) {
    CliPrint(CliErr,
             "tarnovell: --recovery P%% cannot be used with %s: its number of files is not known "
             "in advance; give a number of recovery files instead\n",
             what.c_str());
    return ExitUsage;
  }
  if (options.Name.empty() && options.InputPath == StandardStreamPath) {
    CliPrint(CliErr,
             "tarnovell: split - reads standard input, which has no name; give the joined "
             "file's name with --name NAME\n");
    return ExitUsage;
  }
  if (options.Name.empty() && DescriptorPath(options.InputPath)) {
    CliPrint(CliErr,
             "tarnovell: %s is a pipe with no name of its own; give the joined file's name with "
             "--name NAME\n",
             what.c_str());
    return ExitUsage;
  }
  return ExitComplete;
}

int RunSplit(const SplitOptions& options) {
  if (options.Number == 0 && options.PieceSize <= static_cast<uint64_t>(PayloadOffset)) {
    CliPrint(
        CliErr,
        "tarnovell: --size must be more than %d bytes (the stub and the header alone take %d)\n",
        static_cast<int>(PayloadOffset), static_cast<int>(PayloadOffset));
    return ExitUsage;
  }
  int code = CheckStreamOptions(options);
  if (code != ExitComplete) return code;
  bool recovery = options.RecoveryRows > 0 || options.RecoveryPercent > 0;
  if (recovery && !RecoveryFilesAvailable()) return ExitUsage;
  if (options.Page && !PageAvailable()) return ExitUsage;
  SplitInput input;
  code = OpenInput(options, &input);
  if (code == ExitComplete) code = SplitInputInto(options, &input);
  if (input.File != NoFile && options.InputPath != StandardStreamPath) OsClose(input.File);
  return code;
}
