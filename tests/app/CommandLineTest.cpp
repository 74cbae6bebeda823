// The desktop program's command line, run as a user runs it without any display: --help and
// --version answer on standard output, anything else says in one line why there is no window.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"

namespace {

struct Outcome {
  int exit;
  std::string out, err;
};

Outcome RunWithoutDisplay(const std::string& args) {
  vvtest::TempDir dir;
  const std::string out = dir / "out", err = dir / "err";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                              std::string(VV_GUI_PATH) + "' " + args + " >'" + out + "' 2>'" + err +
                              "' </dev/null";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, vvtest::ReadFile(out),
          vvtest::ReadFile(err)};
}

TEST(CommandLine, AnswersWithoutADisplayAndExplainsWhyThereIsNoWindow) {
  struct Case {
    const char* args;
    int exit;
    const char* outStart;  // standard output begins so
    const char* errStart;  // standard error begins so
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
    const Outcome got = RunWithoutDisplay(c.args);
    EXPECT_EQ(got.exit, c.exit);
    EXPECT_TRUE(got.out.starts_with(c.outStart)) << got.out;
    EXPECT_TRUE(got.err.starts_with(c.errStart)) << got.err;
    if (!*c.errStart) {
      EXPECT_EQ(got.err, "");
    }
    if (c.oneErrLine) {
      EXPECT_EQ(got.err.find('\n'), got.err.size() - 1) << got.err;
    }
  }
}

}  // namespace
