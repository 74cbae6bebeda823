// Writes map packages for the bench and the bundled samples:
//   make-packages samples FOLDER     the small packages committed under samples/
//   make-packages bench FOLDER N     N packages: 1 MB VKB, info, scar, loading image and five
//                                    512 x 512 TGA images each
//   make-packages big FOLDER MB      one package whose VKB is MB megabytes (stored, streamed)
#include <archive.h>
#include <archive_entry.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rar_writer.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

// An uncompressed 24-bit TGA with a terrain-like picture: smooth gradients with some noise.
std::string Tga(int width, int height, uint32_t seed) {
  std::string out(18, '\0');
  out[2] = 2;
  out[12] = static_cast<char>(width & 0xFF);
  out[13] = static_cast<char>(width >> 8);
  out[14] = static_cast<char>(height & 0xFF);
  out[15] = static_cast<char>(height >> 8);
  out[16] = 24;
  out.reserve(18 + static_cast<size_t>(width) * height * 3);
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
  return out;
}

// Scenario-like bytes: records of text and numbers with some randomness.
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

Files MapFiles(const std::string& name, int players, int imageSize, size_t vkbSize, uint32_t seed) {
  Files files = {
      {name + ".vkb", Vkb(vkbSize, seed)},
      {name + ".info", "HeaderInfo\r\n{\r\n  Name = \"" + name +
                           "\",\r\n  MaxPlayers = " + std::to_string(players) + ",\r\n}\r\n"},
      {name + ".scar", "-- " + name + " script\r\nfunction OnInit()\r\nend\r\n"},
      {name + ".tga", Tga(imageSize, imageSize / 2, seed + 1)},
  };
  const char* endings[] = {"_map_base.tga", "_map_slots.tga", "_mm.tga", "_tml.tga", "_tty.tga"};
  for (int i = 0; i < 5; ++i)
    files.push_back({name + endings[i], Tga(imageSize, imageSize, seed + 2 + i)});
  return files;
}

archive* OpenZip(const std::string& path, bool store) {
  archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (store) archive_write_set_format_option(a, "zip", "compression", "store");
  if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK)
    throw std::runtime_error("cannot write " + path);
  return a;
}

void AddHeader(archive* a, const std::string& name, size_t size) {
  archive_entry* e = archive_entry_new();
  archive_entry_set_pathname(e, name.c_str());
  archive_entry_set_filetype(e, AE_IFREG);
  archive_entry_set_perm(e, 0644);
  archive_entry_set_size(e, static_cast<la_int64_t>(size));
  archive_entry_set_mtime(e, 1700000000, 0);
  const int rc = archive_write_header(a, e);
  archive_entry_free(e);
  if (rc != ARCHIVE_OK) throw std::runtime_error(archive_error_string(a));
}

void AddData(archive* a, const std::string& data) {
  if (archive_write_data(a, data.data(), data.size()) != static_cast<la_ssize_t>(data.size()))
    throw std::runtime_error(archive_error_string(a));
}

void CloseZip(archive* a) {
  archive_write_close(a);
  archive_write_free(a);
}

void WriteZip(const std::string& path, const Files& files) {
  archive* a = OpenZip(path, false);
  for (const auto& [name, data] : files) {
    AddHeader(a, name, data.size());
    AddData(a, data);
  }
  CloseZip(a);
}

// One package with a VKB of the given size, written in chunks so the generator stays small too.
void WriteBig(const std::string& path, size_t megabytes) {
  archive* a = OpenZip(path, true);
  AddHeader(a, "giant.vkb", megabytes << 20);
  for (size_t i = 0; i < megabytes; ++i) AddData(a, Vkb(1 << 20, static_cast<uint32_t>(i)));
  Files companions = MapFiles("giant", 8, 256, 0, 7);
  for (size_t i = 1; i < companions.size(); ++i) {
    AddHeader(a, companions[i].first, companions[i].second.size());
    AddData(a, companions[i].second);
  }
  CloseZip(a);
}

// A 24-bit TGA minimap that looks like a map: value noise over a few octaves, coloured in flat
// bands from deep water to rock, with the players' start places marked. Flat bands keep the
// packages small.
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
  std::string out(18, '\0');
  out[2] = 2;
  out[12] = static_cast<char>(size & 0xFF);
  out[13] = static_cast<char>(size >> 8);
  out[14] = static_cast<char>(size & 0xFF);
  out[15] = static_cast<char>(size >> 8);
  out[16] = 24;
  out[17] = 0x20;  // top-left origin
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
          const size_t at = 18 + (static_cast<size_t>(y) * size + x) * 3;
          out[at] = 30;
          out[at + 1] = 30;
          out[at + 2] = static_cast<char>(220);
        }
  }
  return out;
}

// The files of a sample map, with a minimap that looks like one.
Files SampleMap(const std::string& name, int players, size_t vkbSize, uint32_t seed) {
  Files files = MapFiles(name, players, 64, vkbSize, seed);
  for (auto& [file, data] : files)
    if (file == name + "_mm.tga") data = Minimap(192, players, seed);
  return files;
}

void Samples(const std::string& folder) {
  WriteZip(folder + "/desert.zip", SampleMap("desert", 4, 4096, 11));
  // Two maps in one package, six players each.
  Files twins = SampleMap("north", 6, 2048, 21);
  for (auto& file : SampleMap("south", 6, 2048, 31)) twins.push_back(file);
  WriteZip(folder + "/twin-maps.zip", twins);
  // A RAR package that keeps its map in a subfolder, with a blank in the map's name.
  std::vector<rartest::Item> items;
  for (const auto& [name, data] : SampleMap("Big Hill", 2, 3072, 41))
    items.push_back({"Big Hill/" + name, data});
  rartest::SaveVolumes(rartest::WriteRar4(items), folder, "big-hill");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  try {
    if (mode == "samples" && argc == 3) {
      Samples(argv[2]);
    } else if (mode == "bench" && argc == 4) {
      const int count = std::atoi(argv[3]);
      for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "map%03d", i);
        WriteZip(std::string(argv[2]) + "/" + name + ".zip",
                 MapFiles(name, 2 + i % 7, 512, 1 << 20, static_cast<uint32_t>(i)));
      }
    } else if (mode == "big" && argc == 4) {
      WriteBig(std::string(argv[2]) + "/giant.zip", static_cast<size_t>(std::atol(argv[3])));
    } else {
      std::fprintf(stderr,
                   "usage: make-packages samples FOLDER | bench FOLDER N | big FOLDER MB\n");
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-packages: %s\n", e.what());
    return 1;
  }
  return 0;
}
