#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
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
  handle_.reset();
  if (temporary_) unlink(path_.c_str());
}

bool Output::CreateTemporaryFor(const std::string& finalPath) {
  std::string temp = finalPath + ".partXXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  handle_ = std::make_unique<Handle>(fd);
  path_ = temp;
  final_ = finalPath;
  temporary_ = true;
  // mkstemp makes the file private; the archive is the user's, with a new file's usual rights.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  return true;
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
  // link() refuses an existing name, so a file that appeared meanwhile is not replaced either.
  bool ok = link(path_.c_str(), final_.c_str()) == 0;
  if (!ok && errno != EEXIST) {
    // A file system without hard links: rename, after a last look for an existing file.
    struct stat st;
    ok = lstat(final_.c_str(), &st) != 0 && rename(path_.c_str(), final_.c_str()) == 0;
  }
  unlink(path_.c_str());
  temporary_ = false;
  return ok;
}

void Output::Discard() {
  unlink(path_.c_str());
  temporary_ = false;
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
