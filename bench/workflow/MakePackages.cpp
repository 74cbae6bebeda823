// Writes map packages for the bench and the bundled samples:
//   make-packages samples FOLDER     the small packages committed under samples/
//   make-packages bench FOLDER N     N packages: 1 MB VKB, info, scar, loading image and five
//                                    512 x 512 TGA images each
//   make-packages big FOLDER MB      one package whose VKB is MB megabytes (stored, streamed)
#include <archive.h>
#include <archive_entry.h>

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

void Samples(const std::string& folder) {
  WriteZip(folder + "/desert.zip", MapFiles("desert", 4, 64, 4096, 11));
  // Two maps in one package, six players each.
  Files twins = MapFiles("north", 6, 64, 2048, 21);
  for (auto& file : MapFiles("south", 6, 64, 2048, 31)) twins.push_back(file);
  WriteZip(folder + "/twin-maps.zip", twins);
  // A RAR package that keeps its map in a subfolder, with a blank in the map's name.
  std::vector<rartest::Item> items;
  for (const auto& [name, data] : MapFiles("Big Hill", 2, 64, 3072, 41))
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
