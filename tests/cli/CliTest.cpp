// The command-line front end: its output, exit codes and use of the settings file.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "RarWriter.h"
#include "WorkflowFixture.h"

namespace wftest {
namespace {

class CliTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    // A copy, not a link: the program finds its folder through its own resolved path.
    cli = prog + "/varevudov-cli";
    vvtest::WriteFile(cli, vvtest::ReadFile(VV_CLI_PATH));
    chmod(cli.c_str(), 0755);
  }
  int Cli(std::vector<std::string> args, const std::string& folder = "") {
    args.insert(args.begin(), cli);
    const int rc = RunProgram(args, folder.empty() ? tmp.path() : folder, tmp / "stdout");
    output = vvtest::ReadFile(tmp / "stdout");
    return rc;
  }
  bool Printed(const std::string& line) const {
    return output.find("\n" + line + "\n") != std::string::npos ||
           output.rfind(line + "\n", 0) == 0;
  }
  std::string cli, output;
};

TEST_F(CliTest, ConvertsAndStoresTheTarget) {
  WriteZip(input + "/desert.zip", DesertFiles());
  ASSERT_EQ(Cli({"--target", maps, input + "/desert.zip"}), 0) << output;
  EXPECT_TRUE(platform::FileExists(maps + "/desert (4p).vka"));
  EXPECT_EQ(vvtest::ReadFile(prog + "/rararudazudada.ini"), maps + "\r\n");
  EXPECT_TRUE(Printed("< " + input + "/desert.zip > file selected for processing"));
  EXPECT_TRUE(Printed("desert (4p).vka file created successfully"));
  // The created-files list comes last.
  const std::string tail =
      "\n[ desert.zip ]\n   -> desert (4p).vka\n\n" + std::string(39, '-') + "\n\n";
  EXPECT_EQ(output.substr(output.size() - tail.size()), tail);

  // Next time the stored target serves, and relative paths are taken from the caller's folder.
  WriteZip(input + "/hill.zip", DesertFiles("hill"));
  EXPECT_EQ(Cli({"hill.zip"}, input), 0) << output;
  EXPECT_TRUE(platform::FileExists(maps + "/hill (4p).vka"));
}

// Clears the locale variables for a scope, so a child starts under the bare "C" locale.
class ScopedCLocale {
 public:
  ScopedCLocale() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      unsetenv(name);
    }
  }
  ~ScopedCLocale() {
    for (const auto& [name, value] : saved_)
      if (value) setenv(name.c_str(), value->c_str(), 1);
  }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Names in packages are UTF-8 whatever the caller's locale. A library that makes its names
// through the locale (the real UnRAR library, where installed) must not cut a map's name at its
// first non-ASCII letter when the front end starts under the bare "C" locale.
TEST_F(CliTest, ConvertsNonAsciiNamesUnderTheCLocale) {
  std::vector<rartest::Item> items;
  for (const auto& [name, data] : DesertFiles("w\xC3\xBCste"))
    items.push_back({"W\xC3\xBCste/" + name, data});
  rartest::SaveVolumes(rartest::WriteRar5(items), input, "w\xC3\xBCste");
  ScopedCLocale cLocale;
  ASSERT_EQ(Cli({"--target", maps, input + "/w\xC3\xBCste.rar"}), 0) << output;
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"w\xC3\xBCste (4p).vka"});
}

TEST_F(CliTest, ExitCodes) {
  EXPECT_EQ(Cli({"--help"}), 0);
  EXPECT_TRUE(output.starts_with("usage: varevudov-cli")) << "asked for: on standard output";
  EXPECT_EQ(Cli({}), 2);
  EXPECT_EQ(Cli({"--bogus", "x.zip"}), 2);
  EXPECT_EQ(Cli({"--target"}), 2);
  WriteZip(input + "/desert.zip", DesertFiles());
  EXPECT_EQ(Cli({input + "/desert.zip"}), 2) << "no target stored yet";
  EXPECT_EQ(Cli({"--target", tmp / "missing", input + "/desert.zip"}), 2);

  // Any failed package or map, or a path that is no package, gives 1; the rest still converts.
  vvtest::WriteFile(input + "/broken.zip", "no zip");
  vvtest::WriteFile(input + "/notes.txt", "text");
  EXPECT_EQ(Cli({"--target", maps, input}), 1);
  EXPECT_TRUE(platform::FileExists(maps + "/desert (4p).vka"));
  EXPECT_EQ(Cli({"--target", maps, input + "/notes.txt"}), 1);
  EXPECT_EQ(Cli({"--target", maps, input + "/nothing.zip"}), 1);
  platform::CreateDir(prog + "/$$$");
  EXPECT_EQ(Cli({"--target", prog + "/$$$", input + "/desert.zip"}), 2) << "work area as target";
  EXPECT_TRUE(platform::DirectoryExists(prog + "/$$$"));
  EXPECT_EQ(vvtest::ReadFile(prog + "/rararudazudada.ini"), maps + "\r\n") << "refused, not stored";

  platform::DeleteFile(prog + "/archive.exe");
  EXPECT_EQ(Cli({"--target", maps, input + "/desert.zip"}), 2);
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"desert (4p).vka"});
}

// A stop signal in the middle of a folder run: the map being packed is finished, the run ends with
// its closing lines and an empty work area, and the exit code tells which signal it was.
TEST_F(CliTest, StopSignalEndsTheRunCleanly) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const std::string packages = tmp / ("packages" + std::to_string(signal));
    const std::string out = tmp / ("out" + std::to_string(signal));
    ASSERT_TRUE(platform::CreateDir(packages));
    ASSERT_TRUE(platform::CreateDir(out));
    const int count = 30;
    for (int i = 0; i < count; ++i)
      WriteZip(packages + "/map" + std::to_string(i) + ".zip",
               DesertFiles("map" + std::to_string(i)));

    const std::string log = tmp / "stop.log";
    std::vector<std::string> argv = {cli, "--target", out, packages};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, args.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Signalled once the first map is being packed.
    for (int waited = 0; waited < 10000; waited += 2) {
      if (platform::FileExists(log) &&
          vvtest::ReadFile(log).find(".vka file. Please wait...") != std::string::npos)
        break;
      usleep(2000);
    }
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    output = vvtest::ReadFile(log);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << output;

    size_t stops = 0;
    for (size_t at = output.find("conversion stopped by the user !\n"); at != std::string::npos;
         at = output.find("conversion stopped by the user !\n", at + 1))
      ++stops;
    EXPECT_EQ(stops, 1u) << output;
    // A stopped folder run starts no further package.
    EXPECT_EQ(output.find("Processing file :", output.find("conversion stopped by the user !")),
              std::string::npos)
        << output;
    EXPECT_TRUE(Printed("========================= Process Completed ! ========================="))
        << output;
    // No work area left, and every archive in the target is one the log reports as made.
    for (const char* name : {"$$$", "$map$", "$tmp$.txt", "$$$.bat"})
      EXPECT_FALSE(platform::FileExists(prog + "/" + name) ||
                   platform::DirectoryExists(prog + "/" + name))
          << name;
    const std::vector<std::string> made = Tree(out);
    EXPECT_GE(made.size(), 1u);
    EXPECT_LT(made.size(), static_cast<size_t>(count));
    for (const std::string& name : made) {
      const std::string map = name.substr(0, name.find(" ("));
      EXPECT_TRUE(Printed(map + " (4p).vka file created successfully")) << name;
    }
  }
}

}  // namespace
}  // namespace wftest
