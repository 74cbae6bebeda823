// Every test executable runs without a display: Qt's offscreen platform, and a private runtime
// folder so Qt does not warn about a missing or shared one; and with a private home. Set before
// main(), so it holds also when a test binary is run by hand; a value set outside wins.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
      std::string folder = "/tmp/vvtest-runtime-" + std::to_string(getuid());
      mkdir(folder.c_str(), 0700);
      chmod(folder.c_str(), 0700);
      setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
    // Nothing a test runs reaches the real home: a per-user program folder, Qt's caches and
    // settings land in a private one.
    const std::string home = "/tmp/vvtest-home-" + std::to_string(getuid());
    mkdir(home.c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) unsetenv(name);
  }
};

const TestEnvironment environment;

}  // namespace
