// Packages as players make them, built at test time by the real archivers and converted through
// varevudov-cli: every map made holds all its files, byte for byte, and every entry left out is
// named once in the log with its reason. RAR rows run with the UnRAR stand-in and again with the
// system's real library.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "RarTestSupport.h"
#include "WorkflowFixture.h"
#include "platform/Strings.h"

namespace wftest {
namespace {

using Command = std::vector<std::string>;  // run in the source folder; "PKG" is the package path
using Link =
    std::pair<std::string, std::string>;  // link path, its target as written; "=path": hard
using LeftOut = std::pair<std::string, std::string>;  // entry as listed, reason in its line

struct PackageRow {
  std::string name{};
  Files files{};                // the source folder, relative paths
  std::vector<Link> links{};    // symbolic links in the source folder
  std::vector<Command> make{};  // commands that make the package from the source folder
  std::string package{};        // file name of the package; ".rar" runs with both libraries
  std::string damage{};         // bytes of the package whose middle byte is flipped afterwards
  int exitCode = 0;
  std::vector<std::string> vkas{};  // the VKA files in the target folder afterwards
  std::vector<LeftOut> leftOut{};
  std::string refusal{};  // the reason of the package's error line, when it is refused as a whole
  std::vector<std::string> lines{};  // further lines the log holds
};

// A map under a folder, its files long enough for the archivers to compress them.
Files Map(const std::string& folder, const std::string& base) {
  Files files;
  for (const auto& [name, data] : DesertFiles(base)) {
    std::string big;
    while (big.size() < 4000) big += data + "\n";
    files.push_back({folder + name, big});
  }
  return files;
}

Files Without(Files files, const std::string& name) {
  files.erase(std::remove_if(files.begin(), files.end(), [&](auto& f) { return f.first == name; }),
              files.end());
  return files;
}

std::vector<LeftOut> Every(const Files& files, const std::string& reason) {
  std::vector<LeftOut> out;
  for (const auto& file : files) out.push_back({file.first, reason});
  return out;
}

const Files kTundra = Map("Tundra/", "tundra");

// The files with to's bytes replaced by those of from: identical files for a file copy.
Files WithCopy(Files files, const std::string& from, const std::string& to) {
  std::string bytes;
  for (const auto& [name, data] : files)
    if (name == from) bytes = data;
  for (auto& [name, data] : files)
    if (name == to) data = bytes;
  return files;
}

Files Joined(Files a, const Files& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string LaterPart(int part) {
  return "error - alpha.part" + std::to_string(part) + ".rar : is part " + std::to_string(part) +
         " of a multi-volume archive; convert its first part !";
}

std::vector<PackageRow> Rows() {
  Files inside = Without(kTundra, "Tundra/tundra_mm.tga");
  inside.push_back({"Tundra/art/minimap.tga", "the minimap through a link"});
  const Command zip = {"zip", "-qry", "PKG", "Tundra"};
  return {
      {.name = "deflate64",
       .files = kTundra,
       .make = {{"7zz", "a", "-tzip", "-mm=Deflate64", "PKG", "Tundra"}},
       .package = "tundra.zip",
       .exitCode = 1,
       .leftOut = Every(kTundra, "compression method Deflate64 not supported"),
       .refusal = "compression method Deflate64 not supported"},
      {.name = "crc",
       .files = kTundra,
       .make = {{"zip", "-qr0", "PKG", "Tundra"}},
       .package = "tundra.zip",
       .damage = kTundra[7].second,
       .exitCode = 1,
       .leftOut = {{kTundra[7].first, "damaged data (CRC)"}}},
      {.name = "symlink inside",
       .files = inside,
       .links = {{"Tundra/tundra_mm.tga", "art/minimap.tga"}, {"Tundra/notes.txt", "../../x.txt"}},
       .make = {zip},
       .package = "tundra.zip",
       .vkas = {"tundra (4p).vka"},
       .leftOut = {{"Tundra/notes.txt", "link not followed"}}},
      {.name = "symlink outside",
       .files = Without(kTundra, "Tundra/tundra_tty.tga"),
       .links = {{"Tundra/tundra_tty.tga", "../../tty.tga"}},
       .make = {zip},
       .package = "tundra.zip",
       .exitCode = 1,
       .leftOut = {{"Tundra/tundra_tty.tga", "link not followed"}}},
      {.name = "dot names",
       .files = kTundra,
       .make = {{"bsdtar", "--format", "zip", "-cf", "PKG", "-C", "Tundra", "."}},
       .package = "tundra.zip",
       .vkas = {"tundra (4p).vka"}},
      {.name = "encrypted zip",
       .files = kTundra,
       .make = {{"zip", "-qr", "-P", "secret", "PKG", "Tundra"}},
       .package = "tundra.zip",
       .exitCode = 1,
       .leftOut = Every(kTundra, "password needed"),
       .refusal = "password protected"},
      {.name = "rar hard link",
       .files = Without(kTundra, "Tundra/tundra_tty.tga"),
       .links = {{"Tundra/tundra_tty.tga", "=Tundra/tundra_tml.tga"}},
       .make = {{"rar", "a", "-idq", "-oh", "PKG", "Tundra"}},
       .package = "tundra.rar",
       .vkas = {"tundra (4p).vka"}},
      {.name = "rar file copy",
       .files = WithCopy(kTundra, "Tundra/tundra_tml.tga", "Tundra/tundra_tty.tga"),
       .make = {{"rar", "a", "-idq", "-oi:1", "PKG", "Tundra"}},
       .package = "tundra.rar",
       .vkas = {"tundra (4p).vka"}},
      {.name = "rar symlink inside",
       .files = inside,
       .links = {{"Tundra/tundra_mm.tga", "art/minimap.tga"}, {"Tundra/notes.txt", "../../x.txt"}},
       .make = {{"rar", "a", "-idq", "-ol", "PKG", "Tundra"}},
       .package = "tundra.rar",
       .vkas = {"tundra (4p).vka"},
       .leftOut = {{"Tundra/notes.txt", "link not followed"}}},
      {.name = "rar symlink outside",
       .files = Without(kTundra, "Tundra/tundra_tty.tga"),
       .links = {{"Tundra/tundra_tty.tga", "../../tty.tga"}},
       .make = {{"rar", "a", "-idq", "-ol", "PKG", "Tundra"}},
       .package = "tundra.rar",
       .exitCode = 1,
       .leftOut = {{"Tundra/tundra_tty.tga", "link not followed"}}},
      {.name = "rar times in nanoseconds",
       .files = kTundra,
       .make = {{"rar", "a", "-idq", "-s", "-tsa4", "-tsc4", "PKG", "Tundra"}},
       .package = "tundra.rar",
       .vkas = {"tundra (4p).vka"}},
      // A folder run over the three parts: the second map starts in part 2; the later parts
      // are named, not converted again, and the run succeeds.
      {.name = "rar volume set",
       .files = Joined(Map("Alpha/", "alpha"), Map("Bravo/", "bravo")),
       .make = {{"mkdir", "PKG"},
                {"rar", "a", "-idq", "-m0", "-v30k", "../set/alpha.rar", "Alpha", "Bravo"}},
       .package = "set",
       .vkas = {"alpha (4p).vka", "bravo (4p).vka"},
       .lines = {LaterPart(2), LaterPart(3)}},
      {.name = "rar volume missing",
       .files = Joined(Map("Alpha/", "alpha"), Map("Bravo/", "bravo")),
       .make = {{"rar", "a", "-idq", "-m0", "-v30k", "../alpha.rar", "Alpha", "Bravo"},
                {"rm", "../alpha.part3.rar"}},
       .package = "alpha.part1.rar",
       .exitCode = 1,
       .refusal = "missing volume alpha.part3.rar"},
      {.name = "encrypted rar",
       .files = kTundra,
       .make = {{"rar", "a", "-idq", "-hpsecret", "PKG", "Tundra"}},
       .package = "tundra.rar",
       .exitCode = 1,
       .refusal = "password protected"},
  };
}

std::string Bare(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

// Short enough for a readable failure, and different for any two contents the rows hold.
std::string Digest(const std::string& bytes) {
  return std::to_string(bytes.size()) + "/" + std::to_string(std::hash<std::string>{}(bytes));
}

class PackageTableTest : public WorkflowTest {
 protected:
  void SetUp() override {
    WorkflowTest::SetUp();
    cli = prog + "/varevudov-cli";
    vvtest::WriteFile(cli, vvtest::ReadFile(VV_CLI_PATH));
    chmod(cli.c_str(), 0755);
  }

  // The row's package in a fresh input folder; false when a tool failed.
  bool Make(const PackageRow& row, const std::string& source, const std::string& package) {
    namespace fs = std::filesystem;
    for (const auto& [rel, data] : row.files) {
      fs::create_directories(fs::path(source + "/" + rel).parent_path());
      vvtest::WriteFile(source + "/" + rel, data);
    }
    for (const auto& [rel, target] : row.links)
      if (target[0] == '=')
        fs::create_hard_link(source + "/" + target.substr(1), source + "/" + rel);
      else
        fs::create_symlink(target, source + "/" + rel);
    for (Command command : row.make) {
      for (std::string& arg : command)
        if (arg == "PKG") arg = package;
      command.insert(command.begin(), "/usr/bin/env");  // finds the tool on PATH
      if (RunProgram(command, source) != 0) return false;
    }
    if (!row.damage.empty()) {
      std::string bytes = vvtest::ReadFile(package);
      const size_t at = bytes.find(row.damage);
      if (at == std::string::npos) return false;
      bytes[at + row.damage.size() / 2] ^= 0x55;
      vvtest::WriteFile(package, bytes);
    }
    return true;
  }

  // Every map made holds its files from the source, byte for byte, and nothing else.
  void CheckVka(const PackageRow& row, const std::string& vka, const std::string& source) {
    const std::string out = tmp / (std::to_string(runs) + "-" + vka + "-unpacked");
    ASSERT_EQ(RunProgram({prog + "/archive.exe", "-a", maps + "/" + vka, "-e", out}, prog), 0);
    const std::string map = platform::LowerCase(vka.substr(0, vka.find(" (")));
    std::vector<std::string> expected, got;
    for (const auto& list : {row.files, Files(row.links.begin(), row.links.end())})
      for (const auto& entry : list) {
        const std::string bare = platform::LowerCase(Bare(entry.first));
        if (bare.rfind(map + ".", 0) == 0 || bare.rfind(map + "_", 0) == 0)
          expected.push_back(bare + " " + Digest(vvtest::ReadFile(source + "/" + entry.first)));
      }
    for (const std::string& rel : Tree(out))
      got.push_back(platform::LowerCase(Bare(rel)) + " " +
                    Digest(vvtest::ReadFile(out + "/" + rel)));
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << vka;
  }

  void Run(const PackageRow& row, const std::string& library) {
    SCOPED_TRACE(row.name + (library.empty() ? "" : " with " + library));
    const std::string run = tmp / std::to_string(++runs);
    const std::string source = run + "/source", package = run + "/" + row.package;
    std::filesystem::create_directories(source);
    ASSERT_TRUE(Make(row, source, package)) << "the package could not be made";
    for (const std::string& vka : Tree(maps)) platform::DeleteFile(maps + "/" + vka);
    platform::DeleteFile(prog + "/libunrar.so");
    if (!library.empty()) std::filesystem::copy_file(library, prog + "/libunrar.so");

    EXPECT_EQ(RunProgram({cli, "--target", maps, package}, run, run + "/log"), row.exitCode);
    const std::string log = vvtest::ReadFile(run + "/log");
    EXPECT_EQ(Tree(maps), row.vkas) << log;
    for (const std::string& vka : Tree(maps)) CheckVka(row, vka, source);
    std::vector<std::string> leftOut, expected;
    for (size_t at = log.find("\nleft out "); at != std::string::npos;
         at = log.find("\nleft out ", at + 1))
      leftOut.push_back(log.substr(at + 1, log.find('\n', at + 1) - at - 1));
    for (const auto& [entry, reason] : row.leftOut)
      expected.push_back("left out " + entry + " : " + reason + " !");
    std::sort(leftOut.begin(), leftOut.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(leftOut, expected) << log;
    for (const std::string& line : row.lines)
      EXPECT_NE(log.find("\n" + line + "\n"), std::string::npos) << line << "\n" << log;
    if (!row.refusal.empty()) {
      EXPECT_NE(log.find("\nerror - " + row.package + " : " + row.refusal + " !\n"),
                std::string::npos)
          << log;
    }
  }

  std::string cli;
  int runs = 0;
};

TEST_F(PackageTableTest, EveryEntryLandsOrIsNamedWithItsReason) {
  const std::string real = rartest::SystemUnrarPath();
  for (const PackageRow& row : Rows()) {
    // A volume set is converted as a folder: its rows are told by the tool that makes them.
    const bool rar = std::any_of(row.make.begin(), row.make.end(),
                                 [](const Command& command) { return command[0] == "rar"; });
    Run(row, rar ? rartest::StandinPath() : "");
    if (!rar) continue;
    ASSERT_FALSE(real.empty()) << "the real UnRAR library is missing: run scripts/install-deps";
    Run(row, real);
  }
}

}  // namespace
}  // namespace wftest
