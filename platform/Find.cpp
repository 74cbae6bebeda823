#include "platform/Find.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/Paths.h"
#include "platform/Strings.h"

namespace platform {
namespace {

struct Search {
  std::vector<FindData> entries;
  size_t next = 0;
};

// Open searches by handle. Handles are never reused within a run, so a stale handle finds
// nothing instead of someone else's search.
std::map<FindHandle, std::unique_ptr<Search>>& Searches() {
  static std::map<FindHandle, std::unique_ptr<Search>> searches;
  return searches;
}
FindHandle g_nextHandle = 1;
int g_lastError = 0;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Both sides folded as file names are compared, so '?' stands for one character, not one byte.
bool Match(std::u32string_view name, std::u32string_view mask) {
  // Iterative wildcard match with one backtrack point for the last '*'.
  size_t n = 0, m = 0, starMask = std::u32string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == U'*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::u32string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == U'*') ++m;
  return m == mask.size();
}

FindData Describe(const std::string& folder, const std::string& name) {
  FindData data;
  data.name = name;
  std::string full = JoinPath(folder, name);
  struct stat st;
  if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) return data;
  if (S_ISDIR(st.st_mode))
    data.attributes |= faDirectory;
  else
    data.attributes |= faArchive;
  if (name.size() > 1 && name[0] == '.' && name != "..") data.attributes |= faHidden;
  if (access(full.c_str(), W_OK) != 0 && (st.st_mode & S_IWUSR) == 0) data.attributes |= faReadOnly;
  data.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  data.lastWrite = st.st_mtime;
  return data;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  if (mask == "*.*" || mask == "*") return true;
  return Match(FoldFileName(name), FoldFileName(mask));
}

FindHandle FindFirstFile(const std::string& pattern, FindData& data) {
  std::string folder = ExtractFileDir(pattern);
  std::string mask = ExtractFileName(pattern);
  std::string resolved = ResolvePath(folder.empty() ? std::string(".") : folder);
  DIR* dir = opendir(resolved.c_str());
  if (!dir) {
    g_lastError = kErrorPathNotFound;
    return kInvalidFindHandle;
  }
  const bool everything = mask == "*.*" || mask == "*";
  const std::u32string folded = FoldFileName(mask);
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir))
    if (everything || Match(FoldFileName(entry->d_name), folded)) names.emplace_back(entry->d_name);
  closedir(dir);
  if (names.empty()) {
    g_lastError = kErrorFileNotFound;
    return kInvalidFindHandle;
  }
  // Directory order on POSIX is arbitrary; a case-insensitive name order keeps runs repeatable.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
  });
  auto search = std::make_unique<Search>();
  for (const std::string& name : names) search->entries.push_back(Describe(resolved, name));
  data = search->entries[0];
  search->next = 1;
  FindHandle handle = g_nextHandle++;
  Searches()[handle] = std::move(search);
  g_lastError = 0;
  return handle;
}

bool FindNextFile(FindHandle handle, FindData& data) {
  auto it = Searches().find(handle);
  if (it == Searches().end()) {
    g_lastError = kErrorNoMoreFiles;
    return false;
  }
  Search& search = *it->second;
  if (search.next >= search.entries.size()) {
    g_lastError = kErrorNoMoreFiles;
    return false;
  }
  data = search.entries[search.next++];
  g_lastError = 0;
  return true;
}

void FindClose(FindHandle handle) {
  Searches().erase(handle);
}

int LastFindError() {
  return g_lastError;
}

}  // namespace platform
