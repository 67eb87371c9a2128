// The --json output of the commands: a small writer of one JSON object, indented, with every
// string valid UTF-8 and escaped (a byte that is not part of valid UTF-8 becomes U+FFFD; file
// names that hold such bytes also get their bytes in hex, in a field NAME_hex beside).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

class JsonWriter {
 public:
  // Members of the object being written; key is ignored inside an array.
  JsonWriter& Begin(const char* key = nullptr);  // an object
  JsonWriter& BeginArray(const char* key = nullptr);
  JsonWriter& End();  // of the innermost object or array
  JsonWriter& Field(const char* key, const std::string& text);
  JsonWriter& Field(const char* key, const char* text);
  JsonWriter& Field(const char* key, int64_t number);
  JsonWriter& Field(const char* key, uint64_t number);
  JsonWriter& Field(const char* key, int32_t number) { return Field(key, int64_t{number}); }
  JsonWriter& Field(const char* key, bool value);
  // text, and when it is not valid UTF-8, its bytes in hex under key + "_hex" too.
  JsonWriter& NameField(const char* key, const std::string& text);
  // The text written: a whole object once every Begin was ended; ends with a newline.
  std::string Text() const { return text_ + "\n"; }

 private:
  void Key(const char* key);
  void Open(const char* key, char bracket);
  std::string text_;
  std::vector<bool> firsts_;  // per open object or array: nothing in it yet
  std::vector<char> closers_;
};

// The word for an exit code, as "result" and "error" give it ("complete", "possibly_damaged",
// "missing_pieces", "not_a_container", ...).
const char* JsonResultWord(int code);
// Whether an exit code of info or verify is a verdict on the set ("result": complete, possibly
// damaged, missing pieces, unchecked) rather than a failure to judge it ("error").
bool JudgedSet(int code);
// The object for a command that ended before it could judge the set or finish its work (the
// container missing or not a container, a file that could not be read or written, a refusal, an
// interruption): "command", the path under pathKey, "error" (the exit code's word), "reason"
// (finer where the command knows it: "exists", "no_room", ...; else the same word), "message"
// (what it told on CliErr) and "exit_code".
std::string JsonErrorObject(const char* command, const std::string& path, int code,
                            const char* pathKey = "container");
// Writes a whole object on CliOut (the report, muted for --json, is not in its way).
void JsonPrint(const JsonWriter& json);
// Whether JsonPrint has written an object since the last call (which forgets it): a command that
// ended without one gets the error object.
bool JsonPrinted();
// The last members of a command's object, and its end: "result" (word), "message" when the
// command told anything on CliErr (warnings, or why the result is not complete), "exit_code".
void JsonEndWith(JsonWriter* json, const char* word, int code);

// text as a JSON string, quotes included.
std::string JsonString(const std::string& text);
// Whether text is valid UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(const std::string& text);
// A FILETIME value as ISO 8601 UTC ("2019-12-31T23:59:59.1234567Z"), from FormatFileTime's text
// (a year past 9999 gets five digits).
std::string IsoFileTime(uint64_t fileTime);
