// Whole runs: packages built here, converted through archive.exe and the unzip stand-in, and
// the archives unpacked again to see what they hold.
#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "RarWriter.h"
#include "WorkflowFixture.h"
#include "platform/Exceptions.h"
#include "platform/Volume.h"

namespace wftest {
namespace {

using workflow::ConvertWorkflow;

class ConvertTest : public WorkflowTest {
 protected:
  // The files an archive holds, unpacked with archive.exe -a ... -e ...
  Files Unpacked(const std::string& vka) {
    const std::string out = tmp / ("unpacked" + std::to_string(++unpacks_));
    EXPECT_EQ(RunProgram({prog + "/archive.exe", "-a", vka, "-e", out}, prog), 0);
    Files files;
    for (const std::string& rel : Tree(out))
      files.push_back({rel, vvtest::ReadFile(out + "/" + rel)});
    return files;
  }
  bool Logged(const std::string& line) const {
    return std::find(view.progress.begin(), view.progress.end(), line) != view.progress.end();
  }
  int LoggedFailures() const {
    return static_cast<int>(std::count_if(view.progress.begin(), view.progress.end(), [](auto& l) {
      return l.size() >= 2 && l.compare(l.size() - 2, 2, " !") == 0;
    }));
  }
  // A fresh run on the package, the progress pane emptied first.
  ConvertWorkflow& Convert(const std::string& package) {
    view.progress.clear();
    run_.emplace(view);
    Choose(*run_, package);
    run_->RunConversion();
    return *run_;
  }
  // The program folder holds nothing of the work area after a run.
  void ExpectWorkAreaGone() {
    for (const char* name : {"$$$", "$map$"})
      EXPECT_FALSE(platform::DirectoryExists(prog + "/" + name)) << name;
    for (const char* name : {"$tmp$.txt", "$$$.bat", "$$$1.bat"})
      EXPECT_FALSE(platform::FileExists(prog + "/" + name)) << name;
    EXPECT_EQ(platform::CurrentFolder(), prog);
  }

 private:
  int unpacks_ = 0;
  std::optional<ConvertWorkflow> run_;
};

std::vector<std::string> StagingLines(const std::string& prog, const std::string& map) {
  const std::string w = prog + "/$$$/", m = prog + "/$map$/Scenarios/MP/" + map + "/";
  std::vector<std::string> lines;
  const std::pair<std::string, std::string> rows[] = {
      {map + ".vkb", "has vkb file"},
      {map + ".info", "has info file"},
      {map + ".scar", "has scar file"},
      {map + "_map_base.tga", "has mapbase file"},
      {map + "_map_slots.tga", "has map slots file"},
      {map + "_mm.tga", "has mm file"},
      {map + "_tml.tga", "has tml file"},
      {map + "_tty.tga", "has tty file"},
  };
  for (const auto& [name, text] : rows) lines.insert(lines.end(), {w + name, m + name, text});
  lines.insert(lines.end(), {w + map + ".tga", m + "Loading/" + map + ".tga", "has loading file"});
  return lines;
}

TEST_F(ConvertTest, ZipPackageBecomesOneVkaWithEveryFile) {
  const std::string pkg = input + "/Desert.zip";
  WriteZip(pkg, DesertFiles());
  ConvertWorkflow wf(view);
  Choose(wf, pkg);
  view.progress.clear();
  wf.RunConversion();

  std::vector<std::string> expected = {"Extracting zip file. Please wait...", "Done!"};
  const auto staging = StagingLines(prog, "desert");
  ASSERT_EQ(staging.size(), 27u);
  expected.insert(expected.end(), staging.begin(), staging.end());
  expected.insert(
      expected.end(),
      {"files move to folder ok", "$tmp$.txt file created ok", "$$$.bat file created ok",
       "Creating desert (4p).vka file. Please wait...", "desert (4p).vka file created successfully",
       "1 map converted, 0 packages failed", "",
       "========================= Process Completed ! =========================", ""});
  EXPECT_EQ(view.progress, expected);
  EXPECT_EQ(view.created, (std::vector<std::string>{"", "[ desert.zip ]", "   -> desert (4p).vka",
                                                    "", std::string(39, '-'), ""}));
  EXPECT_EQ(view.selection, "Irv Map File (zip or rar)  : " + pkg);
  ASSERT_EQ(view.shownMaps.size(), 1u);
  EXPECT_EQ(view.shownMaps[0].first, "desert");
  EXPECT_EQ(wf.Converted(), 1);
  EXPECT_EQ(wf.Failures(), 0);

  Files expectedFiles;
  for (const auto& [name, data] : DesertFiles()) {
    const std::string rel = name == "desert.tga" ? "Loading/desert.tga" : name;
    expectedFiles.push_back({"Scenarios/MP/desert/" + rel, data});
  }
  std::sort(expectedFiles.begin(), expectedFiles.end());
  EXPECT_EQ(Unpacked(maps + "/desert (4p).vka"), expectedFiles);
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"desert (4p).vka"});
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, RarPackageWithSubfoldersIsExtractedFlatAndConverted) {
  if (!platform::FileExists(prog + "/libunrar-standin.so"))
    GTEST_SKIP() << "the unrar stand-in is not built";
  std::vector<rartest::Item> items;
  for (const auto& [name, data] : DesertFiles()) items.push_back({"Desert Map/" + name, data});
  rartest::SaveVolumes(rartest::WriteRar4(items), input, "desert");
  ConvertWorkflow wf(view);
  Choose(wf, input + "/desert.rar");
  view.progress.clear();
  wf.RunConversion();
  ASSERT_GE(view.progress.size(), 2u);
  EXPECT_EQ(view.progress[0], "Extracting rar file. Please wait...");
  EXPECT_EQ(view.progress[1], "Done!");
  EXPECT_TRUE(Logged("desert (4p).vka file created successfully"));
  EXPECT_EQ(view.created[1], "[ desert.rar ]");
  EXPECT_EQ(Unpacked(maps + "/desert (4p).vka").size(), 9u);
  ExpectWorkAreaGone();

  // A RAR package that cannot be opened is logged and counted.
  vvtest::WriteFile(input + "/bad.rar", "Rar! but not really");
  Choose(wf, input + "/bad.rar");
  wf.RunConversion();
  EXPECT_TRUE(Logged("error - bad.rar : not a RAR archive !"));
}

TEST_F(ConvertTest, ExistingArchiveOfTheFinalNameIsKept) {
  const std::string pkg = input + "/desert.zip";
  WriteZip(pkg, DesertFiles());
  vvtest::WriteFile(maps + "/desert (4p).vka", "the user's own");
  ConvertWorkflow wf(view);
  Choose(wf, pkg);
  wf.RunConversion();
  EXPECT_EQ(vvtest::ReadFile(maps + "/desert (4p).vka"), "the user's own");
  EXPECT_TRUE(Logged("desert---[ 1 ] (4p).vka file created successfully"));
  EXPECT_EQ(Unpacked(maps + "/desert---[ 1 ] (4p).vka").size(), 9u);
}

TEST_F(ConvertTest, ZipBehindTheLongestCommentConverts) {
  ziptest::ZipLayout layout;
  layout.comment = std::string(65535, 'c');
  vvtest::WriteFile(input + "/hill.zip",
                    ziptest::BuildZip({ziptest::FileEntry("hill.vkb", "v")}, layout));
  Convert(input + "/hill.zip");
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"hill.vka"});
}

TEST_F(ConvertTest, ThreeVkbFilesGiveThreeArchivesAndNoInfoNoSuffix) {
  const std::string pkg = input + "/pack.zip";
  // The one listing of the work folder hands out what the file search would: no hidden file.
  WriteZip(pkg, {{"alpha.vkb", "a"},
                 {"beta.vkb", "b"},
                 {"gamma.vkb", "c"},
                 {"beta_mm.tga", "m"},
                 {".hidden.vkb", "h"},
                 {"Delta.VKB", "d"}});
  ConvertWorkflow wf(view);
  Choose(wf, pkg);
  wf.RunConversion();
  EXPECT_EQ(Tree(maps),
            (std::vector<std::string>{"Delta.vka", "alpha.vka", "beta.vka", "gamma.vka"}));
  EXPECT_EQ(Unpacked(maps + "/beta.vka"),
            (Files{{"Scenarios/MP/beta/beta.vkb", "b"}, {"Scenarios/MP/beta/beta_mm.tga", "m"}}));
  EXPECT_EQ(wf.Converted(), 4);
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, InfoFileIsStagedAndItsPlayerCountNamesTheArchive) {
  // No scar file in any of them; the info file goes into the archive all the same.
  const struct {
    std::string info;
    std::string archive;
    std::string note;  // a line the log must hold, if any
  } cases[] = {
      {"HeaderInfo\r\n{\r\n  MaxPlayers = 3,\r\n}\r\n", "m (3p).vka", ""},
      {"Version = 2\r\nMaxPlayers = 8,\r\nHeaderInfo\r\n{\r\n  Name = \"m\",\r\n}\r\n", "m.vka",
       ""},
      {"HeaderInfo\r\n{\r\n  MaxPlayers = 255,\r\n}\r\n", "m (255p).vka", ""},
      {"HeaderInfo\r\n{\r\n  MaxPlayers = 1,\r\n}\r\n", "m (1p).vka", ""},
      {"HeaderInfo\r\n{\r\n  MaxPlayers = 256,\r\n}\r\n", "m.vka",
       "m.info : MaxPlayers value '256' is no player count from 1 to 255, the archive gets no "
       "player suffix"},
  };
  for (const auto& c : cases) {
    WriteZip(input + "/m.zip", {{"m.vkb", "v"}, {"m.info", c.info}});
    view.progress.clear();
    ConvertWorkflow wf(view);
    Choose(wf, input + "/m.zip");
    wf.RunConversion();
    EXPECT_EQ(Tree(maps), std::vector<std::string>{c.archive}) << c.info;
    EXPECT_TRUE(Logged(c.archive + " file created successfully")) << c.info;
    EXPECT_TRUE(c.note.empty() || Logged(c.note)) << c.info;
    EXPECT_EQ(Unpacked(maps + "/" + c.archive),
              (Files{{"Scenarios/MP/m/m.info", c.info}, {"Scenarios/MP/m/m.vkb", "v"}}));
    platform::DeleteFile(maps + "/" + c.archive);
  }
}

TEST_F(ConvertTest, FolderUnderTheArchiveNameInTheTargetIsKept) {
  // The new archive takes the next free name; the folder and what it holds stay as they are.
  const struct {
    Files package;
    std::string folder;
    std::string archive;
  } cases[] = {
      {DesertFiles(), "desert (4p).vka", "desert---[ 1 ] (4p).vka"},
      {{{"plain.vkb", "v"}}, "plain.vka", "plain---[ 1 ].vka"},
      {{{"mappack.vka", "carried"}}, "mappack.vka", "mappack---[ 1 ].vka"},
  };
  for (const auto& c : cases) {
    WriteZip(input + "/p.zip", c.package);
    ASSERT_TRUE(platform::CreateDir(maps + "/" + c.folder));
    vvtest::WriteFile(maps + "/" + c.folder + "/kept", "user's");
    ConvertWorkflow wf(view);
    Choose(wf, input + "/p.zip");
    wf.RunConversion();
    std::vector<std::string> expected = {c.archive, c.folder + "/kept"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Tree(maps), expected) << c.folder;
    EXPECT_EQ(wf.Converted(), 1) << c.folder;
    EXPECT_TRUE(workflow::DeleteFolderTree(maps));
    platform::CreateDir(maps);
  }
}

TEST_F(ConvertTest, ZipFromWhichNothingIsExtractedFailsAsNotExtracted) {
  const std::pair<Files, std::string> packages[] = {
      {{}, "the package could not be extracted"},
      {{{"../desert.vkb", "outside"}}, "unsafe names only"},
      {{{"sub/", ""}}, "the package could not be extracted"}};
  for (const auto& [package, reason] : packages) {
    WriteZip(input + "/p.zip", package);
    view.progress.clear();
    ConvertWorkflow wf(view);
    Choose(wf, input + "/p.zip");
    wf.RunConversion();
    const std::string shown = package.empty() ? "(empty)" : package[0].first;
    EXPECT_TRUE(Logged("error - p.zip : " + reason + " !")) << shown;
    EXPECT_FALSE(Logged("p.zip...No VKB file in the archive file")) << shown;
    EXPECT_EQ(wf.Failures(), 1) << shown;
    EXPECT_FALSE(platform::FileExists(tmp / "desert.vkb"));
    ExpectWorkAreaGone();
  }
}

TEST_F(ConvertTest, PackageCarryingTwoVkaFilesAndNoVkb) {
  const std::string pkg = input + "/carried.zip";
  WriteZip(pkg, {{"mappack.vka", "one"}, {"second.vka", "two"}});
  vvtest::WriteFile(maps + "/mappack.vka", "old");
  ConvertWorkflow wf(view);
  Choose(wf, pkg);
  wf.RunConversion();
  EXPECT_EQ(vvtest::ReadFile(maps + "/mappack---[ 1 ].vka"), "one");
  EXPECT_EQ(vvtest::ReadFile(maps + "/second.vka"), "two");
  EXPECT_TRUE(Logged("mappack.vka file move to irv maps folder ok"));
  EXPECT_TRUE(Logged("carried.zip...No VKB file in the archive file"));
  EXPECT_TRUE(Logged("Conversion not done"));
  EXPECT_EQ(wf.Failures(), 0) << "both carried archives were placed";
  EXPECT_TRUE(Logged("0 maps converted, 2 carried vkas placed, 0 packages failed"));
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, FolderRunSkipsWhatIsNoPackageAndGoesOnAfterBrokenOne) {
  WriteZip(input + "/desert.zip", DesertFiles());
  Files inFolder;  // a ZIP package is extracted flat as well
  for (const auto& [name, data] : DesertFiles("hill")) inFolder.push_back({"Hill/" + name, data});
  WriteZip(input + "/hill.ZIP", inFolder);
  vvtest::WriteFile(input + "/readme.txt", "text");
  vvtest::WriteFile(input + "/broken.zip", "PK\x03\x04 this is no zip archive at all");
  platform::CreateDir(input + "/sub");
  ConvertWorkflow wf(view);
  Choose(wf, input);
  wf.RunConversion();
  EXPECT_EQ(Tree(maps), (std::vector<std::string>{"desert (4p).vka", "hill (4p).vka"}));
  for (const char* name : {"desert.zip", "hill.ZIP", "readme.txt", "broken.zip", "sub"})
    EXPECT_TRUE(Logged(std::string("Processing file : ") + name)) << name;
  EXPECT_EQ(LoggedFailures(), 1);
  const auto broken = std::find_if(view.progress.begin(), view.progress.end(), [](auto& l) {
    return l.rfind("error - broken.zip : ", 0) == 0;
  });
  ASSERT_NE(broken, view.progress.end());
  // The reader's two-line message is logged as one line.
  EXPECT_EQ(*broken,
            "error - broken.zip : \"" + input + "/broken.zip\" is not a valid Zip file. !");
  EXPECT_EQ(wf.Failures(), 1);
  EXPECT_FALSE(view.busy);
  EXPECT_TRUE(view.enabled[workflow::Control::BrowseMapFile]);
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, VkaPackageIsUnpackedIntoScenarios) {
  WriteZip(input + "/desert.zip", DesertFiles());
  {
    ConvertWorkflow first(view);
    Choose(first, input + "/desert.zip");
    first.RunConversion();
  }
  ASSERT_TRUE(platform::MoveFile(maps + "/desert (4p).vka", input + "/my desert.vka"));
  view.progress.clear();
  view.created.clear();
  ConvertWorkflow wf(view);
  Choose(wf, input + "/my desert.vka");
  wf.RunConversion();
  EXPECT_EQ(std::vector<std::string>(view.progress.begin() + 1, view.progress.begin() + 4),
            (std::vector<std::string>{"Create $$$1.bat file ok",
                                      "Executing archive to convert vka file...", "Done!"}));
  EXPECT_EQ(vvtest::ReadFile(prog + "/Scenarios/MP/desert/Loading/desert.tga"), "loading image");
  // The maps went to the program folder, which may be a hidden one: both panes name it.
  EXPECT_TRUE(Logged("maps unpacked into " + prog + "/Scenarios"));
  EXPECT_EQ(view.created,
            (std::vector<std::string>{"", "[ my desert.vka ]", "   -> " + prog + "/Scenarios", "",
                                      std::string(39, '-'), ""}));
  EXPECT_TRUE(Logged("0 maps converted, 1 vka unpacked, 0 packages failed"));
  ExpectWorkAreaGone();
  EXPECT_TRUE(platform::DirectoryExists(prog + "/Scenarios")) << "no cleanup removes it";
}

TEST_F(ConvertTest, VkaOnlyAddsMapsNeverFilesBesideTheProgram) {
  // A VKA holding a library beside its maps: only the Scenarios tree reaches the program folder.
  const std::string root = tmp / "root";
  for (const char* dir : {"", "/Scenarios", "/Scenarios/MP", "/Scenarios/MP/hill"})
    platform::CreateDir(root + dir);
  vvtest::WriteFile(root + "/libunrar.so", "planted code");
  vvtest::WriteFile(root + "/Scenarios/MP/hill/hill.vkb", "new map");
  platform::CreateDir(prog + "/Scenarios");
  platform::CreateDir(prog + "/Scenarios/MP");
  platform::CreateDir(prog + "/Scenarios/MP/hill");
  vvtest::WriteFile(prog + "/Scenarios/MP/hill/hill.vkb", "old map");
  vvtest::WriteFile(prog + "/Scenarios/MP/hill/kept.txt", "kept");
  vvtest::WriteFile(tmp / "toc.txt",
                    "Archive name=\"h\"\r\nTOCStart name=\"h\" alias=\"Data\" "
                    "relativeroot=\"\"\r\nFileSettingsStart  defcompression=\"1\"\r\n"
                    "FileSettingsEnd\r\n" +
                        root + "/libunrar.so\r\n" + root +
                        "/Scenarios/MP/hill/hill.vkb\r\nTOCEnd\r\n");
  ASSERT_EQ(RunProgram({prog + "/archive.exe", "-c", tmp / "toc.txt", "-a", input + "/hill.vka",
                        "-r", root},
                       prog),
            0);
  ConvertWorkflow wf(view);
  Choose(wf, input + "/hill.vka");
  wf.RunConversion();
  EXPECT_TRUE(Logged("left out libunrar.so : a vka file only adds to the Scenarios folder"));
  EXPECT_TRUE(Logged("Done!"));
  EXPECT_FALSE(platform::FileExists(prog + "/libunrar.so"));
  EXPECT_EQ(vvtest::ReadFile(prog + "/Scenarios/MP/hill/hill.vkb"), "new map");
  EXPECT_EQ(vvtest::ReadFile(prog + "/Scenarios/MP/hill/kept.txt"), "kept");
  ExpectWorkAreaGone();

  // Garbage in place of a VKA: a failure line, not "Done!", though Scenarios exists already.
  vvtest::WriteFile(input + "/bad.vka", "not a vka");
  view.progress.clear();
  ConvertWorkflow again(view);
  Choose(again, input + "/bad.vka");
  again.RunConversion();
  EXPECT_FALSE(Logged("Done!"));
  EXPECT_EQ(again.Failures(), 1);

  // A folder on the way that is a link, or no folder: nothing is written into it or elsewhere.
  const std::string elsewhere = tmp / "elsewhere";
  platform::CreateDir(elsewhere);
  for (const char* way : {"/Scenarios", "/Scenarios/MP", "/Scenarios/MP/hill"}) {
    platform::DeleteTree(prog + "/Scenarios");
    for (const std::string sub : {"/Scenarios", "/Scenarios/MP"})
      if (sub != way) platform::CreateDir(prog + sub);
    if (std::string(way).ends_with("hill"))
      vvtest::WriteFile(prog + way, "a file");
    else
      symlink(elsewhere.c_str(), (prog + way).c_str());
    Convert(input + "/hill.vka");
    EXPECT_TRUE(Logged("error - hill.vka : " + prog + way +
                       " is a link or no folder, so its maps were not moved into it !"))
        << way;
    EXPECT_TRUE(Tree(elsewhere).empty()) << way;
    EXPECT_FALSE(platform::FileExists(prog + "/Scenarios/MP/hill/hill.vkb")) << way;
  }
}

TEST_F(ConvertTest, OurFolderNamesAreOursInAnySpelling) {
  // A package under a work-area name in any case is refused and kept, never cleaned away.
  for (const std::string folder : {"$map$", "$MAP$", "$$$", "$Tmp$.txt"}) {
    const std::string pkg = prog + "/" + folder + "/desert.zip";
    ASSERT_TRUE(platform::CreateDir(prog + "/" + folder));
    WriteZip(pkg, DesertFiles());
    Convert(pkg);
    EXPECT_TRUE(Logged("error - " + pkg +
                       " lies in the work area of the program folder, nothing converted !"))
        << folder;
    EXPECT_TRUE(platform::FileExists(pkg)) << folder;
    platform::DeleteTree(prog + "/" + folder);
  }
  // The maps folder of a VKA in any case joins the program's Scenarios folder.
  for (const std::string scenarios : {"Scenarios", "scenarios", "SCENARIOS"}) {
    vvtest::WriteFile(input + "/hill.vka",
                      Container(scenarios + "/MP/hill/hill.vkb", scenarios, Crc(scenarios)));
    Convert(input + "/hill.vka");
    EXPECT_TRUE(Logged("Done!")) << scenarios;
    EXPECT_EQ(vvtest::ReadFile(prog + "/Scenarios/MP/hill/hill.vkb"), scenarios);
  }
}

TEST_F(ConvertTest, TargetThatCannotTakeTheMapsIsRefusedBeforeAnyExtraction) {
  WriteZip(input + "/desert.zip", DesertFiles());
  const std::string full = "is full (100 bytes free, the package needs about " +
                           std::to_string(platform::FileSize(input + "/desert.zip")) + ")";
  vvtest::WriteFile(tmp / "a-file", "x");
  platform::SimulatedVolume readOnly, hundredFree;
  readOnly.writable = false;
  hundredFree.free.bytes = 100;
  // target, its volume, a folder run, why refused. /proc: nothing can be made there, not by root.
  const std::tuple<std::string, const platform::SimulatedVolume*, bool, std::string> rows[] = {
      {tmp / "unplugged", nullptr, false, "does not exist (is its drive attached?)"},
      {tmp / "a-file", nullptr, true, "is a file, not a folder"},
      {"/proc", nullptr, false, "is read-only"},
      {maps, &readOnly, true, "is read-only"},
      {maps, &hundredFree, false, full},
      {maps, &hundredFree, true, full},
  };
  for (const auto& [target, volume, folderRun, why] : rows) {
    if (volume) platform::SimulateVolume(maps, *volume);
    ConvertWorkflow wf(view);
    wf.FormActivate();
    view.target = target;
    folderRun ? wf.SelectSourceFolder(input) : wf.SelectPackageFile(input + "/desert.zip");
    view.progress.clear();
    wf.RunConversion();
    platform::ClearSimulatedVolumes();
    EXPECT_EQ(view.progress.at(0),
              "error - target folder " + target + " " + why + ", nothing converted !");
    EXPECT_EQ(view.progress.at(1), "0 maps converted, run refused");
    EXPECT_EQ(view.warnings, (std::vector<std::string>{view.progress[0], view.progress[1]}));
    EXPECT_EQ(wf.Failures(), 1);
    EXPECT_TRUE(Tree(maps).empty());
    view.warnings.clear();
  }
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, ArchiverThatFailsGivesNoSuccessLine) {
  // Writes nothing and ends well; writes half a file and ends badly (the half file stays); says
  // why on its standard error, whose last line joins the failure line.
  const std::pair<std::string, std::string> cases[] = {
      {"exit 0", "desert (4p).vka file create failed !"},
      {"echo half > \"$4\"; exit 1",
       "desert (4p).vka file create failed (archive.exe exit code 1) !"},
      {"yes noise | head -c 100000 >&2; echo >&2; "
       "printf 'archive.exe: cannot create %s: No space\\n\\n' \"$4\" >&2; exit 1",
       "desert (4p).vka file create failed (archive.exe exit code 1: cannot create " + maps +
           "/desert (4p).vka: No space) !"},
      {"echo 'disk\tfull' >&2", "desert (4p).vka file create failed (disk\\tfull) !"},
  };
  for (const auto& [script, line] : cases) {
    platform::DeleteFile(prog + "/archive.exe");
    vvtest::WriteFile(prog + "/archive.exe", "#!/bin/sh\n" + script + "\n");
    chmod((prog + "/archive.exe").c_str(), 0755);
    WriteZip(input + "/desert.zip", DesertFiles());
    view.created.clear();
    ConvertWorkflow wf(view);
    Choose(wf, input + "/desert.zip");
    wf.RunConversion();
    EXPECT_FALSE(Logged("desert (4p).vka file created successfully"));
    EXPECT_TRUE(Logged(line)) << script;
    EXPECT_TRUE(view.created.size() == 5u) << "only the package line and the closing lines";
    platform::DeleteFile(maps + "/desert (4p).vka");
  }
}

TEST_F(ConvertTest, ArchiveNameLongerThanTheFileSystemTakesIsNeverAskedFor) {
  // Each conversion into the same folder grows the name by "---[ n ]": 240 + 8 + 9 > 255.
  const std::string map(240, 'm');
  WriteZip(input + "/long.zip", DesertFiles(map));
  vvtest::WriteFile(maps + "/" + map + " (4p).vka", "earlier conversion");
  Convert(input + "/long.zip");
  EXPECT_TRUE(Logged(map + "---[ 1 ] (4p).vka : name of 257 bytes, longer than the 255 the " +
                     "target folder takes, not converted !"));
  EXPECT_FALSE(Logged("Creating " + map + "---[ 1 ] (4p).vka file. Please wait..."));
  EXPECT_TRUE(Logged("0 maps converted, 1 package failed: long.zip"));
  EXPECT_EQ(Tree(maps).size(), 1u);
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, ForbiddenCharactersInMapNameAreNeverPacked) {
  WriteZip(input + "/mixed.zip", {{"des|ert.vkb", "bad"},
                                  {"a\"b.vkb", "bad"},
                                  {"good.vkb", "good"},
                                  {"bad\".vka", "carried"},
                                  {"odd?.info", "HeaderInfo"}});
  ConvertWorkflow wf(view);
  Choose(wf, input + "/mixed.zip");
  wf.RunConversion();
  // A carried VKA goes into no batch file, so any name the file system holds is moved as it is.
  EXPECT_EQ(Tree(maps), (std::vector<std::string>{"bad\".vka", "good.vka"}));
  EXPECT_TRUE(
      Logged("odd?.info : name holds a character not allowed in file names, left out of "
             "the map !"));
  EXPECT_TRUE(Logged(
      "des|ert.vkb : map name holds a character not allowed in file names, not converted !"));
  EXPECT_TRUE(
      Logged("a\"b.vkb : map name holds a character not allowed in file names, not converted !"));
  EXPECT_EQ(wf.Failures(), 2);
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, PercentInFoldersAndNamesGoesThroughBothBatchFiles) {
  // The program folder, the target folder, the map and the package all hold "%".
  const std::string program = tmp / "prog 50%";
  const std::string target = tmp / "maps 100%";
  platform::CreateDir(program);
  platform::CreateDir(target);
  for (const char* name : {"archive.exe", "libUnzDll-standin.so"})
    symlink((vvtest::ProgramDir() + "/" + name).c_str(), (program + "/" + name).c_str());
  platform::SetProgramFolder(program);
  platform::SetCurrentFolder(program);
  WriteZip(input + "/%TEMP%.zip", DesertFiles("des%ert%%"));
  ConvertWorkflow wf(view);
  wf.FormActivate();
  wf.SelectTargetFolder(target);
  wf.SelectPackageFile(input + "/%TEMP%.zip");
  wf.RunConversion();
  EXPECT_TRUE(Logged("des%ert%% (4p).vka file created successfully"));
  EXPECT_EQ(Unpacked(target + "/des%ert%% (4p).vka").size(), 9u);

  // Back again through the unpack batch file, from the target folder.
  ConvertWorkflow back(view);
  back.FormActivate();
  back.SelectTargetFolder(target);
  back.SelectPackageFile(target + "/des%ert%% (4p).vka");
  back.RunConversion();
  EXPECT_EQ(vvtest::ReadFile(program + "/Scenarios/MP/des%ert%%/des%ert%%_mm.tga"), "minimap");
  EXPECT_EQ(wf.Converted() + back.Converted(), 2);
  EXPECT_EQ(wf.Failures() + back.Failures(), 0);
}

TEST_F(ConvertTest, LeftoversOfAKilledRunNeitherMixInNorCostThePackage) {
  // What a run killed while extracting or packing leaves, and links planted under every
  // work-area name: all of it goes before the next package starts.
  platform::CreateDir(prog + "/$$$");
  vvtest::WriteFile(prog + "/$$$/desert.info", "HeaderInfo\r\n{\r\n  MaxPlayers = 8,\r\n}\r\n");
  vvtest::WriteFile(prog + "/$map$", "in the way");
  vvtest::WriteFile(tmp / "victim.txt", "keep");
  for (const char* name : {"$tmp$.txt", "$$$.bat", "$$$1.bat"})
    symlink((tmp / "victim.txt").c_str(), (prog + "/" + name).c_str());
  WriteZip(input + "/desert.zip", DesertFiles());
  ConvertWorkflow wf(view);
  Choose(wf, input + "/desert.zip");
  wf.RunConversion();
  EXPECT_TRUE(Logged("desert (4p).vka file created successfully"));
  EXPECT_EQ(wf.Failures(), 0);
  EXPECT_EQ(vvtest::ReadFile(tmp / "victim.txt"), "keep");
  ExpectWorkAreaGone();
}

TEST_F(ConvertTest, WorkAreaIsNeverTakenAsPackageSourceOrTarget) {
  platform::CreateDir(prog + "/$map$");
  WriteZip(prog + "/$map$/desert.zip", DesertFiles());
  ConvertWorkflow wf(view);
  Choose(wf, prog + "/$map$/desert.zip");
  wf.RunConversion();
  EXPECT_TRUE(Logged("error - " + prog +
                     "/$map$/desert.zip lies in the work area of the program "
                     "folder, nothing converted !"));
  EXPECT_TRUE(platform::FileExists(prog + "/$map$/desert.zip"));
  EXPECT_TRUE(Tree(maps).empty());
}

TEST_F(ConvertTest, MinimapThatCannotBeShownNeverFailsTheMap) {
  view.onShowMap = [] { throw Exception("TTarga: image too large (16384 x 16384 pixels)"); };
  WriteZip(input + "/desert.zip", DesertFiles());
  ConvertWorkflow wf(view);
  Choose(wf, input + "/desert.zip");
  wf.RunConversion();
  EXPECT_TRUE(
      Logged("map image desert_mm.tga can not be shown : TTarga: image too large (16384 x "
             "16384 pixels) !"));
  EXPECT_TRUE(Logged("desert (4p).vka file created successfully"));
  EXPECT_EQ(wf.Failures(), 0);
}

TEST_F(ConvertTest, PackageLargerThanTheFreeSpaceIsRefusedBeforeExtraction) {
  WriteZip(input + "/desert.zip", DesertFiles());
  std::vector<rartest::Item> items;
  int64_t bytes = 0;
  for (const auto& [name, data] : DesertFiles()) {
    items.push_back({name, data});
    bytes += static_cast<int64_t>(data.size());
  }
  rartest::SaveVolumes(rartest::WriteRar4(items), input, "desert");
  const bool rar = platform::FileExists(prog + "/libunrar-standin.so");
  // Too few free bytes, or too few free files, for the nine files. Exactly their bytes free
  // converts: the space left after a complete extraction is no reason to fail.
  for (const std::string package : {"desert.zip", "desert.rar"})
    for (const platform::FreeSpace free : {platform::FreeSpace{1000, -1}, {-1, 3}, {bytes, -1}}) {
      if (package == "desert.rar" && !rar) continue;
      SCOPED_TRACE(package + " " + std::to_string(free.bytes) + " " + std::to_string(free.entries));
      const bool fits = free.bytes == bytes;
      platform::SimulatedVolume nearlyFull;
      nearlyFull.driveType = platform::DRIVE_FIXED;
      nearlyFull.free = free;
      platform::SimulateVolume(prog, nearlyFull);
      ConvertWorkflow& wf = Convert(input + "/" + package);
      platform::ClearSimulatedVolumes();
      const std::string refused = "error - " + package + " : it unpacks to ";
      EXPECT_NE(std::any_of(view.progress.begin(), view.progress.end(),
                            [&](auto& l) { return l.starts_with(refused); }),
                fits);
      EXPECT_EQ(Logged("desert (4p).vka file created successfully"), fits);
      EXPECT_EQ(wf.Failures(), fits ? 0 : 1);
      EXPECT_FALSE(Logged("No VKB file"));
      EXPECT_EQ(Tree(maps).size(), fits ? 1u : 0u);
      ExpectWorkAreaGone();
      platform::DeleteFile(maps + "/desert (4p).vka");
    }
}

// Whatever archive.exe does on the VKA road, nothing of a run it did not finish is taken: it
// unpacks in part and fails, or it would sleep for a minute and then write while the work area's
// drive fills meanwhile, and is stopped once the drive is down to its reserve (5 % of it here).
TEST_F(ConvertTest, VkaArchiverThatDoesNotFinishLeavesNothing) {
  const std::tuple<std::string, int64_t, std::string> rows[] = {
      {"mkdir -p \"$4/Scenarios/MP/half\" && echo x > \"$4/Scenarios/MP/half/half.vkb\"\nexit 1",
       60 << 20, "error - big.vka : archive.exe could not unpack it (archive.exe exit code 1) !"},
      {"sleep 60\nmkdir -p $$$/Scenarios", 4 << 20,
       "stopped: the drive of the work area was filling up !"}};
  vvtest::WriteFile(input + "/big.vka", "VVKA");
  for (const auto& [script, fillsTo, line] : rows) {
    platform::DeleteFile(prog + "/archive.exe");
    vvtest::WriteFile(prog + "/archive.exe", "#!/bin/sh\n" + script + "\n");
    chmod((prog + "/archive.exe").c_str(), 0755);
    platform::SimulatedVolume filling;
    filling.driveType = platform::DRIVE_FIXED;
    filling.free = {60 << 20, -1, 100 << 20};
    platform::SimulateVolume(prog, filling);
    view.onWait = [&, fills = fillsTo] {
      filling.free.bytes = fills;
      platform::SimulateVolume(prog, filling);
    };
    const int converted = Convert(input + "/big.vka").Converted();
    platform::ClearSimulatedVolumes();
    EXPECT_TRUE(Logged(line)) << ::testing::PrintToString(view.progress);
    EXPECT_EQ(converted, 0);
    EXPECT_FALSE(platform::DirectoryExists(prog + "/Scenarios"));
    ExpectWorkAreaGone();
  }
}

TEST_F(ConvertTest, MapImageWindowOnlyWhenTickedAndMinimapPresent) {
  WriteZip(input + "/desert.zip", DesertFiles());
  WriteZip(input + "/plain.zip", {{"plain.vkb", "v"}});
  ConvertWorkflow wf(view);
  view.showMapImage = false;
  Choose(wf, input + "/desert.zip");
  wf.RunConversion();
  EXPECT_TRUE(view.shownMaps.empty());
  view.showMapImage = true;
  Choose(wf, input + "/plain.zip");
  wf.RunConversion();
  EXPECT_TRUE(view.shownMaps.empty());
  Choose(wf, input + "/desert.zip");
  wf.RunConversion();
  ASSERT_EQ(view.shownMaps.size(), 1u);
  EXPECT_EQ(view.shownMaps[0].second, prog + "/$$$/desert_mm.tga");
}

TEST_F(ConvertTest, ViewIsKeptPaintedWhileTheArchiverRuns) {
  const std::string real = vvtest::ProgramDir() + "/archive.exe";
  platform::DeleteFile(prog + "/archive.exe");
  vvtest::WriteFile(prog + "/archive.exe", "#!/bin/sh\nsleep 0.3\nexec '" + real + "' \"$@\"\n");
  chmod((prog + "/archive.exe").c_str(), 0755);
  WriteZip(input + "/desert.zip", DesertFiles());
  ConvertWorkflow wf(view);
  Choose(wf, input + "/desert.zip");
  wf.RunConversion();
  EXPECT_TRUE(Logged("desert (4p).vka file created successfully"));
  EXPECT_GT(view.waits, 0);
}

TEST_F(ConvertTest, ActivationDuringRunLeavesTheRunAlone) {
  WriteZip(input + "/desert.zip", DesertFiles());
  ConvertWorkflow wf(view);
  view.onShowMap = [&] { EXPECT_TRUE(wf.FormActivate()); };
  Choose(wf, input + "/desert.zip");
  wf.RunConversion();
  EXPECT_TRUE(Logged("desert (4p).vka file created successfully"));
  EXPECT_FALSE(wf.IsRunning());
  wf.FormActivate();  // after the run it resets as usual
  EXPECT_EQ(wf.State().SelectMode, 0);
}

}  // namespace
}  // namespace wftest
