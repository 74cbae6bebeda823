#pragma once
// Names Windows takes for a device rather than a file, in any folder: CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9 (also with the superscript digits), CONIN$ and CONOUT$, in any case,
// with any extension, and with blanks before the dot ("NUL .txt" is NUL). Header only, so the
// Windows archiver stand-in applies the very same rule. Names are UTF-8.
#include <string_view>

namespace platform {

inline bool IsWindowsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  auto same = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      const char c = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
      if (c != b[i]) return false;
    }
    return true;
  };
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (same(stem, device)) return true;
  if (stem.size() < 4 || !(same(stem.substr(0, 3), "COM") || same(stem.substr(0, 3), "LPT")))
    return false;
  const std::string_view digit = stem.substr(3);
  if (digit.size() == 1) return digit[0] >= '1' && digit[0] <= '9';
  return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

}  // namespace platform
