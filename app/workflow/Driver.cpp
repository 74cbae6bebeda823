// The Convert button's run: one package or every entry of a folder, strictly in sequence, and
// the two roads a package takes (ZIP/RAR to VKA, VKA unpacked).
#include <exception>

#include "app/workflow/Components.h"
#include "app/workflow/RarVolumes.h"
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

std::string ConvertWorkflow::OwnedSelection() const {
  const std::string chosen = state_.SelectMode == select_mode::kOneFile  ? state_.MapFilePath
                             : state_.SelectMode == select_mode::kFolder ? state_.SourceFolder
                                                                         : std::string();
  for (const std::string& path : {chosen, TargetFolder()})
    if (!path.empty() && LiesInWorkArea(path)) return path;
  return {};
}

void ConvertWorkflow::Refuse(const std::string& line) {
  mm(line);
  ++failures_;
  run_.refused = "run refused";
}

std::string ConvertWorkflow::ReasonLine(const std::string& reason) const {
  // A name in the reason is shown as everywhere else in the log, escaped; only the component's
  // own line breaks are flattened.
  std::string text = reason;
  for (const std::string& name : {state_.MapFilePath, state_.PackageFileName}) {
    if (name.empty() || name.find_first_of("\r\n") == std::string::npos) continue;
    const std::string escaped = platform::EscapeControlCharacters(name);
    for (size_t at = text.find(name); at != std::string::npos;
         at = text.find(name, at + escaped.size()))
      text.replace(at, name.size(), escaped);
  }
  return OneLine(text);
}

void ConvertWorkflow::FailPackage(const std::string& reason, bool counts) {
  mm("error - " + state_.PackageFileName + " : " + ReasonLine(reason) + " !");
  if (counts) ++failures_;
}

bool ConvertWorkflow::Stopping() {
  if (!StopRequested()) return false;
  if (!stopLogged_) mm("conversion stopped by the user !");
  stopLogged_ = true;
  return true;
}

void ConvertWorkflow::RunConversion() {
  running_ = true;
  stopLogged_ = false;
  const RunOutcome before = Counts();
  run_ = RunOutcome{};
  runFirstLine_ = view_.PaneLineCount(Pane::Progress);
  view_.SetControlEnabled(Control::BrowseMapFile, false);
  view_.SetControlEnabled(Control::BrowseFolderToProcess, false);
  view_.SetControlEnabled(Control::Convert, false);
  view_.SetBusyCursor(true);
  try {
    if (state_.SelectMode != select_mode::kNothing && !TargetKnown()) {
      Refuse("error - no target vka maps folder selected, nothing converted !");
    } else if (state_.SelectMode != select_mode::kNothing && !QuotableInBatch(TargetFolder())) {
      Refuse("error - target folder " + TargetFolder() + " can not be passed to archive.exe !");
    } else if (const std::string owned = OwnedSelection(); !owned.empty()) {
      Refuse("error - " + owned +
             " lies in the work area of the program folder, nothing converted !");
    } else if (state_.SelectMode != select_mode::kNothing && !TargetUsable()) {
      // TargetUsable has said why.
    } else if (state_.SelectMode == select_mode::kOneFile) {
      if (!Stopping()) ProcessSingleFile();
    } else if (state_.SelectMode == select_mode::kFolder) {
      const std::vector<std::string> names = ListFolder(state_.SourceFolder);
      for (size_t i = 0; i < names.size() && !Stopping(); ++i) {
        const std::string& name = names[i];
        view_.ShowProgress(static_cast<int>(i) + 1, static_cast<int>(names.size()));
        mm("Processing file : " + name);
        state_.MapFilePath = platform::JoinPath(state_.SourceFolder, name);
        ProcessSingleFile();
        mm("");
      }
      mm("");
    }
  } catch (const std::exception& e) {
    mm("error - " + ReasonLine(e.what()) + " !");
    ++failures_;
    run_.refused = "run ended by an error";
  }
  // A stop asked for while the last package was packed is still acknowledged.
  Stopping();
  // Whatever happened, the window is handed back usable.
  view_.ShowProgress(0, 0);
  view_.SetControlEnabled(Control::Convert, false);
  view_.SetControlEnabled(Control::BrowseMapFile, true);
  view_.SetControlEnabled(Control::BrowseFolderToProcess, true);
  view_.SetBusyCursor(false);
  LogSummary(before);
  mm("");
  mm("========================= Process Completed ! =========================");
  mm("");
  rr("");
  rr(std::string(39, '-'));
  rr("");
  running_ = false;
  stopRequested_.store(false, std::memory_order_relaxed);
  // Nothing chosen after every run, as the activation that closing the map window brings would
  // leave it; a run without that window must not keep the converted package on offer.
  ResetState();
  view_.CloseMapImageWindow();
  view_.RecentreMainWindow();
}

void ConvertWorkflow::ProcessSingleFile() {
  const int failuresBefore = failures_;
  if (state_.MapFilePath.empty()) {
    view_.SetSelectionCaption("Irv Map File (zip or rar)  : < No file selected >");
  } else {
    view_.SetSelectionCaption("Irv Map File (zip or rar)  : " + state_.MapFilePath);
    state_.PackageFileName = platform::LowerCase(platform::ExtractFileName(state_.MapFilePath));
    state_.PackageExt = platform::LowerCase(platform::ExtractFileExt(state_.PackageFileName));
    view_.SetBusyCursor(true);
    const std::string& ext = state_.PackageExt;
    state_.PackageKind = ext == ".zip"   ? package_kind::kZip
                         : ext == ".rar" ? package_kind::kRar
                         : ext == ".vka" ? package_kind::kVka
                                         : package_kind::kNone;
    try {
      // Whatever an earlier, interrupted run or anybody else left under the work-area names
      // must not mix with this package.
      if (state_.PackageKind != package_kind::kNone) CleanupAll();
      if (state_.PackageKind != package_kind::kNone && LiesInWorkArea(state_.MapFilePath))
        FailPackage("it lies in the work area of the program folder");
      else if (state_.PackageKind == package_kind::kZip || state_.PackageKind == package_kind::kRar)
        ProcessZipRarFile();
      else if (state_.PackageKind == package_kind::kVka)
        ProcessVKAfile();
    } catch (const NotAPackage& e) {
      FailPackage(e.what(), e.Counts());
    } catch (const std::exception& e) {
      FailPackage(e.what());
    }
  }
  try {
    CleanupAll();
  } catch (const std::exception& e) {
    FailPackage(e.what());
  }
  if (!state_.MapFilePath.empty() && state_.PackageKind != package_kind::kNone &&
      failures_ > failuresBefore)
    run_.failedPackages.push_back(state_.PackageFileName);
  view_.SetBusyCursor(false);
}

void ConvertWorkflow::ProcessZipRarFile() {
  if (!ExtractFile()) {
    FailPackage("the package could not be extracted");
    return;
  }
  rr("");
  rr("[ " + state_.PackageFileName + " ]");
  // One listing of the work folder serves all of the package's maps, and one more serves the
  // case-insensitive lookups of their moves.
  const WorkListing listing(parts_->Listing, WorkFolderPath());
  const platform::FolderListingCache names(WorkFolderPath());
  const int placedBefore = placed_;
  setHasfiles();
  if (!state_.HasFlags.HasVKBFile) {
    mm(state_.PackageFileName + "...No VKB file in the archive file");
    mm("Conversion not done");
    mm("");
    // A package that only carried finished VKA files has done its job.
    if (placed_ == placedBefore) ++failures_;
    return;
  }
  std::string previous;
  while (state_.HasFlags.HasVKBFile && !Stopping()) {
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
  const std::string work = WorkFolderPath();
  // The package and the work folder go through the same gate as every name of the pack road.
  for (const std::string& path : {state_.MapFilePath, work}) {
    std::string why;
    if (!QuotableInBatch(ArchiverPath(path, &why))) {
      FailPackage((why.empty() ? std::string("its path") : why + ", so it") +
                  " can not be passed to archive.exe");
      return;
    }
  }
  // The archive is unpacked into a fresh work folder first: only its maps go on to the
  // program folder, never a file that would sit beside the program (a library, a script).
  if (!platform::CreateDir(work)) {
    FailPackage("the work folder " + work + " could not be created");
    return;
  }
  if (CreateVKA2VKBBatFile()) {
    mm("Create $$$1.bat file ok");
    mm("Executing archive to convert vka file...");
    if (!platform::SetCurrentFolder(state_.AppFolder))
      throw EInOutError("cannot change to folder " + state_.AppFolder);
    const int exitCode = RunCommand(kUnpackBatchFile, true);
    TakeUnpackedMaps(exitCode);
  }
  if (!platform::SetCurrentFolder(state_.AppFolder))
    throw EInOutError("cannot change to folder " + state_.AppFolder);
}

void ConvertWorkflow::TakeUnpackedMaps(int exitCode) {
  if (exitCode != 0) {
    FailPackage("archive.exe could not unpack it" + ArchiverFailure(exitCode));
    return;
  }
  std::string scenarios;
  for (const std::string& name : ListFolder(WorkFolderPath())) {
    const std::string path = platform::JoinPath(WorkFolderPath(), name);
    if (scenarios.empty() && platform::SameText(name, kScenariosFolder) &&
        platform::DirectoryExists(path))
      scenarios = path;
    else
      mm("left out " + name + " : a vka file only adds to the " + kScenariosFolder + " folder");
  }
  if (scenarios.empty()) {
    FailPackage("archive.exe unpacked no " + std::string(kScenariosFolder) + " folder");
    return;
  }
  std::string blocked;
  if (!platform::MergeTree(scenarios, platform::JoinPath(state_.AppFolder, kScenariosFolder),
                           &blocked)) {
    if (!blocked.empty()) {
      FailPackage(blocked + " is a link or no folder, so its maps were not moved into it");
      return;
    }
    FailPackage("its maps could not all be moved into the " + std::string(kScenariosFolder) +
                " folder");
    return;
  }
  mm("Done!");
  // The maps land in the program folder, which may be a hidden per-user one: both panes say where.
  const std::string landed = platform::JoinPath(state_.AppFolder, kScenariosFolder);
  mm("maps unpacked into " + landed);
  rr("");
  rr("[ " + state_.PackageFileName + " ]");
  rr("   -> " + landed);
  ++unpacked_;
}

}  // namespace workflow
