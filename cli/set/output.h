// A file being written for a target path: it has no name (where the file system allows) or a
// hidden temporary one beside the target until Commit puts it in place, and it is deleted when
// dropped uncommitted, whatever way a command leaves. A temporary name carries the id of the
// process that made it: the next output made in that folder removes what a killed process left.
#pragma once

#include <stdint.h>

#include <string>

#include "cli/os/os.h"

class PendingOutput {
 public:
  PendingOutput() = default;
  PendingOutput(PendingOutput&& other) noexcept;
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;
  ~PendingOutput() { Discard(); }

  // Creates the file in target's folder; prefix names a temporary file (".tarnovell-join-", the
  // process id follows).
  // False with OsLastError.
  bool Create(const std::string& target, const std::string& prefix, bool nameless);
  OsFile File() const { return file_; }
  const std::string& Target() const { return target_; }
  // Where the file is until Commit: "" for a nameless one.
  const std::string& TempPath() const { return tempPath_; }
  // Closes a file that has a name (the last word of the system on its writes); a nameless one
  // stays open until Commit. False with OsLastError.
  bool Finish();
  // Puts the file under its target name, an existing file replaced only when replace; false with
  // OsLastError (OsErrorIsExists: the name is taken).
  bool Commit(bool replace);
  // Closes and deletes the file unless it was committed.
  void Discard();

 private:
  std::string target_;
  std::string tempPath_;  // empty for a nameless file
  OsFile file_ = NoFile;
  bool committed_ = false;
};

// Before a command writes needed bytes (what: the output or the set) into folder ("" the current
// one): ExitComplete when the folder's file system has room for them, or when the system cannot
// tell; else ExitFileError after telling CliErr how much is needed and free, nothing written, or
// that the folder takes no new file at all (read-only, or not ours to write into).
// No option overrides it: a write would run out of space all the same (though a file system
// that compresses or shares blocks may fit more than it says is free).
int CheckRoom(const std::string& folder, uint64_t needed, const std::string& what);

// A command starts: the folders where it makes outputs are swept again of what killed commands
// left (once each in a command; paths may be relative).
void ForgetSweptFolders();
