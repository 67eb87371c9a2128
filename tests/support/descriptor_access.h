// The recovery module's FileAccess over a POSIX file descriptor, for the tests and fuzzers that
// give it files on disk: pread and pwrite, restarted after short transfers and interruptions.
// The descriptor stays the caller's.
#pragma once

#include <errno.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recovery/recovery.h"

class DescriptorAccess : public FileAccess {
 public:
  explicit DescriptorAccess(int descriptor) : descriptor_(descriptor) {}
  virtual ~DescriptorAccess() = default;

  int Descriptor() const { return descriptor_; }

  bool ReadAt(void* bytes, size_t count, int64_t offset) const override {
    for (char* at = static_cast<char*>(bytes); count > 0;) {
      ssize_t done = pread(descriptor_, at, count, static_cast<off_t>(offset));
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;  // an error, or the end of the file
      at += done, count -= static_cast<size_t>(done), offset += done;
    }
    return true;
  }

  bool WriteAt(const void* bytes, size_t count, int64_t offset) const override {
    for (const char* at = static_cast<const char*>(bytes); count > 0;) {
      ssize_t done = pwrite(descriptor_, at, count, static_cast<off_t>(offset));
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;
      at += done, count -= static_cast<size_t>(done), offset += done;
    }
    return true;
  }

  int64_t Size() const override {
    struct stat info;
    return fstat(descriptor_, &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
  }

 private:
  int descriptor_;
};
