#include "platform/Strings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/Exceptions.h"

namespace platform {
namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Index just past the last separator, 0 when there is none.
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsSeparator(path[i - 1])) return i;
  return 0;
}

}  // namespace

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

namespace {

// The characters of a valid UTF-8 name (no overlong forms, surrogates or values past U+10FFFF);
// false for anything else.
bool DecodeUtf8(std::string_view s, std::u32string& out) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
      out += lead;
      ++i;
      continue;
    }
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > s.size()) return false;
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out += c;
    i += length;
  }
  return true;
}

}  // namespace

std::u32string FoldFileName(std::string_view name) {
  std::u32string folded;
  folded.reserve(name.size());
  if (DecodeUtf8(name, folded)) {
    for (char32_t& c : folded) c = FoldCodePoint(c);
    return folded;
  }
  folded.clear();
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    folded += byte < 0x80 ? static_cast<char32_t>(AsciiLower(c)) : char32_t{0xDC00} + byte;
  }
  return folded;
}

bool SameFileName(std::string_view a, std::string_view b) {
  return a == b || FoldFileName(a) == FoldFileName(b);
}

std::string Trim(std::string_view s) {
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
  return std::string(s.substr(first, last - first));
}

std::string ExtractFileName(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string ExtractFilePath(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileDir(std::string_view path) {
  size_t start = NameStart(path);
  if (start == 0) return std::string();
  // Keep the separator of a root folder ("/" stays "/").
  if (start == 1) return std::string(path.substr(0, 1));
  return std::string(path.substr(0, start - 1));
}

std::string ExtractFileExt(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t start = NameStart(path);
  size_t dot = path.rfind('.');
  std::string base(dot == std::string_view::npos || dot < start ? path : path.substr(0, dot));
  return base + std::string(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  if (out.empty() || !IsSeparator(out.back())) out += kPathDelim;
  return out;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string out(path);
  while (out.size() > 1 && IsSeparator(out.back())) out.pop_back();
  return out;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return IncludeTrailingPathDelimiter(folder) + std::string(name);
}

bool NormalisePackagePath(std::string_view name, std::string& out) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  out.clear();
  for (const std::string_view part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return !out.empty();
}

bool TryStrToInt(std::string_view s, int& value) {
  std::string text = Trim(s);
  if (text.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return false;
  long long result = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
    if (result > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) result = -result;
  if (result > INT_MAX || result < INT_MIN) return false;
  value = static_cast<int>(result);
  return true;
}

int StrToInt(std::string_view s) {
  int value = 0;
  if (!TryStrToInt(s, value))
    throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  return value;
}

std::string EscapeControlCharacters(std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) {
      out += "\\u0085";  // NEXT LINE
      ++i;
    } else if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xA8) {
      out += s[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";  // LINE / PARAGRAPH SEPARATOR
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace platform
