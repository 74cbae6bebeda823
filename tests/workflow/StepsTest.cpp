// The steps that need no extraction: discovery, staging, the TOC script, the batch files and
// the cleanup, each on a work folder laid out by hand.
#include "WorkflowFixture.h"
#include "platform/Exceptions.h"

namespace wftest {
namespace {

using workflow::ConvertWorkflow;

class StepsTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    work = prog + "/$$$";
    platform::CreateDir(work);
  }
  void Put(const Files& files) {
    for (const auto& [name, data] : files) vvtest::WriteFile(work + "/" + name, data);
  }
  uint8_t PlayersOf(const std::string& info) {
    ConvertWorkflow wf(view);
    Put({{"m.vkb", "v"}, {"m.info", info}});
    wf.setHasfiles();
    return wf.State().MaxPlayers;
  }
  std::string work;
};

TEST_F(StepsTest, PlayerCountFromInfoFile) {
  EXPECT_EQ(PlayersOf("HeaderInfo\r\nMaxPlayers = 4,\r\n"), 4);
  EXPECT_EQ(PlayersOf("HeaderInfo\r\nMaxPlayers = 12\r\n"), 12);
  EXPECT_EQ(PlayersOf("headerinfo\nmaxplayers=4"), 4);
  EXPECT_EQ(PlayersOf("HeaderInfo\r\n  MaxPlayers = 6 ;\r\n"), 6);
  // A value that is no integer is skipped like a line without "=", and nothing is raised.
  EXPECT_EQ(PlayersOf("HeaderInfo\r\nMaxPlayers = ,\r\nMaxPlayers\r\nMaxPlayers = 3\r\n"), 3);
  EXPECT_EQ(PlayersOf("HeaderInfo\r\nMaxPlayers = four\r\n"), 0);
  // A 0 goes on to the next such line; the first non-zero value stays.
  EXPECT_EQ(PlayersOf("HeaderInfo\r\nMaxPlayers = 0\r\nMaxPlayers = 8\r\nMaxPlayers = 2\r\n"), 8);
  // Only after the header line.
  EXPECT_EQ(PlayersOf("MaxPlayers = 4\r\nHeaderInfo\r\n"), 0);
  EXPECT_EQ(PlayersOf("MaxPlayers = 4\r\n"), 0);
  // Keys match on their first ten characters.
  EXPECT_EQ(PlayersOf("HeaderInfoBlock\r\nMaxPlayersCount = 5\r\n"), 5);
  EXPECT_EQ(PlayersOf("HeaderInfo\r\nMaxPlayers = 300\r\nMaxPlayers = -2\r\n"), 0);
}

TEST_F(StepsTest, MixedCaseNamesAreFoundAndImagesKeptInLowerCase) {
  ConvertWorkflow wf(view);
  Put({{"Desert.vkb", "v"},
       {"DESERT_MM.TGA", "mm"},
       {"desert.TGA", "l"},
       {"Map.Info", "i"},
       {"x.SCAR", "s"},
       {"Desert_Map_Base.tga", "b"}});
  platform::CreateDir(work + "/folder.vkb");  // a folder is no map
  wf.setHasfiles();
  const auto& s = wf.State();
  EXPECT_TRUE(s.HasFlags.HasVKBFile);
  EXPECT_EQ(s.VKBFileName, "Desert.vkb");
  EXPECT_EQ(s.MapName, "Desert");
  EXPECT_EQ(s.ImageSearchNames[2], "Desert_mm.tga");
  EXPECT_TRUE(s.HasFlags.HasMMFile);
  EXPECT_EQ(s.MMFileName, "desert_mm.tga");
  EXPECT_TRUE(s.HasFlags.HasMapBaseFile);
  EXPECT_EQ(s.MapBaseFileName, "desert_map_base.tga");
  EXPECT_FALSE(s.HasFlags.HasMapSlotsFile);
  EXPECT_TRUE(s.HasFlags.HasLoadingFile);
  EXPECT_EQ(s.InfoFileName, "Map.Info");
  EXPECT_EQ(s.ScarFileName, "x.SCAR");
  EXPECT_EQ(s.MaxPlayers, 0);

  // Staged under the names recorded: images in lower case, the rest as found.
  wf.State().VKAFolder = maps;
  ASSERT_TRUE(wf.CreateMapFolderStructure());
  ASSERT_TRUE(wf.MoveFilesToMapFolder());
  EXPECT_EQ(Tree(prog + "/$map$"),
            (std::vector<std::string>{
                "Scenarios/MP/Desert/Desert.vkb", "Scenarios/MP/Desert/Loading/Desert.tga",
                "Scenarios/MP/Desert/Map.Info", "Scenarios/MP/Desert/desert_map_base.tga",
                "Scenarios/MP/Desert/desert_mm.tga", "Scenarios/MP/Desert/x.SCAR"}));
  EXPECT_EQ(view.progress.size(), 27u);
  // A row without its file still logs both paths, with the (empty) name it holds.
  EXPECT_EQ(view.progress[12], work + "/");
  EXPECT_EQ(view.progress[14], "no map slots file");
  EXPECT_EQ(view.progress[15], work + "/desert_mm.tga");
  // A second staging without cleanup finds the root in place and refuses.
  EXPECT_FALSE(wf.CreateMapFolderStructure());
}

TEST_F(StepsTest, TocScriptWorkedExample) {
  ConvertWorkflow wf(view);
  Put({{"desert.vkb", "v"},
       {"desert.info", "i"},
       {"desert.scar", "s"},
       {"desert_map_base.tga", "b"},
       {"desert_mm.tga", "m"},
       {"desert.tga", "l"}});
  wf.setHasfiles();
  ASSERT_TRUE(wf.CreateTxtFile());
  const std::string f = prog + "/$map$/Scenarios/MP/desert/";
  EXPECT_EQ(vvtest::ReadFile(prog + "/$tmp$.txt"),
            "Archive name=\"desert\"\r\n"
            "TOCStart name=\"desert\" alias=\"Data\" relativeroot=\"\"\r\n"
            "FileSettingsStart  defcompression=\"1\"\r\n"
            "FileSettingsEnd\r\n" +
                f + "desert.vkb\r\n" + f + "desert.info\r\n" + f + "desert.scar\r\n" + f +
                "desert_map_base.tga\r\n" + f + "desert_mm.tga\r\n" + f +
                "Loading/desert.tga\r\n"
                "TOCEnd\r\n");
}

TEST_F(StepsTest, TocScriptWithoutCompanionsAndWithBlankInName) {
  ConvertWorkflow wf(view);
  Put({{"Big Hill.vkb", "v"}});
  wf.setHasfiles();
  ASSERT_TRUE(wf.CreateTxtFile());
  EXPECT_EQ(vvtest::ReadFile(prog + "/$tmp$.txt"),
            "Archive name=\"Big Hill\"\r\n"
            "TOCStart name=\"Big Hill\" alias=\"Data\" relativeroot=\"\"\r\n"
            "FileSettingsStart  defcompression=\"1\"\r\n"
            "FileSettingsEnd\r\n" +
                prog + "/$map$/Scenarios/MP/Big Hill/Big Hill.vkb\r\nTOCEnd\r\n");
  // Checked in the current folder, where archive.exe will look for it.
  platform::SetCurrentFolder(tmp.path());
  EXPECT_FALSE(wf.CreateTxtFile());
}

TEST_F(StepsTest, PackBatchFileSeeksDistinctFinalNameInTarget) {
  ConvertWorkflow wf(view);
  auto& s = wf.State();
  s.VKAFolder = maps;
  s.MapName = "desert";
  s.MaxPlayers = 4;
  ASSERT_TRUE(wf.CreateVKB2VKABatFile());
  EXPECT_EQ(s.MapName, "desert (4p)");
  EXPECT_EQ(vvtest::ReadFile(prog + "/$$$.bat"), "@echo off\r\narchive.exe -c $tmp$.txt -a \"" +
                                                     maps + "/desert (4p).vka\" -r $map$\r\n");

  // An archive of the final name already in the target is neither overwritten nor reused.
  vvtest::WriteFile(maps + "/desert (4p).vka", "old");
  vvtest::WriteFile(maps + "/desert---[ 1 ] (4p).vka", "old");
  vvtest::WriteFile(maps + "/desert.vka", "no suffix, no clash");
  s.MapName = "desert";
  wf.CreateVKB2VKABatFile();
  EXPECT_EQ(s.MapName, "desert---[ 1 ]---[ 2 ] (4p)");

  s.MapName = "plain";
  s.MaxPlayers = 0;
  wf.CreateVKB2VKABatFile();
  EXPECT_EQ(s.MapName, "plain");
}

TEST_F(StepsTest, UnpackBatchFileKeepsBlanksInsideQuotes) {
  ConvertWorkflow wf(view);
  wf.State().MapFilePath = input + "/my maps/desert.vka";
  ASSERT_TRUE(wf.CreateVKA2VKBBatFile());
  EXPECT_EQ(vvtest::ReadFile(prog + "/$$$1.bat"), "@echo off\r\narchive.exe -a \"" + input +
                                                      "/my maps/desert.vka\" -e \"" + prog +
                                                      "/$$$\"\r\n");
}

TEST_F(StepsTest, BatchFilesDoubleEveryPercent) {
  // "%%" is the batch language's "%"; a lone one would be dropped or start a variable.
  ConvertWorkflow wf(view);
  auto& s = wf.State();
  s.VKAFolder = tmp / "maps 100%";
  s.MapName = "50%off%%";
  s.MaxPlayers = 2;
  ASSERT_TRUE(wf.CreateVKB2VKABatFile());
  EXPECT_EQ(vvtest::ReadFile(prog + "/$$$.bat"),
            "@echo off\r\narchive.exe -c $tmp$.txt -a \"" + tmp.path() +
                "/maps 100%%/50%%off%%%% (2p).vka\" -r $map$\r\n");
  s.MapFilePath = input + "/%PATH%/d.vka";
  ASSERT_TRUE(wf.CreateVKA2VKBBatFile());
  EXPECT_EQ(
      vvtest::ReadFile(prog + "/$$$1.bat"),
      "@echo off\r\narchive.exe -a \"" + input + "/%%PATH%%/d.vka\" -e \"" + prog + "/$$$\"\r\n");
}

TEST_F(StepsTest, CleanupKeepsWorkFolderCleanupAllRemovesIt) {
  ConvertWorkflow wf(view);
  Put({{"other.vkb", "v"}});
  for (const char* name : {"$tmp$.txt", "$$$.bat", "$$$1.bat", "$$$$.bat", "rararudazudada.ini"})
    vvtest::WriteFile(prog + "/" + name, "x");
  platform::CreateDir(prog + "/$map$");
  platform::CreateDir(prog + "/$map$/Scenarios");
  platform::CreateDir(prog + "/Scenarios");
  platform::SetCurrentFolder(tmp.path());
  wf.Cleanup();
  EXPECT_EQ(platform::CurrentFolder(), prog);
  for (const char* name : {"$tmp$.txt", "$$$.bat", "$$$1.bat", "$$$$.bat"})
    EXPECT_FALSE(platform::FileExists(prog + "/" + name)) << name;
  EXPECT_FALSE(platform::DirectoryExists(prog + "/$map$"));
  EXPECT_TRUE(platform::FileExists(work + "/other.vkb"));
  EXPECT_TRUE(platform::FileExists(prog + "/rararudazudada.ini"));
  EXPECT_TRUE(platform::DirectoryExists(prog + "/Scenarios"));
  wf.CleanupAll();
  EXPECT_FALSE(platform::DirectoryExists(work));
  wf.CleanupAll();  // nothing left to remove: returns normally
  EXPECT_EQ(platform::CurrentFolder(), prog);
}

TEST_F(StepsTest, DeleteFolderTreeTakesLongPathsAndNeverFollowsLinks) {
  std::string deep = tmp / "long";
  platform::CreateDir(deep);
  while (deep.size() < 400) {
    deep += "/" + std::string(40, 'd');
    ASSERT_TRUE(platform::CreateDir(deep));
  }
  vvtest::WriteFile(deep + "/f", "x");
  vvtest::WriteFile(input + "/keep", "user file");
  symlink(input.c_str(), (deep + "/link").c_str());
  EXPECT_TRUE(workflow::DeleteFolderTree(tmp / "long"));
  EXPECT_FALSE(platform::DirectoryExists(tmp / "long"));
  EXPECT_EQ(vvtest::ReadFile(input + "/keep"), "user file");
  EXPECT_TRUE(workflow::DeleteFolderTree(tmp / "missing")) << "nothing left of it";
}

TEST_F(StepsTest, CarriedVkaFilesMoveWithCollisionSuffix) {
  ConvertWorkflow wf(view);
  view.target = maps;
  vvtest::WriteFile(maps + "/mappack.vka", "already there");
  Put({{"mappack.vka", "carried 1"}, {"other.vka", "carried 2"}, {"v1.2 hill.vka", "carried 3"}});
  wf.setHasfiles();
  EXPECT_EQ(vvtest::ReadFile(maps + "/mappack.vka"), "already there");
  EXPECT_EQ(vvtest::ReadFile(maps + "/mappack---[ 1 ].vka"), "carried 1");
  EXPECT_EQ(vvtest::ReadFile(maps + "/other.vka"), "carried 2");
  EXPECT_EQ(vvtest::ReadFile(maps + "/v1.2 hill.vka"), "carried 3");
  EXPECT_FALSE(wf.State().HasFlags.HasVKBFile);
  const auto at = std::find(view.progress.begin(), view.progress.end(), "File : mappack.vka found");
  ASSERT_NE(at, view.progress.end());
  EXPECT_EQ(
      std::vector<std::string>(at, at + 8),
      (std::vector<std::string>{
          "File : mappack.vka found", "Moving file...mappack.vka", "  From : " + prog + "/$$$/",
          "  To   : " + maps, "mappack.vka file move to irv maps folder ok",
          "------------------ [ mappack.vka ] file success ---------------------------", "",
          "File : other.vka found"}));
  EXPECT_EQ(view.created, (std::vector<std::string>{"   -> mappack.vka", "   -> other.vka",
                                                    "   -> v1.2 hill.vka"}));
  EXPECT_EQ(wf.Converted(), 3);
}

TEST_F(StepsTest, CarriedVkaWithoutTargetStaysAndIsReported) {
  ConvertWorkflow wf(view);
  Put({{"mappack.vka", "carried"}});
  wf.setHasfiles();
  EXPECT_EQ(view.progress,
            (std::vector<std::string>{
                "File : mappack.vka found",
                "error - rararudazudada.ini file not found or irv maps directory does not exists !",
                ""}));
  EXPECT_TRUE(platform::FileExists(work + "/mappack.vka"));
  EXPECT_EQ(wf.Failures(), 1);
}

}  // namespace
}  // namespace wftest
