// Our GF(2^8) Reed-Solomon code held to ISA-L on the same bytes: the field, the generator, the
// inverse, the coding tables and the coding itself (every way of ours, the stub's too), and
// erasure decoding of every pattern of lost files in small groups, each side decoding what the
// other encoded.
#include <gtest/gtest.h>
#include <isa-l.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "recovery/gf256.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Gf256Field, MultiplicationAndInversesAreIsals) {
  for (int a = 0; a < 256; a++) {
    ASSERT_EQ(GfInverse(static_cast<uint8_t>(a)), gf_inv(static_cast<uint8_t>(a))) << a;
    for (int b = 0; b < 256; b++)
      ASSERT_EQ(GfMultiply(static_cast<uint8_t>(a), static_cast<uint8_t>(b)),
                gf_mul(static_cast<uint8_t>(a), static_cast<uint8_t>(b)))
          << a << " * " << b;
  }
}

Bytes OurGenerator(int k, int rows) {
  Bytes matrix(static_cast<size_t>((k + rows) * k));
  GfCauchyMatrix(matrix.data(), k + rows, k);
  return matrix;
}

Bytes IsalGenerator(int k, int rows) {
  Bytes matrix(static_cast<size_t>((k + rows) * k));
  gf_gen_cauchy1_matrix(matrix.data(), k + rows, k);
  return matrix;
}

TEST(Gf256Matrices, GeneratorsAreIsals) {
  for (int k : {1, 2, 3, 5, 8, 10, 17, 64, 128, 200, 253, 255})
    for (int rows : {1, 2, 3, 7, 256 - k}) {
      if (rows < 1 || k + rows > 256) continue;
      ASSERT_EQ(OurGenerator(k, rows), IsalGenerator(k, rows)) << k << " + " << rows;
    }
}

// Both inverses of the same matrix: equal, or both refused.
void ExpectSameInverse(const Bytes& matrix, int n) {
  Bytes ours = matrix, isal = matrix, ourInverse(matrix.size()), isalInverse(matrix.size());
  bool invertible = gf_invert_matrix(isal.data(), isalInverse.data(), n) == 0;
  ASSERT_EQ(GfInvertMatrix(ours.data(), ourInverse.data(), n), invertible) << "n " << n;
  if (invertible) ASSERT_EQ(ourInverse, isalInverse) << "n " << n;
}

TEST(Gf256Matrices, InversesAreIsalsAndSingularMatricesRefused) {
  std::mt19937 random(23);
  // Random matrices (small ones are often singular), some with zeros on the diagonal.
  for (int n = 1; n <= 12; n++)
    for (int round = 0; round < 200; round++) {
      Bytes matrix(static_cast<size_t>(n * n));
      for (uint8_t& b : matrix) b = static_cast<uint8_t>(random() % (round % 3 == 0 ? 3 : 256));
      ExpectSameInverse(matrix, n);
    }
  // A row twice, a column of zeros.
  Bytes twice = {1, 2, 3, 4, 5, 6, 1, 2, 3}, zero = {0, 1, 2, 0, 3, 4, 0, 5, 6};
  Bytes spoiled = twice, inverse(9);
  EXPECT_FALSE(GfInvertMatrix(spoiled.data(), inverse.data(), 3));
  spoiled = zero;
  EXPECT_FALSE(GfInvertMatrix(spoiled.data(), inverse.data(), 3));
  // Survivors of large groups: k rows of the generator, files and parity rows mixed.
  for (int k : {30, 100, 250}) {
    const int rows = 256 - k;
    Bytes generator = IsalGenerator(k, rows);
    std::vector<int> order(static_cast<size_t>(k + rows));
    for (int i = 0; i < k + rows; i++) order[i] = i;
    std::shuffle(order.begin(), order.end(), random);
    Bytes taken;
    for (int s = 0; s < k; s++)
      taken.insert(taken.end(), generator.begin() + order[s] * k,
                   generator.begin() + (order[s] + 1) * k);
    ExpectSameInverse(taken, k);
  }
}

TEST(Gf256Matrices, CodingTablesAreIsals) {
  std::mt19937 random(7);
  for (int k : {1, 4, 13}) {
    for (int rows : {1, 3}) {
      Bytes coefficients(static_cast<size_t>(k * rows));
      for (uint8_t& b : coefficients) b = static_cast<uint8_t>(random());
      Bytes ours(coefficients.size() * GfTableBytes), isal(ours.size());
      GfMakeTables(k, rows, coefficients.data(), ours.data());
      ec_init_tables(k, rows, coefficients.data(), isal.data());
      ASSERT_EQ(ours, isal) << k << " x " << rows;
    }
  }
}

// Buffers of one length side by side, each starting at an odd offset of its own allocation, so
// that neither way may count on aligned bytes.
struct Stripe {
  std::vector<Bytes> Storage;
  std::vector<uint8_t*> Rows;
  Stripe(int count, size_t length, std::mt19937* random) {
    for (int i = 0; i < count; i++) {
      Storage.emplace_back(length + 1 + i % 3);
      for (uint8_t& b : Storage.back()) b = static_cast<uint8_t>((*random)());
      Rows.push_back(Storage.back().data() + 1 + i % 3);
    }
  }
  Bytes Row(int i, size_t length) const { return Bytes(Rows[i], Rows[i] + length); }
};

using EncodeWay = void (*)(size_t, int32_t, int32_t, const uint8_t*, const uint8_t* const*,
                           uint8_t* const*);

// The stub's way: each output alone, from its own k tables.
template <void (*Row)(size_t, int32_t, const uint8_t*, const uint8_t* const*, uint8_t*)>
void RowByRow(size_t length, int32_t k, int32_t rows, const uint8_t* tables,
              const uint8_t* const* sources, uint8_t* const* outputs) {
  for (int32_t r = 0; r < rows; r++)
    Row(length, k, tables + r * k * GfTableBytes, sources, outputs[r]);
}

TEST(Gf256Coding, EveryWayCodesAsIsal) {
  std::mt19937 random(11);
  std::vector<std::pair<const char*, EncodeWay>> ways = {
      {"table", GfEncodeByTable}, {"picked", GfEncode}, {"stub's picked", RowByRow<GfEncodeRow>}};
  if (ProcessorHasSsse3()) ways.push_back({"shuffle", GfEncodeByShuffle});
  if (ProcessorHasSsse3()) ways.push_back({"stub's shuffle", RowByRow<GfEncodeRowByShuffle>});
  if (ProcessorHasAvx2()) ways.push_back({"wide shuffle", GfEncodeByWideShuffle});
  for (size_t length :
       {size_t{0}, size_t{1}, size_t{15}, size_t{31}, size_t{32}, size_t{33}, size_t{63},
        size_t{64}, size_t{65}, size_t{100}, size_t{4096}, size_t{65537}})
    for (int k : {1, 2, 10, 33})
      for (int rows : {1, 2, 4, 5, 9}) {
        Stripe stripe(k + 2 * rows, length, &random);
        Bytes coefficients(static_cast<size_t>(k * rows)), tables(coefficients.size() * 32);
        for (uint8_t& b : coefficients) b = static_cast<uint8_t>(random());
        ec_init_tables(k, rows, coefficients.data(), tables.data());
        uint8_t** rowsOf = stripe.Rows.data();
        ec_encode_data(static_cast<int>(length), k, rows, tables.data(), rowsOf, rowsOf + k);
        for (auto [name, way] : ways) {
          for (int r = 0; r < rows; r++) memset(rowsOf[k + rows + r], 0xA5, length);
          way(length, k, rows, tables.data(), rowsOf, rowsOf + k + rows);
          for (int r = 0; r < rows; r++)
            ASSERT_EQ(stripe.Row(k + rows + r, length), stripe.Row(k + r, length))
                << name << ": length " << length << ", k " << k << ", row " << r << " of " << rows;
        }
      }
}

// One side's whole code: generator, inverse, tables and coding.
struct Codec {
  const char* Name;
  void (*Generate)(uint8_t*, int, int);
  bool (*Invert)(uint8_t*, uint8_t*, int);
  void (*Tables)(int, int, const uint8_t*, uint8_t*);
  void (*Encode)(int, int, int, const uint8_t*, uint8_t**, uint8_t**);
};

const Codec Ours = {
    "ours", [](uint8_t* m, int total, int k) { GfCauchyMatrix(m, total, k); },
    [](uint8_t* in, uint8_t* out, int n) { return GfInvertMatrix(in, out, n); },
    [](int k, int rows, const uint8_t* c, uint8_t* t) { GfMakeTables(k, rows, c, t); },
    [](int length, int k, int rows, const uint8_t* t, uint8_t** in, uint8_t** out) {
      GfEncode(static_cast<size_t>(length), k, rows, t, in, out);
    }};
const Codec Isal = {
    "ISA-L", [](uint8_t* m, int total, int k) { gf_gen_cauchy1_matrix(m, total, k); },
    [](uint8_t* in, uint8_t* out, int n) { return gf_invert_matrix(in, out, n) == 0; },
    [](int k, int rows, const uint8_t* c, uint8_t* t) {
      ec_init_tables(k, rows, const_cast<uint8_t*>(c), t);
    },
    [](int length, int k, int rows, const uint8_t* t, uint8_t** in, uint8_t** out) {
      ec_encode_data(length, k, rows, const_cast<uint8_t*>(t), in, out);
    }};

// The k files and rows parity buffers of a group, then the parity rows by codec.
std::vector<Bytes> EncodeGroup(const Codec& codec, const std::vector<Bytes>& files, int rows) {
  int k = static_cast<int>(files.size());
  size_t length = files[0].size();
  Bytes generator(static_cast<size_t>((k + rows) * k)), tables(static_cast<size_t>(32 * k * rows));
  codec.Generate(generator.data(), k + rows, k);
  codec.Tables(k, rows, generator.data() + k * k, tables.data());
  std::vector<Bytes> all = files;
  all.resize(static_cast<size_t>(k + rows), Bytes(length));
  std::vector<uint8_t*> pointers;
  for (Bytes& b : all) pointers.push_back(b.data());
  codec.Encode(static_cast<int>(length), k, rows, tables.data(), pointers.data(),
               pointers.data() + k);
  return std::vector<Bytes>(all.begin() + k, all.end());
}

// The lost files (indexes below k) given back by codec from the first k survivors of the group
// (files, then parity rows).
std::vector<Bytes> DecodeGroup(const Codec& codec, const std::vector<Bytes>& group, int k,
                               const std::vector<int>& lost) {
  int rows = static_cast<int>(group.size()) - k;
  size_t length = group[0].size();
  Bytes generator(static_cast<size_t>((k + rows) * k)), taken, inverse(static_cast<size_t>(k * k));
  codec.Generate(generator.data(), k + rows, k);
  std::vector<uint8_t*> survivors;
  std::vector<Bytes> copies = group;
  for (int i = 0; i < k + rows && static_cast<int>(survivors.size()) < k; i++) {
    if (std::find(lost.begin(), lost.end(), i) != lost.end()) continue;
    taken.insert(taken.end(), generator.begin() + i * k, generator.begin() + (i + 1) * k);
    survivors.push_back(copies[i].data());
  }
  EXPECT_TRUE(codec.Invert(taken.data(), inverse.data(), k));
  Bytes decode;
  std::vector<int> lostFiles;
  for (int p : lost)
    if (p < k) {
      lostFiles.push_back(p);
      decode.insert(decode.end(), inverse.begin() + p * k, inverse.begin() + (p + 1) * k);
    }
  int count = static_cast<int>(lostFiles.size());
  std::vector<Bytes> rebuilt(static_cast<size_t>(count), Bytes(length, 0xEE));
  if (count == 0) return rebuilt;
  Bytes tables(static_cast<size_t>(32 * k * count));
  codec.Tables(k, count, decode.data(), tables.data());
  std::vector<uint8_t*> outputs;
  for (Bytes& b : rebuilt) outputs.push_back(b.data());
  codec.Encode(static_cast<int>(length), k, count, tables.data(), survivors.data(), outputs.data());
  return rebuilt;
}

// Every subset of 1 to rows of the k + rows buffers, as lists.
std::vector<std::vector<int>> LossPatterns(int total, int most) {
  std::vector<std::vector<int>> patterns;
  for (uint32_t mask = 1; mask < (1u << total); mask++) {
    if (__builtin_popcount(mask) > most) continue;
    std::vector<int> lost;
    for (int i = 0; i < total; i++)
      if (mask & (1u << i)) lost.push_back(i);
    patterns.push_back(lost);
  }
  return patterns;
}

TEST(Gf256Coding, EveryLossOfSmallGroupsIsRebuiltAcrossBothCodes) {
  std::mt19937 random(5);
  for (int k = 1; k <= 8; k++)
    for (int rows = 1; rows <= 3; rows++) {
      size_t length = 1 + random() % 200;
      std::vector<Bytes> files(static_cast<size_t>(k), Bytes(length));
      for (Bytes& file : files)
        for (uint8_t& b : file) b = static_cast<uint8_t>(random());
      std::vector<Bytes> ourParity = EncodeGroup(Ours, files, rows);
      ASSERT_EQ(ourParity, EncodeGroup(Isal, files, rows)) << k << " + " << rows;
      std::vector<Bytes> group = files;
      group.insert(group.end(), ourParity.begin(), ourParity.end());
      for (const std::vector<int>& lost : LossPatterns(k + rows, rows))
        for (const Codec* codec : {&Ours, &Isal}) {
          std::vector<Bytes> rebuilt = DecodeGroup(*codec, group, k, lost);
          for (size_t t = 0, p = 0; p < lost.size(); p++)
            if (lost[p] < k)
              ASSERT_EQ(rebuilt[t++], files[lost[p]]) << codec->Name << " decoding, k " << k
                                                      << ", rows " << rows << ", file " << lost[p];
        }
    }
}

}  // namespace
