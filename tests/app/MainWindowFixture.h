#pragma once
// A main window and its map image window over a private program folder, with every dialog and
// box answered from a script.
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QWindow>
#include <memory>

#include "GuiTestSupport.h"
#include "app/OpenDialog.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "platform/Prompter.h"
#include "shell/folderBrowse.h"

namespace guitest {

class MainWindowTest : public ::testing::Test {
 protected:
  explicit MainWindowTest(bool withArchiver = true) : folder(withArchiver) {}

  // startPath: as named on the command line.
  void Start(const std::string& startPath = {}) {
    form = std::make_unique<TForm1>();
    form2 = std::make_unique<TForm2>();
    form->SetMapImageWindow(form2.get());
    if (!startPath.empty()) form->SelectAtStart(startPath);
    form->show();
    Settle();
  }

  // Scripts the next file dialog to answer with path.
  void ChooseFile(const std::string& path) {
    files.answers.push_back(path);
    form->BrowseMapFile->click();
  }
  // Scripts the next folder picker to answer with path.
  void ChooseFolder(QAbstractButton* button, const std::string& path) {
    folders.answers.push_back(FolderDialogChoice{path, path});
    button->click();
  }

  workflow::ConvertState& State() { return form->Workflow().State(); }

  ProgramFolder folder;
  vvtest::TempDir work;  // packages, target folders
  platform::RecordingPrompter prompter;
  platform::ScopedPrompter usePrompter{prompter};
  RecordingFileOpenDialog files;
  ScopedFileOpenDialog useFiles{files};
  RecordingFolderDialog folders;
  ScopedFolderDialog useFolders{folders};
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm2> form2;
};

// Drags data onto the window over widget and drops it there, as the window system delivers it.
inline bool DropOn(TForm1& form, QWidget* widget, const QMimeData& data) {
  QWindow* window = form.windowHandle();
  const QPointF at = widget->mapTo(&form, widget->rect().center());
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &drop);
  return drop.isAccepted();
}

}  // namespace guitest
