#include "VkaWriter.h"

#include <zlib.h>

namespace vkatest {

std::string Container(const std::string& path, const std::string& data, uint32_t crc, int entries,
                      int64_t declared) {
  auto le = [](uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  };
  auto text = [&](const std::string& t) { return le(t.size(), 2) + t; };
  const uint64_t tableOffset = 32 + data.size();
  std::string out = "VVKA" + le(1, 2) + le(0, 2) + le(tableOffset, 8) +
                    le(static_cast<uint64_t>(entries), 4) + std::string(12, '\0');
  out += data;
  out += text("a") + text("a") + text("Data");
  const uint64_t size = declared < 0 ? data.size() : static_cast<uint64_t>(declared);
  for (int i = 0; i < entries; ++i)
    out += text(entries == 1 ? path : path + std::to_string(i)) + le(0, 1) + le(0, 1) + le(32, 8) +
           le(data.size(), 8) + le(size, 8) + le(crc, 4);
  return out;
}

uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

}  // namespace vkatest
