// Which folder is the program folder, and where archive.exe and the stand-ins are found when
// the user's own folder and the installed stand-ins are apart. Writability is passed in: as root
// every folder is writable.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Library.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace {

struct Choice {
  const char* name;
  bool installed;  // bin/ beside lib/varevudov/archive.exe
  bool writable;
  const char* xdgDataHome;
  const char* program;  // expected; "EXE" stands for the executable's folder
  const char* bundled;  // expected; "EXE" as above, "LIB" for the installed stand-ins
};

class ProgramFolderChoice : public ::testing::TestWithParam<Choice> {};

TEST_P(ProgramFolderChoice, Chooses) {
  const Choice& c = GetParam();
  vvtest::TempDir dir;
  const std::string exe = dir / "usr/bin", lib = dir / "usr/lib/varevudov";
  std::filesystem::create_directories(exe);
  if (c.installed) {
    std::filesystem::create_directories(lib);
    vvtest::WriteFile(lib + "/archive.exe", "");
  }
  auto expand = [&](const std::string& v) { return v == "EXE" ? exe : v == "LIB" ? lib : v; };
  const platform::ProgramFolders chosen =
      platform::ChooseProgramFolders(exe, c.writable, c.xdgDataHome, "/home/ann");
  EXPECT_EQ(chosen.program, expand(c.program));
  EXPECT_EQ(chosen.bundled, expand(c.bundled));
  EXPECT_EQ(chosen.perUser, chosen.program != exe);
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFolders, ProgramFolderChoice,
    ::testing::Values(
        Choice{"WritableOwnFolder", false, true, "/xdg", "EXE", ""},
        Choice{"ReadOnlyWithXdgDataHome", false, false, "/xdg/data/", "/xdg/data/varevudov", "EXE"},
        Choice{"ReadOnlyWithoutXdgDataHome", false, false, "", "/home/ann/.local/share/varevudov",
               "EXE"},
        Choice{"ReadOnlyWithRelativeXdgDataHome", false, false, "data",
               "/home/ann/.local/share/varevudov", "EXE"},
        Choice{"InstalledReadOnly", true, false, "/xdg", "/xdg/varevudov", "LIB"},
        // Installed into a prefix the user may write to: still nothing beside the executables.
        Choice{"InstalledWritable", true, true, "", "/home/ann/.local/share/varevudov", "LIB"}),
    [](const auto& instance) { return std::string(instance.param.name); });

// A user's own folder apart from the installed stand-ins.
class UserFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(user);
    std::filesystem::create_directories(bundled);
    platform::SetProgramFolders({user, bundled, true});
  }
  void TearDown() override { platform::SetProgramFolder(""); }

  vvtest::TempDir dir;
  const std::string user = dir / "home/.local/share/varevudov";
  const std::string bundled = dir / "usr/lib/varevudov";
};

TEST_F(UserFolder, UsersOwnArchiverComesBeforeTheInstalledOne) {
  EXPECT_EQ(platform::FindProgramFile("archive.exe"), "");
  vvtest::WriteFile(bundled + "/archive.exe", "");
  EXPECT_EQ(platform::FindProgramFile("archive.exe"), bundled + "/archive.exe");
  vvtest::WriteFile(user + "/Archive.exe", "");
  EXPECT_EQ(platform::FindProgramFile("archive.exe"), user + "/Archive.exe");
}

TEST_F(UserFolder, BatchRunsTheUsersArchiverElseTheInstalledOne) {
  std::filesystem::copy_file(VV_ARGV_PROBE, bundled + "/archive.exe");
  vvtest::WriteFile(user + "/$$$.bat", "@echo off\r\narchive.exe -a out.vka\r\n");
  const std::string previous = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(user));
  EXPECT_TRUE(platform::RunCommandLine("$$$.bat", true));
  EXPECT_EQ(vvtest::ReadFile(user + "/argv.out"), "-a\nout.vka\n--\n");

  vvtest::WriteFile(user + "/Archive.exe", "#!/bin/sh\necho user \"$@\" >>argv.out\n");
  chmod((user + "/Archive.exe").c_str(), 0755);
  EXPECT_TRUE(platform::RunCommandLine("$$$.bat", true));
  EXPECT_EQ(vvtest::ReadFile(user + "/argv.out"), "-a\nout.vka\n--\nuser -a out.vka\n");
  platform::SetCurrentFolder(previous);
}

TEST_F(UserFolder, StandInLibraryIsLoadedFromTheInstalledFolder) {
  platform::SetSystemLibrarySearch(false);
  std::filesystem::copy_file(VV_PROBE_LIB, bundled + "/libvvprobe-standin.so");
  platform::LibraryHandle library = platform::LoadLibrary("vvprobe.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(platform::LoadedLibraryPath(library), bundled + "/libvvprobe-standin.so");
  platform::FreeLibrary(library);
  // A user's own copy of the library wins.
  std::filesystem::copy_file(VV_PROBE_LIB, user + "/libvvprobe.so");
  library = platform::LoadLibrary("vvprobe.dll");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(platform::LoadedLibraryPath(library), user + "/libvvprobe.so");
  platform::FreeLibrary(library);
  platform::SetSystemLibrarySearch(true);
}

}  // namespace
