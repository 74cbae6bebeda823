// varevudov-screenshot OUTDIR PACKAGE
// Runs the program's two windows on the current display (scripts/screenshot starts it under
// Xvfb), converts PACKAGE with the map image window shown, and saves what the screen showed:
//   OUTDIR/screen-during-run.png    the whole screen while the package is converted
//   OUTDIR/map-image-window.png     the map image window, beside the main window
//   OUTDIR/main-window-during-run.png
//   OUTDIR/main-window.png          the main window after the run, centred again, its log
//                                   showing the closing banner
// The file and folder dialogs are answered by script; the program folder is a private copy of
// this executable's folder (archive.exe and the stand-in libraries), so the user's settings file
// and work area stay untouched.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/OpenDialog.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "shell/folderBrowse.h"

namespace fs = std::filesystem;

namespace {

std::string outDir;
int saved = 0;

// Gives the X server time to draw what the windows painted, taking no input meanwhile.
void LetScreenCatchUp() {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 400) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    QThread::msleep(20);
  }
}

void Save(const QPixmap& pixmap, const char* name) {
  const std::string path = outDir + "/" + name;
  if (pixmap.isNull() || !pixmap.save(QString::fromStdString(path), "PNG")) {
    std::fprintf(stderr, "varevudov-screenshot: could not save %s\n", path.c_str());
    return;
  }
  std::printf("%s (%d x %d)\n", path.c_str(), pixmap.width(), pixmap.height());
  ++saved;
}

QPixmap GrabScreen(const QRect& area = QRect()) {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (area.isNull()) return screen->grabWindow(0);
  return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

// The main window, photographing the screen once the map image window is up.
class ShotForm : public TForm1 {
 public:
  TForm2* map = nullptr;

  void ShowMapImageWindow(const std::string& mapName, const std::string& minimapPath) override {
    TForm1::ShowMapImageWindow(mapName, minimapPath);
    LetScreenCatchUp();
    Save(GrabScreen(), "screen-during-run.png");
    Save(GrabScreen(map->frameGeometry()), "map-image-window.png");
    Save(GrabScreen(frameGeometry()), "main-window-during-run.png");
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: varevudov-screenshot OUTDIR PACKAGE\n");
    return 2;
  }
  outDir = fs::absolute(argv[1]).string();
  const std::string package = fs::absolute(argv[2]).string();
  fs::create_directories(outDir);

  QApplication app(argc, argv);
  const std::string home = platform::ProgramFolder();
  const fs::path folder =
      fs::temp_directory_path() /
      ("varevudov-screenshot-" + std::to_string(QCoreApplication::applicationPid()));
  fs::create_directories(folder / "maps");
  for (const char* name : {"archive.exe", "libUnzDll-standin.so", "libunrar-standin.so"})
    if (fs::exists(fs::path(home) / name)) fs::copy_file(fs::path(home) / name, folder / name);
  platform::SetProgramFolder(folder.string());

  platform::RecordingPrompter prompter;
  platform::ScopedPrompter usePrompter(prompter);
  RecordingFileOpenDialog files;
  ScopedFileOpenDialog useFiles(files);
  RecordingFolderDialog folders;
  ScopedFolderDialog useFolders(folders);
  platform::SetMessagePump(TForm1::PumpEvents);

  int result = 0;
  {
    ShotForm form1;
    TForm2 form2;
    form1.map = &form2;
    form1.SetMapImageWindow(&form2);
    form1.show();
    LetScreenCatchUp();

    const std::string target = (folder / "maps").string();
    folders.answers.push_back(FolderDialogChoice{target, "maps"});
    form1.SelectVKAFolder->click();
    files.answers.push_back(package);
    form1.BrowseMapFile->click();
    form1.Convert->click();
    LetScreenCatchUp();
    Save(GrabScreen(form1.frameGeometry()), "main-window.png");

    for (const auto& message : prompter.messages)
      std::fprintf(stderr, "message box: %s\n", message.text.c_str());
    std::printf("converted into %s:", target.c_str());
    for (const auto& entry : fs::directory_iterator(target))
      std::printf(" \"%s\"", entry.path().filename().c_str());
    std::printf("\n");
    if (saved != 4 || !prompter.messages.empty()) result = 1;
  }
  platform::SetMessagePump({});
  platform::SetProgramFolder("");
  fs::remove_all(folder);
  return result;
}
