// FileAccess over a POSIX file descriptor: pread and pwrite, restarted after short transfers
// and interruptions.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recovery/recovery.h"

static int Descriptor(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

static bool DescriptorRead(void* handle, void* bytes, size_t count, int64_t offset) {
  for (char* at = static_cast<char*>(bytes); count > 0;) {
    ssize_t done = pread(Descriptor(handle), at, count, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;  // an error, or the end of the file
    at += done, count -= static_cast<size_t>(done), offset += done;
  }
  return true;
}

static bool DescriptorWrite(void* handle, const void* bytes, size_t count, int64_t offset) {
  for (const char* at = static_cast<const char*>(bytes); count > 0;) {
    ssize_t done = pwrite(Descriptor(handle), at, count, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    at += done, count -= static_cast<size_t>(done), offset += done;
  }
  return true;
}

static int64_t DescriptorSize(void* handle) {
  struct stat info;
  return fstat(Descriptor(handle), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

FileAccess FileAccessOfDescriptor(int descriptor) {
  return {reinterpret_cast<void*>(static_cast<intptr_t>(descriptor)), DescriptorRead, DescriptorWrite, DescriptorSize};
}
