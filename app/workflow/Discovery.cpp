// What an extracted package holds: carried VKA files, the VKB file and the map's companions,
// and the player count from its ".info" file.
#include <fstream>
#include <optional>

#include "app/workflow/Components.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace workflow {
namespace {

// The player count of a "maxplayers" line: the integer after the first "=", blanks and one
// trailing separator (such as ",") ignored. False when there is no such integer in 0..255; then
// text holds what stood there, unless the line has no "=".
bool ParsePlayerCount(const std::string& line, uint8_t& count, std::string& text) {
  text.clear();
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  text = platform::Trim(line.substr(equals + 1));
  if (!text.empty() && (text.back() < '0' || text.back() > '9')) {
    text.pop_back();
    text = platform::Trim(text);
  }
  int value = 0;
  if (!platform::TryStrToInt(text, value) || value < 0 || value > 255) return false;
  count = static_cast<uint8_t>(value);
  return true;
}

// One line of at most kMaxLine characters (the rest of a longer line is skipped), so a huge
// file without line ends costs no memory either. False at the end of the file.
bool ReadLine(std::istream& in, std::string& line) {
  constexpr size_t kMaxLine = 4096;
  line.clear();
  std::streambuf* buffer = in.rdbuf();
  bool any = false;
  for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
    any = true;
    if (c == '\n' || c == '\r') {
      if (c == '\r' && buffer->sgetc() == '\n') buffer->sbumpc();
      return true;
    }
    if (line.size() < kMaxLine) line.push_back(static_cast<char>(c));
  }
  return any;
}

}  // namespace

bool SearchScope::NextFile(std::string& name) {
  TSearchRec rec;
  while (search_.GetNextFile(rec)) {
    // With attribute 16 the search also hands out folders; a folder named "x.vkb" is no map.
    if (rec.Attr & platform::faDirectory) continue;
    if (platform::Trim(rec.Name).empty()) continue;
    name = rec.Name;
    return true;
  }
  return false;
}

std::string ConvertWorkflow::FindFirstEntry(const std::string& mask) {
  std::string name;
  if (mask.empty()) return name;
  if (parts_->Listing) {
    const std::vector<std::string> found = parts_->Listing->Matches(mask, true);
    return found.empty() ? name : found.front();
  }
  SearchScope search(parts_->FileSearch1, WorkFolderPath(), mask);
  search.NextFile(name);
  return name;
}

void ConvertWorkflow::GetVKBfilename() {
  state_.AppFolder = ProgramFolder();
  const std::string name = FindFirstEntry("*.vkb");
  if (name.size() < 5) return;
  state_.HasFlags.HasVKBFile = true;
  state_.VKBFileName = name;
  state_.MapName = name.substr(0, name.size() - 4);
  static const char* const kEndings[5] = {"_map_base.tga", "_map_slots.tga", "_mm.tga", "_tml.tga",
                                          "_tty.tga"};
  for (int i = 0; i < 5; ++i) state_.ImageSearchNames[i] = state_.MapName + kEndings[i];
}

void ConvertWorkflow::setHasfiles() {
  ConvertState& s = state_;
  s.HasFlags = HasFlagSet{};
  for (std::string& name : s.ImageSearchNames) name.clear();
  s.MaxPlayers = 0;
  s.AppFolder = ProgramFolder();
  if (!platform::DirectoryExists(WorkFolderPath())) return;

  {
    std::vector<std::string> carried;
    if (parts_->Listing) {
      carried = parts_->Listing->Matches("*.vka", false);
    } else {
      SearchScope search(parts_->FileSearch1, WorkFolderPath(), "*.vka");
      for (std::string name; search.NextFile(name);) carried.push_back(name);
    }
    for (const std::string& name : carried) {
      s.VKASourceSubfolder = std::string(kWorkFolder) + platform::kPathDelim;
      mm("File : " + name + " found");
      s.MapName = name.substr(0, name.rfind('.'));
      if (TargetKnown()) s.VKAFolder = TargetFolder();
      MoveVKAfile();
    }
    s.VKASourceSubfolder.clear();
  }

  GetVKBfilename();
  std::string name = FindFirstEntry("*.info");
  // The info and scar names become lines of the TOC script, so a name that could break a line
  // is not taken.
  if (TakeCompanion(name)) {
    s.HasFlags.HasInfoFile = true;
    s.InfoFileName = name;
    s.MaxPlayers = ReadInfofile();
  }
  name = FindFirstEntry("*.scar");
  if (TakeCompanion(name)) {
    s.HasFlags.HasScarFile = true;
    s.ScarFileName = name;
  }
  if (!s.MapName.empty() && !FindFirstEntry(s.MapName + ".tga").empty())
    s.HasFlags.HasLoadingFile = true;

  bool* const flags[5] = {&s.HasFlags.HasMapBaseFile, &s.HasFlags.HasMapSlotsFile,
                          &s.HasFlags.HasMMFile, &s.HasFlags.HasTmlFile, &s.HasFlags.HasTtyFile};
  std::string* const names[5] = {&s.MapBaseFileName, &s.MapSlotsFileName, &s.MMFileName,
                                 &s.TmlFileName, &s.TtyFileName};
  for (int i = 0; i < 5; ++i) {
    name = FindFirstEntry(s.ImageSearchNames[i]);
    if (name.empty()) continue;
    *flags[i] = true;
    *names[i] = platform::LowerCase(platform::Trim(name));
  }
}

bool ConvertWorkflow::TakeCompanion(const std::string& name) {
  if (name.empty()) return false;
  if (!NameAllowed(name)) {
    mm(name + " : name holds a character not allowed in file names, left out of the map !");
    return false;
  }
  // Said once, for the map it would have joined; the search after the last map finds it again.
  std::string why;
  if (!state_.HasFlags.HasVKBFile ||
      !ArchiverPath(platform::JoinPath(WorkFolderPath(), name), &why).empty())
    return state_.HasFlags.HasVKBFile;
  mm(name + " : " + why + " for the Windows archive.exe, left out of the map !");
  return false;
}

uint8_t ConvertWorkflow::ReadInfofile() {
  state_.AppFolder = ProgramFolder();
  const std::string path = platform::JoinPath(WorkFolderPath(), state_.InfoFileName);
  if (!platform::FileExists(path)) return 0;
  std::ifstream in(platform::ResolvePath(path), std::ios::binary);
  if (!in) throw EInOutError("cannot open " + path);
  bool inHeader = false;
  uint8_t value = 0;
  std::string line, text;
  std::optional<std::string> refused;
  while (ReadLine(in, line)) {
    const std::string key = platform::LowerCase(platform::Trim(line).substr(0, 10));
    if (!inHeader) {
      inHeader = key == "headerinfo";
    } else if (key == "maxplayers" && line.find('=') != std::string::npos) {
      if (ParsePlayerCount(line, value, text)) {
        if (value != 0) break;
      } else if (!refused) {
        refused = text;
      }
    }
  }
  // A count that cannot be taken (256 would be 0 in the eight bits it is kept in) costs the
  // archive its player suffix; the user learns why.
  if (value == 0 && refused)
    mm(state_.InfoFileName + " : MaxPlayers value '" + *refused +
       "' is no player count from 1 to 255, the archive gets no player suffix");
  return value;
}

}  // namespace workflow
