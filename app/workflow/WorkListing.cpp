// The work folder listed once for all the maps of a package.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/Paths.h"

namespace workflow {

WorkListing::WorkListing(WorkListing*& slot, const std::string& folder)
    : slot_(slot), previous_(slot), folder_(platform::ResolvePath(folder)) {
  if (DIR* dir = opendir(folder_.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names_.push_back(name);
    }
    closedir(dir);
  }
  // The file search's order, so the same map comes first either way.
  std::sort(names_.begin(), names_.end(), [](const std::string& a, const std::string& b) {
    return platform::LowerCase(a) < platform::LowerCase(b);
  });
  gone_.assign(names_.size(), false);
  for (size_t i = 0; i < names_.size(); ++i)
    byName_[platform::FoldFileName(names_[i])].push_back(i);
  slot_ = this;
}

WorkListing::~WorkListing() {
  slot_ = previous_;
}

bool WorkListing::Handed(size_t i) {
  if (gone_[i]) return false;
  const std::string& name = names_[i];
  const std::string path = platform::JoinPath(folder_, name);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    gone_[i] = true;
    return false;
  }
  // As the search hands them out: no hidden entry, no folder, no blank name.
  if (name[0] == '.' || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return false;
  return !platform::Trim(name).empty();
}

std::vector<std::string> WorkListing::Matches(const std::string& mask, bool firstOnly) {
  std::vector<std::string> found;
  if (mask.find_first_of("*?") == std::string::npos) {
    auto it = byName_.find(platform::FoldFileName(mask));
    if (it == byName_.end()) return found;
    for (size_t i : it->second) {
      if (!Handed(i)) continue;
      found.push_back(names_[i]);
      if (firstOnly) break;
    }
    return found;
  }
  size_t& from = cursors_[mask];
  size_t first = names_.size();
  for (size_t i = from; i < names_.size(); ++i) {
    if (gone_[i] || !platform::MatchesMask(names_[i], mask) || !Handed(i)) continue;
    first = std::min(first, i);
    found.push_back(names_[i]);
    if (firstOnly) break;
  }
  // Entries only go while the package is worked on: what did not match before the first match
  // never will, so the next search for this mask starts there.
  from = first;
  return found;
}

}  // namespace workflow
