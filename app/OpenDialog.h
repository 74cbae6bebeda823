#pragma once
// TOpenDialog: the file-open dialog of the main window. The dialog itself sits behind the
// FileOpenDialog interface, so tests can answer it without a window.
#include <QStringList>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScopedOverride.h"

class QFileDialog;
class QWidget;

struct OpenDialogRequest {
  QWidget* owner = nullptr;
  std::string filter;      // "Text|pattern;pattern|Text|pattern": shown text and patterns
  std::string initialDir;  // empty: the current folder
};

class FileOpenDialog {
 public:
  virtual ~FileOpenDialog() = default;
  // Shows the dialog modally: true with the chosen file's full path, false when cancelled.
  virtual bool Open(const OpenDialogRequest& request, std::string& fileName) = 0;
};

class QtFileOpenDialog : public FileOpenDialog {
 public:
  bool Open(const OpenDialogRequest& request, std::string& fileName) override;
};

// Answers from a script in order (nullopt: cancel), cancelling once the script is used up.
// Records every request.
class RecordingFileOpenDialog : public FileOpenDialog {
 public:
  bool Open(const OpenDialogRequest& request, std::string& fileName) override;

  std::deque<std::optional<std::string>> answers;
  std::vector<OpenDialogRequest> requests;
};

// The dialog every TOpenDialog shows; Qt's until another is installed.
FileOpenDialog& CurrentFileOpenDialog();
void SetFileOpenDialog(FileOpenDialog* dialog);  // nullptr: back to Qt's

// Installs a file dialog for the lifetime of a scope (tests).
using ScopedFileOpenDialog =
    platform::ScopedOverride<FileOpenDialog, CurrentFileOpenDialog, SetFileOpenDialog>;

// "Text|a;b|Text2|c" as Qt name filters ("Text (a b)", "Text2 (c)"); a text without patterns
// selects everything.
QStringList QtNameFilters(const std::string& filter);
// The Qt dialog for a request, not yet shown: existing files only, the filter's texts shown
// without their patterns, patterns matched without regard to case.
std::unique_ptr<QFileDialog> CreateQtOpenDialog(const OpenDialogRequest& request);

class TOpenDialog {
 public:
  explicit TOpenDialog(QWidget* owner = nullptr) : owner_(owner) {}

  // Shows the dialog: true when a file was chosen (then in FileName), false on cancel.
  bool Execute();

  const std::string& Filter() const { return filter_; }
  void SetFilter(std::string filter) { filter_ = std::move(filter); }
  const std::string& InitialDir() const { return initialDir_; }
  void SetInitialDir(std::string folder) { initialDir_ = std::move(folder); }
  const std::string& FileName() const { return fileName_; }

 private:
  QWidget* owner_;
  std::string filter_;
  std::string initialDir_;
  std::string fileName_;
};
