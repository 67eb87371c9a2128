// Texts of the tool: names, sizes, dates, printable messages.
#include <cstring>
#include <string>

#include "base/file_time.h"
#include "cli/show/json.h"
#include "cli/show/text.h"

// Latin letters in upper case; every other byte as it is.
static unsigned char UpperAscii(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

static std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
  return text;
}

// Cuts a UTF-8 text to at most limit bytes without splitting a character.
static std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) end--;
  return text.substr(0, end);
}

std::string SafeOutputName(const std::string& headerName, const std::string& fallback) {
  // The last component in the sense of the joiner on Windows: after the last "\", "/" or ":".
  size_t start = headerName.find_last_of("\\/:");
  std::string last = start == std::string::npos ? headerName : headerName.substr(start + 1);
  std::string name;
  for (unsigned char c : last) {
    if (c < 0x20 || c == 0x7F) continue;
    name += static_cast<char>(c);
  }
  // A file name holds at most 255 bytes; Cyrillic doubles in UTF-8. Keep a short extension.
  if (name.size() > 255) {
    size_t dot = name.find_last_of('.');
    std::string extension =
        (dot != std::string::npos && name.size() - dot <= 16) ? name.substr(dot) : "";
    name =
        CutUtf8(name.substr(0, name.size() - extension.size()), 255 - extension.size()) + extension;
  }
  if (name.empty() || name == "." || name == "..") return fallback;
  return name;
}

// The device names of Windows: a file name whose part before the first dot (spaces at its end
// dropped) is one of these opens the device, whatever the extension.
static bool IsDeviceName(const std::string& name) {
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
  std::string stem = UpperAscii(name.substr(0, name.find('.')));
  stem.erase(stem.find_last_not_of(' ') + 1);
  for (const char* device : devices) {
    if (stem == device) return true;
  }
  bool numbered =
      stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0);
  return numbered && stem[3] >= '1' && stem[3] <= '9';
}

std::string ReservedNameProblem(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "";
  if (name.back() == '.' || name.back() == ' ')
    return "it ends with a dot or a space, which Windows drops from file names";
  if (IsDeviceName(name))
    return "it is a device name on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9)";
  return "";
}

const char WindowsForbiddenCharacters[] = "\\/:*?\"<>|";

std::string WindowsNameProblem(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (!IsValidUtf8(name)) return "it is not valid UTF-8";
  for (size_t i = 0; i < name.size(); i++) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    // C0 controls, DEL, and the C1 controls in their UTF-8 form (C2 80 to C2 9F).
    bool c1 = c == 0xC2 && (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80;
    if (c < 0x20 || c == 0x7F || c1) return "it holds a control character";
    if (std::strchr(WindowsForbiddenCharacters, c) != nullptr) {
      return std::string("it holds the character ") + static_cast<char>(c) +
             ", which Windows does not allow in file names";
    }
  }
  if (name == "." || name == "..") return "it is not a file name";
  return ReservedNameProblem(name);
}

// The multiplier of a size's unit: K, M, G, T and KiB ... TiB in powers of 1024, KB ... TB in
// powers of 1000, a bare B or nothing for bytes. 0 for anything else.
static uint64_t UnitMultiplier(const std::string& unit) {
  if (unit.empty() || unit == "B") return 1;
  const char* letter = std::strchr("KMGT", unit[0]);
  if (letter == nullptr) return 0;
  std::string tail = unit.substr(1);
  uint64_t base = tail.empty() || tail == "IB" ? 1024 : tail == "B" ? 1000 : 0;
  uint64_t multiplier = 1;
  for (const char* step = "KMGT"; step <= letter; step++) multiplier *= base;
  return multiplier;
}

bool ParseSizeText(const std::string& text, uint64_t* size) {
  static const struct {
    const char* name;
    uint64_t size;
  } named[] = {{"CD", 700ull << 20},
               {"DVD", 4700000000ull},
               {"FAT32", (4ull << 30) - 1},
               {"TELEGRAM", TelegramUploadLimit}};
  std::string upper = UpperAscii(text);
  for (const auto& n : named) {
    if (upper == n.name) {
      *size = n.size;
      return true;
    }
  }
  size_t i = upper.find_first_not_of("0123456789");
  if (i == std::string::npos) i = upper.size();
  if (i == 0 || i > 19) return false;  // 19 digits still fit in 64 bits
  size_t digits = i;
  std::string fraction;
  if (i < upper.size() && upper[i] == '.') {
    size_t end = upper.find_first_not_of("0123456789", i + 1);
    if (end == std::string::npos) end = upper.size();
    fraction = upper.substr(i + 1, end - i - 1);
    if (fraction.empty()) return false;
    i = end;
  }
  uint64_t multiplier = UnitMultiplier(upper.substr(i));
  if (multiplier == 0) return false;
  uint64_t whole = std::stoull(upper.substr(0, digits));
  if (whole > static_cast<uint64_t>(INT64_MAX) / multiplier) return false;
  // The fraction's share, rounded down, from its last digit to its first: the floor of
  // (d * multiplier + the share of the digits after d) / 10 needs only the floor of that share.
  uint64_t share = 0;
  for (size_t k = fraction.size(); k-- > 0;)
    share = (static_cast<uint64_t>(fraction[k] - '0') * multiplier + share) / 10;
  uint64_t value = whole * multiplier;
  if (value == 0 && share == 0) return false;
  if (share > static_cast<uint64_t>(INT64_MAX) - value) return false;
  *size = value + share;
  return true;
}

std::string FormatSize(int64_t bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes > -1024 && bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes);
  int unit = -1;
  while ((value >= 1024 || value <= -1024) && unit < 5) {
    value /= 1024;
    unit++;
  }
  char text[64];
  snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), for any 64-bit day count.
static void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(days - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2 ? 1 : 0);
}

std::string FormatFileTime(uint64_t fileTime) {
  UnixTime time = UnixTimeOfFileTime(fileTime);
  int64_t seconds = time.Seconds;
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t secondOfDay = seconds - days * 86400;
  int64_t year;
  unsigned month, day;
  CivilFromDays(days, &year, &month, &day);
  char text[96];
  snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%07llu UTC",
           static_cast<long long>(year), month, day, static_cast<long long>(secondOfDay / 3600),
           static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60),
           static_cast<unsigned long long>(time.Nanoseconds / 100));
  return text;
}

std::string Printable(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    // C0 controls, DEL, and the C1 controls in their UTF-8 form (C2 80 to C2 9F).
    bool c1 = c == 0xC2 && i + 1 < text.size() &&
              (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (c < 0x20 || c == 0x7F || c1) {
      char escape[16];
      if (c1) {
        snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(text[++i]));
      } else {
        snprintf(escape, sizeof escape, "\\x%02X", c);
      }
      result += escape;
    } else {
      result += static_cast<char>(c);
    }
  }
  return result;
}
