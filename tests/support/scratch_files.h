// Scratch folders and files for every test folder, the same natively and under Wine: a fresh
// folder per test (removed with std::filesystem, never by a shell), files of given bytes, and
// sparse files of any size (they cost no disk).
#pragma once

#include <stdint.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "base/byte_text.h"

namespace scratch {

typedef std::basic_string<WideChar> WideText;

// A UTF-8 text (a path) in UTF-16, the form the program's file calls take; and back.
inline WideText Wide(const std::string& utf8) {
  WideText wide;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t more = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    uint32_t c = more == 0 ? lead : lead & (0x3F >> more);
    for (size_t k = 1; k <= more && i + k < utf8.size(); k++)
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += more + 1;
    if (c >= 0x10000) {
      wide += static_cast<WideChar>(0xD800 + ((c - 0x10000) >> 10));
      c = 0xDC00 + (c & 0x3FF);
    }
    wide += static_cast<WideChar>(c);
  }
  return wide;
}

inline std::string Utf8(const WideChar* wide) {
  std::string utf8;
  for (size_t i = 0; wide[i] != 0; i++) {
    uint32_t c = static_cast<uint32_t>(wide[i]) & 0xFFFF;
    if (c >= 0xD800 && c < 0xDC00 && wide[i + 1] != 0)
      c = 0x10000 + ((c - 0xD800) << 10) + ((static_cast<uint32_t>(wide[++i]) & 0xFFFF) - 0xDC00);
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else if (c < 0x800) {
      utf8 += static_cast<char>(0xC0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      utf8 += static_cast<char>(0xE0 | c >> 12);
      utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | c >> 18);
      utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

#ifdef _WIN32
inline const char* Separator() { return "\\"; }
#else
inline const char* Separator() { return "/"; }
#endif

// Makes a new empty folder under the system's temporary folder and returns its path.
inline std::string MakeFolder(const std::string& tag) {
  static unsigned counter = 0;
  std::filesystem::path root = std::filesystem::temp_directory_path();
#ifdef _WIN32
  unsigned long pid = GetCurrentProcessId();
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  for (;;) {
    std::filesystem::path folder =
        root / ("tarnovell-" + tag + "-" + std::to_string(pid) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(folder)) return folder.string();
  }
}

inline void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

inline bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of exactly size bytes, all zero, made sparse by setting its end without writing.
inline bool MakeSizedFile(const std::string& path, int64_t size) {
#ifdef _WIN32
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LONG high = static_cast<LONG>(static_cast<uint64_t>(size) >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(file, static_cast<LONG>(size & 0xFFFFFFFF), &high, FILE_BEGIN);
  bool ok = !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) && SetEndOfFile(file);
  return CloseHandle(file) && ok;
#else
  if (!WriteBytes(path, std::string())) return false;
  return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
#endif
}

// The size as the operating system sees it, independent of the layer under test.
inline int64_t SizeOf(const std::string& path) {
  std::error_code error;
  uintmax_t size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<int64_t>(size);
}

// Bytes that differ from their neighbours, so a read from the wrong offset shows.
inline std::string Pattern(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; i++) bytes[i] = static_cast<char>((i * 7 + i / 251) % 251);
  return bytes;
}

}  // namespace scratch
