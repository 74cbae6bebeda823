// varevudov: the desktop program. The main window first, then the hidden map image window; the
// program ends when the main window closes.
//
//   varevudov [PACKAGE_OR_FOLDER]    the window, with that package or folder selected
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/QtPrompter.h"
#include "app/StopSignals.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "archives/ProgressForm.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

namespace {

constexpr char kUsage[] =
    "usage: varevudov [PACKAGE_OR_FOLDER]\n"
    "Converts map packages (zip, rar) into VKA archives, and unpacks VKA archives, in a window.\n"
    "A package or folder given is selected at start; nothing is converted until Convert.\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "varevudov-cli converts without a window.\n";

QtMessageHandler previousHandler = nullptr;

// While the window system is being opened: its complaints are held back, and a failure to open
// it ends the program with one line instead of an abort.
void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "varevudov: no display to open the window on (DISPLAY=%s); varevudov-cli "
                 "converts without one\n",
                 display && *display ? display : "unset");
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(2);
  }
  if (context.category && std::strncmp(context.category, "qt.qpa.", 7) == 0) return;
  if (previousHandler) previousHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window system is needed, so they work without a display.
  std::string startPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      std::printf("varevudov %s\n", VAREVUDOV_VERSION);
      return 0;
    }
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((arg.size() > 1 && arg[0] == '-') || !startPath.empty() || arg.empty()) {
      std::fprintf(stderr, "varevudov: unexpected argument \"%s\"\n%s", arg.c_str(), kUsage);
      return 2;
    }
    // Absolute: a run changes the current folder.
    startPath = std::filesystem::absolute(arg).string();
  }
  previousHandler = qInstallMessageHandler(StartupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(previousHandler);
  QApplication::setApplicationName(QStringLiteral("varevudov"));
  platform::SetApplicationTitle("varevudov");

  QtPrompter prompter;
  platform::ScopedPrompter usePrompter(prompter);
  // Nothing of a folder another user may change is run or loaded.
  if (const std::string problem = platform::ProgramFolderProblem(); !problem.empty()) {
    platform::MessageRequest box;
    box.caption = platform::ApplicationTitle();
    box.text = "Program folder not safe error!\n\n" + problem +
               "\n\nNothing was converted. Click OK to terminate this program";
    box.flags = platform::MB_OK;
    prompter.MessageBox(box);
    return 2;
  }
  // Long extractions keep the windows painted; clicks and keys meanwhile are dropped (the run
  // owns the window until it ends).
  platform::SetMessagePump(TForm1::PumpEvents);

  // A ZIP extraction that asks for its progress window gets the Qt one.
  TProgressForm::Install();

  TForm1 form1;
  TForm2 form2;
  form1.SetMapImageWindow(&form2);
  if (!startPath.empty()) form1.SelectAtStart(startPath);
  // A logout or a closed terminal ends the program as the close question's Yes would.
  StopSignals stopSignals([&form1] { form1.StopAndEnd(); });
  form1.show();
  const int result = QApplication::exec();
  platform::SetMessagePump({});
  return result;
}
