// Writes containers and pieces (native code only): the stub image, the eight header records,
// the first payload; further pieces as BASE.c001, BASE.c002, ... The tests make every set they
// use with it, and the splitter is built on it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "container/layout.h"

using HeaderTexts = std::array<std::string, HeaderRecordCount>;

// The texts of a well-formed header: name, size, and the three times (FILETIME ticks, as
// base/file_time.h counts them) as their unsigned 32-bit halves, the low one first.
HeaderTexts MakeHeaderTexts(const std::string& fileName, int64_t totalSize, uint64_t creation,
                            uint64_t lastAccess, uint64_t lastWrite);
// One 256-byte record: the length byte, the text (at most 255 bytes), then filler bytes.
std::string HeaderRecordBytes(const std::string& text, char filler = 0);
// The 2048-byte header.
std::string HeaderBytes(const HeaderTexts& texts, char filler = 0);
// The stub image padded (or cut) to StubSize bytes, so a set can be made from any stub.
std::string FitStubImage(const std::string& image);

// Writes a whole set: base + ".exe" (stub, header, payloads[0]) and base + PieceSuffix(n) for
// each further payload. The stub is fitted to StubSize. False (and errno) when a write fails.
bool WriteSet(const std::string& base, const std::string& stub, const HeaderTexts& texts,
              const std::vector<std::string>& payloads);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string* bytes);
