// Every test executable runs without a display and away from the user's own files: Qt's offscreen
// platform on a screen large enough for the main window, a private runtime folder, and a private
// home with its own configuration and data folders (Qt's dialogs keep their history there). Set
// before main(), so it holds also when a test binary is run by hand. A platform or runtime folder
// set outside wins; the home never does.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    std::string pattern = "/tmp/vvtest-home-XXXXXX";
    if (mkdtemp(pattern.data())) home = pattern;
    const std::string config = home + "/.config", data = home + "/.local/share",
                      cache = home + "/.cache";
    for (const std::string& folder : {config, home + "/.local", data, cache})
      mkdir(folder.c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);

    const std::string screens = home + "/screens.json";
    std::ofstream(screens) << R"({"screens": [{"name": "test", "x": 0, "y": 0, )"
                           << R"("width": 1280, "height": 1024, "logicalDpi": 96}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 0);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
      std::string folder = "/tmp/vvtest-runtime-" + std::to_string(getuid());
      mkdir(folder.c_str(), 0700);
      chmod(folder.c_str(), 0700);
      setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
  }
  ~TestEnvironment() {
    std::error_code ignored;
    if (home.size() > 5) std::filesystem::remove_all(home, ignored);
  }
  std::string home;
};

const TestEnvironment environment;

}  // namespace
