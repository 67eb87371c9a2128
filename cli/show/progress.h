// The progress line on CliErr, as pv and rsync draw theirs: the step, the file, a bar, the
// percentage, the bytes, the rate of the last few seconds and the time left, fitted to the
// terminal's width and redrawn over itself at most ProgressRedrawMs apart. Drawn when CliErr is a
// terminal, or on any stream when forced (--progress); never for a quiet command (quiet wins).
#pragma once

#include <stdint.h>

#include <deque>
#include <string>
#include <utility>

// The steps of the commands, each command's in the order it takes them (their names on the line
// and the command each belongs to are the table in show/progress.cpp).
enum class ProgressStep {
  SplitSet,
  SplitRecovery,
  Join,
  VerifyPieces,
  VerifyRecovery,
  RepairCheck,
  RepairRebuild,
  RepairRemake,
};
enum class ProgressCommand { Split, Join, Verify, Repair };

// Set from the command line before a command runs: draw the line whatever CliErr is (forced,
// --progress), or never (off, --no-progress: the command's report stays, unlike with -q).
void ProgressForce(bool forced, bool off = false);
// A command starts: every step of it may follow. A step known not to be needed is skipped before
// the first one begins; the steps are counted then, once for the run ("step 1 of 3" is followed by
// "step 2 of 3"), and a step found not needed later keeps its number and is not drawn.
void ProgressSteps(ProgressCommand command);
void ProgressSkip(ProgressStep step);

// The total of a step whose size is known only at its end (split -): the line shows the bytes
// so far and the rate, with no bar, percentage or time left.
constexpr int64_t ProgressUnknownTotal = -1;

void ProgressBegin(bool enabled, int64_t total, ProgressStep step);
void ProgressLabel(const std::string& label);
void ProgressUpdate(int64_t done);
// The step did all it had to, whatever its total foresaw (a survey reads no lost file).
void ProgressComplete();
// Takes the line off the screen, for a message of its own; the next update draws it again.
void ProgressClear();
// Draws the last state once more (with the time the step took when it is done) and ends the line.
void ProgressEnd();
// a + b for a total of the bar, held at INT64_MAX (sizes read from a file may add up past it).
int64_t ProgressSum(int64_t a, int64_t b);

// For tests: the clock of the line (null: OsMilliseconds).
extern int64_t (*ProgressClock)();

constexpr int64_t ProgressRedrawMs = 100;

// The rate of the last RateWindowMs: from samples of (time in ms, bytes done), taken at most
// ProgressRedrawMs apart. Unknown (negative) until RateFirstMs have passed since the start.
class ProgressRate {
 public:
  static constexpr int64_t RateWindowMs = 5000;
  static constexpr int64_t RateFirstMs = 500;

  void Start(int64_t now, int64_t done);
  void Add(int64_t now, int64_t done);
  double BytesPerSecond() const;
  // Bytes per second over the whole run, from the start to the last sample (negative when no time
  // has passed).
  double Average() const;

 private:
  std::deque<std::pair<int64_t, int64_t>> samples_;
  std::pair<int64_t, int64_t> start_{0, 0};
  std::pair<int64_t, int64_t> latest_{0, 0};
};

// What one drawing of the line shows.
struct ProgressView {
  std::string Step;       // "step 2 of 2: recovery files", or "" for a command of one step
  std::string StepShort;  // "2/2", what is left of Step on a narrow terminal
  std::string Name;       // the file, printable
  int64_t Done = 0;
  int64_t Total = 0;
  double Rate = -1;      // bytes per second; negative: not known yet
  int64_t Seconds = -1;  // left, or taken when Finished; negative: not known
  bool Finished = false;
  bool Ascii = false;  // the terminal shows no UTF-8 (OsTextIsUtf8): "..." stands for "…"
};

// The line of a view in at most columns - 1 characters, so that it never wraps. The fields go,
// as the width shrinks, in a fixed order: the bar, the bytes, the rate, the step's name (its
// "2/2" stays), the time, the "2/2"; the name is cut in the middle down to a few characters; the
// percentage always stays.
std::string ProgressLine(const ProgressView& view, size_t columns);
// "0:12", "1:02:03"; "--:--" for an unknown (negative) time or one of 100 hours and more.
std::string FormatDuration(int64_t seconds);
// "84.2 MiB/s"; "" for an unknown (negative) rate.
std::string FormatRate(double bytesPerSecond);
// The text in at most width characters (UTF-8, never cut inside one): its start and its end
// with "…" between (ascii: "..."), or only its end when width is small; the whole text when it
// fits.
std::string CutMiddle(const std::string& text, size_t width, bool ascii = false);
// The characters of a UTF-8 text (the bytes that begin one).
size_t CharacterCount(const std::string& text);
