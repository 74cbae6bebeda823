#pragma once
// TBrowseForFolder: shows a modal folder picker starting at the last chosen folder, with a status
// text, and returns the chosen folder's path. The dialog itself sits behind the FolderDialog
// interface, so tests (and front ends without a window) can answer it.
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/ScopedOverride.h"

class QWidget;

enum TBrowseFlag {
  bf_BrowseForComputer,
  bf_BrowseForPrinter,
  bf_DontGoBelowDomain,
  bf_statustext,
  bf_ReturnFSanceStors,
  bf_ReturnOnlyFSDIRS,
  bf_EditBox,
};

// A set of TBrowseFlag.
class TBrowseFlags {
 public:
  constexpr TBrowseFlags() = default;
  constexpr TBrowseFlags(std::initializer_list<TBrowseFlag> flags) {
    for (TBrowseFlag flag : flags) Include(flag);
  }
  constexpr bool Contains(TBrowseFlag flag) const { return (bits_ >> flag) & 1u; }
  constexpr void Include(TBrowseFlag flag) { bits_ |= 1u << flag; }
  constexpr void Exclude(TBrowseFlag flag) { bits_ &= ~(1u << flag); }
  constexpr bool operator==(const TBrowseFlags&) const = default;

 private:
  uint32_t bits_ = 0;
};

enum TBrowseLocation {
  bl_STANDART,
  bl_CUSTOM,
  bl_DESKTOP,
  bl_PROGRAMS,
  bl_CONTROLS,
  bl_PRINTERS,
  bl_PERSONAL,
  bl_FAVORITES,
  bl_STARTUP,
  bl_RECENT,
  bl_SENDTO,
  bl_BITBUCKET,
  bl_STARTMENU,
  bl_DESKTOPDIRECTORY,
  bl_DRIVES,
  bl_NETWORK,
  bl_NETHOOD,
  bl_FONTS,
  bl_TEMPLATES,
  bl_COMMON_STARTMENU,
  bl_COMMON_PROGRAMS,
  bl_COMMON_STARTUP,
  bl_COMMON_DESKTOPDIRECTORY,
  bl_APPDATA,
  bl_PRINTHOOD,
};

// Bits of the dialog's flags word, numbered as the Windows folder dialog numbers them.
inline constexpr uint32_t BIF_RETURNONLYFSDIRS = 0x0001;
inline constexpr uint32_t BIF_DONTGOBELOWDOMAIN = 0x0002;
inline constexpr uint32_t BIF_STATUSTEXT = 0x0004;
inline constexpr uint32_t BIF_RETURNFSANCESTORS = 0x0008;
inline constexpr uint32_t BIF_EDITBOX = 0x0010;
inline constexpr uint32_t BIF_VALIDATE = 0x0020;
inline constexpr uint32_t BIF_BROWSEFORCOMPUTER = 0x1000;
inline constexpr uint32_t BIF_BROWSEFORPRINTER = 0x2000;

// The folder a location's tree starts at on this platform: the nearest standard location, or
// empty for the whole file system (the desktop and the virtual folders that have no folder here).
std::string BrowseLocationFolder(TBrowseLocation location);

struct FolderDialogRequest {
  QWidget* owner = nullptr;
  std::string title;
  std::string root;           // the tree starts here; empty: the whole file system
  std::string initialFolder;  // selected on opening; empty: nothing selected
  std::string statusText;     // empty: none
  uint32_t flags = 0;         // the flags word (BIF_*)
};

struct FolderDialogChoice {
  std::string path;  // empty for an item without a file-system path
  std::string displayName;
};

class FolderDialog {
 public:
  virtual ~FolderDialog() = default;
  // Shows the dialog modally: true with the chosen item, false when cancelled.
  virtual bool Browse(const FolderDialogRequest& request, FolderDialogChoice& choice) = 0;
};

// The Qt folder dialog (see FolderPickerDialog.h).
class QtFolderDialog : public FolderDialog {
 public:
  bool Browse(const FolderDialogRequest& request, FolderDialogChoice& choice) override;
};

// Answers from a script in order (nullopt: cancel), cancelling once the script is used up.
// Records every request.
class RecordingFolderDialog : public FolderDialog {
 public:
  bool Browse(const FolderDialogRequest& request, FolderDialogChoice& choice) override;

  std::deque<std::optional<FolderDialogChoice>> answers;
  std::vector<FolderDialogRequest> requests;
};

// The dialog every TBrowseForFolder shows; Qt's until another is installed.
FolderDialog& CurrentFolderDialog();
void SetFolderDialog(FolderDialog* dialog);  // nullptr: back to Qt's

// Installs a folder dialog for the lifetime of a scope (tests).
using ScopedFolderDialog =
    platform::ScopedOverride<FolderDialog, CurrentFolderDialog, SetFolderDialog>;

class TBrowseForFolder {
 public:
  // The owner window is the dialog's parent; null gives a top-level dialog.
  explicit TBrowseForFolder(QWidget* owner = nullptr);

  // Shows the dialog: true when a folder was chosen (then in FolderName), false on cancel.
  bool Execute();

  const std::string& DisplayName() const { return displayName_; }
  const std::string& StatusText() const { return statusText_; }
  void SetStatusText(std::string text) { statusText_ = std::move(text); }
  const std::string& FolderName() const { return folderName_; }
  void SetFolderName(std::string folder) { folderName_ = std::move(folder); }
  TBrowseFlags Flags() const;
  // Sets or clears the seven flags of the set and leaves every other bit of the word alone.
  void SetFlags(TBrowseFlags flags);
  TBrowseLocation Root() const { return root_; }
  void SetRoot(TBrowseLocation root) { root_ = root; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  // The root for bl_CUSTOM; empty (the whole file system) unless set.
  const std::string& CustomRoot() const { return customRoot_; }
  void SetCustomRoot(std::string folder) { customRoot_ = std::move(folder); }

  // The dialog's flags word, with the validation bit that Execute adds.
  uint32_t FlagsWord() const { return flagsWord_; }

 private:
  QWidget* owner_;
  uint32_t flagsWord_ = 0;
  std::string rootFolder_;  // kept when Root goes back to bl_STANDART
  std::string customRoot_;
  std::string displayName_;
  std::string statusText_;
  std::string folderName_;
  TBrowseLocation root_ = bl_STANDART;
  std::string caption_;
};
