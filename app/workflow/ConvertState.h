#pragma once
// The one set of values that every workflow step shares. At start every text is empty, every
// number 0 and every flag false.
#include <array>
#include <cstdint>
#include <string>

namespace workflow {

// Values of ConvertState::PackageKind.
namespace package_kind {
inline constexpr uint8_t kNone = 0;
inline constexpr uint8_t kZip = 1;
inline constexpr uint8_t kRar = 2;
inline constexpr uint8_t kVka = 3;
}  // namespace package_kind

// Values of ConvertState::SelectMode.
namespace select_mode {
inline constexpr uint8_t kNothing = 0;
inline constexpr uint8_t kOneFile = 1;
inline constexpr uint8_t kFolder = 2;
}  // namespace select_mode

// Which of the current map's files lie in the work folder; each name field of ConvertState is
// meaningful only while its flag is set.
struct HasFlagSet {
  bool HasVKBFile = false;
  bool HasLoadingFile = false;
  bool HasInfoFile = false;
  bool HasScarFile = false;
  bool HasMapBaseFile = false;
  bool HasMapSlotsFile = false;
  bool HasMMFile = false;
  bool HasTmlFile = false;
  bool HasTtyFile = false;
};

struct ConvertState {
  std::string AppFolder;           // the program folder, no trailing separator
  std::string VKAFolder;           // target folder for VKA files
  std::string VKASourceSubfolder;  // "$$$" + separator while carried VKA files are handed over
  std::string MapFilePath;         // full path of the package being processed
  std::string PackageFileName;     // file name of MapFilePath, lower case
  std::string PackageExt;          // its extension with the dot, lower case
  uint8_t PackageKind = package_kind::kNone;
  std::string VKBFileName;  // as listed in the work folder
  std::string MapName;      // base name of the current map (plus suffixes once packing)
  std::string InfoFileName;
  std::string ScarFileName;
  std::string MapBaseFileName;  // the five image names: lower case, trimmed
  std::string MapSlotsFileName;
  std::string MMFileName;
  std::string TmlFileName;
  std::string TtyFileName;
  std::string SourceFolder;  // folder chosen for a folder run
  uint8_t SelectMode = select_mode::kNothing;
  uint8_t MaxPlayers = 0;                       // from the ".info" file, 0 when none
  std::array<std::string, 5> ImageSearchNames;  // map base, map slots, mm, tml, tty
  HasFlagSet HasFlags;
};

}  // namespace workflow
