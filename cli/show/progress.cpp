#include "cli/show/progress.h"

#include <stdio.h>

#include <algorithm>
#include <vector>

#include "cli/os/os.h"
#include "cli/show/messages.h"
#include "cli/show/text.h"

// Every command's steps, in the order it takes them, with their names on the line.
static const struct {
  ProgressStep Step;
  ProgressCommand Command;
  const char* Name;
} Steps[] = {
    {ProgressStep::SplitSet, ProgressCommand::Split, "the set"},
    {ProgressStep::SplitRecovery, ProgressCommand::Split, "recovery files"},
    {ProgressStep::Join, ProgressCommand::Join, "joining"},
    {ProgressStep::VerifyPieces, ProgressCommand::Verify, "pieces"},
    {ProgressStep::VerifyRecovery, ProgressCommand::Verify, "recovery files"},
    {ProgressStep::RepairCheck, ProgressCommand::Repair, "checking"},
    {ProgressStep::RepairRebuild, ProgressCommand::Repair, "rebuilding"},
    {ProgressStep::RepairRemake, ProgressCommand::Repair, "recovery files"},
};

int64_t (*ProgressClock)() = nullptr;

static int64_t Now() { return ProgressClock != nullptr ? ProgressClock() : OsMilliseconds(); }

int64_t ProgressSum(int64_t a, int64_t b) {
  int64_t sum;
  return __builtin_add_overflow(a, b, &sum) ? INT64_MAX : sum;
}

size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

// The byte at which character n of a UTF-8 text begins (its size past the last one).
static size_t ByteOfCharacter(const std::string& text, size_t n) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); i++) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen++ == n) return i;
  }
  return text.size();
}

// Below this width a cut name keeps only its end: its start then tells too little.
static const size_t CutBothEndsFrom = 12;
std::string CutMiddle(const std::string& text, size_t width, bool ascii) {
  size_t count = CharacterCount(text);
  if (count <= width) return text;
  std::string mark = ascii ? "..." : "…";
  size_t marked = CharacterCount(mark);
  if (width <= marked) return mark.substr(0, ByteOfCharacter(mark, width));
  size_t tail = width - marked, head = 0;
  if (width >= CutBothEndsFrom) {
    head = (width - marked) / 2;
    tail = width - marked - head;
  }
  return text.substr(0, ByteOfCharacter(text, head)) + mark +
         text.substr(ByteOfCharacter(text, count - tail));
}

std::string FormatDuration(int64_t seconds) {
  if (seconds < 0 || seconds >= 100 * 3600) return "--:--";
  char text[32];
  if (seconds < 3600) {
    snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60),
             static_cast<int>(seconds % 60));
  } else {
    snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  }
  return text;
}

std::string FormatRate(double bytesPerSecond) {
  if (bytesPerSecond < 0) return "";
  // Past INT64_MAX no size is told anyway.
  double held = std::min(bytesPerSecond, 9.2e18);
  return FormatSize(static_cast<int64_t>(held + 0.5)) + "/s";
}

void ProgressRate::Start(int64_t now, int64_t done) {
  start_ = latest_ = {now, done};
  samples_.assign(1, start_);
}

void ProgressRate::Add(int64_t now, int64_t done) {
  if (samples_.empty()) Start(now, done);
  latest_ = {now, done};
  if (now - samples_.back().first >= ProgressRedrawMs) samples_.push_back(latest_);
  while (samples_.size() > 1 && samples_[1].first <= now - RateWindowMs) samples_.pop_front();
}

// Bytes per second from one sample to another; negative when no time passed between them.
static double RateBetween(const std::pair<int64_t, int64_t>& from,
                          const std::pair<int64_t, int64_t>& to) {
  if (to.first <= from.first) return -1;
  double bytes = static_cast<double>(to.second) - static_cast<double>(from.second);
  return std::max(0.0, bytes * 1000 / static_cast<double>(to.first - from.first));
}

double ProgressRate::BytesPerSecond() const {
  if (samples_.empty() || latest_.first - start_.first < RateFirstMs) return -1;
  return RateBetween(samples_.front(), latest_);
}

double ProgressRate::Average() const { return RateBetween(start_, latest_); }

// The line's fields in the order they stand; the name and the bar take the width left.
enum Field { StepField, NameField, BarField, PercentField, BytesField, RateField, TimeField };
// What goes as the width shrinks, in order: the rate and the time left are what a narrow
// terminal keeps longest (the step loses its name before them, keeping "2/2").
enum Drop { DropBar, DropBytes, DropStepName, DropRate, DropTime, DropStep, DropCount };

static const size_t NameAtLeast = 16;
static const size_t BarAtLeast = 12;  // with its brackets
// The widest the numbers get, so that the fields keep their places and the line its layout as
// they change: a size ("1023.9 MiB"), a rate (its column kept while it is unknown), a time
// ("--:--", "12:34").
static const size_t SizeWidth = 10;
static const size_t RateWidth = 12;
static const size_t TimeWidth = 5;

static int Percent(int64_t done, int64_t total) {
  if (total <= 0 || done >= total) return 100;
  if (done <= 0) return 0;
  return static_cast<int>(static_cast<__int128>(done) * 100 / total);
}

static std::string Padded(const std::string& text, size_t width) {
  size_t count = CharacterCount(text);
  return count < width ? std::string(width - count, ' ') + text : text;
}

// The text of each fixed field at a level of drops ("" when the field is not shown).
static std::vector<std::string> FixedFields(const ProgressView& view, int drops) {
  std::vector<std::string> fields(TimeField + 1);
  if (drops <= DropStepName)
    fields[StepField] = view.Step;
  else if (drops <= DropStep)
    fields[StepField] = view.StepShort;
  bool unknown = view.Total == ProgressUnknownTotal;
  char percent[8];
  snprintf(percent, sizeof percent, "%3d%%", Percent(view.Done, view.Total));
  // With no total, the bytes so far stand where the percentage would, and no time is left.
  fields[PercentField] = unknown ? Padded(FormatSize(view.Done), SizeWidth) : percent;
  if (drops <= DropBytes && !unknown)
    fields[BytesField] = Padded(FormatSize(view.Done), SizeWidth) + "/" + FormatSize(view.Total);
  if (drops <= DropRate) fields[RateField] = Padded(FormatRate(view.Rate), RateWidth);
  if (drops <= DropTime && (!unknown || view.Finished))
    fields[TimeField] =
        (view.Finished ? "in " : "ETA ") + Padded(FormatDuration(view.Seconds), TimeWidth);
  return fields;
}

static std::string Bar(int64_t done, int64_t total, size_t width) {
  size_t inside = width - 2;
  double fraction =
      total > 0 ? static_cast<double>(std::max<int64_t>(done, 0)) / static_cast<double>(total)
                : 1.0;
  size_t filled = static_cast<size_t>(std::min(1.0, fraction) * static_cast<double>(inside));
  return "[" + std::string(filled, '#') + std::string(inside - filled, '.') + "]";
}

// The first n characters of a line.
static std::string Cut(const std::string& text, size_t n) {
  return text.substr(0, ByteOfCharacter(text, n));
}

// The characters of the fields shown, a space between each two, with the name and the bar at
// their least.
static size_t LeastWidth(const std::vector<std::string>& fields, bool bar, size_t nameLeast) {
  size_t used = (bar ? BarAtLeast + 1 : 0) + (nameLeast > 0 ? nameLeast + 1 : 0);
  for (const std::string& field : fields) used += field.empty() ? 0 : CharacterCount(field) + 1;
  return used - 1;  // no space before the first field (the percentage is always there)
}

std::string ProgressLine(const ProgressView& view, size_t columns) {
  size_t room = columns > 0 ? columns - 1 : 0;
  size_t nameLength = CharacterCount(view.Name);
  size_t nameLeast = std::min(nameLength, NameAtLeast);
  std::vector<std::string> fields;
  bool bar = false;
  size_t used = 0;
  for (int drops = 0; drops < DropCount && (drops == 0 || used > room); drops++) {
    fields = FixedFields(view, drops);
    bar = drops <= DropBar && view.Total != ProgressUnknownTotal;
    used = LeastWidth(fields, bar, nameLeast);
  }
  // The name takes what is left first (on a terminal too narrow for all that stays, less than
  // its least), then the bar.
  size_t left = room > used ? room - used : 0, nameMore = std::min(left, nameLength - nameLeast);
  size_t lacking = used > room ? used - room : 0;
  fields[NameField] =
      CutMiddle(view.Name, nameLeast > lacking ? nameLeast + nameMore - lacking : 0, view.Ascii);
  if (bar) fields[BarField] = Bar(view.Done, view.Total, BarAtLeast + left - nameMore);
  std::string line;
  for (const std::string& field : fields) {
    if (field.empty()) continue;
    line += (line.empty() ? "" : " ") + field;
  }
  return Cut(line, room);
}

// The line of the command that runs.
static struct {
  bool Forced = false;
  bool Off = false;
  bool On = false;
  bool Drawn = false;
  bool Counted = false;  // a step has begun: the steps are counted
  ProgressCommand Command = ProgressCommand::Split;
  std::vector<ProgressStep> Skipped;
  ProgressStep Step = ProgressStep::SplitSet;
  int64_t Total = 0;
  int64_t Done = 0;
  int64_t Start = 0;
  int64_t LastDraw = 0;
  std::string Name;
  ProgressRate Rate;
  size_t Shown = 0;  // the characters on the line now
} Line;

void ProgressForce(bool forced, bool off) {
  Line.Forced = forced;
  Line.Off = off;
}

void ProgressSteps(ProgressCommand command) {
  Line.Command = command;
  Line.Skipped.clear();
  Line.Counted = false;
}

void ProgressSkip(ProgressStep step) {
  if (!Line.Counted) Line.Skipped.push_back(step);
}

// "step 2 of 3: rebuilding" and "2/3" for the step that runs, or "" when its command takes
// only one.
static void StepTexts(std::string* text, std::string* shortText) {
  int number = 0, count = 0;
  const char* name = "";
  for (const auto& step : Steps) {
    if (step.Command != Line.Command ||
        std::find(Line.Skipped.begin(), Line.Skipped.end(), step.Step) != Line.Skipped.end())
      continue;
    count++;
    if (step.Step == Line.Step) {
      number = count;
      name = step.Name;
    }
  }
  if (number == 0 || count < 2) return;
  *shortText = std::to_string(number) + "/" + std::to_string(count);
  *text = "step " + std::to_string(number) + " of " + std::to_string(count) + ": " + name;
}

void ProgressBegin(bool enabled, int64_t total, ProgressStep step) {
  Line.On = enabled && !Line.Off && (Line.Forced || OsIsTerminal(CliErr));
  Line.Drawn = false;
  Line.Counted = true;
  Line.Step = step;
  Line.Total = total;
  Line.Done = 0;
  Line.Name.clear();
  Line.Start = Now();
  Line.Rate.Start(Line.Start, 0);
  Line.Shown = 0;
}

void ProgressLabel(const std::string& label) { Line.Name = Printable(label); }

static ProgressView ViewAt(int64_t now, bool last) {
  ProgressView view;
  StepTexts(&view.Step, &view.StepShort);
  view.Name = Line.Name;
  view.Done = Line.Done;
  view.Total = Line.Total;
  view.Finished = last && Line.Done >= Line.Total;
  view.Ascii = !OsTextIsUtf8();
  view.Rate = view.Finished ? Line.Rate.Average() : Line.Rate.BytesPerSecond();
  if (view.Finished) {
    view.Seconds = (now - Line.Start) / 1000;
  } else if (Line.Done >= Line.Total) {
    view.Seconds = 0;
  } else if (view.Rate > 0 && !last) {
    double seconds = static_cast<double>(Line.Total - Line.Done) / view.Rate;
    view.Seconds = seconds < 1e9 ? static_cast<int64_t>(seconds + 0.5) : INT64_MAX;
  }
  return view;
}

// The line redrawn over itself after a carriage return, with spaces over the rest of a longer
// one drawn before, so that no terminal control sequence is needed (a Windows console takes
// none unless asked); the last drawing ends the line.
static void Draw(int64_t now, bool last) {
  size_t columns = static_cast<size_t>(std::max(OsTerminalColumns(CliErr), 1));
  std::string line = ProgressLine(ViewAt(now, last), columns);
  size_t length = CharacterCount(line), over = std::min(Line.Shown, columns - 1);
  if (over > length) line.append(over - length, ' ');
  OsWriteText(CliErr, "\r" + line + (last ? "\n" : ""));
  fflush(CliErr);
  Line.Shown = last ? 0 : length;
  Line.Drawn = true;
  Line.LastDraw = now;
}

void ProgressUpdate(int64_t done) {
  if (!Line.On) return;
  Line.Done = done;
  int64_t now = Now();
  if (Line.Drawn && now - Line.LastDraw < ProgressRedrawMs) return;
  Line.Rate.Add(now, done);
  Draw(now, false);
}

void ProgressComplete() { Line.Done = std::max(Line.Done, Line.Total); }

void ProgressClear() {
  if (!Line.On || Line.Shown == 0) return;
  OsWriteText(CliErr, "\r" + std::string(Line.Shown, ' ') + "\r");
  fflush(CliErr);
  Line.Shown = 0;
}

void ProgressEnd() {
  if (!Line.On) return;
  int64_t now = Now();
  Line.Rate.Add(now, Line.Done);
  Draw(now, true);
  Line.On = false;
}
