// Which archive.exe the program folder holds, and the names it is given. The game's own tool is
// a Windows program: it runs through Wine and reads paths in Windows form, its TOC script in
// Wine's ANSI code page.
#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

namespace workflow {

void ConvertWorkflow::DecideArchiverKind() {
  const std::string exe = platform::ResolvePath(platform::JoinPath(ProgramFolder(), kArchiverName));
  archiver_ = platform::IsDosExecutable(exe) ? ArchiverKind::Windows : ArchiverKind::Native;
  windowsNames_.reset();
  wineFound_ = false;
  if (archiver_ == ArchiverKind::Windows) {
    windowsNames_ =
        std::make_unique<platform::WindowsNames>(platform::WindowsNames::ForEnvironment());
    wineFound_ = !platform::FindWineLauncher().empty();
  }
}

void ConvertWorkflow::ShowWineMissing() {
  platform::MessageRequest box;
  box.caption = platform::ApplicationTitle();
  box.text =
      "Archive.exe - Wine not found error!\n"
      "\n"
      "The file Archive.exe in the same folder as this program is a Windows program\n"
      "Wine is needed to run it, and no Wine was found\n"
      "On Debian install it with: sudo apt-get install wine\n"
      "A 32-bit Archive.exe also needs: sudo dpkg --add-architecture i386,\n"
      "sudo apt-get update and sudo apt-get install wine32\n"
      "A Wine launcher that is not on PATH can be named in VAREVUDOV_WINE\n"
      "\n"
      "Click OK to terminate this program";
  box.flags = platform::MB_OK;
  platform::CurrentPrompter().MessageBox(box);
}

std::string ConvertWorkflow::ArchiverPath(const std::string& path, std::string* why) const {
  if (archiver_ == ArchiverKind::Native || !windowsNames_) return path;
  std::string windows;
  return windowsNames_->Path(path, windows, why) ? windows : std::string();
}

bool ConvertWorkflow::ArchiverText(const std::string& text, std::string& out) const {
  if (archiver_ == ArchiverKind::Native || !windowsNames_) {
    out = text;
    return true;
  }
  return windowsNames_->Ansi(text, out);
}

bool ConvertWorkflow::MapReadableByArchiver(std::string& why) const {
  if (archiver_ == ArchiverKind::Native) return true;
  const ConvertState& s = state_;
  // Every path goes through the one gate: the target in the batch line (suffixes added later
  // are plain ASCII), each TOC line with the program and work folders in it.
  std::vector<std::string> paths = {platform::JoinPath(s.VKAFolder, s.MapName + ".vka")};
  for (const std::string& name : TocFileNames(s)) paths.push_back(MapStagingFolder(s) + name);
  for (const std::string& path : paths)
    if (ArchiverPath(path, &why).empty()) return false;
  return true;
}

}  // namespace workflow
