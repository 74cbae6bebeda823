#pragma once
// Starting child processes without a window and without a shell. A command line whose program
// ends in ".bat" is run by our own small batch interpreter: it ignores "@echo off", splits each
// line into arguments by the Windows quoting rules, finds the program in the current folder
// (case-insensitively; then among the bundled stand-ins, see Paths.h) and runs it with
// posix_spawn, waiting for it. "%%" in a batch line stands for "%" (a lone "%" is kept as it
// is; there is no variable expansion). Nothing in a file name is ever interpreted by a shell. A
// Windows executable is started through Wine.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Exit code of a batch command whose program cannot be found or started, as the Windows command
// interpreter reports it.
inline constexpr int kCommandNotFound = 9009;
// Exit code when waiting for a child failed, so its outcome is unknown.
inline constexpr int kNotStarted = -1;

// How much of a command's standard error RunCommandLine hands back: the end, where a failing
// program says why.
inline constexpr size_t kErrorTailBytes = 4096;

// Starts commandLine in the current folder with no standard input or output. Returns nothing
// when it could not be started. With wait, blocks until it has ended, calling whileWaiting (when
// set) about every 20 ms so a window can keep itself painted, and returns its exit code (for a
// batch file that of its last command; 128 + n for a program ended by signal n); errorOutput,
// when given, gets the last kErrorTailBytes of what it (every command of a batch file) wrote to
// standard error. Without wait the result is 0 and standard error goes nowhere.
std::optional<int> RunCommandLine(const std::string& commandLine, bool wait,
                                  const std::function<void()>& whileWaiting = {},
                                  std::string* errorOutput = nullptr);

// Text for a batch-file line with every "%" doubled, so the batch language gives it back as
// written.
std::string EscapeBatchPercent(std::string_view text);

// Splits a command line into arguments by the rules of the Windows C runtime (blanks separate,
// double quotes group, backslashes escape quotes only in front of a quote).
std::vector<std::string> SplitCommandLine(std::string_view line);

// How a program the interpreter found is started: launch with argv and environment. A
// DOS/Windows executable goes through the Wine launcher (FindWineLauncher), which gets the
// executable's path and then the arguments as given; Wine's diagnostics are quiet unless the
// user set WINEDEBUG. False when it is a Windows executable and there is no launcher.
bool PrepareLaunch(const std::string& program, const std::vector<std::string>& args,
                   std::string& launch, std::vector<std::string>& argv,
                   std::vector<std::string>& environment);

}  // namespace platform
