// The SHA-256 backend of the Windows tool: Windows' own, through BCrypt (bcrypt.dll, a system
// DLL the tool may import).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#include <string.h>

#include <vector>

#include "integrity/sha256.h"

struct Sha256::State {
  BCRYPT_HASH_HANDLE Hash = nullptr;
  std::vector<UCHAR> Object;  // the hash object's memory, which the caller provides
};

// The algorithm's provider, opened once for the process.
static BCRYPT_ALG_HANDLE Provider() {
  static BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
      return static_cast<BCRYPT_ALG_HANDLE>(nullptr);
    return handle;
  }();
  return provider;
}

Sha256::Sha256() {
  BCRYPT_ALG_HANDLE provider = Provider();
  DWORD objectSize = 0, got = 0;
  if (provider == nullptr ||
      BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize),
                        sizeof objectSize, &got, 0) < 0) {
    return;
  }
  State* state = new State;
  state->Object.resize(objectSize);
  if (BCryptCreateHash(provider, &state->Hash, state->Object.data(), objectSize, nullptr, 0, 0) <
      0) {
    delete state;
    return;
  }
  state_ = state;
}

void Sha256::Release() {
  if (state_ != nullptr) BCryptDestroyHash(state_->Hash);
  delete state_;
  state_ = nullptr;
}

void Sha256::Add(const void* bytes, size_t count) {
  const ULONG most = 1u << 30;  // BCryptHashData takes a ULONG count
  const UCHAR* p = static_cast<const UCHAR*>(bytes);
  while (state_ != nullptr && !failed_ && count > 0) {
    ULONG part = count < most ? static_cast<ULONG>(count) : most;
    failed_ = BCryptHashData(state_->Hash, const_cast<PUCHAR>(p), part, 0) < 0;
    p += part;
    count -= part;
  }
}

bool Sha256::End(Sha256Digest* digest) {
  bool done = state_ != nullptr && !failed_ &&
              BCryptFinishHash(state_->Hash, digest->Bytes, Sha256Size, 0) >= 0;
  Release();
  return done;
}
