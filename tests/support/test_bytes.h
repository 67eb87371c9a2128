// Reproducible test data shared by the test folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes that differ from block to block, so a misplaced or repeated block shows.
inline std::string Pattern(size_t size, uint32_t seed = 1) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; i++) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}
