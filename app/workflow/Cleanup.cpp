// Emptying the work area after each map and each package.
#include "app/workflow/Components.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace workflow {

bool DeleteFolderTree(const std::string& path) {
  try {
    return platform::RemoveAnyEntry(path);
  } catch (...) {
    return false;
  }
}

void ConvertWorkflow::Cleanup() {
  state_.AppFolder = ProgramFolder();
  if (!platform::SetCurrentFolder(state_.AppFolder))
    throw EInOutError("cannot change to folder " + state_.AppFolder);
  RemoveMapWorkFiles(state_.AppFolder);
  platform::SetCurrentFolder(state_.AppFolder);
}

void ConvertWorkflow::CleanupAll() {
  Cleanup();
  DeleteFolderTree(WorkFolderPath());
  platform::SetCurrentFolder(state_.AppFolder);
}

}  // namespace workflow
