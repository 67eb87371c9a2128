// join and info: reading a container's head, walking its pieces by the joiner's own rules.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"

std::string ContainerBasePath(const std::string& containerPath) {
  // The joiner upper-cases its own path and cuts at the last ".EXE"; only ASCII letters can
  // form ".EXE", so an ASCII upper-casing finds the same place.
  std::string upper = containerPath;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  size_t at = upper.rfind(".EXE");
  return at == std::string::npos ? "" : containerPath.substr(0, at);
}

static bool ReadAllAt(int fd, void* bytes, size_t count, int64_t offset) {
  char* p = static_cast<char*>(bytes);
  while (count > 0) {
    ssize_t n = pread(fd, p, count, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

int ReadContainerHead(int fd, ContainerHead* head, std::string* error) {
  struct stat info;
  if (fstat(fd, &info) != 0) {
    *error = strerror(errno);
    return ExitFileError;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = "not a container: not a regular file";
    return ExitBadContainer;
  }
  head->ContainerSize = info.st_size;
  if (info.st_size == StubSize) {
    *error = "not a container: this is the bare joiner program (28672 bytes), it holds no set";
    return ExitBadContainer;
  }
  if (info.st_size < PayloadOffset) {
    *error = "not a container: " + std::to_string(info.st_size) +
             " bytes, shorter than the stub and the header (30720 bytes)";
    return ExitBadContainer;
  }
  HeaderRecord records[HeaderRecordCount];
  static_assert(sizeof records == PayloadOffset - HeaderOffset, "the header is 2048 bytes");
  if (!ReadAllAt(fd, records, sizeof records, HeaderOffset)) {
    *error = std::string("cannot read the header: ") + strerror(errno);
    return ExitFileError;
  }
  // Record 1 goes to the platform's file calls as a zero-terminated text.
  std::string name(records[RecordFileName].Text, records[RecordFileName].Length);
  head->NameBytes = name.substr(0, name.find('\0'));
  int64_t values[HeaderRecordCount] = {};
  for (int i = RecordTotalSize; i < HeaderRecordCount; i++) {
    char text[HeaderRecordSize];
    HeaderRecordText(records[i], text);
    if (!TryParseHeaderInteger(text, &values[i])) {
      *error = "not a valid container: '" + Printable(Cp1251ToUtf8(text)) +
               "' is not a valid integer value (header record " + std::to_string(i + 1) + ")";
      return ExitBadContainer;
    }
  }
  auto time = [&](int low) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(values[low + 1])) << 32) |
           static_cast<uint32_t>(values[low]);
  };
  head->TotalSize = values[RecordTotalSize];
  head->CreationTime = time(RecordCreationLow);
  head->LastAccessTime = time(RecordLastAccessLow);
  head->LastWriteTime = time(RecordLastWriteLow);
  return ExitComplete;
}

// Where the pieces of a container are looked for: the folder and the base file name.
struct PieceLocation {
  std::string Folder;
  std::string BaseName;
};

static PieceLocation LocatePieces(const std::string& containerPath, const std::string& piecesDir) {
  std::string base = ContainerBasePath(containerPath);
  // A base ending in "/" (a container named ".exe") has an empty base file name.
  std::string baseName = (!base.empty() && base.back() == '/') ? "" : LastComponent(base);
  std::string folder = (!base.empty() && base.back() == '/') ? base : FolderOf(base);
  if (!piecesDir.empty()) folder = piecesDir;
  return {folder, baseName};
}

static std::string PieceName(const PieceLocation& where, int32_t n) {
  char suffix[PieceSuffixSize];
  PieceSuffix(n, suffix);
  return where.BaseName + suffix;
}

static int OpenContainer(const std::string& path, ContainerHead* head) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    fprintf(CliErr, "tarnovell: cannot open %s: %s\n", Printable(path).c_str(), strerror(errno));
    return -ExitFileError;
  }
  std::string why;
  int code = ReadContainerHead(fd, head, &why);
  if (code != ExitComplete) {
    fprintf(CliErr, "tarnovell: %s: %s\n", Printable(path).c_str(), why.c_str());
    close(fd);
    return -code;
  }
  return fd;
}

static std::string MissingHint(const PieceLocation& where, const std::string& containerPath) {
  if (ContainerBasePath(containerPath).empty()) {
    return "; the container's name has no .exe ending, so its pieces are named from an empty base"
           " (rename it to NAME.exe, or give --pieces-dir)";
  }
  (void)where;
  return "; give --pieces-dir DIR to look in another folder";
}

unsigned NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Renames without replacing (unless replace): RENAME_NOREPLACE, or link and unlink where the
// file system lacks it. EEXIST when the name is taken.
bool RenameInPlace(const std::string& from, const std::string& to, bool replace) {
  if (replace) return rename(from.c_str(), to.c_str()) == 0;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

int RunJoinCommand(const JoinOptions& options) {
  ForgetFolderListings();
  ContainerHead head;
  int in = OpenContainer(options.ContainerPath, &head);
  if (in < 0) return -in;
  PieceLocation where = LocatePieces(options.ContainerPath, options.PiecesDir);

  // The proposed name is untrusted: a plain file name, in the current folder or the one given.
  std::string fallback = where.BaseName.empty() ? "joined" : where.BaseName;
  std::string name = SafeOutputName(head.NameBytes, fallback);
  std::string output = name;
  struct stat info;
  if (!options.OutputPath.empty()) {
    output = options.OutputPath;
    if (stat(output.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) output = JoinPath(options.OutputPath, name);
  }
  struct stat container;
  fstat(in, &container);
  std::vector<std::pair<dev_t, ino_t>> sources{{container.st_dev, container.st_ino}};
  if (lstat(output.c_str(), &info) == 0) {
    const char* why = S_ISDIR(info.st_mode) ? "is a folder"
                      : !options.Force      ? "exists (give --force to replace it)"
                      : (info.st_dev == container.st_dev && info.st_ino == container.st_ino)
                          ? "is the container itself"
                          : nullptr;
    if (why != nullptr) {
      fprintf(CliErr, "tarnovell: %s %s\n", Printable(output).c_str(), why);
      close(in);
      return ExitRefused;
    }
  }

  std::string temp = JoinPath(FolderOf(output), ".tarnovell-join-XXXXXX");
  int out = mkostemp(&temp[0], O_CLOEXEC);
  if (out < 0) {
    fprintf(CliErr, "tarnovell: cannot create a file beside %s: %s\n", Printable(output).c_str(), strerror(errno));
    close(in);
    return ExitFileError;
  }
  fchmod(out, NewFileMode());

  // The joiner's accounting: the container's payload is its size less 30720, every further
  // piece counts whole; the loop runs while the sum is below the total (64-bit, wrapping).
  uint64_t joined = 0;
  int64_t outPos = 0;
  int32_t index = 0;
  std::string failure, missing;
  bool interrupted = false;
  ProgressBegin(!options.Quiet, head.TotalSize);
  while (static_cast<int64_t>(joined) < head.TotalSize) {
    int source = in;
    int64_t sourceOffset = PayloadOffset;
    int64_t size = head.ContainerSize;
    std::string path = options.ContainerPath;
    if (index > 0) {
      std::string pieceName = PieceName(where, index);
      path = FindFileIgnoringCase(where.Folder, pieceName);
      if (path.empty()) {
        missing = JoinPath(where.Folder, pieceName);
        break;
      }
      source = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat piece;
      if (source < 0 || fstat(source, &piece) != 0) {
        failure = "cannot open " + Printable(path) + ": " + strerror(errno);
      } else if (!S_ISREG(piece.st_mode)) {
        failure = Printable(path) + " is not a regular file";
      }
      if (!failure.empty()) {
        if (source >= 0) close(source);
        break;
      }
      sources.emplace_back(piece.st_dev, piece.st_ino);
      sourceOffset = 0;
      size = piece.st_size;
    }
    ProgressLabel(LastComponent(path));
    int64_t payload = size - sourceOffset;
    int64_t got = CopyFileBytes(source, sourceOffset, out, outPos, payload, outPos);
    int copyErrno = errno;
    if (source != in) close(source);
    if (got < 0 && CliInterrupted) {
      interrupted = true;
      break;
    }
    if (got < 0) {
      failure = "copying " + Printable(path) + ": " + strerror(copyErrno);
      break;
    }
    outPos += got;
    if (got < payload) {
      failure = Printable(path) + " became shorter while it was read";
      break;
    }
    joined += static_cast<uint64_t>(payload);
    if (index == INT32_MAX) {
      failure = "the set would need more than 2147483647 pieces";
      break;
    }
    index++;
  }
  ProgressEnd();
  close(in);

  auto abandon = [&](int code) {
    close(out);
    unlink(temp.c_str());
    return code;
  };
  if (interrupted) {
    fprintf(CliErr, "tarnovell: interrupted; nothing was written\n");
    return abandon(ExitInterrupted);
  }
  if (!missing.empty()) {
    fprintf(CliErr, "tarnovell: piece %d is missing: %s not found%s; nothing was written\n", index,
            Printable(missing).c_str(), MissingHint(where, options.ContainerPath).c_str());
    return abandon(ExitMissingPiece);
  }
  if (!failure.empty()) {
    fprintf(CliErr, "tarnovell: file system error: %s; nothing was written\n", failure.c_str());
    return abandon(ExitFileError);
  }
  // Holes at the end of the data are made by the length.
  if (ftruncate(out, outPos) != 0) {
    fprintf(CliErr, "tarnovell: file system error: %s: %s; nothing was written\n", Printable(temp).c_str(), strerror(errno));
    return abandon(ExitFileError);
  }
  // Linux cannot set a creation time; access and write times are applied.
  struct timespec times[2] = {UnixFromFileTime(head.LastAccessTime), UnixFromFileTime(head.LastWriteTime)};
  if (futimens(out, times) != 0) {
    fprintf(CliErr, "tarnovell: warning: cannot apply the file times: %s\n", strerror(errno));
  }
  if (close(out) != 0) {
    fprintf(CliErr, "tarnovell: file system error: %s: %s; nothing was written\n", Printable(temp).c_str(), strerror(errno));
    unlink(temp.c_str());
    return ExitFileError;
  }
  // A piece may not be replaced by the output (--force with a piece's name).
  if (lstat(output.c_str(), &info) == 0) {
    for (const auto& source : sources) {
      if (source.first == info.st_dev && source.second == info.st_ino) {
        fprintf(CliErr, "tarnovell: %s is a piece of the set; nothing was written\n", Printable(output).c_str());
        unlink(temp.c_str());
        return ExitRefused;
      }
    }
  }
  if (!RenameInPlace(temp, output, options.Force)) {
    int code = errno == EEXIST ? ExitRefused : ExitFileError;
    fprintf(CliErr, "tarnovell: cannot write %s: %s; nothing was written\n", Printable(output).c_str(),
            errno == EEXIST ? "it exists (give --force to replace it)" : strerror(errno));
    unlink(temp.c_str());
    return code;
  }
  if (static_cast<int64_t>(joined) == head.TotalSize) {
    if (!options.Quiet) {
      fprintf(CliOut, "%s: complete, %lld bytes from %d file%s\n", Printable(output).c_str(),
              static_cast<long long>(outPos), index, index == 1 ? "" : "s");
    }
    return ExitComplete;
  }
  fprintf(CliErr,
          "tarnovell: %s is possibly damaged: the pieces hold %lld bytes of data, the header gives %lld\n",
          Printable(output).c_str(), static_cast<long long>(joined), static_cast<long long>(head.TotalSize));
  return ExitMismatch;
}

int RunInfo(const std::string& containerPath, const std::string& piecesDir) {
  ForgetFolderListings();
  ContainerHead head;
  int in = OpenContainer(containerPath, &head);
  if (in < 0) return -in;
  close(in);
  PieceLocation where = LocatePieces(containerPath, piecesDir);
  std::string fallback = where.BaseName.empty() ? "joined" : where.BaseName;
  std::string name = Cp1251ToUtf8(head.NameBytes);
  std::string safe = SafeOutputName(head.NameBytes, fallback);
  FILE* o = CliOut;
  fprintf(o, "Container: %s\n", Printable(containerPath).c_str());
  fprintf(o, "Name:      \"%s\"\n", Printable(name).c_str());
  if (safe != name) fprintf(o, "           joined as \"%s\" (the name is reduced to a plain file name)\n", Printable(safe).c_str());
  fprintf(o, "Size:      %lld bytes (%s)\n", static_cast<long long>(head.TotalSize), FormatSize(head.TotalSize).c_str());
  fprintf(o, "Created:   %s\n", FormatFileTime(head.CreationTime).c_str());
  fprintf(o, "Accessed:  %s\n", FormatFileTime(head.LastAccessTime).c_str());
  fprintf(o, "Modified:  %s\n", FormatFileTime(head.LastWriteTime).c_str());
  fprintf(o, "Pieces:    %s followed by .c001, .c002, ... in %s\n", Printable(where.BaseName).c_str(),
          where.Folder.empty() ? "the current folder" : Printable(where.Folder).c_str());

  uint64_t joined = 0;
  int32_t index = 0;
  std::string missing;
  while (static_cast<int64_t>(joined) < head.TotalSize) {
    if (index == 0) {
      int64_t payload = head.ContainerSize - PayloadOffset;
      fprintf(o, "  %8d  %-28s %14lld bytes, data %lld bytes\n", 0, Printable(LastComponent(containerPath)).c_str(),
              static_cast<long long>(head.ContainerSize), static_cast<long long>(payload));
      joined += static_cast<uint64_t>(payload);
    } else {
      std::string pieceName = PieceName(where, index);
      std::string path = FindFileIgnoringCase(where.Folder, pieceName);
      struct stat info;
      if (path.empty() || stat(path.c_str(), &info) != 0) {
        missing = JoinPath(where.Folder, pieceName);
        fprintf(o, "  %8d  %-28s        missing (looked for %s)\n", index, Printable(pieceName).c_str(),
                Printable(missing).c_str());
        break;
      }
      fprintf(o, "  %8d  %-28s %14lld bytes\n", index, Printable(LastComponent(path)).c_str(),
              static_cast<long long>(info.st_size));
      joined += static_cast<uint64_t>(info.st_size);
    }
    if (index == INT32_MAX) break;
    index++;
  }
  if (missing.empty() && index > 0 && index < INT32_MAX) {
    std::string next = FindFileIgnoringCase(where.Folder, PieceName(where, index));
    if (!next.empty()) fprintf(o, "  %8d  %-28s not needed: the data is complete before it\n", index, Printable(LastComponent(next)).c_str());
  }
  int64_t found = static_cast<int64_t>(joined);
  if (!missing.empty()) {
    fprintf(o, "Result:    missing pieces: %lld of %lld bytes found, %lld still needed from piece %d on\n",
            static_cast<long long>(found), static_cast<long long>(head.TotalSize),
            static_cast<long long>(head.TotalSize - found), index);
    return ExitMissingPiece;
  }
  if (found == head.TotalSize) {
    fprintf(o, "Result:    complete: the data of %d file%s adds up to %lld bytes\n", index, index == 1 ? "" : "s",
            static_cast<long long>(head.TotalSize));
    return ExitComplete;
  }
  fprintf(o, "Result:    possibly damaged: the files hold %lld bytes of data, the header gives %lld\n",
          static_cast<long long>(found), static_cast<long long>(head.TotalSize));
  return ExitMismatch;
}
