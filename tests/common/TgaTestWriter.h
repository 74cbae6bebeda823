#pragma once
// A small, independent TGA writer for test fixtures: any header, image ID, colour map and
// pixel bytes, plus run-length packet builders. Also the seed corpus for the fuzz target.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tgatest {

struct Tga {
  uint8_t colorMapType = 0;
  uint8_t imageType = 2;
  uint16_t cmapStart = 0;
  uint16_t cmapLength = 0;
  uint8_t cmapDepth = 0;
  uint16_t xOrigin = 0;
  uint16_t yOrigin = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t pixelDepth = 24;
  uint8_t descriptor = 0;
  std::string id;
  std::string colorMap;  // raw entry bytes
  std::string data;      // pixel data, raw or packets

  std::string Bytes() const;
};

// An uncompressed 24-bit image of one colour, bottom-up rows.
std::string SolidTga(int width, int height, uint8_t r = 200, uint8_t g = 120, uint8_t b = 40);

// Little helpers for byte strings.
std::string Bytes(std::initializer_list<int> values);
std::string Repeat(const std::string& unit, size_t times);
// Run packet of count (1..128) copies of one pixel; raw packet of the given pixels.
std::string RunPacket(size_t count, const std::string& pixel);
std::string RawPacket(const std::string& pixels, size_t bytesPerPixel);
// Packets for a whole pixel stream: runs for equal neighbours, raw packets otherwise; packets
// run across rows, as some writers do.
std::string PackPixels(const std::string& pixels, size_t bytesPerPixel);

// Named seed files covering every image type, both origins, colour maps and damaged variants.
std::vector<std::pair<std::string, std::string>> SeedCorpus();

}  // namespace tgatest
