// random_filler_test PLAIN PLANTED: PLAIN headers whose filler (every byte after each record's
// text) is random, as other splitters may leave it, and PLANTED more whose random filler also
// carries the fields of a plausible block (magic, version, one piece of the header's size) where
// a block begins, so that only the self-check stands between them and a block; none may be
// taken for a block. Exit code 1 when one is.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "container/container_writer.h"
#include "container/digest_block.h"

namespace {

uint64_t State = 0x9E3779B97F4A7C15ull;

uint64_t Next() {  // xorshift64*
  State ^= State >> 12;
  State ^= State << 25;
  State ^= State >> 27;
  return State * 0x2545F4914F6CDD1Dull;
}

// Random bytes over the filler of every record of header: all of it random, then the length
// bytes and texts of the template put back.
void RandomFiller(std::string& header, const std::string& texts) {
  for (size_t at = 0; at < header.size(); at += 8) {
    uint64_t bits = Next();
    std::memcpy(&header[at], &bits, 8);
  }
  for (size_t record = 0; record < header.size(); record += 256)
    std::memcpy(&header[record], &texts[record], 1 + static_cast<uint8_t>(texts[record]));
}

// Block offsets 0 to 35 lie at header bytes 280 to 315 (record 2 from its byte 24 on).
void PlantFields(std::string& header, uint64_t total) {
  const uint32_t version = 1, pieces = 1, run = 1;
  std::memcpy(&header[280], "\x89TNVDIG\x1A", 8);
  std::memcpy(&header[288], &version, 4);
  std::memcpy(&header[292], &pieces, 4);
  std::memcpy(&header[296], &total, 8);
  std::memcpy(&header[312], &run, 4);
}

}  // namespace

int main(int argc, char** argv) {
  long plain = argc > 1 ? std::atol(argv[1]) : 1000000;
  long planted = argc > 2 ? std::atol(argv[2]) : 100000;
  const uint64_t time = 30000000ull << 32 | 123456789u;  // the halves 123456789 and 30000000
  const std::string texts = HeaderBytes(MakeHeaderTexts("movie.avi", 734003200, time, time, time));
  std::string header = texts;
  long taken = 0;
  for (long i = 0; i < plain + planted; i++) {
    RandomFiller(header, texts);
    if (i >= plain) PlantFields(header, 734003200);
    DigestBlock block;
    if (ReadDigestBlock(reinterpret_cast<const uint8_t*>(header.data()), &block)) {
      std::fprintf(stderr, "header %ld was taken for a block of %u pieces\n", i,
                   block.Image.PieceCount);
      taken++;
    }
  }
  std::printf(
      "%ld random fillers and %ld behind the planted fields of a block: %ld taken for a block\n",
      plain, planted, taken);
  return taken == 0 ? 0 : 1;
}
