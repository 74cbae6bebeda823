#include "Output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

#include "Conversions.h"
#include "archives/RAR_DLL.h"

namespace unrar_standin {
namespace {

// mkdir -p for a folder the caller named; links in it are the caller's business.
bool MakePath(const std::string& path) {
  if (path.empty()) return true;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int OpenFolder(const std::string& folder) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  if (!MakePath(path)) return -1;
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// One level down, creating it when missing, never through a symbolic link.
int OpenSubfolder(int dirFd, const std::string& name) {
  int fd = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    if (mkdirat(dirFd, name.c_str(), 0777) != 0 && errno != EEXIST) return -1;
    fd = openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }
  return fd;
}

// Walks components[0, count) below folder; the descriptor of the last folder, or -1.
int WalkBeneath(const std::string& folder, const std::vector<std::string>& components,
                size_t count) {
  int fd = OpenFolder(folder);
  for (size_t i = 0; fd >= 0 && i < count; ++i) {
    const int next = OpenSubfolder(fd, components[i]);
    close(fd);
    fd = next;
  }
  return fd;
}

bool IsDotName(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

}  // namespace

std::vector<std::string> SafeComponents(const std::string& name) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    const bool drive = parts.empty() && part.size() == 2 && part[1] == ':';
    if (!IsDotName(part) && !drive) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

int OutputFile::OpenBeneath(const std::string& folder, const std::string& entryName) {
  Discard();
  const std::vector<std::string> parts = SafeComponents(entryName);
  if (parts.empty()) return ERAR_ECREATE;
  const int dirFd = WalkBeneath(folder, parts, parts.size() - 1);
  if (dirFd < 0) return ERAR_ECREATE;
  return OpenTemporary(dirFd, parts.back());
}

int OutputFile::OpenExact(const std::string& path) {
  Discard();
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (IsDotName(name)) return ERAR_ECREATE;
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
  const int dirFd = OpenFolder(slash == 0 ? std::string("/") : folder);
  if (dirFd < 0) return ERAR_ECREATE;
  return OpenTemporary(dirFd, name);
}

int OutputFile::OpenTemporary(int dirFd, const std::string& finalName) {
  static std::atomic<unsigned> counter{0};
  dirFd_ = dirFd;
  finalName_ = finalName;
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName_ = ".vvunrar-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
                std::to_string(static_cast<unsigned>(std::time(nullptr)) ^ (attempt * 7919u));
    fd_ = openat(dirFd_, tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0666);
    if (fd_ >= 0) return 0;
    if (errno != EEXIST) break;
  }
  tempName_.clear();
  Discard();
  return ERAR_ECREATE;
}

int OutputFile::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ERAR_EWRITE;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

int OutputFile::Commit(const FileEntry& entry) {
  if (fd_ < 0) return ERAR_ECREATE;
  // A Unix mode travels with the file, but the owner always keeps read and write access.
  if (entry.unixAttributes) fchmod(fd_, static_cast<mode_t>((entry.attributes & 0755) | 0600));
  const int64_t when = ModificationTime(entry);
  if (when >= 0) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(when), 0}};
    futimens(fd_, times);
  }
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!closed || renameat(dirFd_, tempName_.c_str(), dirFd_, finalName_.c_str()) != 0) {
    Discard();
    return closed ? ERAR_ECREATE : ERAR_EWRITE;
  }
  tempName_.clear();
  Discard();
  return 0;
}

void OutputFile::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (dirFd_ >= 0) {
    if (!tempName_.empty()) unlinkat(dirFd_, tempName_.c_str(), 0);
    close(dirFd_);
  }
  dirFd_ = -1;
  tempName_.clear();
}

int CreateFolderBeneath(const std::string& folder, const std::string& entryName) {
  const std::vector<std::string> parts = SafeComponents(entryName);
  if (parts.empty()) return ERAR_ECREATE;
  const int fd = WalkBeneath(folder, parts, parts.size());
  if (fd < 0) return ERAR_ECREATE;
  close(fd);
  return 0;
}

int CreateFolderExact(const std::string& path) {
  return MakePath(path) ? 0 : ERAR_ECREATE;
}

}  // namespace unrar_standin
