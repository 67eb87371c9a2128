// The container: the stub image, then eight 256-byte header records, then the first payload.
// Further pieces are plain files named BASE.c001, BASE.c002, ...
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/byte_text.h"

enum : int32_t {
  StubSize = 28672,      // the stub image, padded to exactly this many bytes
  HeaderOffset = 28672,  // the header begins where the stub ends
  HeaderRecordSize = 256,
  HeaderRecordCount = 8,
  PayloadOffset = 30720,  // a constant of its own; never computed from the header
};

// One header record: a length byte, then that many text bytes, then filler nobody reads.
struct HeaderRecord {
  uint8_t Length;
  char Text[255];
};
static_assert(sizeof(HeaderRecord) == HeaderRecordSize, "a header record is 256 bytes");

// The records in file order, numbered from 0 (record 1 is index 0).
enum HeaderRecordIndex {
  RecordFileName,
  RecordTotalSize,
  RecordCreationLow,
  RecordCreationHigh,
  RecordLastAccessLow,
  RecordLastAccessHigh,
  RecordLastWriteLow,
  RecordLastWriteHigh,
};
static_assert(RecordLastWriteHigh == HeaderRecordCount - 1, "one index per record");

// Room for a piece suffix: ".c" and up to ten digits of a positive 32-bit number.
enum { PieceSuffixSize = 16 };

// ".c" + n in decimal, padded with "0" to at least three digits (n at least 1).
void PieceSuffix(int32_t n, char suffix[PieceSuffixSize]);
// base + ".exe" for n = 0, base + PieceSuffix(n) otherwise; cut to capacity - 1 characters.
template <typename C>
void PiecePathFor(C* path, size_t capacity, const C* base, int32_t n) {
  TextCopy(path, capacity, base);
  char suffix[PieceSuffixSize];
  if (n == 0)
    TextCopy(suffix, sizeof suffix, ".exe");
  else
    PieceSuffix(n, suffix);
  TextAppend(path, capacity, static_cast<const char*>(suffix));
}
// The base path of a container, from which its pieces are named: the characters of the
// container's path before the last ".EXE" in upper, the path upper-cased by the platform (which
// keeps the length). Returns their count; 0 when upper holds no ".EXE", which leaves the base
// path empty as well.
template <typename C>
size_t ContainerBaseLength(const C* upper, size_t length) {
  size_t cut = 0;
  for (size_t i = 0; i + 4 <= length; i++) {
    if (upper[i] == '.' && upper[i + 1] == 'E' && upper[i + 2] == 'X' && upper[i + 3] == 'E')
      cut = i;
  }
  return cut;
}
// The text of a record: its first Length bytes, zero-terminated (text holds 256 bytes).
void HeaderRecordText(const HeaderRecord& record, char text[HeaderRecordSize]);
// Integer text of the header (records 2 to 8): leading spaces, a sign, decimal or hexadecimal
// ("$", "x", "X", "0x", "0X") digits and nothing after them. False when the text is not valid.
bool TryParseHeaderInteger(const char* text, int64_t* value);
// As TryParseHeaderInteger, but an invalid text is a failure that ends the program through the
// process-wide failure report (EConvertError). Defined in stub/state/failure.cpp, beside that
// report: this layout is also linked into the command-line tool and the set writer, which have
// no window to show the report in and take the checked form above instead.
int64_t ParseHeaderInteger(const char* text);
