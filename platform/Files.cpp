#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Paths.h"
#include "platform/Strings.h"

namespace platform {
namespace {

// The folder part resolved case-insensitively, the last component as given: the name of a file
// about to be created or of a move's destination.
std::string ResolveParent(const std::string& path) {
  std::string folder = ExtractFileDir(path);
  if (folder.empty()) return path;
  std::string name = ExtractFileName(path);
  return IncludeTrailingPathDelimiter(ResolvePath(folder)) + name;
}

bool StatResolved(const std::string& path, struct stat& st) {
  return !path.empty() && stat(ResolvePath(path).c_str(), &st) == 0;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies a regular file to a destination that must not exist yet (O_EXCL), keeping its
// modification time. A partial copy is removed again.
bool CopyNewFile(const std::string& source, const std::string& destination) {
  UniqueFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  struct stat st;
  if (fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  UniqueFd out(
      open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
  if (out.get() < 0) return false;
  static constexpr size_t kBufferSize = 1 << 16;
  std::string buffer(kBufferSize, '\0');
  bool ok = true;
  for (;;) {
    ssize_t n = read(in.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  if (ok) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(out.get(), times);
  } else {
    unlink(destination.c_str());
  }
  return ok;
}

// Calls visit(name, lstat of name) for every entry of the open folder dirFd but "." and "..";
// false when the folder cannot be read, an entry cannot be looked at, or visit says false.
template <typename Visit>
bool ForEachEntryAt(int dirFd, Visit visit) {
  int scanFd = dup(dirFd);
  if (scanFd < 0) return false;
  DIR* dir = fdopendir(scanFd);
  if (!dir) {
    close(scanFd);
    return false;
  }
  // The copy shares its position with dirFd: a folder read before is read again from the start.
  rewinddir(dir);
  bool ok = true;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !visit(name, st)) ok = false;
  }
  closedir(dir);
  return ok;
}

// Removes every entry of the open folder dirFd, never following a symbolic link: links are
// unlinked as entries, folders are opened with O_NOFOLLOW relative to their parent.
bool EmptyFolderAt(int dirFd) {
  return ForEachEntryAt(dirFd, [dirFd](const std::string& name, const struct stat& st) {
    bool ok = true;
    if (S_ISDIR(st.st_mode)) {
      UniqueFd child(openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (child.get() < 0 || !EmptyFolderAt(child.get())) ok = false;
      if (unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
    } else if (unlinkat(dirFd, name.c_str(), 0) != 0) {
      ok = false;
    }
    return ok;
  });
}

// The entry of the open folder dirFd that is name ignoring case (an exact match first); name as
// given when there is none or several.
std::string EntryAt(int dirFd, const std::string& name) {
  struct stat st;
  if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
  const std::u32string folded = FoldFileName(name);
  std::string found = name;
  int matches = 0;
  ForEachEntryAt(dirFd, [&](const std::string& entry, const struct stat&) {
    if (FoldFileName(entry) == folded && ++matches == 1) found = entry;
    return true;
  });
  return matches == 1 ? found : name;
}

// The folder name of the open folder dirFd, made when missing (with make), never through a link.
UniqueFd OpenFolderAt(int dirFd, const std::string& name, bool make) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  UniqueFd fd(openat(dirFd, name.c_str(), kFlags));
  if (fd.get() < 0 && errno == ENOENT && make && mkdirat(dirFd, name.c_str(), 0777) == 0)
    fd = UniqueFd(openat(dirFd, name.c_str(), kFlags));
  return fd;
}

// Puts the regular file name of the open folder fromDir in place of the entry to of the open
// folder toDir, replacing a file there (a link there is replaced, not followed). Across file
// systems the copy goes to a fresh name beside to first, so to is never left half written.
bool ReplaceFileAt(int fromDir, const std::string& name, int toDir, const std::string& to) {
  if (renameat(fromDir, name.c_str(), toDir, to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  // The open folders by their descriptors: nothing on the way can be swapped for a link.
  auto at = [](int dir, const std::string& entry) {
    return "/proc/self/fd/" + std::to_string(dir) + "/" + entry;
  };
  const std::string temp = to + ".vv-move";
  unlinkat(toDir, temp.c_str(), 0);
  if (!CopyNewFile(at(fromDir, name), at(toDir, temp))) return false;
  if (renameat(toDir, temp.c_str(), toDir, to.c_str()) != 0) {
    unlinkat(toDir, temp.c_str(), 0);
    return false;
  }
  return unlinkat(fromDir, name.c_str(), 0) == 0;
}

// Merges the open folder sourceFd into the open folder destFd (shown is its path). With write
// false it only looks: whether a folder on the way there is a link or no folder (named in
// blocked). Folders are opened without following links at every depth.
bool MergeFolderAt(int sourceFd, int destFd, const std::string& shown, bool write,
                   std::string& blocked) {
  return ForEachEntryAt(sourceFd, [&](const std::string& name, const struct stat& entry) {
    const std::string to = EntryAt(destFd, name);
    struct stat there;
    const bool exists = fstatat(destFd, to.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (S_ISDIR(entry.st_mode)) {
      UniqueFd child(
          openat(sourceFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (child.get() < 0) return false;
      if (!exists && !write) return true;  // made afresh when written: nothing in the way
      UniqueFd into = OpenFolderAt(destFd, to, write);
      if (into.get() < 0) {
        if (blocked.empty()) blocked = JoinPath(shown, to);
        return false;
      }
      return MergeFolderAt(child.get(), into.get(), JoinPath(shown, to), write, blocked);
    }
    if (!S_ISREG(entry.st_mode) || (exists && S_ISDIR(there.st_mode))) return false;
    return !write || ReplaceFileAt(sourceFd, name, destFd, to);
  });
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return StatResolved(path, st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return StatResolved(path, st) && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  if (lstat(ResolvePath(path).c_str(), &st) == 0) return false;
  return mkdir(ResolveParent(ExcludeTrailingPathDelimiter(path)).c_str(), 0777) == 0;
}

bool RemoveDir(const std::string& path) {
  return !path.empty() && rmdir(ResolvePath(path).c_str()) == 0;
}

bool DeleteFile(const std::string& path) {
  if (path.empty()) return false;
  std::string resolved = ResolvePath(path);
  struct stat st;
  if (lstat(resolved.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(resolved.c_str()) == 0;
}

bool MoveFile(const std::string& source, const std::string& destination) {
  if (source.empty() || destination.empty()) return false;
  std::string from = ResolvePath(source);
  struct stat fromStat;
  if (lstat(from.c_str(), &fromStat) != 0) return false;
  std::string to = ResolveParent(ExcludeTrailingPathDelimiter(destination));
  // A destination that exists under another spelling is the same name to the program, so it
  // blocks the move, unless it is the source itself (a change of case only).
  struct stat toStat;
  std::string existing = ResolvePath(to);
  if (lstat(existing.c_str(), &toStat) == 0 &&
      !(toStat.st_dev == fromStat.st_dev && toStat.st_ino == fromStat.st_ino))
    return false;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EINVAL && access(to.c_str(), F_OK) != 0) {
    // The file system cannot promise "no replace"; we checked above, so a plain rename serves.
    return rename(from.c_str(), to.c_str()) == 0;
  }
  if (errno != EXDEV || !S_ISREG(fromStat.st_mode)) return false;
  if (!CopyNewFile(from, to)) return false;
  return unlink(from.c_str()) == 0;
}

bool DeleteTree(const std::string& path) {
  if (path.empty()) return false;
  std::string resolved = ResolvePath(ExcludeTrailingPathDelimiter(path));
  struct stat st;
  if (lstat(resolved.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return unlink(resolved.c_str()) == 0;
  {
    UniqueFd dir(open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.get() < 0) return false;
    EmptyFolderAt(dir.get());
  }
  return rmdir(resolved.c_str()) == 0;
}

bool RemoveAnyEntry(const std::string& path) {
  if (path.empty()) return false;
  const std::string name = ExcludeTrailingPathDelimiter(path);
  // Each round removes one spelling; a folder cannot hold more than a few hundred of them.
  for (int round = 0; round < 1024; ++round) {
    const std::string resolved = ResolvePath(name);
    struct stat st;
    if (lstat(resolved.c_str(), &st) != 0) return errno == ENOENT;
    if (!DeleteTree(resolved)) return false;
  }
  return false;
}

bool MergeTree(const std::string& source, const std::string& destination, std::string* blocked) {
  if (source.empty() || destination.empty()) return false;
  UniqueFd dir(open(ResolvePath(source).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  const std::string to = ResolvePath(ExcludeTrailingPathDelimiter(destination));
  UniqueFd parent(open(ExtractFileDir(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0 || parent.get() < 0) return false;
  UniqueFd into = OpenFolderAt(parent.get(), ExtractFileName(to), true);
  std::string refused = into.get() < 0 ? to : std::string();
  // Looked at whole first, so a link anywhere leaves every map where it is.
  if (into.get() >= 0) MergeFolderAt(dir.get(), into.get(), to, false, refused);
  if (refused.empty() && into.get() >= 0 && MergeFolderAt(dir.get(), into.get(), to, true, refused))
    return true;
  if (blocked) *blocked = refused;
  return false;
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (!StatResolved(path, st)) return -1;
  return static_cast<int64_t>(st.st_size);
}

int32_t FileAgeDos(const std::string& path) {
  struct stat st;
  if (!StatResolved(path, st)) return -1;
  return static_cast<int32_t>(UnixTimeToLocalDos(st.st_mtime));
}

uint32_t UnixTimeToLocalDos(std::time_t t) {
  struct tm local {};
  if (!localtime_r(&t, &local)) return 0;
  int year = local.tm_year + 1900;
  // The DOS format covers 1980 to 2107.
  if (year < 1980) return (1u << 21) | (1u << 16);
  if (year > 2107) year = 2107;
  return (static_cast<uint32_t>(year - 1980) << 25) |
         (static_cast<uint32_t>(local.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(local.tm_mday) << 16) |
         (static_cast<uint32_t>(local.tm_hour) << 11) | (static_cast<uint32_t>(local.tm_min) << 5) |
         (static_cast<uint32_t>(local.tm_sec) / 2);
}

std::time_t LocalDosToUnixTime(uint32_t dos) {
  struct tm local {};
  local.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
  local.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
  local.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
  local.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
  local.tm_min = static_cast<int>((dos >> 5) & 0x3F);
  local.tm_sec = static_cast<int>(dos & 0x1F) * 2;
  local.tm_isdst = -1;
  return mktime(&local);
}

bool IsDosExecutable(const std::string& path) {
  UniqueFd fd(open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  char magic[2] = {0, 0};
  return read(fd.get(), magic, 2) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

bool WriteNewFile(const std::string& path, const std::string& contents) {
  UniqueFd fd(open(ResolvePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  const bool written = fd.valid() && WriteAll(fd.get(), contents.data(), contents.size());
  return fd.close() && written;
}

EntryType EntryTypeOf(const std::string& exactPath) {
  struct stat st;
  if (lstat(exactPath.c_str(), &st) != 0) return EntryType::None;
  if (S_ISREG(st.st_mode)) return EntryType::File;
  if (S_ISDIR(st.st_mode)) return EntryType::Folder;
  return EntryType::Other;
}

bool ReadOnlyFile::Open(const std::string& path) {
  Close();
  fd_.reset(open(ResolvePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  return fd_.valid();
}

int64_t ReadOnlyFile::Size() const {
  const off_t end = lseek(fd_.get(), 0, SEEK_END);
  return end < 0 ? -1 : static_cast<int64_t>(end);
}

bool ReadOnlyFile::Seek(int64_t position) {
  return position >= 0 && lseek(fd_.get(), static_cast<off_t>(position), SEEK_SET) == position;
}

size_t ReadOnlyFile::Read(void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = read(fd_.get(), static_cast<char*>(buffer) + done, count - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace platform
