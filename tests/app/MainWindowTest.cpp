// The main window: its layout, start-up, the archive.exe check, the choice handlers, the panes
// and the activation rule.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "MainWindowFixture.h"
#include "app/icon/Icon.h"

namespace {

using guitest::MainWindowTest;
using guitest::Settle;

std::string HelpLines() {
  std::string text;
  for (const std::string& line : workflow::ConvertWorkflow::HelpText()) text += line + "\n";
  return text;
}

TEST_F(MainWindowTest, StartsWithNothingChosenAndTheHelpText) {
  Start();
  EXPECT_EQ(form->windowTitle(), "Ironvale Veve Varevudov by Tolsen");
  EXPECT_EQ(form->size(), QSize(640, 745));
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form->Convert->isEnabled());
  EXPECT_TRUE(form->showmapimage->isChecked());
  EXPECT_EQ(form->Label1->text(), "< Nothing selected >");
  EXPECT_EQ(form->Label7->text(), "< Nothing selected >");
  EXPECT_EQ(form->Memo1->Lines(), HelpLines());
  EXPECT_EQ(form->Memo1->LineCount(), 26);
  EXPECT_EQ(form->Memo2->LineCount(), 0);
  EXPECT_EQ(form->focusWidget(), form->BrowseMapFile);
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(State().AppFolder, folder.path());
  EXPECT_EQ(form->Image1->pixmap().size(), QSize(257, 153));
  // Both windows carry the program's icon for the task bar, not the toolkit's.
  for (QWidget* window : {(QWidget*)form.get(), (QWidget*)form2.get()})
    EXPECT_EQ(window->windowIcon().availableSizes().size(), std::size(kIconSizes));
}

TEST_F(MainWindowTest, ControlsSitWhereTheFormPutsThem) {
  Start();
  struct Place {
    QWidget* widget;
    QRect rect;
    const char* text;
    const char* hint;
  };
  const Place places[] = {
      {form->Panel1, {7, 4, 627, 169}, nullptr, ""},
      {form->Image1, {8, 8, 257, 153}, nullptr, ""},
      {form->BrowseMapFile,
       {8, 192, 180, 40},
       "Browse File (ZIP, RAR or VKA)...",
       "Browse and select a Irv map file (zip, Rar or VKA) to convert"},
      {form->BrowseFolderToProcess,
       {202, 192, 180, 40},
       "Browse Folder...",
       "Browse and select a folder to process and convert all zip and rar files inside"},
      {form->Convert,
       {459, 192, 169, 41},
       "Convert",
       "Converts the selected file or processes and converts the files in the selected folder"},
      {form->SelectVKAFolder,
       {11, 272, 75, 25},
       "Select...",
       "Browse and select a folder to place converted VKA files"},
      {form->Memo1, {9, 376, 416, 321}, nullptr, ""},
      {form->Memo2, {440, 376, 193, 321}, nullptr, ""},
      {form->Button2, {8, 704, 75, 25}, "Clear", "Clears display above"},
      {form->Button1, {200, 704, 265, 33}, "Exit", ""},
      {form->Button3, {552, 704, 75, 25}, "Clear", ""},
  };
  for (const Place& place : places) {
    SCOPED_TRACE(place.widget->metaObject()->className());
    EXPECT_EQ(place.widget->geometry(), place.rect);
    EXPECT_EQ(place.widget->toolTip(), place.hint);
    if (auto* button = qobject_cast<QAbstractButton*>(place.widget)) {
      EXPECT_EQ(button->text(), place.text);
      EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
    }
  }
  // The check box grows only where the font's text would not fit its 97 pixels.
  const QRect box = form->showmapimage->geometry();
  EXPECT_EQ(box, QRect(16, 328, std::max(97, form->showmapimage->sizeHint().width()), 17));
  EXPECT_EQ(form->showmapimage->text(), "Show map image");
  EXPECT_EQ(form->showmapimage->cursor().shape(), Qt::PointingHandCursor);
  const std::pair<QLabel*, QPoint> labels[] = {
      {form->Label2, {368, 24}},  {form->Label3, {338, 56}},  {form->Label6, {412, 93}},
      {form->Label4, {392, 140}}, {form->Label1, {14, 244}},  {form->Label8, {93, 277}},
      {form->Label7, {11, 301}},  {form->Label5, {168, 360}}, {form->Label9, {504, 360}}};
  for (const auto& [label, at] : labels) EXPECT_EQ(label->pos(), at) << label->text().toStdString();
  EXPECT_EQ(form->Label8->text(), "Target VKA Maps Folder ");
  EXPECT_EQ(form->Label2->font().pixelSize(), 16);
  EXPECT_EQ(form->Label2->palette().color(QPalette::WindowText), QColor(Qt::white));
  EXPECT_EQ(form->Label2->parentWidget(), form->Panel1);
  EXPECT_TRUE(form->Memo1->isReadOnly());
  EXPECT_FALSE(form->Memo2->isReadOnly());
  for (TMemo* memo : {form->Memo1, form->Memo2}) {
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0, 255, 0));
  }

  // Tab order among the controls that take the focus (the panel takes none).
  const QWidget* expected[] = {form->Button1,
                               form->BrowseMapFile,
                               form->Memo1,
                               form->Button2,
                               form->BrowseFolderToProcess,
                               form->Convert,
                               form->SelectVKAFolder,
                               form->Memo2,
                               form->showmapimage,
                               form->Button3};
  std::vector<const QWidget*> chain;
  QWidget* widget = form->Button1;
  do {
    if (widget->focusPolicy() & Qt::TabFocus) chain.push_back(widget);
    widget = widget->nextInFocusChain();
  } while (widget != form->Button1 && chain.size() < 20);
  EXPECT_EQ(chain, std::vector<const QWidget*>(std::begin(expected), std::end(expected)));
}

TEST_F(MainWindowTest, SettingsFileGivesTheTargetAndPanesCountLikeLineLists) {
  vvtest::WriteFile(folder / "rararudazudada.ini", "  " + work.path() + " \t\r\nignored\r\n");
  Start();
  EXPECT_EQ(form->Label7->text().toStdString(), work.path());

  // The 501st line stays; before the 502nd the oldest 101 go, in that pane only.
  form->Button2->click();
  form->Workflow().rr("kept");
  for (int i = 1; i <= 501; ++i) form->Workflow().mm("line " + std::to_string(i));
  EXPECT_EQ(form->Memo1->LineCount(), 501);
  form->Workflow().mm("");
  EXPECT_EQ(form->Memo1->LineCount(), 401);
  EXPECT_TRUE(form->Memo1->Lines().starts_with("line 102\nline 103\n"));
  form->Workflow().mm("next");
  EXPECT_TRUE(form->Memo1->Lines().ends_with("line 501\n\nnext\n"));
  EXPECT_EQ(form->Memo2->Lines(), "kept\n");

  // Clear buttons touch their own pane only, and no state.
  vvtest::WriteFile(work / "a.rar", "Rar!");
  ChooseFile(work / "a.rar");
  form->Button3->click();
  EXPECT_EQ(form->Memo2->LineCount(), 0);
  EXPECT_GT(form->Memo1->LineCount(), 0);
  form->Workflow().rr("again");
  form->Button2->click();
  EXPECT_EQ(form->Memo1->LineCount(), 0);
  EXPECT_EQ(form->Memo2->Lines(), "again\n");
  EXPECT_EQ(State().SelectMode, 1);
  EXPECT_TRUE(form->Convert->isEnabled());

  form->Button1->click();
  EXPECT_FALSE(form->isVisible());
}

class WithoutArchiverTest : public MainWindowTest {
 protected:
  WithoutArchiverTest() : MainWindowTest(false) {}
};

TEST_F(WithoutArchiverTest, ExplainsAndEnds) {
  int helpLinesAtTheBox = -1;
  prompter.messageRule = [&](const platform::MessageRequest&) {
    helpLinesAtTheBox = form->Memo1->LineCount();
    return platform::IDOK;
  };
  // The program's own event loop runs, and must end by itself once the box is closed.
  QTimer::singleShot(0, [this] { Start(); });
  QTimer safety;
  safety.setSingleShot(true);
  QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  safety.start(10000);
  EXPECT_EQ(QApplication::exec(), 0);
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            "Archive.exe - File not found error!\n\n"
            "The file Archive.exe was not found in the same folder as this program\n"
            "This file is required for this program to work\n"
            "You can locate this file in your ironvale folder\n"
            "Copy Archive.exe to the same folder as this program and run the program again.\n\n"
            "Click OK to terminate this program");
  EXPECT_EQ(prompter.messages[0].flags & platform::kButtonsMask, platform::MB_OK);
  EXPECT_EQ(helpLinesAtTheBox, 26);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindowTest, ConvertNeedsAPackageAndATargetInEitherOrder) {
  Start();
  const std::string package = work / "desert.zip";
  vvtest::WriteFile(package, "PK");
  ChooseFile(" " + package + " ");
  ASSERT_EQ(files.requests.size(), 1u);
  EXPECT_EQ(files.requests[0].filter, "*.zip, *.rar, *.vka|*.zip;*.rar;*.vka");
  EXPECT_NE(files.requests[0].initialDir, folder.path());  // never the program's own folder
  EXPECT_EQ(form->Label1->text().toStdString(), "Process File > " + package);
  EXPECT_EQ(State().SelectMode, 1);
  EXPECT_FALSE(form->Convert->isEnabled());
  EXPECT_EQ(form->focusWidget(), form->SelectVKAFolder);

  // The target chosen second completes the choice; it is stored for the next start.
  ChooseFolder(form->SelectVKAFolder, work.path());
  EXPECT_EQ(form->Label7->text().toStdString(), work.path());
  EXPECT_TRUE(form->Convert->isEnabled());
  EXPECT_EQ(form->focusWidget(), form->Convert);
  EXPECT_EQ(vvtest::ReadFile(folder / "rararudazudada.ini"), work.path() + "\r\n");

  // The other order: the target known, then the package.
  form->Convert->setEnabled(false);
  ChooseFile(package);
  EXPECT_TRUE(form->Convert->isEnabled());
  EXPECT_EQ(form->focusWidget(), form->Convert);

  // A cancelled dialog shows the sentinel but keeps the choice and Convert.
  form->BrowseMapFile->click();
  EXPECT_EQ(form->Label1->text(), "< Nothing selected >");
  EXPECT_EQ(State().SelectMode, 1);
  EXPECT_EQ(State().MapFilePath, package);
  EXPECT_TRUE(form->Convert->isEnabled());
  EXPECT_EQ(form->focusWidget(), form->BrowseMapFile);

  // A folder choice shows one "&"; a cancelled folder picker the sentinel.
  ChooseFolder(form->BrowseFolderToProcess, work.path());
  EXPECT_EQ(form->Label1->text().toStdString(), "Process all zip & rar files > " + work.path());
  EXPECT_EQ(State().SelectMode, 2);
  form->BrowseFolderToProcess->click();
  EXPECT_EQ(form->Label1->text(), "< Nothing selected >");
  EXPECT_EQ(State().SourceFolder, work.path());
}

TEST_F(MainWindowTest, AFailingHandlerIsReportedInABox) {
  // The settings file cannot be written where a folder has its name.
  ASSERT_TRUE(platform::CreateDir(folder / "rararudazudada.ini"));
  Start();
  prompter.messages.clear();
  ChooseFolder(form->SelectVKAFolder, work.path());
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].flags & platform::kIconMask, platform::MB_ICONERROR);
  EXPECT_FALSE(prompter.messages[0].text.empty());
  EXPECT_EQ(form->Label7->text().toStdString(), work.path());
}

TEST_F(MainWindowTest, OnlyComingBackFromTheMapWindowResetsTheState) {
  Start();
  vvtest::WriteFile(work / "a.zip", "PK");
  ChooseFile(work / "a.zip");
  ASSERT_EQ(State().SelectMode, 1);

  QDialog dialog(form.get());
  dialog.show();
  dialog.activateWindow();
  Settle();
  dialog.hide();
  form->activateWindow();
  Settle();
  EXPECT_TRUE(form->isActiveWindow());
  EXPECT_EQ(State().SelectMode, 1);

  // Via another program (the focus leaves ours, then comes back to the main window): no reset.
  form2->show();
  form2->activateWindow();
  Settle();
  ASSERT_TRUE(form2->isActiveWindow());
  emit qApp->focusWindowChanged(nullptr);
  form->activateWindow();
  Settle();
  EXPECT_TRUE(form->isActiveWindow());
  EXPECT_EQ(State().SelectMode, 1);

  form2->activateWindow();
  Settle();
  ASSERT_TRUE(form2->isActiveWindow());
  form->CloseMapImageWindow();
  Settle();
  EXPECT_FALSE(form2->isVisible());
  EXPECT_TRUE(form->isActiveWindow());
  EXPECT_EQ(State().SelectMode, 0);
  EXPECT_EQ(State().MapFilePath, work / "a.zip");
  EXPECT_EQ(form->Label1->text().toStdString(), "Process File > " + (work / "a.zip"));
}

}  // namespace
