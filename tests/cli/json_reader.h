// A strict reader of JSON for the tests of --json, independent of the tool's writer: the whole
// text must be one value (RFC 8259: no raw control characters in strings, valid UTF-8, no
// duplicate keys, nothing after the value but white space).
#pragma once

#include <ctype.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

struct JsonValue {
  enum Type { Null, Bool, Number, String, Array, Object } Kind = Null;
  bool Flag = false;
  std::string Text;  // a string's value, or a number as written
  std::vector<JsonValue> Items;
  std::vector<std::pair<std::string, JsonValue>> Members;

  bool Has(const std::string& key) const {
    for (const auto& member : Members)
      if (member.first == key) return true;
    return false;
  }
  // The member key; a null value when there is none.
  const JsonValue& operator[](const std::string& key) const {
    static const JsonValue none;
    for (const auto& member : Members)
      if (member.first == key) return member.second;
    return none;
  }
  const JsonValue& operator[](size_t i) const {
    static const JsonValue none;
    return i < Items.size() ? Items[i] : none;
  }
  int64_t Int() const { return Kind == Number ? strtoll(Text.c_str(), nullptr, 10) : -1; }
  std::string Str() const { return Kind == String ? Text : "<not a string>"; }
};

class JsonReader {
 public:
  // True with *value when text is one JSON value and nothing else; else false with Error().
  bool Read(const std::string& text, JsonValue* value) {
    text_ = text;
    at_ = 0;
    error_.clear();
    if (!ValidUtf8()) return Fail("not valid UTF-8");
    if (!Value(value, 0)) return false;
    Space();
    return at_ == text_.size() || Fail("text after the value");
  }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const std::string& why) {
    if (error_.empty()) error_ = why + " at byte " + std::to_string(at_);
    return false;
  }
  bool ValidUtf8() const {
    for (size_t i = 0; i < text_.size();) {
      unsigned char c = static_cast<unsigned char>(text_[i]);
      size_t more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
      if (more == 9 || i + more >= text_.size()) return false;
      uint32_t code = more == 0 ? c : c & (0x3F >> more);
      for (size_t k = 1; k <= more; k++) {
        unsigned char next = static_cast<unsigned char>(text_[i + k]);
        if ((next & 0xC0) != 0x80) return false;
        code = code << 6 | (next & 0x3F);
      }
      const uint32_t least[4] = {0, 0x80, 0x800, 0x10000};
      if (code < least[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
      i += more + 1;
    }
    return true;
  }
  void Space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
      at_++;
  }
  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      at_++;
      return true;
    }
    return false;
  }
  bool Word(const char* word) {
    std::string w = word;
    if (text_.compare(at_, w.size(), w) != 0) return Fail("unknown word");
    at_ += w.size();
    return true;
  }
  static void PutUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | code >> 6);
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xE0 | code >> 12);
      *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | code >> 18);
      *out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool Hex4(uint32_t* code) {
    if (at_ + 4 > text_.size()) return Fail("short \\u escape");
    std::string digits = text_.substr(at_, 4);
    if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return Fail("bad \\u escape");
    *code = static_cast<uint32_t>(strtoul(digits.c_str(), nullptr, 16));
    at_ += 4;
    return true;
  }
  bool Escape(std::string* out) {
    char c = at_ < text_.size() ? text_[at_++] : '\0';
    const std::string from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
    if (c != 'u') {
      size_t k = from.find(c);
      if (c == '\0' || k == std::string::npos) return Fail("bad escape");
      *out += to[k];
      return true;
    }
    uint32_t code;
    if (!Hex4(&code)) return false;
    if (code >= 0xD800 && code <= 0xDBFF) {  // a surrogate pair
      uint32_t low;
      if (text_.compare(at_, 2, "\\u") != 0) return Fail("lone surrogate");
      at_ += 2;
      if (!Hex4(&low) || low < 0xDC00 || low > 0xDFFF) return Fail("bad surrogate pair");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return Fail("lone surrogate");
    }
    PutUtf8(code, out);
    return true;
  }
  bool StringValue(std::string* out) {
    if (!Take('"')) return Fail("no string");
    out->clear();
    while (at_ < text_.size()) {
      char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("raw control character in a string");
      if (c != '\\') {
        *out += c;
      } else if (!Escape(out)) {
        return false;
      }
    }
    return Fail("unterminated string");
  }
  bool NumberValue(JsonValue* value) {
    size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') at_++;
    size_t digits = at_;
    while (at_ < text_.size() && isdigit(static_cast<unsigned char>(text_[at_]))) at_++;
    if (at_ == digits || (text_[digits] == '0' && at_ - digits > 1)) return Fail("bad number");
    value->Kind = JsonValue::Number;
    value->Text = text_.substr(start, at_ - start);  // the tool writes whole numbers only
    return true;
  }
  bool Value(JsonValue* value, int depth) {
    if (depth > 64) return Fail("nested too deep");
    Space();
    if (at_ >= text_.size()) return Fail("no value");
    char c = text_[at_];
    if (c == '{') return ObjectValue(value, depth);
    if (c == '[') return ArrayValue(value, depth);
    if (c == '"') {
      value->Kind = JsonValue::String;
      return StringValue(&value->Text);
    }
    if (c == 't' || c == 'f') {
      value->Kind = JsonValue::Bool;
      value->Flag = c == 't';
      return Word(c == 't' ? "true" : "false");
    }
    if (c == 'n') return Word("null");
    return NumberValue(value);
  }
  bool ArrayValue(JsonValue* value, int depth) {
    at_++;
    value->Kind = JsonValue::Array;
    if (Take(']')) return true;
    do {
      value->Items.emplace_back();
      if (!Value(&value->Items.back(), depth + 1)) return false;
    } while (Take(','));
    return Take(']') || Fail("no ] or ,");
  }
  bool ObjectValue(JsonValue* value, int depth) {
    at_++;
    value->Kind = JsonValue::Object;
    if (Take('}')) return true;
    do {
      std::string key;
      if (!StringValue(&key)) return false;
      if (value->Has(key)) return Fail("duplicate key " + key);
      if (!Take(':')) return Fail("no :");
      value->Members.emplace_back(key, JsonValue());
      if (!Value(&value->Members.back().second, depth + 1)) return false;
    } while (Take(','));
    return Take('}') || Fail("no } or ,");
  }

  std::string text_;
  size_t at_ = 0;
  std::string error_;
};
