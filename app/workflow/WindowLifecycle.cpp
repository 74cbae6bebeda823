// The frame every step works in: panes, settings file, help text, window life cycle and the
// selections the click handlers hand over.
#include <memory>

#include "app/workflow/Components.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "platform/TextFile.h"

namespace workflow {

std::string ProgramFolder() {
  return platform::ProgramFolder();
}

ConvertWorkflow::ConvertWorkflow(View& view)
    : view_(view), parts_(std::make_unique<Components>()) {}

ConvertWorkflow::~ConvertWorkflow() = default;

bool ConvertWorkflow::ReadIni() {
  state_.VKAFolder.clear();
  const auto lines =
      platform::ReadTextLines(platform::JoinPath(ProgramFolder(), kSettingsFileName));
  if (!lines.empty()) state_.VKAFolder = platform::Trim(lines.front());
  return true;
}

bool ConvertWorkflow::WriteIni() {
  platform::WriteTextLines(platform::JoinPath(ProgramFolder(), kSettingsFileName),
                           {state_.VKAFolder});
  return true;
}

const std::vector<std::string>& ConvertWorkflow::HelpText() {
  static const std::vector<std::string> text = [] {
    std::vector<std::string> lines = {
        "This program will automate the process of extracting Irv (VKB) map",
        "in a zip or rar file and convert it to single VKA map file.",
        "It needs the Archive.exe from the Irv folder to work. Make sure",
        "that this file is in the same folder as this program file. It is",
        "also able to process a folder with Irv map zip and rar files and",
        "convert them all without any user intervention.",
        "To convert a single zip or rar file, click on browse file button",
        "and click convert button.",
        "The program will use Archive.exe to convert it and place the",
        "converted VKA file in the folder you specified",
        "To convert multiple zip and rar files. Just click browse folder",
        "button to locate the folder where the zip and rar files are and",
        "click on convert button. The program will go through all the zip and",
        "rar files in the selected folder and extract and convert them",
        "automatically to an vka map file if it is ",
        "a valid archive. All converted vka files will be placed in the target",
        "vka maps folder.",
        "",
        " ",
        "the author is not responsible for any damages that might result",
        "in its usage",
        "",
        "[ Version 1.1 ]",
        "  - added the option to view the map image while processing",
        "  - added a separate display to show the vka files created",
        std::string(72, '-'),
    };
    // Lines 2 to 11 are padded to the width of the first.
    for (size_t i = 1; i <= 10; ++i) lines[i].resize(lines[0].size(), ' ');
    return lines;
  }();
  return text;
}

void ConvertWorkflow::FormShow() {
  for (const std::string& line : HelpText()) mm(line);
  if (platform::FileExists(platform::JoinPath(ProgramFolder(), kSettingsFileName))) ReadIni();
  // Without a known target folder the label keeps the sentinel, so Convert stays disabled.
  view_.SetTargetCaption(state_.VKAFolder.empty() ? kNothingSelected : state_.VKAFolder);
  view_.FocusControl(Control::BrowseMapFile);
}

void ConvertWorkflow::ResetState() {
  state_.PackageFileName.clear();
  state_.PackageExt.clear();
  state_.PackageKind = package_kind::kNone;
  state_.VKASourceSubfolder.clear();
  state_.HasFlags = HasFlagSet{};
  state_.VKBFileName.clear();
  state_.MapName.clear();
  state_.VKAFolder.clear();
  state_.SourceFolder.clear();
  state_.SelectMode = select_mode::kNothing;
  state_.MaxPlayers = 0;
}

bool ConvertWorkflow::FormActivate() {
  // An activation inside a run (a message box, the map image window) must not pull the state
  // from under the running conversion.
  if (!running_) ResetState();
  state_.AppFolder = ProgramFolder();
  if (!ArchiveExeFound()) {
    ShowArchiveExeMissing();
    return false;
  }
  if (!running_) DecideArchiverKind();
  if (archiver_ == ArchiverKind::Windows && !wineFound_) {
    ShowWineMissing();
    return false;
  }
  return true;
}

bool ConvertWorkflow::ArchiveExeFound() {
  // The user's own copy in the program folder, else the one installed with the program.
  return !platform::FindProgramFile(kArchiverName).empty();
}

void ConvertWorkflow::ShowArchiveExeMissing() {
  // A per-user program folder is not where the program file is, so the box names it.
  std::string where = "the same folder as this program";
  if (platform::ProgramFolderIsPerUser()) {
    where = "the folder ";
    where += ProgramFolder();
  }
  platform::MessageRequest box;
  box.caption = platform::ApplicationTitle();
  box.text =
      "Archive.exe - File not found error!\n"
      "\n"
      "The file Archive.exe was not found in " +
      where +
      "\n"
      "This file is required for this program to work\n"
      "You can locate this file in your ironvale folder\n"
      "Copy Archive.exe to " +
      where +
      " and run the program again.\n"
      "\n"
      "Click OK to terminate this program";
  box.flags = platform::MB_OK;
  platform::CurrentPrompter().MessageBox(box);
}

bool ConvertWorkflow::TargetKnown() const {
  const std::string caption = view_.TargetCaption();
  return !caption.empty() && caption != kNothingSelected;
}

std::string ConvertWorkflow::TargetFolder() const {
  return TargetKnown() ? view_.TargetCaption() : std::string();
}

void ConvertWorkflow::TargetCheck() {
  if (TargetKnown()) {
    state_.VKAFolder = view_.TargetCaption();
    view_.SetControlEnabled(Control::Convert, true);
    view_.FocusControl(Control::Convert);
  } else {
    view_.SetControlEnabled(Control::Convert, false);
    view_.FocusControl(Control::SelectVKAFolder);
  }
}

void ConvertWorkflow::SelectPackageFile(const std::string& fileName) {
  state_.MapFilePath = platform::Trim(fileName);
  if (platform::FileExists(state_.MapFilePath)) state_.SelectMode = select_mode::kOneFile;
  view_.SetSelectionCaption("Process File > " + state_.MapFilePath);
  mm("< " + state_.MapFilePath + " > file selected for processing");
  TargetCheck();
}

void ConvertWorkflow::SelectSourceFolder(const std::string& folder) {
  if (!platform::DirectoryExists(folder)) return;
  state_.SelectMode = select_mode::kFolder;
  state_.SourceFolder = folder;
  view_.SetSelectionCaption("Process all zip & rar files > " + state_.SourceFolder);
  mm("< " + state_.SourceFolder + " > folder selected for processing");
  TargetCheck();
}

void ConvertWorkflow::SelectTargetFolder(const std::string& folder) {
  // Refused before it is stored: a stored one would refuse every later run.
  if (!folder.empty() && LiesInWorkArea(folder)) {
    mm("error - " + folder + " lies in the work area of the program folder, not taken as target !");
  } else if (!folder.empty() && platform::DirectoryExists(folder)) {
    state_.VKAFolder = folder;
    view_.SetTargetCaption(state_.VKAFolder);
    WriteIni();
    // With a package or folder already chosen, everything is there to convert.
    if (state_.SelectMode != select_mode::kNothing && !running_) {
      view_.SetControlEnabled(Control::Convert, true);
      view_.FocusControl(Control::Convert);
      return;
    }
  }
  view_.FocusControl(Control::BrowseMapFile);
}

void ConvertWorkflow::SelectionCancelled() {
  view_.SetSelectionCaption(kNothingSelected);
}

bool NameAllowed(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case '<':
      case '>':
      case ':':
      case '"':
      case '/':
      case '\\':
      case '|':
      case '?':
      case '*':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool QuotableInBatch(const std::string& path) {
  // A backslash right before the closing quote would escape it; a "%" is written doubled.
  if (path.empty() || path.back() == '\\') return false;
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7F || c == '"') return false;
  return true;
}

std::string BatchArgument(const std::string& path) {
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + temporary.
  std::string quoted(1, '"');
  quoted += platform::EscapeBatchPercent(path);
  quoted += '"';
  return quoted;
}

}  // namespace workflow
