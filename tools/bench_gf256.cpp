// bench_gf256 [MEBIBYTES [ROUNDS [K [ROWS]]]]: the encode of the recovery files, our own code
// (recovery/gf256.h: the way it picks here, the SSSE3 way, the stub's way of one output at a time
// with its own pick, SSSE3 or the table, and the table way) against ISA-L's
// ec_encode_data on the same bytes: MEBIBYTES (default 256) of data in K (default 10) files, coded
// into ROWS (default 2) parity rows a stripe of 1 MiB per file at a time, as split --recovery codes
// a group. Rounds alternate the contenders; each round prints "NAME SECONDS" lines for
// bench_summary.py. Any parity that differs from ISA-L's ends the run with status 1.
#include <isa-l.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "recovery/gf256.h"

enum : size_t { Stripe = 1 << 20 };

struct Job {
  int K, Rows;
  size_t FileBytes;
  std::vector<std::vector<uint8_t>> Files, Parity;
  std::vector<uint8_t> Tables;
};

using Way = void (*)(Job* job, size_t offset, size_t length);

static void Isal(Job* job, size_t offset, size_t length) {
  uint8_t *in[256], *out[256];
  for (int j = 0; j < job->K; j++) in[j] = job->Files[j].data() + offset;
  for (int r = 0; r < job->Rows; r++) out[r] = job->Parity[r].data() + offset;
  ec_encode_data(static_cast<int>(length), job->K, job->Rows, job->Tables.data(), in, out);
}

template <void (*Encode)(size_t, int32_t, int32_t, const uint8_t*, const uint8_t* const*,
                         uint8_t* const*)>
static void Own(Job* job, size_t offset, size_t length) {
  const uint8_t* in[256];
  uint8_t* out[256];
  for (int j = 0; j < job->K; j++) in[j] = job->Files[j].data() + offset;
  for (int r = 0; r < job->Rows; r++) out[r] = job->Parity[r].data() + offset;
  Encode(length, job->K, job->Rows, job->Tables.data(), in, out);
}

// The stub's rebuild: every output alone, from its own K tables.
static void StubRows(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
                     const uint8_t* const* sources, uint8_t* const* outputs) {
  for (int32_t r = 0; r < rows; r++)
    GfEncodeRow(length, k, tables + static_cast<size_t>(r) * k * GfTableBytes, sources, outputs[r]);
}

static double Seconds(Job* job, Way way) {
  auto start = std::chrono::steady_clock::now();
  for (size_t offset = 0; offset < job->FileBytes; offset += Stripe)
    way(job, offset, job->FileBytes - offset < Stripe ? job->FileBytes - offset : Stripe);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  return took.count();
}

int main(int argc, char** argv) {
  size_t mebibytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 256;
  int rounds = argc > 2 ? atoi(argv[2]) : 7;
  Job job;
  job.K = argc > 3 ? atoi(argv[3]) : 10;
  job.Rows = argc > 4 ? atoi(argv[4]) : 2;
  if (job.K < 1 || job.Rows < 1 || job.K + job.Rows > 256 || rounds < 1) return 64;
  job.FileBytes = (mebibytes << 20) / job.K;
  uint32_t seed = 1;
  for (int j = 0; j < job.K; j++) {
    job.Files.emplace_back(job.FileBytes);
    for (uint8_t& b : job.Files.back())
      b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
  }
  std::vector<uint8_t> matrix(static_cast<size_t>((job.K + job.Rows) * job.K));
  GfCauchyMatrix(matrix.data(), job.K + job.Rows, job.K);
  job.Tables.resize(static_cast<size_t>(GfTableBytes * job.K * job.Rows));
  GfMakeTables(job.K, job.Rows, matrix.data() + job.K * job.K, job.Tables.data());
  struct Contender {
    const char* Name;
    Way Run;
  } contenders[] = {{"isal", Isal},
                    {"ours", Own<GfEncode>},
                    {"ssse3", Own<GfEncodeByShuffle>},
                    {"stub", Own<StubRows>},
                    {"table", Own<GfEncodeByTable>}};
  std::vector<std::vector<uint8_t>> expected;
  fprintf(stderr, "%zu MiB in %d files, %d rows; our way here: %s\n", mebibytes, job.K, job.Rows,
          ProcessorHasAvx2()    ? "AVX2 (vpshufb)"
          : ProcessorHasSsse3() ? "SSSE3 (pshufb)"
                                : "table");
  for (int round = 0; round < rounds; round++)
    for (const Contender& c : contenders) {
      job.Parity.assign(static_cast<size_t>(job.Rows), std::vector<uint8_t>(job.FileBytes, 0xA5));
      printf("%s %.4f\n", c.Name, Seconds(&job, c.Run));
      fflush(stdout);
      if (expected.empty()) expected = job.Parity;
      if (job.Parity != expected) {
        fprintf(stderr, "%s: parity differs from ISA-L's\n", c.Name);
        return 1;
      }
    }
  return 0;
}
