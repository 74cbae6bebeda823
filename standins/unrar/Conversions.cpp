#include "Conversions.h"

#include <cctype>
#include <ctime>

#include "RarBlocks.h"
#include "platform/Utf8.h"

namespace unrar_standin {

std::string NextVolumeName(const std::string& path, bool newNumbering) {
  const size_t slash = path.find_last_of('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < nameAt) dot = path.size();
  std::string name = path;
  if (newNumbering) {
    // Increment the number just before the extension, widening it when it overflows.
    size_t end = dot, begin = dot;
    while (begin > nameAt && std::isdigit(static_cast<unsigned char>(name[begin - 1]))) --begin;
    if (begin == end) return name.substr(0, dot) + ".part2.rar";
    size_t i = end;
    while (i > begin) {
      --i;
      if (name[i] != '9') {
        ++name[i];
        return name.substr(0, dot) + ".rar";
      }
      name[i] = '0';
    }
    name.insert(begin, 1, '1');
    return name.substr(0, dot + 1) + ".rar";
  }
  const std::string ext = path.substr(dot);
  if (ext.size() == 4 && std::isalpha(static_cast<unsigned char>(ext[1])) &&
      std::isdigit(static_cast<unsigned char>(ext[2])) &&
      std::isdigit(static_cast<unsigned char>(ext[3]))) {
    int number = (ext[2] - '0') * 10 + (ext[3] - '0') + 1;
    char letter = ext[1];
    if (number == 100) {
      number = 0;
      ++letter;
    }
    char next[5] = {'.', letter, static_cast<char>('0' + number / 10),
                    static_cast<char>('0' + number % 10), 0};
    return path.substr(0, dot) + next;
  }
  return path.substr(0, dot) + ".r00";
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = n > 0 && i + n <= text.size();
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; valid && k < n; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      valid = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!valid) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(cp);
    i += n;
  }
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t wc : text) platform::AppendUtf8(out, static_cast<char32_t>(wc), 0xFFFD);
  return out;
}

int64_t ModificationTime(const FileEntry& entry) {
  if (entry.unixTime >= 0) return entry.unixTime;
  return entry.dosTime != 0 ? LocalDosToUnix(entry.dosTime) : -1;
}

uint32_t UnixToLocalDos(int64_t unixTime) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  struct tm local {};
  if (!localtime_r(&t, &local)) return 0;
  const int year = local.tm_year + 1900;
  if (year < 1980) return (1u << 21) | (1u << 16);
  if (year > 2107) return 0xFF9FBF7Du;  // 2107-12-31 23:59:58
  return (static_cast<uint32_t>(year - 1980) << 25) |
         (static_cast<uint32_t>(local.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(local.tm_mday) << 16) |
         (static_cast<uint32_t>(local.tm_hour) << 11) | (static_cast<uint32_t>(local.tm_min) << 5) |
         static_cast<uint32_t>(local.tm_sec / 2);
}

int64_t LocalDosToUnix(uint32_t dos) {
  struct tm local {};
  local.tm_year = static_cast<int>((dos >> 25) + 80);
  local.tm_mon = static_cast<int>((dos >> 21) & 15) - 1;
  local.tm_mday = static_cast<int>((dos >> 16) & 31);
  local.tm_hour = static_cast<int>((dos >> 11) & 31);
  local.tm_min = static_cast<int>((dos >> 5) & 63);
  local.tm_sec = static_cast<int>((dos & 31) * 2);
  local.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&local));
}

}  // namespace unrar_standin
