#pragma once
// A one-entry VKA container written by hand, for entries the packer would never make (names that
// escape the folder, a wrong CRC).
#include <cstdint>
#include <string>

namespace vkatest {

// With entries > 1 every entry (path + its number) shares the one payload; declared, when not -1,
// is the unpacked size each entry claims.
std::string Container(const std::string& path, const std::string& data, uint32_t crc,
                      int entries = 1, int64_t declared = -1);
uint32_t Crc(const std::string& s);

}  // namespace vkatest
