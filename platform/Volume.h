#pragma once
// Drive type and volume label of a path's drive. On POSIX every path is on a fixed drive with an
// empty label, unless a test simulates a volume (for example a removable disk with a label).
#include <cstdint>
#include <string>

namespace platform {

inline constexpr unsigned DRIVE_UNKNOWN = 0;
inline constexpr unsigned DRIVE_NO_ROOT_DIR = 1;
inline constexpr unsigned DRIVE_REMOVABLE = 2;
inline constexpr unsigned DRIVE_FIXED = 3;
inline constexpr unsigned DRIVE_REMOTE = 4;
inline constexpr unsigned DRIVE_CDROM = 5;

// The root of the drive that holds path: a simulated volume's folder when path lies inside one,
// otherwise "/" for an absolute path and "" for an empty one.
std::string DriveRootOf(const std::string& path);
unsigned GetDriveType(const std::string& root);
// False when the volume cannot be read (a simulated volume marked unreadable).
bool GetVolumeLabel(const std::string& root, std::string& label);

// Room left on the file system that holds path, for an unprivileged writer: bytes and new file
// entries. Both -1 when it cannot be told.
struct FreeSpace {
  int64_t bytes = -1;
  int64_t entries = -1;
};
FreeSpace FreeSpaceAt(const std::string& path);
// The longest file name, in bytes, that the file system holding folder takes (255 when it
// cannot be told).
size_t MaxNameLength(const std::string& folder);
// Whether new files may be made in the folder: false on a read-only file system or without
// write permission.
bool FolderWritable(const std::string& path);

struct SimulatedVolume {
  unsigned driveType = DRIVE_REMOVABLE;
  std::string label;
  bool readable = true;
  FreeSpace free = {};   // -1: the real file system's
  bool writable = true;  // false: mounted read-only
};
// Test seam: every path under folder is on this volume until cleared.
void SimulateVolume(const std::string& folder, const SimulatedVolume& volume);
void ClearSimulatedVolumes();

}  // namespace platform
