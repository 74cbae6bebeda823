#include "app/workflow/RarVolumes.h"

#include <cctype>

#include "platform/Strings.h"

namespace workflow {
namespace {

// Where the digits of ".partN.rar" start and how many there are; false for other names.
bool PartDigits(const std::string& path, size_t& at, size_t& count) {
  const std::string lower = platform::LowerCase(path);
  const std::string suffix = ".rar";
  if (lower.size() < suffix.size() || lower.compare(lower.size() - 4, 4, suffix) != 0) return false;
  size_t end = lower.size() - 4, start = end;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(lower[start - 1]))) --start;
  const std::string part = ".part";
  if (start == end || start < part.size() || lower.compare(start - part.size(), part.size(), part))
    return false;
  at = start;
  count = end - start;
  return true;
}

}  // namespace

std::string FirstVolumeOf(const std::string& path) {
  size_t at = 0, count = 0;
  if (!PartDigits(path, at, count)) return {};
  return path.substr(0, at) + std::string(count - 1, '0') + "1" + path.substr(at + count);
}

std::string LaterVolumeReason(const std::string& path) {
  size_t at = 0, count = 0;
  std::string which = "a later part";
  if (PartDigits(path, at, count))
    which = "part " + std::to_string(std::stoul(path.substr(at, count)));
  return "is " + which + " of a multi-volume archive; convert its first part";
}

}  // namespace workflow
