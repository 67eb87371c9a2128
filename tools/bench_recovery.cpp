// bench_recovery: the recovery code over real files, for tools/bench_recovery.sh (not a test).
//   bench_recovery encode N BASE.exe   writes BASE.r01 to BASE.rNN for the set beside BASE.exe
//   bench_recovery repair BASE.exe     finds the bad files of the set through BASE.r*, rebuilds
//                                      them beside the set and renames them into place
// Each prints what it did and its seconds (repair: the survey and the rebuilding apart).
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "container/layout.h"
#include "recovery/recovery.h"

static double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

static std::string PiecePath(const std::string& base, int32_t n) {
  char suffix[PieceSuffixSize];
  PieceSuffix(n, suffix);
  return n == 0 ? base + ".exe" : base + suffix;
}

// Opens path (for reading, or a new file for reading and writing); null when it cannot.
static const FileAccess* Open(const std::string& path, bool create, std::vector<FileAccess>* store) {
  int fd = create ? open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644) : open(path.c_str(), O_RDONLY);
  if (fd < 0) return nullptr;
  store->push_back(FileAccessOfDescriptor(fd));
  return &store->back();
}

static int Encode(const std::string& base, int32_t rows) {
  std::vector<FileAccess> store;
  store.reserve(100000);
  std::vector<const FileAccess*> set, outputs;
  for (int32_t n = 0; const FileAccess* file = Open(PiecePath(base, n), false, &store); n++) set.push_back(file);
  for (int32_t r = 0; r < rows; r++) outputs.push_back(Open(base + RecoverySuffix(r), true, &store));
  double start = Now();
  RecoveryResult result = EncodeRecovery(set, outputs, nullptr);
  printf("encode: %zu files, %d recovery files, outcome %d, %.3f s\n", set.size(),
         rows, result.Outcome, Now() - start);
  return result.Outcome == RecoveryDone ? 0 : 1;
}

static int Repair(const std::string& base) {
  std::vector<FileAccess> store;
  store.reserve(100000);
  std::vector<const FileAccess*> set, recovery;
  RecoveryHeader header{};
  for (int32_t r = 0; r < MaxRecoveryRows; r++)
    if (const FileAccess* file = Open(base + RecoverySuffix(r), false, &store)) {
      recovery.push_back(file);
      if (header.FileCount == 0) ReadRecoveryHeader(*file, &header);
    }
  for (int32_t n = 0; n < header.FileCount; n++) set.push_back(Open(PiecePath(base, n), false, &store));
  double start = Now();
  SetSurvey survey;
  RecoveryResult result = SurveySet(set, recovery, nullptr, &survey);
  double surveyed = Now();
  printf("survey: %d files, %d to rebuild, %d good recovery files, outcome %d, %.3f s\n", header.FileCount,
         survey.FilesToRewrite, survey.GoodRecoveryFiles, result.Outcome, surveyed - start);
  if (result.Outcome != RecoveryDone || survey.FilesToRewrite == 0) return result.Outcome == RecoveryDone ? 0 : 1;
  if (NeedsRewrite(survey.Files[0])) return printf("the container is bad: this benchmark rebuilds pieces only\n"), 1;
  std::vector<const FileAccess*> targets(survey.Files.size(), nullptr);
  for (size_t n = 0; n < survey.Files.size(); n++)
    if (NeedsRewrite(survey.Files[n])) targets[n] = Open(PiecePath(base, n) + ".rebuilt", true, &store);
  result = RepairSet(survey, set, recovery, targets, nullptr, nullptr);
  for (size_t n = 0; n < targets.size(); n++) {
    if (targets[n] == nullptr) continue;
    std::string path = PiecePath(base, n);
    if (result.Outcome == RecoveryDone && rename((path + ".rebuilt").c_str(), path.c_str()) == 0)
      printf("rebuilt %s\n", path.c_str());
  }
  printf("repair: outcome %d, %.3f s\n", result.Outcome, Now() - surveyed);
  return result.Outcome == RecoveryDone ? 0 : 1;
}

int main(int argc, char** argv) {
  std::string command = argc > 2 ? argv[1] : "";
  std::string container = argv[argc - 1];
  std::string base = container.size() > 4 ? container.substr(0, container.size() - 4) : container;
  if (command == "encode" && argc == 4) return Encode(base, atoi(argv[2]));
  if (command == "repair" && argc == 3) return Repair(base);
  fprintf(stderr, "usage: bench_recovery encode N BASE.exe | bench_recovery repair BASE.exe\n");
  return 64;
}
