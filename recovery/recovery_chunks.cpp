#include "recovery/recovery_chunks.h"

#include <string.h>

#include <atomic>

#include "integrity/crc32c.h"

int32_t ReadPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset,
                   uint8_t* buffer, int32_t length) {
  int32_t count = static_cast<int32_t>(PayloadBytesIn(payload, offset, length));
  if (count > 0 && !file.ReadAt(buffer, static_cast<size_t>(count), PayloadBase(n) + offset))
    return -1;
  memset(buffer + count, 0, static_cast<size_t>(length - count));
  return count;
}

const uint8_t* ViewOrRead(const FileAccess& file, uint8_t* buffer, size_t count, int64_t offset,
                          bool view) {
  const uint8_t* shown = view ? file.View(count, offset) : nullptr;
  if (shown != nullptr) return shown;
  return file.ReadAt(buffer, count, offset) ? buffer : nullptr;
}

int32_t ViewPadded(const FileAccess& file, int32_t n, int64_t payload, int64_t offset,
                   uint8_t* buffer, int32_t length, const uint8_t** view, bool mayView) {
  *view = buffer;
  if (PayloadBytesIn(payload, offset, length) < length)
    return ReadPadded(file, n, payload, offset, buffer, length);
  *view = ViewOrRead(file, buffer, static_cast<size_t>(length), PayloadBase(n) + offset, mayView);
  return *view != nullptr ? length : -1;
}

RecoveryOutcome DigestOfRange(const FileAccess& file, int64_t at, int64_t length,
                              std::vector<uint8_t>* buffer, RecoveryProgress* progress,
                              uint32_t* digest) {
  return DigestOfSlices(file, at, length, 0, buffer, progress, nullptr, digest);
}

// DigestOfSlices, its last view left to the caller to end.
static RecoveryOutcome DigestViewing(const FileAccess& file, int64_t at, int64_t length,
                                     int64_t size, std::vector<uint8_t>* buffer,
                                     RecoveryProgress* progress, std::vector<uint32_t>* slices,
                                     uint32_t* digest) {
  *digest = 0;
  if (size > 0) slices->assign(static_cast<size_t>(SliceCount(length, size)), 0);
  for (int64_t done = 0; done < length;) {
    int64_t left = length - done;
    size_t count =
        left < static_cast<int64_t>(buffer->size()) ? static_cast<size_t>(left) : buffer->size();
    const uint8_t* bytes = ViewOrRead(file, buffer->data(), count, at + done);
    if (bytes == nullptr) return RecoveryReadFailed;
    if (size > 0)
      AddToSlices(slices->data(), size, done, bytes, count);
    else
      *digest = Crc32cAdd(*digest, bytes, count);
    done += static_cast<int64_t>(count);
    if (!GoOn(progress, static_cast<int64_t>(count))) return RecoveryInterrupted;
  }
  if (size > 0) *digest = JoinSlices(slices->data(), size, length);
  return RecoveryDone;
}

RecoveryOutcome DigestOfSlices(const FileAccess& file, int64_t at, int64_t length, int64_t size,
                               std::vector<uint8_t>* buffer, RecoveryProgress* progress,
                               std::vector<uint32_t>* slices, uint32_t* digest) {
  RecoveryOutcome outcome = DigestViewing(file, at, length, size, buffer, progress, slices, digest);
  file.EndView();
  return outcome;
}

void AddToSlices(uint32_t* slices, int64_t size, int64_t offset, const uint8_t* bytes,
                 size_t count) {
  while (count > 0) {
    int64_t slice = offset / size, room = (slice + 1) * size - offset;
    size_t taken = room < static_cast<int64_t>(count) ? static_cast<size_t>(room) : count;
    slices[slice] = Crc32cAdd(slices[slice], bytes, taken);
    bytes += taken, offset += static_cast<int64_t>(taken), count -= taken;
  }
}

uint32_t JoinSlices(const uint32_t* slices, int64_t size, int64_t length) {
  uint32_t digest = 0;
  for (int64_t i = 0, at = 0; at < length; i++, at += size)
    digest = Crc32cJoin(digest, slices[i], length - at < size ? length - at : size);
  return digest;
}

namespace {

// One lane's share of RunLanes, From to To.
struct Lane {
  LaneWork* Work;
  int32_t Index, Chunk;
  int64_t From, To;
  std::atomic<int64_t>* Untold;  // shared: bytes read that progress has not been told of
  std::atomic<bool>* Stop;       // shared: a lane failed, or the work was stopped
  RecoveryProgress* Progress;    // told by the lane on the caller's thread, else null
  RecoveryResult Outcome;
};

}  // namespace

static void RunLane(Lane* lane) {
  for (int64_t offset = lane->From; offset < lane->To && !*lane->Stop; offset += lane->Chunk) {
    int32_t length = static_cast<int32_t>(lane->To - offset < lane->Chunk ? lane->To - offset
                                                                          : lane->Chunk);
    int64_t read = 0;
    lane->Outcome = lane->Work->ChunkAt(lane->Index, offset, length, &read);
    *lane->Untold += read;
    if (lane->Outcome.Outcome == RecoveryDone && lane->Progress != nullptr &&
        !GoOn(lane->Progress, lane->Untold->exchange(0)))
      lane->Outcome = Result(RecoveryInterrupted);
    if (lane->Outcome.Outcome != RecoveryDone) *lane->Stop = true;
  }
  lane->Work->LaneDone(lane->Index);
}

static void RunLaneBeside(void* lane) { RunLane(static_cast<Lane*>(lane)); }

int64_t SecondLaneFrom(int64_t length, int32_t chunk, const WorkBeside* beside) {
  int64_t half = (length / 2 + chunk - 1) / chunk * chunk;
  return beside != nullptr && half < length ? half : length;
}

RecoveryResult RunLanes(LaneWork* work, int64_t length, int64_t second, int32_t chunk,
                        WorkBeside* beside, RecoveryProgress* progress) {
  std::atomic<int64_t> untold{0};
  std::atomic<bool> stop{false};
  Lane lanes[MaxLanes] = {
      {work, 0, chunk, 0, second, &untold, &stop, progress, Result(RecoveryDone)},
      {work, 1, chunk, second, length, &untold, &stop, nullptr, Result(RecoveryDone)}};
  bool started = second < length && beside->Start(RunLaneBeside, &lanes[1]);
  RunLane(&lanes[0]);
  if (started) {
    beside->Wait();
  } else if (second < length) {  // no thread to be had: the second share after the first
    lanes[1].Progress = progress;
    RunLane(&lanes[1]);
  }
  RecoveryResult result = Result(RecoveryDone);
  for (const Lane& lane : lanes)
    if (lane.Outcome.Outcome != RecoveryDone && result.Outcome != RecoveryInterrupted)
      result = lane.Outcome;
  if (result.Outcome == RecoveryDone && !GoOn(progress, untold.exchange(0)))
    result = Result(RecoveryInterrupted);
  return result;
}

void JoinSliceLanes(uint32_t* slices, const uint32_t* second, int64_t size, int64_t length,
                    int64_t from) {
  for (int64_t s = from / size; s * size < length; s++) {
    int64_t start = s * size > from ? s * size : from;
    slices[s] = Crc32cJoin(slices[s], second[s], PayloadBytesIn(length, start, (s + 1) * size - start));
  }
}
