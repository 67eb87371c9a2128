// bench_sha256 [MEBIBYTES [ROUNDS]]: the speed of SHA-256 in each library Debian has for it, over
// the same buffer (default 1024 MiB) hashed in 256 KiB chunks, as split hashes what it writes:
// OpenSSL's libcrypto, nettle, libgcrypt and, where tools/bench_sha256.sh found it, Crypto++.
// Each library hashes the buffer once in each of ROUNDS (default 3) rounds, the libraries taking
// turns; the best run is printed in MB/s (10^6 bytes a second) with its ratio to the fastest, by
// the thread's processor time (what the library costs, even where other work on the machine takes
// turns with it) and by the clock. All must give the same digest.
#include <gcrypt.h>
#include <nettle/sha2.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>
#ifdef BENCH_CRYPTOPP
#include <cryptopp/sha.h>
#endif

static const size_t Chunk = 256 << 10;
using Digest = std::string;  // 32 bytes
using Hasher = Digest (*)(const std::vector<unsigned char>& buffer);

static Digest OpenSsl(const std::vector<unsigned char>& buffer) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  for (size_t at = 0; at < buffer.size(); at += Chunk)
    EVP_DigestUpdate(context, buffer.data() + at, std::min(Chunk, buffer.size() - at));
  unsigned char out[32];
  EVP_DigestFinal_ex(context, out, nullptr);
  EVP_MD_CTX_free(context);
  return Digest(reinterpret_cast<char*>(out), 32);
}

static Digest Nettle(const std::vector<unsigned char>& buffer) {
  sha256_ctx context;
  sha256_init(&context);
  for (size_t at = 0; at < buffer.size(); at += Chunk)
    sha256_update(&context, std::min(Chunk, buffer.size() - at), buffer.data() + at);
  unsigned char out[32];
  sha256_digest(&context, 32, out);
  return Digest(reinterpret_cast<char*>(out), 32);
}

static Digest Gcrypt(const std::vector<unsigned char>& buffer) {
  gcry_md_hd_t context;
  gcry_md_open(&context, GCRY_MD_SHA256, 0);
  for (size_t at = 0; at < buffer.size(); at += Chunk)
    gcry_md_write(context, buffer.data() + at, std::min(Chunk, buffer.size() - at));
  Digest out(reinterpret_cast<char*>(gcry_md_read(context, GCRY_MD_SHA256)), 32);
  gcry_md_close(context);
  return out;
}

#ifdef BENCH_CRYPTOPP
static Digest CryptoPp(const std::vector<unsigned char>& buffer) {
  CryptoPP::SHA256 context;
  for (size_t at = 0; at < buffer.size(); at += Chunk)
    context.Update(buffer.data() + at, std::min(Chunk, buffer.size() - at));
  unsigned char out[32];
  context.Final(out);
  return Digest(reinterpret_cast<char*>(out), 32);
}
#endif

struct Library {
  const char* Name;
  Hasher Hash;
  double Best = 0;      // seconds of processor time
  double BestWall = 0;  // seconds by the clock
  Digest Result;
};

static double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int main(int argc, char** argv) {
  size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (!gcry_check_version(GCRYPT_VERSION)) return 1;
  gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  std::vector<unsigned char> buffer(mebibytes << 20);
  uint64_t state = 0x9E3779B97F4A7C15ull;  // any bytes but zeros: a xorshift stream
  for (unsigned char& byte : buffer) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    byte = static_cast<unsigned char>(state);
  }
  std::vector<Library> libraries = {
      {"OpenSSL libcrypto", OpenSsl}, {"nettle", Nettle}, {"libgcrypt", Gcrypt}};
#ifdef BENCH_CRYPTOPP
  libraries.push_back({"Crypto++", CryptoPp});
#endif
  for (int round = 0; round < rounds; round++) {
    for (Library& library : libraries) {
      double cpu = ThreadSeconds();
      auto start = std::chrono::steady_clock::now();
      library.Result = library.Hash(buffer);
      double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      cpu = ThreadSeconds() - cpu;
      if (round == 0 || cpu < library.Best) library.Best = cpu;
      if (round == 0 || wall < library.BestWall) library.BestWall = wall;
    }
  }
  double fastest = 1e30, fastestWall = 1e30;
  for (const Library& library : libraries) {
    fastest = std::min(fastest, library.Best);
    fastestWall = std::min(fastestWall, library.BestWall);
  }
  std::printf("SHA-256 of %zu MiB in 256 KiB chunks, best of %d rounds:\n", mebibytes, rounds);
  std::printf("  %-18s %21s  %21s\n", "", "processor time", "clock");
  for (const Library& library : libraries) {
    std::printf("  %-18s %6.0f MB/s  %.2f       %6.0f MB/s  %.2f\n", library.Name,
                buffer.size() / library.Best / 1e6, fastest / library.Best,
                buffer.size() / library.BestWall / 1e6, fastestWall / library.BestWall);
  }
  std::printf("  (ratios: to the fastest)\n");
  for (const Library& library : libraries) {
    if (library.Result != libraries[0].Result) {
      std::printf("%s gives another digest\n", library.Name);
      return 1;
    }
  }
  return 0;
}
