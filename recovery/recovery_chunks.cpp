#include "recovery/recovery_chunks.h"

#include <string.h>

#include "integrity/crc32c.h"

int32_t ReadPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset,
                   uint8_t* buffer, int32_t length) {
  int64_t left = payload - offset;
  int32_t count = left <= 0 ? 0 : left < length ? static_cast<int32_t>(left) : length;
  if (count > 0 && !file.ReadAt(buffer, static_cast<size_t>(count), PayloadBase(n) + offset))
    return -1;
  memset(buffer + count, 0, static_cast<size_t>(length - count));
  return count;
}

RecoveryOutcome DigestOfRange(const FileAccess& file, int64_t at, int64_t length,
                              std::vector<uint8_t>* buffer, RecoveryProgress* progress,
                              uint32_t* digest) {
  *digest = 0;
  for (int64_t done = 0; done < length;) {
    int64_t left = length - done;
    size_t count =
        left < static_cast<int64_t>(buffer->size()) ? static_cast<size_t>(left) : buffer->size();
    if (!file.ReadAt(buffer->data(), count, at + done)) return RecoveryReadFailed;
    *digest = Crc32cAdd(*digest, buffer->data(), count);
    done += static_cast<int64_t>(count);
    if (!GoOn(progress, static_cast<int64_t>(count))) return RecoveryInterrupted;
  }
  return RecoveryDone;
}
