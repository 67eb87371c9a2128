// split: the container (stub, header, first data) and BASE.c001, BASE.c002, ... All files are
// written under temporary names and renamed at the end; a failure removes every one of them.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "container/container_writer.h"

// The default base name: the input's file name without its last extension ("movie.avi" gives
// "movie", "archive.tar.gz" gives "archive.tar"); a name without one, or a dot file, is kept.
static std::string DefaultBaseName(const std::string& fileName) {
  size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return fileName;
  return fileName.substr(0, dot);
}

static int Refuse(const std::string& message) {
  fprintf(CliErr, "tarnovell: %s\n", message.c_str());
  return ExitRefused;
}

// The input's times as FILETIME values: birth time where the file system keeps one, else the
// last write time; then last access and last write.
static void InputTimes(int fd, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite) {
  struct statx info;
  if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) == 0) {
    const struct statx_timestamp& birth = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
    *creation = FileTimeFromUnix(birth.tv_sec, birth.tv_nsec);
    *lastAccess = FileTimeFromUnix(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    *lastWrite = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    return;
  }
  struct stat plain;
  fstat(fd, &plain);
  *creation = *lastWrite = FileTimeFromUnix(plain.st_mtim.tv_sec, static_cast<uint32_t>(plain.st_mtim.tv_nsec));
  *lastAccess = FileTimeFromUnix(plain.st_atim.tv_sec, static_cast<uint32_t>(plain.st_atim.tv_nsec));
}

int RunSplit(const SplitOptions& options) {
  if (options.PieceSize <= static_cast<uint64_t>(PayloadOffset)) {
    fprintf(CliErr, "tarnovell: --size must be more than 30720 bytes (the stub and the header alone take 30720)\n");
    return ExitUsage;
  }
  int in = open(options.InputPath.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat input;
  if (in < 0 || fstat(in, &input) != 0) {
    fprintf(CliErr, "tarnovell: cannot open %s: %s\n", Printable(options.InputPath).c_str(), strerror(errno));
    if (in >= 0) close(in);
    return ExitFileError;
  }
  if (!S_ISREG(input.st_mode)) {
    fprintf(CliErr, "tarnovell: %s is not a regular file\n", Printable(options.InputPath).c_str());
    close(in);
    return ExitFileError;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } inputCloser{in};

  // Record 1: the name in Windows-1251, as the joiner proposes it on Windows.
  std::string name = options.Name.empty() ? LastComponent(options.InputPath) : options.Name;
  std::string name1251;
  std::string problem = WindowsNameProblem(name);
  if (!problem.empty()) return Refuse("the name \"" + Printable(name) + "\" cannot be used: " + problem + "; give another with --name");
  if (!Utf8ToCp1251(name, &name1251)) {
    return Refuse("the name \"" + Printable(name) + "\" cannot be written in Windows-1251; give another with --name");
  }
  if (name1251.size() > 255) return Refuse("the name is longer than 255 bytes; give a shorter one with --name");

  // The base name: the pieces are opened by the joiner through the Windows-1251 file calls.
  std::string base = options.Base.empty() ? DefaultBaseName(LastComponent(options.InputPath)) : options.Base;
  std::string base1251;
  problem = WindowsNameProblem(base);
  if (!problem.empty()) return Refuse("the base name \"" + Printable(base) + "\" cannot be used: " + problem + "; give another with --base");
  if (!Utf8ToCp1251(base, &base1251)) {
    return Refuse("the base name \"" + Printable(base) + "\" cannot be written in Windows-1251; give another with --base");
  }

  // The plan: the container holds the first data up to its cap (below 4 GiB, a Windows image),
  // every piece up to the size; no empty last piece.
  int64_t total = input.st_size;
  uint64_t containerCap = std::min(options.PieceSize, ContainerSizeLimit);
  int64_t first = std::min<int64_t>(total, static_cast<int64_t>(containerCap - PayloadOffset));
  uint64_t rest = static_cast<uint64_t>(total - first);
  uint64_t pieces = rest / options.PieceSize + (rest % options.PieceSize != 0 ? 1 : 0);
  if (pieces > static_cast<uint64_t>(INT32_MAX)) {
    fprintf(CliErr, "tarnovell: --size is too small: the set would need %llu pieces\n", static_cast<unsigned long long>(pieces));
    return ExitUsage;
  }
  struct stat folder;
  if (stat(options.OutputDir.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
    fprintf(CliErr, "tarnovell: %s is not a folder\n", Printable(options.OutputDir).c_str());
    return ExitFileError;
  }
  // The current folder gives bare names, in messages too.
  std::string outputDir = options.OutputDir == "." ? "" : options.OutputDir;
  std::vector<std::string> targets;
  targets.push_back(JoinPath(outputDir, base + ".exe"));
  for (uint64_t n = 1; n <= pieces; n++) {
    char suffix[PieceSuffixSize];
    PieceSuffix(static_cast<int32_t>(n), suffix);
    targets.push_back(JoinPath(outputDir, base + suffix));
  }
  if (LastComponent(targets.back()).size() > 255) return Refuse("the base name is too long for the piece names; give a shorter one with --base");
  for (const std::string& target : targets) {
    struct stat existing;
    if (lstat(target.c_str(), &existing) != 0) continue;
    if (existing.st_dev == input.st_dev && existing.st_ino == input.st_ino) {
      return Refuse(Printable(target) + " is the input file; give another --base or --output-dir");
    }
    if (!options.Force) return Refuse(Printable(target) + " exists (give --force to replace it)");
    if (S_ISDIR(existing.st_mode)) return Refuse(Printable(target) + " is a folder");
  }

  uint64_t creation, lastAccess, lastWrite;
  InputTimes(in, &creation, &lastAccess, &lastWrite);
  std::string head(reinterpret_cast<const char*>(StubImage), StubImageSize);
  head += HeaderBytes(MakeHeaderTexts(name1251, total, SplitFileTime(creation), SplitFileTime(lastAccess),
                                      SplitFileTime(lastWrite)));

  std::vector<std::string> temps;
  size_t renamed = 0;
  auto removeAll = [&]() {
    for (size_t i = 0; i < temps.size(); i++) unlink((i < renamed ? targets[i] : temps[i]).c_str());
  };
  auto fail = [&](const std::string& what, int error) {
    ProgressEnd();
    removeAll();
    if (CliInterrupted) {
      fprintf(CliErr, "tarnovell: interrupted; nothing was left behind\n");
      return static_cast<int>(ExitInterrupted);
    }
    fprintf(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", what.c_str(), strerror(error));
    return static_cast<int>(ExitFileError);
  };

  ProgressBegin(!options.Quiet, total);
  int64_t inputPos = 0;
  for (size_t i = 0; i < targets.size(); i++) {
    std::string temp = JoinPath(outputDir, ".tarnovell-split-XXXXXX");
    int out = mkostemp(&temp[0], O_CLOEXEC);
    if (out < 0) return fail("cannot create a file in " + Printable(options.OutputDir), errno);
    temps.push_back(temp);
    fchmod(out, NewFileMode());
    ProgressLabel(LastComponent(targets[i]));
    int64_t outPos = 0;
    bool ok = true;
    if (i == 0) {
      ok = WriteAllAt(out, head.data(), head.size(), 0);
      outPos = PayloadOffset;
    }
    int64_t count = i == 0 ? first : std::min<int64_t>(static_cast<int64_t>(options.PieceSize), total - inputPos);
    int64_t got = ok ? CopyFileBytes(in, inputPos, out, outPos, count, inputPos) : -1;
    int error = errno;
    if (got >= 0 && got < count) {
      close(out);
      ProgressEnd();
      removeAll();
      fprintf(CliErr, "tarnovell: %s became shorter while it was split; nothing was left behind\n",
              Printable(options.InputPath).c_str());
      return ExitFileError;
    }
    // The length makes the holes at the end of a sparse input.
    if (got < 0 || ftruncate(out, outPos + count) != 0) {
      if (got >= 0) error = errno;
      close(out);
      return fail(Printable(targets[i]), error);
    }
    if (close(out) != 0) return fail(Printable(targets[i]), errno);
    inputPos += count;
  }
  ProgressEnd();
  for (; renamed < targets.size(); renamed++) {
    if (!RenameInPlace(temps[renamed], targets[renamed], options.Force)) {
      int error = errno;
      removeAll();
      if (error == EEXIST) return Refuse(Printable(targets[renamed]) + " appeared while the set was written; nothing was left behind");
      fprintf(CliErr, "tarnovell: file system error: %s: %s; nothing was left behind\n", Printable(targets[renamed]).c_str(), strerror(error));
      return ExitFileError;
    }
  }
  if (!options.Quiet) {
    fprintf(CliOut, "%s: %lld bytes in %s", Printable(name).c_str(), static_cast<long long>(total), Printable(targets[0]).c_str());
    if (pieces > 0) {
      fprintf(CliOut, " and %llu piece%s (%s to %s)", static_cast<unsigned long long>(pieces), pieces == 1 ? "" : "s",
              Printable(LastComponent(targets[1])).c_str(), Printable(LastComponent(targets.back())).c_str());
    }
    fprintf(CliOut, "\n");
  }
  return ExitComplete;
}
