// gui-folder-run TARGET FOLDER
// A folder run through the main window, offscreen, as Convert runs it for a user (map image window
// shown, panes filled, events pumped while archive.exe packs). The program folder is this
// executable's own; dialogs are answered by script. Exit code 0 when no failure was logged.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <cstdio>
#include <string>

#include "app/OpenDialog.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "platform/MessagePump.h"
#include "platform/Prompter.h"
#include "shell/folderBrowse.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: gui-folder-run TARGET FOLDER\n");
    return 2;
  }
  QApplication app(argc, argv);
  platform::RecordingPrompter prompter;
  platform::ScopedPrompter usePrompter(prompter);
  RecordingFolderDialog folders;
  ScopedFolderDialog useFolders(folders);
  platform::SetMessagePump(TForm1::PumpEvents);
  int failures = 0;
  {
    TForm1 form1;
    TForm2 form2;
    form1.SetMapImageWindow(&form2);
    form1.show();
    QCoreApplication::processEvents();
    folders.answers.push_back(FolderDialogChoice{argv[1], argv[1]});
    form1.SelectVKAFolder->click();
    folders.answers.push_back(FolderDialogChoice{argv[2], argv[2]});
    form1.BrowseFolderToProcess->click();
    form1.Convert->click();
    failures = form1.Workflow().Failures();
  }
  platform::SetMessagePump({});
  return failures == 0 && prompter.messages.empty() ? 0 : 1;
}
