// The tool's operating-system calls on Linux: files, times and names (the console is in
// console.cpp, interruptions in interrupts.cpp, copies in set/copy_posix.cpp).
#include <dirent.h>
#include <pthread.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "base/file_time.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/os/sides.h"

static int Descriptor(OsFile file) { return static_cast<int>(file); }

const char OsPathSeparators[] = "/";
const char OsPathSeparator = '/';
size_t OsPathRootLength(const std::string& path) { return !path.empty() && path[0] == '/' ? 1 : 0; }

int OsLastError() { return errno; }
void OsSetLastError(int error) { errno = error; }
const int OsInterruptedError = EINTR;  // as a call the signal broke off says
std::string OsErrorText(int error) { return strerror(error); }
bool OsErrorIsExists(int error) { return error == EEXIST; }
bool OsErrorIsMissing(int error) { return error == ENOENT || error == ENOTDIR; }

bool OsErrorIsNoSpace(int error) { return error == ENOSPC || error == EDQUOT; }

bool OsSystemFreeSpace(const std::string& folder, uint64_t* bytes) {
  struct statvfs info;
  if (statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0) return false;
  *bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}

bool OsFolderRefusesWrites(const std::string& folder, int* error) {
  if (access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0) return false;
  *error = errno;
  return errno == EROFS || errno == EACCES;
}

static void InfoOf(const struct stat& st, OsFileInfo* info) {
  bool stream = S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode);
  info->Kind = S_ISREG(st.st_mode)   ? OsKind::Regular
               : S_ISDIR(st.st_mode) ? OsKind::Folder
               : stream              ? OsKind::Stream
                                     : OsKind::Other;
  info->Size = st.st_size;
  info->Device = st.st_dev;
  info->Inode = st.st_ino;
}

bool OsProbe(const std::string& path, OsFileInfo* info, bool followLinks) {
  struct stat st;
  *info = OsFileInfo();
  if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) == 0) {
    InfoOf(st, info);
    return true;
  }
  return OsErrorIsMissing(errno);  // Missing; other failures are the caller's to report
}

bool OsListFolder(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  while (struct dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  closedir(dir);
  return true;
}

// The descriptor with what it opened; NoFile (errno kept) when it cannot be told.
static OsFile OpenedWithInfo(int fd, OsFileInfo* info) {
  if (fd < 0) return NoFile;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return NoFile;
  }
  InfoOf(st, info);
  return fd;
}

OsFile OsOpenRead(const std::string& path, OsFileInfo* info) {
  OsFile file =
      OpenedWithInfo(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), info);
  if (file != NoFile)
    fcntl(Descriptor(file), F_SETFL, fcntl(Descriptor(file), F_GETFL) & ~O_NONBLOCK);
  return file;
}

OsFile OsOpenStream(const std::string& path, OsFileInfo* info) {
  int fd;
  do fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR && !CliInterrupted);
  return OpenedWithInfo(fd, info);
}

OsFile OsOpenWrite(const std::string& path, OsFileInfo* info) {
  int fd;
  do fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR && !CliInterrupted);
  return OpenedWithInfo(fd, info);
}

void OsAllowManyOpenFiles() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);  // where it cannot, opens fail later and say why
}

bool OsInfo(OsFile file, OsFileInfo* info) {
  struct stat st;
  if (fstat(Descriptor(file), &st) != 0) return false;
  InfoOf(st, info);
  return true;
}

bool OsReadAt(OsFile file, void* bytes, size_t count, int64_t offset) {
  return MoveAllAt(static_cast<char*>(bytes), count, offset,
                   [file](char* p, size_t n, int64_t at) -> size_t {
                     ssize_t got;
                     do got = pread(Descriptor(file), p, n, at);
                     while (got < 0 && errno == EINTR);
                     if (got == 0) errno = EIO;  // past the end
                     return got > 0 ? static_cast<size_t>(got) : 0;
                   });
}

// What OsViewedBytes tells.
static std::atomic<int64_t> Viewed{0};
// Set by OnViewFault: a viewed file was cut short under its view.
static volatile sig_atomic_t ViewFault = 0;
static size_t PageSize() {
  static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// A view's page past its file's end: a page of zeros put in its place, and the fault noted.
// Any other bus error takes its default course (the process ends).
static void OnViewFault(int number, siginfo_t* info, void*) {
  uintptr_t page = reinterpret_cast<uintptr_t>(info->si_addr) & ~(uintptr_t{PageSize()} - 1);
  if (info->si_code == BUS_ADRERR &&
      mmap(reinterpret_cast<void*>(page), PageSize(), PROT_READ,
           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
    ViewFault = 1;
    return;
  }
  signal(number, SIG_DFL);
}

// Bus errors in views taken by OnViewFault; false when it cannot be.
static bool HandleViewFaults() {
  struct sigaction action = {};
  action.sa_sigaction = OnViewFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, nullptr) == 0;
}

const void* OsViewRead(OsFile file, int64_t offset, size_t count) {
  // TARNOVELL_NO_MAP: every file read by read calls (where mapping misbehaves, as on some
  // network file systems; and what the benchmarks count bytes read by).
  static const bool mapping = getenv("TARNOVELL_NO_MAP") == nullptr;
  if (!mapping) return nullptr;
  static const bool handled = HandleViewFaults();  // once, whichever thread views first
  if (!handled || ViewFault || count == 0 || offset < 0) return nullptr;
  size_t skip = static_cast<size_t>(offset % static_cast<int64_t>(PageSize()));
  void* map = mmap(nullptr, count + skip, PROT_READ, MAP_SHARED, Descriptor(file),
                   offset - static_cast<int64_t>(skip));
  if (map == MAP_FAILED) return nullptr;
  Viewed += static_cast<int64_t>(count);
  return static_cast<const char*>(map) + skip;
}

void OsDropView(const void* view, size_t count) {
  uintptr_t at = reinterpret_cast<uintptr_t>(view);
  size_t skip = at % PageSize();
  munmap(reinterpret_cast<void*>(at - skip), count + skip);
}

bool OsViewFailed() { return ViewFault != 0; }

int64_t OsViewedBytes() { return Viewed; }

bool OsWriteAt(OsFile file, const void* bytes, size_t count, int64_t offset) {
  return MoveAllAt(static_cast<const char*>(bytes), count, offset,
                   [file](const char* p, size_t n, int64_t at) -> size_t {
                     ssize_t put;
                     do put = pwrite(Descriptor(file), p, n, at);
                     while (put < 0 && errno == EINTR && !CliInterrupted);
                     if (put < 0 && errno == ESPIPE) {  // a stream: no offsets
                       do put = write(Descriptor(file), p, n);
                       while (put < 0 && errno == EINTR && !CliInterrupted);
                     }
                     if (put == 0) errno = EIO;
                     return put > 0 ? static_cast<size_t>(put) : 0;
                   });
}

OsFile OsFileOfStream(FILE* stream) { return fileno(stream); }

int64_t OsReadNext(OsFile file, void* bytes, size_t count) {
  ssize_t got;
  do got = read(Descriptor(file), bytes, count);
  while (got < 0 && errno == EINTR && !CliInterrupted);
  return got;
}

bool OsWriteNext(OsFile file, const void* bytes, size_t count) {
  return MoveAllAt(static_cast<const char*>(bytes), count, 0,
                   [file](const char* p, size_t n, int64_t) -> size_t {
                     ssize_t put;
                     do put = write(Descriptor(file), p, n);
                     while (put < 0 && errno == EINTR && !CliInterrupted);
                     if (put == 0) errno = EIO;
                     return put > 0 ? static_cast<size_t>(put) : 0;
                   });
}

bool OsSetLength(OsFile file, int64_t length) { return ftruncate(Descriptor(file), length) == 0; }
bool OsClose(OsFile file) { return close(Descriptor(file)) == 0; }

bool OsFileTimes(OsFile file, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite) {
  struct statx info;
  if (statx(Descriptor(file), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
    return false;
  const struct statx_timestamp& birth =
      (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_mtime;
  *creation = FileTimeOfUnixTime(birth.tv_sec, birth.tv_nsec);
  *lastAccess = FileTimeOfUnixTime(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
  *lastWrite = FileTimeOfUnixTime(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
  return true;
}

static struct timespec TimespecOf(uint64_t fileTime) {
  UnixTime unix = UnixTimeOfFileTime(fileTime);
  struct timespec time;
  time.tv_sec = static_cast<time_t>(unix.Seconds);
  time.tv_nsec = static_cast<long>(unix.Nanoseconds);
  return time;
}

bool OsSetFileTimes(OsFile file, uint64_t, uint64_t lastAccess, uint64_t lastWrite) {
  struct timespec times[2] = {TimespecOf(lastAccess), TimespecOf(lastWrite)};
  return futimens(Descriptor(file), times) == 0;
}

bool OsDelete(const std::string& path) { return unlink(path.c_str()) == 0; }

int64_t OsProcessId() { return getpid(); }
bool OsProcessGone(int64_t id) {
  return id > 0 && id <= INT32_MAX && kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
}

// ---- new files and their names ----
// Files are written without a name (O_TMPFILE) or under a temporary one, and put in place under
// the final name at the end, without replacing what is there unless asked.

// 0666 less the umask: the mode of the files the tool creates.
static mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Eight letters for a fresh name: random where the system gives it, else from the process and
// the clock (a name that is taken is tried again).
static std::string RandomSuffix() {
  static unsigned counter = 0;
  uint64_t bits = (static_cast<uint64_t>(getpid()) << 32) ^
                  (static_cast<uint64_t>(OsMilliseconds()) << 8) ^ counter++;
  getrandom(&bits, sizeof bits, GRND_NONBLOCK);  // leaves bits as they are where it cannot
  return FreshNameLetters(bits);
}

// A hard link to an open file, found through /proc: the way to name a nameless file.
static bool LinkDescriptor(int fd, const std::string& name) {
  if (OsFaulted(OsCallLink)) return false;
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

static bool LinkUnderFreshName(int fd, const std::string& folder, const char* prefix,
                               std::string* name) {
  for (int attempt = 0; attempt < 16; attempt++) {
    *name = JoinPath(folder, prefix + std::to_string(getpid()) + "-" + RandomSuffix());
    if (LinkDescriptor(fd, *name)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

static const char* FolderArgument(const std::string& folder) {
  return folder.empty() ? "." : folder.c_str();
}

// Some file systems make nameless files but refuse to link them: a nameless file there could
// never be put in place. One empty nameless file, linked and unlinked at once, tells.
static bool NamelessFilesLink(const std::string& folder) {
  int probe = open(FolderArgument(folder), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (probe < 0) return false;
  std::string name;
  bool linked = LinkUnderFreshName(probe, folder, ".tarnovell-probe-", &name);
  if (linked) unlink(name.c_str());
  close(probe);
  return linked;
}

OsFile OsCreateTemp(const std::string& folder, const std::string& prefix, bool nameless,
                    std::string* tempPath) {
  tempPath->clear();
  if (nameless && !OsFaulted(OsCallNamelessCreate) && NamelessFilesLink(folder)) {
    // The mode is the umask's, as for any new file.
    int fd = open(FolderArgument(folder), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
  }
  std::string path = JoinPath(folder, prefix + "XXXXXX");
  int fd = mkostemp(&path[0], O_CLOEXEC);
  if (fd < 0) return NoFile;
  fchmod(fd, NewFileMode());
  *tempPath = path;
  return fd;
}

// Renames from to to; when that fails, removes doomed (what the caller made for the rename),
// keeping the rename's error.
static bool RenameElseRemove(const std::string& from, const std::string& to,
                             const std::string& doomed) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  int error = errno;
  unlink(doomed.c_str());
  errno = error;
  return false;
}

bool OsLinkNameless(OsFile file, const std::string& folder, const std::string& target,
                    bool replace) {
  int fd = static_cast<int>(file);
  if (LinkDescriptor(fd, target)) return true;
  if (errno != EEXIST || !replace) return false;
  // Replacing: a fresh name beside the target, then renamed over it in one step.
  std::string name;
  if (!LinkUnderFreshName(fd, folder, ".tarnovell-link-", &name)) return false;
  if (OsFaulted(OsCallRenameReplace)) {
    int error = errno;
    unlink(name.c_str());
    errno = error;
    return false;
  }
  return RenameElseRemove(name, target, name);
}

// The name is taken by an exclusive create, then renamed over: for file systems with neither
// RENAME_NOREPLACE nor hard links.
static bool RenameOverOwnPlaceholder(const std::string& from, const std::string& to) {
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  return RenameElseRemove(from, to, to);
}

static bool Unsupported(int error) {
  return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool RenameInPlace(const std::string& from, const std::string& to, bool replace) {
  if (replace) return !OsFaulted(OsCallRenameReplace) && rename(from.c_str(), to.c_str()) == 0;
  if (!OsFaulted(OsCallRenameNoReplace) &&
      renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (!Unsupported(errno)) return false;
  if (!OsFaulted(OsCallLink) && link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (!Unsupported(errno) && errno != EPERM) return false;  // EPERM: no hard links here
  return RenameOverOwnPlaceholder(from, to);
}

namespace {
struct ThreadStart {
  void (*Run)(void*);
  void* Context;
};
}  // namespace

static void* RunThread(void* start) {
  ThreadStart* what = static_cast<ThreadStart*>(start);
  what->Run(what->Context);
  delete what;
  return nullptr;
}

bool OsStartThread(void (*run)(void* context), void* context, OsThread* thread) {
  ThreadStart* start = new ThreadStart{run, context};
  pthread_t id;
  int error = pthread_create(&id, nullptr, RunThread, start);
  if (error != 0) {
    delete start;
    errno = error;
    return false;
  }
  *thread = static_cast<OsThread>(id);
  return true;
}

void OsJoinThread(OsThread thread) { pthread_join(static_cast<pthread_t>(thread), nullptr); }
