// After extraction, every file the package lists either lies in the work folder as a regular
// file of its listed size or is named in the log with its reason; a map that needs a file that
// did not land is not made.
#include <map>

#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/Volume.h"

namespace workflow {
namespace {

// A stored name as one key: '/' between components, empty and "." components dropped.
std::string EntryKey(const std::string& name) {
  std::string key;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (!part.empty() && part != ".") key += (key.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return key;
}

std::string BareName(const std::string& name) {
  const std::string key = EntryKey(name);
  return key.substr(key.rfind('/') + 1);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// What the whole package's refusal says when nothing of it landed: the one reason all its
// entries share, else a plain phrase.
std::string Refusal(const std::vector<TSkippedEntry>& missing) {
  if (missing.empty()) return "the package lists no file";
  const std::string& reason = missing.front().Reason;
  for (const TSkippedEntry& entry : missing)
    if (entry.Reason != reason) return "none of its files could be extracted";
  if (reason == "password needed") return "password protected";
  if (reason == "unsafe name") return "unsafe names only";
  if (reason.rfind("damaged", 0) == 0) return reason + " in " + missing.front().Name;
  return reason;
}

}  // namespace

std::string ConvertWorkflow::AccountForEntries(const std::vector<TPackageEntry>& listed,
                                               const std::vector<TSkippedEntry>& skipped) {
  missing_.clear();
  const std::string work = WorkFolderPath();
  const platform::FreeSpace free = platform::FreeSpaceAt(work);
  std::map<std::string, std::string> reasons;  // by entry key
  for (const TSkippedEntry& entry : skipped) reasons.emplace(EntryKey(entry.Name), entry.Reason);
  for (const TPackageEntry& entry : listed) {
    const std::string path = platform::JoinPath(work, BareName(entry.Name));
    if (platform::EntryTypeOf(path) == platform::EntryType::File &&
        platform::FileSize(path) == entry.Size)
      continue;
    const auto reported = reasons.find(EntryKey(entry.Name));
    // Without a word from the library, a drive too full for the file is the likely cause.
    const std::string reason = reported != reasons.end()                    ? reported->second
                               : free.bytes >= 0 && free.bytes < entry.Size ? "no space"
                                                                            : "not extracted";
    mm("left out " + entry.Name + " : " + reason + " !");
    missing_.push_back({entry.Name, reason});
  }
  if (!listed.empty() && missing_.size() == listed.size()) return Refusal(missing_);
  // A map whose scenario file did not land is never seen by the discovery: it fails here.
  for (const TSkippedEntry& entry : missing_)
    if (EndsWith(platform::LowerCase(entry.Name), ".vkb")) {
      mm(BareName(entry.Name) + " : " + entry.Reason + ", map not converted !");
      ++failures_;
    }
  return std::string();
}

bool ConvertWorkflow::MapFilesComplete() {
  const ConvertState& s = state_;
  const std::string map = platform::LowerCase(s.MapName);
  for (const TSkippedEntry& entry : missing_) {
    const std::string bare = platform::LowerCase(BareName(entry.Name));
    // The discovery takes any ".info" and ".scar" file, so one that was lost may be this map's.
    bool needed = EndsWith(bare, ".info") || EndsWith(bare, ".scar") || bare == map + ".tga";
    for (const std::string& image : s.ImageSearchNames)
      needed = needed || (!image.empty() && bare == platform::LowerCase(image));
    if (!needed) continue;
    mm(s.VKBFileName + " : " + BareName(entry.Name) + " was not extracted (" + entry.Reason +
       "), map not converted !");
    return false;
  }
  return true;
}

}  // namespace workflow
