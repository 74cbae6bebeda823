#include "platform/Paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/Strings.h"

namespace platform {
namespace {

std::string& ProgramFolderOverride() {
  static std::string folder;
  return folder;
}

std::string ExecutableFolder() {
  std::string buffer(PATH_MAX, '\0');
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return CurrentFolder();
  buffer.resize(static_cast<size_t>(n));
  return ExtractFileDir(buffer);
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

std::string ProgramFolder() {
  if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
  static const std::string folder = ExecutableFolder();
  return folder;
}

void SetProgramFolder(const std::string& folder) {
  ProgramFolderOverride() = ExcludeTrailingPathDelimiter(folder);
}

FolderListingCache::FolderListingCache(const std::string& root)
    : root_(ForEachComponent(ResolvePath(root), [](const std::string&, const std::string&) {})),
      previous_(g_listingCache) {
  if (root_.empty()) root_ = ".";
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
