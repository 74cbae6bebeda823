#include "platform/Wine.h"

#include <iconv.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/DeviceNames.h"
#include "platform/Strings.h"

namespace platform {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const std::string path = Env("PATH");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = end > start ? path.substr(start, end - start) : std::string(".");
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

// The locale setlocale(LC_ALL, "") would give LC_CTYPE: one that is not installed leaves C.
std::string CtypeLocaleName() {
  locale_t all = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (!all) return "C";
  freelocale(all);
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const std::string value = Env(name);
    if (!value.empty()) return value;
  }
  return "C";
}

// Windows locales whose default ANSI code page is not 1252, by language, and the language and
// country pairs that differ from their language, as Wine maps the Unix locale names.
const std::map<std::string, unsigned>& LanguageCodePages() {
  static const std::map<std::string, unsigned> table = {
      {"am", 65001},  {"ar", 1256},  {"as", 65001},  {"be", 1251},  {"bg", 1251},   {"bn", 65001},
      {"chr", 65001}, {"ckb", 1256}, {"cs", 1250},   {"dv", 65001}, {"dz", 65001},  {"el", 1253},
      {"et", 1257},   {"fa", 1256},  {"gu", 65001},  {"he", 1255},  {"hi", 65001},  {"hr", 1250},
      {"hu", 1250},   {"hy", 65001}, {"ja", 932},    {"ka", 65001}, {"kk", 65001},  {"km", 65001},
      {"kn", 65001},  {"ko", 949},   {"kok", 65001}, {"ky", 1251},  {"lo", 65001},  {"lt", 1257},
      {"lv", 1257},   {"mi", 65001}, {"mk", 1251},   {"ml", 65001}, {"mn", 1251},   {"mni", 65001},
      {"mr", 65001},  {"mt", 65001}, {"my", 65001},  {"ne", 65001}, {"or", 65001},  {"pl", 1250},
      {"ps", 65001},  {"ro", 1250},  {"ru", 1251},   {"sa", 65001}, {"sah", 1251},  {"si", 65001},
      {"sk", 1250},   {"sl", 1250},  {"sq", 1250},   {"st", 65001}, {"syr", 65001}, {"ta", 65001},
      {"te", 65001},  {"tg", 1251},  {"th", 874},    {"ti", 65001}, {"tk", 1250},   {"tr", 1254},
      {"ts", 65001},  {"tt", 1251},  {"ug", 1256},   {"uk", 1251},  {"ur", 1256},   {"uz", 1251},
      {"ve", 65001},  {"vi", 1258},  {"zh", 936},
  };
  return table;
}

const std::map<std::string, unsigned>& LocaleCodePages() {
  static const std::map<std::string, unsigned> table = {
      {"ar_IN", 1252},
      {"ar_SD", 1252},
      {"ar_SS", 1252},
      {"be_BY@latin", 1252},
      {"bo_CN", 65001},
      {"el_CY", 1252},
      {"ks_IN@devanagari", 65001},
      {"om_ET", 65001},
      {"pa_IN", 65001},
      {"ru_UA", 1252},
      {"sd_IN@devanagari", 65001},
      {"so_SO", 65001},
      {"sq_MK", 1252},
      {"sr_RS@latin", 1250},
      {"tr_CY", 1252},
      {"uz_UZ", 1252},
      {"zh_HK", 950},
      {"zh_TW", 950},
  };
  return table;
}

// What keeps one component of a path from being a Windows file name; empty when nothing.
std::string ComponentFault(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "is not a file name";
  if (name.find('"') != std::string::npos) return "holds a double quote";
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || std::strchr("<>:|?*\\", c))
      return "holds a character windows does not allow in names";
  // Windows drops trailing blanks and dots, so such a name would reach another file.
  if (name.back() == ' ' || name.back() == '.') return "ends in a blank or dot";
  if (IsWindowsDeviceName(name)) return "is a windows device name";
  return {};
}

std::string Canonical(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// Converts between two character sets; false when a character has no place in the target.
bool Convert(const std::string& text, const std::string& to, const std::string& from,
             std::string& out) {
  out.clear();
  if (text.empty()) return true;
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = text;
  char* src = in.data();
  size_t left = in.size();
  std::string buffer(in.size() * 4 + 16, '\0');
  char* dst = buffer.data();
  size_t room = buffer.size();
  const bool ok = iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &dst, &room) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (ok) out.assign(buffer.data(), buffer.size() - room);
  return ok;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

bool IsUtf8(const std::string& charset) {
  return SameText(charset, "UTF-8") || SameText(charset, "UTF8");
}

}  // namespace

std::string FindWineLauncher() {
  const std::string chosen = Env("VAREVUDOV_WINE");
  return FindOnPath(chosen.empty() ? std::string("wine") : chosen);
}

std::string WinePrefix() {
  const std::string prefix = Env("WINEPREFIX");
  if (!prefix.empty()) return prefix;
  const std::string home = Env("HOME");
  return home.empty() ? std::string() : home + "/.wine";
}

unsigned AnsiCodePageForLocale(const std::string& unixLocale) {
  if (unixLocale.empty() || unixLocale == "C" || unixLocale == "POSIX") return 1252;
  // language[_COUNTRY][.charset][@modifier]; the charset plays no part.
  std::string name = unixLocale;
  const size_t dot = name.find('.');
  if (dot != std::string::npos) {
    const size_t at = name.find('@', dot);
    name = name.substr(0, dot) + (at == std::string::npos ? std::string() : name.substr(at));
  }
  const auto& locales = LocaleCodePages();
  auto hit = locales.find(name);
  if (hit == locales.end()) hit = locales.find(name.substr(0, name.find('@')));
  if (hit != locales.end()) return hit->second;
  const auto& languages = LanguageCodePages();
  auto language = languages.find(name.substr(0, name.find_first_of("_@")));
  return language != languages.end() ? language->second : 1252;
}

unsigned WineAnsiCodePage() {
  std::string name = CtypeLocaleName();
  // Wine looks at LC_ALL itself when the locale came out as C.
  if (name == "C") name = Env("LC_ALL");
  return AnsiCodePageForLocale(name);
}

std::string WineUnixCharset() {
  locale_t all = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (!all) return "ANSI_X3.4-1968";
  const std::string charset = nl_langinfo_l(CODESET, all);
  freelocale(all);
  return charset;
}

std::vector<std::pair<char, std::string>> ReadDosDevices(const std::string& prefix) {
  std::vector<std::pair<char, std::string>> drives;
  if (prefix.empty()) return drives;
  const std::string folder = prefix + "/dosdevices";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0])))
      continue;
    std::string target = std::filesystem::read_symlink(entry.path(), ec).string();
    if (ec || target.empty()) continue;
    if (target.front() != '/') target = folder + "/" + target;
    const std::string canonical = Canonical(target);
    if (!canonical.empty())
      drives.emplace_back(static_cast<char>(std::tolower(static_cast<unsigned char>(name[0]))),
                          canonical);
  }
  std::sort(drives.begin(), drives.end());
  return drives;
}

WindowsNames::WindowsNames(std::vector<std::pair<char, std::string>> drives, unsigned codePage,
                           std::string unixCharset)
    : drives_(std::move(drives)), codePage_(codePage), unixCharset_(std::move(unixCharset)) {}

WindowsNames WindowsNames::ForEnvironment() {
  return WindowsNames(ReadDosDevices(WinePrefix()), WineAnsiCodePage(), WineUnixCharset());
}

bool WindowsNames::Path(const std::string& given, std::string& out, std::string* why) const {
  auto refuse = [why](const std::string& name, const std::string& fault) {
    if (why) *why = "\"" + name + "\" " + fault;
    return false;
  };
  if (given.empty() || given.front() != '/') return refuse(given, "is not a whole path");
  std::string path = given;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  // Paths come whole: "." or ".." would make the drive search below skip a folder.
  if (path.find("/./") != std::string::npos || path.find("/../") != std::string::npos ||
      path.ends_with("/.") || path.ends_with("/.."))
    return refuse(given, "is not a whole path");
  // As Wine does it: the deepest folder on the way that is the root of a drive (compared by
  // device and inode, so links count as Wine follows them), the lowest letter first.
  char letter = 'z';
  size_t rootLength = 0;  // how much of path the drive stands for
  bool found = false;
  for (size_t length = path.size(); !found; length = path.rfind('/', length - 1)) {
    const std::string ancestor = length == 0 ? std::string("/") : path.substr(0, length);
    struct stat here {};
    if (stat(ancestor.c_str(), &here) == 0) {
      for (const auto& [drive, root] : drives_) {
        struct stat there {};
        if (stat(root.c_str(), &there) == 0 && there.st_dev == here.st_dev &&
            there.st_ino == here.st_ino) {
          letter = drive;
          rootLength = length;
          found = true;
          break;
        }
      }
    }
    if (length == 0) break;
  }
  std::string result(1, static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  result += ':';
  size_t start = rootLength + 1;
  if (start > path.size()) {
    out = result + "\\";
    return true;
  }
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (!part.empty()) {
      if (const std::string fault = ComponentFault(part); !fault.empty())
        return refuse(part, fault);
      if (!ExactlyAnsi(part))
        return refuse(
            part, "holds a character code page " + std::to_string(codePage_) + " does not have");
      result += '\\';
      result += part;
    }
    start = end + 1;
  }
  out = result;
  return true;
}

bool WindowsNames::ExactlyAnsi(const std::string& text) const {
  // Wine reads arguments and Unix names in the locale's charset (under C as ASCII); the way
  // back from the code page must give the same text, or the program saw another name.
  std::string ansi, back;
  if (!Ansi(text, ansi)) return false;
  if (IsAscii(text)) return true;
  if (!IsUtf8(unixCharset_)) return false;
  const std::string codePage = codePage_ == 65001 ? "UTF-8" : "CP" + std::to_string(codePage_);
  return Convert(ansi, unixCharset_, codePage, back) && back == text;
}

bool WindowsNames::Ansi(const std::string& text, std::string& out) const {
  if (IsAscii(text)) {
    out = text;
    return true;
  }
  if (SameText(unixCharset_, "ANSI_X3.4-1968")) return false;  // Wine reads C as ASCII
  if (codePage_ == 65001) return Convert(text, "UTF-8", unixCharset_, out);
  return Convert(text, "CP" + std::to_string(codePage_), unixCharset_, out);
}

}  // namespace platform
