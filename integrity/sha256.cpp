// What every SHA-256 backend shares: the digest's text.
#include "integrity/sha256.h"

#include <string.h>

bool Sha256Digest::operator==(const Sha256Digest& other) const {
  return memcmp(Bytes, other.Bytes, Sha256Size) == 0;
}

static const char HexDigits[] = "0123456789abcdef";

std::string Sha256Hex(const Sha256Digest& digest) {
  std::string text;
  for (uint8_t byte : digest.Bytes) {
    text += HexDigits[byte >> 4];
    text += HexDigits[byte & 15];
  }
  return text;
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseSha256Hex(const std::string& text, Sha256Digest* digest) {
  if (text.size() != 2 * Sha256Size) return false;
  for (size_t i = 0; i < Sha256Size; i++) {
    int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest->Bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

Sha256::~Sha256() { Release(); }

Sha256::Sha256(Sha256&& other) noexcept : state_(other.state_), failed_(other.failed_) {
  other.state_ = nullptr;
}

Sha256& Sha256::operator=(Sha256&& other) noexcept {
  if (this != &other) {
    Release();
    state_ = other.state_;
    failed_ = other.failed_;
    other.state_ = nullptr;
  }
  return *this;
}
