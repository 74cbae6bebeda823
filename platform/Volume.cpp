#include "platform/Volume.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include <map>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace platform {
namespace {

std::map<std::string, SimulatedVolume>& Simulated() {
  static std::map<std::string, SimulatedVolume> volumes;
  return volumes;
}

bool IsInside(const std::string& path, const std::string& folder) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == kPathDelim;
}

}  // namespace

std::string DriveRootOf(const std::string& path) {
  if (path.empty()) return std::string();
  std::string best;
  for (const auto& [folder, volume] : Simulated())
    if (IsInside(path, folder) && folder.size() > best.size()) best = folder;
  if (!best.empty()) return best;
  return std::string(1, kPathDelim);
}

unsigned GetDriveType(const std::string& root) {
  auto it = Simulated().find(ExcludeTrailingPathDelimiter(root));
  if (it != Simulated().end()) return it->second.driveType;
  if (root.empty() || !DirectoryExists(root)) return DRIVE_NO_ROOT_DIR;
  return DRIVE_FIXED;
}

bool GetVolumeLabel(const std::string& root, std::string& label) {
  label.clear();
  auto it = Simulated().find(ExcludeTrailingPathDelimiter(root));
  if (it == Simulated().end()) return !root.empty() && DirectoryExists(root);
  if (!it->second.readable) return false;
  label = it->second.label;
  return true;
}

FreeSpace FreeSpaceAt(const std::string& path) {
  FreeSpace simulated;
  auto it = Simulated().find(DriveRootOf(path));
  if (it != Simulated().end()) simulated = it->second.free;
  FreeSpace real;
  struct statvfs vfs;
  if (!path.empty() && statvfs(ResolvePath(path).c_str(), &vfs) == 0) {
    real.bytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
    // File systems without a fixed number of entries report none at all.
    if (vfs.f_files > 0) real.entries = static_cast<int64_t>(vfs.f_favail);
  }
  return {simulated.bytes >= 0 ? simulated.bytes : real.bytes,
          simulated.entries >= 0 ? simulated.entries : real.entries};
}

size_t MaxNameLength(const std::string& folder) {
  const long max = pathconf(ResolvePath(folder).c_str(), _PC_NAME_MAX);
  return max > 0 ? static_cast<size_t>(max) : 255;
}

bool FolderWritable(const std::string& path) {
  auto it = Simulated().find(DriveRootOf(path));
  if (it != Simulated().end() && !it->second.writable) return false;
  // Permission bits do not tell it for root, nor for file systems such as /proc: a file is
  // made. An unnamed one where the file system has them, so nothing shows in the folder.
  const std::string resolved = ResolvePath(path);
  int fd = open(resolved.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    const std::string probe =
        JoinPath(resolved, ".varevudov-write-test-" + std::to_string(getpid()));
    fd = open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) unlink(probe.c_str());
  }
  if (fd >= 0) {
    close(fd);
    return true;
  }
  // A full drive can still be written once room is made; the room check tells that apart.
  return errno == ENOSPC || errno == EDQUOT || errno == EEXIST;
}

void SimulateVolume(const std::string& folder, const SimulatedVolume& volume) {
  Simulated()[ExcludeTrailingPathDelimiter(folder)] = volume;
}

void ClearSimulatedVolumes() {
  Simulated().clear();
}

}  // namespace platform
