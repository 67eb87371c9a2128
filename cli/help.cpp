// The tool's --help at 80 columns: CLI11's listing, laid out by a formatter of ours (CLI11 does
// not wrap descriptions), with the exit codes and each command's examples.
#include "cli/help.h"

#include <memory>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/show/messages.h"

namespace {

// Where descriptions start in a listing of options or commands.
constexpr size_t HelpColumn = 26;

// Characters of UTF-8 text: every byte but the continuation bytes.
size_t TextWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

// The indent of a line's continuations: its own, or the column after its tag (see the header).
size_t HangingIndent(const std::string& line) {
  size_t text = line.find_first_not_of(' ');
  if (text == std::string::npos) return 0;
  size_t gap = line.find("  ", text);
  if (gap == std::string::npos) return text;
  size_t after = line.find_first_not_of(' ', gap);
  return after == std::string::npos ? text : TextWidth(line.substr(0, after));
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

// One line (no newline in it) wrapped, its continuations indented by hanging; the text up to a
// tag's gap is kept as it is.
std::string WrapLine(const std::string& line, size_t width, size_t hanging) {
  if (TextWidth(line) <= width) return line;
  size_t start = line.find_first_not_of(' ');
  size_t gap = line.find("  ", start);
  size_t kept = gap == std::string::npos ? start : line.find_first_not_of(' ', gap);
  std::string out = line.substr(0, kept), current = out;
  bool empty = true;  // no word yet on the current line
  for (const std::string& word : Words(line.substr(kept))) {
    if (!empty && TextWidth(current) + 1 + TextWidth(word) > width) {
      out += '\n' + std::string(hanging, ' ');
      current = std::string(hanging, ' ');
      empty = true;
    }
    std::string piece = empty ? word : ' ' + word;
    out += piece;
    current += piece;
    empty = false;
  }
  return out;
}

// "  TAG" padded to the column, then the description wrapped beside it (below it when the tag
// is too long), its continuations at the column.
std::string ListingEntry(const std::string& tag, const std::string& description) {
  std::string head = "  " + tag;
  std::string out = head;
  if (description.empty()) return out + '\n';
  if (TextWidth(head) + 2 > HelpColumn)
    out += '\n' + std::string(HelpColumn, ' ');
  else
    out += std::string(HelpColumn - TextWidth(head), ' ');
  std::string wrapped = WrapHelpText(description, HelpWidth - HelpColumn);
  for (char c : wrapped) {
    out += c;
    if (c == '\n') out += std::string(HelpColumn, ' ');
  }
  return out + '\n';
}

// What an option's value is called (SIZE, N, ...), without the validators CLI11 appends.
std::string Placeholder(const CLI::Option* option) {
  std::string type = option->get_type_name();
  return type.substr(0, type.find(':'));
}

// The name an option is shown under in a usage line: its first short name, else its first long.
std::string UsageName(const CLI::Option* option) {
  if (!option->get_snames().empty()) return "-" + option->get_snames().front();
  return "--" + option->get_lnames().front();
}

// Stands for a space inside one item of a usage line, so that no item is broken over two lines.
constexpr char UnbrokenSpace = '\x1F';

std::string UsageItem(const CLI::Option* option) {
  std::string item = UsageName(option);
  if (!Placeholder(option).empty()) item += UnbrokenSpace + Placeholder(option);
  return item;
}

class HelpFormatter : public CLI::Formatter {
 public:
  HelpFormatter() {
    column_width(HelpColumn);
    label("SUBCOMMAND", "COMMAND");
  }

  std::string make_option(const CLI::Option* option, bool positional) const override {
    std::string tag = make_option_name(option, positional);
    if (!positional && !Placeholder(option).empty()) tag += " " + Placeholder(option);
    return ListingEntry(tag, make_option_desc(option));
  }

  // The description, and the options this one cannot go with.
  std::string make_option_desc(const CLI::Option* option) const override {
    std::string description = option->get_description();
    std::string others;
    for (const CLI::Option* other : option->get_excludes())
      others += (others.empty() ? "" : ", ") + other->get_name();
    return others.empty() ? description : description + " (not with " + others + ")";
  }

  std::string make_subcommand(const CLI::App* command) const override {
    return ListingEntry(command->get_name(), command->get_description());
  }

  std::string make_description(const CLI::App* app) const override {
    std::string description = app->get_description();
    return description.empty() ? "" : WrapHelpText(description, HelpWidth) + "\n\n";
  }

  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string usage = get_label("Usage") + ": " + name + " " + UsageArguments(app);
    // Continuations line up after "Usage: tarnovell COMMAND".
    size_t hanging = TextWidth(get_label("Usage") + ": " + name + " ");
    std::string out = WrapLine(usage, HelpWidth, hanging);
    for (char& c : out)
      if (c == UnbrokenSpace) c = ' ';
    return out + '\n';
  }

  std::string make_footer(const CLI::App* app) const override {
    std::string footer = app->get_footer();
    return footer.empty() ? "" : WrapHelpText(footer, HelpWidth) + '\n';
  }

 private:
  // Every option ([-b SIZE | -n N] for options that exclude each other), then the positionals.
  std::string UsageArguments(const CLI::App* app) const {
    std::vector<std::vector<const CLI::Option*>> groups;
    for (const CLI::Option* option : app->get_options()) {
      if (!option->nonpositional()) continue;
      bool joined = false;
      for (auto& group : groups)
        if (option->get_excludes().count(const_cast<CLI::Option*>(group.front()))) {
          group.push_back(option);
          joined = true;
        }
      if (!joined) groups.push_back({option});
    }
    std::string out;
    for (const auto& group : groups) {
      std::string items;
      for (const CLI::Option* option : group)
        items += (items.empty() ? "" : std::string{UnbrokenSpace, '|', UnbrokenSpace}) +
                 UsageItem(option);
      out += "[" + items + "] ";
    }
    for (const CLI::Option* option : app->get_options())
      if (option->get_positional()) out += make_option_usage(option) + " ";
    if (!app->get_subcommands({}).empty()) out += get_label("SUBCOMMAND") + " ...";
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }
};

// What each exit code means, for the program's help; the codes are show/messages.h's.
const struct {
  CliExitCode Code;
  const char* Meaning;
} ExitCodeMeanings[] = {
    {ExitComplete, "done; join: complete; verify: whole; repair: repaired, or whole already"},
    {ExitMismatch, "possibly damaged: the joined file is kept, the pieces named"},
    {ExitFileError, "file-system error"},
    {ExitMissingPiece, "a piece is missing"},
    {ExitBadContainer, "not a valid container"},
    {ExitRefused, "refused: it would overwrite a file, or a name cannot be used"},
    {ExitUnchecked, "verify: no digests (the sizes add up, the contents cannot be checked)"},
    {ExitNotRepairable, "repair: not repairable (nothing changed)"},
    {ExitRowsNotMade,
     "repair: the set is whole (repaired or found so) but a recovery file could not be made "
     "again"},
    {ExitUsage,
     "bad command line; split: also a set of more than {limit} files without --force; "
     "split --recovery and repair where the build has no recovery files"},
    {ExitInterrupted, "interrupted"},
};

struct CommandExamples {
  const char* Command;
  const char* Examples;  // lines of "  COMMAND LINE" each followed by "      what it does"
};

const CommandExamples Examples[] = {
    {"split",
     "  tarnovell split film.mkv -s 700M\n"
     "      film.exe, film.c001, film.c002, ... of at most 700 MiB each, here\n"
     "  tarnovell split \"my film.avi\" -n 3 -r 1 -d out\n"
     "      three files of equal size and one recovery file, in the folder out\n"
     "  tar c photos | tarnovell split - --name photos.tar -s 1G --checksums\n"
     "      a set from standard input, with photos.sha256 for sha256sum -c\n"
     "  tarnovell split film.mkv -r 2 --page\n"
     "      with film.html, which joins the set in a browser (macOS, Linux, tablets)\n"},
    {"join",
     "  tarnovell join film.exe\n"
     "      the file under the name in the header (film.mkv), in the current folder\n"
     "  tarnovell join Downloads/film.exe -o Videos\n"
     "      the same, into the folder Videos\n"
     "  tarnovell join photos.exe -o - | tar x\n"
     "      the joined file to standard output\n"
     "  tarnovell join \"film (1).exe\" --pieces-base film\n"
     "      a renamed container, with the pieces film.c001, ...\n"},
    {"info",
     "  tarnovell info film.exe\n"
     "      the name, size and times in the header, and the pieces found\n"},
    {"verify",
     "  tarnovell verify film.exe && echo whole\n"
     "      every piece read and checked; exit code 0 only for a whole set\n"
     "  tarnovell verify film.exe --json\n"
     "      the same facts as one JSON object, for scripts\n"},
    {"repair",
     "  tarnovell repair film.exe\n"
     "      the missing and damaged files rebuilt from film.r01, film.r02, ...\n"
     "  tarnovell repair film.r01\n"
     "      the same when film.exe itself is lost\n"},
    {"page",
     "  tarnovell page film.exe\n"
     "      film.html beside the set: open it in a browser to check and join the set\n"},
};

// "Exit codes:", a line per code (the code in a column of five), and how to get a command's help.
std::string ExitCodesText() {
  std::string text = "Exit codes:\n";
  for (const auto& entry : ExitCodeMeanings) {
    std::string code = std::to_string(entry.Code);
    text += "  " + code + std::string(5 - code.size(), ' ') + entry.Meaning + "\n";
  }
  const std::string mark = "{limit}";
  text.replace(text.find(mark), mark.size(), std::to_string(SetFileLimit));
  return text + "\nRun \"tarnovell COMMAND --help\" for the options and examples of a command.";
}

std::string CommandFooter(const std::string& command) {
  std::string footer;
  for (const CommandExamples& entry : Examples)
    if (command == entry.Command) footer = std::string("Examples:\n") + entry.Examples + "\n";
  return footer + "Exit codes: listed by \"tarnovell --help\".";
}

}  // namespace

std::string WrapHelpText(const std::string& text, size_t width) {
  std::string out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    out += WrapLine(line, width, HangingIndent(line));
    if (end < text.size()) out += '\n';
    at = end + 1;
  }
  return out;
}

void FinishHelp(CLI::App& app) {
  auto formatter = std::make_shared<HelpFormatter>();
  app.formatter(formatter);
  app.footer(ExitCodesText());
  for (CLI::App* command : app.get_subcommands({})) {
    command->formatter(formatter);
    command->footer(CommandFooter(command->get_name()));
  }
}
