// info: the header in plain words and the walk a join would make, each file with its size.
#include "cli/cli.h"
#include "cli/cli_digest.h"
#include "cli/cli_hints.h"
#include "cli/cli_paths.h"
#include "cli/cli_pieces.h"

static void PrintHeader(const PieceSet& set) {
  const ContainerHead& head = set.Head;
  std::string name = Cp1251ToUtf8(head.NameBytes);
  std::string safe = SafeOutputName(head.NameBytes, set.BaseName.empty() ? "joined" : set.BaseName);
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
}

// A file's name in the column of names: padded to its width in characters, not bytes, so that
// Cyrillic names keep the columns after them in line.
static std::string NameColumn(const std::string& name) { return PadToWidth(Printable(name), 28); }

// In a set with a digest block: how a file's data differs in size from what the block gives it.
static std::string SizeNote(const PieceSet& set, const PieceFile& piece) {
  int64_t expected =
      set.Head.HasDigests ? ExpectedPayload(set.Head.Digests, piece.Index) : piece.DataSize;
  if (piece.DataSize == expected) return "";
  return std::string(piece.DataSize < expected ? ", short" : ", long") + ": the set gives it " +
         (piece.Index == 0 ? "data " : "") + std::to_string(expected) + " bytes";
}

static int PrintPiece(const PieceSet& set, const PieceFile& piece) {
  std::string name = NameColumn(LastComponent(piece.Path));
  std::string note = SizeNote(set, piece);
  if (piece.Index == 0) {
    CliPrint(CliOut, "  %8d  %s %14lld bytes, data %lld bytes%s\n", 0, name.c_str(),
             static_cast<long long>(piece.Info.Size), static_cast<long long>(piece.DataSize),
             note.c_str());
  } else {
    CliPrint(CliOut, "  %8d  %s %14lld bytes%s\n", piece.Index, name.c_str(),
             static_cast<long long>(piece.Info.Size), note.c_str());
  }
  return ExitComplete;
}

// The file after a complete walk, which a join does not read.
static void PrintUnneeded(const PieceSet& set, const WalkEnd& end) {
  bool walkedAll = end.Code == ExitComplete || end.Code == ExitMismatch;
  if (!walkedAll || end.Files == 0 || end.Files > INT32_MAX) return;
  std::string next =
      FindFileIgnoringCase(set.Folder, set.PieceName(static_cast<int32_t>(end.Files)));
  if (next.empty()) return;
  bool pastBlock =
      set.Head.HasDigests && end.Files >= static_cast<int64_t>(set.Head.Digests.Image.PieceCount);
  CliPrint(CliOut, "  %8lld  %s %s\n", static_cast<long long>(end.Files),
           NameColumn(LastComponent(next)).c_str(),
           pastBlock ? "not of the set: its digest block gives fewer pieces"
                     : "not needed: the data is complete before it");
}

static void PrintResult(const PieceSet& set, const WalkEnd& end) {
  long long total = set.Head.TotalSize, found = end.Data, files = end.Files;
  FILE* o = CliOut;
  switch (end.Code) {
    case ExitComplete:
      CliPrint(o, "Result:    complete: the data of %lld file%s adds up to %lld bytes\n", files,
               files == 1 ? "" : "s", total);
      break;
    case ExitMismatch:
      CliPrint(
          o,
          "Result:    possibly damaged: the files hold %lld bytes of data, the header gives %lld\n",
          found, total);
      break;
    case ExitMissingPiece:
      CliPrint(o, "  %8lld  %s        missing (looked for %s)\n", files,
               NameColumn(set.PieceName(static_cast<int32_t>(files))).c_str(),
               Printable(end.Missing).c_str());
      CliPrint(o,
               "Result:    missing pieces: %lld of %lld bytes found, %lld still needed from piece "
               "%lld on\n",
               found, total, total - found, files);
      break;
    case ExitFileError:
      CliPrint(o, "Result:    file-system error: %s\n", end.Failure.c_str());
      break;
    default: CliPrint(o, "Result:    %s\n", end.Failure.c_str()); break;
  }
}

int RunInfo(const std::string& containerPath, const std::string& piecesDir,
            const std::string& piecesBase) {
  PieceSet set;
  int code = OpenPieceSet(containerPath, piecesDir, &set, piecesBase);
  if (code != ExitComplete) return code;
  PrintHeader(set);
  long long wrongSizes = 0;
  WalkEnd end = WalkPieces(set, [&](const PieceFile& piece, std::string*) {
    wrongSizes += SizeNote(set, piece).empty() ? 0 : 1;
    return PrintPiece(set, piece);
  });
  PrintUnneeded(set, end);
  if (end.Code == ExitComplete && wrongSizes > 0) {  // as join judges it
    CliPrint(CliOut,
             "Result:    possibly damaged: the data adds up, but %lld file%s not the size the "
             "digest block "
             "gives\n",
             wrongSizes, wrongSizes == 1 ? " is" : "s are");
    return ExitMismatch;
  }
  PrintResult(set, end);
  return end.Code;
}
