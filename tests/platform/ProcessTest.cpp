#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRuntimeRules) {
  using platform::SplitCommandLine;
  EXPECT_EQ(SplitCommandLine("archive.exe  -a\t\"my map.vka\" "),
            (Args{"archive.exe", "-a", "my map.vka"}));
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("   "), Args{});
  // Quotes group and vanish, also in the middle of an argument; "" is an empty argument.
  EXPECT_EQ(SplitCommandLine("a\"b c\"d \"\" e"), (Args{"ab cd", "", "e"}));
  // Backslashes are literal unless they stand before a quote.
  EXPECT_EQ(SplitCommandLine("C:\\maps\\x.vka \\\\server"),
            (Args{"C:\\maps\\x.vka", "\\\\server"}));
  EXPECT_EQ(SplitCommandLine("\"say \\\"hi\\\"\""), (Args{"say \"hi\""}));
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\\\" next"), (Args{"C:\\dir\\", "next"}));
  EXPECT_EQ(SplitCommandLine("a\\\\\\\"b"), (Args{"a\\\"b"}));
  // A doubled quote inside quotes is a literal quote; an unclosed quote runs to the end.
  EXPECT_EQ(SplitCommandLine("\"a\"\"b\" c"), (Args{"a\"b", "c"}));
  EXPECT_EQ(SplitCommandLine("\"open ended"), (Args{"open ended"}));
  // Nothing else is special.
  EXPECT_EQ(SplitCommandLine("100% $HOME & `x` ;|"), (Args{"100%", "$HOME", "&", "`x`", ";|"}));
}

// A folder with the argument-recording helper installed as Archive.exe, made current.
class RunCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::CurrentFolder();
    std::filesystem::copy_file(VV_ARGV_PROBE, dir / "Archive.exe");
    ASSERT_TRUE(platform::SetCurrentFolder(dir.path()));
  }
  void TearDown() override { platform::SetCurrentFolder(previous_); }

  std::string Recorded() const {
    return platform::FileExists(dir / "argv.out") ? vvtest::ReadFile(dir / "argv.out") : "";
  }

  vvtest::TempDir dir;

 private:
  std::string previous_;
};

TEST_F(RunCommand, BatchFileRunsTheProgramFoundIgnoringCaseWithLiteralArguments) {
  vvtest::WriteFile(dir / "$$$.bat",
                    "@echo off\r\n"
                    "archive.exe -a \"My Maps & more\\100%% $HOME.vka\" -e \"C:\\x y\" plain\r\n");
  ASSERT_TRUE(platform::RunCommandLine("$$$.bat", true));
  EXPECT_EQ(Recorded(), "-a\nMy Maps & more\\100% $HOME.vka\n-e\nC:\\x y\nplain\n--\n");
}

TEST_F(RunCommand, BatchFileReadsDoubledPercentAsOneAndExpandsNothing) {
  // Pairs are decoded from the left; what is left over (a lone "%", "%name%") stays as written.
  vvtest::WriteFile(dir / "p.bat", "@echo off\r\narchive.exe %%%% %%% \"%%%%%%\" 5% %PATH%\r\n");
  ASSERT_TRUE(platform::RunCommandLine("p.bat", true));
  EXPECT_EQ(Recorded(), "%%\n%%\n%%%\n5%\n%PATH%\n--\n");
  EXPECT_EQ(platform::EscapeBatchPercent("a%b%%"), "a%%b%%%%");
}

TEST_F(RunCommand, BatchFileRunsEachCommandInTurn) {
  vvtest::WriteFile(dir / "Two.BAT",
                    "@ECHO OFF\n"
                    "rem a comment\n"
                    "\n"
                    "ARCHIVE first\n"
                    "missing.exe skipped\n"
                    "@archive.exe second \"\"\n");
  ASSERT_TRUE(platform::RunCommandLine("two.bat", true));
  EXPECT_EQ(Recorded(), "first\n--\nsecond\n\n--\n");
}

TEST_F(RunCommand, ProgramRunsDirectlyAndCanBeLeftRunning) {
  // Appended rather than "literal" + string: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
  std::string line = "\"";
  line += dir / "ARCHIVE.EXE";
  line += "\" \"a b\" c";
  ASSERT_TRUE(platform::RunCommandLine(line, true));
  EXPECT_EQ(Recorded(), "a b\nc\n--\n");

  ASSERT_TRUE(platform::RunCommandLine("archive.exe later", false));
  for (int i = 0; i < 250 && Recorded().find("later\n--\n") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(Recorded(), "a b\nc\n--\nlater\n--\n");
}

TEST_F(RunCommand, WaitingCallsBackWhileTheProgramRuns) {
  int calls = 0;
  ASSERT_TRUE(platform::RunCommandLine("/bin/sleep 0.2", true, [&] { ++calls; }));
  EXPECT_GE(calls, 2);
}

TEST_F(RunCommand, ReportsTheExitCodeOfTheLastCommand) {
  EXPECT_EQ(platform::RunCommandLine("/bin/sh -c \"exit 3\"", true), 3);
  EXPECT_EQ(platform::RunCommandLine("/bin/sh -c \"kill -9 $$\"", true), 128 + 9);
  vvtest::WriteFile(dir / "fails.bat", "@echo off\r\n/bin/false\r\n");
  EXPECT_EQ(platform::RunCommandLine("fails.bat", true), 1);
  vvtest::WriteFile(dir / "missing.bat", "/bin/true\r\nnosuch.exe\r\n");
  EXPECT_EQ(platform::RunCommandLine("missing.bat", true), platform::kCommandNotFound);
  vvtest::WriteFile(dir / "ok.bat", "nosuch.exe\r\n/bin/true\r\n");
  EXPECT_EQ(platform::RunCommandLine("ok.bat", true), 0);
}

TEST_F(RunCommand, MissingProgramOrBatchFileIsNotStarted) {
  EXPECT_FALSE(platform::RunCommandLine("", true));
  EXPECT_FALSE(platform::RunCommandLine("nosuch.exe", true));
  EXPECT_FALSE(platform::RunCommandLine("nosuch.bat", true));
  EXPECT_FALSE(platform::RunCommandLine(dir / "nosuch/archive.exe", true));
  EXPECT_EQ(Recorded(), "");
}

}  // namespace
