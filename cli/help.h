// The tool's --help, as users read it in an 80-column terminal: every description wrapped under a
// hanging indent, each option with its placeholder (FILE, SIZE, N, ...), a usage line that names
// every option, the exit codes in the program's help and examples under each command's.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>

// No line of any --help is wider than this: within 80 columns, and one short of them, since a
// Windows console moves to the next line as soon as its last column is written, so that a full
// line would be followed by an empty one.
constexpr size_t HelpWidth = 79;

// Wraps each line of text at width characters (UTF-8), breaking between words. A continuation
// line is indented like the line it continues, or, when that line starts with a tag followed by
// two spaces or more ("  130  interrupted ..."), to where the text after the tag starts. A word
// longer than the room left stands alone on its line.
std::string WrapHelpText(const std::string& text, size_t width);

// Gives app and each of its commands the formatter above, and each command its examples and a
// pointer to the exit codes, which the program's help lists once. Call after every command is
// added.
void FinishHelp(CLI::App& app);
