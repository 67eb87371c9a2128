// SHA-256 (FIPS 180-4): the checksums a set's receiver can check with any tool (split
// --checksums writes BASE.sha256 in sha256sum's format; verify and join read it).
//
// Not our own code: a maintained library's, one backend per build, picked by the file it
// compiles:
// - integrity/sha256_gcrypt.cpp: libgcrypt, in the Linux builds (the fastest SHA-256 Debian has
//   on processors with the SHA extensions: tools/bench_sha256.sh);
// - integrity/sha256_bcrypt.cpp: Windows' own (BCrypt, bcrypt.dll), in the Windows tool.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

constexpr size_t Sha256Size = 32;

struct Sha256Digest {
  uint8_t Bytes[Sha256Size] = {};
  bool operator==(const Sha256Digest& other) const;
  bool operator!=(const Sha256Digest& other) const { return !(*this == other); }
};

// One digest being taken: begun when made, bytes added in any split, ended once.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&& other) noexcept;
  Sha256& operator=(Sha256&& other) noexcept;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(const void* bytes, size_t count);
  // The digest of all the bytes added; false when the library failed at any step (it could not
  // begin, for want of memory). Nothing is added after it.
  bool End(Sha256Digest* digest);

 private:
  void Release();
  struct State;
  State* state_ = nullptr;  // null: the library could not begin (or moved away)
  bool failed_ = false;
};

// The digest as sha256sum prints it: 64 lowercase hexadecimal digits.
std::string Sha256Hex(const Sha256Digest& digest);
// Reads 64 hexadecimal digits (either case); false for anything else.
bool ParseSha256Hex(const std::string& text, Sha256Digest* digest);
