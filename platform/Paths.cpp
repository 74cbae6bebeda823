#include "platform/Paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The one entry of folder whose name equals name ignoring ASCII case; empty when there is none
// or when the name is ambiguous.
std::string FindCaseInsensitive(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::string();
  std::string found;
  int matches = 0;
  while (dirent* entry = readdir(dir)) {
    if (SameText(entry->d_name, name)) {
      found = entry->d_name;
      ++matches;
    }
  }
  closedir(dir);
  return matches == 1 ? found : std::string();
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
