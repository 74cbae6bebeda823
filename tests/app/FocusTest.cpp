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
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "XSession.h"
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
using namespace xtest;

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
struct Screen {
  const char* size;
  const char* scale;
  bool mapBeside;  // room for the map image window beside the main window; else over it
};

class ScreenFit : public ::testing::TestWithParam<Screen> {};

TEST_P(ScreenFit, BothWindowsFramesLieInTheAvailableAreaAtStartDuringAndAfterARun) {
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo"})
    if (!OnPath(tool)) GTEST_SKIP() << tool << " is not installed";
  XSession x;
  ASSERT_EQ(x.Start(GetParam().size, false), "");
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  setenv("QT_SCALE_FACTOR", GetParam().scale, 1);
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
      if (GetParam().mapBeside)
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

INSTANTIATE_TEST_SUITE_P(Screens, ScreenFit,
                         ::testing::Values(Screen{"1280x720", "1", true},
                                           Screen{"1366x768", "1", true},
                                           Screen{"1920x1080", "1.5", true},
                                           Screen{"1920x1080", "2", false}));

}  // namespace
