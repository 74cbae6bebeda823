// A Windows archive.exe in the program folder, without starting Wine: the kind decided at the
// start-up check, the scripts in the form the tool reads, refused names, the missing launcher.
#include <unistd.h>

#include "WorkflowFixture.h"

namespace wftest {
namespace {

using vvtest::ScopedEnv;
using workflow::ArchiverKind;
using workflow::ConvertWorkflow;

// archive.exe is an MZ file; "Wine" is /bin/true, so a run packs nothing. The prefix maps D: to
// the temporary folder, so every path of the test has a known Windows form.
class WindowsArchiverTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    platform::DeleteFile(prog + "/archive.exe");
    vvtest::WriteFile(prog + "/Archive.exe", std::string("MZ\x90\0", 4));
    platform::CreateDir(tmp / "pfx");
    platform::CreateDir(tmp / "pfx/dosdevices");
    symlink(tmp.path().c_str(), (tmp / "pfx/dosdevices/d:").c_str());
    symlink("/", (tmp / "pfx/dosdevices/z:").c_str());
  }
  ScopedEnv wine_{"VAREVUDOV_WINE", "/bin/true"};
  ScopedEnv prefix_{"WINEPREFIX", tmp / "pfx"};
  ScopedEnv charset_{"LC_ALL", "C.UTF-8"};  // Western code page 1252, UTF-8 names
};

TEST_F(WindowsArchiverTest, KindIsDecidedByTheStartUpCheck) {
  ConvertWorkflow wf(view);
  EXPECT_EQ(wf.Archiver(), ArchiverKind::Native);
  ASSERT_TRUE(wf.FormActivate());
  EXPECT_EQ(wf.Archiver(), ArchiverKind::Windows);
  EXPECT_EQ(wf.ArchiverPath(maps + "/a b.vka"), "D:\\maps\\a b.vka");

  platform::DeleteFile(prog + "/Archive.exe");
  symlink((vvtest::ProgramDir() + "/archive.exe").c_str(), (prog + "/archive.exe").c_str());
  ASSERT_TRUE(wf.FormActivate());
  EXPECT_EQ(wf.Archiver(), ArchiverKind::Native);
  EXPECT_EQ(wf.ArchiverPath(maps + "/a b.vka"), maps + "/a b.vka");
}

TEST_F(WindowsArchiverTest, ScriptsNameFilesInWindowsFormAndTheCodePage) {
  ConvertWorkflow wf(view);
  ASSERT_TRUE(wf.FormActivate());
  platform::CreateDir(prog + "/$$$");
  for (const char* name : {"Caf\xC3\xA9 $1.vkb", "caf\xC3\xA9 $1_mm.tga", "Caf\xC3\xA9 $1.tga"})
    vvtest::WriteFile(prog + "/$$$/" + name, "x");
  wf.setHasfiles();
  ASSERT_TRUE(wf.CreateTxtFile());
  const std::string f = "D:\\prog\\$map$\\Scenarios\\MP\\Caf\xE9 $1\\";
  EXPECT_EQ(vvtest::ReadFile(prog + "/$tmp$.txt"),
            "Archive name=\"Caf\xE9 $1\"\r\n"
            "TOCStart name=\"Caf\xE9 $1\" alias=\"Data\" relativeroot=\"\"\r\n"
            "FileSettingsStart  defcompression=\"1\"\r\n"
            "FileSettingsEnd\r\n" +
                f + "Caf\xE9 $1.vkb\r\n" + f + "caf\xE9 $1_mm.tga\r\n" + f +
                "Loading\\Caf\xE9 $1.tga\r\nTOCEnd\r\n");

  // Batch lines carry the names as Wine reads arguments: the Unix charset, Windows form.
  auto& s = wf.State();
  s.VKAFolder = maps;
  s.MaxPlayers = 4;
  ASSERT_TRUE(wf.CreateVKB2VKABatFile());
  EXPECT_EQ(vvtest::ReadFile(prog + "/$$$.bat"),
            "@echo off\r\narchive.exe -c $tmp$.txt -a \"D:\\maps\\Caf\xC3\xA9 $1 (4p).vka\" -r "
            "$map$\r\n");
  s.MapFilePath = input + "/my maps/d.vka";
  ASSERT_TRUE(wf.CreateVKA2VKBBatFile());
  EXPECT_EQ(vvtest::ReadFile(prog + "/$$$1.bat"),
            "@echo off\r\narchive.exe -a \"D:\\input\\my maps\\d.vka\" -e \"D:\\prog\\$$$\"\r\n");
}

TEST_F(WindowsArchiverTest, NameTheToolWouldMisreadIsLeftOutWithItsReason) {
  // Cyrillic has no place in code page 1252; a folder name ending in a dot none in Windows; com1
  // is a device. Each road (map, companion file, VKA package) gives the gate's reason.
  Files companion = DesertFiles();
  companion[1].first = "NUL .info";
  WriteZip(input + "/p.zip", DesertFiles("\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0"));
  WriteZip(input + "/q.zip", DesertFiles());
  WriteZip(input + "/c.zip", DesertFiles("com1"));
  WriteZip(input + "/n.zip", companion);
  vvtest::WriteFile(input + "/com1.vka", "VVKA");
  platform::CreateDir(tmp / "maps.");
  const std::string refused =
      ", so a name or folder of this map can not be given to the Windows archive.exe (code page "
      "1252), not converted !";
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"/p.zip", maps, "holds a character code page 1252 does not have" + refused},
      {"/q.zip", tmp / "maps.", "\"maps.\" ends in a blank or dot" + refused},
      {"/c.zip", maps, "\"com1.vka\" is a windows device name" + refused},
      {"/n.zip", maps,
       "NUL .info : \"NUL .info\" is a windows device name for the Windows archive.exe, left "
       "out of the map !"},
      {"/com1.vka", maps,
       "error - com1.vka : \"com1.vka\" is a windows device name, so it can not be passed to "
       "archive.exe !"},
  };
  for (const auto& [package, target, reason] : cases) {
    view.progress.clear();
    ConvertWorkflow wf(view);
    wf.FormActivate();
    wf.SelectTargetFolder(target);
    wf.SelectPackageFile(input + package);
    wf.RunConversion();
    int lines = 0;
    for (const std::string& line : view.progress)
      if (line.ends_with(reason)) ++lines;
    EXPECT_EQ(lines, 1) << package << "\n" << ::testing::PrintToString(view.progress);
    EXPECT_EQ(wf.Converted(), 0);
    EXPECT_FALSE(platform::DirectoryExists(prog + "/$map$"));
    EXPECT_FALSE(platform::DirectoryExists(prog + "/Scenarios"));
  }
}

TEST_F(WindowsArchiverTest, WithoutWineTheStartUpCheckSaysWhy) {
  ScopedEnv noWine("VAREVUDOV_WINE", tmp / "nosuch-wine");
  ConvertWorkflow wf(view);
  EXPECT_FALSE(wf.FormActivate());
  ASSERT_EQ(prompter.messages.size(), 1u);
  const std::string& text = prompter.messages[0].text;
  EXPECT_NE(text.find("is a Windows program"), std::string::npos) << text;
  EXPECT_NE(text.find("apt-get install wine"), std::string::npos) << text;
  EXPECT_NE(text.find("VAREVUDOV_WINE"), std::string::npos) << text;

  // The command-line front end (the same check, its text on standard error) ends with 2 and
  // converts nothing. It finds its folder through its own path, so it runs from a copy.
  const std::string cli = prog + "/varevudov-cli";
  WriteZip(input + "/d.zip", DesertFiles());
  vvtest::WriteFile(cli, vvtest::ReadFile(vvtest::ProgramDir() + "/varevudov-cli"));
  chmod(cli.c_str(), 0755);
  EXPECT_EQ(RunProgram({cli, "--target", maps, input + "/d.zip"}, prog, tmp / "out.txt"), 2);
  EXPECT_TRUE(Tree(maps).empty());
}

}  // namespace
}  // namespace wftest
