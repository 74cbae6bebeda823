// Hostile RAR packages through TRAR, with the stand-in and with the real UnRAR library where the
// system has it: links, hard links and file copies never leave the extraction, whichever library
// is loaded.
#include <dirent.h>
#include <unistd.h>

#include <clocale>

#include "RarTestSupport.h"
#include "archives/RAR.h"
#include "platform/Paths.h"

namespace rartest {
namespace {

constexpr unsigned kUnixLink = 0120777, kFifo = 0010644, kReparsePoint = 0x420;

Item Link(const std::string& name, const std::string& target, unsigned redirType = 1) {
  Item item{name, ""};
  item.linkTarget = target;
  item.redirType = redirType;
  item.hostOS = 3;
  item.attributes = kUnixLink;
  return item;
}

Item WithMode(Item item, unsigned hostOS, unsigned attributes) {
  item.hostOS = hostOS;
  item.attributes = attributes;
  return item;
}

struct HostileCase {
  const char* what;
  bool rar5;
  std::vector<Item> items;
  std::map<std::string, std::string> expected;  // the destination afterwards
  std::string planted = "";  // a link already in the destination under the name x, to this
};

// Extraction runs as the program runs it: flat into prog/$$$ with prog as the current folder,
// the archiver in prog and a file of the user's beside prog.
std::vector<HostileCase> Cases() {
  const Item x{"x", "evil"}, archiver{"archive.exe", "evil"};
  const std::map<std::string, std::string> justX{{"x", "evil"}},
      justArchiver{{"archive.exe", "evil"}};
  return {
      {"RAR 4 link out, then a file of its name", false, {Link("x", "../../victim.txt"), x}, justX},
      {"RAR 4 link onto the archiver",
       false,
       {Link("archive.exe", "../archive.exe"), archiver},
       justArchiver},
      {"RAR 4 Windows reparse point", false, {WithMode({"x", "data"}, 2, kReparsePoint)}, {}},
      {"RAR 4 Unix FIFO", false, {WithMode({"x", "data"}, 3, kFifo)}, {}},
      {"RAR 5 link out, then a file of its name", true, {Link("x", "../../victim.txt"), x}, justX},
      {"RAR 5 link onto the archiver",
       true,
       {Link("archive.exe", "../archive.exe"), archiver},
       justArchiver},
      {"RAR 5 Windows link", true, {Link("x", "..\\..\\victim.txt", 2), x}, justX},
      {"RAR 5 junction", true, {Link("x", "..\\..", 3), x}, justX},
      {"RAR 5 hard link to the archiver", true, {Link("x", "archive.exe", 4), x}, justX},
      {"RAR 5 copy of a file of the current folder", true, {Link("x", "archive.exe", 5)}, {}},
      {"RAR 4 file onto a link already there",
       false,
       {x},
       {{"x", kSpecialMark}},
       "../../victim.txt"},
      {"RAR 5 file onto a link already there",
       true,
       {x},
       {{"x", kSpecialMark}},
       "../../victim.txt"},
  };
}

class RarHostile : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    library_ = GetParam() ? SystemUnrarPath() : StandinPath();
    if (library_.empty()) GTEST_SKIP() << "the real UnRAR library is not installed";
    previousFolder_ = platform::CurrentFolder();
  }
  void TearDown() override {
    if (!previousFolder_.empty()) platform::SetCurrentFolder(previousFolder_);
  }
  std::string library_, previousFolder_;
};

TEST_P(RarHostile, NoLinkLeavesTheArchive) {
  for (const HostileCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    vvtest::TempDir root;
    const std::string prog = root / "prog", work = prog + "/$$$";
    ASSERT_TRUE(platform::CreateDir(prog));
    ASSERT_TRUE(platform::CreateDir(work));
    vvtest::WriteFile(root / "victim.txt", "victim");
    vvtest::WriteFile(prog + "/archive.exe", "MZ archiver");
    if (!c.planted.empty()) {
      ASSERT_EQ(symlink(c.planted.c_str(), (work + "/x").c_str()), 0);
    }
    const std::string archive = WriteArchive(root.path(), "pkg", c.rar5, c.items);
    const auto outside = FolderContents(root.path(), "prog/$$$");
    ASSERT_TRUE(platform::SetCurrentFolder(prog));

    TRAR rar;
    rar.SetDllName(library_);
    ASSERT_TRUE(rar.OpenArchiveFile(archive));
    EXPECT_EQ(rar.Extract(work, false, nullptr), c.planted.empty());
    EXPECT_EQ(FolderContents(root.path(), "prog/$$$"), outside);
    EXPECT_EQ(FolderContents(work), c.expected);
  }
}

// The password question during extraction names the entry by its wide name, whatever 8-bit name
// the library makes (the real one cuts it at the first non-ASCII letter under the "C" locale).
TEST_P(RarHostile, PasswordQuestionNamesTheEntryByItsWideName) {
  const std::string previousLocale = setlocale(LC_ALL, nullptr);
  setlocale(LC_ALL, "C");
  vvtest::TempDir dir;
  Item secret{"Wüste/Wüste.vkb", "cipher"};
  secret.encrypted = true;
  TRAR rar;
  rar.SetDllName(library_);
  ASSERT_TRUE(rar.OpenArchiveFile(WriteArchive(dir.path(), "secret", true, {secret})));
  std::vector<std::string> asked;
  rar.OnPasswordRequired = [&](TRAR*, bool, const std::string& name, std::string&, bool& cancel) {
    asked.push_back(name);
    cancel = true;
  };
  EXPECT_FALSE(rar.Extract(dir / "out", false, nullptr));
  setlocale(LC_ALL, previousLocale.c_str());
  EXPECT_EQ(asked, std::vector<std::string>{"Wüste/Wüste.vkb"});
}

size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

// A package's comment decides the comment state; however a handler answers it, each package
// costs no lasting descriptor.
TEST_P(RarHostile, HandlerRaisingForTheCommentStateStillClosesTheArchive) {
  vvtest::TempDir dir;
  TRAR rar;
  rar.SetDllName(library_);
  Options options;
  options.comment = std::string(70000, 'c');  // more than the comment buffer holds
  const std::string path = WriteArchive(dir.path(), "comment", true, {{"a.txt", "a"}}, options);
  rar.OnError = [](TRAR*, int32_t code, TRAROperation) {
    if (code == ERAR_SMALL_BUF) throw std::runtime_error("comment");
  };
  EXPECT_THROW(rar.OpenArchiveFile(path), std::runtime_error);
  const size_t before = OpenDescriptors();
  for (int i = 0; i < 5; ++i) EXPECT_THROW(rar.OpenArchiveFile(path), std::runtime_error);
  EXPECT_EQ(OpenDescriptors(), before);
}

INSTANTIATE_TEST_SUITE_P(Libraries, RarHostile, ::testing::Values(false, true),
                         [](const auto& instance) {
                           return instance.param ? "RealLibrary" : "Standin";
                         });

}  // namespace
}  // namespace rartest
