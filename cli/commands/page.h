// The joiner page: BASE.html beside a set, one self-contained HTML file that checks, repairs and
// joins the set in a browser (page/). split --page writes it with the set; tarnovell page adds
// one to a set made before.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "cli/set/output.h"

// What the page tells the receiver before any file is picked; the files decide.
struct PageFacts {
  std::string Name;  // the joined file's name (UTF-8)
  int64_t Size = 0;
  std::string Base;    // the set's files are Base.exe, Base.c001, ...
  int64_t Pieces = 0;  // files of the set, the container among them (0: not known)
  int32_t RecoveryFiles = 0;
};

// True where this build carries the page; false after telling CliErr it does not.
bool PageAvailable();
// BASE.html of a set of base in folder ("" the current one).
std::string PagePath(const std::string& folder, const std::string& base);
// split --page: the page, written into a new output for target appended to *outputs, to be put in
// place with the set. ExitComplete, or ExitFileError after telling CliErr.
int WritePageOutput(const std::string& target, const PageFacts& facts, bool nameless,
                    std::vector<PendingOutput>* outputs);

struct PageOptions {
  std::string Path;  // the container, a piece or a recovery file of the set
  bool Force = false;
  bool Quiet = false;
};
// tarnovell page: writes BASE.html beside the set a path names.
int RunPage(const PageOptions& options);
