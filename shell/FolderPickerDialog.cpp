#include "shell/FolderPickerDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

QString ToQt(const std::string& path) {
  return QFile::decodeName(path.c_str());
}
std::string FromQt(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// A standard location may not have been made yet: its nearest existing ancestor stands in.
std::string ExistingFolder(const std::string& folder) {
  if (folder.empty()) return {};
  std::string existing = platform::ExcludeTrailingPathDelimiter(platform::ResolvePath(folder));
  while (!platform::DirectoryExists(existing)) {
    const std::string parent = platform::ExtractFileDir(existing);
    if (parent.empty() || parent == existing) return {};
    existing = parent;
  }
  return existing;
}

}  // namespace

FolderPickerDialog::FolderPickerDialog(const FolderDialogRequest& request)
    : QFileDialog(request.owner, ToQt(request.title)),
      root_(ExistingFolder(request.root)),
      validate_((request.flags & BIF_VALIDATE) != 0) {
  // Qt's own widgets, so the status line and the validation below are ours to add.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::ShowDirsOnly, true);
  setFileMode(QFileDialog::Directory);

  if (!root_.empty()) {
    setSidebarUrls({QUrl::fromLocalFile(ToQt(root_))});
    setDirectory(ToQt(root_));
  }
  if (!request.initialFolder.empty()) SelectInitialFolder(request.initialFolder);

  // Without the edit-box flag the folder is chosen from the tree only.
  const bool editBox = (request.flags & BIF_EDITBOX) != 0;
  for (const char* name : {"fileNameEdit", "fileNameLabel"})
    if (QWidget* widget = findChild<QWidget*>(name)) widget->setVisible(editBox);

  if (!request.statusText.empty()) {
    statusLine_ = new QLabel(ToQt(request.statusText), this);
    statusLine_->setObjectName("statusText");
    // The text is always handed over; the line shows only with the status-text flag.
    statusLine_->setVisible((request.flags & BIF_STATUSTEXT) != 0);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
      grid->addWidget(statusLine_, grid->rowCount(), 0, 1, -1);
  }
}

void FolderPickerDialog::SelectInitialFolder(const std::string& folder) {
  const std::string resolved =
      platform::ExcludeTrailingPathDelimiter(platform::ResolvePath(folder));
  if (!platform::DirectoryExists(resolved) || !InsideRoot(resolved)) return;
  const QFileInfo info(ToQt(resolved));
  if (info.isRoot()) {
    setDirectory(info.absoluteFilePath());
    return;
  }
  // Opened in its parent with the folder itself selected, as the tree would show it.
  setDirectory(info.absolutePath());
  selectFile(info.fileName());
}

bool FolderPickerDialog::InsideRoot(const std::string& folder) const {
  if (root_.empty() || folder == root_) return true;
  const std::string prefix = platform::IncludeTrailingPathDelimiter(root_);
  return folder.compare(0, prefix.size(), prefix) == 0;
}

std::string FolderPickerDialog::ChosenFolder() const {
  const QStringList files = selectedFiles();
  if (files.isEmpty()) return {};
  const std::string folder = platform::ResolvePath(FromQt(QDir::cleanPath(files.first())));
  if (!platform::DirectoryExists(folder) || !InsideRoot(folder)) return {};
  return folder;
}

bool FolderPickerDialog::BareRoot() const {
  // Something typed or picked in the view stands in the name field; the folder merely shown is
  // not a choice when it is the top of the tree, where a stray Enter would otherwise take it.
  const auto* edit = findChild<QLineEdit*>("fileNameEdit");
  if (edit && !edit->text().trimmed().isEmpty()) return false;
  const std::string shown = platform::ExcludeTrailingPathDelimiter(
      platform::ResolvePath(FromQt(QDir::cleanPath(directory().absolutePath()))));
  return shown.empty() || shown == root_ || QFileInfo(ToQt(shown)).isRoot();
}

void FolderPickerDialog::accept() {
  if (BareRoot()) return;
  if (!validate_) {
    QFileDialog::accept();
    return;
  }
  // A typed name that is no folder (or lies outside the root) keeps the dialog open.
  if (ChosenFolder().empty()) {
    QApplication::beep();
    return;
  }
  QDialog::accept();
}
