#include "TgaTestWriter.h"

namespace tgatest {

namespace {

void Put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}

// Deterministic pixel bytes that mix runs and raw stretches.
std::string Pattern(size_t pixels, size_t bytesPerPixel, uint32_t seed) {
  std::string out;
  uint32_t state = seed;
  for (size_t i = 0; i < pixels; ++i) {
    if (i % 7 < 3) state = state * 1103515245u + 12345u;
    for (size_t b = 0; b < bytesPerPixel; ++b) out += char((state >> (8 * b + 3)) & 0xFF);
  }
  return out;
}

}  // namespace

std::string PackPixels(const std::string& pixels, size_t bpp) {
  std::string out;
  const size_t n = pixels.size() / bpp;
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 &&
           pixels.compare(i * bpp, bpp, pixels, (i + run) * bpp, bpp) == 0)
      ++run;
    if (run > 1) {
      out += RunPacket(run, pixels.substr(i * bpp, bpp));
      i += run;
    } else {
      size_t raw = 1;
      while (i + raw < n && raw < 128 &&
             !(i + raw + 1 < n &&
               pixels.compare((i + raw) * bpp, bpp, pixels, (i + raw + 1) * bpp, bpp) == 0))
        ++raw;
      out += RawPacket(pixels.substr(i * bpp, raw * bpp), bpp);
      i += raw;
    }
  }
  return out;
}

std::string Tga::Bytes() const {
  std::string s;
  s += char(id.size());
  s += char(colorMapType);
  s += char(imageType);
  Put16(s, cmapStart);
  Put16(s, cmapLength);
  s += char(cmapDepth);
  Put16(s, xOrigin);
  Put16(s, yOrigin);
  Put16(s, width);
  Put16(s, height);
  s += char(pixelDepth);
  s += char(descriptor);
  return s + id + colorMap + data;
}

std::string SolidTga(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  Tga tga;
  tga.width = static_cast<uint16_t>(width);
  tga.height = static_cast<uint16_t>(height);
  const char pixel[] = {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
  tga.data = Repeat(std::string(pixel, 3), static_cast<size_t>(width) * height);
  return tga.Bytes();
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += char(v);
  return s;
}

std::string Repeat(const std::string& unit, size_t times) {
  std::string s;
  for (size_t i = 0; i < times; ++i) s += unit;
  return s;
}

std::string RunPacket(size_t count, const std::string& pixel) {
  return char(0x80 + count - 1) + pixel;
}

std::string RawPacket(const std::string& pixels, size_t bytesPerPixel) {
  return char(pixels.size() / bytesPerPixel - 1) + pixels;
}

std::vector<std::pair<std::string, std::string>> SeedCorpus() {
  std::vector<std::pair<std::string, std::string>> seeds;
  const uint16_t w = 37, h = 11;
  // True colour, raw and run-length, every depth and descriptor.
  for (uint8_t depth : {15, 16, 24, 32}) {
    for (uint8_t type : {2, 10}) {
      for (uint8_t desc : {0x00, 0x10, 0x20, 0x30}) {
        Tga t;
        t.imageType = type;
        t.width = w;
        t.height = h;
        t.pixelDepth = depth;
        t.descriptor = uint8_t(desc | (depth == 32 ? 8 : 0));
        const size_t bpp = (depth + 7) / 8;
        const std::string pixels = Pattern(size_t(w) * h, bpp, depth * 31u + type + desc);
        t.data = type == 10 ? PackPixels(pixels, bpp) : pixels;
        seeds.emplace_back("tc" + std::to_string(depth) + "_t" + std::to_string(type) + "_d" +
                               std::to_string(desc) + ".tga",
                           t.Bytes());
      }
    }
  }
  // Colour-mapped with every map depth, a non-zero first index and an image ID.
  for (uint8_t mapDepth : {15, 16, 24, 32}) {
    for (uint8_t type : {1, 9}) {
      Tga t;
      t.colorMapType = 1;
      t.imageType = type;
      t.cmapStart = mapDepth == 24 ? 3 : 0;
      t.cmapLength = 40;
      t.cmapDepth = mapDepth;
      t.colorMap = Pattern(40, (mapDepth + 7) / 8, mapDepth);
      t.width = w;
      t.height = h;
      t.pixelDepth = 8;
      t.id = "seed";
      std::string indices = Pattern(size_t(w) * h, 1, type);
      for (char& c : indices) c = char(uint8_t(c) % 48);
      t.data = type == 9 ? PackPixels(indices, 1) : indices;
      seeds.emplace_back("cm" + std::to_string(mapDepth) + "_t" + std::to_string(type) + ".tga",
                         t.Bytes());
    }
  }
  // Grey, raw and run-length.
  for (uint8_t type : {3, 11}) {
    Tga t;
    t.imageType = type;
    t.width = w;
    t.height = h;
    t.pixelDepth = 8;
    t.descriptor = 0x20;
    const std::string pixels = Pattern(size_t(w) * h, 1, type);
    t.data = type == 11 ? PackPixels(pixels, 1) : pixels;
    seeds.emplace_back("grey_t" + std::to_string(type) + ".tga", t.Bytes());
  }
  // Damaged: packets across rows and past the last pixel, truncated data, long colour map.
  {
    Tga t;
    t.imageType = 10;
    t.width = 3;
    t.height = 2;
    t.data = RunPacket(5, Bytes({1, 2, 3})) + RawPacket(Repeat(Bytes({9, 8, 7}), 4), 3);
    seeds.emplace_back("rle_across_rows.tga", t.Bytes());
  }
  {
    Tga t;
    t.imageType = 9;
    t.colorMapType = 1;
    t.cmapLength = 1200;
    t.cmapDepth = 24;
    t.colorMap = Pattern(1200, 3, 5);
    t.width = 16;
    t.height = 4;
    t.pixelDepth = 8;
    t.data = RunPacket(20, Bytes({250}));
    seeds.emplace_back("long_cmap_truncated.tga", t.Bytes());
  }
  {
    Tga t;
    t.imageType = 0;
    t.width = 2;
    t.height = 2;
    t.id = "no pixels";  // a header alone backs no pixels at all
    seeds.emplace_back("no_image.tga", t.Bytes());
  }
  return seeds;
}

}  // namespace tgatest
