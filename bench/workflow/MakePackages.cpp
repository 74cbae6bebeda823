// Writes map packages for the bench and the bundled samples:
//   make-packages samples FOLDER     the small packages committed under samples/
//   make-packages bench FOLDER N     N packages: 1 MB VKB, info, scar, loading image and five
//                                    512 x 512 TGA images each
//   make-packages big FOLDER MB      one package whose VKB is MB megabytes (stored, streamed)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "SampleMaps.h"
#include "ZipWriter.h"

namespace {

using maptest::Files;
using maptest::MapFiles;
using maptest::SampleMap;

// A fixed time stamp keeps the packages the same from run to run.
constexpr int64_t kStamp = 1700000000;

void WriteZip(const std::string& path, const Files& files) {
  ziptest::WriteZip(path, files, {false, kStamp});
}

// One package with a VKB of the given size, written in chunks so the generator stays small too.
void WriteBig(const std::string& path, size_t megabytes) {
  ziptest::ZipFileWriter zip(path, {true, kStamp});
  zip.AddHeader("giant.vkb", megabytes << 20);
  for (size_t i = 0; i < megabytes; ++i)
    zip.AddData(maptest::Vkb(1 << 20, static_cast<uint32_t>(i)));
  Files companions = MapFiles("giant", 8, 256, 0, 7);
  for (size_t i = 1; i < companions.size(); ++i) zip.Add(companions[i].first, companions[i].second);
  zip.Close();
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
