// Ways into the main window besides the mouse on its buttons: dropped files and folders, the
// keyboard, the folder pickers' starting points; and the window on a small screen.
#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOption>
#include <QTest>
#include <QUrl>

#include "MainWindowFixture.h"
#include "app/Places.h"
#include "platform/Files.h"

namespace {

using guitest::DropOn;
using guitest::MainWindowTest;
using guitest::Settle;

TEST_F(MainWindowTest, DropSelectsOnePackageOrFolderAndExplainsAnythingElse) {
  Start();
  const std::string zip = work / "Desert.ZIP", text = work / "notes.txt";
  const std::string rar = work / "Hill.RAR", vka = work / "hill (4p).vka";
  for (const std::string& package : {zip, rar, vka}) vvtest::WriteFile(package, "PK");
  vvtest::WriteFile(text, "hello");
  auto urls = [](std::initializer_list<std::string> paths) {
    auto* data = new QMimeData;
    QList<QUrl> list;
    for (const std::string& p : paths) list << QUrl::fromLocalFile(QString::fromStdString(p));
    data->setUrls(list);
    return std::unique_ptr<QMimeData>(data);
  };
  struct Case {
    const char* name;
    std::unique_ptr<QMimeData> data;
    int selectMode;        // -1: unchanged
    const char* logStart;  // the last log line starts so
  };
  auto plain = std::make_unique<QMimeData>();
  plain->setText("just text");
  Case cases[] = {
      {"package", urls({zip}), 1, "< "},
      {"rar package", urls({rar}), 1, "< "},
      {"vka archive", urls({vka}), 1, "< "},
      {"folder", urls({work.path() + "/"}), 2, "< "},
      {"two files", urls({zip, text}), -1, "dropped 2 items"},
      {"text file", urls({text}), -1, "error - "},
      {"no file", std::move(plain), -1, "dropped item is no file"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    State().SelectMode = 0;
    form->SetSelectionCaption("before");
    // Dropped over a pane, which would otherwise paste the file name as text.
    EXPECT_TRUE(DropOn(*form, form->Memo2, *c.data));
    EXPECT_EQ(form->Memo2->LineCount(), 0);
    const std::string log = form->Memo1->Lines();
    const std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_EQ(last.rfind(c.logStart, 0), 0u) << last;
    if (c.selectMode < 0) {
      EXPECT_EQ(State().SelectMode, 0);
      EXPECT_EQ(form->SelectionCaption(), "before");
      EXPECT_TRUE(last.ends_with(" !\n")) << last;
    } else {
      EXPECT_EQ(State().SelectMode, c.selectMode);
    }
  }
  EXPECT_EQ(State().SourceFolder, work.path());
  EXPECT_TRUE(files.requests.empty() && folders.requests.empty());
}

// varevudov PATH: the package or folder is selected once the window has started, as a drop of it
// would select it; nothing is converted until Convert.
TEST_F(MainWindowTest, PathNamedAtStartIsSelected) {
  const std::string zip = work / "desert.zip", text = work / "notes.txt";
  vvtest::WriteFile(zip, "PK");
  vvtest::WriteFile(text, "hello");
  vvtest::WriteFile(folder / workflow::kSettingsFileName, work.path() + "\r\n");
  struct Case {
    std::string path;
    int selectMode;
    std::string lastLine;
  } cases[] = {
      {zip, 1, "< " + zip + " > file selected for processing"},
      {work.path(), 2, "< " + work.path() + " > folder selected for processing"},
      {text, 0, "error - " + text + " : no zip, rar or vka package and no folder !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Start(c.path);
    const std::string log = form->Memo1->Lines();
    EXPECT_TRUE(log.ends_with("\n" + c.lastLine + "\n")) << log;
    EXPECT_EQ(State().SelectMode, c.selectMode);
    EXPECT_EQ(form->Convert->isEnabled(), c.selectMode != 0);
    EXPECT_EQ(form->Memo2->LineCount(), 0);  // nothing converted
  }
}

TEST_F(MainWindowTest, KeyboardReachesEveryControlAndPressesButtons) {
  Start();
  // The focused control is marked from the start, before any Tab.
  QStyleOptionButton option;
  option.initFrom(form->BrowseMapFile);
  EXPECT_TRUE(option.state & QStyle::State_HasFocus);
  EXPECT_TRUE(option.state & QStyle::State_KeyboardFocusChange);

  form->Convert->setEnabled(true);
  const std::vector<QWidget*> order = {
      (QWidget*)form->Button1,     form->BrowseMapFile, form->Memo1,           form->Button2,
      form->BrowseFolderToProcess, form->Convert,       form->SelectVKAFolder, form->Memo2,
      form->showmapimage,          form->Button3};
  form->Button1->setFocus();
  for (size_t i = 1; i <= order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), order[i % order.size()]) << i;
  }
  for (size_t i = order.size(); i-- > 0;) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
  }
  EXPECT_EQ(form->Memo2->toPlainText(), "");  // no tab typed into the pane

  // Enter and Space press the focused button.
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
    form->Workflow().rr("line");
    form->Button3->setFocus();
    QTest::keyClick(form->Button3, key);
    EXPECT_EQ(form->Memo2->LineCount(), 0) << key;
  }
}

TEST_F(MainWindowTest, PickersOpenWhereTheirLastChoiceWasAndOfferAPathField) {
  Start();
  ASSERT_TRUE(platform::CreateDir(work / "packages"));
  ASSERT_TRUE(platform::CreateDir(work / "maps"));
  ChooseFolder(form->BrowseFolderToProcess, work / "packages");
  ChooseFolder(form->SelectVKAFolder, work / "maps");
  ChooseFolder(form->BrowseFolderToProcess, work / "packages");
  ChooseFolder(form->SelectVKAFolder, work / "maps");
  ASSERT_EQ(folders.requests.size(), 4u);
  EXPECT_EQ(folders.requests[2].initialFolder, work / "packages");
  EXPECT_EQ(folders.requests[3].initialFolder, work / "maps");
  for (const FolderDialogRequest& request : folders.requests)
    EXPECT_TRUE(request.flags & BIF_EDITBOX);
  // Nothing chosen yet after a start: not the file system's root.
  EXPECT_NE(folders.requests[0].initialFolder, "/");
  EXPECT_FALSE(folders.requests[0].initialFolder.empty());

  // The file dialog: Downloads or home, never the program's own folder; then the folder of the
  // package chosen last, also after a new start, with the settings file left at its one line.
  ChooseFile(work / "none.zip");
  vvtest::WriteFile(work / "packages/desert.zip", "PK");
  ChooseFile(work / "packages/desert.zip");
  Start();
  ChooseFile(work / "packages/desert.zip");
  ASSERT_EQ(files.requests.size(), 3u);
  EXPECT_FALSE(files.requests[0].initialDir.empty());
  EXPECT_EQ(files.requests[2].initialDir, work / "packages");
  EXPECT_EQ(vvtest::ReadFile(folder / workflow::kSettingsFileName), work / "maps" + "\r\n");
}

// A double-click on a line of the files pane, or its menu's "Open Folder", shows a folder in the
// desktop's file manager: the one the line names, else the target folder.
TEST_F(MainWindowTest, FilesPaneOpensTheFolderOfALine) {
  Start();
  struct Opener : places::FolderOpener {
    bool Open(const std::string& folder) override {
      opened = folder;
      return works;
    }
    std::string opened;
    bool works = true;
  } opener;
  places::ScopedFolderOpener useOpener(opener);
  ASSERT_TRUE(platform::CreateDir(work / "unpacked"));
  const std::string maps = work.path(), unpacked = work / "unpacked";
  struct Case {
    std::string line, target;
    bool works;
    std::string opened;
    const char* log;  // the last log line, when something is logged
  } cases[] = {
      {"   -> desert.vka", maps, true, maps, nullptr},
      {"   -> " + unpacked, maps, true, unpacked, nullptr},
      {"   -> /no/such/folder", maps, true, maps, nullptr},
      {"   -> desert.vka", "", true, "", "no target folder selected - nothing to open !"},
      {"   -> desert.vka", maps, false, maps, "folder open failed !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + " in " + c.target);
    opener.opened.clear();
    opener.works = c.works;
    form->Memo2->ClearLines();
    form->Workflow().rr(c.line);
    form->SetTargetCaption(c.target.empty() ? workflow::kNothingSelected : c.target);
    QTest::mouseDClick(form->Memo2->viewport(), Qt::LeftButton, {},
                       form->Memo2->cursorRect().center());
    EXPECT_EQ(opener.opened, c.opened);
    if (c.log) {
      EXPECT_TRUE(form->Memo1->Lines().ends_with(std::string(c.log) + "\n"));
    }
  }
}

TEST_F(MainWindowTest, FitsASmallScreenAndElidesLongPaths) {
  Start();
  form->FitToWorkArea(QRect(0, 0, 1280, 600));
  Settle();
  EXPECT_LE(form->frameGeometry().height(), 600);
  auto* scroll = form->findChild<QScrollArea*>();
  ASSERT_NE(scroll, nullptr);
  EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
  EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0);
  form->FitToWorkArea(QRect(0, 0, 1280, 1024));
  EXPECT_EQ(form->size(), QSize(640, 745));

  const std::string path = "/very" + std::string(300, 'x') + "/long/maps";
  form->SetTargetCaption(path);
  EXPECT_EQ(form->TargetCaption(), path);
  EXPECT_EQ(form->Label7->toolTip().toStdString(), path);
  EXPECT_TRUE(form->Label7->text().contains(QChar(0x2026)));
  EXPECT_TRUE(form->Label7->text().endsWith("/long/maps"));
  EXPECT_LE(form->Label7->geometry().right(), 640);
}

}  // namespace
