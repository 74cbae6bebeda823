// The table-of-contents script "$tmp$.txt" that tells archive.exe what to pack.
#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace workflow {

std::vector<std::string> TocFileNames(const ConvertState& s) {
  const HasFlagSet& f = s.HasFlags;
  const std::pair<bool, std::string> files[] = {
      {f.HasVKBFile, s.VKBFileName},
      {f.HasInfoFile, s.InfoFileName},
      {f.HasScarFile, s.ScarFileName},
      {f.HasMapBaseFile, s.MapBaseFileName},
      {f.HasMapSlotsFile, s.MapSlotsFileName},
      {f.HasMMFile, s.MMFileName},
      {f.HasTmlFile, s.TmlFileName},
      {f.HasTtyFile, s.TtyFileName},
      {f.HasLoadingFile, std::string("Loading") + platform::kPathDelim + s.MapName + ".tga"},
  };
  std::vector<std::string> names;
  for (const auto& [has, name] : files)
    if (has) names.push_back(name);
  return names;
}

bool ConvertWorkflow::CreateTxtFile() {
  state_.AppFolder = ProgramFolder();
  const ConvertState& s = state_;
  const std::string folder = MapStagingFolder(s);
  std::string mapName;
  if (!ArchiverText(s.MapName, mapName)) return false;
  std::vector<std::string> lines = {
      "Archive name=\"" + mapName + "\"",
      "TOCStart name=\"" + mapName + "\" alias=\"Data\" relativeroot=\"\"",
      "FileSettingsStart  defcompression=\"1\"",
      "FileSettingsEnd",
  };
  for (const std::string& name : TocFileNames(s)) {
    std::string line;
    if (!ArchiverText(ArchiverPath(folder + name), line) || line.empty()) return false;
    lines.push_back(line);
  }
  lines.push_back("TOCEnd");
  WriteWorkFile(platform::JoinPath(s.AppFolder, kTocFile), lines);
  // archive.exe is told the relative name, so the script must be in the current folder.
  return platform::FileExists(kTocFile);
}

}  // namespace workflow
