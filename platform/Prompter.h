#pragma once
// Questions the components ask the user (message boxes, one-line input boxes) go through one
// prompter. The GUI installs a Qt implementation; the command-line front end and the tests
// install a non-interactive one that answers by rule and records what was asked.
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ScopedOverride.h"

namespace platform {

// Button sets, icons and default buttons, numbered as the Windows message box flags.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_RETRYCANCEL = 0x5;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr uint32_t MB_DEFBUTTON3 = 0x200;
inline constexpr uint32_t kButtonsMask = 0xF;
inline constexpr uint32_t kIconMask = 0xF0;
inline constexpr uint32_t kDefaultButtonMask = 0xF00;

// Answers, numbered as Windows does.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

struct MessageRequest {
  std::string caption;
  std::string text;
  uint32_t flags = MB_OK;
};

struct InputRequest {
  std::string caption;
  std::string prompt;
  std::string defaultValue;
};

class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual int MessageBox(const MessageRequest& request) = 0;
  // True with the typed value, false when cancelled.
  virtual bool InputBox(const InputRequest& request, std::string& value) = 0;
};

// The answer a user gets by pressing Enter: the default button of the set.
int DefaultAnswer(uint32_t flags);

// Answers from a script (in order), then by rule: a message box gets its default button, an
// input box is cancelled. Records every request.
class RecordingPrompter : public Prompter {
 public:
  int MessageBox(const MessageRequest& request) override;
  bool InputBox(const InputRequest& request, std::string& value) override;

  std::deque<int> messageAnswers;        // scripted message box answers
  std::deque<std::string> inputAnswers;  // scripted input box answers (typed, then OK)
  std::function<int(const MessageRequest&)> messageRule;  // used when the script is empty
  std::vector<MessageRequest> messages;                   // what was asked
  std::vector<InputRequest> inputs;
};

// The prompter in use; a RecordingPrompter with no script until one is installed.
Prompter& CurrentPrompter();
void SetPrompter(Prompter* prompter);  // nullptr: back to the built-in recording one

// Installs a prompter for the lifetime of a scope (tests).
using ScopedPrompter = ScopedOverride<Prompter, CurrentPrompter, SetPrompter>;

// The application's title, the caption of the components' message and input boxes.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& title);

}  // namespace platform
