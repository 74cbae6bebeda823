#pragma once
// TForm1, the main window: the package, folder and target choices, the Convert button, the two
// message panes and the banner. The conversion itself is the workflow's; this window is its
// view.
#include <QPointer>
#include <QWidget>
#include <functional>

#include "app/DropInput.h"
#include "app/Memo.h"
#include "app/OpenDialog.h"
#include "app/workflow/View.h"
#include "app/workflow/Workflow.h"
#include "shell/folderBrowse.h"

class QCheckBox;
class QFrame;
class QLabel;
class QMimeData;
class QPushButton;
class QScrollArea;
class QWindow;
class TForm2;

class TForm1 : public QWidget, public workflow::View {
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The map image window beside which minimaps are shown; none: they are not shown.
  void SetMapImageWindow(TForm2* form) { form2_ = form; }
  TForm2* MapImageWindow() const { return form2_; }
  workflow::ConvertWorkflow& Workflow() { return workflow_; }

  // --- handlers ---
  void FormShow();
  void FormActivate();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void BrowseMapFileClick();
  void BrowseFolderToProcessClick();
  void SelectVKAFolderClick();
  void ConvertClick();
  // A file or folder dropped on the window: selected as the browse buttons would select it.
  void DropMimeData(const QMimeData& mime);
  // A package or folder (named on the command line) selected once the window has started, as
  // a drop of it would select it.
  void SelectAtStart(const std::string& path);
  // Ends the program as the close question's Yes does: a run stops after the map being packed.
  void StopAndEnd();
  // During a run (close button, Exit, Escape): asks whether to stop after the current map;
  // with endProgram the program ends once the stopped run is over.
  void AskStop(bool endProgram);
  // Fits the window into a screen's work area; the content scrolls when the area is smaller.
  void FitToWorkArea(const QRect& area);
  // Lets the window system's events through while a run goes on; user input to the program's
  // two windows is dropped meanwhile (see ConvertClick).
  static void PumpEvents();

  // --- workflow::View ---
  int PaneLineCount(workflow::Pane pane) const override;
  void AppendLine(workflow::Pane pane, const std::string& line, workflow::Tone tone) override;
  std::string PaneLine(workflow::Pane pane, int index) const override;
  void RemoveLine(workflow::Pane pane, int index) override;
  std::string SelectionCaption() const override;
  void SetSelectionCaption(const std::string& text) override;
  std::string TargetCaption() const override;
  void SetTargetCaption(const std::string& text) override;
  void SetControlEnabled(workflow::Control control, bool enabled) override;
  void FocusControl(workflow::Control control) override;
  void SetBusyCursor(bool busy) override;
  bool ShowMapImageChecked() const override;
  void ShowMapImageWindow(const std::string& mapName, const std::string& minimapPath) override;
  void CloseMapImageWindow() override;
  void RecentreMainWindow() override;
  void WhileWaiting() override;
  void ShowProgress(int done, int total) override;

  // The window's generic error report: a handler that ends in an exception shows its message.
  void ReportError(const std::exception& error);

  // --- controls, named as on the form ---
  QFrame* Panel1;
  QLabel* Image1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label6;
  QLabel* Label4;
  QPushButton* BrowseMapFile;
  QPushButton* BrowseFolderToProcess;
  QPushButton* Convert;
  QLabel* Label1;
  QPushButton* SelectVKAFolder;
  QLabel* Label8;
  QLabel* Label7;
  QCheckBox* showmapimage;
  QLabel* Label5;
  QLabel* Label9;
  TMemo* Memo1;
  TMemo* Memo2;
  QPushButton* Button2;
  QPushButton* Button1;
  QPushButton* Button3;

  // --- non-visual components ---
  TOpenDialog OpenDialog1;
  TBrowseForFolder BrowseForFolder1;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void Select(const DropChoice& choice);
  void FitAndCentre();
  QWidget* ControlWidget(workflow::Control control) const;
  TMemo* PaneMemo(workflow::Pane pane) const;
  // Runs a handler; an exception it ends with goes to the generic error report.
  void Guarded(const std::function<void()>& handler);
  void NoteFocusWindow(QWindow* window);
  // Label1 / Label7 show the text elided in the middle; the full text is kept here.
  void SetPathLabel(QLabel* label, std::string& full, const std::string& text);
  // Opens the folder that a line of the files pane names, else the target folder.
  void OpenFolderOfLine(int line);

  QScrollArea* scroll_;
  QWidget* content_;
  std::string selectionText_;
  std::string targetText_;
  std::string lastSourceFolder_;
  std::string startPath_;
  bool placedThisRun_ = false;
  bool asking_ = false;
  bool quitAfterRun_ = false;
  workflow::ConvertWorkflow workflow_;
  QPointer<TForm2> form2_;
  bool shown_ = false;
  bool activatedOnce_ = false;
  bool closing_ = false;
  // The program's focus window (null: another program has the focus), and the one the focus
  // came from when it last moved to the main window.
  QPointer<QWindow> focusWindow_;
  QPointer<QWindow> cameFrom_;
};
