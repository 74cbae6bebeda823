// Emptying the work area after each map and each package.
#include "app/workflow/Components.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace workflow {

bool DeleteFolderTree(const std::string& path) {
  try {
    if (path.empty()) return false;
    if (platform::DirectoryExists(path)) platform::DeleteTree(path);
    return !platform::DirectoryExists(path) && !platform::FileExists(path);
  } catch (...) {
    return false;
  }
}

void ConvertWorkflow::Cleanup() {
  state_.AppFolder = ProgramFolder();
  if (!platform::SetCurrentFolder(state_.AppFolder))
    throw EInOutError("cannot change to folder " + state_.AppFolder);
  for (const char* name : {kTocFile, kPackBatchFile, kUnpackBatchFile, "$$$$.bat"})
    if (platform::FileExists(name)) platform::DeleteFile(name);
  DeleteFolderTree(platform::JoinPath(state_.AppFolder, kStagingFolder));
  platform::SetCurrentFolder(state_.AppFolder);
}

void ConvertWorkflow::CleanupAll() {
  Cleanup();
  DeleteFolderTree(WorkFolderPath());
  platform::SetCurrentFolder(state_.AppFolder);
}

}  // namespace workflow
