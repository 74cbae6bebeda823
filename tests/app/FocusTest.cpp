// The two windows under a real X server with a window manager (Xvfb and openbox): during a
// folder run the map image window must not take the keyboard from another program's window, a
// main window the user moved during the run stays where it is, and on small or scaled screens
// both windows' frames stay within the available area. Skipped where Xvfb, openbox, xdotool or
// xmessage are missing.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "app/OpenDialog.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "platform/MessagePump.h"
#include "platform/Prompter.h"
#include "shell/folderBrowse.h"

// Under the leak checker: the X platform's session bus library keeps a buffer to the end.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

bool OnPath(const std::string& tool) {
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
pid_t Spawn(const Args& args, int outFd = -1, int keepFd = -1) {
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

void Stop(pid_t pid) {
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
std::string RunTool(const Args& args, int timeoutMs = 5000) {
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
bool WaitFor(const std::function<bool()>& pred, bool pump = true, int timeoutMs = 10000) {
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
std::string Known(const std::function<std::string()>& ask) {
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

// Notes the active window over and over, from a thread of its own, while the run goes on. An
// answer the tool could not give in time on a busy machine says nothing and is not noted.
class FocusWatch {
 public:
  FocusWatch()
      : thread_([this] {
          while (!stop_) {
            const std::string active = XSession::ActiveWindow();
            if (active.empty()) continue;
            std::lock_guard lock(mutex_);
            seen_.insert(active);
          }
        }) {}
  ~FocusWatch() { Finish(); }
  std::set<std::string> Finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::set<std::string> seen_;
  std::thread thread_;
};

// The main window, calling back each time the map image window has been shown.
class HookedForm : public TForm1 {
 public:
  std::function<void()> onMapShown;
  void ShowMapImageWindow(const std::string& mapName, const std::string& minimapPath) override {
    TForm1::ShowMapImageWindow(mapName, minimapPath);
    if (onMapShown) onMapShown();
  }
};

TEST(MapImageWindowFocus, LeavesTheFocusWithAnotherProgramAndTheMovedMainWindowInPlace) {
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xmessage", "xprop", "xwininfo"})
    if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
  XSession x;
  const std::string failure = x.Start();
  ASSERT_EQ(failure, "");

  setenv("QT_QPA_PLATFORM", "xcb", 1);
  static int argc = 1;
  static char name[] = "focus-tests";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  guitest::ProgramFolder program;
  vvtest::TempDir work;
  const fs::path packages = fs::path(work.path()) / "packages",
                 target = fs::path(work.path()) / "maps";
  fs::create_directories(packages);
  fs::create_directories(target);
  for (const char* sample : {"desert.zip", "twin-maps.zip", "big-hill.rar"})
    fs::copy_file(fs::path(VV_SAMPLES_DIR) / sample, packages / sample);

  platform::RecordingPrompter prompter;
  platform::ScopedPrompter usePrompter(prompter);
  RecordingFolderDialog folders;
  ScopedFolderDialog useFolders(folders);
  platform::SetMessagePump(TForm1::PumpEvents);
  {
    HookedForm form;
    TForm2 map;
    form.SetMapImageWindow(&map);
    form.show();
    // As a program just started, its main window has the focus first.
    ASSERT_TRUE(WaitFor([&] {
      return XSession::ActiveWindow() == std::to_string(form.winId()) &&
             QGuiApplication::applicationState() == Qt::ApplicationActive;
    }));
    folders.answers.push_back(FolderDialogChoice{target.string(), target.string()});
    form.SelectVKAFolder->click();
    folders.answers.push_back(FolderDialogChoice{packages.string(), packages.string()});
    form.BrowseFolderToProcess->click();
    ASSERT_TRUE(form.Convert->isEnabled());

    // The user turns to another program before the run starts.
    ASSERT_TRUE(x.FocusOther());
    ASSERT_TRUE(
        WaitFor([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));

    int shown = 0;
    QPoint moved;
    std::string movedGeometry;
    const std::string mainWindow = std::to_string(form.winId());
    const auto geometry = [&] { return RunTool({"xdotool", "getwindowgeometry", mainWindow}); };
    form.onMapShown = [&] {
      ++shown;
      SCOPED_TRACE("map window " + std::to_string(shown));
      // Once the window manager has mapped it, it has also decided about the focus.
      ASSERT_TRUE(WaitFor([&] { return XSession::Viewable(map.winId()); }));
      EXPECT_EQ(Known(XSession::ActiveWindow), x.otherWindow);
      EXPECT_EQ(Known(XSession::FocusWindow), x.otherWindow);
      if (shown == 1) {
        // The user drags the main window away from where the run put it, leaving room for the
        // map window beside it. The move is taken once Qt has heard of the window's new place:
        // it may hear of it in steps.
        const QPoint before = form.pos();
        RunTool({"xdotool", "windowmove", mainWindow, "100", "150"});
        ASSERT_TRUE(WaitFor(
            [&] { return form.pos() != before && form.geometry().topLeft() == QPoint(100, 150); }));
        movedGeometry = Known(geometry);
        moved = form.pos();
        return;
      }
      EXPECT_EQ(form.pos(), moved);
      EXPECT_EQ(Known(geometry), movedGeometry);
      // The map window is put beside wherever the main window now is.
      EXPECT_EQ(map.frameGeometry().left(), form.frameGeometry().right() + 1);
    };

    FocusWatch watch;
    form.Convert->click();
    // The run's end (map window closed, main window centred) leaves the focus alone, too.
    EXPECT_TRUE(WaitFor([&] { return !XSession::Viewable(map.winId()); }));
    const std::set<std::string> seen = watch.Finish();
    form.onMapShown = nullptr;

    EXPECT_EQ(shown, 3);  // once a package
    EXPECT_EQ(seen, std::set<std::string>{x.otherWindow});
    EXPECT_EQ(Known(XSession::ActiveWindow), x.otherWindow);
    EXPECT_EQ(form.Workflow().Failures(), 0);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()),
              4);  // twin-maps holds two maps
  }
  platform::SetMessagePump({});
}

// A screen smaller than the main window's page at the program's scale: the window manager's frame,
// title bar included, must fit as well as the window.
TEST(ScreenFit, BothWindowsFramesLieInTheAvailableAreaAtStartDuringAndAfterARun) {
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"})
    if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
  struct Screen {
    const char* size;
    const char* scale;
    bool mapBeside;  // room for the map image window beside the main window; else over it
  } screens[] = {{"1280x720", "1", true},
                 {"1366x768", "1", true},
                 {"1920x1080", "1.5", true},
                 {"1920x1080", "2", false}};
  for (const Screen& screen : screens) {
    SCOPED_TRACE(std::string(screen.size) + " at " + screen.scale);
    XSession x;
    ASSERT_EQ(x.Start(screen.size, false), "");
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_SCALE_FACTOR", screen.scale, 1);
    static int argc = 1;
    static char name[] = "screen-tests";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    unsetenv("QT_SCALE_FACTOR");
    guitest::ProgramFolder program;
    vvtest::TempDir work;
    const fs::path package = fs::path(work.path()) / "desert.zip",
                   target = fs::path(work.path()) / "maps";
    fs::create_directories(target);
    fs::copy_file(fs::path(VV_SAMPLES_DIR) / "desert.zip", package);

    platform::RecordingPrompter prompter;  // no box may wait for an answer
    platform::ScopedPrompter usePrompter(prompter);
    RecordingFolderDialog folders;
    ScopedFolderDialog useFolders(folders);
    RecordingFileOpenDialog files;
    ScopedFileOpenDialog useFiles(files);
    platform::SetMessagePump(TForm1::PumpEvents);
    {
      HookedForm form;
      TForm2 map;
      form.SetMapImageWindow(&map);
      form.show();
      const QRect area = XSession::WorkArea();
      ASSERT_FALSE(area.isEmpty());
      // Framed (the frame is taller than the window) and, frame and all, within the area.
      auto framedInArea = [&](QWidget& window) {
        if (!window.windowHandle() || !window.windowHandle()->isExposed()) return false;
        const QRect frame = XSession::FrameRect(window.winId());
        return frame.height() > window.height() * window.devicePixelRatio() && area.contains(frame);
      };
      EXPECT_TRUE(WaitFor([&] { return framedInArea(form); })) << "at start";

      folders.answers.push_back(FolderDialogChoice{target.string(), target.string()});
      form.SelectVKAFolder->click();
      files.answers.push_back(package.string());
      form.BrowseMapFile->click();
      ASSERT_TRUE(form.Convert->isEnabled());
      int shown = 0;
      form.onMapShown = [&] {
        ++shown;
        EXPECT_TRUE(WaitFor([&] { return framedInArea(form) && framedInArea(map); }));
        const QRect main = XSession::FrameRect(form.winId()),
                    image = XSession::FrameRect(map.winId());
        if (screen.mapBeside)
          EXPECT_NEAR(image.left(), main.right() + 1, 2);  // a fractional scale rounds
        else
          EXPECT_TRUE(image.intersects(main));
      };
      form.Convert->click();
      EXPECT_EQ(shown, 1);
      EXPECT_TRUE(WaitFor([&] { return !XSession::Viewable(map.winId()) && framedInArea(form); }))
          << "after the run";
    }
    platform::SetMessagePump({});
  }
}

}  // namespace
