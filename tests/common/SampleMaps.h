#pragma once
// The files of a map as the packages carry them: scenario (VKB), info, script, loading image and
// the five map images. Small stand-in contents for the tests, deterministic realistic-looking
// ones (noise terrain, a minimap with start places) for the benches and the bundled samples.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ZipWriter.h"

namespace maptest {

using ziptest::Files;

// The five images besides the loading image, by the endings of their names.
inline constexpr std::array<const char*, 5> kImageEndings = {"_map_base.tga", "_map_slots.tga",
                                                             "_mm.tga", "_tml.tga", "_tty.tga"};

// An info file; the name line only when a name is given.
std::string Info(int players, const std::string& name = "");

// The files of a test map: VKB, info with 4 players, scar, loading image and five images, each
// with short placeholder bytes.
Files DesertFiles(const std::string& base = "desert");

// Scenario-like bytes: records of text and numbers with some randomness.
std::string Vkb(size_t size, uint32_t seed);
// An uncompressed 24-bit TGA with a terrain-like picture: smooth gradients with some noise.
std::string TerrainTga(int width, int height, uint32_t seed);
// A 24-bit TGA minimap that looks like a map, with the players' start places marked.
std::string Minimap(int size, int players, uint32_t seed);

// A bench map: a VKB of vkbSize bytes and images imageSize wide.
Files MapFiles(const std::string& name, int players, int imageSize, size_t vkbSize, uint32_t seed);
// A small map for the bundled samples, with a minimap that looks like one.
Files SampleMap(const std::string& name, int players, size_t vkbSize, uint32_t seed);

}  // namespace maptest
