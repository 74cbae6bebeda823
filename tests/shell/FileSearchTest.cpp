#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "shell/FileSearchUnit.h"

namespace {

constexpr int32_t kDirectory = 16;
const char kAlreadySearching[] =
    "TFileSearch: Already searching. Use CloseSearch to terminate previous search.";
const char kNotSearching[] = "TFileSearch: Not searching. Use CloseSearch only after OpenSearch.";

// A work folder as a package leaves it: files, a folder named like a map file, a hidden file.
class FileSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vvtest::WriteFile(dir / "Desert.vkb", "vkb");
    vvtest::WriteFile(dir / "desert.info", "2");
    vvtest::WriteFile(dir / "README", "no dot");
    vvtest::WriteFile(dir / ".hidden.vkb", "hidden");
    ASSERT_TRUE(platform::CreateDir(dir / "Old.VKB"));
  }

  // Every name one search yields, closing it afterwards.
  std::set<std::string> Names(const std::string& folder, const std::string& mask, int32_t attr) {
    TFileSearch search;
    search.OpenSearch(folder, mask, attr);
    std::set<std::string> names;
    TSearchRec rec;
    while (search.GetNextFile(rec)) names.insert(rec.Name);
    search.CloseSearch();
    return names;
  }

  vvtest::TempDir dir;
};

TEST_F(FileSearchTest, MaskIgnoresCaseAndDirectoryAttributeKeepsFoldersButNotHiddenEntries) {
  EXPECT_EQ(Names(dir.path(), "*.VKB", kDirectory),
            (std::set<std::string>{"Desert.vkb", "Old.VKB"}));
  // Without the directory bit only plain files qualify.
  EXPECT_EQ(Names(dir.path(), "*.vkb", 0), (std::set<std::string>{"Desert.vkb"}));
  // Asking for hidden entries returns them too.
  EXPECT_EQ(Names(dir.path(), "*.vkb", kDirectory | 2),
            (std::set<std::string>{"Desert.vkb", "Old.VKB", ".hidden.vkb"}));
  EXPECT_EQ(Names(dir.path(), "desert.INFO", kDirectory), (std::set<std::string>{"desert.info"}));
}

TEST_F(FileSearchTest, StarDotStarListsEveryNameWithTheDotFolders) {
  EXPECT_EQ(Names(dir.path(), "*.*", kDirectory),
            (std::set<std::string>{".", "..", "Desert.vkb", "desert.info", "README", "Old.VKB"}));
  EXPECT_EQ(Names(dir.path(), "*.*", 0),
            (std::set<std::string>{"Desert.vkb", "desert.info", "README"}));
}

TEST_F(FileSearchTest, RecordCarriesAttributesSizeAndLocalDosTime) {
  const std::string file = dir / "Sized.dat";
  vvtest::WriteFile(file, "");
  // A sparse file just over 4 GiB: the record holds the low 32 bits of the size.
  ASSERT_EQ(truncate(file.c_str(), 0x100000005LL), 0);
  struct tm local {};
  local.tm_year = 2021 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 4;
  local.tm_hour = 5;
  local.tm_min = 6;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  const struct timeval times[2] = {{mktime(&local), 0}, {mktime(&local), 0}};
  ASSERT_EQ(utimes(file.c_str(), times), 0);

  TFileSearch search;
  search.OpenSearch(dir.path(), "sized.*", kDirectory);
  TSearchRec rec;
  ASSERT_TRUE(search.GetNextFile(rec));
  EXPECT_EQ(rec.Name, "Sized.dat");
  EXPECT_EQ(rec.Size, 5);
  EXPECT_EQ(rec.Attr & kDirectory, 0);
  // 2021-03-04 05:06:08 packed as DOS date (high word) and time (two-second steps).
  EXPECT_EQ(static_cast<uint32_t>(rec.Time),
            (41u << 25) | (3u << 21) | (4u << 16) | (5u << 11) | (6u << 5) | 4u);
  search.CloseSearch();

  search.OpenSearch(dir.path(), "old.vkb", kDirectory);
  ASSERT_TRUE(search.GetNextFile(rec));
  EXPECT_NE(rec.Attr & kDirectory, 0);
  search.CloseSearch();
}

TEST_F(FileSearchTest, FolderWithOrWithoutSeparatorGivesOneSearchPath) {
  TFileSearch search;
  search.OpenSearch(dir.path(), "*.vkb", kDirectory);
  EXPECT_EQ(search.SearchPath(), dir.path() + "/");
  search.CloseSearch();
  search.OpenSearch(dir.path() + "/", "*.vkb", kDirectory);
  EXPECT_EQ(search.SearchPath(), dir.path() + "/");
  EXPECT_EQ(search.SearchMask(), "*.vkb");
  EXPECT_EQ(search.SearchAttr(), kDirectory);
  search.CloseSearch();
}

TEST_F(FileSearchTest, EmptyFolderMeansTheCurrentFolder) {
  const std::string previous = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(dir.path()));
  std::set<std::string> names;
  std::string searchPath;
  {
    TFileSearch search;
    search.OpenSearch("", "*.vkb", kDirectory);
    searchPath = search.SearchPath();
    TSearchRec rec;
    while (search.GetNextFile(rec)) names.insert(rec.Name);
    search.CloseSearch();
  }
  ASSERT_TRUE(platform::SetCurrentFolder(previous));
  EXPECT_EQ(searchPath, platform::IncludeTrailingPathDelimiter(dir.path()));
  EXPECT_EQ(names, (std::set<std::string>{"Desert.vkb", "Old.VKB"}));
}

TEST_F(FileSearchTest, MisuseRaisesExactMessagesAndLeavesTheSearchAsItWas) {
  TFileSearch search;
  try {
    search.CloseSearch();
    FAIL() << "CloseSearch on a fresh component must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), kNotSearching);
  }
  EXPECT_FALSE(search.Searching());

  search.OpenSearch(dir.path(), "*.*", 0);
  TSearchRec first;
  ASSERT_TRUE(search.GetNextFile(first));
  try {
    search.OpenSearch("/nowhere", "*.zip", kDirectory);
    FAIL() << "a second OpenSearch must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), kAlreadySearching);
  }
  EXPECT_TRUE(search.Searching());
  EXPECT_EQ(search.SearchMask(), "*.*");
  // The first search goes on where it was.
  std::set<std::string> names{first.Name};
  TSearchRec rec;
  while (search.GetNextFile(rec)) names.insert(rec.Name);
  EXPECT_EQ(names, (std::set<std::string>{"Desert.vkb", "desert.info", "README"}));
  search.CloseSearch();
  EXPECT_FALSE(search.Searching());
  EXPECT_THROW(search.CloseSearch(), Exception);
}

TEST_F(FileSearchTest, NoMatchMissingFolderAndFreshComponentGiveFalse) {
  TFileSearch search;
  TSearchRec rec;
  rec.Name = "stale";
  EXPECT_FALSE(search.GetNextFile(rec));  // nothing opened yet
  EXPECT_EQ(rec.Name, "");

  search.OpenSearch(dir.path(), "*.zip", kDirectory);
  EXPECT_FALSE(search.GetNextFile(rec));
  EXPECT_EQ(rec.FindHandle, platform::kInvalidFindHandle);  // closed at once
  EXPECT_FALSE(search.GetNextFile(rec));
  EXPECT_NO_THROW(search.CloseSearch());

  search.OpenSearch(dir / "missing", "*.*", kDirectory);
  EXPECT_FALSE(search.GetNextFile(rec));
  search.CloseSearch();

  // Only a hidden entry matches: nothing qualifies.
  search.OpenSearch(dir.path(), ".hidden*", kDirectory);
  EXPECT_FALSE(search.GetNextFile(rec));
  search.CloseSearch();
}

TEST_F(FileSearchTest, ExhaustedSearchStaysFalseAndKeepsTheLastMatch) {
  TFileSearch search;
  search.OpenSearch(dir.path(), "*.vkb", 0);
  TSearchRec rec;
  ASSERT_TRUE(search.GetNextFile(rec));
  EXPECT_EQ(rec.Name, "Desert.vkb");
  // A record of the caller's own still receives the copy when the answer is false.
  TSearchRec other;
  other.Name = "stale";
  EXPECT_FALSE(search.GetNextFile(other));
  EXPECT_EQ(other.Name, "Desert.vkb");
  EXPECT_FALSE(search.GetNextFile(rec));
  search.CloseSearch();
}

TEST_F(FileSearchTest, SearchAfterCloseRestartsAndNoPlatformSearchIsLeftOpen) {
  TFileSearch search;
  search.OpenSearch(dir.path(), "*.*", kDirectory);
  TSearchRec rec;
  ASSERT_TRUE(search.GetNextFile(rec));
  const platform::FindHandle closedByCloseSearch = rec.FindHandle;
  search.CloseSearch();
  platform::FindData data;
  EXPECT_FALSE(platform::FindNextFile(closedByCloseSearch, data));

  // A GetNextFile after CloseSearch starts over on the last folder and mask.
  ASSERT_TRUE(search.GetNextFile(rec));
  EXPECT_FALSE(search.Searching());
  const platform::FindHandle stray = rec.FindHandle;
  ASSERT_NE(stray, platform::kInvalidFindHandle);
  // The next search must not leave that one behind.
  search.OpenSearch(dir.path(), "*.vkb", kDirectory);
  ASSERT_TRUE(search.GetNextFile(rec));
  EXPECT_FALSE(platform::FindNextFile(stray, data));
  const platform::FindHandle open = rec.FindHandle;
  search.CloseSearch();

  // Nor does a component that goes away in the middle of a search.
  platform::FindHandle abandoned;
  {
    TFileSearch other;
    other.OpenSearch(dir.path(), "*.*", kDirectory);
    ASSERT_TRUE(other.GetNextFile(rec));
    abandoned = rec.FindHandle;
  }
  EXPECT_FALSE(platform::FindNextFile(abandoned, data));
  EXPECT_NE(open, abandoned);
}

}  // namespace
