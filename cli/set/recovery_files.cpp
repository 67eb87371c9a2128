#include "cli/set/recovery_files.h"

#include <string.h>

#include <algorithm>
#include <functional>

#include "cli/os/encoding.h"
#include "cli/os/paths.h"
#include "cli/set/copy.h"
#include "cli/set/module_files.h"
#include "cli/set/stub_image.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"
#include "container/layout.h"

OpenedFiles::~OpenedFiles() {
  for (OsFile file : Files) OsClose(file);
}

bool OpenedFiles::Open(const std::vector<std::string>& paths) {
  OsAllowManyOpenFiles();
  for (const std::string& path : paths) {
    OsFileInfo info;
    OsFile file = OsOpenRead(path, &info);
    if (file == NoFile) return false;
    Files.push_back(file);
  }
  return true;
}

RecoveryFileSet::~RecoveryFileSet() {
  for (OsFile file : SetFiles)
    if (file != NoFile) OsClose(file);
  for (OsFile file : RecoveryFiles)
    if (file != NoFile) OsClose(file);
}

void RecoveryFileSet::CloseSetFile(int32_t n) {
  if (SetFiles[n] != NoFile) OsClose(SetFiles[n]);
  SetFiles[n] = NoFile;
}

void RecoveryFileSet::LeaveOut(size_t i, const std::string& why) {
  if (RecoveryFiles[i] != NoFile) OsClose(RecoveryFiles[i]);
  RecoveryFiles[i] = NoFile;
  LeftOutWhy[i] = why;
}

int32_t RecoveryFileSet::FoundRow(int32_t r) const {
  std::string key = NameFoldKey(BaseName + RecoverySuffix(r));
  for (size_t i = 0; i < RecoveryPaths.size(); i++)
    if (NameFoldKey(LastComponent(RecoveryPaths[i])) == key) return static_cast<int32_t>(i);
  return -1;
}

// A regular file opened for reading, NoFile when it cannot be (OsLastError).
static OsFile OpenRegular(const std::string& path, bool* regular) {
  OsFileInfo info;
  OsFile file = OsOpenRead(path, &info);
  *regular = file == NoFile || info.Kind == OsKind::Regular;
  if (file != NoFile && !*regular) {
    OsClose(file);
    file = NoFile;
  }
  return file;
}

// Every recovery file there is, with the most files its header gives.
static void FindRecoveryFiles(RecoveryFileSet* set) {
  for (int32_t r = 0; r < MaxRecoveryRows; r++) {
    std::string path = FindFileIgnoringCase(set->Folder, set->BaseName + RecoverySuffix(r));
    if (path.empty()) continue;
    bool regular;
    OsFile file = OpenRegular(path, &regular);
    if (file == NoFile && regular && OsErrorIsMissing(OsLastError())) continue;
    set->RecoveryPaths.push_back(path);
    set->RecoveryFiles.push_back(file);
    set->LeftOutWhy.emplace_back();
    RecoveryHeader header;
    if (file == NoFile || !ReadRecoveryHeaderStart(OsFileAccess(file), &header)) continue;
    set->FileCount = std::max(set->FileCount, header.FileCount);
    if (set->SurveyBytes == 0)
      for (const RecoveryFileEntry& entry : header.Files)
        set->SurveyBytes = ProgressSum(set->SurveyBytes, entry.Payload);
    set->SurveyBytes = ProgressSum(set->SurveyBytes, header.ParityLength);
  }
}

// File n of the set: found ignoring case, or where it belongs; opened when it is there. A file
// that is there but cannot be opened stops the work: it must never be taken for a lost one.
static int OpenSetFile(RecoveryFileSet* set, const std::string& folder, const std::string& name) {
  std::string found = FindFileIgnoringCase(folder, name);
  std::string path = found.empty() ? JoinPath(folder, name) : found;
  bool regular = true;
  OsFile file = found.empty() ? NoFile : OpenRegular(path, &regular);
  bool missing = file == NoFile && (found.empty() || OsErrorIsMissing(OsLastError()));
  if (!regular) {
    CliPrint(CliErr, "tarnovell: %s is not a regular file\n", Printable(path).c_str());
    return ExitFileError;
  }
  if (file == NoFile && !missing) {
    CliPrint(CliErr, "tarnovell: cannot open %s: %s\n", Printable(path).c_str(),
             OsErrorText(OsLastError()).c_str());
    return ExitFileError;
  }
  set->SetPaths.push_back(path);
  set->SetFiles.push_back(file);
  set->SetFound.push_back(!missing);
  return ExitComplete;
}

// The container where it was named (or BASE.exe), the pieces in their folder.
static int OpenSetFiles(RecoveryFileSet* set, const std::string& containerPath,
                        const std::string& piecesFolder) {
  std::string folder = containerPath.empty() ? set->Folder : FolderOf(containerPath);
  std::string name = containerPath.empty() ? set->BaseName + ".exe" : LastComponent(containerPath);
  for (int32_t n = 0; n < set->FileCount; n++) {
    if (CliInterrupted) return ReportInterrupted("nothing was changed");
    char suffix[PieceSuffixSize];
    PieceSuffix(n, suffix);
    int code = n == 0 ? OpenSetFile(set, folder, name)
                      : OpenSetFile(set, piecesFolder, set->BaseName + suffix);
    if (code != ExitComplete) return code;
  }
  return ExitComplete;
}

int OpenRecoveryFileSet(const std::string& basePath, const std::string& containerPath,
                        const std::string& piecesFolder, RecoveryFileSet* set) {
  ForgetFolderListings();
  OsAllowManyOpenFiles();
  SplitBasePath(basePath, &set->Folder, &set->BaseName);
  FindRecoveryFiles(set);
  return OpenSetFiles(set, containerPath, piecesFolder);
}

void LeaveOutCondemned(const std::vector<std::string>& condemned, const std::string& why,
                       RecoveryFileSet* set) {
  for (const std::string& name : condemned)
    for (size_t i = 0; i < set->RecoveryPaths.size(); i++)
      if (LastComponent(set->RecoveryPaths[i]) == name) set->LeaveOut(i, why);
}

void AcceptOwnJoiner(const RecoveryFileSet& set, SetSurvey* survey) {
  std::string prefix(PayloadOffset, '\0');
  if (survey->Files.empty() || survey->Files[0] != FilePrefixDamaged || set.SetFiles[0] == NoFile ||
      !OsReadAt(set.SetFiles[0], &prefix[0], PayloadOffset, 0) ||
      prefix.compare(0, StubSize, reinterpret_cast<const char*>(StubImage), StubSize) != 0 ||
      memcmp(prefix.data() + HeaderOffset, survey->Header.ContainerHeader, HeaderSize) != 0)
    return;
  TakeContainerAsGood(survey);
}

std::vector<std::string> RecoveryFilesBeside(const std::string& basePath) {
  std::string folder, baseName;
  SplitBasePath(basePath, &folder, &baseName);
  std::vector<std::string> paths;
  for (int32_t r = 0; r < MaxRecoveryRows; r++) {
    std::string path = FindFileIgnoringCase(folder, baseName + RecoverySuffix(r));
    if (!path.empty()) paths.push_back(path);
  }
  return paths;
}

std::string FindHeaderCopy(const std::string& basePath, std::vector<uint8_t>* header) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> copies;  // file, copy
  for (const std::string& path : RecoveryFilesBeside(basePath)) {
    bool regular;
    OsFile file = OpenRegular(path, &regular);
    if (file == NoFile) continue;
    RecoveryHeader read;
    if (ReadRecoveryHeaderStart(OsFileAccess(file), &read) && CarriesSoundHeader(read))
      copies.emplace_back(path, std::vector<uint8_t>(read.ContainerHeader,
                                                     read.ContainerHeader + HeaderSize));
    OsClose(file);
  }
  size_t best = 0, bestCount = 0;
  for (size_t i = 0; i < copies.size(); i++) {
    size_t count = static_cast<size_t>(std::count_if(
        copies.begin(), copies.end(), [&](const auto& c) { return c.second == copies[i].second; }));
    if (count > bestCount) best = i, bestCount = count;
  }
  if (bestCount == 0) return "";
  *header = copies[best].second;
  return copies[best].first;
}

// The payloads of the files known good (not read by the survey).
static int64_t KnownBytes(const RecoveryFileSet& set, const std::vector<uint8_t>* knownGood) {
  int64_t bytes = 0;
  for (size_t n = 0; knownGood != nullptr && n < knownGood->size() && n < set.SetFiles.size();
       n++) {
    OsFileInfo info;
    if ((*knownGood)[n] && OsInfo(set.SetFiles[n], &info))
      bytes += info.Size - PayloadBase(static_cast<int32_t>(n));
  }
  return bytes;
}

int SurveyRecoveryFileSet(const RecoveryFileSet& set, bool progress, ProgressStep step,
                          SetSurvey* survey, bool* otherSet,
                          const std::vector<uint8_t>* knownGood, RebuildTargets* early) {
  int64_t total = set.SurveyBytes - KnownBytes(set, knownGood);
  ProgressBegin(progress, total > 0 ? total : 0, step);
  ProgressLabel(set.BaseName);
  ToolProgress steps;
  ModuleFiles setFiles(set.SetFiles), recoveryFiles(set.RecoveryFiles);
  OsWorkBeside beside;
  RecoveryResult result = SurveySet(setFiles.List(), recoveryFiles.List(), &steps, survey,
                                    knownGood, early, &beside);
  if (result.Outcome == RecoveryDone) ProgressComplete();
  ProgressEnd();
  *otherSet = result.Outcome == RecoveryOtherSet;
  if (result.Outcome == RecoveryDone) return ExitComplete;
  if (*otherSet) return ExitNotRepairable;
  if (result.Outcome == RecoveryNoRecoveryFile) {
    CliPrint(CliErr, "tarnovell: not repairable: no valid recovery file (%s.r01, ...) in %s\n",
             Printable(set.BaseName).c_str(),
             Printable(set.Folder.empty() ? "." : set.Folder).c_str());
    return ExitNotRepairable;
  }
  if (CliInterrupted) return ReportInterrupted("nothing was changed");
  CliPrint(CliErr, "tarnovell: file system error: %s; nothing was changed\n",
           OsErrorText(OsLastError()).c_str());
  return ExitFileError;
}

std::string SetFileName(const RecoveryFileSet& set, int32_t n) {
  return LastComponent(set.SetPaths[n]);
}

std::string RowFileName(const RecoveryFileSet& set, const SetSurvey& survey, int32_t r) {
  int32_t source = survey.RowSource[r];
  if (source < 0) source = set.FoundRow(r);
  return source >= 0 ? LastComponent(set.RecoveryPaths[source]) : set.BaseName + RecoverySuffix(r);
}

bool RowGoodEverywhere(const SetSurvey& survey, int32_t r) {
  int32_t groups = survey.Header.GroupCount;
  if (survey.RowSource[r] < 0) return false;
  for (int32_t g = 0; g < groups; g++)
    if (!survey.RowGood[r * groups + g]) return false;
  return true;
}

int32_t BadRowCount(const SetSurvey& survey) {
  int32_t bad = 0;
  for (int32_t r = 0; r < survey.Header.RowCount; r++) bad += !RowGoodEverywhere(survey, r);
  return bad;
}

static const char* StateWords(FileState state) {
  switch (state) {
    case FileMissing: return "missing";
    case FileWrongSize: return "wrong size";
    case FileUnreadable: return "cannot be read";
    case FileDamaged: return "damaged: its data differs from its digest";
    case FilePrefixDamaged: return "its joiner program or header differs (its data is good)";
    default: return "good";
  }
}

static const char* StateJsonWord(FileState state) {
  switch (state) {
    case FileMissing: return "missing";
    case FileWrongSize: return "wrong_size";
    case FileUnreadable: return "unreadable";
    case FileDamaged: return "damaged";
    case FilePrefixDamaged: return "prefix_damaged";
    default: return "good";
  }
}

// Each row of bad files of one state (first to last), in order; prefixOnly: only a container
// whose joiner program or header alone is bad.
static void ForEachBadRun(const SetSurvey& survey, bool prefixOnly,
                          const std::function<void(int32_t, int32_t, FileState)>& visit) {
  int32_t files = survey.Header.FileCount;
  for (int32_t n = 0, last; n < files; n = last + 1) {
    FileState state = survey.Files[n];
    for (last = n; last + 1 < files && survey.Files[last + 1] == state;) last++;
    if (state == FileGood || (prefixOnly && state != FilePrefixDamaged)) continue;
    visit(n, last, state);
  }
}

void PrintBadFiles(FILE* stream, const RecoveryFileSet& set, const SetSurvey& survey,
                   const char* indent, bool prefixOnly) {
  ForEachBadRun(survey, prefixOnly, [&](int32_t n, int32_t last, FileState state) {
    if (last - n < NamedAloneInARow) {
      for (int32_t m = n; m <= last; m++)
        CliPrint(stream, "%s%s: %s\n", indent, Printable(SetFileName(set, m)).c_str(),
                 StateWords(state));
      return;
    }
    CliPrint(stream, "%s%s to %s: %s, all %d\n", indent, Printable(SetFileName(set, n)).c_str(),
             Printable(SetFileName(set, last)).c_str(), StateWords(state), last - n + 1);
  });
}

std::vector<std::pair<int64_t, int64_t>> DamagedBytes(const SetSurvey& survey, int32_t n) {
  std::vector<std::pair<int64_t, int64_t>> ranges;
  if (survey.Header.SliceSize == 0 || survey.Files[n] != FileDamaged) return ranges;
  int64_t payload = survey.Header.Files[n].Payload, size = survey.StripeSize;
  int64_t base = PayloadBase(n);
  for (int64_t i = 0; i < SliceCount(payload, size); i++) {
    if (!SliceLostOf(survey, n, i)) continue;
    int64_t first = base + i * size, last = base + std::min(payload, (i + 1) * size) - 1;
    if (!ranges.empty() && ranges.back().second + 1 == first)
      ranges.back().second = last;
    else
      ranges.emplace_back(first, last);
  }
  return ranges;
}

// The ranges as a line tells them: "A to B, C to D", the first few and how many more.
static std::string RangesText(const std::vector<std::pair<int64_t, int64_t>>& ranges) {
  const size_t shown = 4;
  std::string text;
  for (size_t i = 0; i < ranges.size() && i < shown; i++)
    text += (i > 0 ? ", " : "") + std::to_string(ranges[i].first) + " to " +
            std::to_string(ranges[i].second);
  if (ranges.size() > shown) text += " and " + std::to_string(ranges.size() - shown) + " more";
  return text;
}

void PrintDamagedBytes(FILE* stream, const RecoveryFileSet& set, const SetSurvey& survey,
                       const char* indent) {
  int32_t told = 0, more = 0;
  for (int32_t n = 0; n < survey.Header.FileCount; n++) {
    std::vector<std::pair<int64_t, int64_t>> ranges = DamagedBytes(survey, n);
    if (ranges.empty()) continue;
    if (told++ >= NamedAloneInARow) {
      more++;
      continue;
    }
    CliPrint(stream, "%s%s: damaged in bytes %s\n", indent, Printable(SetFileName(set, n)).c_str(),
             RangesText(ranges).c_str());
  }
  if (more > 0) CliPrint(stream, "%s%d more files damaged in part\n", indent, more);
}

// How recovery row r's file was found.
enum class RowVerdict { Good, Damaged, HeaderDamaged, Missing, LeftOut };

static RowVerdict RowVerdictOf(const RecoveryFileSet& set, const SetSurvey& survey, int32_t r) {
  int32_t found = set.FoundRow(r);
  return found >= 0 && !set.LeftOutWhy[found].empty() ? RowVerdict::LeftOut
         : RowGoodEverywhere(survey, r)               ? RowVerdict::Good
         : survey.RowSource[r] >= 0                   ? RowVerdict::Damaged
         : found >= 0                                 ? RowVerdict::HeaderDamaged
                                                      : RowVerdict::Missing;
}

static const char* RowJsonWord(RowVerdict verdict) {
  switch (verdict) {
    case RowVerdict::Damaged: return "damaged";
    case RowVerdict::HeaderDamaged: return "header_damaged";
    case RowVerdict::Missing: return "missing";
    case RowVerdict::LeftOut: return "left_out";
    default: return "good";
  }
}

void PrintBadRows(FILE* stream, const RecoveryFileSet& set, const SetSurvey& survey,
                  const char* indent) {
  for (int32_t r = 0; r < survey.Header.RowCount; r++) {
    RowVerdict verdict = RowVerdictOf(set, survey, r);
    if (verdict == RowVerdict::Good) continue;
    std::string words = verdict == RowVerdict::Damaged ? "damaged recovery file"
                        : verdict == RowVerdict::HeaderDamaged
                            ? "damaged recovery file (its header)"
                        : verdict == RowVerdict::LeftOut
                            ? "left out: " + set.LeftOutWhy[set.FoundRow(r)]
                            : "missing recovery file";
    CliPrint(stream, "%s%s: %s\n", indent, Printable(RowFileName(set, survey, r)).c_str(),
             words.c_str());
  }
}

// A group with more lost files than good recovery rows for it.
static bool GroupFails(const GroupVerdict& group) { return group.LostFiles > group.GoodRows; }

void PrintNotRepairable(FILE* stream, const SetSurvey& survey, const char* lead) {
  int32_t groups = survey.Header.GroupCount, failing = 0;
  for (int32_t g = 0; g < groups; g++) {
    const GroupVerdict& group = survey.Groups[g];
    if (!GroupFails(group) || ++failing > NamedAloneInARow) continue;
    std::string where =
        groups > 1 ? "group " + std::to_string(g + 1) + " of " + std::to_string(groups) + ": " : "";
    CliPrint(stream, "%snot repairable: %s%d file%s bad, %d recovery file%s\n", lead, where.c_str(),
             group.LostFiles, group.LostFiles == 1 ? "" : "s", group.GoodRows,
             group.GoodRows == 1 ? "" : "s");
  }
  if (failing > NamedAloneInARow)
    CliPrint(stream, "%snot repairable: %d groups more likewise\n", lead,
             failing - NamedAloneInARow);
}

// "bad_bytes": the ranges as [first, last] pairs; nothing when there are none.
static void JsonBadBytes(JsonWriter* json, const std::vector<std::pair<int64_t, int64_t>>& ranges) {
  if (ranges.empty()) return;
  json->BeginArray("bad_bytes");
  for (const std::pair<int64_t, int64_t>& range : ranges)
    json->BeginArray().Field(nullptr, range.first).Field(nullptr, range.second).End();
  json->End();
}

// "bad_bytes_by_file" of a run of bad files told as one entry (first to last): each file of it
// the slices place, as an entry alone gives it (piece, name, bad_bytes); nothing when none is.
static void JsonRunBadBytes(JsonWriter* json, const RecoveryFileSet& set, const SetSurvey& survey,
                            int32_t first, int32_t last) {
  bool begun = false;
  for (int32_t m = first; m <= last; m++) {
    std::vector<std::pair<int64_t, int64_t>> ranges = DamagedBytes(survey, m);
    if (ranges.empty()) continue;
    if (!begun) json->BeginArray("bad_bytes_by_file");
    begun = true;
    json->Begin().Field("piece", m).NameField("name", SetFileName(set, m));
    JsonBadBytes(json, ranges);
    json->End();
  }
  if (begun) json->End();
}

void JsonSurvey(JsonWriter* json, const RecoveryFileSet& set, const SetSurvey& survey) {
  int32_t groups = survey.Header.GroupCount;
  json->Field("good_recovery_files", survey.Header.RowCount - BadRowCount(survey))
      .Field("groups", groups)
      .BeginArray("recovery_files");
  for (int32_t r = 0; r < survey.Header.RowCount; r++) {
    json->Begin()
        .Field("row", r + 1)
        .NameField("name", RowFileName(set, survey, r))
        .Field("verdict", RowJsonWord(RowVerdictOf(set, survey, r)))
        .End();
  }
  json->End().BeginArray("bad_files");
  ForEachBadRun(survey, false, [&](int32_t n, int32_t last, FileState state) {
    if (last - n < NamedAloneInARow) {
      for (int32_t m = n; m <= last; m++) {
        json->Begin().Field("piece", m).NameField("name", SetFileName(set, m));
        json->Field("verdict", StateJsonWord(state));
        JsonBadBytes(json, DamagedBytes(survey, m));
        json->End();
      }
      return;
    }
    json->Begin().Field("piece", n).Field("last_piece", last);
    json->NameField("name", SetFileName(set, n)).Field("verdict", StateJsonWord(state));
    JsonRunBadBytes(json, set, survey, n, last);
    json->End();
  });
  json->End().BeginArray("failing_groups");
  for (int32_t g = 0; g < groups; g++) {
    const GroupVerdict& group = survey.Groups[g];
    if (!GroupFails(group)) continue;
    json->Begin()
        .Field("group", g + 1)
        .Field("bad_files", group.LostFiles)
        .Field("good_recovery_files", group.GoodRows)
        .End();
  }
  json->End();
}

bool FindLostNameTaken(const RecoveryFileSet& set, std::string* path) {
  for (size_t n = 0; n < set.SetPaths.size(); n++) {
    if (set.SetFound[n]) continue;
    *path = set.SetPaths[n];
    OsFileInfo info;
    if (!OsProbe(*path, &info, false)) return false;
    if (info.Kind != OsKind::Missing) return true;
  }
  path->clear();
  return true;
}
