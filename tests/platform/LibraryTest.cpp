#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "platform/Library.h"
#include "platform/Paths.h"

namespace {

// A private program folder that the loader searches first.
class LoadLibrary : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetProgramFolder(dir.path()); }
  void TearDown() override { platform::SetProgramFolder(""); }

  void Install(const std::string& name) { std::filesystem::copy_file(VV_PROBE_LIB, dir / name); }

  // Loads name and reports the file it came from, checking the entry point on the way.
  std::string LoadedFrom(const std::string& name) {
    platform::LibraryHandle library = platform::LoadLibrary(name);
    if (!library) return "<none>";
    std::string path = platform::LoadedLibraryPath(library);
    if (path.rfind(dir.path(), 0) == 0) {
      auto answer = reinterpret_cast<int (*)()>(platform::GetProcAddress(library, "ProbeAnswer"));
      EXPECT_NE(answer, nullptr);
      if (answer) {
        EXPECT_EQ(answer(), 42);
      }
    }
    EXPECT_EQ(platform::GetProcAddress(library, "NoSuchEntry"), nullptr);
    platform::FreeLibrary(library);
    return path;
  }

  vvtest::TempDir dir;
};

TEST_F(LoadLibrary, BundledStandInIsTheLastResort) {
  EXPECT_EQ(LoadedFrom("vvprobe.dll"), "<none>");
  Install("libvvprobe-standin.so");
  EXPECT_EQ(LoadedFrom("vvprobe.dll"), dir / "libvvprobe-standin.so");
}

TEST_F(LoadLibrary, UsersOwnCopyInTheProgramFolderComesFirst) {
  Install("libvvprobe-standin.so");
  Install("libVVProbe.so");
  EXPECT_EQ(LoadedFrom("vvprobe.dll"), dir / "libVVProbe.so");
  Install("VvProbe.DLL");
  EXPECT_EQ(LoadedFrom("vvprobe.dll"), dir / "VvProbe.DLL");
}

TEST_F(LoadLibrary, SystemLibraryComesBeforeTheStandInButAfterTheProgramFolder) {
  Install("libz-standin.so");
  const std::string system = LoadedFrom("z.dll");
  EXPECT_NE(system.find("libz.so"), std::string::npos) << system;
  EXPECT_NE(system.rfind(dir.path(), 0), 0u) << system;
  Install("libz.so");
  EXPECT_EQ(LoadedFrom("Z.DLL"), dir / "libz.so");
}

TEST_F(LoadLibrary, PathIsLoadedAsGivenIgnoringCase) {
  Install("Probe.bin");
  EXPECT_EQ(LoadedFrom(dir / "PROBE.BIN"), dir / "Probe.bin");
  EXPECT_EQ(LoadedFrom(dir / "missing.so"), "<none>");
  EXPECT_EQ(LoadedFrom(""), "<none>");
  EXPECT_EQ(platform::GetProcAddress(nullptr, "ProbeAnswer"), nullptr);
  platform::FreeLibrary(nullptr);
}

}  // namespace
