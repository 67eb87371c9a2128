#include "container/name_field.h"

#include "container/layout.h"

static const uint8_t NameTag[4] = {0x89, 'N', 'A', 'M'};

// The next character of a UTF-8 text at text[*at] (shortest form, no surrogates, at most
// U+10FFFF), *at moved past it; -1 when there is none there.
static int32_t NextCharacter(const uint8_t* text, int32_t length, int32_t* at) {
  uint32_t lead = text[*at];
  int32_t more = lead < 0x80   ? 0
                 : lead < 0xC2 ? -1
                 : lead < 0xE0 ? 1
                 : lead < 0xF0 ? 2
                 : lead < 0xF5 ? 3
                               : -1;
  if (more < 0 || *at + more >= length) return -1;
  uint32_t character = more == 0 ? lead : lead & (0x3F >> more);
  for (int32_t k = 1; k <= more; k++) {
    uint32_t next = text[*at + k];
    if ((next & 0xC0) != 0x80) return -1;
    character = character << 6 | (next & 0x3F);
  }
  // The shortest form: the least character of each length, and no surrogate halves.
  static const uint32_t Least[4] = {0, 0x80, 0x800, 0x10000};
  if (character < Least[more] || character > 0x10FFFF || (character >> 11) == 0x1B) return -1;
  *at += more + 1;
  return static_cast<int32_t>(character);
}

// A character no file name of the field may hold: a control character or one Windows forbids.
static bool ForbiddenCharacter(int32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return true;
  for (const char* f = "\\/:*?\"<>|"; *f != 0; f++)
    if (c == *f) return true;
  return false;
}

// Walks a UTF-8 text: renders it in Windows-1251 into render (RenderLimit bytes), and writes it
// in UTF-16 into wide when that is not null. With names, every character must be one a file name
// may hold. The rendering's length, or -1 when the text is not valid or does not fit.
enum : int32_t { RenderLimit = 255 };
static int32_t WalkName(const uint8_t* utf8, int32_t length, bool names, uint8_t* render,
                        WideChar* wide) {
  int32_t rendered = 0;
  int32_t units = 0;
  for (int32_t at = 0; at < length;) {
    int32_t c = NextCharacter(utf8, length, &at);
    if (c < 0 || (names && ForbiddenCharacter(c)) || rendered == RenderLimit) return -1;
    uint8_t byte = Cp1251Of(static_cast<uint32_t>(c));
    render[rendered++] = byte != 0 ? byte : '_';
    if (wide == nullptr) continue;
    if (c >= 0x10000) {
      wide[units++] = static_cast<WideChar>(0xD800 + ((c - 0x10000) >> 10));
      c = 0xDC00 + (c & 0x3FF);
    }
    wide[units++] = static_cast<WideChar>(c);
  }
  if (wide != nullptr) wide[units] = 0;
  return rendered;
}

static uint8_t UpperAscii(uint8_t c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// A device name of Windows: the part before the first dot, spaces at its end dropped, is CON,
// PRN, AUX, NUL, or COM or LPT and a digit 1 to 9.
static bool IsDeviceName(const uint8_t* name, int32_t length) {
  int32_t stem = 0;
  while (stem < length && name[stem] != '.') stem++;
  while (stem > 0 && name[stem - 1] == ' ') stem--;
  uint8_t upper[4];
  if (stem < 3 || stem > 4) return false;
  for (int32_t i = 0; i < stem; i++) upper[i] = UpperAscii(name[i]);
  static const char Devices[] = "CONPRNAUXNULCOMLPT";
  for (int32_t d = 0; d < 18; d += 3) {
    if (upper[0] != Devices[d] || upper[1] != Devices[d + 1] || upper[2] != Devices[d + 2])
      continue;
    if (d < 12) return stem == 3;
    return stem == 4 && upper[3] >= '1' && upper[3] <= '9';
  }
  return false;
}

// A name Windows keeps as it is and opens as a file: not dots and spaces only, no dot or space at
// its end, no device name.
static bool KeepableName(const uint8_t* name, int32_t length) {
  uint8_t last = name[length - 1];
  return last != '.' && last != ' ' && !IsDeviceName(name, length);
}

bool RenderName1251(const uint8_t* utf8, int32_t length, uint8_t* out, int32_t* outLength) {
  *outLength = WalkName(utf8, length, false, out, nullptr);
  return *outLength >= 0;
}

// The field's checks; its UTF-8 bytes at utf8 and length, and the UTF-16 form into wide.
static bool FieldChecks(const uint8_t* header, const uint8_t* utf8, int32_t length,
                        WideChar* wide) {
  uint8_t render[RenderLimit];
  int32_t recordLength = header[0];
  if (length < 1 || WalkName(utf8, length, true, render, wide) != recordLength ||
      !KeepableName(utf8, length))
    return false;
  for (int32_t i = 0; i < recordLength; i++)
    if (render[i] != header[1 + i]) return false;
  return true;
}

bool WriteNameField(uint8_t* header, const uint8_t* utf8, int32_t length) {
  int32_t at = 1 + header[0];
  if (length < 1 || at + NameFieldHeadSize + length > HeaderRecordSize ||
      !FieldChecks(header, utf8, length, nullptr))
    return false;
  CopyBytes(header + at, NameTag, sizeof NameTag);
  header[at + 4] = static_cast<uint8_t>(length);
  CopyBytes(header + at + NameFieldHeadSize, utf8, static_cast<size_t>(length));
  return true;
}

bool ReadNameField(const uint8_t* header, const uint8_t** utf8, int32_t* length, WideChar* wide) {
  int32_t at = 1 + header[0];
  if (at + NameFieldHeadSize > HeaderRecordSize) return false;
  for (int32_t i = 0; i < 4; i++)
    if (header[at + i] != NameTag[i]) return false;
  *length = header[at + 4];
  *utf8 = header + at + NameFieldHeadSize;
  return at + NameFieldHeadSize + *length <= HeaderRecordSize &&
         FieldChecks(header, *utf8, *length, wide);
}
