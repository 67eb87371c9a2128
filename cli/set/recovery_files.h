// A set and its recovery files, found and opened for the recovery module: what verify and repair
// share. Files reach the module as the tool gives them (module_files.h).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/os/os.h"
#include "cli/set/output.h"
#include "cli/show/json.h"
#include "cli/show/progress.h"
#include "recovery/recovery.h"

// Files open for reading (every one of a set, to make its recovery files); closed when dropped.
struct OpenedFiles : HoldsFiles {
  std::vector<OsFile> Files;

  ~OpenedFiles();
  // False (OsLastError) when one cannot be opened.
  bool Open(const std::vector<std::string>& paths);
};

// The files of a set and its recovery files, open for reading. Closes them when dropped.
struct RecoveryFileSet : HoldsFiles {
  std::string Folder;    // of the recovery files ("" for the current folder)
  std::string BaseName;  // they are BaseName + ".r01", ...
  // Per file of the set (as many as the recovery files give, at most): the path found, or the one
  // it belongs at; the open file or NoFile; whether a file was there (a repair replaces it).
  std::vector<std::string> SetPaths;
  std::vector<OsFile> SetFiles;
  std::vector<uint8_t> SetFound;
  // The recovery files found, in the order of their names; NoFile for one that cannot be opened,
  // or that is left out (why: a stronger authority condemns it; "" for the others).
  std::vector<std::string> RecoveryPaths;
  std::vector<OsFile> RecoveryFiles;
  std::vector<std::string> LeftOutWhy;
  int32_t FileCount = 0;  // the most files a valid recovery header gives; 0 when none is valid
  // What a survey reads: the payloads of the set as the first valid header gives them, and the
  // parity of every valid recovery file.
  int64_t SurveyBytes = 0;

  ~RecoveryFileSet();
  // Closes file n of the set (before it is replaced: Windows replaces no open file).
  void CloseSetFile(int32_t n);
  // Leaves recovery file i out of what follows (why: what condemns it, told with its row).
  void LeaveOut(size_t i, const std::string& why);
  // The recovery file found for row r, any case, whatever its header: -1 when there is none.
  int32_t FoundRow(int32_t r) const;
};

// Finds the recovery files beside basePath (BASE.r01 to the most rows there can be, any case),
// reads their headers, then opens the set's files they describe: the container at containerPath
// ("" for BASE.exe beside them), the pieces in piecesFolder. ExitComplete (FileCount 0 when no
// recovery file is valid), or ExitFileError after telling CliErr (a file of the set that is not a
// regular file).
int OpenRecoveryFileSet(const std::string& basePath, const std::string& containerPath,
                        const std::string& piecesFolder, RecoveryFileSet* set);

// The recovery files beside basePath (BASE.r01 to the most rows there can be, any case) that are
// there, in the order of their names.
std::vector<std::string> RecoveryFilesBeside(const std::string& basePath);

// The copy of a damaged container's header that the recovery files beside basePath carry: among
// those whose own header checks and whose copy holds a digest block that they agree with, the copy
// most of them carry (the first found of equals). Returns the path of the first file that carries
// it, with the copy in *header; "" when none does.
std::string FindHeaderCopy(const std::string& basePath, std::vector<uint8_t>* header);

// Leaves out of the set's recovery files those a stronger authority condemns (by name: BASE.sha256
// finds them forged or damaged where their own digests cannot tell), why told with their rows.
void LeaveOutCondemned(const std::vector<std::string>& condemned, const std::string& why,
                       RecoveryFileSet* set);

// A container the survey finds bad in its joiner program alone, where that is this tool's own
// (an earlier repair that had no copy of the set's may have put it there): a sound joiner, not
// damage; the survey takes the container as good.
void AcceptOwnJoiner(const RecoveryFileSet& set, SetSurvey* survey);

// Surveys the set (a progress line for step when progress). ExitComplete; ExitNotRepairable with
// *otherSet set when the recovery files are of another set (the container's digest block checks and
// none agrees with it; the caller says so in its words); or ExitInterrupted, ExitNotRepairable (no
// valid recovery file) or ExitFileError after telling CliErr. knownGood and early: as SurveySet
// takes them (null: every file is read; nothing is rebuilt on the way).
int SurveyRecoveryFileSet(const RecoveryFileSet& set, bool progress, ProgressStep step,
                          SetSurvey* survey, bool* otherSet,
                          const std::vector<uint8_t>* knownGood = nullptr,
                          RebuildTargets* early = nullptr);

// A lost file of the set whose name is still taken (a symbolic link to nothing: lost to every
// command, yet a rebuilt file could not be put there without removing the link): *path is the
// first such, or "" when every lost file's name is free. False (OsLastError, *path the one) when
// a name could not be looked at.
bool FindLostNameTaken(const RecoveryFileSet& set, std::string* path);
// The file name of file n of the set, and of recovery row r (the one found for it, ignoring case,
// or where it belongs).
std::string SetFileName(const RecoveryFileSet& set, int32_t n);
std::string RowFileName(const RecoveryFileSet& set, const SetSurvey& survey, int32_t r);
// Recovery row r's file is there and good in every group.
bool RowGoodEverywhere(const SetSurvey& survey, int32_t r);
// Recovery rows whose file is missing, or bad in some group.
int32_t BadRowCount(const SetSurvey& survey);
// One line per bad file of the set (prefixOnly: only a container whose joiner program or header
// alone is bad, which the digest block does not see), after indent.
void PrintBadFiles(FILE* stream, const RecoveryFileSet& set, const SetSurvey& survey,
                   const char* indent, bool prefixOnly);
// File n's bytes the slices find damaged: [first, last] pairs in the file's own offsets (the
// container's counted from its start), adjacent slices merged. Empty unless the file is damaged
// and the recovery files carry slice digests.
std::vector<std::pair<int64_t, int64_t>> DamagedBytes(const SetSurvey& survey, int32_t n);
// "NAME: damaged in bytes A to B, C to D" for each damaged file the slices place (the first
// NamedAloneInARow of them, then how many more), after indent.
void PrintDamagedBytes(FILE* stream, const RecoveryFileSet& set, const SetSurvey& survey,
                       const char* indent);
// One line per missing, damaged or left out recovery file.
void PrintBadRows(FILE* stream, const RecoveryFileSet& set, const SetSurvey& survey,
                  const char* indent);
// The survey's facts as members of the JSON object being written: how many recovery files are
// good, the groups, every recovery file with its verdict, the bad files of the set (runs of more
// than NamedAloneInARow as one entry with last_piece; each damaged file with the bytes the slices
// place, in bad_bytes alone, in bad_bytes_by_file within a run), the groups that cannot be
// repaired.
void JsonSurvey(JsonWriter* json, const RecoveryFileSet& set, const SetSurvey& survey);
// "not repairable: M files bad, N recovery files" (for each group that fails, in a grouped set),
// after lead.
void PrintNotRepairable(FILE* stream, const SetSurvey& survey, const char* lead);
