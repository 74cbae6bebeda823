#pragma once
// The Qt dialog behind QtFolderDialog: Qt's own (non-native) folder dialog, set up from a
// FolderDialogRequest, with a status line and a check that keeps it open on an invalid choice.
#include <QFileDialog>
#include <string>

#include "shell/folderBrowse.h"

class QLabel;

class FolderPickerDialog : public QFileDialog {
 public:
  explicit FolderPickerDialog(const FolderDialogRequest& request);

  // The folder the dialog would return now, as the file system spells it; empty when the
  // current choice is not an existing folder inside the root.
  std::string ChosenFolder() const;
  // The status line; null when the request had no status text.
  QLabel* StatusLine() const { return statusLine_; }

  void accept() override;

 private:
  void SelectInitialFolder(const std::string& folder);
  bool InsideRoot(const std::string& folder) const;
  bool BareRoot() const;

  std::string root_;
  bool validate_;
  QLabel* statusLine_ = nullptr;
};
