// Runs every fuzz seed (and every input kept in the seed folder by earlier fuzz runs) through the
// directory reader; writes the built seeds to that folder for the fuzzer to start from. They fail
// only by a crash, a hang or a sanitizer's report: ZipDirectoryTest checks what is read.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "ZipFuzz.h"

namespace {

namespace fs = std::filesystem;

void RunOne(const std::string& bytes) {
  EXPECT_EQ(ZipFuzzOne(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
}

TEST(ZipFuzzSeeds, EverySeedReadsWithoutHarm) {
  const fs::path folder = VV_ZIP_FUZZ_SEEDS;
  fs::create_directories(folder);
  const std::vector<std::string> seeds = ZipFuzzSeeds();
  ASSERT_GT(seeds.size(), 10u);
  for (size_t i = 0; i < seeds.size(); ++i) {
    SCOPED_TRACE(i);
    RunOne(seeds[i]);
    vvtest::WriteFile((folder / ("seed-" + std::to_string(i) + ".zip")).string(), seeds[i]);
  }
  for (const auto& item : fs::directory_iterator(folder)) {
    SCOPED_TRACE(item.path().string());
    RunOne(vvtest::ReadFile(item.path().string()));
  }
}

TEST(ZipFuzzSeeds, EveryPrefixOfASeedIsHandled) {
  const std::string seed = ZipFuzzSeeds().front();
  for (size_t length = 0; length <= seed.size(); ++length) RunOne(seed.substr(0, length));
}

}  // namespace
