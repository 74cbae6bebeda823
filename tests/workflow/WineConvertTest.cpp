// The whole chain with the Windows build of archive.exe under real Wine, against the native
// stand-in on the same packages. The Wine prefix is the test run's own (made by the setup test
// of wine.cmake); everything skips where Wine or the Windows build is missing.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "WorkflowFixture.h"

namespace wftest {
namespace {

using vvtest::ScopedEnv;
using workflow::ArchiverKind;
using workflow::ConvertWorkflow;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class WineConvertTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    if (!platform::FileExists(VV_WINDOWS_ARCHIVER))
      GTEST_SKIP() << "no Windows build of archive.exe (" << VV_WINDOWS_ARCHIVER
                   << "): install g++-mingw-w64-x86-64-posix and libz-mingw-w64-dev";
    if (platform::FindWineLauncher().empty())
      GTEST_SKIP() << "no Wine to run it: install wine (and wine64)";
    if (!platform::FileExists(std::string(VV_WINE_PREFIX) + "/ready"))
      GTEST_SKIP() << "the test run's Wine prefix " << VV_WINE_PREFIX
                   << " was not made (run the tests through ctest)";
    // Names with blanks, "$", "%" and a Western accent, as a player's folders may have them.
    progW = tmp / "prog $w$ 50% \xC3\xA9";
    mapsW = tmp / "maps $t$ 100% \xC3\xA9";
    platform::CreateDir(progW);
    platform::CreateDir(mapsW);
    vvtest::WriteFile(progW + "/Archive.exe", vvtest::ReadFile(VV_WINDOWS_ARCHIVER));
    vvtest::InstallStandins(progW, vvtest::Install::Link, /*withArchiver=*/false);
  }

  // A folder run over input in the given program folder; the progress log with the folders
  // replaced by placeholders.
  std::vector<std::string> Run(const std::string& program, const std::string& target,
                               int& converted, const std::string& package = "") {
    platform::SetProgramFolder(program);
    platform::SetCurrentFolder(program);
    FakeView runView;
    ConvertWorkflow wf(runView);
    EXPECT_TRUE(wf.FormActivate());
    EXPECT_EQ(wf.Archiver(), program == progW ? ArchiverKind::Windows : ArchiverKind::Native);
    wf.SelectTargetFolder(target);
    if (package.empty())
      wf.SelectSourceFolder(input);
    else
      wf.SelectPackageFile(package);
    wf.RunConversion();
    converted = wf.Converted();
    std::vector<std::string> log;
    for (const std::string& line : runView.progress)
      log.push_back(Replace(Replace(line, program, "<prog>"), target, "<maps>"));
    return log;
  }

  std::string progW, mapsW;
  ScopedEnv prefix_{"WINEPREFIX", VV_WINE_PREFIX};
  ScopedEnv charset_{"LC_ALL", "C.UTF-8"};
  ScopedEnv home_{"HOME", tmp.path()};
};

TEST_F(WineConvertTest, ArchivesEqualTheNativeStandInsByteForByte) {
  for (const char* sample : {"desert.zip", "twin-maps.zip", "big-hill.rar"})
    vvtest::WriteFile(input + "/" + sample,
                      vvtest::ReadFile(std::string(VV_SAMPLES_DIR) + "/" + sample));
  WriteZip(input + "/my $map \xC3\xA9.zip", DesertFiles("big $hill 9% \xC3\xA9"));

  int nativeCount = 0, wineCount = 0;
  const auto nativeLog = Run(prog, maps, nativeCount);
  const auto wineLog = Run(progW, mapsW, wineCount);
  EXPECT_EQ(nativeCount, 5);
  EXPECT_EQ(wineCount, nativeCount);
  EXPECT_EQ(wineLog, nativeLog);
  const auto made = Tree(maps);
  EXPECT_EQ(Tree(mapsW), made);
  for (const std::string& name : made)
    EXPECT_TRUE(vvtest::ReadFile(mapsW + "/" + name) == vvtest::ReadFile(maps + "/" + name))
        << name << " differs";
  EXPECT_NE(std::find(made.begin(), made.end(), "big $hill 9% \xC3\xA9 (4p).vka"), made.end());
}

TEST_F(WineConvertTest, VkaPackageIsUnpackedThroughWine) {
  WriteZip(input + "/desert.zip", DesertFiles());
  int converted = 0;
  Run(prog, maps, converted, input + "/desert.zip");
  ASSERT_TRUE(platform::MoveFile(maps + "/desert (4p).vka", input + "/my $desert 1%.vka"));

  const auto log = Run(progW, mapsW, converted, input + "/my $desert 1%.vka");
  EXPECT_EQ(converted, 1);
  EXPECT_NE(std::find(log.begin(), log.end(), "Done!"), log.end());
  // Wherever the unpacked tree is kept, it came out of the archive whole.
  std::string found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(progW))
    if (entry.path().filename() == "desert.tga" &&
        entry.path().parent_path().filename() == "Loading")
      found = entry.path().string();
  ASSERT_FALSE(found.empty()) << "nothing unpacked under " << progW;
  EXPECT_EQ(vvtest::ReadFile(found), "loading image");
}

TEST_F(WineConvertTest, LeftoverOfAKilledRunIsRemovedAndNothingElse) {
  // What a killed run leaves begins with the header without its table.
  const std::string unfinished = std::string("VVKA\x01\0\0\0", 8) + std::string(24, '\0');
  // content, maps converted, another user's, reached through a link. Wine follows a host link
  // even when asked not to (FILE_FLAG_OPEN_REPARSE_POINT), so the tool cannot see the link; the
  // owner check is what keeps another user's file behind it.
  const std::tuple<std::string, int, bool, bool> cases[] = {{unfinished + "half", 1, false, false},
                                                            {"notes", 0, false, false},
                                                            {unfinished + "half", 0, true, false},
                                                            {unfinished + "half", 0, true, true}};
  WriteZip(input + "/desert.zip", DesertFiles());
  const std::string part = mapsW + "/desert (4p).vka.part";
  for (const auto& [content, converted, others, viaLink] : cases) {
    if (others && geteuid() != 0) continue;  // only root can give a file away
    const std::string file = viaLink ? tmp / "victim" : part;
    vvtest::WriteFile(file, content);
    ASSERT_TRUE(!others || chown(file.c_str(), 4242, 4242) == 0);
    if (viaLink) symlink(file.c_str(), part.c_str());
    int count = -1;
    Run(progW, mapsW, count, input + "/desert.zip");
    EXPECT_EQ(count, converted) << others << viaLink;
    EXPECT_EQ(platform::FileExists(part), converted == 0);
    EXPECT_EQ(platform::FileExists(mapsW + "/desert (4p).vka"), converted == 1);
    EXPECT_TRUE(!viaLink || vvtest::ReadFile(file) == content) << "the file behind the link";
    platform::DeleteFile(part);
    platform::DeleteFile(mapsW + "/desert (4p).vka");
  }
}

// archive.exe itself under Wine, with Windows-form paths: it refuses what would leave the
// folder (including what Windows reads as a drive, a stream or a device) and follows no link.
TEST_F(WineConvertTest, WindowsUnpackStaysInItsFolder) {
  const std::string wine = platform::FindWineLauncher();
  const platform::WindowsNames names = platform::WindowsNames::ForEnvironment();
  auto win = [&](const std::string& path) {
    std::string out;
    EXPECT_TRUE(names.Path(path, out)) << path;
    return out;
  };
  auto unpack = [&](const std::string& vka, const std::string& folder) {
    return RunProgram({wine, progW + "/Archive.exe", "-a", win(vka), "-e", win(folder)}, progW);
  };
  const std::string out = tmp / "out";
  const char* bad[] = {"../evil", "a/../../evil", "C:evil",   "a/b:stream",       "CON",
                       "nul.txt", "dot./x",       "NUL .txt", "x/cOm\xC2\xB9 .a", "conout$"};
  for (const char* path : bad) {
    vvtest::WriteFile(tmp / "bad.vka", Container(path, "evil", Crc("evil")));
    EXPECT_EQ(unpack(tmp / "bad.vka", out), 1) << path;
  }
  EXPECT_FALSE(platform::FileExists(tmp / "evil"));
  EXPECT_TRUE(Tree(out).empty());

  // A link inside the folder, to a folder or over a file, is not followed.
  ASSERT_TRUE(platform::CreateDir(out));
  symlink(input.c_str(), (out + "/Scenarios").c_str());
  vvtest::WriteFile(tmp / "victim", "mine");
  symlink((tmp / "victim").c_str(), (out + "/f").c_str());
  for (const char* path : {"Scenarios/x", "f"}) {
    vvtest::WriteFile(tmp / "link.vka", Container(path, "data", Crc("data")));
    EXPECT_EQ(unpack(tmp / "link.vka", out), 1) << path;
  }
  EXPECT_TRUE(Tree(input).empty());
  EXPECT_EQ(vvtest::ReadFile(tmp / "victim"), "mine");

  // The good one lands where it should.
  vvtest::WriteFile(tmp / "good.vka", Container("Scenarios2/MP/x.vkb", "data", Crc("data")));
  EXPECT_EQ(unpack(tmp / "good.vka", out), 0);
  EXPECT_EQ(vvtest::ReadFile(out + "/Scenarios2/MP/x.vkb"), "data");
}

}  // namespace
}  // namespace wftest
