#include "SampleMaps.h"

#include <cmath>
#include <vector>

#include "TgaTestWriter.h"

namespace maptest {
namespace {

tgatest::Tga Header24(int width, int height) {
  tgatest::Tga tga;
  tga.width = static_cast<uint16_t>(width);
  tga.height = static_cast<uint16_t>(height);
  tga.data.reserve(static_cast<size_t>(width) * height * 3);
  return tga;
}

}  // namespace

std::string Info(int players, const std::string& name) {
  return "HeaderInfo\r\n{\r\n" + (name.empty() ? "" : "  Name = \"" + name + "\",\r\n") +
         "  MaxPlayers = " + std::to_string(players) + ",\r\n}\r\n";
}

Files DesertFiles(const std::string& base) {
  Files files = {
      {base + ".vkb", "VKB scenario of " + base + std::string(3000, 'v')},
      {base + ".info", Info(4)},
      {base + ".scar", "-- script\r\n"},
      {base + ".tga", "loading image"},
  };
  const char* images[] = {"map base", "map slots", "minimap", "tml", "tty"};
  for (size_t i = 0; i < kImageEndings.size(); ++i)
    files.push_back({base + kImageEndings[i], images[i]});
  return files;
}

std::string Vkb(size_t size, uint32_t seed) {
  std::string out;
  out.reserve(size);
  uint32_t r = seed | 1;
  while (out.size() < size) {
    r = r * 1664525u + 1013904223u;
    out += "ENTITY " + std::to_string(r % 4096) + " POS " + std::to_string((r >> 12) % 1024) + " " +
           std::to_string((r >> 22) % 1024) + ";";
    out.push_back(static_cast<char>(r >> 24));
  }
  out.resize(size);
  return out;
}

std::string TerrainTga(int width, int height, uint32_t seed) {
  tgatest::Tga tga = Header24(width, height);
  std::string& out = tga.data;
  uint32_t noise = seed | 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int n = static_cast<int>(noise >> 29);
      out.push_back(static_cast<char>((x * 255 / width + n) & 0xFF));        // blue
      out.push_back(static_cast<char>((96 + y * 127 / height + n) & 0xFF));  // green
      out.push_back(static_cast<char>((((x ^ y) >> 3) * 7 + seed) & 0xFF));  // red
    }
  }
  return tga.Bytes();
}

// Value noise over a few octaves, coloured in flat bands from deep water to rock, with the start
// places marked. Flat bands keep the packages small.
std::string Minimap(int size, int players, uint32_t seed) {
  const int cells = 9;
  std::vector<double> lattice(static_cast<size_t>(cells * cells * 3));
  uint32_t r = seed | 1;
  for (double& v : lattice) {
    r = r * 1664525u + 1013904223u;
    v = (r >> 8) / 16777216.0;
  }
  auto octave = [&](int o, double x, double y) {
    const int n = 2 << o;  // 2, 4, 8 cells across
    const double fx = x * n, fy = y * n;
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = fx - ix, ty = fy - iy;
    auto at = [&](int cx, int cy) {
      return lattice[static_cast<size_t>((o * cells + cy) * cells + cx)];
    };
    const double top = at(ix, iy) * (1 - tx) + at(ix + 1, iy) * tx;
    const double bottom = at(ix, iy + 1) * (1 - tx) + at(ix + 1, iy + 1) * tx;
    return top * (1 - ty) + bottom * ty;
  };
  struct Band {
    double upTo;
    unsigned char b, g, r;
  };
  const Band bands[] = {{0.36, 120, 50, 20}, {0.43, 170, 100, 40}, {0.47, 120, 190, 210},
                        {0.62, 50, 140, 70}, {0.74, 40, 110, 50},  {0.84, 70, 100, 120},
                        {2.0, 210, 215, 215}};
  tgatest::Tga tga = Header24(size, size);
  tga.descriptor = 0x20;  // top-left origin
  std::string& out = tga.data;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double u = static_cast<double>(x) / size, v = static_cast<double>(y) / size;
      const double h = 0.55 * octave(0, u, v) + 0.3 * octave(1, u, v) + 0.15 * octave(2, u, v);
      const Band* band = bands;
      while (h > band->upTo) ++band;
      out.push_back(static_cast<char>(band->b));
      out.push_back(static_cast<char>(band->g));
      out.push_back(static_cast<char>(band->r));
    }
  }
  // Start places: small red squares on a circle.
  for (int p = 0; p < players; ++p) {
    const double angle = 6.2831853 * p / players;
    const int cx = static_cast<int>(size * (0.5 + 0.33 * std::cos(angle)));
    const int cy = static_cast<int>(size * (0.5 + 0.33 * std::sin(angle)));
    for (int y = cy - 3; y <= cy + 3; ++y)
      for (int x = cx - 3; x <= cx + 3; ++x)
        if (x >= 0 && y >= 0 && x < size && y < size) {
          const size_t at = (static_cast<size_t>(y) * size + x) * 3;
          out[at] = 30;
          out[at + 1] = 30;
          out[at + 2] = static_cast<char>(220);
        }
  }
  return tga.Bytes();
}

Files MapFiles(const std::string& name, int players, int imageSize, size_t vkbSize, uint32_t seed) {
  Files files = {
      {name + ".vkb", Vkb(vkbSize, seed)},
      {name + ".info", Info(players, name)},
      {name + ".scar", "-- " + name + " script\r\nfunction OnInit()\r\nend\r\n"},
      {name + ".tga", TerrainTga(imageSize, imageSize / 2, seed + 1)},
  };
  for (size_t i = 0; i < kImageEndings.size(); ++i)
    files.push_back({name + kImageEndings[i],
                     TerrainTga(imageSize, imageSize, seed + 2 + static_cast<uint32_t>(i))});
  return files;
}

Files SampleMap(const std::string& name, int players, size_t vkbSize, uint32_t seed) {
  Files files = MapFiles(name, players, 64, vkbSize, seed);
  for (auto& [file, data] : files)
    if (file == name + "_mm.tga") data = Minimap(192, players, seed);
  return files;
}

}  // namespace maptest
