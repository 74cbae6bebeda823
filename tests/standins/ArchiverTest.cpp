// archive.exe on its own: both command lines, the container checks and the unpack safety.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "VkaWriter.h"

namespace standintest {
namespace {

using vkatest::Container;
using vkatest::Crc;
using vvtest::RunProgram;
using vvtest::Tree;
using Files = std::vector<std::pair<std::string, std::string>>;  // relative path, bytes

// A program folder with archive.exe linked in, a target folder and an input folder beside it.
class ArchiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const std::string& dir : {prog, maps, input}) platform::CreateDir(dir);
    vvtest::InstallStandins(prog, vvtest::Install::Link);
  }

  vvtest::TempDir tmp;
  const std::string prog = tmp / "prog", maps = tmp / "maps", input = tmp / "input";

  std::string Exe() const { return prog + "/archive.exe"; }
  // A staged tree under prog/$map$ and a script naming its files.
  void Stage(const Files& files, int defcompression = 1) {
    std::string script =
        "Archive name=\"m\"\r\nTOCStart name=\"m\" alias=\"Data\" relativeroot=\"\"\r\n"
        "FileSettingsStart  defcompression=\"" +
        std::to_string(defcompression) + "\"\r\nFileSettingsEnd\r\n";
    for (const auto& [rel, data] : files) {
      std::string path = prog + "/$map$";
      platform::CreateDir(path);
      for (size_t at = rel.find('/'); at != std::string::npos; at = rel.find('/', at + 1))
        platform::CreateDir(path + "/" + rel.substr(0, at));
      vvtest::WriteFile(path + "/" + rel, data);
      script += path + "/" + rel + "\r\n";
    }
    vvtest::WriteFile(prog + "/$tmp$.txt", script + "TOCEnd\r\n");
  }
  int Pack(const std::string& out) {
    return RunProgram({Exe(), "-c", "$tmp$.txt", "-a", out, "-r", "$map$"}, prog);
  }
  int Unpack(const std::string& vka, const std::string& folder) {
    return RunProgram({Exe(), "-a", vka, "-e", folder}, prog);
  }
};

TEST_F(ArchiverTest, PacksRelativeToRootAndUnpacksTheSameBytes) {
  const std::string big(200000, 'z');
  Stage({{"Scenarios/MP/m/m.vkb", big}, {"Scenarios/MP/m/Loading/m.tga", "img"}});
  ASSERT_EQ(Pack(maps + "/m.vka"), 0);
  EXPECT_LT(vvtest::ReadFile(maps + "/m.vka").size(), big.size() / 10) << "zlib with 1";
  ASSERT_EQ(Unpack(maps + "/m.vka", tmp / "out"), 0);
  EXPECT_EQ(Tree(tmp / "out"),
            (std::vector<std::string>{"Scenarios/MP/m/Loading/m.tga", "Scenarios/MP/m/m.vkb"}));
  EXPECT_EQ(vvtest::ReadFile(tmp / "out/Scenarios/MP/m/m.vkb"), big);
  struct stat st {};
  ASSERT_EQ(stat((maps + "/m.vka").c_str(), &st), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "an archive gets a new file's usual rights";

  Stage({{"Scenarios/MP/m/m.vkb", big}}, 0);
  ASSERT_EQ(Pack(maps + "/stored.vka"), 0);
  EXPECT_GT(vvtest::ReadFile(maps + "/stored.vka").size(), big.size()) << "stored with 0";
}

TEST_F(ArchiverTest, NeverOverwritesAndLeavesNothingOnFailure) {
  Stage({{"a.vkb", "a"}});
  vvtest::WriteFile(maps + "/m.vka", "user's");
  EXPECT_EQ(Pack(maps + "/m.vka"), 1);
  EXPECT_EQ(vvtest::ReadFile(maps + "/m.vka"), "user's");

  // A listed file outside the root, or missing, fails the whole run.
  vvtest::WriteFile(tmp / "outside", "x");
  vvtest::WriteFile(prog + "/$tmp$.txt",
                    "Archive name=\"m\"\r\nTOCStart name=\"m\" alias=\"Data\" relativeroot=\"\"\r\n"
                    "FileSettingsStart  defcompression=\"1\"\r\nFileSettingsEnd\r\n" +
                        tmp / "outside" + "\r\nTOCEnd\r\n");
  EXPECT_EQ(Pack(maps + "/x.vka"), 1);
  Stage({{"a.vkb", "a"}});
  platform::DeleteFile(prog + "/$map$/a.vkb");
  EXPECT_EQ(Pack(maps + "/y.vka"), 1);
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"m.vka"});

  // Unpacking keeps existing files too.
  Stage({{"b.vkb", "new"}});
  ASSERT_EQ(Pack(maps + "/b.vka"), 0);
  vvtest::WriteFile(input + "/b.vkb", "old");
  EXPECT_EQ(Unpack(maps + "/b.vka", input), 1);
  EXPECT_EQ(vvtest::ReadFile(input + "/b.vkb"), "old");
}

// How an archive being written begins: the header without its table.
const std::string kUnfinished = std::string("VVKA\x01\0\0\0", 8) + std::string(24, '\0');

TEST_F(ArchiverTest, LeftoverOfAKilledRunIsRemovedByTheNextRunAndARunningOneIsLeftAlone) {
  std::string big(24 << 20, '\0');
  uint32_t x = 1;
  for (char& c : big) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  Stage({{"m.vkb", big}});
  const std::string part = maps + "/m.vka.part";
  auto start = [&] {
    const std::vector<std::string> argv = {Exe(),           "-c", "$tmp$.txt", "-a",
                                           maps + "/m.vka", "-r", "$map$"};
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, prog.c_str());
    pid_t pid = -1;
    posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  };
  // Caught while it writes: its temporary has a fixed name and is marked unfinished.
  const pid_t first = start();
  ASSERT_GT(first, 0);
  struct stat st {};
  for (int i = 0; i < 5000 && !(stat(part.c_str(), &st) == 0 && st.st_size > 32); ++i) usleep(1000);
  ASSERT_GT(st.st_size, 32) << "the first run wrote nothing";
  // A second run for the same output neither removes the file being written nor writes.
  EXPECT_EQ(Pack(maps + "/m.vka"), 1);
  EXPECT_TRUE(platform::FileExists(part));
  kill(first, SIGKILL);
  int status = 0;
  waitpid(first, &status, 0);
  ASSERT_FALSE(platform::FileExists(maps + "/m.vka")) << "finished before it was killed";
  EXPECT_EQ(vvtest::ReadFile(part).substr(0, 32), kUnfinished);
  // What the killed run left is taken away by the next one.
  EXPECT_EQ(Pack(maps + "/m.vka"), 0);
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"m.vka"});
  ASSERT_EQ(Unpack(maps + "/m.vka", tmp / "out"), 0);
  EXPECT_TRUE(vvtest::ReadFile(tmp / "out/m.vkb") == big);
}

TEST_F(ArchiverTest, WhatMerelyLooksLikeALeftoverIsKept) {
  Stage({{"m.vkb", "v"}});
  const std::string part = maps + "/m.vka.part", victim = tmp / "victim";
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"a file of the user's", [&] { vvtest::WriteFile(part, "notes"); }},
      {"a link", [&] { symlink(victim.c_str(), part.c_str()); }},
      {"a second name of another file", [&] { link(victim.c_str(), part.c_str()); }},
      {"a folder", [&] { platform::CreateDir(part); }},
      {"a pipe", [&] { mkfifo(part.c_str(), 0644); }},
  };
  for (const auto& [what, plant] : cases) {
    vvtest::WriteFile(victim, kUnfinished + "payload");
    plant();
    EXPECT_EQ(Pack(maps + "/m.vka"), 1) << what;
    struct stat st {};
    EXPECT_EQ(lstat(part.c_str(), &st), 0) << what;
    EXPECT_EQ(vvtest::ReadFile(victim), kUnfinished + "payload") << what;
    EXPECT_FALSE(platform::FileExists(maps + "/m.vka")) << what;
    std::filesystem::remove_all(maps);
    platform::CreateDir(maps);
  }
  // A marked leftover of a run that is gone is removed.
  vvtest::WriteFile(part, kUnfinished + "half");
  EXPECT_EQ(Pack(maps + "/m.vka"), 0);
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"m.vka"});
}

TEST_F(ArchiverTest, RefusesEntriesThatEscapeTheFolder) {
  for (const char* bad : {"../evil", "/tmp/evil", "a/../../evil", "a//b", "a\\..\\evil"}) {
    vvtest::WriteFile(tmp / "bad.vka", Container(bad, "evil", Crc("evil")));
    EXPECT_EQ(Unpack(tmp / "bad.vka", tmp / "out"), 1) << bad;
  }
  EXPECT_TRUE(Tree(tmp / "out").empty());
  EXPECT_FALSE(platform::FileExists(tmp / "evil"));

  // A link inside the folder is not followed.
  platform::CreateDir(tmp / "out");
  symlink(input.c_str(), (tmp / "out/Scenarios").c_str());
  vvtest::WriteFile(tmp / "link.vka", Container("Scenarios/x", "data", Crc("data")));
  EXPECT_EQ(Unpack(tmp / "link.vka", tmp / "out"), 1);
  EXPECT_TRUE(Tree(input).empty());
}

TEST_F(ArchiverTest, DamagedArchivesAreRefused) {
  vvtest::WriteFile(tmp / "crc.vka", Container("f", "data", Crc("data") ^ 1));
  EXPECT_EQ(Unpack(tmp / "crc.vka", tmp / "out"), 1);
  EXPECT_FALSE(platform::FileExists(tmp / "out/f")) << "a damaged payload is removed";

  std::string truncated = Container("f", "data", Crc("data"));
  truncated.pop_back();
  vvtest::WriteFile(tmp / "short.vka", truncated);
  EXPECT_EQ(Unpack(tmp / "short.vka", tmp / "out"), 1);
  vvtest::WriteFile(tmp / "junk.vka", "not an archive at all, not at all");
  EXPECT_EQ(Unpack(tmp / "junk.vka", tmp / "out"), 1);
  // Bombs: 64 entries on one payload, and one entry claiming more than any drive holds.
  vvtest::WriteFile(tmp / "shared.vka", Container("f", "data", Crc("data"), 64));
  EXPECT_EQ(Unpack(tmp / "shared.vka", tmp / "out"), 1);
  vvtest::WriteFile(tmp / "huge.vka", Container("f", "data", Crc("data"), 1, int64_t{1} << 60));
  EXPECT_EQ(Unpack(tmp / "huge.vka", tmp / "out"), 1);
  EXPECT_TRUE(Tree(tmp / "out").empty());

  vvtest::WriteFile(tmp / "good.vka", Container("f", "data", Crc("data")));
  EXPECT_EQ(Unpack(tmp / "good.vka", tmp / "out"), 0);
  EXPECT_EQ(vvtest::ReadFile(tmp / "out/f"), "data");
  for (const std::vector<std::string>& usage :
       {std::vector<std::string>{"-x"}, {"-a", "only"}, {"-a"}, {"-c", "s", "-a", "o", "-r"}}) {
    std::vector<std::string> argv = {Exe()};
    argv.insert(argv.end(), usage.begin(), usage.end());
    EXPECT_EQ(RunProgram(argv, prog), 2) << usage.back();
  }

  // A payload that inflates past its declared size is cut off at once: with the file size
  // limit below what it would inflate to, writing on would end the process.
  const std::string plain(8 << 20, '\0');
  std::string packed(compressBound(plain.size()), '\0');
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                     reinterpret_cast<const Bytef*>(plain.data()), plain.size()),
            Z_OK);
  packed.resize(packedSize);
  std::string bomb = Container("bomb", packed, Crc(plain), 1, 1000);
  bomb[bomb.size() - 30] = 1;  // deflated
  vvtest::WriteFile(tmp / "bomb.vka", bomb);
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  rlimit limited = previous;
  limited.rlim_cur = 1 << 20;
  setrlimit(RLIMIT_FSIZE, &limited);
  EXPECT_EQ(Unpack(tmp / "bomb.vka", tmp / "out"), 1);
  setrlimit(RLIMIT_FSIZE, &previous);
  EXPECT_FALSE(platform::FileExists(tmp / "out/bomb"));
}

}  // namespace
}  // namespace standintest
