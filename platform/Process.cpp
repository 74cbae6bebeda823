#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/TextFile.h"
#include "platform/Wine.h"

extern char** environ;

namespace platform {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The program of a command line: a path as given (resolved case-insensitively), or a bare name
// looked for in the folder given, with ".exe" added when it has no extension. Empty when absent.
std::string FindProgram(const std::string& program, const std::string& folder) {
  if (program.find(kPathDelim) != std::string::npos) {
    std::string path = ResolvePath(program);
    return FileExists(path) ? path : std::string();
  }
  std::string path = ResolvePath(JoinPath(folder, program));
  if (FileExists(path)) return path;
  if (!ExtractFileExt(program).empty()) return std::string();
  path = ResolvePath(JoinPath(folder, program + ".exe"));
  return FileExists(path) ? path : std::string();
}

// The end of what children write to their standard error, kept while they run. The pipe is
// drained as it fills, so a talkative child never blocks on it, and only the tail is kept.
class ErrorTail {
 public:
  explicit ErrorTail(std::string* out) : out_(out) {
    int fds[2];
    if (!out_ || pipe2(fds, O_CLOEXEC) != 0) return;
    read_ = fds[0];
    write_ = fds[1];
    fcntl(read_, F_SETFL, O_NONBLOCK);
    out_->clear();
  }
  ~ErrorTail() {
    Drain();
    for (int fd : {read_, write_})
      if (fd >= 0) close(fd);
  }
  ErrorTail(const ErrorTail&) = delete;
  ErrorTail& operator=(const ErrorTail&) = delete;

  int ReadEnd() const { return read_; }
  int WriteEnd() const { return write_; }
  void Drain() {
    if (read_ < 0) return;
    char buffer[4096];
    ssize_t got;
    while ((got = read(read_, buffer, sizeof buffer)) > 0) {
      out_->append(buffer, static_cast<size_t>(got));
      if (out_->size() > kErrorTailBytes) out_->erase(0, out_->size() - kErrorTailBytes);
    }
  }

 private:
  std::string* out_;
  int read_ = -1;
  int write_ = -1;
};

// Starts program with args, no standard input or output, in a new process group. Its standard
// error goes to errors when given, else nowhere. Returns the pid or -1.
pid_t Spawn(const std::string& found, const std::vector<std::string>& given,
            const ErrorTail* errors) {
  std::string program;
  std::vector<std::string> args;
  std::vector<std::string> environment;
  if (!PrepareLaunch(found, given, program, args, environment)) return -1;
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  if (errors && errors->WriteEnd() >= 0)
    posix_spawn_file_actions_adddup2(&actions, errors->WriteEnd(), 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return rc == 0 ? pid : -1;
}

// The exit code as a shell would give it: the program's own, or 128 + the signal that ended it.
int ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kNotStarted;
}

int WaitFor(pid_t pid, const std::function<void()>& whileWaiting, ErrorTail* errors = nullptr) {
  int status = 0;
  if (!whileWaiting && !(errors && errors->ReadEnd() >= 0)) {
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return kNotStarted;
    }
    return ExitCode(status);
  }
  // Woken the moment the child ends rather than at the next tick: a folder run waits for many
  // short runs of the archiver, and a tick's delay on each adds up.
  const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  int result = kNotStarted;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result = ExitCode(status);
      break;
    }
    if (done < 0 && errno != EINTR) break;
    if (whileWaiting) whileWaiting();
    pollfd fds[2] = {{exited, POLLIN, 0}, {errors ? errors->ReadEnd() : -1, POLLIN, 0}};
    // Without a window to keep painted, only the child's end or its output wakes us.
    poll(fds, 2, whileWaiting || exited < 0 ? 20 : -1);
    if (errors) errors->Drain();
  }
  if (exited >= 0) close(exited);
  return result;
}

// One command of a batch file: the line split by the Windows rules, the program looked for in
// the folder the batch file runs in, then among the bundled stand-ins (our search path, as the
// command interpreter's is PATH). A command that cannot be found is skipped with the
// interpreter's "not found" code, as the command interpreter reports it and goes on.
int RunBatchCommand(const std::string& line, const std::string& folder,
                    const std::function<void()>& whileWaiting, ErrorTail* errors) {
  std::vector<std::string> args = SplitCommandLine(line);
  if (args.empty()) return 0;
  std::string program = FindProgram(args[0], folder);
  if (program.empty() && args[0].find(kPathDelim) == std::string::npos && !BundledFolder().empty())
    program = FindProgram(args[0], BundledFolder());
  if (program.empty()) return kCommandNotFound;
  pid_t pid = Spawn(program, args, errors);
  return pid > 0 ? WaitFor(pid, whileWaiting, errors) : kCommandNotFound;
}

bool IsIgnoredBatchLine(const std::string& line) {
  std::string lower = LowerCase(line);
  return lower.empty() || lower == "@echo off" || lower == "echo off" ||
         lower.rfind("rem ", 0) == 0 || lower == "rem" || lower.rfind("::", 0) == 0;
}

// "%%" is the batch language's escape for "%", and our batch writers double every "%" they
// write. Other uses of "%" (variables, arguments) are not ours: the command interpreter would
// expand "%name%" and drop a lone "%", but we never write either, so a lone "%" is kept as it
// stands rather than guessing at an expansion.
std::string DecodeBatchPercent(const std::string& line) {
  std::string out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size(); ++i) {
    out += line[i];
    if (line[i] == '%' && i + 1 < line.size() && line[i + 1] == '%') ++i;
  }
  return out;
}

// The exit code of the batch run is that of its last command, as the interpreter's.
int RunBatchLines(const std::vector<std::string>& lines, const std::string& folder,
                  const std::function<void()>& whileWaiting, ErrorTail* errors) {
  int exitCode = 0;
  for (const std::string& raw : lines) {
    std::string line = Trim(DecodeBatchPercent(raw));
    if (IsIgnoredBatchLine(line)) continue;
    if (line[0] == '@') line = Trim(line.substr(1));
    exitCode = RunBatchCommand(line, folder, whileWaiting, errors);
  }
  return exitCode;
}

}  // namespace

bool PrepareLaunch(const std::string& program, const std::vector<std::string>& args,
                   std::string& launch, std::vector<std::string>& argv,
                   std::vector<std::string>& environment) {
  environment.clear();
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  if (!IsDosExecutable(program)) {
    launch = program;
    argv = args;
    return true;
  }
  launch = FindWineLauncher();
  if (launch.empty()) return false;
  // The launcher takes the executable's path, then the arguments exactly as given.
  argv = {launch, program};
  argv.insert(argv.end(), args.begin() + (args.empty() ? 0 : 1), args.end());
  const char* debug = std::getenv("WINEDEBUG");
  if (!debug) environment.emplace_back("WINEDEBUG=-all");
  return true;
}

std::string EscapeBatchPercent(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == '\\') {
        size_t slashes = 0;
        while (i < line.size() && line[i] == '\\') {
          ++slashes;
          ++i;
        }
        if (i < line.size() && line[i] == '"') {
          // 2n backslashes + quote: n backslashes, the quote delimits; 2n+1: n and a literal quote.
          arg.append(slashes / 2, '\\');
          if (slashes % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(slashes, '\\');
        }
      } else if (line[i] == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';  // "" inside quotes is a literal quote
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::optional<int> RunCommandLine(const std::string& commandLine, bool wait,
                                  const std::function<void()>& whileWaiting,
                                  std::string* errorOutput) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty()) return std::nullopt;
  std::string folder = CurrentFolder();
  std::string program = FindProgram(args[0], folder);
  if (program.empty()) return std::nullopt;

  if (SameText(ExtractFileExt(program), ".bat")) {
    std::vector<std::string> lines;
    try {
      lines = ReadTextLines(program);
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (wait) {
      ErrorTail errors(errorOutput);
      return RunBatchLines(lines, folder, whileWaiting, &errors);
    }
    // Nobody waits: the commands run one after another on a thread of their own.
    std::thread([lines, folder] { RunBatchLines(lines, folder, {}, nullptr); }).detach();
    return 0;
  }

  if (wait) {
    ErrorTail errors(errorOutput);
    const pid_t pid = Spawn(program, args, &errors);
    if (pid < 0) return std::nullopt;
    return WaitFor(pid, whileWaiting, &errors);
  }
  pid_t pid = Spawn(program, args, nullptr);
  if (pid < 0) return std::nullopt;
  // Reap it when it ends so it does not linger as a zombie.
  std::thread([pid] { WaitFor(pid, {}); }).detach();
  return 0;
}

}  // namespace platform
