#pragma once
// Where the program lives and how names of existing files are found. The program was designed
// for a file system that ignores case; on POSIX every path naming an existing file or folder is
// resolved component by component (exact match first, else the one entry whose name is the same
// ignoring case, see SameFileName).
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform {

// Where the program keeps its things. In the portable layout everything sits in the
// executable's folder. Where that folder is read-only for the user, or the program is installed
// (bin/ with the stand-ins in lib/varevudov/), the settings file, the work area and a user's own
// archive.exe live in a folder of the user's own, and the stand-ins stay where they were
// installed.
struct ProgramFolders {
  std::string program;   // settings file, work area, a user's own archive.exe and libraries
  std::string bundled;   // the stand-ins shipped with the program; empty when in `program`
  bool perUser = false;  // `program` is the user's own folder, not the executable's
};

// The choice for an executable in executableFolder: that folder when the user may write there
// and it is not an installed layout; otherwise xdgDataHome/varevudov (when xdgDataHome is an
// absolute path), else home/.local/share/varevudov. Looks at the file system, changes nothing.
ProgramFolders ChooseProgramFolders(const std::string& executableFolder, bool writable,
                                    const std::string& xdgDataHome, const std::string& home);

// The folders for this run, chosen once; a per-user folder is created on first use.
// No trailing separators. Tests may point them elsewhere.
std::string ProgramFolder();
std::string BundledFolder();
bool ProgramFolderIsPerUser();
std::string ExecutableFolder();
std::string ExecutablePath();  // the running program's file; empty when the system cannot say
void SetProgramFolder(const std::string& folder);  // empty: back to the chosen folders
void SetProgramFolders(const ProgramFolders& folders);

// What makes the program folder of this run unsafe to run or load anything from, with how to
// fix it; empty when nothing. Whoever may change the folder, archive.exe or a library in it
// chooses what runs as the user: the folder and every ".exe", ".dll" or ".so" in it must belong
// to the user or root and be writable by nobody else, and a per-user folder must not be a link.
std::string ProgramFolderProblem();

// A file the program runs or loads (archive.exe, a stand-in library): the program folder's
// first, so a user's own copy wins, then the bundled one. Empty when neither exists.
std::string FindProgramFile(const std::string& name);

// Resolves every existing component of path case-insensitively. Components that do not exist
// (and everything after them) keep the spelling given, so the result can name a new file.
std::string ResolvePath(const std::string& path);

// While one lives (on this thread), ResolvePath reads each folder at or below root at most once
// and answers later case-insensitive lookups there from that listing, so resolving n new names in
// one folder costs O(n), not O(n^2). Meant for a folder that one operation fills, such as an
// extraction target: the operation reports every name it creates there with Created. Names
// created by others meanwhile may be missed by the case-insensitive lookup (an exact name is
// always found: it is probed first); a listed name that is gone is never returned.
class FolderListingCache {
 public:
  explicit FolderListingCache(const std::string& root);
  ~FolderListingCache();
  FolderListingCache(const FolderListingCache&) = delete;
  FolderListingCache& operator=(const FolderListingCache&) = delete;

  // path (and every folder on the way to it) now exists.
  void Created(const std::string& path);
  // The one listed entry of folder named name ignoring case; empty when none or several. Lists
  // folder on first use; false when folder lies outside root.
  bool Find(const std::string& folder, const std::string& name, std::string& found);

 private:
  using Listing = std::unordered_map<std::u32string, std::vector<std::string>>;
  Listing* ListingOf(const std::string& folder, bool read);

  std::string root_;
  std::map<std::string, Listing> listings_;
  FolderListingCache* previous_;
};

std::string CurrentFolder();
bool SetCurrentFolder(const std::string& folder);

}  // namespace platform
