#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "cli/cli.h"

// ---- file times ----

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  const int64_t epochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01
  if (seconds < -epochSeconds) return 0;
  uint64_t since1601 = static_cast<uint64_t>(seconds + epochSeconds);
  if (since1601 > (UINT64_MAX - 9999999) / 10000000) return UINT64_MAX;
  return since1601 * 10000000 + nanoseconds / 100;
}

struct timespec UnixFromFileTime(uint64_t fileTime) {
  struct timespec time;
  time.tv_sec = static_cast<time_t>(static_cast<int64_t>(fileTime / 10000000) - 11644473600);
  time.tv_nsec = static_cast<long>(fileTime % 10000000) * 100;
  return time;
}

FILETIME SplitFileTime(uint64_t fileTime) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(fileTime);
  time.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
  return time;
}

uint64_t JoinFileTime(FILETIME time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// ---- interruption ----

volatile int CliInterrupted = 0;

static void OnInterrupt(int) { CliInterrupted = 1; }

void InstallInterruptHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked copy returns and sees the flag
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

// ---- progress ----

static bool ProgressOn = false;
static bool ProgressDrawn = false;
static int64_t ProgressTotal = 0;
static std::string ProgressText;
static struct timespec ProgressLast;

void ProgressBegin(bool enabled, int64_t total) {
  ProgressOn = enabled && isatty(fileno(CliErr));
  ProgressDrawn = false;
  ProgressTotal = total;
  ProgressText.clear();
  ProgressLast = {};
}

void ProgressLabel(const std::string& label) { ProgressText = Printable(label); }

void ProgressUpdate(int64_t done) {
  if (!ProgressOn) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t elapsedMs = (now.tv_sec - ProgressLast.tv_sec) * 1000 + (now.tv_nsec - ProgressLast.tv_nsec) / 1000000;
  if (ProgressDrawn && elapsedMs < 100) return;
  ProgressLast = now;
  ProgressDrawn = true;
  const int width = 30;
  double fraction = ProgressTotal > 0 ? static_cast<double>(done) / static_cast<double>(ProgressTotal) : 1.0;
  fraction = std::min(1.0, std::max(0.0, fraction));
  int filled = static_cast<int>(fraction * width);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(width, '.');
  std::string label = ProgressText.size() > 24 ? ProgressText.substr(0, 21) + "..." : ProgressText;
  fprintf(CliErr, "\r%-24s [%s] %3d%% %s / %s\033[K", label.c_str(), bar.c_str(),
          static_cast<int>(fraction * 100), FormatSize(done).c_str(), FormatSize(ProgressTotal).c_str());
  fflush(CliErr);
}

void ProgressEnd() {
  if (ProgressOn && ProgressDrawn) {
    fprintf(CliErr, "\r\033[K");
    fflush(CliErr);
  }
  ProgressOn = false;
}

// ---- copying ----

static bool CopyRangeMissing = false;  // the kernel has no copy_file_range at all
static const int64_t CopyChunk = 32 << 20;
// 128 KiB: as fast as cat here, where 1 MiB blocks made plain copies several times slower.
static const size_t BufferSize = 128 << 10;

bool WriteAllAt(int fd, const void* bytes, size_t count, int64_t offset) {
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    ssize_t n = pwrite(fd, p, count, offset);
    if (n < 0) {
      if (errno == EINTR && !CliInterrupted) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

// Copies a run of data (no holes looked for). Returns the bytes copied, less than count when the
// source ends; -1 with errno on an error.
static int64_t CopyDense(int in, int64_t inOffset, int out, int64_t outOffset, int64_t count,
                         int64_t progressAt) {
  static std::vector<char> buffer;
  bool useRange = !CopyRangeMissing;
  int64_t done = 0;
  while (done < count) {
    if (CliInterrupted) {
      errno = EINTR;
      return -1;
    }
    int64_t chunk = std::min(count - done, CopyChunk);
    if (useRange) {
      loff_t from = inOffset + done;
      loff_t to = outOffset + done;
      ssize_t n = copy_file_range(in, &from, out, &to, static_cast<size_t>(chunk), 0);
      if (n > 0) {
        done += n;
        ProgressUpdate(progressAt + done);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == ENOSYS) CopyRangeMissing = true;
      if (n < 0 && errno != ENOSYS && errno != EXDEV && errno != EINVAL && errno != EOPNOTSUPP &&
          errno != EBADF && errno != ETXTBSY && errno != EPERM) {
        return -1;  // EIO, ENOSPC, EFBIG...: a real error
      }
      // Refused for this pair of files, or 0 bytes (the end of the source, or a file system
      // that copies nothing this way): plain reads and writes find out which.
      useRange = false;
      continue;
    }
    if (buffer.empty()) buffer.resize(BufferSize);
    ssize_t n = pread(in, buffer.data(), static_cast<size_t>(std::min<int64_t>(chunk, BufferSize)), inOffset + done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return done;
    if (!WriteAllAt(out, buffer.data(), static_cast<size_t>(n), outOffset + done)) return -1;
    done += n;
    ProgressUpdate(progressAt + done);
  }
  return done;
}

int64_t CopyFileBytes(int in, int64_t inOffset, int out, int64_t outOffset, int64_t count,
                      int64_t progressBase) {
  int64_t done = 0;
  bool holesKnown = true;
  while (done < count) {
    if (CliInterrupted) {
      errno = EINTR;
      return -1;
    }
    int64_t pos = inOffset + done;
    int64_t run = count - done;
    if (holesKnown) {
      off_t data = lseek(in, pos, SEEK_DATA);
      if (data < 0 && errno == ENXIO) {
        // No data from pos on: a hole up to the end of the file (or pos is past the end).
        struct stat info;
        if (fstat(in, &info) != 0) return -1;
        int64_t end = std::min<int64_t>(info.st_size, inOffset + count);
        if (end > pos) done += end - pos;
        return done;
      }
      if (data < 0) {
        holesKnown = false;  // the file system does not tell: everything is data
      } else if (data > pos) {
        done += std::min<int64_t>(data - pos, run);
        ProgressUpdate(progressBase + done);
        continue;
      } else {
        off_t hole = lseek(in, pos, SEEK_HOLE);
        if (hole > pos) run = std::min<int64_t>(hole - pos, run);
      }
    }
    int64_t got = CopyDense(in, pos, out, outOffset + done, run, progressBase + done);
    if (got < 0) return -1;
    done += got;
    if (got < run) return done;  // the source ended early
  }
  return done;
}

// ---- paths ----

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string LastComponent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Folder -> (fold key -> the first name, in byte order, with that key).
static std::map<std::string, std::map<std::string, std::string>> FolderListings;

void ForgetFolderListings() { FolderListings.clear(); }

std::string FindFileIgnoringCase(const std::string& folder, const std::string& name) {
  std::string path = JoinPath(folder, name);
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return path;
  if (errno != ENOENT) return errno == ENOTDIR ? "" : path;  // let the open report it
  auto listing = FolderListings.find(folder);
  if (listing == FolderListings.end()) {
    std::map<std::string, std::string> keys;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir != nullptr) {
      std::vector<std::string> names;
      while (struct dirent* entry = readdir(dir)) names.push_back(entry->d_name);
      closedir(dir);
      std::sort(names.begin(), names.end());
      for (const std::string& entryName : names) keys.emplace(NameFoldKey(entryName), entryName);
    }
    listing = FolderListings.emplace(folder, std::move(keys)).first;
  }
  auto found = listing->second.find(NameFoldKey(name));
  if (found == listing->second.end()) return "";
  return JoinPath(folder, found->second);
}
