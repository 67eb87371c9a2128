// verify: the lines about a set's recovery files, read through the recovery module (ISA-L):
// whether they can repair the set, and for a container verify could not judge, whether they
// restore it. The facts are gathered first, then told as text or as JSON.
#include <algorithm>

#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/recovery.h"
#include "cli/set/recovery_files.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"

namespace {

// What the recovery files beside a set say of it.
enum class RecoveryState {
  NoValidFile,    // none of the files found holds a valid recovery header
  OtherSet,       // they describe another set
  NotSurveyed,    // the survey failed (told on CliErr)
  Whole,          // no file of the set needs rewriting
  Repairable,     // repair can rebuild every bad file
  NotRepairable,  // too many bad files (in a group) for the good recovery files
};

}  // namespace

struct VerifyRecovery::Facts {
  RecoveryFileSet Files;
  SetSurvey Survey;
  RecoveryState State = RecoveryState::NotSurveyed;
  std::string Taken;  // repairable once this path, a lost file's name that leads nowhere, is gone
  bool BadContainer = false;  // of a container verify could not judge
};

namespace {

using RecoveryFacts = VerifyRecovery::Facts;

const char* StateWord(RecoveryState state) {
  switch (state) {
    case RecoveryState::NoValidFile: return "no_valid_file";
    case RecoveryState::OtherSet: return "other_set";
    case RecoveryState::NotSurveyed: return "not_surveyed";
    case RecoveryState::Whole: return "whole";
    case RecoveryState::Repairable: return "repairable";
    case RecoveryState::NotRepairable: return "not_repairable";
  }
  return "";
}

// Surveys the open files (knownGood: as SurveySet takes it); ExitComplete, or ExitInterrupted
// after telling CliErr.
int Survey(bool progress, RecoveryFacts* facts, const std::vector<uint8_t>* knownGood = nullptr) {
  const std::vector<OsFile>& open = facts->Files.RecoveryFiles;
  if (facts->Files.FileCount == 0 ||
      std::count(open.begin(), open.end(), NoFile) == static_cast<ptrdiff_t>(open.size())) {
    facts->State = RecoveryState::NoValidFile;
    return ExitComplete;
  }
  bool otherSet;
  int code = SurveyRecoveryFileSet(facts->Files, progress, ProgressStep::VerifyRecovery,
                                   &facts->Survey, &otherSet, knownGood);
  if (code == ExitComplete) AcceptOwnJoiner(facts->Files, &facts->Survey);
  if (code == ExitInterrupted) return code;
  if (code != ExitComplete) {
    facts->State = otherSet ? RecoveryState::OtherSet : RecoveryState::NotSurveyed;
    return ExitComplete;
  }
  facts->State = facts->Survey.FilesToRewrite == 0 ? RecoveryState::Whole
                 : facts->Survey.Repairable        ? RecoveryState::Repairable
                                                   : RecoveryState::NotRepairable;
  if (facts->State == RecoveryState::Repairable && !FindLostNameTaken(facts->Files, &facts->Taken))
    facts->Taken.clear();
  return ExitComplete;
}

bool Surveyed(RecoveryState state) {
  return state == RecoveryState::Whole || state == RecoveryState::Repairable ||
         state == RecoveryState::NotRepairable;
}

// The line for a set found whole: the recovery files' own state.
void ReportWholeSet(const SetSurvey& survey) {
  int32_t rows = survey.Header.RowCount, bad = BadRowCount(survey);
  if (bad == 0) {
    CliPrint(CliOut, "Recovery:  %d recovery file%s, all good\n", rows, rows == 1 ? "" : "s");
  } else {
    CliPrint(
        CliOut,
        "Recovery:  %d of %d recovery files good; split the file again with --recovery to make "
        "the others\n",
        rows - bad, rows);
  }
}

// The "Recovery:" line for a set verify judged.
void PrintJudgedVerdict(const RecoveryFacts& facts, const std::string& containerPath) {
  const SetSurvey& survey = facts.Survey;
  int32_t good = survey.Header.RowCount - BadRowCount(survey);
  if (facts.State == RecoveryState::Whole) {
    ReportWholeSet(survey);
  } else if (facts.State == RecoveryState::Repairable && !facts.Taken.empty()) {
    CliPrint(
        CliOut,
        "Recovery:  repairable with the %d recovery file%s once %s, which leads to no file, is "
        "removed\n",
        good, good == 1 ? "" : "s", Printable(facts.Taken).c_str());
  } else if (facts.State == RecoveryState::Repairable) {
    CliPrint(CliOut, "Recovery:  repairable with the %d recovery file%s: tarnovell repair %s\n",
             good, good == 1 ? "" : "s", Printable(containerPath).c_str());
  } else {
    PrintNotRepairable(CliOut, survey, "Recovery:  ");
  }
}

// The "Recovery:" line for a container verify could not judge.
void PrintBadContainerVerdict(const RecoveryFacts& facts, const std::string& containerPath) {
  const SetSurvey& survey = facts.Survey;
  int32_t good = survey.Header.RowCount - BadRowCount(survey);
  if (survey.Repairable && survey.Files[0] == FileMissing) {
    CliPrint(CliOut, "Recovery:  repairable with the %d recovery file%s: tarnovell repair %s\n",
             good, good == 1 ? "" : "s", Printable(containerPath).c_str());
  } else if (survey.Repairable) {
    CliPrint(CliOut,
             "Recovery:  the recovery files hold a good copy of the container's header: tarnovell "
             "repair %s restores the set\n",
             Printable(containerPath).c_str());
  } else {
    PrintNotRepairable(CliOut, facts.Survey, "Recovery:  ");
  }
}

// The files of the set the survey opened that are the very ones the walk found whole.
std::vector<uint8_t> KnownGood(const RecoveryFileSet& files,
                               const std::vector<OsFileInfo>& foundWhole) {
  std::vector<uint8_t> known(files.SetFiles.size(), 0);
  for (size_t n = 0; n < known.size() && n < foundWhole.size(); n++) {
    OsFileInfo info;
    known[n] = foundWhole[n].Kind == OsKind::Regular && files.SetFiles[n] != NoFile &&
               OsInfo(files.SetFiles[n], &info) && SameFile(info, foundWhole[n]) &&
               info.Size == foundWhole[n].Size;
  }
  return known;
}

}  // namespace

bool HasRecoveryFiles(const PieceSet& set) {
  std::string base = ContainerBasePath(set.ContainerPath), folder, baseName;
  if (base.empty()) return false;
  SplitBasePath(base, &folder, &baseName);
  for (int32_t r = 0; r < MaxRecoveryRows; r++)
    if (!FindFileIgnoringCase(folder, baseName + RecoverySuffix(r)).empty()) return true;
  return false;
}

VerifyRecovery::VerifyRecovery() = default;
VerifyRecovery::~VerifyRecovery() = default;

int VerifyRecovery::SurveyJudged(const PieceSet& set, bool whole, bool quiet, bool json,
                                 const std::vector<OsFileInfo>& foundWhole,
                                 const std::vector<std::string>& condemned,
                                 const std::string& why) {
  facts_.reset();
  if (whole && quiet && !json) return ExitComplete;
  auto facts = std::make_unique<Facts>();
  int code = OpenRecoveryFileSet(ContainerBasePath(set.ContainerPath), set.ContainerPath,
                                 set.Folder, &facts->Files);
  if (code != ExitComplete || facts->Files.RecoveryPaths.empty()) return ExitComplete;
  LeaveOutCondemned(condemned, why, &facts->Files);
  std::vector<uint8_t> known = KnownGood(facts->Files, foundWhole);
  code = Survey(!quiet, facts.get(), &known);
  if (code != ExitComplete) return code;
  facts_ = std::move(facts);
  return ExitComplete;
}

int VerifyRecovery::SurveyBadContainer(const std::string& containerPath,
                                       const std::string& piecesDir, bool quiet) {
  facts_.reset();
  std::string base = ContainerBasePath(containerPath), folder, baseName;
  if (base.empty()) return -1;
  SplitBasePath(base, &folder, &baseName);
  auto facts = std::make_unique<Facts>();
  int code = OpenRecoveryFileSet(base, containerPath, piecesDir.empty() ? folder : piecesDir,
                                 &facts->Files);
  if (code != ExitComplete || facts->Files.FileCount == 0) return -1;
  code = Survey(!quiet, facts.get());
  if (code != ExitComplete) return code;
  const SetSurvey& survey = facts->Survey;
  if (!Surveyed(facts->State) || survey.Files.empty() || !NeedsRewrite(survey.Files[0])) return -1;
  facts->BadContainer = true;
  facts_ = std::move(facts);
  for (FileState state : survey.Files)
    if (NeedsRewrite(state) && state != FileMissing) return ExitMismatch;
  return ExitMissingPiece;  // the container is lost, and maybe pieces, nothing damaged
}

bool VerifyRecovery::ContainerPrefixDamaged() const {
  return facts_ != nullptr && Surveyed(facts_->State) && !facts_->BadContainer &&
         !facts_->Survey.Files.empty() && facts_->Survey.Files[0] == FilePrefixDamaged;
}

void VerifyRecovery::PrintFileLines(bool containerTold) const {
  if (facts_ == nullptr || !Surveyed(facts_->State)) return;
  // Of a set verify judged, only a container whose joiner program or header alone is bad: verify
  // named the rest.
  if (facts_->BadContainer || !containerTold)
    PrintBadFiles(CliOut, facts_->Files, facts_->Survey, "  ", !facts_->BadContainer);
  PrintDamagedBytes(CliOut, facts_->Files, facts_->Survey, "  ");
}

void VerifyRecovery::PrintRecoveryLines(const std::string& containerPath) const {
  if (facts_ == nullptr) return;
  const RecoveryFacts& facts = *facts_;
  switch (facts.State) {
    case RecoveryState::NoValidFile:
      CliPrint(CliOut, "Recovery:  not repairable: no valid recovery file among the %zu found\n",
               facts.Files.RecoveryPaths.size());
      return;
    case RecoveryState::OtherSet:
      CliPrint(CliOut, "Recovery:  the recovery files found are of another set\n");
      return;
    case RecoveryState::NotSurveyed: return;
    default: break;
  }
  if (facts.BadContainer) return PrintBadContainerVerdict(facts, containerPath);
  PrintBadRows(CliOut, facts.Files, facts.Survey, "  ");
  PrintJudgedVerdict(facts, containerPath);
}

void VerifyRecovery::Json(JsonWriter* json) const {
  if (facts_ == nullptr) return;
  const RecoveryFacts& facts = *facts_;
  json->Begin("recovery")
      .Field("found", static_cast<int64_t>(facts.Files.RecoveryPaths.size()))
      .Field("state", StateWord(facts.State));
  if (Surveyed(facts.State)) JsonSurvey(json, facts.Files, facts.Survey);
  if (!facts.Taken.empty()) json->NameField("blocked_by", facts.Taken);
  json->End();
}
