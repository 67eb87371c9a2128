// The command line: tarnovell split | join | info | verify | repair | page, with --help for each
// and --version.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <functional>
#include <iostream>
#include <sstream>

#include "cli/app.h"
#include "cli/commands/commands.h"
#include "cli/commands/page.h"
#include "cli/help.h"
#include "cli/os/os.h"
#include "cli/set/output.h"
#include "cli/show/hints.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/progress.h"
#include "cli/show/text.h"
#include "container/layout.h"
#include "recovery/recovery_format.h"

// TARNOVELL_VERSION, the project's version, comes from the build (project() in CMakeLists.txt).

static void AddJsonFlag(CLI::App* command, bool* json) {
  command->add_flag("--json", *json,
                    "print one JSON object on standard output instead of the text (see "
                    "docs/reference.md); the exit code is the same");
}

static CLI::App* AddSplitCommand(CLI::App& app, SplitOptions* split, std::string* sizeText,
                                 std::string* numberText, std::string* recoveryText) {
  CLI::App* command =
      app.add_subcommand("split",
                         "Cut FILE into a set: BASE.exe (the joiner, the header, the first data) "
                         "and BASE.c001, BASE.c002, ...");
  command
      ->add_option("FILE", split->InputPath,
                   "the file to split; - reads standard input (needs --name; not with --number)")
      ->required()
      ->type_name("FILE");
  // One option under both names, so that the last one given wins.
  CLI::Option* size =
      command
          ->add_option("-b,--bytes,-s,--size", *sizeText,
                       "cap of every file split writes (recovery files and checksums too): bytes, "
                       "or with K, M, G, T (powers of 1024), KB, MB, GB, TB (powers of 1000), "
                       "decimals allowed (1.5G), or cd, dvd, fat32, telegram (2000 MiB, a "
                       "regular account's upload) (default 1G; the container also stays below "
                       "4 GiB)")
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
          ->type_name("SIZE");
  command
      ->add_option("-n,--number", *numberText,
                   "cut FILE into N files of equal size (the container among them) instead")
      ->type_name("N")
      ->excludes(size);
  command
      ->add_option("-d,--output-dir", split->OutputDir,
                   "folder for the set (default: the current folder)")
      ->type_name("DIR");
  command
      ->add_option("--name", split->Name,
                   "name proposed for the joined file (default: FILE's name)")
      ->type_name("NAME");
  command
      ->add_option("--base", split->Base,
                   "base name of the set (default: the --name, else FILE's name, without its "
                   "last extension)")
      ->type_name("BASE");
  command
      ->add_option("--stub", split->StubPath,
                   "start the container with this joiner image (exactly " +
                       std::to_string(StubSize) + " bytes) instead of the built-in one")
      ->type_name("IMAGE");
  command->add_flag(
      "-f,--force", split->Force,
      "replace existing files of the same names (never FILE itself), and the further pieces of an "
      "older set of the same base; make a set of more than " +
          std::to_string(SetFileLimit) + " files");
  command->add_flag("-q,--quiet", split->Quiet, "no progress bar, no summary");
  AddJsonFlag(command, &split->Json);
  command
      ->add_option("-r,--recovery", *recoveryText,
                   "also write N recovery files BASE.r01, BASE.r02, ... (1 to 254): any N files "
                   "of the set (of each group of 255 - N files, with -n) can then be rebuilt by "
                   "repair; or P% (such as 10%): N is P % of the files (of each group) rounded "
                   "to the nearest, at least 1")
      ->type_name("N|P%");
  command->add_flag("--checksums", split->Checksums,
                    "also write BASE.sha256: the SHA-256 of FILE and of every file of the set, "
                    "for sha256sum -c; verify and join check them");
  command->add_flag("--page", split->Page,
                    "also write BASE.html: a page that checks, repairs and joins the set in a "
                    "web browser, for receivers without Windows");
  return command;
}

static CLI::App* AddPageCommand(CLI::App& app, PageOptions* page) {
  CLI::App* command = app.add_subcommand(
      "page",
      "Write BASE.html beside a set: a page that checks, repairs and joins it in a web browser");
  command
      ->add_option("PATH", page->Path,
                   "the container (BASE.exe), or a piece or recovery file of the set")
      ->required()
      ->type_name("PATH");
  command->add_flag("-f,--force", page->Force, "replace an existing BASE.html");
  command->add_flag("-q,--quiet", page->Quiet, "no summary");
  return command;
}

// --progress and --no-progress of the commands that draw the line.
static void AddProgressFlags(CLI::App* command, bool* forced, bool* off) {
  CLI::Option* on =
      command->add_flag("--progress", *forced,
                        "draw the progress line even when standard error is not a terminal (at "
                        "the width in $COLUMNS, else 80); -q still wins");
  command
      ->add_flag("--no-progress", *off,
                 "draw no progress line, even on a terminal (as under pv, which draws its own); "
                 "the report stays, unlike with -q")
      ->excludes(on);
}

// A whole number of 1 or more, in decimal digits alone.
static bool ParseCount(const std::string& text, uint64_t* count) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *count = std::stoull(text);
  return *count > 0;
}

// --recovery: a count of recovery files (1 to MaxRecoveryRows), or a share of the files, "P%"
// (above 0, at most 100, decimals allowed).
static bool ParseRecovery(const std::string& text, SplitOptions* split) {
  uint64_t rows = 0;
  if (ParseCount(text, &rows)) {
    split->RecoveryRows = static_cast<int>(std::min<uint64_t>(rows, MaxRecoveryRows + 1));
    return rows <= static_cast<uint64_t>(MaxRecoveryRows);
  }
  std::string number = text.substr(0, text.size() - 1);
  if (text.size() < 2 || text.back() != '%' || number.size() > 12 ||
      number.find_first_not_of("0123456789.") != std::string::npos ||
      number.find_first_of("0123456789") != 0 || number.find('.') != number.rfind('.')) {
    return false;
  }
  split->RecoveryPercent = std::stod(number);
  return split->RecoveryPercent > 0 && split->RecoveryPercent <= 100;
}

// The container argument and the pieces' folder, as join, info and verify take them.
static void AddSetArguments(CLI::App* command, std::string* container, std::string* pieces,
                            const char* containerHelp) {
  command->add_option("CONTAINER", *container, containerHelp)->required()->type_name("CONTAINER");
  command
      ->add_option("-p,--pieces-dir", *pieces,
                   "folder holding the pieces (default: the container's folder)")
      ->type_name("DIR");
}

// The pieces' base name, for a container saved under another name than its set's.
static void AddPiecesBase(CLI::App* command, std::string* base) {
  command
      ->add_option("--pieces-base", *base,
                   "the pieces are NAME.c001, ... (default: the container's name without .exe; "
                   "a renamed container finds its set through its digests)")
      ->type_name("NAME");
}

static CLI::App* AddRepairCommand(CLI::App& app, RepairOptions* repair) {
  CLI::App* command =
      app.add_subcommand("repair",
                         "Find the missing and damaged files of a set through its recovery "
                         "files (BASE.r01, ...) and rebuild them in place");
  command
      ->add_option(
          "PATH", repair->Path,
          "the container (BASE.exe, lost or not), a piece, or one of the recovery files")
      ->required()
      ->type_name("PATH");
  command->add_flag("-q,--quiet", repair->Quiet,
                    "no progress bar, nothing printed for a whole set");
  command->add_flag("-f,--force", repair->Force,
                    "rebuild pieces a container condemns though most of them disagree with it, "
                    "and sets of more than " +
                        std::to_string(SetFileLimit) +
                        " files known from recovery files alone (each file replaced is kept)");
  AddPiecesBase(command, &repair->PiecesBase);
  AddJsonFlag(command, &repair->Json);
  return command;
}

static CLI::App* AddJoinCommand(CLI::App& app, JoinOptions* join) {
  CLI::App* command = app.add_subcommand(
      "join", "Join a set into the file it was cut from, without running the container");
  AddSetArguments(command, &join->ContainerPath, &join->PiecesDir,
                  "the container (BASE.exe); pieces are BASE.c001, ...");
  AddPiecesBase(command, &join->PiecesBase);
  command
      ->add_option("-o,--output", join->OutputPath,
                   "output file, or a folder for the name from the header (default: that name, "
                   "in the current folder); - writes to standard output")
      ->type_name("PATH");
  command->add_flag("-f,--force", join->Force, "replace an existing output file");
  command->add_flag("-q,--quiet", join->Quiet, "no progress bar, no summary");
  AddJsonFlag(command, &join->Json);
  return command;
}


static CLI::App* AddInfoCommand(CLI::App& app, std::string* container, std::string* pieces,
                                bool* json, std::string* piecesBase) {
  CLI::App* command = app.add_subcommand(
      "info", "Show the header of a container, the pieces found and whether the data adds up");
  AddSetArguments(command, container, pieces, "the container (BASE.exe)");
  AddJsonFlag(command, json);
  AddPiecesBase(command, piecesBase);
  return command;
}

static CLI::App* AddVerifyCommand(CLI::App& app, VerifyOptions* verify) {
  CLI::App* command =
      app.add_subcommand("verify",
                         "Check every piece of a set against the digests its container "
                         "carries, writing nothing; name missing, short, long and damaged pieces");
  AddSetArguments(command, &verify->ContainerPath, &verify->PiecesDir, "the container (BASE.exe)");
  AddPiecesBase(command, &verify->PiecesBase);
  command->add_flag("-q,--quiet", verify->Quiet,
                    "no progress bar, nothing printed for a whole set");
  AddJsonFlag(command, &verify->Json);
  return command;
}

// The long options a command takes, as typed ("--force").
static std::vector<std::string> LongOptionsOf(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  return names;
}

// The first word of a command line (after the program's name) that the tool does not know: a
// command, or a long option of the command given; and what was most likely meant by it.
struct UnknownWord {
  std::string Typed;  // "" when every word is known
  bool IsCommand = false;
  std::string Near;  // "" when nothing is near enough
};

static UnknownWord FindUnknownWord(const CLI::App& app, const std::vector<std::string>& args) {
  const CLI::App* command = nullptr;
  for (size_t i = 1; i < args.size() && args[i] != "--"; i++) {
    const std::string& arg = args[i];
    std::vector<std::string> names;
    if (command == nullptr && !arg.empty() && arg[0] != '-') {
      for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
      if (std::find(names.begin(), names.end(), arg) == names.end())
        return {arg, true, NearestWord(arg, names)};
      command = app.get_subcommand(arg);
    } else if (arg.compare(0, 2, "--") == 0 && arg.size() > 2) {
      std::string typed = arg.substr(0, arg.find('='));
      names = LongOptionsOf(command != nullptr ? *command : app);
      if (std::find(names.begin(), names.end(), typed) == names.end())
        return {typed, false, NearestWord(typed, names)};
    }
  }
  return {};
}

// CLI11's own messages, said as the tool says everything: "tarnovell: " in front, a guess at a
// mistyped command or option, and where to read more.
static void SetUsageMessage(CLI::App& app, const std::vector<std::string>& args) {
  app.failure_message([args](const CLI::App* self, const CLI::Error& error) {
    UnknownWord unknown = FindUnknownWord(*self, args);
    std::string text = "tarnovell: ";
    if (unknown.IsCommand) {
      std::string commands;
      for (const CLI::App* sub : self->get_subcommands({}))
        commands += (commands.empty() ? "" : ", ") + sub->get_name();
      text += "`" + Printable(unknown.Typed) + "` is not a command (" + commands + ")\n";
    } else {
      text += std::string(error.what()) + "\n";
    }
    if (!unknown.Near.empty()) text += "tarnovell: did you mean `" + unknown.Near + "`?\n";
    return text + "Run with --help for more information.\n";
  });
}

// split, once its texts are read: SIZE, N and the recovery count or share.
static int RunSplitCommand(const CLI::App& command, SplitOptions* split, const std::string& sizeText,
                           const std::string& numberText, const std::string& recoveryText) {
  if (*command.get_option("--size") && !ParseSizeText(sizeText, &split->PieceSize)) {
    CliPrint(CliErr,
             "tarnovell: --size: \"%s\" is not a size (a number of bytes above 0, perhaps with "
             "K, M, G, T, KB, MB, GB, TB; or cd, dvd, fat32, telegram)\n",
             Printable(sizeText).c_str());
    return ExitUsage;
  }
  if (*command.get_option("--size")) split->SizeText = sizeText;
  if (*command.get_option("--number") && !ParseCount(numberText, &split->Number)) {
    CliPrint(CliErr, "tarnovell: --number: \"%s\" is not a number of files of 1 or more\n",
             Printable(numberText).c_str());
    return ExitUsage;
  }
  if (*command.get_option("--recovery") && !ParseRecovery(recoveryText, split)) {
    CliPrint(CliErr,
             "tarnovell: --recovery: \"%s\" is neither a number of recovery files from 1 to %d "
             "nor a share of the files above 0%% and at most 100%% (such as 10%%)\n",
             Printable(recoveryText).c_str(), static_cast<int>(MaxRecoveryRows));
    return ExitUsage;
  }
  return RunSplit(*split);
}

// A command of split, join and repair with --json: its text report muted, and where it printed
// no object of its own (it stopped before its work was done), the error object.
static int WithJsonObject(bool json, const char* command, const std::string& path,
                          const char* pathKey, const std::function<int()>& run) {
  MuteTextReport(json);
  JsonPrinted();  // forgets an object of an earlier command of this process
  int code = run();
  MuteTextReport(false);
  if (json && !JsonPrinted()) OsWriteText(CliOut, JsonErrorObject(command, path, code, pathKey));
  return code;
}

static int RunCommandLine(int argc, char** argv) {
  CLI::App app{
      "Makes, joins and shows self-joining split sets (a Windows joiner program in front, "
      "then BASE.c001, BASE.c002, ...). Joining needs no Windows and runs no .exe.",
      "tarnovell"};
  app.set_version_flag("--version", std::string("tarnovell ") + TARNOVELL_VERSION);
  app.require_subcommand(1);
  // As in coreutils, the last of a repeated option wins (-o a -o b writes b): set for every
  // option before any is added, which the commands take over.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  SetUsageMessage(app, std::vector<std::string>(argv, argv + argc));
  SplitOptions split;
  JoinOptions join;
  std::string sizeText, numberText, recoveryText, infoContainer, infoPieces, infoPiecesBase;
  bool infoJson = false;
  CLI::App* splitCommand = AddSplitCommand(app, &split, &sizeText, &numberText, &recoveryText);
  CLI::App* joinCommand = AddJoinCommand(app, &join);
  AddInfoCommand(app, &infoContainer, &infoPieces, &infoJson, &infoPiecesBase);
  VerifyOptions verify;
  CLI::App* verifyCommand = AddVerifyCommand(app, &verify);
  RepairOptions repair;
  CLI::App* repairCommand = AddRepairCommand(app, &repair);
  PageOptions page;
  CLI::App* pageCommand = AddPageCommand(app, &page);
  bool forceProgress = false, noProgress = false;
  for (CLI::App* command : {splitCommand, joinCommand, verifyCommand, repairCommand})
    AddProgressFlags(command, &forceProgress, &noProgress);
  FinishHelp(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::ostringstream out, err;
    int code = app.exit(error, out, err);
    OsWriteText(CliOut, out.str());
    OsWriteText(CliErr, err.str());
    return code == 0 ? 0 : ExitUsage;
  }

  BeginTelling();
  InstallInterruptHandlers();
  ProgressForce(forceProgress, noProgress);
  ForgetSweptFolders();
  if (*splitCommand) {
    return WithJsonObject(split.Json, "split", split.InputPath, "input", [&] {
      return RunSplitCommand(*splitCommand, &split, sizeText, numberText, recoveryText);
    });
  }
  if (*joinCommand) {
    return WithJsonObject(join.Json, "join", join.ContainerPath, "container",
                          [&] { return RunJoinCommand(join); });
  }
  if (*verifyCommand) return RunVerify(verify);
  if (*repairCommand) {
    return WithJsonObject(repair.Json, "repair", repair.Path, "path",
                          [&] { return RunRepair(repair); });
  }
  if (*pageCommand) return RunPage(page);
  return RunInfo(infoContainer, infoPieces, infoJson, infoPiecesBase);
}

int RunCli(int argc, char** argv) { return FinishReport(RunCommandLine(argc, argv)); }

int RunCliArgs(const std::vector<std::string>& args) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& arg : copy) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  return RunCli(static_cast<int>(copy.size()), argv.data());
}
