// The SHA-256 backend of the Linux builds: libgcrypt's message digests.
#include <gcrypt.h>
#include <string.h>

#include "integrity/sha256.h"

struct Sha256::State {
  gcry_md_hd_t Handle;
};

// libgcrypt wants its version checked once before any other call; the tool needs no secure
// memory (a digest of public data).
static bool LibraryReady() {
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  return ready;
}

Sha256::Sha256() {
  gcry_md_hd_t handle;
  if (LibraryReady() && gcry_md_open(&handle, GCRY_MD_SHA256, 0) == 0) state_ = new State{handle};
}

void Sha256::Release() {
  if (state_ != nullptr) gcry_md_close(state_->Handle);
  delete state_;
  state_ = nullptr;
}

void Sha256::Add(const void* bytes, size_t count) {
  if (state_ != nullptr) gcry_md_write(state_->Handle, bytes, count);
}

bool Sha256::End(Sha256Digest* digest) {
  const unsigned char* result =
      state_ != nullptr ? gcry_md_read(state_->Handle, GCRY_MD_SHA256) : nullptr;
  if (result != nullptr) memcpy(digest->Bytes, result, Sha256Size);
  Release();
  return result != nullptr && !failed_;
}
