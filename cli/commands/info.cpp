// info: the header in plain words and the walk a join would make, each file with its size.
#include "cli/commands/commands.h"
#include "cli/os/os.h"
#include "cli/os/paths.h"
#include "cli/set/digest.h"
#include "cli/set/pieces.h"
#include "cli/show/hints.h"
#include "cli/show/json.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"
#include "container/layout.h"

static void PrintHeader(const PieceSet& set) {
  const ContainerHead& head = set.Head;
  std::string name = head.Name;
  std::string safe = set.JoinedName();
  FILE* o = CliOut;
  CliPrint(o, "Container: %s\n", Printable(set.ContainerPath).c_str());
  CliPrint(o, "Name:      \"%s\"\n", Printable(name).c_str());
  if (safe != name)
    CliPrint(o, "           joined as \"%s\" (the name is reduced to a plain file name)\n",
             Printable(safe).c_str());
  if (safe[0] == '.')
    CliPrint(o, "           a hidden file's name: join writes it only to a path given with -o\n");
  std::string reserved = ReservedNameProblem(safe);
  if (!reserved.empty())
    CliPrint(o, "           not usable: %s; join writes it only under a name given with -o\n",
             reserved.c_str());
  CliPrint(o, "Size:      %lld bytes (%s)\n", static_cast<long long>(head.TotalSize),
           FormatSize(head.TotalSize).c_str());
  CliPrint(o, "Created:   %s\n", FormatFileTime(head.CreationTime).c_str());
  CliPrint(o, "Accessed:  %s\n", FormatFileTime(head.LastAccessTime).c_str());
  CliPrint(o, "Modified:  %s\n", FormatFileTime(head.LastWriteTime).c_str());
  CliPrint(o, "Pieces:    %s followed by .c001, .c002, ... in %s\n",
           Printable(set.BaseName).c_str(),
           set.Folder.empty() ? "the current folder" : Printable(set.Folder).c_str());
  CliPrint(o, "Digests:   %s\n", DigestCoverage(set).c_str());
  for (const std::string& line : ContainerPartLines(set, false))
    CliPrint(o, "Damaged:   %s\n", line.c_str());
}

// One file of the set as info found it.
struct InfoFile {
  int32_t Index = 0;  // 0: the container
  std::string Name;
  int64_t Size = 0;      // of the file
  int64_t DataSize = 0;  // of its data
  int64_t Expected = 0;  // the data the digest block gives it; DataSize in a set without one
  bool Judged = false;   // the set has a digest block, which gives every file its size
};

// What info found: the walk a join would make, each file, and the verdict. Both the text and the
// JSON are made from it.
struct InfoReport {
  std::vector<InfoFile> Files;
  WalkEnd End;
  int64_t WrongSizes = 0;  // files whose data is not the size the digest block gives
  std::string Unneeded;    // the file after a complete walk, which a join does not read ("": none)
  bool UnneededPastBlock = false;  // it is past the digest block's pieces (else: after the data)
  int Code = ExitComplete;
};

// info reads no data: a file is judged by its size alone.
static const char* SizeVerdict(const InfoFile& file) {
  if (!file.Judged) return "unchecked";
  return file.DataSize == file.Expected ? "good" : file.DataSize < file.Expected ? "short" : "long";
}

// In a set with a digest block: how a file's data differs in size from what the block gives it.
static std::string SizeNote(const InfoFile& file) {
  if (file.DataSize == file.Expected) return "";
  return std::string(", ") + SizeVerdict(file) + ": the set gives it " +
         (file.Index == 0 ? "data " : "") + std::to_string(file.Expected) + " bytes";
}

static InfoFile InfoFileOf(const PieceSet& set, const PieceFile& piece) {
  int64_t expected =
      set.Head.HasDigests ? ExpectedPayload(set.Head.Digests, piece.Index) : piece.DataSize;
  return InfoFile{piece.Index, LastComponent(piece.Path), piece.Info.Size, piece.DataSize,
                  expected,    set.Head.HasDigests};
}

// A file's name in the column of names: padded to its width in characters, not bytes, so that
// Cyrillic names keep the columns after them in line.
static std::string NameColumn(const std::string& name) { return PadToWidth(Printable(name), 28); }

static void PrintPiece(const InfoFile& piece) {
  std::string name = NameColumn(piece.Name);
  std::string note = SizeNote(piece);
  if (piece.Index == 0) {
    CliPrint(CliOut, "  %8d  %s %14lld bytes, data %lld bytes%s\n", 0, name.c_str(),
             static_cast<long long>(piece.Size), static_cast<long long>(piece.DataSize),
             note.c_str());
  } else {
    CliPrint(CliOut, "  %8d  %s %14lld bytes%s\n", piece.Index, name.c_str(),
             static_cast<long long>(piece.Size), note.c_str());
  }
}

// The file after a complete walk, which a join does not read.
static void FindUnneeded(const PieceSet& set, InfoReport* report) {
  const WalkEnd& end = report->End;
  bool walkedAll = end.Code == ExitComplete || end.Code == ExitMismatch;
  if (!walkedAll || end.Files == 0 || end.Files > INT32_MAX) return;
  report->Unneeded =
      FindFileIgnoringCase(set.Folder, set.PieceName(static_cast<int32_t>(end.Files)));
  report->UnneededPastBlock =
      set.Head.HasDigests && end.Files >= static_cast<int64_t>(set.Head.Digests.Image.PieceCount);
}

static void PrintUnneeded(const InfoReport& report) {
  if (report.Unneeded.empty()) return;
  CliPrint(CliOut, "  %8lld  %s %s\n", static_cast<long long>(report.End.Files),
           NameColumn(LastComponent(report.Unneeded)).c_str(),
           report.UnneededPastBlock ? "not of the set: its digest block gives fewer pieces"
                                    : "not needed: the data is complete before it");
}

static void PrintResult(const PieceSet& set, const InfoReport& report) {
  const WalkEnd& end = report.End;
  // What the recovery files beside the set can mend: a missing piece, or one of the wrong size.
  std::string repair = RepairCommand(set);
  if (!repair.empty()) repair = "; the recovery files beside the set can mend it: run `" + repair + "`";
  long long total = set.Head.TotalSize, found = end.Data, files = end.Files;
  long long wrongSizes = report.WrongSizes;
  FILE* o = CliOut;
  switch (end.Code) {
    case ExitComplete:
      if (ContainerPartDamaged(set.Head)) {
        CliPrint(o, "Result:    possibly damaged: the data adds up, but %s; %s\n",
                 set.Head.HeaderDamaged ? "the header is damaged" : "the joiner program is damaged",
                 ContainerPartRemedy(set).c_str());
        break;
      }
      if (wrongSizes > 0) {  // as join judges it
        CliPrint(o,
                 "Result:    possibly damaged: the data adds up, but %lld file%s not the size the "
                 "digest block gives%s\n",
                 wrongSizes, wrongSizes == 1 ? " is" : "s are", repair.c_str());
        break;
      }
      CliPrint(o, "Result:    complete: the data of %lld file%s adds up to %lld bytes\n", files,
               files == 1 ? "" : "s", total);
      break;
    case ExitMismatch:
      CliPrint(
          o,
          "Result:    possibly damaged: the files hold %lld bytes of data, the header gives "
          "%lld%s\n",
          found, total, repair.c_str());
      break;
    case ExitMissingPiece:
      CliPrint(o, "  %8lld  %s        missing (looked for %s)\n", files,
               NameColumn(set.PieceName(static_cast<int32_t>(files))).c_str(),
               Printable(end.Missing).c_str());
      CliPrint(o,
               "Result:    missing pieces: %lld of %lld bytes found, %lld still needed from piece "
               "%lld on%s\n",
               found, total, total - found, files, repair.c_str());
      break;
    case ExitFileError:
      CliPrint(o, "Result:    file-system error: %s\n", end.Failure.c_str());
      break;
    default: CliPrint(o, "Result:    %s\n", end.Failure.c_str()); break;
  }
}

// A word for a POSIX shell: as it is when plain, else in single quotes ("" when no shell
// takes it as it is: a control character).
static std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789._-+,") == std::string::npos)
    return text;
  std::string word = "'";
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "";
    word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return word + "'";
}

// The command that joins the set in its folder with a POSIX shell's own tools, for a receiver
// without this tool (nothing checked): the container's data from its byte PayloadOffset + 1, then
// the pieces in their order (named up to 9 of them; by seq past that, which counts past .c999 as
// the names do). "" when the number of pieces is not known, or a name is not one a shell takes.
static std::string PortableCommand(const PieceSet& set, const InfoReport& report) {
  int64_t files = set.Head.HasDigests ? set.Head.Digests.Image.PieceCount
                  : report.End.Code == ExitComplete ? report.End.Files
                                                    : 0;
  std::string container = ShellWord(LastComponent(set.ContainerPath));
  std::string output = ShellWord(set.JoinedName());
  if (files < 1 || container.empty() || output.empty() || set.JoinedName()[0] == '.') return "";
  std::string command =
      "tail -c +" + std::to_string(PayloadOffset + 1) + " " + container + " > " + output;
  if (files == 1) return command;
  command += " && ";
  if (files <= 10) {
    command += "cat";
    for (int32_t n = 1; n < files; n++) {
      std::string piece = ShellWord(set.PieceName(n));
      if (piece.empty()) return "";
      command += " " + piece;
    }
  } else {
    std::string base = ShellWord(set.BaseName + ".c");
    if (base.empty()) return "";
    command += "for i in $(seq -f %03g 1 " + std::to_string(files - 1) + "); do cat " + base +
               "\"$i\"; done";
  }
  return command + " >> " + output;
}

static void PrintInfoText(const PieceSet& set, const InfoReport& report) {
  PrintHeader(set);
  for (const InfoFile& file : report.Files) PrintPiece(file);
  PrintUnneeded(report);
  PrintResult(set, report);
  std::string portable = PortableCommand(set, report);
  if (!portable.empty())
    CliPrint(CliOut, "Without the tool (in the set's folder, a POSIX shell; nothing checked):\n  %s\n",
             portable.c_str());
}

static void PrintInfoJson(const PieceSet& set, const InfoReport& report) {
  JsonWriter json;
  json.Begin().Field("command", "info");
  JsonSetMembers(&json, set);
  json.BeginArray("files");
  for (const InfoFile& file : report.Files) {
    json.Begin().Field("piece", file.Index).NameField("name", file.Name).Field("size", file.Size);
    json.Field("data_size", file.DataSize);
    if (set.Head.HasDigests) json.Field("expected_data_size", file.Expected);
    json.Field("verdict", SizeVerdict(file)).End();
  }
  const WalkEnd& end = report.End;
  if (end.Code == ExitMissingPiece) {
    json.Begin()
        .Field("piece", end.Files)
        .NameField("name", set.PieceName(static_cast<int32_t>(end.Files)))
        .NameField("looked_for", end.Missing)
        .Field("verdict", "missing")
        .End();
  }
  if (!report.Unneeded.empty()) {
    json.Begin()
        .Field("piece", end.Files)
        .NameField("name", LastComponent(report.Unneeded))
        .Field("verdict", report.UnneededPastBlock ? "not_of_set" : "not_needed")
        .End();
  }
  json.End().Field("data_found", end.Data);
  std::string portable = PortableCommand(set, report);
  if (!portable.empty()) json.Field("portable_command", portable);
  // A walk that stopped before the set could be judged: why, as the text's result line says.
  bool judged = JudgedSet(report.Code);
  if (!judged) json.Field("failure", end.Failure);
  json.Field(judged ? "result" : "error", JsonResultWord(report.Code))
      .Field("exit_code", report.Code)
      .End();
  OsWriteText(CliOut, json.Text());
}

int RunInfo(const std::string& containerPath, const std::string& piecesDir, bool json,
            const std::string& piecesBase) {
  PieceSet set;
  int code = OpenPieceSet(containerPath, piecesDir, &set, piecesBase);
  if (code != ExitComplete) {
    if (json) OsWriteText(CliOut, JsonErrorObject("info", containerPath, code));
    return code;
  }
  InfoReport report;
  report.End = WalkPieces(set, [&](const PieceFile& piece, std::string*) {
    report.Files.push_back(InfoFileOf(set, piece));
    report.WrongSizes += report.Files.back().DataSize != report.Files.back().Expected;
    return static_cast<int>(ExitComplete);
  });
  FindUnneeded(set, &report);
  bool damaged = report.End.Code == ExitComplete &&
                 (report.WrongSizes > 0 || ContainerPartDamaged(set.Head));
  report.Code = damaged ? ExitMismatch : report.End.Code;
  if (json) {
    PrintInfoJson(set, report);
  } else {
    PrintInfoText(set, report);
  }
  return report.Code;
}
