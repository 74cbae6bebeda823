#pragma once
// The desktop program's answer to the components' questions: real message boxes and input
// boxes, modal over whichever of our windows is active.
#include "platform/Prompter.h"

class QMessageBox;

class QtPrompter : public platform::Prompter {
 public:
  int MessageBox(const platform::MessageRequest& request) override;
  bool InputBox(const platform::InputRequest& request, std::string& value) override;
};

// Builds the box for a request: caption (the application title when the request has none),
// plain text, icon, button set and default button, as the Windows flags describe them. The
// caller runs it and maps the pressed button with MessageBoxAnswer.
QMessageBox* CreateMessageBox(const platform::MessageRequest& request);
// The Windows answer (IDOK, IDNO, ...) for the box's pressed button; the escape answer of the set
// when the box was closed without one.
int MessageBoxAnswer(const QMessageBox& box, uint32_t flags);
