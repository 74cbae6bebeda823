#include "shell/folderBrowse.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include "shell/FolderPickerDialog.h"

namespace {

// The dialog flag behind each TBrowseFlag, in the order of the enumeration.
constexpr uint32_t kFlagBits[] = {
    BIF_BROWSEFORCOMPUTER, BIF_BROWSEFORPRINTER, BIF_DONTGOBELOWDOMAIN, BIF_STATUSTEXT,
    BIF_RETURNFSANCESTORS, BIF_RETURNONLYFSDIRS, BIF_EDITBOX,
};

std::string Writable(QStandardPaths::StandardLocation location, const char* sub = nullptr) {
  QString folder = QStandardPaths::writableLocation(location);
  if (sub && !folder.isEmpty()) folder += QLatin1Char('/') + QLatin1String(sub);
  return QFile::encodeName(folder).toStdString();
}

// The folder shared by every user: the last of the standard locations.
std::string Common(QStandardPaths::StandardLocation location, const char* sub = nullptr) {
  const QStringList folders = QStandardPaths::standardLocations(location);
  if (folders.isEmpty()) return {};
  QString folder = folders.last();
  if (sub) folder += QLatin1Char('/') + QLatin1String(sub);
  return QFile::encodeName(folder).toStdString();
}

FolderDialog* g_dialog = nullptr;

}  // namespace

std::string BrowseLocationFolder(TBrowseLocation location) {
  using SP = QStandardPaths;
  switch (location) {
    case bl_PROGRAMS:
    case bl_STARTMENU:
      return Writable(SP::ApplicationsLocation);
    case bl_PERSONAL:
      return Writable(SP::DocumentsLocation);
    case bl_STARTUP:
      return Writable(SP::GenericConfigLocation, "autostart");
    case bl_BITBUCKET:
      return Writable(SP::GenericDataLocation, "Trash/files");
    case bl_DESKTOPDIRECTORY:
      return Writable(SP::DesktopLocation);
    case bl_FONTS:
      return Writable(SP::FontsLocation);
    case bl_TEMPLATES:
      return Writable(SP::TemplatesLocation);
    case bl_COMMON_STARTMENU:
    case bl_COMMON_PROGRAMS:
      return Common(SP::ApplicationsLocation);
    case bl_COMMON_STARTUP:
      return Common(SP::GenericConfigLocation, "autostart");
    case bl_COMMON_DESKTOPDIRECTORY:
      return Writable(SP::PublicShareLocation);
    case bl_APPDATA:
      return Writable(SP::GenericDataLocation);
    case bl_FAVORITES:
    case bl_RECENT:
    case bl_SENDTO:
    case bl_NETHOOD:
    case bl_PRINTHOOD:
      return Writable(SP::HomeLocation);
    case bl_STANDART:
    case bl_CUSTOM:
    case bl_DESKTOP:
    case bl_CONTROLS:
    case bl_PRINTERS:
    case bl_DRIVES:
    case bl_NETWORK:
      break;
  }
  return {};
}

bool QtFolderDialog::Browse(const FolderDialogRequest& request, FolderDialogChoice& choice) {
  FolderPickerDialog dialog(request);
  if (dialog.exec() != QDialog::Accepted) return false;
  choice.path = dialog.ChosenFolder();
  const QFileInfo info(QFile::decodeName(choice.path.c_str()));
  choice.displayName =
      QFile::encodeName(info.isRoot() ? info.absoluteFilePath() : info.fileName()).toStdString();
  return true;
}

bool RecordingFolderDialog::Browse(const FolderDialogRequest& request, FolderDialogChoice& choice) {
  requests.push_back(request);
  if (answers.empty()) return false;
  std::optional<FolderDialogChoice> answer = std::move(answers.front());
  answers.pop_front();
  if (!answer) return false;
  choice = std::move(*answer);
  return true;
}

FolderDialog& CurrentFolderDialog() {
  static QtFolderDialog qtDialog;
  return g_dialog ? *g_dialog : qtDialog;
}

void SetFolderDialog(FolderDialog* dialog) {
  g_dialog = dialog;
}

TBrowseForFolder::TBrowseForFolder(QWidget* owner)
    : owner_(owner),
      statusText_("Plase select folder"),
#ifdef _WIN32
      folderName_("C:\\"),
#else
      folderName_("/"),  // the root of the system drive
#endif
      caption_("Select Folder") {
}

TBrowseFlags TBrowseForFolder::Flags() const {
  TBrowseFlags flags;
  for (int flag = bf_BrowseForComputer; flag <= bf_EditBox; ++flag)
    if (flagsWord_ & kFlagBits[flag]) flags.Include(static_cast<TBrowseFlag>(flag));
  return flags;
}

void TBrowseForFolder::SetFlags(TBrowseFlags flags) {
  for (int flag = bf_BrowseForComputer; flag <= bf_EditBox; ++flag) {
    if (flags.Contains(static_cast<TBrowseFlag>(flag)))
      flagsWord_ |= kFlagBits[flag];
    else
      flagsWord_ &= ~kFlagBits[flag];
  }
}

bool TBrowseForFolder::Execute() {
  if (root_ == bl_CUSTOM)
    rootFolder_ = customRoot_;
  else if (root_ != bl_STANDART)
    rootFolder_ = BrowseLocationFolder(root_);
  // Typed names are always checked; the bit stays in the word afterwards.
  flagsWord_ |= BIF_VALIDATE;

  FolderDialogRequest request;
  request.owner = owner_;
  request.title = caption_;
  request.root = rootFolder_;
  request.initialFolder = folderName_;
  request.statusText = statusText_;
  request.flags = flagsWord_;

  FolderDialogChoice choice;
  if (!CurrentFolderDialog().Browse(request, choice)) return false;
  // An item without a file-system path leaves an empty FolderName, never a stale one.
  folderName_ = std::move(choice.path);
  displayName_ = std::move(choice.displayName);
  return true;
}
