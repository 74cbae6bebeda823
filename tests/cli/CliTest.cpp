// The command-line front end: its output, exit codes and use of the settings file.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

#include "RarTestSupport.h"
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

  // A program folder that other users may change runs nothing.
  chmod(prog.c_str(), 0777);
  EXPECT_EQ(Cli({"--target", maps, input + "/desert.zip"}), 2);
  chmod(prog.c_str(), 0700);
  platform::DeleteFile(prog + "/archive.exe");
  EXPECT_EQ(Cli({"--target", maps, input + "/desert.zip"}), 2);
  EXPECT_EQ(Tree(maps), std::vector<std::string>{"desert (4p).vka"});
}

// A stop signal in the middle of a folder run: the map being packed is finished, the run ends with
// its closing lines and an empty work area, and the exit code tells which signal it was.
TEST_F(CliTest, StopSignalEndsTheRunCleanly) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
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

// A front end killed outright takes its archiver with it: nothing is left to finish a VKA file
// unreported or to hold the next run's files.
TEST_F(CliTest, KilledFrontEndTakesItsArchiverAlong) {
  platform::DeleteFile(prog + "/archive.exe");
  vvtest::WriteFile(prog + "/archive.exe", "#!/bin/sh\necho $$ >archiver.pid\nexec sleep 60\n");
  chmod((prog + "/archive.exe").c_str(), 0755);
  WriteZip(input + "/desert.zip", DesertFiles());
  const std::string package = input + "/desert.zip";
  const char* args[] = {cli.c_str(), "--target", maps.c_str(), package.c_str(), nullptr};
  pid_t front = 0;
  ASSERT_EQ(posix_spawn(&front, args[0], nullptr, nullptr, const_cast<char**>(args), environ), 0);
  const std::string pidFile = prog + "/archiver.pid";
  for (int waited = 0;
       waited < 10000 && rartest::ReadOrEmpty(pidFile).find('\n') == std::string::npos; waited += 2)
    usleep(2000);
  const pid_t archiver = std::atoi(rartest::ReadOrEmpty(pidFile).c_str());
  ASSERT_GT(archiver, 0);
  kill(front, SIGKILL);
  waitpid(front, nullptr, 0);
  // Gone: no such process, or one that has ended and only waits to be reaped.
  auto gone = [&] {
    const std::string stat = rartest::ReadOrEmpty("/proc/" + std::to_string(archiver) + "/stat");
    const size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.compare(close, 4, ") Z ") == 0);
  };
  int waited = 0;
  for (; waited < 1000 && !gone(); waited += 10) usleep(10000);
  EXPECT_TRUE(gone()) << "archive.exe " << archiver << " still runs";
  if (!gone()) kill(archiver, SIGKILL);
}

// Packages as players make them, built by the real archivers in a source folder that holds the
// maps Tundra, Alpha and Bravo ("PKG" in the command is the package), then converted: every map
// made holds its files byte for byte, and every entry left out is named once with its reason.
struct PackageRow {
  std::string name, make, package = "tundra.zip";
  int exitCode = 0;
  std::vector<std::string> vkas{};                             // the target folder afterwards
  std::vector<std::pair<std::string, std::string>> leftOut{};  // entry as listed, reason
  std::vector<std::string> lines{};  // further lines of the log, refusals among them
  std::string damage{};  // a file whose bytes get their middle byte flipped in the package
};

// Long enough for the archivers to compress them.
const Files kSource = [] {
  Files files;
  for (const auto& [folder, map] :
       {std::pair{"Tundra/", "tundra"}, {"Alpha/", "alpha"}, {"Bravo/", "bravo"}})
    for (const auto& [name, data] : DesertFiles(map)) {
      std::string big;
      while (big.size() < 4000) big += data + "\n";
      files.push_back({folder + name, big});
    }
  return files;
}();

std::vector<std::pair<std::string, std::string>> EveryTundraFile(const std::string& reason) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& file : kSource)
    if (file.first.starts_with("Tundra/")) out.push_back({file.first, reason});
  return out;
}

std::string LaterPart(int part) {
  return "error - alpha.part" + std::to_string(part) + ".rar : is part " + std::to_string(part) +
         " of a multi-volume archive; convert its first part !";
}

const std::string kLinksInside =
    "mkdir Tundra/art && echo minimap >Tundra/art/minimap.tga && ln -s ../../x.txt Tundra/notes.txt"
    " && ln -sf art/minimap.tga Tundra/tundra_mm.tga && ";
const std::string kLinkOutside = "ln -sf ../../tty.tga Tundra/tundra_tty.tga && ";
const std::string kVolumes = "rar a -idq -m0 -v30k ";
const std::vector<std::string> kTundraVka = {"tundra (4p).vka"};
const std::pair<std::string, std::string> kNotes = {"Tundra/notes.txt", "link not followed"};
const std::pair<std::string, std::string> kTty = {"Tundra/tundra_tty.tga", "link not followed"};

// clang-format off
const PackageRow kPackageRows[] = {
    {.name = "deflate64", .make = "7zz a -tzip -mm=Deflate64 PKG Tundra", .exitCode = 1,
     .leftOut = EveryTundraFile("compression method Deflate64 not supported"),
     .lines = {"error - tundra.zip : compression method Deflate64 not supported !"}},
    {.name = "crc", .make = "zip -qr0 PKG Tundra", .exitCode = 1,
     .leftOut = {{"Tundra/tundra_tml.tga", "damaged data (CRC)"}},
     .damage = "Tundra/tundra_tml.tga"},
    {.name = "symlink inside", .make = kLinksInside + "zip -qry PKG Tundra", .vkas = kTundraVka,
     .leftOut = {kNotes}},
    {.name = "symlink outside", .make = kLinkOutside + "zip -qry PKG Tundra", .exitCode = 1,
     .leftOut = {kTty}},
    {.name = "dot names", .make = "bsdtar --format zip -cf PKG -C Tundra .", .vkas = kTundraVka},
    {.name = "encrypted zip", .make = "zip -qr -P secret PKG Tundra", .exitCode = 1,
     .leftOut = EveryTundraFile("password needed"),
     .lines = {"error - tundra.zip : password protected !"}},
    {.name = "rar hard link", .make = "ln -f Tundra/tundra_tml.tga Tundra/tundra_tty.tga && "
     "rar a -idq -oh PKG Tundra", .package = "tundra.rar", .vkas = kTundraVka},
    {.name = "rar file copy", .make = "cp Tundra/tundra_tml.tga Tundra/tundra_tty.tga && "
     "rar a -idq -oi:1 PKG Tundra", .package = "tundra.rar", .vkas = kTundraVka},
    {.name = "rar symlink inside", .make = kLinksInside + "rar a -idq -ol PKG Tundra",
     .package = "tundra.rar", .vkas = kTundraVka, .leftOut = {kNotes}},
    {.name = "rar symlink outside", .make = kLinkOutside + "rar a -idq -ol PKG Tundra",
     .package = "tundra.rar", .exitCode = 1, .leftOut = {kTty}},
    {.name = "rar times in nanoseconds", .make = "rar a -idq -s -tsa4 -tsc4 PKG Tundra",
     .package = "tundra.rar", .vkas = kTundraVka},
    // A folder run over the three parts: the second map starts in part 2; the later parts are
    // named, not converted again, and the run succeeds.
    {.name = "rar volume set", .make = "mkdir PKG && " + kVolumes + "PKG/alpha.rar Alpha Bravo",
     .package = "set", .vkas = {"alpha (4p).vka", "bravo (4p).vka"},
     .lines = {LaterPart(2), LaterPart(3)}},
    {.name = "rar volume missing",
     .make = kVolumes + "../alpha.rar Alpha Bravo && rm ../alpha.part3.rar",
     .package = "alpha.part1.rar", .exitCode = 1,
     .lines = {"error - alpha.part1.rar : missing volume alpha.part3.rar !"}},
    {.name = "encrypted rar", .make = "rar a -idq -hpsecret PKG Tundra", .package = "tundra.rar",
     .exitCode = 1, .lines = {"error - tundra.rar : password protected !"}},
};
// clang-format on

// The map's files in the source, byte for byte, are what it unpacked to, and nothing else.
void ExpectUnpackedAsInSource(const std::string& unpacked, const std::string& source,
                              const std::string& map) {
  auto bare = [](const std::string& rel) { return rel.substr(rel.find_last_of('/') + 1); };
  auto digest = [](const std::string& path) {
    return std::to_string(std::hash<std::string>{}(vvtest::ReadFile(path)));
  };
  std::multiset<std::string> expected, got;
  for (const std::string& rel : Tree(source))
    if (bare(rel).starts_with(map + ".") || bare(rel).starts_with(map + "_"))
      expected.insert(bare(rel) + " " + digest(source + "/" + rel));
  for (const std::string& rel : Tree(unpacked))
    got.insert(bare(rel) + " " + digest(unpacked + "/" + rel));
  EXPECT_EQ(got, expected) << map;
}

TEST_F(CliTest, PackagesOfTheRealArchiversConvertOrNameWhatIsLeftOut) {
  const std::string real = rartest::SystemUnrarPath();
  ASSERT_FALSE(real.empty()) << "the real UnRAR library is missing: run scripts/install-deps";
  int runs = 0;
  for (const PackageRow& row : kPackageRows) {
    const bool rar = row.make.find("rar a") != std::string::npos;
    for (const std::string& library :
         rar ? std::vector{rartest::StandinPath(), real} : std::vector<std::string>{""}) {
      SCOPED_TRACE(row.name + " " + library);
      const std::string run = tmp / std::to_string(++runs), source = run + "/source";
      const std::string package = run + "/" + row.package, target = run + "/maps";
      for (const auto& [rel, data] : kSource) {
        std::filesystem::create_directories(
            std::filesystem::path(source + "/" + rel).parent_path());
        vvtest::WriteFile(source + "/" + rel, data);
      }
      std::filesystem::create_directories(target);
      std::string make = row.make;
      for (size_t at; (at = make.find("PKG")) != std::string::npos;) make.replace(at, 3, package);
      ASSERT_EQ(RunProgram({"/bin/sh", "-c", make}, source), 0) << make;
      if (!row.damage.empty()) {
        const std::string file = vvtest::ReadFile(source + "/" + row.damage);
        std::string bytes = vvtest::ReadFile(package);
        const size_t at = bytes.find(file);
        ASSERT_NE(at, std::string::npos);
        bytes[at + file.size() / 2] ^= 0x55;
        vvtest::WriteFile(package, bytes);
      }
      platform::DeleteFile(prog + "/libunrar.so");
      if (rar) std::filesystem::copy_file(library, prog + "/libunrar.so");

      EXPECT_EQ(Cli({"--target", target, package}, run), row.exitCode) << output;
      EXPECT_EQ(Tree(target), row.vkas) << output;
      for (const std::string& vka : Tree(target)) {
        const std::string out = run + "/unpacked " + vka;
        ASSERT_EQ(RunProgram({prog + "/archive.exe", "-a", target + "/" + vka, "-e", out}, prog),
                  0);
        ExpectUnpackedAsInSource(out, source, vka.substr(0, vka.find(" (")));
      }
      std::multiset<std::string> leftOut, expected;
      std::istringstream log(output);
      for (std::string line; std::getline(log, line);)
        if (line.starts_with("left out ")) leftOut.insert(line);
      for (const auto& [entry, reason] : row.leftOut)
        expected.insert("left out " + entry + " : " + reason + " !");
      EXPECT_EQ(leftOut, expected) << output;
      for (const std::string& line : row.lines)
        EXPECT_TRUE(Printed(line)) << line << "\n" << output;
    }
  }
}

}  // namespace
}  // namespace wftest
