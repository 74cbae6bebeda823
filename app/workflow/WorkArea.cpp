// The work area beside the program: "$$$", "$map$", the TOC script and the batch files are
// ours alone. Whatever stands under those names when a package starts (left by a killed run or
// planted there) is removed, links as links, and the work files are then made fresh, never
// through a link.
#include <filesystem>

#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/TextFile.h"

namespace workflow {

void RemoveMapWorkFiles(const std::string& programFolder) {
  for (const char* name : kMapWorkNames)
    platform::RemoveAnyEntry(platform::JoinPath(programFolder, name));
}

void WriteWorkFile(const std::string& path, const std::vector<std::string>& lines) {
  platform::RemoveAnyEntry(path);
  platform::WriteNewTextFile(path, lines);
}

bool LiesInWorkArea(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(fs::absolute(path, error), error);
  if (error) return false;
  const fs::path program = fs::weakly_canonical(ProgramFolder(), error);
  if (error) return false;
  const fs::path relative = canonical.lexically_relative(program);
  if (relative.empty() || *relative.begin() == "..") return false;
  const std::string first = relative.begin()->string();
  for (const char* name : kMapWorkNames)
    if (platform::SameText(first, name)) return true;
  return platform::SameText(first, kWorkFolder);
}

}  // namespace workflow
