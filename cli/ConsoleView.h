#pragma once
// The workflow's view on a terminal: progress lines go to standard output as they come, the
// created-files list is kept for the end; message boxes are printed to standard error and
// answered with their default button.
#include <cstdio>
#include <string>
#include <vector>

#include "app/workflow/View.h"
#include "platform/Prompter.h"

class ConsoleView : public workflow::View {
 public:
  int PaneLineCount(workflow::Pane) const override { return 0; }  // a terminal never fills
  void AppendLine(workflow::Pane pane, const std::string& line, workflow::Tone) override;
  std::string PaneLine(workflow::Pane, int) const override { return {}; }
  void RemoveLine(workflow::Pane, int) override {}

  std::string SelectionCaption() const override { return selection_; }
  void SetSelectionCaption(const std::string& text) override { selection_ = text; }
  std::string TargetCaption() const override { return target_; }
  void SetTargetCaption(const std::string& text) override { target_ = text; }

  void SetControlEnabled(workflow::Control, bool) override {}
  void FocusControl(workflow::Control) override {}
  void SetBusyCursor(bool) override {}
  bool ShowMapImageChecked() const override { return false; }
  void ShowMapImageWindow(const std::string&, const std::string&) override {}
  void CloseMapImageWindow() override {}
  void RecentreMainWindow() override {}
  void WhileWaiting() override {}

  const std::vector<std::string>& Created() const { return created_; }

 private:
  std::string selection_;
  std::string target_;
  std::vector<std::string> created_;
};

class ConsolePrompter : public platform::Prompter {
 public:
  int MessageBox(const platform::MessageRequest& request) override;
  bool InputBox(const platform::InputRequest& request, std::string& value) override;
};
