// What a run leaves for the user to read at its end: the summary line, and a progress log that
// makes room by its oldest lines rather than dropping the run's failures with them.
#include "app/workflow/Components.h"
#include "platform/Strings.h"

namespace workflow {
namespace {

// The width of the help text, about what the progress log shows without scrolling.
constexpr size_t kLineWidth = 72;
constexpr int kPaneLimit = 500;
// A full pane is cut back to this many lines, so it is not cut again on every line.
constexpr int kPaneKept = 400;
// Failure lines of the latest run kept through the cuts; past that they go like the rest.
constexpr int kFailuresKept = 200;

std::string Counted(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool IsFailureLine(const std::string& line) {
  return line.ends_with(" !");
}

}  // namespace

std::string SummaryLine(const RunOutcome& outcome) {
  std::string line = Counted(outcome.mapsPacked, "map converted", "maps converted");
  if (outcome.vkasPlaced > 0)
    line += ", " + Counted(outcome.vkasPlaced, "carried vka placed", "carried vkas placed");
  if (outcome.vkasUnpacked > 0)
    line += ", " + Counted(outcome.vkasUnpacked, "vka unpacked", "vkas unpacked");
  const std::vector<std::string>& failed = outcome.failedPackages;
  if (failed.empty())
    return line + ", " + (outcome.refused.empty() ? "0 packages failed" : outcome.refused);
  line +=
      ", " + Counted(static_cast<int>(failed.size()), "package failed", "packages failed") + ":";
  for (size_t i = 0; i < failed.size(); ++i) {
    // Measured as shown: a control character in a name takes the room of its escape.
    const std::string name = platform::EscapeControlCharacters(failed[i]);
    const size_t rest = failed.size() - i - 1;
    const std::string more = rest > 0 ? " and " + std::to_string(rest) + " more" : std::string();
    const std::string next = (i == 0 ? " " : ", ") + name;
    if (i > 0 && line.size() + next.size() + more.size() > kLineWidth)
      return line + " and " + std::to_string(failed.size() - i) + " more";
    line += next;
  }
  return line;
}

RunOutcome ConvertWorkflow::Counts() const {
  RunOutcome counts;
  counts.mapsPacked = packed_;
  counts.vkasPlaced = placed_;
  counts.vkasUnpacked = unpacked_;
  return counts;
}

void ConvertWorkflow::LogSummary(const RunOutcome& before) {
  run_.mapsPacked = packed_ - before.mapsPacked;
  run_.vkasPlaced = placed_ - before.vkasPlaced;
  run_.vkasUnpacked = unpacked_ - before.vkasUnpacked;
  const bool failed = !run_.failedPackages.empty() || !run_.refused.empty();
  AppendToPane(Pane::Progress, SummaryLine(run_), failed ? Tone::Warning : Tone::Plain);
}

void ConvertWorkflow::TrimPane(Pane pane) {
  int excess = view_.PaneLineCount(pane) - kPaneKept;
  int index = 0;
  int failuresKept = 0;
  while (excess > 0 && index < view_.PaneLineCount(pane)) {
    const bool keep = pane == Pane::Progress && index >= runFirstLine_ &&
                      failuresKept < kFailuresKept && IsFailureLine(view_.PaneLine(pane, index));
    if (keep) {
      ++failuresKept;
      ++index;
      continue;
    }
    view_.RemoveLine(pane, index);
    if (pane == Pane::Progress && index < runFirstLine_) --runFirstLine_;
    --excess;
  }
}

void ConvertWorkflow::AppendToPane(Pane pane, const std::string& line, Tone tone) {
  if (view_.PaneLineCount(pane) > kPaneLimit) TrimPane(pane);
  // Names come from packages: a line feed in one must not make a line of its own.
  view_.AppendLine(pane, platform::EscapeControlCharacters(line), tone);
}

void ConvertWorkflow::mm(const std::string& line) {
  AppendToPane(Pane::Progress, line, IsFailureLine(line) ? Tone::Warning : Tone::Plain);
}
void ConvertWorkflow::rr(const std::string& line) {
  AppendToPane(Pane::Created, line, Tone::Plain);
}

}  // namespace workflow
