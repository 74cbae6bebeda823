// The staging tree "$map$/Scenarios/MP/<map>/Loading" and the move of the map's files into it.
#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace workflow {
namespace {

std::string StagingRoot(const ConvertState& s) {
  return platform::JoinPath(s.AppFolder, kStagingFolder);
}

}  // namespace

std::string MapStagingFolder(const ConvertState& s) {
  const char d = platform::kPathDelim;
  return StagingRoot(s) + d + "Scenarios" + d + "MP" + d + s.MapName + d;
}

bool ConvertWorkflow::CreateMapFolderStructure() {
  const std::string root = StagingRoot(state_);
  const std::string scenarios = platform::JoinPath(root, "Scenarios");
  const std::string mp = platform::JoinPath(scenarios, "MP");
  const std::string map = platform::JoinPath(mp, state_.MapName);
  const std::string loading = platform::JoinPath(map, "Loading");
  // Starting from false, an existing staging root (left from an interrupted run) fails at once.
  bool ok = false;
  for (const std::string& folder : {root, scenarios, mp, map, loading}) {
    if (!platform::DirectoryExists(folder)) ok = platform::CreateDir(folder);
    if (!ok) return false;
  }
  return true;
}

bool ConvertWorkflow::MoveFilesToMapFolder() {
  const ConvertState& s = state_;
  const std::string work = WorkFolderPath() + platform::kPathDelim;
  const std::string mapFolder = MapStagingFolder(s);
  if (!platform::DirectoryExists(work) || !platform::DirectoryExists(mapFolder)) return false;
  struct Row {
    const std::string& name;
    bool has;
    bool move;
    const char* hasText;
    const char* noText;
  };
  const HasFlagSet& f = s.HasFlags;
  const Row rows[8] = {
      {s.VKBFileName, f.HasVKBFile, true, "has vkb file", "no vkb file"},
      {s.InfoFileName, f.HasInfoFile, f.HasInfoFile, "has info file", "no info file"},
      {s.ScarFileName, f.HasScarFile, f.HasScarFile, "has scar file", "no scar file"},
      {s.MapBaseFileName, f.HasMapBaseFile, f.HasMapBaseFile, "has mapbase file",
       "no mapbase file"},
      {s.MapSlotsFileName, f.HasMapSlotsFile, f.HasMapSlotsFile, "has map slots file",
       "no map slots file"},
      {s.MMFileName, f.HasMMFile, f.HasMMFile, "has mm file", "no mm file"},
      {s.TmlFileName, f.HasTmlFile, f.HasTmlFile, "has tml file", "no tml file"},
      {s.TtyFileName, f.HasTtyFile, f.HasTtyFile, "has tty file", "no tty file"},
  };
  auto step = [this](const std::string& source, const std::string& destination, bool has, bool move,
                     const char* hasText, const char* noText) {
    mm(source);
    mm(destination);
    mm(has ? hasText : noText);
    if (move) platform::MoveFile(source, destination);
  };
  for (const Row& row : rows)
    step(work + row.name, mapFolder + row.name, row.has, row.move, row.hasText, row.noText);
  const std::string loading = s.MapName + ".tga";
  step(work + loading, mapFolder + "Loading" + platform::kPathDelim + loading, f.HasLoadingFile,
       f.HasLoadingFile, "has loading file", "no loading file");
  return true;
}

}  // namespace workflow
