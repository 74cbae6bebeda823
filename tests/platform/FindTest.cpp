#include <fcntl.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/Strings.h"

namespace {

using platform::MatchesMask;

TEST(MatchesMask, FollowsTheWindowsWildcardRulesIgnoringCase) {
  EXPECT_TRUE(MatchesMask("Desert.vkb", "*.VKB"));
  EXPECT_TRUE(MatchesMask("desert.vkb", "DESERT.vkb"));
  EXPECT_FALSE(MatchesMask("Desert.vkb.bak", "*.vkb"));
  EXPECT_FALSE(MatchesMask("Desertvkb", "*.vkb"));
  EXPECT_TRUE(MatchesMask(".vkb", "*.vkb"));
  // "*.*" and "*" match every name, also one without a dot.
  EXPECT_TRUE(MatchesMask("README", "*.*"));
  EXPECT_TRUE(MatchesMask("README", "*"));
  EXPECT_TRUE(MatchesMask(".", "*.*"));
  // '?' is exactly one character.
  EXPECT_TRUE(MatchesMask("map1.tga", "map?.tga"));
  EXPECT_FALSE(MatchesMask("map12.tga", "map?.tga"));
  // Several stars need backtracking.
  EXPECT_TRUE(MatchesMask("a_map_base_map_base.tga", "*_map_base.tga"));
  EXPECT_TRUE(MatchesMask("xaybzc", "*a*b*c"));
  EXPECT_FALSE(MatchesMask("xaybz", "*a*b*c"));
  EXPECT_TRUE(MatchesMask("Desert_mm.tga", "desert_MM.TGA"));
  EXPECT_FALSE(MatchesMask("Desert_mm.tga", ""));
}

// Beyond ASCII, case is ignored as Windows ignores it, for names that are UTF-8; the bytes of any
// other name compare ignoring ASCII case only.
TEST(MatchesMask, IgnoresCaseBeyondAscii) {
  const struct {
    const char *name, *mask;
    bool matches;
  } cases[] = {
      {"WÜSTE_MM.TGA", "wüste_mm.tga", true},
      {"ΣΟΦΊΑ.vkb", "σοφία.VKB", true},
      {"Москва.info", "МОСКВА.*", true},
      {"Straße.vkb", "STRASSE.vkb", false},     // simple folding: one letter stays one letter
      {"Wüste.vkb", "W?ste.vkb", true},         // '?' is one letter, not one byte
      {"W\xdcSTE.tga", "w\xfcste.tga", false},  // not UTF-8: only ASCII folds
      {"W\xfcSTE.tga", "w\xfcste.tga", true},
      {"W\xfcste.tga", "wüste.tga", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name;
  EXPECT_EQ(platform::LowerCase("WÜSTE.VKB"),
            "w\xc3\x9cste.vkb");  // what we write stays ASCII lower
}

class Find : public ::testing::Test {
 protected:
  void SetUp() override {
    vvtest::WriteFile(dir / "Desert.vkb", "12345");
    vvtest::WriteFile(dir / "README", "");
    vvtest::WriteFile(dir / ".hidden", "");
    ASSERT_TRUE(platform::CreateDir(dir / "Maps"));
  }

  // name -> attributes of every entry a search yields.
  static std::map<std::string, uint32_t> All(const std::string& pattern) {
    std::map<std::string, uint32_t> found;
    platform::FindData data;
    platform::FindHandle handle = platform::FindFirstFile(pattern, data);
    if (handle == platform::kInvalidFindHandle) return found;
    do found[data.name] = data.attributes;
    while (platform::FindNextFile(handle, data));
    EXPECT_EQ(platform::LastFindError(), platform::kErrorNoMoreFiles);
    platform::FindClose(handle);
    return found;
  }

  vvtest::TempDir dir;
};

TEST_F(Find, ReturnsEveryMatchWithItsAttributes) {
  auto all = All(dir / "*.*");
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all["."] & (platform::faDirectory | platform::faHidden), platform::faDirectory);
  EXPECT_EQ(all[".."] & (platform::faDirectory | platform::faHidden), platform::faDirectory);
  EXPECT_EQ(all["Maps"] & platform::faDirectory, platform::faDirectory);
  EXPECT_EQ(all[".hidden"] & platform::faHidden, platform::faHidden);
  EXPECT_EQ(all["README"] & (platform::faDirectory | platform::faHidden), 0u);
  EXPECT_EQ(all["Desert.vkb"] & (platform::faDirectory | platform::faHidden), 0u);

  EXPECT_EQ(All(dir / "*.VKB").size(), 1u);
  EXPECT_EQ(All(dir / "*.VKB").count("Desert.vkb"), 1u);
  // The folder part is found ignoring case as well.
  EXPECT_EQ(All(platform::ExtractFileDir(dir.path()) + "/" +
                platform::UpperCase(platform::ExtractFileName(dir.path())) + "/maps*")
                .count("Maps"),
            1u);
}

TEST_F(Find, FillsSizeAndTimeOfTheEntry) {
  const struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "Desert.vkb").c_str(), times, 0), 0);
  platform::FindData data;
  platform::FindHandle handle = platform::FindFirstFile(dir / "desert.vkb", data);
  ASSERT_NE(handle, platform::kInvalidFindHandle);
  EXPECT_EQ(data.name, "Desert.vkb");
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.lastWrite, 1500000000);
  EXPECT_FALSE(platform::FindNextFile(handle, data));
  platform::FindClose(handle);
}

TEST_F(Find, ReportsWhyNothingWasFound) {
  platform::FindData data;
  EXPECT_EQ(platform::FindFirstFile(dir / "*.zip", data), platform::kInvalidFindHandle);
  EXPECT_EQ(platform::LastFindError(), platform::kErrorFileNotFound);
  EXPECT_EQ(platform::FindFirstFile(dir / "missing/*.*", data), platform::kInvalidFindHandle);
  EXPECT_EQ(platform::LastFindError(), platform::kErrorPathNotFound);

  // A closed or never opened handle yields nothing.
  platform::FindHandle handle = platform::FindFirstFile(dir / "*.*", data);
  ASSERT_NE(handle, platform::kInvalidFindHandle);
  platform::FindClose(handle);
  EXPECT_FALSE(platform::FindNextFile(handle, data));
  EXPECT_FALSE(platform::FindNextFile(platform::kInvalidFindHandle, data));
}

}  // namespace
