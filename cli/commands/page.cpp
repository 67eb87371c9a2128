// The joiner page written beside a set: the page the build made (page/, embedded as PageImage),
// with what it should tell about this set before any file is picked.
#include "cli/commands/page.h"

#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/pieces.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"
#include "recovery/recovery_format.h"

// The page as the build made it; PageImageSize 0 where the build had no WebAssembly tools.
extern const unsigned char PageImage[];
extern const size_t PageImageSize;

static const char SetMark[] = "<!--SET-->";

bool PageAvailable() {
  if (PageImageSize > 0) return true;
  CliPrint(CliErr,
           "tarnovell: this build has no joiner page: it was built without the WebAssembly tools "
           "(see docs/developers.md)\n");
  return false;
}

std::string PagePath(const std::string& folder, const std::string& base) {
  return JoinPath(folder, base + ".html");
}

// The page with the set's facts in place of its mark, as JSON that no "<" can end early.
static std::string PageText(const PageFacts& facts) {
  JsonWriter json;
  json.Begin().Field("name", facts.Name).Field("size", facts.Size).Field("base", facts.Base);
  json.Field("pieces", facts.Pieces).Field("recovery", int64_t{facts.RecoveryFiles}).End();
  std::string object, text = json.Text();
  for (char c : text) object += c == '<' ? std::string("\\u003c") : std::string(1, c);
  std::string page(reinterpret_cast<const char*>(PageImage), PageImageSize);
  size_t mark = page.find(SetMark);
  if (mark != std::string::npos)
    page.replace(mark, sizeof SetMark - 1,
                 "<script type=\"application/json\" id=\"set\">" + object + "</script>");
  return page;
}

static int PageFailure(const std::string& target) {
  CliPrint(CliErr, "tarnovell: file system error: writing %s: %s\n", Printable(target).c_str(),
           OsErrorText(OsLastError()).c_str());
  return ExitFileError;
}

int WritePageOutput(const std::string& target, const PageFacts& facts, bool nameless,
                    std::vector<PendingOutput>* outputs) {
  std::string text = PageText(facts);
  outputs->emplace_back();
  PendingOutput& out = outputs->back();
  if (!out.Create(target, ".tarnovell-split-", nameless) ||
      !OsWriteAt(out.File(), text.data(), text.size(), 0) || !out.Finish())
    return PageFailure(target);
  return ExitComplete;
}

// The recovery files beside a set: BASE.r01, BASE.r02, ... as far as they follow on.
static int32_t RecoveryFilesBeside(const PieceSet& set) {
  int32_t rows = 0;
  OsFileInfo info;
  while (rows < MaxRecoveryRows &&
         OsProbe(JoinPath(set.Folder, set.BaseName + RecoverySuffix(rows)), &info) &&
         info.Kind == OsKind::Regular)
    rows++;
  return rows;
}

int RunPage(const PageOptions& options) {
  if (!PageAvailable()) return ExitUsage;
  PieceSet set;
  int code = OpenPieceSet(options.Path, "", &set);
  if (code != ExitComplete) return code;
  PageFacts facts;
  facts.Name = set.Head.Name;
  facts.Size = set.Head.TotalSize;
  facts.Base = LastComponent(set.BaseName);
  facts.Pieces = set.Head.HasDigests ? set.Head.Digests.Image.PieceCount : 0;
  facts.RecoveryFiles = RecoveryFilesBeside(set);
  std::string target = PagePath(set.Folder, facts.Base);
  OsFileInfo info;
  if (!options.Force && OsProbe(target, &info, false) && info.Kind != OsKind::Missing)
    return Refuse(Printable(target) + " exists; give --force to replace it");
  std::vector<PendingOutput> outputs;
  code = WritePageOutput(target, facts, false, &outputs);
  if (code != ExitComplete) return code;
  if (!outputs.back().Commit(options.Force)) return PageFailure(target);
  if (!options.Quiet)
    CliPrint(CliOut, "%s: the joiner page of %s\n", Printable(target).c_str(),
             Printable(facts.Name).c_str());
  return ExitComplete;
}
