// The Convert button's run: one package or every entry of a folder, strictly in sequence, and
// the two roads a package takes (ZIP/RAR to VKA, VKA unpacked).
#include <exception>

#include "app/workflow/Components.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace workflow {
namespace {

// The entries of a folder in the file system's order, "." and ".." left out. Taken before the
// first package is touched, so results landing in the same folder are not picked up as input.
std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  platform::FindData data;
  platform::FindHandle handle = platform::FindFirstFile(platform::JoinPath(folder, "*.*"), data);
  if (handle == platform::kInvalidFindHandle) return names;
  do {
    if (data.name != "." && data.name != "..") names.push_back(data.name);
  } while (platform::FindNextFile(handle, data));
  platform::FindClose(handle);
  return names;
}

// Component messages may span lines ("...zip"\nis not a valid Zip file."); a failure stays one
// line of the log so it can be read and grepped as one.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    line += (c == '\n') ? ' ' : c;
  }
  return line;
}

}  // namespace

void ConvertWorkflow::FailPackage(const std::string& reason) {
  mm("error - " + state_.PackageFileName + " : " + OneLine(reason) + " !");
  ++failures_;
}

void ConvertWorkflow::RunConversion() {
  running_ = true;
  view_.SetControlEnabled(Control::BrowseMapFile, false);
  view_.SetControlEnabled(Control::BrowseFolderToProcess, false);
  view_.SetControlEnabled(Control::Convert, false);
  view_.SetBusyCursor(true);
  try {
    if (state_.SelectMode != 0 && !TargetKnown()) {
      mm("error - no target vka maps folder selected, nothing converted !");
      ++failures_;
    } else if (state_.SelectMode != 0 && !QuotableInBatch(TargetFolder())) {
      mm("error - target folder " + TargetFolder() + " can not be passed to archive.exe !");
      ++failures_;
    } else if (state_.SelectMode == 1) {
      ProcessSingleFile();
    } else if (state_.SelectMode == 2) {
      for (const std::string& name : ListFolder(state_.SourceFolder)) {
        mm("Processing file : " + name);
        state_.MapFilePath = platform::JoinPath(state_.SourceFolder, name);
        ProcessSingleFile();
        mm("");
      }
      mm("");
    }
  } catch (const std::exception& e) {
    mm("error - " + OneLine(e.what()) + " !");
    ++failures_;
  }
  // Whatever happened, the window is handed back usable.
  view_.SetControlEnabled(Control::Convert, false);
  view_.SetControlEnabled(Control::BrowseMapFile, true);
  view_.SetControlEnabled(Control::BrowseFolderToProcess, true);
  view_.SetBusyCursor(false);
  mm("");
  mm("========================= Process Completed ! =========================");
  mm("");
  rr("");
  rr(std::string(39, '-'));
  rr("");
  running_ = false;
  view_.CloseMapImageWindow();
  view_.RecentreMainWindow();
}

void ConvertWorkflow::ProcessSingleFile() {
  if (state_.MapFilePath.empty()) {
    view_.SetSelectionCaption("Irv Map File (zip or rar)  : < No file selected >");
  } else {
    view_.SetSelectionCaption("Irv Map File (zip or rar)  : " + state_.MapFilePath);
    state_.PackageFileName = platform::LowerCase(platform::ExtractFileName(state_.MapFilePath));
    state_.PackageExt = platform::LowerCase(platform::ExtractFileExt(state_.PackageFileName));
    view_.SetBusyCursor(true);
    const std::string& ext = state_.PackageExt;
    state_.PackageKind = ext == ".zip" ? 1 : ext == ".rar" ? 2 : ext == ".vka" ? 3 : 0;
    try {
      if (state_.PackageKind == 1 || state_.PackageKind == 2)
        ProcessZipRarFile();
      else if (state_.PackageKind == 3)
        ProcessVKAfile();
    } catch (const std::exception& e) {
      FailPackage(e.what());
    }
  }
  try {
    CleanupAll();
  } catch (const std::exception& e) {
    FailPackage(e.what());
  }
  view_.SetBusyCursor(false);
}

void ConvertWorkflow::ProcessZipRarFile() {
  if (!ExtractFile()) {
    FailPackage("the package could not be extracted");
    return;
  }
  rr("");
  rr("[ " + state_.PackageFileName + " ]");
  const int placedBefore = converted_;
  setHasfiles();
  if (!state_.HasFlags.HasVKBFile) {
    mm(state_.PackageFileName + "...No VKB file in the archive file");
    mm("Conversion not done");
    mm("");
    // A package that only carried finished VKA files has done its job.
    if (converted_ == placedBefore) ++failures_;
    return;
  }
  std::string previous;
  while (state_.HasFlags.HasVKBFile) {
    // A pass that could not move its VKB file out of the work folder would find it again.
    if (state_.VKBFileName == previous) {
      FailPackage(previous + " could not be taken out of the work folder, package abandoned");
      return;
    }
    previous = state_.VKBFileName;
    VerifyProcessVKBfile();
    Cleanup();
    setHasfiles();
  }
}

void ConvertWorkflow::ProcessVKAfile() {
  state_.AppFolder = ProgramFolder();
  if (!QuotableInBatch(ArchiverPath(state_.MapFilePath)) ||
      !QuotableInBatch(ArchiverPath(state_.AppFolder))) {
    FailPackage("its path can not be passed to archive.exe");
    return;
  }
  if (CreateVKA2VKBBatFile()) {
    mm("Create $$$1.bat file ok");
    mm("Executing archive to convert vka file...");
    if (!platform::SetCurrentFolder(state_.AppFolder))
      throw EInOutError("cannot change to folder " + state_.AppFolder);
    RunCommand(kUnpackBatchFile, true);
    if (platform::DirectoryExists("Scenarios")) {
      mm("Done!");
      ++converted_;
    } else {
      FailPackage("archive.exe unpacked nothing");
    }
  }
  if (!platform::SetCurrentFolder(state_.AppFolder))
    throw EInOutError("cannot change to folder " + state_.AppFolder);
}

}  // namespace workflow
