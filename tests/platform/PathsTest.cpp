#include <string>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

TEST(ResolvePath, FindsEachExistingComponentIgnoringCase) {
  vvtest::TempDir dir;
  ASSERT_TRUE(platform::CreateDir(dir / "Maps"));
  ASSERT_TRUE(platform::CreateDir(dir / "Maps/Loading"));
  vvtest::WriteFile(dir / "Maps/Loading/Desert.TGA", "");

  EXPECT_EQ(platform::ResolvePath(dir / "maps/LOADING/desert.tga"),
            dir / "Maps/Loading/Desert.TGA");
  // What does not exist keeps the spelling given, also below it.
  EXPECT_EQ(platform::ResolvePath(dir / "maps/New/Sub/x.TXT"), dir / "Maps/New/Sub/x.TXT");
  EXPECT_EQ(platform::ResolvePath(dir / "MAPS/"), dir / "Maps/");
  EXPECT_EQ(platform::ResolvePath(""), "");

  // Relative to the current folder.
  const std::string previous = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(dir / "MAPS"));
  EXPECT_EQ(platform::CurrentFolder(), dir / "Maps");
  EXPECT_EQ(platform::ResolvePath("loading/desert.tga"), "Loading/Desert.TGA");
  ASSERT_TRUE(platform::SetCurrentFolder(previous));
}

TEST(ResolvePath, PrefersTheExactNameAndRefusesToGuessBetweenTwo) {
  vvtest::TempDir dir;
  vvtest::WriteFile(dir / "Map.vkb", "upper");
  vvtest::WriteFile(dir / "map.vkb", "lower");
  EXPECT_EQ(platform::ResolvePath(dir / "map.vkb"), dir / "map.vkb");
  EXPECT_EQ(platform::ResolvePath(dir / "Map.vkb"), dir / "Map.vkb");
  EXPECT_EQ(platform::ResolvePath(dir / "MAP.VKB"), dir / "MAP.VKB");
  EXPECT_FALSE(platform::FileExists(dir / "MAP.VKB"));
}

TEST(ResolvePath, IgnoresCaseBeyondAscii) {
  vvtest::TempDir dir;
  vvtest::WriteFile(dir / "WÜSTE_MM.TGA", "");
  EXPECT_EQ(platform::ResolvePath(dir / "wüste_mm.tga"), dir / "WÜSTE_MM.TGA");
}

// Under a listing cache, names under its root are looked up in one listing of their folder,
// kept current by what the owner reports, and never answered with a name that is gone.
TEST(ResolvePath, ListingCacheStaysTrueToTheFolder) {
  vvtest::TempDir dir;
  ASSERT_TRUE(platform::CreateDir(dir / "Work"));
  vvtest::WriteFile(dir / "Work/Old.txt", "");
  platform::FolderListingCache cache(dir / "work");
  EXPECT_EQ(platform::ResolvePath(dir / "WORK/old.TXT"), dir / "Work/Old.txt");
  vvtest::WriteFile(dir / "Work/New.txt", "");
  cache.Created(dir / "Work/New.txt");
  cache.Created(dir / "Work/New.txt");  // reported twice, still one name
  EXPECT_EQ(platform::ResolvePath(dir / "work/NEW.txt"), dir / "Work/New.txt");
  ASSERT_EQ(std::remove((dir / "Work/Old.txt").c_str()), 0);
  EXPECT_EQ(platform::ResolvePath(dir / "Work/old.txt"), dir / "Work/old.txt");
  // Outside its root every lookup reads the folder itself, a sibling named alike too.
  vvtest::WriteFile(dir / "Beside.txt", "");
  EXPECT_EQ(platform::ResolvePath(dir / "BESIDE.TXT"), dir / "Beside.txt");
  ASSERT_TRUE(platform::CreateDir(dir / "Work2"));
  EXPECT_EQ(platform::ResolvePath(dir / "WORK2/a.txt"), dir / "Work2/a.txt");
  vvtest::WriteFile(dir / "Work2/A.txt", "");
  EXPECT_EQ(platform::ResolvePath(dir / "WORK2/a.txt"), dir / "Work2/A.txt");
}

TEST(ProgramFolder, IsTheExecutablesFolderUnlessATestMovesIt) {
  const std::string own = platform::ProgramFolder();
  EXPECT_TRUE(platform::FileExists(platform::JoinPath(own, "platform_tests")));
  EXPECT_NE(own.back(), '/');
  platform::SetProgramFolder("/srv/program/");
  EXPECT_EQ(platform::ProgramFolder(), "/srv/program");
  platform::SetProgramFolder("");
  EXPECT_EQ(platform::ProgramFolder(), own);
}

TEST(ProgramFolder, ExecutablePathNamesThisProgram) {
  const std::string executable = platform::ExecutablePath();
  EXPECT_EQ(platform::ExtractFileName(executable), "platform_tests");
  EXPECT_EQ(platform::ExtractFileDir(executable), platform::ExecutableFolder());
}

}  // namespace

TEST(EscapeControlCharacters, KeepsOneLineOneLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name (4p).vka", "plain name (4p).vka"},
      {"a\nb\r\tc\x1b[2J", "a\\nb\\r\\tc\\x1b[2J"},
      {"rub\x7fout", "rub\\x7fout"},
      {"x\xc2\x85y\xe2\x80\xa8z\xe2\x80\xa9", "x\\u0085y\\u2028z\\u2029"},
      {"W\xc3\xbcste C:\\maps", "W\xc3\xbcste C:\\maps"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(platform::EscapeControlCharacters(in), out);
}
