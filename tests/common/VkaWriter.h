#pragma once
// A one-entry VKA container written by hand, for entries the packer would never make (names that
// escape the folder, a wrong CRC).
#include <cstdint>
#include <string>

namespace vkatest {

std::string Container(const std::string& path, const std::string& data, uint32_t crc);
uint32_t Crc(const std::string& s);

}  // namespace vkatest
