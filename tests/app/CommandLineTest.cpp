// The desktop program's command line, run as a user runs it without any display: --help and
// --version answer on standard output, anything else says in one line why there is no window.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

namespace {

TEST(CommandLine, AnswersWithoutADisplayAndExplainsWhyThereIsNoWindow) {
  struct Case {
    const char* args;
    int exit;
    const char* outStart;  // standard output begins so
    const char* errStart;  // standard error begins so; empty when nothing may come
    bool oneErrLine;
  } cases[] = {
      {"--help", 0, "usage: varevudov [PACKAGE_OR_FOLDER]\n", "", false},
      {"--version", 0, "varevudov ", "", false},
      {"", 2, "", "varevudov: no display to open the window on (DISPLAY=unset)", true},
      {"/tmp", 2, "", "varevudov: no display to open the window on", true},
      {"/tmp /tmp", 2, "", "varevudov: unexpected argument \"/tmp\"\nusage:", false},
      {"--target", 2, "", "varevudov: unexpected argument \"--target\"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    vvtest::TempDir dir;
    const std::string outFile = dir / "out", errFile = dir / "err";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                std::string(VV_GUI_PATH) + "' " + c.args + " >'" + outFile +
                                "' 2>'" + errFile + "' </dev/null";
    const int status = std::system(command.c_str());
    const std::string out = vvtest::ReadFile(outFile), err = vvtest::ReadFile(errFile);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exit);
    EXPECT_TRUE(out.starts_with(c.outStart)) << out;
    EXPECT_TRUE(err.starts_with(c.errStart) && (*c.errStart || err.empty())) << err;
    EXPECT_TRUE(!c.oneErrLine || err.find('\n') == err.size() - 1) << err;
  }
}

}  // namespace
