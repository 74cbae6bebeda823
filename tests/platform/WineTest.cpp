// Naming files for a Windows program under Wine, and choosing the launcher. No Wine is started.
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Process.h"
#include "platform/Wine.h"

namespace {

using platform::WindowsNames;

using vvtest::ScopedEnv;

// A prefix whose dosdevices map C: into the prefix, D: to a games folder and Z: to the root.
class WindowsPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"pfx", "pfx/drive_c", "pfx/dosdevices", "games", "games/maps"})
      platform::CreateDir(tmp / dir);
    symlink("../drive_c", (tmp / "pfx/dosdevices/c:").c_str());
    symlink((tmp / "games").c_str(), (tmp / "pfx/dosdevices/d:").c_str());
    symlink("/", (tmp / "pfx/dosdevices/z:").c_str());
    symlink("/dev/ttyS0", (tmp / "pfx/dosdevices/com1").c_str());
    symlink((tmp / "games").c_str(), (tmp / "via-link").c_str());
  }
  std::string Path(const WindowsNames& names, const std::string& path) {
    std::string out;
    return names.Path(path, out) ? out : "(refused)";
  }
  vvtest::TempDir tmp;
};

TEST_F(WindowsPathTest, DriveFromDosDevicesThenBackslashes) {
  const WindowsNames names(platform::ReadDosDevices(tmp / "pfx"), 1252, "UTF-8");
  std::string games = tmp / "games";
  for (char& c : games)
    if (c == '/') c = '\\';
  const std::pair<std::string, std::string> cases[] = {
      {"/opt/vv", "Z:\\opt\\vv"},
      {"/opt/vv/", "Z:\\opt\\vv"},
      {"/", "Z:\\"},
      {"/home/ann/my maps/desert (4p).vka", "Z:\\home\\ann\\my maps\\desert (4p).vka"},
      {"/opt/v$v/$map$/Scenarios/MP/big hill/Loading/big hill.tga",
       "Z:\\opt\\v$v\\$map$\\Scenarios\\MP\\big hill\\Loading\\big hill.tga"},
      {"/x/caf\xC3\xA9", "Z:\\x\\caf\xC3\xA9"},  // argument bytes stay in the Unix charset
      {tmp / "games", "D:\\"},
      {tmp / "games/maps/new.vka", "D:\\maps\\new.vka"},
      // Wine follows links on the way, so a folder reached through one is on its drive too.
      {tmp / "via-link/maps", "D:\\maps"},
      {tmp / "pfx/drive_c/Games/x.vka", "C:\\Games\\x.vka"},
      {tmp / "gamesX/a", "Z:" + games + "X\\a"},
      // What no Windows name can hold is refused.
      {"/opt/a:b", "(refused)"},
      {"/opt/what?", "(refused)"},
      {"/opt/back\\slash", "(refused)"},
      {"/opt/tab\tname", "(refused)"},
      {"/opt/trailing./x", "(refused)"},
      {"/opt/trailing /x", "(refused)"},
      {"/opt/../etc", "(refused)"},
      {"/opt/com10/console/nul_map", "Z:\\opt\\com10\\console\\nul_map"},
      {"relative/path", "(refused)"},
      {"", "(refused)"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(Path(names, path), expected) << path;
  // Names Windows takes for a device, in every spelling, and names an ANSI program would read as
  // another through the best-fit mapping (fullwidth quote, backslash, colon).
  for (const std::string name :
       {"com1.vka", "NUL .info", "Lpt9/x", "cOm\xC2\xB9", "conin$", "CONOUT$.tar.gz", "aux  ..x",
        "x\xEF\xBC\x82 -e \xEF\xBC\x82Z\xEF\xBC\x9A\xEF\xBC\xBCo.vka", "a\"b"})
    EXPECT_EQ(Path(names, "/opt/" + name), "(refused)") << name;
}

TEST_F(WindowsPathTest, WithoutPrefixOrMappingItIsZ) {
  EXPECT_TRUE(platform::ReadDosDevices(tmp / "nosuch").empty());
  const WindowsNames none(platform::ReadDosDevices(tmp / "nosuch"), 1252, "UTF-8");
  EXPECT_EQ(
      Path(none, tmp / "games/maps"), "Z:" + [&] {
        std::string p = tmp / "games/maps";
        for (char& c : p)
          if (c == '/') c = '\\';
        return p;
      }());
  // Under C, Wine reads arguments as ASCII: a non-ASCII name cannot be passed.
  const WindowsNames ascii({}, 1252, "ANSI_X3.4-1968");
  EXPECT_EQ(Path(ascii, "/x/caf\xC3\xA9"), "(refused)");
  EXPECT_EQ(Path(ascii, "/x/cafe"), "Z:\\x\\cafe");
  // The environment's prefix: WINEPREFIX, else ~/.wine.
  {
    ScopedEnv prefix("WINEPREFIX", tmp / "pfx");
    EXPECT_EQ(platform::WinePrefix(), tmp / "pfx");
  }
  ScopedEnv prefix("WINEPREFIX", nullptr);
  ScopedEnv home("HOME", tmp.path());
  EXPECT_EQ(platform::WinePrefix(), tmp / ".wine");
}

TEST(WindowsNamesAnsi, NamesInTheCodePageOrRefused) {
  struct Case {
    unsigned codePage;
    std::string text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {1252, "plain $map$ (4p)", "plain $map$ (4p)"},
      {1252, "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
      {1252, "\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0", std::nullopt},  // Cyrillic
      {1251, "\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0", "\xEA\xE0\xF0\xF2\xE0"},
      {1251, "caf\xC3\xA9", std::nullopt},
      {932, "\xE5\x9C\xB0\xE5\x9B\xB3", "\x92\x6E\x90\x7D"},
      {65001, "caf\xC3\xA9", "caf\xC3\xA9"},
      {1252, "broken \xC3", std::nullopt},  // not UTF-8 at all
  };
  for (const Case& c : cases) {
    const WindowsNames names({}, c.codePage, "UTF-8");
    std::string out;
    const bool ok = names.Ansi(c.text, out);
    EXPECT_EQ(ok, c.expected.has_value()) << c.codePage << " " << c.text;
    if (ok && c.expected) {
      EXPECT_EQ(out, *c.expected) << c.codePage << " " << c.text;
    }
  }
}

TEST(WineCodePage, FollowsTheLocaleAsWineDoes) {
  const std::pair<std::string, unsigned> cases[] = {
      {"", 1252},
      {"C", 1252},
      {"C.UTF-8", 1252},
      {"POSIX", 1252},
      {"en_US.UTF-8", 1252},
      {"de_DE@euro", 1252},
      {"ru_RU.UTF-8", 1251},
      {"uk_UA", 1251},
      {"pl_PL", 1250},
      {"cs_CZ.UTF-8", 1250},
      {"el_GR", 1253},
      {"el_CY", 1252},
      {"tr_TR.UTF-8", 1254},
      {"he_IL", 1255},
      {"ar_EG", 1256},
      {"lt_LT", 1257},
      {"vi_VN", 1258},
      {"th_TH", 874},
      {"ja_JP.UTF-8", 932},
      {"zh_CN.GB18030", 936},
      {"zh_TW.UTF-8", 950},
      {"ko_KR.EUC-KR", 949},
      {"hi_IN", 65001},
      {"ka_GE", 65001},
      {"sr_RS@latin", 1250},
      {"ru_UA.UTF-8", 1252},
  };
  for (const auto& [locale, cp] : cases)
    EXPECT_EQ(platform::AnsiCodePageForLocale(locale), cp) << locale;

  // A locale that is not installed leaves C, and then Wine looks at LC_ALL alone.
  locale_t installed = newlocale(LC_ALL_MASK, "xx_YY.UTF-8", static_cast<locale_t>(0));
  ASSERT_EQ(installed, static_cast<locale_t>(0));
  ScopedEnv ctype("LC_CTYPE", nullptr);
  {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv lang("LANG", "xx_YY.UTF-8");
    EXPECT_EQ(platform::WineAnsiCodePage(), 1252u);
  }
  ScopedEnv lang("LANG", nullptr);
  ScopedEnv all("LC_ALL", "ru_RU.UTF-8");
  if (newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0)) == static_cast<locale_t>(0)) {
    EXPECT_EQ(platform::WineAnsiCodePage(), 1251u);
  }
}

// The launcher: VAREVUDOV_WINE (a path or a name on PATH), else wine on PATH, else none.
TEST(WineLauncher, ChosenFromTheEnvironmentThenPath) {
  vvtest::TempDir dir;
  platform::CreateDir(dir / "bin");
  for (const char* name : {"bin/wine", "bin/my-wine", "plain-file"}) {
    vvtest::WriteFile(dir / name, "#!/bin/sh\n");
    chmod((dir / name).c_str(), std::string(name) == "plain-file" ? 0644 : 0755);
  }
  ScopedEnv path("PATH", "/nonexistent:" + dir / "bin");
  {
    ScopedEnv chosen("VAREVUDOV_WINE", nullptr);
    EXPECT_EQ(platform::FindWineLauncher(), dir / "bin/wine");
  }
  {
    ScopedEnv chosen("VAREVUDOV_WINE", "my-wine");
    EXPECT_EQ(platform::FindWineLauncher(), dir / "bin/my-wine");
  }
  {
    ScopedEnv chosen("VAREVUDOV_WINE", dir / "bin/my-wine");
    EXPECT_EQ(platform::FindWineLauncher(), dir / "bin/my-wine");
  }
  {
    // A launcher that is named but missing is missing: no quiet fallback to another Wine.
    ScopedEnv chosen("VAREVUDOV_WINE", dir / "nosuch");
    EXPECT_EQ(platform::FindWineLauncher(), "");
    ScopedEnv notExecutable("VAREVUDOV_WINE", dir / "plain-file");
    EXPECT_EQ(platform::FindWineLauncher(), "");
  }
  ScopedEnv chosen("VAREVUDOV_WINE", nullptr);
  ScopedEnv empty("PATH", "/nonexistent");
  EXPECT_EQ(platform::FindWineLauncher(), "");
}

// A Windows executable starts through the launcher with its path first; WINEDEBUG is quiet
// unless the user chose otherwise. Any other program starts as it is.
TEST(WineLauncher, WindowsExecutableGoesThroughTheLauncher) {
  vvtest::TempDir dir;
  vvtest::WriteFile(dir / "archive.exe", "MZ\x90");
  vvtest::WriteFile(dir / "native",
                    "\x7F"
                    "ELF");
  ScopedEnv chosen("VAREVUDOV_WINE", "/bin/true");
  ScopedEnv debug("WINEDEBUG", nullptr);
  std::string launch;
  std::vector<std::string> argv, env;
  ASSERT_TRUE(platform::PrepareLaunch(dir / "archive.exe", {"archive.exe", "-a", "a b"}, launch,
                                      argv, env));
  EXPECT_EQ(launch, "/bin/true");
  EXPECT_EQ(argv, (std::vector<std::string>{"/bin/true", dir / "archive.exe", "-a", "a b"}));
  EXPECT_EQ(std::count(env.begin(), env.end(), "WINEDEBUG=-all"), 1);
  {
    ScopedEnv own("WINEDEBUG", "+file");
    ASSERT_TRUE(platform::PrepareLaunch(dir / "archive.exe", {"archive.exe"}, launch, argv, env));
    EXPECT_EQ(std::count(env.begin(), env.end(), "WINEDEBUG=+file"), 1);
    EXPECT_EQ(std::count(env.begin(), env.end(), "WINEDEBUG=-all"), 0);
  }
  ASSERT_TRUE(platform::PrepareLaunch(dir / "native", {"native", "x"}, launch, argv, env));
  EXPECT_EQ(launch, dir / "native");
  EXPECT_EQ(argv, (std::vector<std::string>{"native", "x"}));
  EXPECT_EQ(std::count(env.begin(), env.end(), "WINEDEBUG=-all"), 0);

  ScopedEnv missing("VAREVUDOV_WINE", dir / "nosuch");
  EXPECT_FALSE(platform::PrepareLaunch(dir / "archive.exe", {"archive.exe"}, launch, argv, env));
}

}  // namespace
