#include "ConsoleView.h"

void ConsoleView::AppendLine(workflow::Pane pane, const std::string& line, workflow::Tone) {
  if (pane == workflow::Pane::Created) {
    created_.push_back(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int ConsolePrompter::MessageBox(const platform::MessageRequest& request) {
  std::fprintf(stderr, "%s\n", request.text.c_str());
  return platform::DefaultAnswer(request.flags);
}

bool ConsolePrompter::InputBox(const platform::InputRequest& request, std::string&) {
  std::fprintf(stderr, "%s (no answer without a terminal dialog)\n", request.prompt.c_str());
  return false;
}
