// Reproducible test data shared by the test folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

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

// Payloads of the given sizes: Pattern bytes with the seeds 1, 2, 3, ... in order.
inline std::vector<std::string> Patterns(std::initializer_list<size_t> sizes) {
  std::vector<std::string> payloads;
  uint32_t seed = 1;
  for (size_t size : sizes) payloads.push_back(Pattern(size, seed++));
  return payloads;
}

// The parts one after another: what a join of pieces holding them gives.
inline std::string Concatenated(const std::vector<std::string>& parts) {
  std::string bytes;
  for (const std::string& part : parts) bytes += part;
  return bytes;
}
