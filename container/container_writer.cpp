#include "container/container_writer.h"

#include <cstdio>

// A time's low or high 32-bit half, as a header record's text.
static std::string LowHalf(uint64_t ticks) { return std::to_string(static_cast<uint32_t>(ticks)); }
static std::string HighHalf(uint64_t ticks) {
  return std::to_string(static_cast<uint32_t>(ticks >> 32));
}

HeaderTexts MakeHeaderTexts(const std::string& fileName, int64_t totalSize, uint64_t creation,
                            uint64_t lastAccess, uint64_t lastWrite) {
  return HeaderTexts{fileName,           std::to_string(totalSize), LowHalf(creation),
                     HighHalf(creation), LowHalf(lastAccess),       HighHalf(lastAccess),
                     LowHalf(lastWrite), HighHalf(lastWrite)};
}

std::string HeaderRecordBytes(const std::string& text, char filler) {
  std::string record(HeaderRecordSize, filler);
  size_t length = text.size() < 255 ? text.size() : 255;
  record[0] = static_cast<char>(length);
  record.replace(1, length, text, 0, length);
  return record;
}

std::string HeaderBytes(const HeaderTexts& texts, char filler) {
  std::string header;
  for (const std::string& text : texts) header += HeaderRecordBytes(text, filler);
  return header;
}

std::string FitStubImage(const std::string& image) {
  std::string stub = image.substr(0, StubSize);
  stub.resize(StubSize, '\0');
  return stub;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  char block[65536];
  size_t n;
  while ((n = fread(block, 1, sizeof block, file)) > 0) bytes->append(block, n);
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

bool WriteSet(const std::string& base, const std::string& stub, const HeaderTexts& texts,
              const std::vector<std::string>& payloads) {
  std::string container = FitStubImage(stub) + HeaderBytes(texts);
  if (!payloads.empty()) container += payloads[0];
  if (!WriteWholeFile(base + ".exe", container)) return false;
  for (size_t n = 1; n < payloads.size(); n++) {
    char suffix[PieceSuffixSize];
    PieceSuffix(static_cast<int32_t>(n), suffix);
    if (!WriteWholeFile(base + suffix, payloads[n])) return false;
  }
  return true;
}
