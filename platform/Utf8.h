#pragma once
// UTF-8 encoding of one code point. Header-only, so the stand-ins can use it without linking
// the platform library.
#include <string>

namespace platform {

// Appends c in UTF-8; a value that is no character (a surrogate, or past U+10FFFF) is written
// as replacement instead, which each caller chooses for its readers.
inline void AppendUtf8(std::string& out, char32_t c, char32_t replacement) {
  if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = replacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace platform
