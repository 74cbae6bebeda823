#include "archives/RarEntries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "archives/RAR_DLL.h"
#include "platform/UniqueFd.h"

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
  std::vector<std::string> parts;
  const bool symbolic = redirType == FSREDIR_UNIXSYMLINK || redirType == FSREDIR_WINSYMLINK;
  if (symbolic) {
    const size_t cut = cleanLinkName.rfind('/');
    if (cut != std::string::npos) Components(cleanLinkName.substr(0, cut), parts);
  }
  // ".." may step back inside the package, never above its root.
  size_t start = 0;
  while (start <= target.size()) {
    size_t end = target.find_first_of("\\/", start);
    if (end == std::string::npos) end = target.size();
    const std::string part = target.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return {};
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return Join(parts);
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
