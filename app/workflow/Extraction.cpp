// Package extraction into the work folder and the first look at its map.
#include <string>

#include "app/workflow/Components.h"
#include "app/workflow/RarVolumes.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Volume.h"

namespace workflow {

std::string ConvertWorkflow::WorkFolderPath() const {
  return platform::JoinPath(state_.AppFolder, kWorkFolder);
}

namespace {

// The work area's drive must hold what the package says it unpacks to: a package is refused
// before it fills the drive. One that ran short on the way is told by its missing files.
void CheckRoomFor(const std::string& work, int64_t bytes, int64_t entries) {
  const platform::FreeSpace free = platform::FreeSpaceAt(work);
  if ((free.bytes >= 0 && bytes > free.bytes) || (free.entries >= 0 && entries > free.entries))
    throw Exception("it unpacks to " + std::to_string(bytes) + " bytes in " +
                    std::to_string(entries) + " files, more than the drive of the work area " +
                    work + " has free (" + std::to_string(free.bytes) + " bytes, " +
                    std::to_string(free.entries) + " files)");
}

}  // namespace

bool ConvertWorkflow::ExtractFile() {
  state_.AppFolder = ProgramFolder();
  const std::string work = WorkFolderPath();
  // The package starts with the work area cleared, so this makes a new, real folder.
  if (!platform::CreateDir(work)) throw Exception("the work folder " + work + " could not be made");
  bool result = false;
  std::string refusal;
  missing_.clear();
  if (state_.PackageKind == package_kind::kZip) {
    mm("Extracting zip file. Please wait...");
    TZip& zip = parts_->Zip1;
    zip.SetShowProgressDialog(false);
    zip.SetExtractDir(work);
    zip.SetZipFileName(state_.MapFilePath);
    int64_t bytes = 0;
    for (const TFileInfo& entry : zip.Directory()) bytes += entry.UnComprSize;
    CheckRoomFor(work, bytes, static_cast<int64_t>(zip.Directory().size()));
    const int32_t count = zip.Extract();
    refusal = AccountForEntries(zip.ListedFiles(), zip.SkippedEntries());
    if (count > 0 && refusal.empty()) {
      GetVKBfilename();
      ShowMapImageWindow();
      result = true;
      mm("Done!");
    }
  } else if (state_.PackageKind == package_kind::kRar) {
    TRAR& rar = parts_->RAR1;
    const bool opened = rar.OpenArchiveFile(state_.MapFilePath);
    const TRARArchiveInformation& info = rar.ArchiveInformation();
    if (info.LaterVolume()) {
      // Its set converts from the first part; beside it in a folder run, that part does.
      const std::string first = FirstVolumeOf(state_.MapFilePath);
      const bool firstHere = state_.SelectMode == select_mode::kFolder && !first.empty() &&
                             platform::FileExists(first);
      throw NotAPackage(LaterVolumeReason(state_.MapFilePath), !firstHere);
    }
    if (!opened) throw Exception(rar.FailureReason());
    CheckRoomFor(work, info.UnCompressedSize(), info.TotalFiles());
    mm("Extracting rar file. Please wait...");
    result = rar.Extract(work, false, nullptr);
    refusal = AccountForEntries(rar.ListedFiles(), rar.SkippedEntries());
    // An extraction that stopped short fails the package with what stopped it.
    if (!result) refusal = rar.FailureReason();
    if (refusal.empty()) {
      GetVKBfilename();
      ShowMapImageWindow();
      mm("Done!");
    }
  }
  // The ZIP extractor leaves the current folder in the work folder.
  state_.AppFolder = ProgramFolder();
  if (!platform::SetCurrentFolder(state_.AppFolder))
    throw EInOutError("cannot change to folder " + state_.AppFolder);
  if (!refusal.empty()) throw Exception(refusal);
  return result;
}

void ConvertWorkflow::ShowMapImageWindow() {
  if (!view_.ShowMapImageChecked()) return;
  const std::string minimap = platform::JoinPath(WorkFolderPath(), state_.MapName + "_mm.tga");
  if (state_.MapName.empty() || !platform::FileExists(minimap)) return;
  // The picture is a help to the user, never a reason to fail the map.
  try {
    view_.ShowMapImageWindow(state_.MapName, platform::ResolvePath(minimap));
  } catch (const std::exception& e) {
    mm("map image " + state_.MapName + "_mm.tga can not be shown : " + e.what() + " !");
  }
}

}  // namespace workflow
