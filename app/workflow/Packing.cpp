// The pack chain of one map, the two batch files, the archiver run and the placing of VKA
// files that a package carries.
#include <algorithm>
#include <optional>

#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "platform/Volume.h"

namespace workflow {
namespace {

bool Taken(const std::string& path) {
  return platform::FileExists(path) || platform::DirectoryExists(path);
}

// The last line a program wrote to its standard error, without its own name in front.
std::string LastLine(const std::string& text) {
  const size_t end = text.find_last_not_of("\r\n \t");
  if (end == std::string::npos) return {};
  const size_t breakBefore = text.find_last_of("\r\n", end);
  const size_t start = breakBefore == std::string::npos ? 0 : breakBefore + 1;
  std::string line = text.substr(start, end + 1 - start);
  const std::string own = std::string(kArchiverName) + ": ";
  if (line.size() > own.size() && platform::SameText(line.substr(0, own.size()), own))
    line.erase(0, own.size());
  constexpr size_t kLongest = 200;
  if (line.size() > kLongest) line = "..." + line.substr(line.size() - kLongest);
  return line;
}

}  // namespace

bool ConvertWorkflow::MapNameAllowed() const {
  return NameAllowed(state_.MapName);
}

void ConvertWorkflow::VerifyProcessVKBfile() {
  ConvertState& s = state_;
  if (!s.HasFlags.HasVKBFile) return;
  s.AppFolder = ProgramFolder();
  if (!MapNameAllowed()) {
    // Such a name could not be a file name on Windows, and could alter the scripts. Taking the
    // file out of the work folder lets the package go on with its next map.
    mm(s.VKBFileName + " : map name holds a character not allowed in file names, not converted !");
    platform::DeleteFile(platform::JoinPath(WorkFolderPath(), s.VKBFileName));
    ++failures_;
    return;
  }
  // One target for the batch file and the result test alike.
  if (TargetKnown()) s.VKAFolder = TargetFolder();
  if (std::string why; !MapReadableByArchiver(why)) {
    mm(s.VKBFileName + " : " + why + ", so a name or folder of this map can not be given to " +
       "the Windows archive.exe (code page " + std::to_string(windowsNames_->CodePage()) +
       "), not converted !");
    platform::DeleteFile(platform::JoinPath(WorkFolderPath(), s.VKBFileName));
    ++failures_;
    return;
  }
  if (!MapFilesComplete()) {
    platform::DeleteFile(platform::JoinPath(WorkFolderPath(), s.VKBFileName));
    ++failures_;
    return;
  }
  if (!(CreateMapFolderStructure() && MoveFilesToMapFolder())) {
    mm("files move failed !");
    ++failures_;
    return;
  }
  mm("files move to folder ok");
  if (!CreateTxtFile()) {
    mm("$tmp$.txt file create failed !");
    ++failures_;
    return;
  }
  mm("$tmp$.txt file created ok");
  CreateVKB2VKABatFile();
  mm("$$$.bat file created ok");
  if (!NameFitsTarget(s.MapName + ".vka")) {
    ++failures_;
    return;
  }
  mm("Creating " + s.MapName + ".vka file. Please wait...");
  const int exitCode = RunCommand(kPackBatchFile, true);
  // Only a run that ended well made the file: one that failed may have left a part of it, which
  // stays (it is not ours to delete) but is not reported as made.
  const bool made = platform::FileExists(platform::JoinPath(s.VKAFolder, s.MapName + ".vka"));
  if (exitCode == 0 && made) {
    mm(s.MapName + ".vka file created successfully");
    rr("   -> " + s.MapName + ".vka");
    ++packed_;
  } else {
    mm(s.MapName + ".vka file create failed" + ArchiverFailure(exitCode) + " !");
    ++failures_;
  }
  s.VKASourceSubfolder.clear();
}

bool ConvertWorkflow::CreateVKB2VKABatFile() {
  ConvertState& s = state_;
  s.AppFolder = ProgramFolder();
  // The distinct name is sought in the target folder and on the final name, so an archive
  // already there is neither overwritten nor taken for this run's result.
  const std::string players =
      s.MaxPlayers > 0 ? " (" + std::to_string(s.MaxPlayers) + "p)" : std::string();
  for (int n = 1; Taken(platform::JoinPath(s.VKAFolder, s.MapName + players + ".vka")); ++n)
    s.MapName += "---[ " + std::to_string(n) + " ]";
  s.MapName += players;
  const std::string vka = ArchiverPath(platform::JoinPath(s.VKAFolder, s.MapName + ".vka"));
  WriteWorkFile(kPackBatchFile,
                {"@echo off", "archive.exe -c $tmp$.txt -a " + BatchArgument(vka) + " -r $map$"});
  return true;
}

bool ConvertWorkflow::CreateVKA2VKBBatFile() {
  state_.AppFolder = ProgramFolder();
  WriteWorkFile(platform::JoinPath(state_.AppFolder, kUnpackBatchFile),
                {"@echo off", "archive.exe -a " + BatchArgument(ArchiverPath(state_.MapFilePath)) +
                                  " -e " + BatchArgument(ArchiverPath(WorkFolderPath()))});
  return true;
}

bool ConvertWorkflow::NameFitsTarget(const std::string& fileName) {
  // Each conversion of the same map into one folder adds a "---[ n ]" to the name.
  const size_t limit = platform::MaxNameLength(state_.VKAFolder);
  if (fileName.size() <= limit) return true;
  mm(fileName + " : name of " + std::to_string(fileName.size()) + " bytes, longer than the " +
     std::to_string(limit) + " the target folder takes, not converted !");
  return false;
}

std::string ConvertWorkflow::ArchiverFailure(int exitCode) const {
  const std::string said = LastLine(archiverErrors_);
  std::string detail = exitCode == 0
                           ? std::string()
                           : std::string(kArchiverName) + " exit code " + std::to_string(exitCode);
  if (!said.empty()) detail += (detail.empty() ? std::string() : ": ") + said;
  return detail.empty() ? std::string() : " (" + detail + ")";
}

int ConvertWorkflow::RunCommand(const std::string& commandLine, bool wait) {
  // Whatever archive.exe is, it may write far more than it was given (an archive whose entries
  // share one payload): it is stopped before the drive of the work area is full. A drive that
  // is already low when it starts keeps half of what it had, so a nearly full drive still
  // converts and unpacks what fits.
  const std::string area = ProgramFolder();
  const platform::FreeSpace atStart = platform::FreeSpaceAt(area);
  constexpr int64_t kMostReserve = int64_t{1} << 30;
  int64_t reserve = atStart.total >= 0 ? std::min(atStart.total / 20, kMostReserve) : kMostReserve;
  if (atStart.bytes >= 0) reserve = std::min(reserve, atStart.bytes / 2);
  bool filling = false;
  const std::optional<int> exitCode = platform::RunCommandLine(
      commandLine, wait,
      [&] {
        view_.WhileWaiting();
        const int64_t free = platform::FreeSpaceAt(area).bytes;
        if (!filling && free >= 0 && free < reserve) {
          filling = true;
          platform::StopCommand();
        }
      },
      &archiverErrors_);
  if (filling) mm("stopped: the drive of the work area was filling up !");
  if (exitCode) return *exitCode;
  platform::MessageRequest box;
  box.caption = platform::ApplicationTitle();
  box.text = "Unable to run " + commandLine;
  box.flags = platform::MB_OK;
  platform::CurrentPrompter().MessageBox(box);
  return platform::kNotStarted;
}

void ConvertWorkflow::MoveVKAfile() {
  ConvertState& s = state_;
  const std::string source =
      platform::JoinPath(s.AppFolder, s.VKASourceSubfolder + s.MapName + ".vka");
  if (!platform::DirectoryExists(s.VKAFolder) || !platform::FileExists(source)) {
    mm("error - rararudazudada.ini file not found or irv maps directory does not exists !");
    mm("");
    ++failures_;
    return;
  }
  mm("Moving file..." + s.MapName + ".vka");
  mm("  From : " + platform::JoinPath(s.AppFolder, s.VKASourceSubfolder));
  mm("  To   : " + s.VKAFolder);
  std::string destination = s.MapName;
  for (int n = 1; Taken(platform::JoinPath(s.VKAFolder, destination + ".vka")); ++n)
    destination += "---[ " + std::to_string(n) + " ]";
  if (!NameFitsTarget(destination + ".vka")) {
    ++failures_;
    return;
  }
  const std::string target = platform::JoinPath(s.VKAFolder, destination + ".vka");
  // MoveFile never overwrites, and the name was free: a file there now is the one moved.
  if (platform::MoveFile(source, target) && platform::FileExists(target)) {
    mm(s.MapName + ".vka file move to irv maps folder ok");
    mm("------------------ [ " + s.MapName + ".vka ] file success ---------------------------");
    mm("");
    rr("   -> " + s.MapName + ".vka");
    ++placed_;
  } else {
    mm(s.MapName + ".vka file move to irv maps folder failed !");
    mm("");
    ++failures_;
  }
}

}  // namespace workflow
