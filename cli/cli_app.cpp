// The command line: tarnovell split | join | info, with --help for each and --version.
#include <CLI/CLI.hpp>

#include <iostream>
#include <sstream>

#include "cli/cli.h"

#ifndef TARNOVELL_VERSION
#define TARNOVELL_VERSION "1.7"
#endif

FILE* CliOut = stdout;
FILE* CliErr = stderr;

int RunCli(int argc, char** argv) {
  CLI::App app{"Makes, joins and shows self-joining split sets (a Windows joiner program in front,\n"
               "then BASE.c001, BASE.c002, ...). Joining needs no Windows and runs no .exe.",
               "tarnovell"};
  app.set_version_flag("--version", std::string("tarnovell ") + TARNOVELL_VERSION);
  app.require_subcommand(1);
  app.footer("Exit codes: 0 done (join: complete), 1 joined file possibly damaged, 2 file-system error,\n"
             "3 missing piece, 4 not a valid container, 5 refused (would overwrite, unusable name),\n"
             "64 bad command line, 130 interrupted.\n");

  SplitOptions split;
  std::string sizeText;
  CLI::App* splitCommand = app.add_subcommand("split", "Cut FILE into a set: BASE.exe (the joiner, the header, the first data) "
                                                       "and BASE.c001, BASE.c002, ...");
  splitCommand->add_option("FILE", split.InputPath, "the file to split")->required();
  splitCommand->add_option("-s,--size", sizeText,
                           "cap of every file of the set, in bytes or with K, M, G, T (powers of 1024): "
                           "100M, 1G (default 1G; the container also stays below 4 GiB)");
  splitCommand->add_option("-d,--output-dir", split.OutputDir, "folder for the set (default: the current folder)");
  splitCommand->add_option("-n,--name", split.Name,
                           "name proposed for the joined file (default: FILE's name; must have a Windows-1251 form)");
  splitCommand->add_option("-b,--base", split.Base,
                           "base name of the set (default: FILE's name without its last extension)");
  splitCommand->add_flag("-f,--force", split.Force, "replace existing files of the same names (never FILE itself)");
  splitCommand->add_flag("-q,--quiet", split.Quiet, "no progress bar, no summary");

  JoinOptions join;
  CLI::App* joinCommand = app.add_subcommand("join", "Join a set into the file it was cut from, without running the container");
  joinCommand->add_option("CONTAINER", join.ContainerPath, "the container (BASE.exe); pieces are BASE.c001, ...")->required();
  joinCommand->add_option("-o,--output", join.OutputPath,
                          "output file, or a folder for the name from the header (default: that name, in the current folder)");
  joinCommand->add_option("-p,--pieces-dir", join.PiecesDir, "folder holding the pieces (default: the container's folder)");
  joinCommand->add_flag("-f,--force", join.Force, "replace an existing output file");
  joinCommand->add_flag("-q,--quiet", join.Quiet, "no progress bar, no summary");

  std::string infoContainer, infoPieces;
  CLI::App* infoCommand = app.add_subcommand("info", "Show the header of a container, the pieces found and whether the data adds up");
  infoCommand->add_option("CONTAINER", infoContainer, "the container (BASE.exe)")->required();
  infoCommand->add_option("-p,--pieces-dir", infoPieces, "folder holding the pieces (default: the container's folder)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::ostringstream out, err;
    int code = app.exit(error, out, err);
    fputs(out.str().c_str(), CliOut);
    fputs(err.str().c_str(), CliErr);
    return code == 0 ? 0 : ExitUsage;
  }

  InstallInterruptHandlers();
  if (*splitCommand) {
    if (!sizeText.empty() && !ParseSizeText(sizeText, &split.PieceSize)) {
      fprintf(CliErr, "tarnovell: --size: \"%s\" is not a size (digits, then K, M, G or T)\n", Printable(sizeText).c_str());
      return ExitUsage;
    }
    return RunSplit(split);
  }
  if (*joinCommand) return RunJoinCommand(join);
  return RunInfo(infoContainer, infoPieces);
}

int RunCliArgs(const std::vector<std::string>& args) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& arg : copy) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  return RunCli(static_cast<int>(copy.size()), argv.data());
}
