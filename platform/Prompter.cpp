#include "platform/Prompter.h"

namespace platform {

int DefaultAnswer(uint32_t flags) {
  static const int kButtons[][3] = {
      {IDOK, IDOK, IDOK},            // MB_OK
      {IDOK, IDCANCEL, IDCANCEL},    // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
      {IDYES, IDNO, IDNO},           // MB_YESNO
      {IDRETRY, IDCANCEL, IDCANCEL}  // MB_RETRYCANCEL
  };
  uint32_t set = flags & kButtonsMask;
  if (set > 5) set = 0;
  uint32_t index = (flags & kDefaultButtonMask) >> 8;
  if (index > 2) index = 0;
  return kButtons[set][index];
}

int RecordingPrompter::MessageBox(const MessageRequest& request) {
  messages.push_back(request);
  if (!messageAnswers.empty()) {
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
  }
  if (messageRule) return messageRule(request);
  return DefaultAnswer(request.flags);
}

bool RecordingPrompter::InputBox(const InputRequest& request, std::string& value) {
  inputs.push_back(request);
  if (inputAnswers.empty()) return false;
  value = inputAnswers.front();
  inputAnswers.pop_front();
  return true;
}

namespace {
Prompter*& Installed() {
  static Prompter* installed = nullptr;
  return installed;
}
RecordingPrompter& BuiltIn() {
  static RecordingPrompter builtIn;
  return builtIn;
}
std::string& Title() {
  static std::string title = "varevudov";
  return title;
}
}  // namespace

Prompter& CurrentPrompter() {
  return Installed() ? *Installed() : BuiltIn();
}
void SetPrompter(Prompter* prompter) {
  Installed() = prompter;
}

const std::string& ApplicationTitle() {
  return Title();
}
void SetApplicationTitle(const std::string& title) {
  Title() = title;
}

}  // namespace platform
