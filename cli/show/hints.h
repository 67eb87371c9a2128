// What the messages suggest: the word meant by a mistyped one, a name that Windows-1251 can
// write, the set a file name belongs to, and text padded to a width in characters.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// The one word of words that typed was most likely meant as: within two edits (an insertion, a
// deletion, a substitution or two neighbours swapped) or begun by typed; "" when there is none
// or when two are equally near.
std::string NearestWord(const std::string& typed, const std::vector<std::string>& words);

// A name to suggest in place of a UTF-8 name that cannot be used for a set: each character that
// Windows-1251 writes and Windows allows kept (Cyrillic too), Latin letters with diacritics
// written plain ("café" gives "cafe"), anything else "_"; no dot or space at the end, and a
// device name (CON, NUL, ...) given a "_" in front.
std::string SuggestedName(const std::string& name);

// A path as it can be pasted into a command line: in double quotes when it holds more than
// letters, digits and . _ - / (control characters shown as Printable shows them).
std::string PasteablePath(const std::string& path);

// The piece number a file name ends with (".c001" gives 1, any case, three digits or more), with
// the base before it; 0 when the name is not a piece's.
int32_t PieceNumberOfName(const std::string& name, std::string* base);
// The recovery row a file name ends with (".r01" is row 0, any case), or -1.
int32_t RecoveryRowOfName(const std::string& name);

// The characters of UTF-8 text as a terminal shows them, one column each (wide characters are
// not told apart), and the text padded with spaces to width such columns.
size_t DisplayWidth(const std::string& utf8);
std::string PadToWidth(const std::string& utf8, size_t width);
