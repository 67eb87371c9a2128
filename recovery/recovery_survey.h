// What the survey shares with its side-by-side pass (recovery_survey_decode.cpp): how a file and
// a row's parity are judged from the digests read.
#pragma once

#include <stdint.h>

#include <vector>

#include "recovery/recovery.h"

// A file of the set as the survey finds it.
struct FileCheck {
  FileState State = FileMissing;
  uint32_t Digest = 0;           // the payload's CRC-32C where it was read
  std::vector<uint32_t> Slices;  // with slices, each one's CRC-32C where the payload was read
  bool Interrupted = false;
};

// The container's stub and header against the recovery header (*readable: they could be read).
bool PrefixMatches(const RecoveryHeader& header, const FileAccess& file, uint32_t stubDigest,
                   bool* readable);

// File n is as long as the header says (its payload after the container's prefix, for n 0).
bool HasItsSize(const RecoveryHeader& header, int32_t n, const FileAccess& file);

// File n, read whole at its size: good, damaged (digest: its payload's) or only its prefix bad.
FileState StateOfRead(const RecoveryHeader& header, int32_t n, uint32_t digest, bool prefixGood);

// Which of a stream's slices are good, from their digests as read (read: the stream was) and as
// the header gives them (expected), and the whole stream's (whole: they agree). A header whose
// slices all agree while the whole differs is not believed for the stream: none is good.
void JudgeSlices(bool read, const std::vector<uint32_t>& digests, const uint32_t* expected,
                 bool whole, uint8_t* good);

// Row own.Row's verdicts on group g (its whole parity and each stripe) from what reading that
// parity gave: read, its digest, and with slices each slice's (spoiled).
void JudgeRowGroup(const RecoveryHeader& own, int32_t g, bool read, uint32_t digest,
                   std::vector<uint32_t>* slices, SetSurvey* survey);

// The groups of a repair's set with files lost before a byte is read (missing, or of the wrong
// size), surveyed side by side with those files rebuilt on the way into early's targets; see
// recovery_survey_decode.cpp. Per group, handled[g] tells it was (checks[n] for its files, its
// rows' verdicts in survey, survivors[g] what its rebuild took); one not handled is left to the
// plain survey. offsets: ParityOffsets of the survey's header. beside (or null): a thread that
// reads and decodes half of each group's length. RecoveryDone, or
// RecoveryInterrupted.
RecoveryResult SurveyGroupsDecoding(const std::vector<const FileAccess*>& setFiles,
                                    const std::vector<const FileAccess*>& recoveryFiles,
                                    const std::vector<RecoveryHeader>& headers,
                                    const std::vector<int64_t>& offsets, RebuildTargets* early,
                                    WorkBeside* beside, RecoveryProgress* progress,
                                    SetSurvey* survey, std::vector<FileCheck>* checks,
                                    std::vector<uint8_t>* handled,
                                    std::vector<std::vector<int32_t>>* survivors);

// After every file's lost slices are marked: the stripes of the handled groups whose survivors
// all proved good, in survey->StripeRebuilt.
void MarkRebuiltStripes(const std::vector<uint8_t>& handled,
                        const std::vector<std::vector<int32_t>>& survivors, SetSurvey* survey);
