#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

using vvtest::ReadFile;
using vvtest::WriteFile;

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(Files, MixedCaseFileIsFoundAndMovedThroughALowerCasePath) {
  vvtest::TempDir dir;
  WriteFile(dir / "Desert_MM.tga", "minimap");
  ASSERT_TRUE(platform::CreateDir(dir / "Loading"));
  EXPECT_TRUE(platform::FileExists(dir / "desert_mm.tga"));
  EXPECT_EQ(platform::FileSize(dir / "DESERT_mm.TGA"), 7);
  EXPECT_TRUE(platform::DirectoryExists(dir / "loading"));

  ASSERT_TRUE(platform::MoveFile(dir / "desert_mm.tga", dir / "loading/desert_mm.tga"));
  EXPECT_FALSE(EntryExists(dir / "Desert_MM.tga"));
  // The destination keeps the spelling given; its folder is the existing one.
  EXPECT_EQ(ReadFile(dir / "Loading/desert_mm.tga"), "minimap");
}

TEST(Files, MoveNeverOverwritesAnExistingFile) {
  vvtest::TempDir dir;
  WriteFile(dir / "a.vka", "new");
  WriteFile(dir / "B.vka", "old");
  EXPECT_FALSE(platform::MoveFile(dir / "a.vka", dir / "B.vka"));
  // The same name in another spelling counts as existing.
  EXPECT_FALSE(platform::MoveFile(dir / "a.vka", dir / "b.VKA"));
  EXPECT_EQ(ReadFile(dir / "a.vka"), "new");
  EXPECT_EQ(ReadFile(dir / "B.vka"), "old");
  // Nor a folder in the way, nor a missing source.
  ASSERT_TRUE(platform::CreateDir(dir / "sub"));
  EXPECT_FALSE(platform::MoveFile(dir / "a.vka", dir / "SUB"));
  EXPECT_FALSE(platform::MoveFile(dir / "missing.vka", dir / "c.vka"));
  EXPECT_FALSE(EntryExists(dir / "c.vka"));
  EXPECT_EQ(ReadFile(dir / "a.vka"), "new");
}

TEST(Files, MoveCanChangeOnlyTheCaseOfAName) {
  vvtest::TempDir dir;
  WriteFile(dir / "Map.VKB", "x");
  ASSERT_TRUE(platform::MoveFile(dir / "Map.VKB", dir / "map.vkb"));
  EXPECT_FALSE(EntryExists(dir / "Map.VKB"));
  EXPECT_EQ(ReadFile(dir / "map.vkb"), "x");
  // A folder moves as a whole.
  ASSERT_TRUE(platform::CreateDir(dir / "Tree"));
  WriteFile(dir / "Tree/f", "f");
  ASSERT_TRUE(platform::MoveFile(dir / "tree", dir / "Moved"));
  EXPECT_EQ(ReadFile(dir / "Moved/f"), "f");
}

// A second file system for moves: /dev/shm is a tmpfs where /tmp usually is not.
class CrossDeviceMove : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/dev/shm/vvtest-XXXXXX";
    if (!mkdtemp(pattern)) GTEST_SKIP() << "no /dev/shm";
    other_ = pattern;
    struct stat a, b;
    if (stat(dir.path().c_str(), &a) != 0 || stat(other_.c_str(), &b) != 0 || a.st_dev == b.st_dev)
      GTEST_SKIP() << "the temporary folder and /dev/shm share a file system";
  }
  void TearDown() override {
    if (!other_.empty()) platform::DeleteTree(other_);
  }

  vvtest::TempDir dir;
  std::string other_;
};

TEST_F(CrossDeviceMove, CopiesThenDeletesAndStillNeverOverwrites) {
  const std::string source = dir / "Big.vka";
  std::string content(300000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(source, content);
  const struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

  ASSERT_TRUE(platform::MoveFile(dir / "big.vka", other_ + "/big.vka"));
  EXPECT_FALSE(EntryExists(source));
  EXPECT_EQ(ReadFile(other_ + "/big.vka"), content);
  struct stat st;
  ASSERT_EQ(stat((other_ + "/big.vka").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000000);

  WriteFile(dir / "other.vka", "mine");
  WriteFile(other_ + "/Other.vka", "theirs");
  EXPECT_FALSE(platform::MoveFile(dir / "other.vka", other_ + "/other.vka"));
  EXPECT_EQ(ReadFile(dir / "other.vka"), "mine");
  EXPECT_EQ(ReadFile(other_ + "/Other.vka"), "theirs");

  // A folder cannot cross file systems; it stays where it is.
  ASSERT_TRUE(platform::CreateDir(dir / "folder"));
  WriteFile(dir / "folder/f", "f");
  EXPECT_FALSE(platform::MoveFile(dir / "folder", other_ + "/folder"));
  EXPECT_EQ(ReadFile(dir / "folder/f"), "f");
}

TEST(Files, DeleteTreeNeverFollowsALinkOutOfTheTree) {
  vvtest::TempDir dir;
  ASSERT_TRUE(platform::CreateDir(dir / "outside"));
  WriteFile(dir / "outside/keep.txt", "keep");
  ASSERT_TRUE(platform::CreateDir(dir / "work"));
  ASSERT_TRUE(platform::CreateDir(dir / "work/sub"));
  WriteFile(dir / "work/sub/f.tga", "f");
  ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "work/sub/dirlink").c_str()), 0);
  ASSERT_EQ(symlink((dir / "outside/keep.txt").c_str(), (dir / "work/filelink").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent", (dir / "work/dangling").c_str()), 0);

  EXPECT_TRUE(platform::DeleteTree(dir / "WORK"));
  EXPECT_FALSE(EntryExists(dir / "work"));
  EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "keep");

  // A link given as the tree itself is removed as a link.
  ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(platform::DeleteTree(dir / "link/"));
  EXPECT_FALSE(EntryExists(dir / "link"));
  EXPECT_EQ(ReadFile(dir / "outside/keep.txt"), "keep");
  EXPECT_FALSE(platform::DeleteTree(dir / "missing"));
}

TEST(Files, DeleteTreeHandlesPathsBeyondTheSystemLimit) {
  vvtest::TempDir dir;
  const std::string component(200, 'd');
  // Beside the tree lies a folder whose name is a prefix of the tree's first component.
  ASSERT_TRUE(platform::CreateDir(dir / component.substr(0, 100)));
  ASSERT_TRUE(platform::CreateDir(dir / component));
  int fd = open((dir / component).c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  size_t depth = 0;
  for (; depth < 25; ++depth) {  // about 5000 bytes deep, past PATH_MAX
    ASSERT_EQ(mkdirat(fd, component.c_str(), 0777), 0);
    int child = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    ASSERT_GE(child, 0);
    fd = child;
  }
  int file = openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(file, 0);
  close(file);
  close(fd);

  // Too long to name: refused, and nothing else deleted in its place.
  std::string tooLong = dir / component;
  for (size_t i = 0; i < depth; ++i) tooLong += "/" + component;
  EXPECT_FALSE(platform::DeleteTree(tooLong));
  EXPECT_TRUE(platform::DirectoryExists(dir / component));

  EXPECT_TRUE(platform::DeleteTree(dir / component));
  EXPECT_FALSE(EntryExists(dir / component));
  EXPECT_TRUE(platform::DirectoryExists(dir / component.substr(0, 100)));
}

TEST(Files, CreateRemoveAndDeleteWorkOneThingAtATime) {
  vvtest::TempDir dir;
  EXPECT_TRUE(platform::CreateDir(dir / "Map"));
  EXPECT_FALSE(platform::CreateDir(dir / "map"));  // exists in another spelling
  EXPECT_FALSE(platform::CreateDir(dir / "a/b"));  // one level only
  EXPECT_TRUE(platform::CreateDir(dir / "MAP/Loading"));
  EXPECT_TRUE(platform::DirectoryExists(dir / "Map/Loading"));

  WriteFile(dir / "Map/f.txt", "f");
  EXPECT_FALSE(platform::RemoveDir(dir / "map"));  // not empty
  EXPECT_FALSE(platform::DeleteFile(dir / "map/loading"));
  EXPECT_TRUE(platform::DeleteFile(dir / "map/F.TXT"));
  EXPECT_FALSE(platform::DeleteFile(dir / "map/f.txt"));
  EXPECT_TRUE(platform::RemoveDir(dir / "map/LOADING"));
  EXPECT_TRUE(platform::RemoveDir(dir / "map"));
  EXPECT_FALSE(platform::DirectoryExists(dir / "Map"));
  EXPECT_FALSE(platform::FileExists(dir.path()));
  EXPECT_EQ(platform::FileSize(dir / "none"), -1);
  EXPECT_EQ(platform::FileAgeDos(dir / "none"), -1);
}

// Files move in, replacing namesakes; folders join, an existing one in another case too; a link
// or a file meeting a folder is refused and stays where it is.
TEST(Files, MergeTreeMovesFilesAndJoinsFolders) {
  using Entries = std::vector<std::pair<std::string, std::string>>;  // "x/" a folder, "@" a link
  const struct {
    Entries from, to;
    bool merged;
    std::vector<std::string> result;  // the destination's files afterwards
  } cases[] = {
      {{{"a.vkb", "new"}}, {}, true, {"a.vkb"}},
      {{{"MP/", ""}, {"MP/a.vkb", "new"}},
       {{"MP/", ""}, {"MP/a.vkb", "old"}, {"MP/kept.txt", "kept"}},
       true,
       {"MP/a.vkb", "MP/kept.txt"}},
      {{{"MP/", ""}, {"MP/a.vkb", "new"}}, {{"mp/", ""}}, true, {"mp/a.vkb"}},
      {{{"a.vkb", "@"}}, {}, false, {}},
      {{{"a.vkb", "new"}}, {{"a.vkb/", ""}, {"a.vkb/x", "kept"}}, false, {"a.vkb/x"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.from) + " into " + ::testing::PrintToString(c.to));
    vvtest::TempDir dir;
    const std::string from = dir / "from", to = dir / "to";
    WriteFile(dir / "victim", "victim");
    for (const auto& [root, entries] : {std::pair(from, c.from), {to, c.to}}) {
      platform::CreateDir(root);
      for (const auto& [name, data] : entries)
        if (name.ends_with('/'))
          platform::CreateDir(root + "/" + name);
        else if (data == "@")
          symlink((dir / "victim").c_str(), (root + "/" + name).c_str());
        else
          WriteFile(root + "/" + name, data);
    }
    EXPECT_EQ(platform::MergeTree(from, to), c.merged);
    EXPECT_EQ(vvtest::Tree(to), c.result);
    EXPECT_EQ(vvtest::Tree(from).empty(), c.merged);
    EXPECT_TRUE(!c.merged || ReadFile(to + "/" + c.result[0]) == "new");
    EXPECT_EQ(ReadFile(dir / "victim"), "victim");
  }
}

TEST(Files, DosExecutableTestReadsTheHeader) {
  vvtest::TempDir dir;
  WriteFile(dir / "Archive.exe", std::string("MZ\x90\0", 4));
  WriteFile(dir / "fake.exe", "ZM");
  WriteFile(dir / "short.exe", "M");
  EXPECT_TRUE(platform::IsDosExecutable(dir / "archive.EXE"));
  EXPECT_FALSE(platform::IsDosExecutable(dir / "fake.exe"));
  EXPECT_FALSE(platform::IsDosExecutable(dir / "short.exe"));
  EXPECT_FALSE(platform::IsDosExecutable(dir / "missing.exe"));
  EXPECT_FALSE(platform::IsDosExecutable(dir.path()));
}

TEST(Files, ReadOnlyFileReadsAnywhereAndStopsAtTheEnd) {
  vvtest::TempDir dir;
  WriteFile(dir / "Map.zip", "0123456789");
  platform::ReadOnlyFile file;
  EXPECT_EQ(file.Size(), -1);
  EXPECT_FALSE(file.Open(dir / "missing.zip"));
  ASSERT_TRUE(file.Open(dir / "map.ZIP"));
  EXPECT_EQ(file.Size(), 10);
  std::string buffer(4, '\0');
  ASSERT_TRUE(file.Seek(7));
  EXPECT_EQ(file.Read(buffer.data(), 4), 3u);
  EXPECT_EQ(buffer.substr(0, 3), "789");
  EXPECT_FALSE(file.Seek(-1));
  ASSERT_TRUE(file.Seek(2));
  EXPECT_EQ(file.Read(buffer.data(), 4), 4u);
  EXPECT_EQ(buffer, "2345");
}

TEST(Files, WriteNewFileNeverReplacesAnything) {
  vvtest::TempDir dir;
  WriteFile(dir / "Old.zip", "old");
  EXPECT_FALSE(platform::WriteNewFile(dir / "old.ZIP", "new"));
  EXPECT_EQ(ReadFile(dir / "Old.zip"), "old");
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / "link.zip").c_str()), 0);
  EXPECT_FALSE(platform::WriteNewFile(dir / "link.zip", "new"));
  EXPECT_FALSE(EntryExists(dir / "elsewhere"));
  ASSERT_TRUE(platform::WriteNewFile(dir / "fresh.zip", std::string("P\0K", 3)));
  EXPECT_EQ(ReadFile(dir / "fresh.zip"), std::string("P\0K", 3));
}

TEST(Files, EntryTypeTakesTheNameAsGivenAndLinksAsLinks) {
  vvtest::TempDir dir;
  WriteFile(dir / "File", "x");
  ASSERT_TRUE(platform::CreateDir(dir / "Folder"));
  ASSERT_EQ(symlink((dir / "Folder").c_str(), (dir / "link").c_str()), 0);
  EXPECT_EQ(platform::EntryTypeOf(dir / "File"), platform::EntryType::File);
  EXPECT_EQ(platform::EntryTypeOf(dir / "Folder"), platform::EntryType::Folder);
  EXPECT_EQ(platform::EntryTypeOf(dir / "link"), platform::EntryType::Other);
  EXPECT_EQ(platform::EntryTypeOf(dir / "file"), platform::EntryType::None);
  EXPECT_EQ(platform::EntryTypeOf(dir / "File/below"), platform::EntryType::None);
}

// Local time in a zone with summer time, without needing the zone database.
class DosTime : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (tz) oldTz_ = tz;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_)
      setenv("TZ", oldTz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool hadTz_ = false;
  std::string oldTz_;
};

constexpr uint32_t Dos(uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s) {
  return ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s / 2);
}

TEST_F(DosTime, PacksLocalTimeAndRoundTrips) {
  // 2024-07-15 11:45:31 UTC is 13:45:31 summer time; seconds go in two-second steps.
  EXPECT_EQ(platform::UnixTimeToLocalDos(1721043931), Dos(2024, 7, 15, 13, 45, 30));
  // 2024-01-02 23:30:00 UTC is already the next day in winter time.
  EXPECT_EQ(platform::UnixTimeToLocalDos(1704238200), Dos(2024, 1, 3, 0, 30, 0));
  for (std::time_t t : {std::time_t{1721043930}, std::time_t{1704238200}, std::time_t{315532800},
                        std::time_t{4102444800}}) {
    EXPECT_EQ(platform::LocalDosToUnixTime(platform::UnixTimeToLocalDos(t)), t) << t;
  }
  EXPECT_EQ(platform::LocalDosToUnixTime(platform::UnixTimeToLocalDos(1721043931)), 1721043930);
  // Before the DOS epoch: its first day.
  EXPECT_EQ(platform::UnixTimeToLocalDos(0), Dos(1980, 1, 1, 0, 0, 0));

  vvtest::TempDir dir;
  WriteFile(dir / "f", "");
  const struct timespec times[2] = {{1721043931, 0}, {1721043931, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "f").c_str(), times, 0), 0);
  EXPECT_EQ(static_cast<uint32_t>(platform::FileAgeDos(dir / "F")), Dos(2024, 7, 15, 13, 45, 30));
}

}  // namespace
