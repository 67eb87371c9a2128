// Texts of the tool: names, sizes, dates, printable messages. Names between UTF-8 and
// Windows-1251 are the system's to convert (os/encoding.h).
#pragma once

#include <stdint.h>

#include <string>

// The output name made from the header's name (untrusted UTF-8: the name field, or record 1
// converted from 1251): reduced to its last path component ("\", "/" and ":" all count), control
// characters removed, at most 255 bytes. fallback when nothing usable is left ("", ".", "..").
std::string SafeOutputName(const std::string& name, const std::string& fallback);
// Why a name cannot go into a set made for Windows (control characters, \ / : * ? " < > |, and
// the reserved names below), or "" when it can.
std::string WindowsNameProblem(const std::string& name);
// The characters Windows allows in no file name (besides the control characters).
extern const char WindowsForbiddenCharacters[];
// Why Windows would not keep a file of this name, though it holds only allowed characters: a
// device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with any extension) or a name
// ending in a dot or a space. "" when it would. Refused for the files of a set and for the
// joined file on every system: a set named that way is useless to a Windows user.
std::string ReservedNameProblem(const std::string& name);
// The largest file a regular (not Premium) Telegram account uploads: 4000 parts of 512 KiB, the
// most parts and the largest part Telegram's API takes from such an account (2000 MiB).
constexpr uint64_t TelegramUploadLimit = 4000ull * 512 * 1024;
// A size in bytes, in any case: digits, perhaps with a decimal fraction, then K, M, G, T or KiB,
// MiB, GiB, TiB (powers of 1024), KB, MB, GB, TB (powers of 1000), or nothing ("100M", "1.5G",
// "700MB", "30721"); or one of the names cd (700 MiB), dvd (4,700,000,000), fat32 (4 GiB - 1) and
// telegram (TelegramUploadLimit). A fraction of a byte is dropped. False for anything else, for 0
// and past 2^63 - 1.
bool ParseSizeText(const std::string& text, uint64_t* size);
// 1536 -> "1.5 KiB"; exact byte counts below 1024.
std::string FormatSize(int64_t bytes);
// A FILETIME value as "YYYY-MM-DD hh:mm:ss.fffffff UTC", for any 64-bit value.
std::string FormatFileTime(uint64_t fileTime);
// Text for a message: control bytes as \xNN, so that a hostile name cannot drive the terminal.
std::string Printable(const std::string& text);
