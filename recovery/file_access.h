// The files and the progress of the recovery module, as its caller gives them: the interface
// that the command-line tool (over its own door to the system), the joiner page and the tests
// implement; the module reads and writes files only through it (recovery.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

// An open file as the caller gives it. Reads and writes take all of count bytes at offset, or
// fail; a read past the end fails. Size is the file's length, -1 when it cannot be told. Only
// outputs and targets are written; a target of a repair is read too (what was written is read
// back to be verified). The calls change the file, never the object: the functions of recovery.h
// take const ones.
class FileAccess {
 public:
  virtual bool ReadAt(void* bytes, size_t count, int64_t offset) const = 0;
  virtual bool WriteAt(const void* bytes, size_t count, int64_t offset) const = 0;
  virtual int64_t Size() const = 0;
  // The count bytes at offset in place, where the caller can show them without a copy (a file
  // mapped into memory): valid until the next View or EndView of this object. Null where it
  // cannot: they are read with ReadAt instead (which then fails where the view found the file
  // cut short). EndView: the last view is no longer needed (what it holds is given back).
  virtual const uint8_t* View(size_t count, int64_t offset) const {
    (void)count;
    (void)offset;
    return nullptr;
  }
  virtual void EndView() const {}

 protected:
  ~FileAccess() = default;
};

// Told the number of set bytes (payloads, and parity in checks) handled since the last call, after
// every chunk; false stops the work at once (the outcome is then RecoveryInterrupted). A null
// progress: nothing is told and nothing stops.
class RecoveryProgress {
 public:
  virtual bool Step(int64_t bytes) = 0;

 protected:
  ~RecoveryProgress() = default;
};

// A thread the caller lends the module for a share of its work: Start runs run(context) beside
// the calling thread and returns true, or returns false when it cannot (nothing is run then);
// Wait returns once that run has ended. Given none, the module works on the caller's thread.
class WorkBeside {
 public:
  virtual bool Start(void (*run)(void* context), void* context) = 0;
  virtual void Wait() = 0;

 protected:
  ~WorkBeside() = default;
};

// Where a repair's rebuilt files go, asked for while the set is surveyed: TargetOf(n) gives file
// n's target (empty, readable and writable), or null when there is none. The caller gives the same
// targets to RepairSet.
class RebuildTargets {
 public:
  virtual const FileAccess* TargetOf(int32_t n) = 0;

 protected:
  ~RebuildTargets() = default;
};
