// The --json writer: strings escaped for JSON and made valid UTF-8, the members indented.
#include "cli/show/json.h"

#include <stdio.h>

#include "cli/os/os.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"

const char* JsonResultWord(int code) {
  switch (code) {
    case ExitComplete: return "complete";
    case ExitMismatch: return "possibly_damaged";
    case ExitFileError: return "file_error";
    case ExitMissingPiece: return "missing_pieces";
    case ExitBadContainer: return "not_a_container";
    case ExitRefused: return "refused";
    case ExitUnchecked: return "unchecked";
    case ExitNotRepairable: return "not_repairable";
    case ExitRowsNotMade: return "recovery_files_not_made";
    case ExitUsage: return "usage";
    case ExitInterrupted: return "interrupted";
    default: return "failed";
  }
}

bool JudgedSet(int code) {
  return code == ExitComplete || code == ExitMismatch || code == ExitMissingPiece ||
         code == ExitUnchecked;
}

std::string JsonErrorObject(const char* command, const std::string& path, int code,
                            const char* pathKey) {
  JsonWriter json;
  const char* reason = *ToldReason() != '\0' ? ToldReason() : JsonResultWord(code);
  json.Begin()
      .Field("command", command)
      .NameField(pathKey, path)
      .Field("error", JsonResultWord(code))
      .Field("reason", reason)
      .Field("message", ToldErrors())
      .Field("exit_code", code)
      .End();
  return json.Text();
}

// Whether a command's object went out (JsonPrint), since JsonPrinted last asked.
static bool ObjectPrinted = false;

void JsonPrint(const JsonWriter& json) {
  OsWriteText(CliOut, json.Text());
  ObjectPrinted = true;
}

bool JsonPrinted() {
  bool printed = ObjectPrinted;
  ObjectPrinted = false;
  return printed;
}

void JsonEndWith(JsonWriter* json, const char* word, int code) {
  json->Field("result", word);
  std::string told = ToldErrors();
  if (!told.empty()) json->Field("message", told);
  json->Field("exit_code", code).End();
}

// The length of the UTF-8 sequence at text[i], or 0 when none valid starts there.
static size_t Utf8Length(const std::string& text, size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  size_t length = c < 0x80                 ? 1
                  : c >= 0xC2 && c <= 0xDF ? 2
                  : c >= 0xE0 && c <= 0xEF ? 3
                  : c >= 0xF0 && c <= 0xF4 ? 4
                                           : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; k++)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  if (length == 1) return 1;
  unsigned char second = static_cast<unsigned char>(text[i + 1]);
  if (c == 0xE0 && second < 0xA0) return 0;   // overlong
  if (c == 0xED && second >= 0xA0) return 0;  // a surrogate
  if (c == 0xF0 && second < 0x90) return 0;   // overlong
  if (c == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
  return length;
}

bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0, length; i < text.size(); i += length)
    if ((length = Utf8Length(text, i)) == 0) return false;
  return true;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    size_t length = Utf8Length(text, i);
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (length == 0) {
      out += "\\ufffd";
      i++;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + "\"";
}

std::string IsoFileTime(uint64_t fileTime) {
  std::string text = FormatFileTime(fileTime);  // "YYYY-MM-DD hh:mm:ss.fffffff UTC"
  size_t space = text.find(' ');
  text[space] = 'T';
  return text.substr(0, text.size() - 4) + "Z";
}

void JsonWriter::Key(const char* key) {
  if (!firsts_.empty()) {
    text_ += firsts_.back() ? "\n" : ",\n";
    firsts_.back() = false;
  }
  text_.append(firsts_.size() * 2, ' ');
  if (key != nullptr && !closers_.empty() && closers_.back() == '}')
    text_ += JsonString(key) + ": ";
}

void JsonWriter::Open(const char* key, char bracket) {
  Key(key);
  text_ += bracket;
  firsts_.push_back(true);
  closers_.push_back(bracket == '{' ? '}' : ']');
}

JsonWriter& JsonWriter::Begin(const char* key) {
  Open(key, '{');
  return *this;
}

JsonWriter& JsonWriter::BeginArray(const char* key) {
  Open(key, '[');
  return *this;
}

JsonWriter& JsonWriter::End() {
  bool empty = firsts_.back();
  firsts_.pop_back();
  if (!empty) text_ += "\n" + std::string(firsts_.size() * 2, ' ');
  text_ += closers_.back();
  closers_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Field(const char* key, const std::string& text) {
  Key(key);
  text_ += JsonString(text);
  return *this;
}

JsonWriter& JsonWriter::Field(const char* key, const char* text) {
  return Field(key, std::string(text));
}

JsonWriter& JsonWriter::Field(const char* key, int64_t number) {
  Key(key);
  text_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::Field(const char* key, uint64_t number) {
  Key(key);
  text_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::Field(const char* key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::NameField(const char* key, const std::string& text) {
  Field(key, text);
  if (IsValidUtf8(text)) return *this;
  std::string hex;
  char byte[4];
  for (unsigned char c : text) {
    snprintf(byte, sizeof byte, "%02x", c);
    hex += byte;
  }
  return Field((std::string(key) + "_hex").c_str(), hex);
}
