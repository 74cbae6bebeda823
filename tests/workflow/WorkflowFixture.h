#pragma once
// Shared by the workflow tests: a recording view, a temporary program folder with the real
// stand-ins beside it, and the package builders of the common test support.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SampleMaps.h"
#include "TestSupport.h"
#include "VkaWriter.h"
#include "app/workflow/Workflow.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

namespace wftest {

using maptest::DesertFiles;
using vkatest::Container;
using vkatest::Crc;
using vvtest::RunProgram;
using vvtest::Tree;
using ziptest::Files;
using ziptest::WriteZip;

class FakeView : public workflow::View {
 public:
  int PaneLineCount(workflow::Pane pane) const override {
    return static_cast<int>(Lines(pane).size());
  }
  void AppendLine(workflow::Pane pane, const std::string& line, workflow::Tone tone) override {
    Lines(pane).push_back(line);
    if (tone == workflow::Tone::Warning) warnings.push_back(line);
  }
  std::string PaneLine(workflow::Pane pane, int index) const override {
    return Lines(pane).at(static_cast<size_t>(index));
  }
  void RemoveLine(workflow::Pane pane, int index) override {
    Lines(pane).erase(Lines(pane).begin() + index);
  }
  std::string SelectionCaption() const override { return selection; }
  void SetSelectionCaption(const std::string& text) override { selection = text; }
  std::string TargetCaption() const override { return target; }
  void SetTargetCaption(const std::string& text) override { target = text; }
  void SetControlEnabled(workflow::Control control, bool on) override { enabled[control] = on; }
  void FocusControl(workflow::Control control) override { focus = control; }
  void SetBusyCursor(bool on) override { busy = on; }
  bool ShowMapImageChecked() const override { return showMapImage; }
  void ShowMapImageWindow(const std::string& mapName, const std::string& path) override {
    shownMaps.push_back({mapName, path});
    if (onShowMap) onShowMap();
  }
  void CloseMapImageWindow() override { ++closed; }
  void RecentreMainWindow() override { ++recentred; }
  void WhileWaiting() override {
    ++waits;
    if (onWait) onWait();
  }

  std::vector<std::string>& Lines(workflow::Pane pane) {
    return pane == workflow::Pane::Progress ? progress : created;
  }
  const std::vector<std::string>& Lines(workflow::Pane pane) const {
    return pane == workflow::Pane::Progress ? progress : created;
  }

  std::vector<std::string> progress, created;
  std::vector<std::string> warnings;  // lines of either pane given the warning tone
  std::string selection = workflow::kNothingSelected;
  std::string target = workflow::kNothingSelected;
  std::map<workflow::Control, bool> enabled;
  workflow::Control focus = workflow::Control::BrowseMapFile;
  bool busy = false;
  bool showMapImage = true;
  std::vector<std::pair<std::string, std::string>> shownMaps;
  std::function<void()> onShowMap;  // e.g. the main window activated while Form2 shows
  int closed = 0, recentred = 0, waits = 0;
  std::function<void()> onWait;  // runs at each wait for the archiver
};

// A program folder of our own under a temporary folder, with archive.exe and the two stand-in
// libraries linked in from the build's program folder, and a target folder beside it.
class WorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = tmp / "prog";
    maps = tmp / "maps";
    input = tmp / "input";
    for (const std::string& dir : {prog, maps, input}) platform::CreateDir(dir);
    program_.emplace(prog, vvtest::Install::Link);
    platform::SetCurrentFolder(prog);
    scoped_ = std::make_unique<platform::ScopedPrompter>(prompter);
  }
  void TearDown() override {
    scoped_.reset();
    program_.reset();
  }

  // The target folder chosen as the user does it, then the package selected.
  void Choose(workflow::ConvertWorkflow& wf, const std::string& package) {
    wf.FormActivate();
    wf.SelectTargetFolder(maps);
    if (platform::DirectoryExists(package))
      wf.SelectSourceFolder(package);
    else
      wf.SelectPackageFile(package);
  }

  vvtest::TempDir tmp;
  std::string prog, maps, input;
  FakeView view;
  platform::RecordingPrompter prompter;

 private:
  std::optional<vvtest::ScopedProgramFolder> program_;
  std::unique_ptr<platform::ScopedPrompter> scoped_;
};

}  // namespace wftest
