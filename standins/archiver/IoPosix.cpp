#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "Io.h"

namespace vka::io {

struct Handle {
  explicit Handle(int f) : fd(f) {}
  ~Handle() {
    if (fd >= 0) close(fd);
  }
  int fd;
};

namespace {

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

}  // namespace

Input::Input() = default;
Input::~Input() = default;

bool Input::Open(const std::string& path, bool noLink) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | (noLink ? O_NOFOLLOW : 0));
  if (fd < 0) return false;
  handle_ = std::make_unique<Handle>(fd);
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

long long Input::Read(void* data, size_t size) {
  return read(handle_->fd, data, size);
}

bool Input::ReadAt(void* data, size_t size, uint64_t offset) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    ssize_t n = pread(handle_->fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

uint64_t Input::Size() const {
  struct stat st;
  return fstat(handle_->fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

Output::Output() = default;

Output::~Output() {
  // Removed while still held, so no other run takes it for a leftover of its own meanwhile.
  if (temporary_) unlink(path_.c_str());
  handle_.reset();
  hold_.reset();
}

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes temp when it is what a killed run left. True when the name is free now (also when
// somebody else removed it meanwhile); false, with the reason, when what is there stays.
bool RemoveLeftover(const std::string& temp, const std::string& finalPath,
                    const std::string& unfinished, std::string& why) {
  why = temp + " is in the way and is not ours to remove";
  // No link is followed, and a pipe planted there does not block the open.
  const int fd = open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  const Handle held(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return false;
  // A run killed between publishing and removing the temporary left a second name of the
  // archive: the same file as the final one.
  struct stat atFinal {};
  const bool published = lstat(finalPath.c_str(), &atFinal) == 0 && SameFile(st, atFinal);
  if (st.st_nlink != (published ? 2u : 1u)) return false;
  // A run that still writes holds the lock for as long as it lives.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    why = temp + " is being written by another run";
    return false;
  }
  if (!published) {
    std::string head(unfinished.size(), '\0');
    if (pread(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()) ||
        head != unfinished)
      return false;
  }
  // Another run may have removed it while this one waited for the lock; the name then is free
  // or somebody else's. A file is only removed under its lock, so the name cannot change
  // between this look and the unlink.
  struct stat named {};
  if (lstat(temp.c_str(), &named) != 0) return errno == ENOENT;
  if (!SameFile(st, named)) return true;
  if (unlink(temp.c_str()) != 0) return errno == ENOENT;
  why.clear();
  return true;
}

}  // namespace

bool Output::CreateTemporaryFor(const std::string& finalPath, const std::string& unfinished,
                                std::string& why) {
  why.clear();
  const std::string temp = finalPath + kPartSuffix;
  int fd = -1;
  for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
    // The user's usual rights for a new file (umask applies), as the archive will be theirs.
    fd = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || !RemoveLeftover(temp, finalPath, unfinished, why)))
      return false;
  }
  if (fd < 0) {
    if (why.empty()) why = temp + " is taken by other runs";
    return false;
  }
  handle_ = std::make_unique<Handle>(fd);
  path_ = temp;
  final_ = finalPath;
  temporary_ = true;
  // Locked before it is marked: a file that is marked and not held is a leftover. Another run
  // may hold the lock for a moment while it looks; then it finds no mark and leaves the file.
  // The lock lives on a second descriptor, so it outlasts Close until Publish.
  hold_ = std::make_unique<Handle>(dup(fd));
  bool locked = false;
  for (int wait = 0; wait < 300 && hold_->fd >= 0 && !locked; ++wait) {
    locked = flock(hold_->fd, LOCK_EX | LOCK_NB) == 0;
    if (!locked) usleep(10000);
  }
  if (!locked) {
    why = "cannot lock " + temp;
    return false;
  }
  return Write(unfinished.data(), unfinished.size());
}

bool Output::CreateIn(const Folder& folder, const std::string& name, bool& exists) {
  int fd = openat(folder.handle_->fd, name.c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  exists = fd < 0 && errno == EEXIST;
  if (fd < 0) return false;
  handle_ = std::make_unique<Handle>(fd);
  path_ = folder.path_ + "/" + name;
  return true;
}

bool Output::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(handle_->fd, p, size);
    if (n < 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Output::WriteAt(const void* data, size_t size, uint64_t offset) {
  return pwrite(handle_->fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

bool Output::Close() {
  const int fd = handle_ ? handle_->fd : -1;
  if (handle_) handle_->fd = -1;
  handle_.reset();
  return fd >= 0 && close(fd) == 0;
}

bool Output::Publish() {
  // Renamed without replacing, so a file that appeared meanwhile under the final name stays.
  bool ok = renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, final_.c_str(), RENAME_NOREPLACE) == 0;
  if (!ok && (errno == EINVAL || errno == ENOSYS)) {
    // A file system that cannot: link() refuses an existing name as well.
    ok = link(path_.c_str(), final_.c_str()) == 0;
    if (!ok && errno != EEXIST) {
      // Nor hard links: rename, after a last look for an existing file.
      struct stat st;
      ok = lstat(final_.c_str(), &st) != 0 && rename(path_.c_str(), final_.c_str()) == 0;
    }
    unlink(path_.c_str());
  } else if (!ok) {
    unlink(path_.c_str());
  }
  temporary_ = false;
  hold_.reset();
  return ok;
}

void Output::Discard() {
  unlink(path_.c_str());
  temporary_ = false;
  hold_.reset();
}

Folder::Folder() = default;
Folder::~Folder() = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

bool Folder::OpenOrCreate(const std::string& path) {
  mkdir(path.c_str(), 0755);
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  handle_ = std::make_unique<Handle>(fd);
  path_ = path;
  return true;
}

bool Folder::OpenParent(const std::string& relative, Folder& parent, std::string& name) const {
  int dir = dup(handle_->fd);
  std::string path = path_;
  size_t start = 0;
  for (;;) {
    size_t slash = relative.find('/', start);
    if (slash == std::string::npos) {
      name = relative.substr(start);
      parent.handle_ = std::make_unique<Handle>(dir);
      parent.path_ = path;
      return dir >= 0;
    }
    const std::string part = relative.substr(start, slash - start);
    mkdirat(dir, part.c_str(), 0755);
    int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(dir);
    if (next < 0) return false;
    dir = next;
    path += "/" + part;
    start = slash + 1;
  }
}

uint64_t FreeBytes(const std::string& folder) {
  struct statvfs vfs;
  if (statvfs(folder.c_str(), &vfs) != 0) return UINT64_MAX;
  return static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string FolderPath(const std::string& path) {
  struct stat st;
  const std::string real = RealPath(path);
  return !real.empty() && stat(real.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? real
                                                                              : std::string();
}

std::string RelativeTo(const std::string& folder, const std::string& file) {
  const size_t slash = file.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".")
                          : slash == 0               ? std::string("/")
                                                     : file.substr(0, slash);
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  const std::string dirReal = RealPath(dir);
  if (dirReal.empty() || name.empty() || name == "." || name == "..") return {};
  const std::string prefix = folder + "/";
  const std::string full = (dirReal == "/" ? dirReal : dirReal + "/") + name;
  if (full.size() <= prefix.size() || full.compare(0, prefix.size(), prefix) != 0) return {};
  return full.substr(prefix.size());
}

std::string ScriptText(const std::string& line) {
  return line;
}

}  // namespace vka::io
