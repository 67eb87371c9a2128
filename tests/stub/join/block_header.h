// Headers that carry a digest block, as the tool writes them, for the join tests: the digests
// are ISA-L's CRC-32C, not the stub's own.
#pragma once

#include <gtest/gtest.h>
#include <isa-l.h>

#include <string>
#include <vector>

#include "container/container_writer.h"
#include "container/digest_block.h"

namespace jointest {

inline uint32_t LibraryCrc(const std::string& bytes) {
  return ~crc32_iscsi(reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
                      static_cast<int>(bytes.size()), 0xFFFFFFFFu);
}

// texts (whose record 2 holds the payloads' total) with the block for these payloads (pieces 1 to
// N-2 of one size, the last one no longer): one digest for every run of runLength pieces; with
// the stub digest of stub unless it is empty.
inline std::string BlockHeader(const HeaderTexts& texts, const std::vector<std::string>& payloads,
                               int32_t runLength = 1, const std::string& stub = "") {
  std::string header = HeaderBytes(texts);
  DigestBlock plan{};
  plan.HasStubDigest = !stub.empty();
  plan.StubDigest = LibraryCrc(stub);
  int32_t pieces = static_cast<int32_t>(payloads.size());
  plan.Image.PieceCount = static_cast<uint32_t>(pieces);
  plan.Image.RunLength = static_cast<uint32_t>(runLength);
  plan.Image.FirstPayload = payloads[0].size();
  plan.Image.PieceSize = pieces > 1 ? payloads[1].size() : 0;
  for (int32_t first = 0; first < pieces; first += runLength) {
    std::string run;
    for (int32_t n = first; n < pieces && n < first + runLength; n++) run += payloads[n];
    plan.Image.Digests[first / runLength] = LibraryCrc(run);
  }
  EXPECT_TRUE(WriteDigestBlock(reinterpret_cast<uint8_t*>(&header[0]), &plan))
      << "a set the block cannot describe";
  return header;
}

}  // namespace jointest
