// varevudov: the desktop program. The main window first, then the hidden map image window; the
// program ends when the main window closes.
#include <QApplication>
#include <QEventLoop>
#include <cstdio>
#include <cstring>

#include "app/QtPrompter.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "archives/ProgressForm.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

int main(int argc, char** argv) {
  // Answered before any window system is needed, so it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("varevudov %s\n", VAREVUDOV_VERSION);
    return 0;
  }
  QApplication app(argc, argv);
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
  form1.show();
  const int result = QApplication::exec();
  platform::SetMessagePump({});
  return result;
}
