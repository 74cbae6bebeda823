#include "platform/Paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>

#include "platform/Files.h"
#include "platform/Strings.h"

namespace platform {
namespace {

// The installed stand-ins, relative to the installed executable's folder (set by the build).
#ifndef VAREVUDOV_BUNDLE_FROM_BIN
#define VAREVUDOV_BUNDLE_FROM_BIN "../lib/varevudov"
#endif

std::optional<ProgramFolders>& Override() {
  static std::optional<ProgramFolders> folders;
  return folders;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty())
    if (const passwd* entry = getpwuid(getuid())) home = entry->pw_dir ? entry->pw_dir : "";
  return home;
}

// Like mkdir -p; private folders, as for any per-user data.
void CreateFolderPath(const std::string& folder) {
  for (size_t at = folder.find(kPathDelim, 1);; at = folder.find(kPathDelim, at + 1)) {
    mkdir(folder.substr(0, at).c_str(), 0700);
    if (at == std::string::npos) break;
  }
}

const ProgramFolders& Chosen() {
  static const ProgramFolders folders = [] {
    const std::string exe = ExecutableFolder();
    ProgramFolders chosen = ChooseProgramFolders(exe, access(exe.c_str(), W_OK) == 0,
                                                 Environment("XDG_DATA_HOME"), HomeFolder());
    if (chosen.perUser) CreateFolderPath(chosen.program);
    return chosen;
  }();
  return folders;
}

const ProgramFolders& Current() {
  return Override() ? *Override() : Chosen();
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

thread_local FolderListingCache* g_listingCache = nullptr;

// The one entry of folder whose name equals name ignoring case; empty when there is none or
// when the name is ambiguous.
std::string FindCaseInsensitive(const std::string& folder, const std::string& name) {
  std::string found;
  if (g_listingCache && g_listingCache->Find(folder, name, found)) return found;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::string();
  const std::u32string folded = FoldFileName(name);
  int matches = 0;
  while (dirent* entry = readdir(dir)) {
    if (FoldFileName(entry->d_name) == folded) {
      found = entry->d_name;
      ++matches;
    }
  }
  closedir(dir);
  return matches == 1 ? found : std::string();
}

// folder + separator + name, folder spelt as ResolvePath spells the folders it searches.
std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == kPathDelim ? folder + name : folder + kPathDelim + name;
}

// Calls visit(folder, name) for each component of path, with folder spelt as ResolvePath spells
// the folders it searches ("." for the current one); returns path spelt the same way.
template <typename Visit>
std::string ForEachComponent(const std::string& path, Visit visit) {
  std::string built = !path.empty() && path[0] == kPathDelim ? std::string(1, kPathDelim) : "";
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(kPathDelim, start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    visit(built.empty() ? std::string(".") : built, part);
    built = Join(built, part);
  }
  return built;
}

}  // namespace

std::string ExecutablePath() {
  std::string buffer(PATH_MAX, '\0');
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return std::string();
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

std::string ExecutableFolder() {
  const std::string executable = ExecutablePath();
  return executable.empty() ? CurrentFolder() : ExtractFileDir(executable);
}

ProgramFolders ChooseProgramFolders(const std::string& executableFolder, bool writable,
                                    const std::string& xdgDataHome, const std::string& home) {
  std::string installed = executableFolder;
  std::string relative = VAREVUDOV_BUNDLE_FROM_BIN;
  for (; relative.rfind("../", 0) == 0; relative.erase(0, 3)) installed = ExtractFileDir(installed);
  installed = JoinPath(installed, relative);
  const bool isInstalled = FileExists(JoinPath(installed, "archive.exe"));
  // An installed program never writes beside itself, even where it could (root, or a prefix
  // in the user's home): the work area does not belong among the system's executables.
  if (writable && !isInstalled) return {executableFolder, "", false};
  // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
  const std::string data = !xdgDataHome.empty() && xdgDataHome.front() == kPathDelim
                               ? xdgDataHome
                               : JoinPath(home, ".local/share");
  return {JoinPath(ExcludeTrailingPathDelimiter(data), "varevudov"),
          isInstalled ? installed : executableFolder, true};
}

std::string ProgramFolder() {
  return Current().program;
}

std::string BundledFolder() {
  return Current().bundled;
}

bool ProgramFolderIsPerUser() {
  return Current().perUser;
}

void SetProgramFolder(const std::string& folder) {
  if (folder.empty())
    Override().reset();
  else
    Override() = ProgramFolders{ExcludeTrailingPathDelimiter(folder), "", false};
}

void SetProgramFolders(const ProgramFolders& folders) {
  Override() = ProgramFolders{ExcludeTrailingPathDelimiter(folders.program),
                              ExcludeTrailingPathDelimiter(folders.bundled), folders.perUser};
}

std::string FindProgramFile(const std::string& name) {
  for (const std::string& folder : {ProgramFolder(), BundledFolder()}) {
    if (folder.empty()) continue;
    const std::string path = ResolvePath(JoinPath(folder, name));
    if (FileExists(path)) return path;
  }
  return std::string();
}

std::string ProgramFolderProblem() {
  const ProgramFolders& folders = Current();
  const std::string& folder = folders.program;
  auto untrusted = [](const std::string& path, const struct stat& st) -> std::string {
    if (st.st_uid != getuid() && st.st_uid != 0)
      return path + " belongs to another user (uid " + std::to_string(st.st_uid) +
             "): remove it or have it removed, then start the program again";
    if (st.st_mode & (S_IWGRP | S_IWOTH))
      return path + " may be changed by other users: make it yours alone with chmod go-w '" + path +
             "'";
    return {};
  };
  struct stat st;
  if (folders.perUser && lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
    return "the program folder " + folder +
           " is a link: remove the link, and the program makes a folder of your own there";
  if (stat(folder.c_str(), &st) != 0) return {};
  if (std::string problem = untrusted(folder, st); !problem.empty())
    return "the program folder " + problem;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {};
  std::string problem;
  while (dirent* entry = readdir(dir)) {
    const std::string ext = LowerCase(ExtractFileExt(entry->d_name));
    const std::string path = JoinPath(folder, entry->d_name);
    if ((ext == ".exe" || ext == ".dll" || ext == ".so") && stat(path.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode))
      problem = untrusted(path, st);
    if (!problem.empty()) break;
  }
  closedir(dir);
  return problem.empty() ? problem : "in the program folder, " + problem;
}

FolderListingCache::FolderListingCache(const std::string& root)
    : root_(ForEachComponent(ResolvePath(root), [](const std::string&, const std::string&) {})),
      previous_(g_listingCache) {
  // append, not assignment: GCC 12 at -O3 warns falsely (-Wrestrict) on assigning a literal here.
  if (root_.empty()) root_.append(1, '.');
  g_listingCache = this;
}

FolderListingCache::~FolderListingCache() {
  g_listingCache = previous_;
}

FolderListingCache::Listing* FolderListingCache::ListingOf(const std::string& folder, bool read) {
  auto it = listings_.find(folder);
  if (it != listings_.end()) return &it->second;
  const bool inside =
      folder == root_ ||
      (folder.size() > root_.size() && folder.compare(0, root_.size(), root_) == 0 &&
       (root_.back() == kPathDelim || folder[root_.size()] == kPathDelim));
  if (!read || !inside) return nullptr;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return nullptr;  // not remembered: it may appear later
  Listing& listing = listings_[folder];
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") listing[FoldFileName(name)].push_back(name);
  }
  closedir(dir);
  return &listing;
}

bool FolderListingCache::Find(const std::string& folder, const std::string& name,
                              std::string& found) {
  Listing* listing = ListingOf(folder, true);
  if (!listing) return false;
  found.clear();
  auto it = listing->find(FoldFileName(name));
  if (it != listing->end() && it->second.size() == 1 &&
      EntryExists(Join(folder, it->second.front())))
    found = it->second.front();
  return true;
}

void FolderListingCache::Created(const std::string& path) {
  ForEachComponent(path, [&](const std::string& folder, const std::string& name) {
    if (name == "." || name == "..") return;
    if (Listing* listing = ListingOf(folder, false)) {
      std::vector<std::string>& names = (*listing)[FoldFileName(name)];
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  });
}

std::string ResolvePath(const std::string& path) {
  if (path.empty() || EntryExists(path)) return path;
  std::string resolved = path[0] == kPathDelim ? std::string(1, kPathDelim) : std::string();
  bool resolving = true;  // false once a component does not exist: the rest stays as given
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(kPathDelim, start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;  // leading or doubled separator
    std::string folder = resolved.empty() ? std::string(".") : resolved;
    std::string prefix =
        resolved.empty() || resolved.back() == kPathDelim ? resolved : resolved + kPathDelim;
    if (resolving && part != "." && part != ".." && !EntryExists(prefix + part)) {
      std::string match = FindCaseInsensitive(folder, part);
      if (match.empty())
        resolving = false;
      else
        part = match;
    }
    resolved = prefix + part;
  }
  if (path.back() == kPathDelim && !resolved.empty() && resolved.back() != kPathDelim)
    resolved += kPathDelim;
  return resolved;
}

std::string CurrentFolder() {
  std::string buffer(PATH_MAX, '\0');
  if (!getcwd(buffer.data(), buffer.size())) return std::string();
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

bool SetCurrentFolder(const std::string& folder) {
  return chdir(ResolvePath(folder).c_str()) == 0;
}

}  // namespace platform
