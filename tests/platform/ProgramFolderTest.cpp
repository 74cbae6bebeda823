// Which folder is the program folder, and where archive.exe and the stand-ins are found when
// the user's own folder and the installed stand-ins are apart. Writability is passed in: as root
// every folder is writable.
#include <sys/stat.h>
#include <unistd.h>

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

// Whoever may change the folder or what it runs chooses what runs as the user. Another owner
// needs root to set up; elsewhere those rows are left out.
TEST_F(UserFolder, OnlyAFolderOfTheUsersOwnIsTrusted) {
  const struct {
    mode_t folderMode;
    const char* file;  // "" for none
    mode_t fileMode;
    bool others;          // the file, else the folder, belongs to uid 4242
    bool link;            // the folder is reached through a link
    const char* problem;  // a part of the message; "" for none
  } cases[] = {
      {0700, "archive.exe", 0755, false, false, ""},
      {0700, "notes.txt", 0666, false, false, ""},  // notes are not run
      {0777, "", 0, false, false, "chmod go-w '"},
      {0770, "", 0, false, false, "chmod go-w '"},
      {0700, "Archive.exe", 0646, false, false, "/Archive.exe may be changed by other"},
      {0700, "libunrar.so", 0664, false, false, "/libunrar.so may be changed by other"},
      {0700, "", 0, false, true, " is a link: remove the link"},
      {0700, "", 0, true, false, "belongs to another user (uid 4242)"},
      {0700, "UnzDll.dll", 0644, true, false, "belongs to another user"},
  };
  int n = 0;
  for (const auto& c : cases) {
    if (c.others && geteuid() != 0) continue;
    const std::string folder = dir / std::to_string(++n);
    const std::string owned = *c.file ? folder + "/" + c.file : folder;
    std::filesystem::create_directories(folder);
    chmod(folder.c_str(), c.folderMode);
    if (*c.file) vvtest::WriteFile(owned, "");
    if (*c.file) chmod(owned.c_str(), c.fileMode);
    ASSERT_TRUE(!c.others || chown(owned.c_str(), 4242, 4242) == 0);
    if (c.link) {
      std::filesystem::rename(folder, folder + ".elsewhere");
      std::filesystem::create_directory_symlink(folder + ".elsewhere", folder);
    }
    platform::SetProgramFolders({folder, bundled, true});
    const std::string problem = platform::ProgramFolderProblem();
    EXPECT_TRUE(*c.problem ? problem.find(c.problem) != std::string::npos : problem.empty())
        << n << ": " << problem;
  }
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
