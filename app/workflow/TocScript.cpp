// The table-of-contents script "$tmp$.txt" that tells archive.exe what to pack.
#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace workflow {

bool ConvertWorkflow::CreateTxtFile() {
  state_.AppFolder = ProgramFolder();
  const ConvertState& s = state_;
  const HasFlagSet& f = s.HasFlags;
  const std::string folder = MapStagingFolder(s);
  std::vector<std::string> lines = {
      "Archive name=\"" + s.MapName + "\"",
      "TOCStart name=\"" + s.MapName + "\" alias=\"Data\" relativeroot=\"\"",
      "FileSettingsStart  defcompression=\"1\"",
      "FileSettingsEnd",
  };
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
  for (const auto& [has, name] : files)
    if (has) lines.push_back(folder + name);
  lines.push_back("TOCEnd");
  WriteWorkFile(platform::JoinPath(s.AppFolder, kTocFile), lines);
  // archive.exe is told the relative name, so the script must be in the current folder.
  return platform::FileExists(kTocFile);
}

}  // namespace workflow
