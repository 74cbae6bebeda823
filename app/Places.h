#pragma once
// Where the window's dialogs start and what opens a folder for the user: the folder of the
// package chosen last (remembered across runs in a file of its own beside the settings file),
// the user's Downloads or home folder, and the desktop's file manager.
#include <string>

#include "platform/ScopedOverride.h"

namespace places {

// The file beside the settings file that holds the last package's folder, one line.
inline constexpr char kPackageFolderFileName[] = "package-folder.txt";

// preferred when it is an existing folder, else Downloads, else the home folder; empty when
// none exists.
std::string StartFolder(const std::string& preferred);

// The folder of the package chosen last; empty when none was remembered.
std::string RememberedPackageFolder();
// Remembers the folder of packagePath; a failure to write only loses the convenience.
void RememberPackageFolder(const std::string& packagePath);

// Shows a folder in the desktop's file manager; false when that could not be done.
class FolderOpener {
 public:
  virtual ~FolderOpener() = default;
  virtual bool Open(const std::string& folder) = 0;
};
FolderOpener& CurrentFolderOpener();
void SetFolderOpener(FolderOpener* opener);  // nullptr: back to the desktop's
using ScopedFolderOpener =
    platform::ScopedOverride<FolderOpener, CurrentFolderOpener, SetFolderOpener>;

}  // namespace places
