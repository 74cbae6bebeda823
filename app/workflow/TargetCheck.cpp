// The target folder is looked at before a run touches any package: a folder that is gone (an
// unplugged drive), read-only or full would otherwise fail every map with the archiver's exit
// code alone, after each package was extracted for nothing.
#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/Volume.h"

namespace workflow {
namespace {

bool WritesToTarget(const std::string& path) {
  const std::string ext = platform::LowerCase(platform::ExtractFileExt(path));
  return ext == ".zip" || ext == ".rar";
}

// The smallest package the run would convert into the target (-1: none): the least room the
// run needs there, as its VKA file is about as large as the package.
int64_t SmallestPackage(int selectMode, const std::string& file, const std::string& folder) {
  if (selectMode == select_mode::kOneFile)
    return WritesToTarget(file) ? platform::FileSize(file) : -1;
  int64_t smallest = -1;
  platform::FindData data;
  platform::FindHandle handle = platform::FindFirstFile(platform::JoinPath(folder, "*.*"), data);
  if (handle == platform::kInvalidFindHandle) return -1;
  do {
    const int64_t size =
        WritesToTarget(data.name) ? platform::FileSize(platform::JoinPath(folder, data.name)) : -1;
    if (size >= 0 && (smallest < 0 || size < smallest)) smallest = size;
  } while (platform::FindNextFile(handle, data));
  platform::FindClose(handle);
  return smallest;
}

}  // namespace

bool ConvertWorkflow::TargetUsable() {
  // A lone VKA file is unpacked into the program folder: the target plays no part.
  const int64_t needed =
      SmallestPackage(state_.SelectMode, state_.MapFilePath, state_.SourceFolder);
  if (state_.SelectMode == select_mode::kOneFile && needed < 0) return true;
  const std::string target = TargetFolder();
  const std::string why = platform::FileExists(target) ? "is a file, not a folder"
                          : !platform::DirectoryExists(target)
                              ? "does not exist (is its drive attached?)"
                          : !platform::FolderWritable(target) ? "is read-only"
                                                              : std::string();
  if (!why.empty()) {
    Refuse("error - target folder " + target + " " + why + ", nothing converted !");
    return false;
  }
  const platform::FreeSpace free = platform::FreeSpaceAt(target);
  if (needed >= 0 && free.bytes >= 0 && free.bytes < needed) {
    Refuse("error - target folder " + target + " is full (" + std::to_string(free.bytes) +
           " bytes free, the package needs about " + std::to_string(needed) +
           "), nothing converted !");
    return false;
  }
  return true;
}

}  // namespace workflow
