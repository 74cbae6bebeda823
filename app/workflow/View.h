#pragma once
// The screen as the conversion workflow sees it. The main window implements this with its
// widgets, the command-line front end with standard output, the tests with a recording fake.
//
// Division of work between the workflow and a view:
// - Panes: the workflow owns the 500-line rule. Its mm / rr ask PaneLineCount and, when the pane
//   holds more than 500 lines, remove its oldest lines (RemoveLine) before AppendLine; the
//   failure lines of the latest run are kept, so a run's outcome stays readable. A view only
//   stores lines and shows a warning line in its warning colour; its own Clear buttons may empty
//   a pane at any time.
// - Captions are the text as displayed ("Process all zip & rar files > ..." with one "&"); a
//   widget view escapes whatever its toolkit would interpret.
// - Message boxes ("Archive.exe - File not found error!", "Unable to run ...") do not go through
//   the view but through platform::CurrentPrompter(); the GUI installs its Qt prompter there.
// - The workflow calls the view only from the thread that runs the workflow, and never while it
//   is itself inside a view call.
#include <string>

namespace workflow {

enum class Pane {
  Progress,  // Memo1, the progress log
  Created,   // Memo2, the created-files list
};

enum class Tone {
  Plain,
  Warning,  // failures (lines ending in " !") and a run's summary when something failed
};

enum class Control {
  BrowseMapFile,
  BrowseFolderToProcess,
  Convert,
  SelectVKAFolder,
};

class View {
 public:
  virtual ~View() = default;

  virtual int PaneLineCount(Pane pane) const = 0;
  virtual void AppendLine(Pane pane, const std::string& line, Tone tone) = 0;
  // Line index (from 0) of the pane as appended; RemoveLine moves the lines after it up one.
  virtual std::string PaneLine(Pane pane, int index) const = 0;
  virtual void RemoveLine(Pane pane, int index) = 0;

  // Label1, the selection label.
  virtual std::string SelectionCaption() const = 0;
  virtual void SetSelectionCaption(const std::string& text) = 0;
  // Label7, the target label. Its caption is part of the conversion state: the workflow copies
  // it into VKAFolder whenever it differs from the sentinel text.
  virtual std::string TargetCaption() const = 0;
  virtual void SetTargetCaption(const std::string& text) = 0;

  virtual void SetControlEnabled(Control control, bool enabled) = 0;
  virtual void FocusControl(Control control) = 0;
  virtual void SetBusyCursor(bool busy) = 0;

  // The "Show map image" check box.
  virtual bool ShowMapImageChecked() const = 0;
  // Called only with the box ticked and an existing minimap file: move the main window to the
  // top left, place Form2 beside it, show it captioned with mapName, load the TGA file at
  // minimapPath and repaint both windows at once. A load error may be raised; the workflow
  // reports it as the package's failure.
  virtual void ShowMapImageWindow(const std::string& mapName, const std::string& minimapPath) = 0;
  // End of every Convert run: close (hide) Form2.
  virtual void CloseMapImageWindow() = 0;
  // End of every Convert run: put the main window back in the screen's centre. The main window
  // is shown anew and so calls ConvertWorkflow::FormShow again (help text, settings, target
  // label); a view without a window does nothing.
  virtual void RecentreMainWindow() = 0;

  // Called about every 20 ms while the archiver runs, so a window can keep itself painted.
  virtual void WhileWaiting() = 0;

  // A folder run is at entry done of total (both from 1); 0 of 0: the run is over.
  virtual void ShowProgress(int done, int total) {
    (void)done;
    (void)total;
  }
};

}  // namespace workflow
