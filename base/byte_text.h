// Byte texts in the system's ANSI code page: small helpers that need no C library, so the
// Windows stub can use them as they are.
#pragma once

#include <stddef.h>
#include <stdint.h>

size_t TextLength(const char* text);
// Copies at most capacity - 1 bytes of text and always terminates; returns the length copied.
size_t TextCopy(char* target, size_t capacity, const char* text);
// Appends like TextCopy, after what target already holds.
size_t TextAppend(char* target, size_t capacity, const char* text);
bool TextEqual(const char* a, const char* b);
void FillZero(void* target, size_t count);
void CopyBytes(void* target, const void* source, size_t count);
// n / divisor and its remainder, by shift and subtract: the stub has no 64-bit division
// routines of the compiler's library (a kilobyte of code) to call.
uint64_t DivideWide(uint64_t n, uint32_t divisor, uint32_t* remainder);
// Decimal digits of value, with a minus sign when negative; returns the length written.
size_t FormatInt64(char* target, size_t capacity, int64_t value);
// A path delimiter: a backslash, a slash or a colon. Windows' file calls take the slash for a
// backslash, so a name that holds one names a folder too. The same rule in every build.
bool IsPathDelimiter(char c);
// The part of path after its last delimiter (the whole path when it has none).
const char* LastPathComponent(const char* path);
// The last path component as a name of a file in the current folder: the empty text when it is
// made of dots and spaces only (".", "..": Windows drops trailing dots and spaces, so such a
// name is a folder, never a new file).
const char* PlainFileName(const char* path);
