// UTF-8, UTF-16 and Windows-1251 on Windows: MultiByteToWideChar and WideCharToMultiByte.
#include <string>

#include "cli/os/encoding.h"
#include "cli/os/windows/win.h"

static const UINT AnsiCodePage = 1251;

// UTF-8 to UTF-16; flags MB_ERR_INVALID_CHARS refuses invalid bytes instead of replacing them.
static bool Utf16Of(const std::string& utf8, DWORD flags, std::wstring* wide) {
  wide->clear();
  if (utf8.empty()) return true;
  int length = static_cast<int>(utf8.size());
  int count = MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, nullptr, 0);
  if (count <= 0) return false;
  wide->resize(static_cast<size_t>(count));
  return MultiByteToWideChar(CP_UTF8, flags, utf8.data(), length, &(*wide)[0], count) == count;
}

std::wstring WideOf(const std::string& utf8) {
  std::wstring wide;
  Utf16Of(utf8, 0, &wide);
  return wide;
}

static bool Utf8Of(const wchar_t* text, size_t length, DWORD flags, std::string* utf8) {
  utf8->clear();
  if (length == 0) return true;
  int count = WideCharToMultiByte(CP_UTF8, flags, text, static_cast<int>(length), nullptr, 0,
                                  nullptr, nullptr);
  if (count <= 0) return false;
  utf8->resize(static_cast<size_t>(count));
  return WideCharToMultiByte(CP_UTF8, flags, text, static_cast<int>(length), &(*utf8)[0], count,
                             nullptr, nullptr) == count;
}

bool Utf8OfWide(const wchar_t* text, size_t length, std::string* utf8) {
  return Utf8Of(text, length, WC_ERR_INVALID_CHARS, utf8);
}

std::string Utf8Of(const std::wstring& text) {
  std::string utf8;
  Utf8Of(text.data(), text.size(), 0, &utf8);
  return utf8;
}

bool Utf8ToCp1251(const std::string& text, std::string* out) {
  std::wstring wide;
  if (!Utf16Of(text, MB_ERR_INVALID_CHARS, &wide)) return false;
  out->clear();
  if (wide.empty()) return true;
  // No best-fit mapping: "é" must not quietly become "e". A character without a 1251 form is
  // replaced by the default character, and usedDefault tells.
  int length = static_cast<int>(wide.size());
  int count = WideCharToMultiByte(AnsiCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr,
                                  0, nullptr, nullptr);
  if (count <= 0) return false;
  std::string bytes(static_cast<size_t>(count), '\0');
  BOOL usedDefault = FALSE;
  if (WideCharToMultiByte(AnsiCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, &bytes[0], count,
                          nullptr, &usedDefault) != count ||
      usedDefault) {
    return false;
  }
  *out = bytes;
  return true;
}

std::string Cp1251ToUtf8(const std::string& bytes) {
  static std::wstring table;  // one UTF-16 unit per byte: Windows-1251 has no pairs
  if (table.empty()) {
    table.resize(256);
    for (int b = 0; b < 256; b++) {
      char in = static_cast<char>(b);
      wchar_t out = 0xFFFD;
      // 0x98 is the one byte without a character; Windows maps it to U+0098, a control.
      if (b == 0x98 ||
          MultiByteToWideChar(AnsiCodePage, MB_ERR_INVALID_CHARS, &in, 1, &out, 1) != 1)
        out = 0xFFFD;
      table[static_cast<size_t>(b)] = out;
    }
  }
  std::wstring wide;
  for (unsigned char c : bytes) wide += table[c];
  return Utf8Of(wide);
}
