// The name field: the joined file's exact name in UTF-8, in record 1's filler right after its
// text, where readers that know only record 1 never look. Record 1 then holds the name's
// Windows-1251 rendering for them: each character as its 1251 byte, "_" for one that has none.
//
// From record 1's byte 1 + L (L: its length byte):
//   4  tag: 89 4E 41 4D ("\x89NAM")
//   1  U: the length of the name in UTF-8, 1 or more
//   U  the name in UTF-8
// within the record (1 + L + 5 + U <= 256); whatever follows is filler.
//
// The digest block's self-check covers the field, so a reader takes it only from a header whose
// digest block it takes (ReadDigestBlock), and only when it checks: shortest-form UTF-8 of
// characters up to U+10FFFF without surrogates; no control character (C0, DEL, C1) and none of
// \ / : * ? " < > |; not dots and spaces only, no dot or space at the end, not a device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with any extension); and its 1251 rendering is
// record 1's text byte for byte. A field that does not check is ignored: record 1 names the file,
// as in sets made before the field.
//
// Everything here is the stub's own code (no C library).
#pragma once

#include <stdint.h>

#include "base/byte_text.h"

enum : int32_t {
  NameFieldHeadSize = 5,  // the tag and the length byte
  NameWideSize = 256,     // the most UTF-16 units of a name from the field, and the final zero
};

// The Windows-1251 rendering of a UTF-8 name into out (255 bytes at the most) and its length in
// *outLength. False when the text is not shortest-form UTF-8 or renders to more than 255 bytes.
bool RenderName1251(const uint8_t* utf8, int32_t length, uint8_t* out, int32_t* outLength);

// Writes the field of a UTF-8 name into header, whose record 1 holds its rendering already (the
// digest block is written after it: its self-check covers the field). False, and header
// untouched, when the field does not fit the record or would not check.
bool WriteNameField(uint8_t* header, const uint8_t* utf8, int32_t length);

// The field of header, when it checks: its UTF-8 bytes in *utf8 and *length and, when wide is
// not null, the name in UTF-16 in wide (NameWideSize units), zero-terminated. The caller has
// taken the header's digest block. False when there is no field or it does not check.
bool ReadNameField(const uint8_t* header, const uint8_t** utf8, int32_t* length, WideChar* wide);
