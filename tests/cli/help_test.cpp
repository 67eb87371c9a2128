// The wrapping of --help texts: lines within the width, continuations under the text they
// continue, widths counted in characters.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/help.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Words(const std::string& text) {
  std::istringstream in(text);
  std::string all, word;
  while (in >> word) all += word + " ";
  return all;
}

TEST(CliHelp, WrapsUnderTheTextItContinues) {
  const std::string entry =
      "  64   bad command line; split: also a set of more than 1000 files without --force; split "
      "--recovery and repair where the build has no recovery files";
  const std::string example =
      "      three files of equal size and one recovery file, in the folder out";
  std::string wrapped = WrapHelpText(entry + "\n" + example, 40);
  EXPECT_EQ(Words(wrapped), Words(entry + " " + example));  // nothing lost, nothing split
  std::vector<std::string> lines = Lines(wrapped);
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 9), "  64   ba");
  for (const std::string& line : lines) EXPECT_LE(line.size(), 40u) << line;
  bool exampleSeen = false;
  for (size_t i = 1; i < lines.size(); i++) {
    bool startsExample = lines[i] == example.substr(0, lines[i].size());
    exampleSeen = exampleSeen || startsExample;
    // The exit code's continuations start under "bad", the example's under its own text.
    size_t indent = lines[i].find_first_not_of(' ');
    EXPECT_EQ(indent, exampleSeen ? 6u : 7u) << lines[i];
  }
  EXPECT_TRUE(exampleSeen);
}

TEST(CliHelp, CountsCharactersAndKeepsLongWordsWhole) {
  // Six words of five Cyrillic letters: 35 characters, 65 bytes, within 40 columns.
  const std::string cyrillic = "жжжжж жжжжж жжжжж жжжжж жжжжж жжжжж";
  EXPECT_EQ(WrapHelpText(cyrillic, 40), cyrillic);
  // A path wider than the room stands alone; the words around it still fit.
  const std::string path(50, 'x');
  std::vector<std::string> lines = Lines(WrapHelpText("give " + path + " or the folder", 40));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "give");
  EXPECT_EQ(lines[1], path);
  EXPECT_EQ(lines[2], "or the folder");
  EXPECT_EQ(WrapHelpText("one\n\ntwo", 40), "one\n\ntwo");  // blank lines kept
}

}  // namespace
