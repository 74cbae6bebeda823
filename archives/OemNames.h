#pragma once
// ZIP names in the DOS (OEM) code page 437: which archives store them so, and their UTF-8 form.
// Shared by the directory reader and the unzip stand-in, so a file lands under the very name the
// directory lists.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ZipNames {

// Decided by the first central directory entry, as the directory reader does: made by a DOS,
// OS/2 (HPFS) or version 5.0 NTFS host.
inline bool OemHost(uint16_t madeByVersion) {
  const int host = madeByVersion >> 8;
  const int version = madeByVersion & 0xFF;
  return host == 0 || host == 6 || (host == 11 && version == 50);
}

// Names flagged as UTF-8 (general-purpose bit 11) are never in the OEM code page.
inline bool ConvertName(bool oemArchive, uint16_t generalFlags) {
  return oemArchive && (generalFlags & 0x0800) == 0;
}

// The upper half of code page 437, in UTF-8.
inline const std::array<std::string_view, 128>& Cp437Table() {
  static constexpr std::string_view kUpper =
      "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█"
      "▄▌"
      "▐▀"
      "αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00A0";
  static const std::array<std::string_view, 128> table = [] {
    std::array<std::string_view, 128> t{};
    size_t pos = 0;
    for (auto& entry : t) {
      const auto lead = static_cast<uint8_t>(kUpper[pos]);
      const size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      entry = kUpper.substr(pos, len);
      pos += len;
    }
    return t;
  }();
  return table;
}

inline std::string OemToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80)
      out += c;
    else
      out += Cp437Table()[byte - 0x80];
  }
  return out;
}

}  // namespace ZipNames
