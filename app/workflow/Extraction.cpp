// Package extraction into the work folder and the first look at its map.
#include "app/workflow/Components.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace workflow {

std::string ConvertWorkflow::WorkFolderPath() const {
  return platform::JoinPath(state_.AppFolder, kWorkFolder);
}

bool ConvertWorkflow::ExtractFile() {
  state_.AppFolder = ProgramFolder();
  const std::string work = WorkFolderPath();
  if (!platform::DirectoryExists(work)) platform::CreateDir(work);
  bool result = false;
  if (state_.PackageKind == 1) {
    mm("Extracting zip file. Please wait...");
    TZip& zip = parts_->Zip1;
    zip.SetShowProgressDialog(false);
    zip.SetExtractDir(work);
    zip.SetZipFileName(state_.MapFilePath);
    if (zip.Extract() > 0) {
      GetVKBfilename();
      ShowMapImageWindow();
      result = true;
      mm("Done!");
    }
  } else if (state_.PackageKind == 2) {
    TRAR& rar = parts_->RAR1;
    if (!rar.OpenArchiveFile(state_.MapFilePath)) {
      mm("Error - " + state_.MapFilePath + " failed to open");
    } else {
      mm("Extracting rar file. Please wait...");
      result = rar.Extract(work, false, nullptr);
      GetVKBfilename();
      ShowMapImageWindow();
      mm("Done!");
    }
  }
  // The ZIP extractor leaves the current folder in the work folder.
  state_.AppFolder = ProgramFolder();
  if (!platform::SetCurrentFolder(state_.AppFolder))
    throw EInOutError("cannot change to folder " + state_.AppFolder);
  return result;
}

void ConvertWorkflow::ShowMapImageWindow() {
  if (!view_.ShowMapImageChecked()) return;
  const std::string minimap = platform::JoinPath(WorkFolderPath(), state_.MapName + "_mm.tga");
  if (state_.MapName.empty() || !platform::FileExists(minimap)) return;
  view_.ShowMapImageWindow(state_.MapName, platform::ResolvePath(minimap));
}

}  // namespace workflow
