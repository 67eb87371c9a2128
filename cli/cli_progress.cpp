#include "cli/cli_progress.h"

#include <algorithm>

#include "cli/cli_messages.h"
#include "cli/cli_os.h"
#include "cli/cli_text.h"

static bool ProgressOn = false;
static bool ProgressDrawn = false;
static int64_t ProgressTotal = 0;
static std::string ProgressText;
static int64_t ProgressLast = 0;

void ProgressBegin(bool enabled, int64_t total) {
  ProgressOn = enabled && OsIsTerminal(CliErr);
  ProgressDrawn = false;
  ProgressTotal = total;
  ProgressText.clear();
  ProgressLast = 0;
}

int64_t ProgressSum(int64_t a, int64_t b) {
  int64_t sum;
  return __builtin_add_overflow(a, b, &sum) ? INT64_MAX : sum;
}

void ProgressLabel(const std::string& label) { ProgressText = Printable(label); }

// The characters of a UTF-8 text (bytes that begin one).
static size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

// The label in exactly width characters: cut (never inside a character) or padded.
static std::string FitLabel(const std::string& label, size_t width) {
  if (CharacterCount(label) <= width)
    return label + std::string(width - CharacterCount(label), ' ');
  std::string cut;
  size_t kept = 0;
  for (size_t i = 0; i < label.size(); i++) {
    bool starts = (static_cast<unsigned char>(label[i]) & 0xC0) != 0x80;
    if (starts && ++kept > width - 3) break;
    cut += label[i];
  }
  return cut + "...";
}

// The bar is one line of at most LineWidth characters, redrawn over itself after a carriage
// return and padded with spaces, so no terminal control sequence is needed (a Windows console
// takes none unless asked).
static const size_t LineWidth = 79;

void ProgressUpdate(int64_t done) {
  if (!ProgressOn) return;
  int64_t now = OsMilliseconds();
  if (ProgressDrawn && now - ProgressLast < 100) return;
  ProgressLast = now;
  ProgressDrawn = true;
  const int width = 24;  // with the label and the sizes, the line stays within LineWidth
  double fraction =
      ProgressTotal > 0 ? static_cast<double>(done) / static_cast<double>(ProgressTotal) : 1.0;
  fraction = std::min(1.0, std::max(0.0, fraction));
  int filled = static_cast<int>(fraction * width);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(width, '.');
  char numbers[96];
  snprintf(numbers, sizeof numbers, " [%s] %3d%% %s / %s", bar.c_str(),
           static_cast<int>(fraction * 100), FormatSize(done).c_str(),
           FormatSize(ProgressTotal).c_str());
  std::string line = FitLabel(ProgressText, 20) + numbers;
  size_t length = CharacterCount(line);
  if (length < LineWidth) line.append(LineWidth - length, ' ');
  OsWriteText(CliErr, "\r" + line);
  fflush(CliErr);
}

void ProgressEnd() {
  if (ProgressOn && ProgressDrawn) {
    OsWriteText(CliErr, "\r" + std::string(LineWidth, ' ') + "\r");
    fflush(CliErr);
  }
  ProgressOn = false;
}
