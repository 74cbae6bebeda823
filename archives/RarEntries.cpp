#include "archives/RarEntries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "archives/RAR_DLL.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/UniqueFd.h"
#include "platform/Utf8.h"

namespace rar_entries {
namespace {

// Splits on either separator; false when a ".." component appears.
bool Components(const std::string& name, std::vector<std::string>& parts) {
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    // A drive ("C:") says where the packer's files lay, not where ours go.
    const bool drive = parts.empty() && part.size() == 2 && part[1] == ':';
    if (!part.empty() && part != "." && !drive) parts.push_back(std::move(part));
    start = end + 1;
  }
  return true;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : "/") + part;
  return out;
}

}  // namespace

std::string CleanName(const std::string& stored) {
  std::vector<std::string> parts;
  return Components(stored, parts) ? Join(parts) : std::string();
}

std::string LinkTarget(const std::string& cleanLinkName, const std::string& target,
                       unsigned redirType) {
  if (target.empty() || target[0] == '/' || target[0] == '\\' ||
      (target.size() > 1 && target[1] == ':'))
    return {};
  // A symbolic link is relative to its own folder; ".." may step back inside the package,
  // never above its root.
  const bool symbolic = redirType == FSREDIR_UNIXSYMLINK || redirType == FSREDIR_WINSYMLINK;
  const size_t cut = cleanLinkName.rfind('/');
  const std::string base =
      symbolic && cut != std::string::npos ? cleanLinkName.substr(0, cut + 1) : std::string();
  std::string resolved;
  return platform::NormalisePackagePath(base + target, resolved) ? resolved : std::string();
}

namespace {

constexpr unsigned kTypeMask = 0170000, kRegular = 0100000, kDirectory = 0040000,
                   kSymlink = 0120000, kReparsePoint = 0x400, kFolderAttribute = 0x10;

}  // namespace

// A library that sets only 0x20 for a folder (no dictionary bits) still gives its attributes: a
// Unix mode for Unix-like hosts, Windows attributes for the others.
bool IsFolderEntry(const RARHeaderDataEx& header) {
  if ((header.Flags & RHDF_WINDOWMASK) == RHDF_WINDOWMASK || header.FileAttr == 16) return true;
  return header.HostOS <= 2 ? (header.FileAttr & kFolderAttribute) != 0
                            : (header.FileAttr & kTypeMask) == kDirectory;
}

// Links of every kind (symbolic, hard, junctions, file copies) and special files never leave an
// archive: written into the work folder they would let a package reach outside it. The
// redirection type covers what the library recognises as such; the file's own type covers the
// rest, whatever the library makes of it (a Unix mode for Unix-like hosts, the reparse-point
// attribute for the others).
bool IsLinkOrSpecial(const RARHeaderDataEx& header) {
  if (header.RedirType != 0) return true;
  if (header.HostOS <= 2) return header.FileAttr & kReparsePoint;
  const unsigned type = header.FileAttr & kTypeMask;
  return type != 0 && type != (IsFolderEntry(header) ? kDirectory : kRegular);
}

bool IsLink(const RARHeaderDataEx& header) {
  if (header.RedirType != FSREDIR_NONE) return true;
  return header.HostOS <= 2 ? (header.FileAttr & kReparsePoint) != 0
                            : (header.FileAttr & kTypeMask) == kSymlink;
}

// Whether writing name below folder would go through what is not ours to write through: an
// existing link or special file in its place, or something other than a real folder where a
// folder of its path must be.
bool WritesThroughForeignEntry(const std::string& folder, const std::string& name,
                               bool folderEntry) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") parts.push_back(std::move(part));
    start = end + 1;
  }
  std::string path = folder;
  for (size_t i = 0; i < parts.size(); ++i) {
    path += parts[i];
    const platform::EntryType type = platform::EntryTypeOf(path);
    if (type == platform::EntryType::None) return false;  // nothing there, so nothing below it
    const bool last = i + 1 == parts.size();
    if (type != (!last || folderEntry ? platform::EntryType::Folder : platform::EntryType::File))
      return true;
    path += platform::kPathDelim;
  }
  return false;
}

// The spelling of the file that name (a bare name) already names in folder, ignoring case;
// name itself when there is none.
std::string ExistingSpelling(const std::string& folder, const std::string& name) {
  const std::string resolved = platform::ResolvePath(folder + name);
  return resolved.substr(resolved.rfind(platform::kPathDelim) + 1);
}

// The program's 8-bit names are UTF-8.
std::string WideToUtf8(const std::wstring& wide) {
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
          wide[i + 1] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
    }
    platform::AppendUtf8(out, c, '?');
  }
  return out;
}

std::string NarrowName(const RARHeaderDataEx& header) {
  return std::string(header.FileName, strnlen(header.FileName, sizeof header.FileName));
}

std::wstring WideName(const RARHeaderDataEx& header) {
  size_t n = 0;
  while (n < std::size(header.FileNameW) && header.FileNameW[n] != 0) ++n;
  return std::wstring(header.FileNameW, n);
}

// The part after the last separator or drive colon.
std::string BareName(const std::string& name) {
  size_t cut = name.find_last_of("\\/:");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

bool NameSelected(const std::string& name, const std::vector<std::string>* selection) {
  if (!selection) return true;
  for (const std::string& selected : *selection)
    if (selected == name) return true;
  return false;
}

std::wstring RedirName(const RARHeaderDataEx& header) {
  if (!header.RedirName) return {};
  size_t n = 0;
  while (n < header.RedirNameSize && header.RedirName[n] != 0) ++n;
  return std::wstring(header.RedirName, n);
}

bool CopiedLink(unsigned redirType) {
  return redirType == FSREDIR_UNIXSYMLINK || redirType == FSREDIR_WINSYMLINK ||
         redirType == FSREDIR_HARDLINK || redirType == FSREDIR_FILECOPY;
}

std::string FailureReason(int32_t code, bool encrypted, int errnoValue) {
  if (errnoValue == ENOSPC || errnoValue == EDQUOT) return "no space";
  switch (code) {
    case ERAR_MISSING_PASSWORD:
    case ERAR_BAD_PASSWORD:
      return "password needed";
    case ERAR_BAD_DATA:
      return encrypted ? "password needed" : "damaged data (CRC)";
    case ERAR_EOPEN:
      return "missing volume";
    case ERAR_UNKNOWN_FORMAT:
      return "compression method not supported";
    case ERAR_ECREATE:
    case ERAR_EWRITE:
      return "could not be written";
    case ERAR_NO_MEMORY:
      return "out of memory";
    default:
      return "not extracted (error " + std::to_string(code) + ")";
  }
}

bool CopyRegularFile(const std::string& source, const std::string& destination) {
  platform::UniqueFd in(open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!in.valid() || fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  struct stat old {};
  if (lstat(destination.c_str(), &old) == 0) {
    if (!S_ISREG(old.st_mode) || unlink(destination.c_str()) != 0) return false;
  }
  platform::UniqueFd out(
      open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!out.valid()) return false;
  char buffer[65536];
  while (true) {
    const ssize_t n = read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out.get(), buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
    }
  }
}

}  // namespace rar_entries
