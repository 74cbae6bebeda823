#pragma once
// A real X server with a window manager for the window tests (Xvfb and openbox), and the small
// tools that drive and inspect it (xdotool, xprop, xwininfo). Everything started here ends with
// the test.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRect>
#include <QThread>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace xtest {

using Args = std::vector<std::string>;

inline bool OnPath(const std::string& tool) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (access((dirs.substr(start, end - start) + "/" + tool).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Starts args with stdout to outFd (or /dev/null) and stderr to /dev/null; the child dies with us.
inline pid_t Spawn(const Args& args, int outFd = -1, int keepFd = -1) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls from here on: the parent may have threads.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(outFd >= 0 ? outFd : null, 1);
  dup2(null, 2);
  if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
  execvp(argv[0], argv.data());
  _exit(127);
}

inline void Stop(pid_t pid) {
  if (pid <= 0 || waitpid(pid, nullptr, WNOHANG) != 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Runs a short command and returns its output with surrounding white space removed; empty when
// it failed or did not end within timeoutMs.
inline std::string RunTool(const Args& args, int timeoutMs = 5000) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  const pid_t pid = Spawn(args, out[1]);
  close(out[1]);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fd{out[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
      kill(pid, SIGKILL);
      text.clear();
      break;
    }
    char buffer[256];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  const size_t first = text.find_first_not_of(" \n\t"), last = text.find_last_not_of(" \n\t");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Polls pred (letting Qt deliver its events meanwhile when pump) until it holds or time is up.
// The time limit only keeps a broken run from hanging; every wait is for a condition.
inline bool WaitFor(const std::function<bool()>& pred, bool pump = true, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > timeoutMs) return false;
    if (pump && QCoreApplication::instance())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
  return true;
}

// What the tool answers, asked again while it gives nothing (timed out on a busy machine).
inline std::string Known(const std::function<std::string()>& ask) {
  std::string answer;
  WaitFor([&] { return !(answer = ask()).empty(); }, false);
  return answer;
}

// Xvfb with openbox on a free display, and maybe another program's window (xmessage) holding
// the focus. Everything started here ends with it.
class XSession {
 public:
  ~XSession() {
    Stop(other_);
    Stop(windowManager_);
    Stop(server_);
  }

  // Empty when all is up; else what failed.
  // screen: "WIDTHxHEIGHT"; withOther: another program's window (xmessage) takes the focus.
  std::string Start(const std::string& screen = "1280x1024", bool withOther = true) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return "no pipe";
    server_ = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen + "x24",
                     "-nolisten", "tcp"},
                    -1, ready[1]);
    close(ready[1]);
    std::string number;
    pollfd fd{ready[0], POLLIN, 0};
    char c;
    while (poll(&fd, 1, 15000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty()) return "Xvfb did not start";
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);

    // Now and then openbox ends quietly while starting; it is started again then.
    for (int attempt = 0; attempt < 3 && !WindowManagerUp(); ++attempt) {
      Stop(windowManager_);
      windowManager_ = Spawn({"openbox", "--sm-disable"});
      WaitFor(
          [this] { return WindowManagerUp() || waitpid(windowManager_, nullptr, WNOHANG) != 0; },
          false);
    }
    if (!WindowManagerUp()) return "openbox did not start";
    if (!withOther) return {};

    other_ = Spawn({"xmessage", "-geometry", "+700+700", "another program"});
    // An openbox still starting up may drop the first map request: it is asked again.
    if (!WaitFor(
            [this] {
              otherWindow = RunTool({"xdotool", "search", "--class", "Xmessage"});
              if (otherWindow.empty() || otherWindow.find('\n') != std::string::npos) return false;
              if (Viewable(std::stoull(otherWindow))) return true;
              RunTool({"xdotool", "windowmap", otherWindow});
              return false;
            },
            false))
      return "xmessage did not show";
    return {};
  }

  // Gives the other program's window the focus and waits until the window manager says so.
  bool FocusOther() const {
    RunTool({"xdotool", "windowactivate", otherWindow});
    return WaitFor([this] { return ActiveWindow() == otherWindow; });
  }

  static bool WindowManagerUp() {
    return RunTool({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
           std::string::npos;
  }
  static std::string ActiveWindow() { return RunTool({"xdotool", "getactivewindow"}); }
  static std::string FocusWindow() { return RunTool({"xdotool", "getwindowfocus"}); }
  // The available area the window manager announces, in the screen's pixels.
  static QRect WorkArea() {
    const std::string text = RunTool({"xprop", "-root", "_NET_WORKAREA"});
    int x, y, w, h;
    if (std::sscanf(text.c_str(), "_NET_WORKAREA(CARDINAL) = %d, %d, %d, %d", &x, &y, &w, &h) != 4)
      return {};
    return {x, y, w, h};
  }
  // Where the window manager put the window's frame (the window itself when it has none), in
  // the screen's pixels; empty when unknown.
  static QRect FrameRect(WId window) {
    std::string id = std::to_string(window);
    for (int depth = 0; depth < 8; ++depth) {
      const std::string tree = RunTool({"xwininfo", "-tree", "-id", id});
      const std::string root = Field(tree, "Root window id:"),
                        parent = Field(tree, "Parent window id:");
      if (parent.empty()) return {};
      if (parent == root) break;
      id = parent;
    }
    const std::string info = RunTool({"xwininfo", "-id", id});
    return QRect(std::atoi(Field(info, "Absolute upper-left X:").c_str()),
                 std::atoi(Field(info, "Absolute upper-left Y:").c_str()),
                 std::atoi(Field(info, "Width:").c_str()),
                 std::atoi(Field(info, "Height:").c_str()));
  }
  static bool Viewable(WId window) {
    return RunTool({"xwininfo", "-id", std::to_string(window)}).find("IsViewable") !=
           std::string::npos;
  }

  std::string otherWindow;

 private:
  // The first word after label in a tool's output.
  static std::string Field(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    if (at == std::string::npos) return {};
    const size_t start = text.find_first_not_of(' ', at + label.size());
    return text.substr(start, text.find_first_of(" \n", start) - start);
  }

  pid_t server_ = -1, windowManager_ = -1, other_ = -1;
  std::string display_;
};

}  // namespace xtest
