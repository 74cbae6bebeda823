// Every test executable runs without a display: Qt's offscreen platform, and a private runtime
// folder so Qt does not warn about a missing or shared one. Set before main(), so it holds also
// when a test binary is run by hand; a value set outside wins.
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
  }
};

const TestEnvironment environment;

}  // namespace
