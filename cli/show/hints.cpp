#include "cli/show/hints.h"

#include <ctype.h>
#include <cstring>

#include <algorithm>
#include <sstream>

#include "cli/os/encoding.h"
#include "cli/show/text.h"
#include "container/layout.h"
#include "recovery/recovery_format.h"

// Edits between two words: insertions, deletions, substitutions and swaps of neighbours
// (the optimal string alignment distance).
static size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); i++) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); j++) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); i++) {
    for (size_t j = 1; j <= b.size(); j++) {
      size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::string NearestWord(const std::string& typed, const std::vector<std::string>& words) {
  // A short word is within two edits of too many others: one edit per three letters typed.
  size_t limit = std::min<size_t>(2, typed.size() / 3);
  std::string best;
  size_t bestDistance = limit + 1;
  bool tie = false;
  for (const std::string& word : words) {
    if (word == typed) return "";
    bool prefix = typed.size() >= 2 && word.compare(0, typed.size(), typed) == 0;
    size_t distance = prefix ? 0 : EditDistance(typed, word);
    if (distance < bestDistance) {
      best = word;
      bestDistance = distance;
      tie = false;
    } else if (distance == bestDistance && word != best) {
      tie = true;
    }
  }
  return tie ? "" : best;
}

// The plain letters of U+00C0 to U+017F, one word each ("-" where there is none).
static const char PlainLetters[] =
    "A A A A A A AE C E E E E I I I I D N O O O O O x O U U U U Y Th ss "
    "a a a a a a ae c e e e e i i i i d n o o o o o - o u u u u y th y "
    "A a A a A a C c C c C c C c D d D d E e E e E e E e E e G g G g G g G g H h H h "
    "I i I i I i I i I i IJ ij J j K k k L l L l L l L l L l N n N n N n n N n O o O o O o OE oe "
    "R r R r R r S s S s S s S s T t T t T t U u U u U u U u U u U u W w Y y Y Z z Z z Z z s";
static const uint32_t FirstPlainLetter = 0xC0;

// The plain form of a code point, "" when the table has none.
static std::string PlainLetter(uint32_t code) {
  static const std::vector<std::string> table = [] {
    std::vector<std::string> words;
    std::istringstream in(PlainLetters);
    for (std::string word; in >> word;) words.push_back(word == "-" ? "" : word);
    return words;
  }();
  if (code < FirstPlainLetter || code - FirstPlainLetter >= table.size()) return "";
  return table[code - FirstPlainLetter];
}

// The length of the UTF-8 sequence that starts at text[i] (1 for a stray byte), and its code
// point (0xFFFD for a stray byte).
static size_t NextCharacter(const std::string& text, size_t i, uint32_t* code) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || i + length > text.size()) {
    *code = 0xFFFD;
    return 1;
  }
  *code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; k++) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      *code = 0xFFFD;
      return 1;
    }
    *code = (*code << 6) | (next & 0x3F);
  }
  return length;
}

std::string SuggestedName(const std::string& name) {
  std::string out, bytes;
  for (size_t i = 0; i < name.size();) {
    uint32_t code;
    size_t length = NextCharacter(name, i, &code);
    std::string character = name.substr(i, length);
    i += length;
    std::string plain = PlainLetter(code);
    bool allowed = code >= 0x20 && code != 0x7F &&
                   (code >= 0x80 || std::strchr(WindowsForbiddenCharacters, code) == nullptr);
    if (allowed && Utf8ToCp1251(character, &bytes))
      out += character;
    else
      out += plain.empty() ? "_" : plain;
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  if (out.empty() || out == ".") return "_";
  return ReservedNameProblem(out).empty() ? out : "_" + out;
}

std::string PasteablePath(const std::string& path) {
  bool plain = !path.empty() && path.find_first_not_of(
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnop"
                                    "qrstuvwxyz0123456789._-/") == std::string::npos;
  return plain ? Printable(path) : "\"" + Printable(path) + "\"";
}

// The number after the last dot and letter of name (".c001": 1), when letter is lower-case
// there or upper-case and the digits are all there is after it; -1 otherwise.
static int64_t NumberAfter(const std::string& name, char letter, size_t* dot) {
  *dot = name.find_last_of('.');
  if (*dot == std::string::npos || *dot == 0 || name.size() - *dot < 3 ||
      tolower(static_cast<unsigned char>(name[*dot + 1])) != letter)
    return -1;
  std::string digits = name.substr(*dot + 2);
  if (digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(digits);
}

int32_t PieceNumberOfName(const std::string& name, std::string* base) {
  size_t dot;
  int64_t n = NumberAfter(name, 'c', &dot);
  if (n < 1 || n > INT32_MAX) return 0;
  char suffix[PieceSuffixSize];
  PieceSuffix(static_cast<int32_t>(n), suffix);
  if (name.compare(dot + 2, std::string::npos, suffix + 2) != 0) return 0;
  *base = name.substr(0, dot);
  return static_cast<int32_t>(n);
}

int32_t RecoveryRowOfName(const std::string& name) {
  size_t dot;
  int64_t row = NumberAfter(name, 'r', &dot) - 1;
  bool named = row >= 0 && row < MaxRecoveryRows &&
               RecoverySuffix(static_cast<int32_t>(row)).substr(2) == name.substr(dot + 2);
  return named ? static_cast<int32_t>(row) : -1;
}

size_t DisplayWidth(const std::string& utf8) {
  size_t width = 0;
  for (unsigned char c : utf8) width += (c & 0xC0) != 0x80 ? 1 : 0;
  return width;
}

std::string PadToWidth(const std::string& utf8, size_t width) {
  size_t shown = DisplayWidth(utf8);
  return shown >= width ? utf8 : utf8 + std::string(width - shown, ' ');
}
