#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <string>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Strings.h"
#include "shell/FolderPickerDialog.h"
#include "shell/folderBrowse.h"

namespace {

FolderDialogChoice Chosen(std::string path, std::string displayName) {
  return FolderDialogChoice{std::move(path), std::move(displayName)};
}

TEST(BrowseForFolder, StartsWithTheDocumentedValues) {
  TBrowseForFolder browse;
  EXPECT_EQ(browse.StatusText(), "Plase select folder");
  EXPECT_EQ(browse.FolderName(), "/");
  EXPECT_EQ(browse.Caption(), "Select Folder");
  EXPECT_EQ(browse.DisplayName(), "");
  EXPECT_EQ(browse.Flags(), TBrowseFlags{});
  EXPECT_EQ(browse.Root(), bl_STANDART);
  EXPECT_EQ(browse.FlagsWord(), 0u);
}

TEST(BrowseForFolder, FlagsMapToDialogBitsAndHideTheValidationBit) {
  const struct {
    TBrowseFlag flag;
    uint32_t bit;
  } kMapping[] = {{bf_BrowseForComputer, 0x1000},
                  {bf_BrowseForPrinter, 0x2000},
                  {bf_DontGoBelowDomain, 0x0002},
                  {bf_statustext, 0x0004},
                  {bf_ReturnFSanceStors, 0x0008},
                  {bf_ReturnOnlyFSDIRS, 0x0001},
                  {bf_EditBox, 0x0010}};
  for (const auto& m : kMapping) {
    TBrowseForFolder browse;
    browse.SetFlags({m.flag});
    EXPECT_EQ(browse.FlagsWord(), m.bit) << m.flag;
    EXPECT_EQ(browse.Flags(), TBrowseFlags{m.flag});
  }

  RecordingFolderDialog dialog;
  ScopedFolderDialog scoped(dialog);
  TBrowseForFolder browse;
  browse.SetFlags({bf_ReturnOnlyFSDIRS, bf_EditBox});
  EXPECT_EQ(browse.FlagsWord(), 0x0011u);
  EXPECT_FALSE(browse.Execute());
  ASSERT_EQ(dialog.requests.size(), 1u);
  EXPECT_EQ(dialog.requests[0].flags, 0x0031u);
  EXPECT_EQ(browse.FlagsWord(), 0x0031u);
  EXPECT_EQ(browse.Flags(), (TBrowseFlags{bf_ReturnOnlyFSDIRS, bf_EditBox}));
  // Writing the set leaves the validation bit alone.
  browse.SetFlags({bf_statustext});
  EXPECT_EQ(browse.FlagsWord(), 0x0024u);
  browse.SetFlags({});
  EXPECT_EQ(browse.FlagsWord(), 0x0020u);
}

TEST(BrowseForFolder, ExecuteHandsOverItsTextsAndRemembersTheChoice) {
  RecordingFolderDialog dialog;
  ScopedFolderDialog scoped(dialog);
  dialog.answers.push_back(Chosen("/srv/maps", "maps"));
  dialog.answers.push_back(std::nullopt);  // cancel
  dialog.answers.push_back(Chosen("", "Printers"));

  TBrowseForFolder browse;
  browse.SetStatusText("");
  ASSERT_TRUE(browse.Execute());
  EXPECT_EQ(browse.FolderName(), "/srv/maps");
  EXPECT_EQ(browse.DisplayName(), "maps");
  EXPECT_EQ(dialog.requests[0].title, "Select Folder");
  EXPECT_EQ(dialog.requests[0].initialFolder, "/");
  EXPECT_EQ(dialog.requests[0].statusText, "");
  EXPECT_EQ(dialog.requests[0].root, "");

  // The folder chosen last is the one selected on opening; cancel changes nothing.
  browse.SetStatusText("Plase select folder");
  EXPECT_FALSE(browse.Execute());
  EXPECT_EQ(dialog.requests[1].initialFolder, "/srv/maps");
  EXPECT_EQ(dialog.requests[1].statusText, "Plase select folder");
  EXPECT_EQ(browse.FolderName(), "/srv/maps");
  EXPECT_EQ(browse.DisplayName(), "maps");

  // An item without a file-system path leaves a defined, empty folder name.
  EXPECT_TRUE(browse.Execute());
  EXPECT_EQ(browse.FolderName(), "");
  EXPECT_EQ(browse.DisplayName(), "Printers");
}

TEST(BrowseForFolder, RootComesFromTheLocationAndIsKeptForStandart) {
  RecordingFolderDialog dialog;
  ScopedFolderDialog scoped(dialog);
  TBrowseForFolder browse;
  browse.SetRoot(bl_CUSTOM);
  browse.Execute();
  EXPECT_EQ(dialog.requests.back().root, "");  // no custom root set: everything
  browse.SetCustomRoot("/srv");
  browse.Execute();
  EXPECT_EQ(dialog.requests.back().root, "/srv");
  browse.SetRoot(bl_STANDART);
  browse.Execute();
  EXPECT_EQ(dialog.requests.back().root, "/srv");
  browse.SetRoot(bl_STARTUP);
  browse.Execute();
  const std::string startup = dialog.requests.back().root;
  EXPECT_EQ(startup.front(), '/');
  EXPECT_EQ(platform::ExtractFileName(startup), "autostart");
  browse.SetRoot(bl_DESKTOP);
  browse.Execute();
  EXPECT_EQ(dialog.requests.back().root, "");

  for (TBrowseLocation virtualFolder : {bl_CONTROLS, bl_PRINTERS, bl_DRIVES, bl_NETWORK})
    EXPECT_EQ(BrowseLocationFolder(virtualFolder), "") << virtualFolder;
  for (TBrowseLocation location : {bl_PROGRAMS, bl_PERSONAL, bl_DESKTOPDIRECTORY, bl_FONTS,
                                   bl_APPDATA, bl_COMMON_STARTMENU, bl_FAVORITES}) {
    const std::string folder = BrowseLocationFolder(location);
    ASSERT_FALSE(folder.empty()) << location;
    EXPECT_EQ(folder.front(), '/') << location;
  }
}

// The Qt dialog itself, driven without a display.
class QtFolderDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) {
      static int argc = 1;
      static char name[] = "shell_folder_browse_tests";
      static char* argv[] = {name, nullptr};
      static QApplication* app = new QApplication(argc, argv);
      (void)app;
    }
  }
  void SetUp() override { ASSERT_TRUE(platform::CreateDir(dir / "Maps")); }

  static QLineEdit* NameEdit(QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>("fileNameEdit");
  }

  vvtest::TempDir dir;
};

TEST_F(QtFolderDialogTest, OpensWithTheInitialFolderSelectedFoundIgnoringCase) {
  FolderDialogRequest request;
  request.initialFolder = dir / "maps/";
  FolderPickerDialog picker(request);
  EXPECT_EQ(QDir(picker.directory()).absolutePath().toStdString(), dir.path());
  EXPECT_EQ(picker.ChosenFolder(), dir / "Maps");
}

TEST_F(QtFolderDialogTest, StatusLineCarriesTheTextAndShowsOnlyWithItsFlag) {
  FolderDialogRequest request;
  request.title = "Select Folder";
  FolderPickerDialog without(request);
  EXPECT_EQ(without.StatusLine(), nullptr);
  EXPECT_EQ(without.windowTitle().toStdString(), "Select Folder");

  request.statusText = "Plase select folder";
  FolderPickerDialog hidden(request);
  ASSERT_NE(hidden.StatusLine(), nullptr);
  EXPECT_EQ(hidden.StatusLine()->text().toStdString(), "Plase select folder");
  EXPECT_TRUE(hidden.StatusLine()->isHidden());

  request.flags = BIF_STATUSTEXT;
  FolderPickerDialog shown(request);
  EXPECT_FALSE(shown.StatusLine()->isHidden());
}

TEST_F(QtFolderDialogTest, TypedNameThatIsNoFolderKeepsTheDialogOpen) {
  vvtest::WriteFile(dir / "plain.txt", "");
  // The result of typing name into the edit box and confirming; ChosenFolder in chosen.
  auto confirm = [&](const char* name, std::string& chosen) {
    FolderDialogRequest request;
    request.flags = BIF_EDITBOX | BIF_VALIDATE;
    FolderPickerDialog picker(request);
    picker.setDirectory(QString::fromStdString(dir.path()));
    QLineEdit* edit = NameEdit(picker);
    EXPECT_NE(edit, nullptr);
    if (!edit) return false;
    EXPECT_FALSE(edit->isHidden());
    edit->setText(name);
    chosen = picker.ChosenFolder();
    picker.accept();
    return picker.result() == QDialog::Accepted;
  };
  std::string chosen;
  EXPECT_FALSE(confirm("NoSuchFolder", chosen));
  EXPECT_FALSE(confirm("plain.txt", chosen));
  EXPECT_TRUE(confirm("MAPS", chosen));
  EXPECT_EQ(chosen, dir / "Maps");
}

// Enter with nothing picked at the top of the tree is no choice; a typed or pasted full path is.
TEST_F(QtFolderDialogTest, BareRootIsNoChoiceButTypedPathsAre) {
  FolderDialogRequest request;
  request.flags = BIF_EDITBOX | BIF_VALIDATE;
  FolderPickerDialog atRoot(request);
  atRoot.setDirectory(QStringLiteral("/"));
  NameEdit(atRoot)->clear();
  atRoot.accept();
  EXPECT_NE(atRoot.result(), QDialog::Accepted);
  NameEdit(atRoot)->setText(QString::fromStdString(dir / "Maps"));
  atRoot.accept();
  EXPECT_EQ(atRoot.result(), QDialog::Accepted);
  EXPECT_EQ(atRoot.ChosenFolder(), dir / "Maps");

  FolderPickerDialog typedRoot(request);
  typedRoot.setDirectory(QString::fromStdString(dir.path()));
  NameEdit(typedRoot)->setText(QStringLiteral("/"));
  typedRoot.accept();
  EXPECT_EQ(typedRoot.result(), QDialog::Accepted);
}

TEST_F(QtFolderDialogTest, ChoiceOutsideTheRootIsRefusedAndEditBoxFollowsItsFlag) {
  ASSERT_TRUE(platform::CreateDir(dir / "Maps/Desert"));
  FolderDialogRequest request;
  request.root = dir / "Maps";
  request.initialFolder = dir.path();  // outside the root: not selected
  request.flags = BIF_VALIDATE;
  FolderPickerDialog picker(request);
  EXPECT_EQ(QDir(picker.directory()).absolutePath().toStdString(), dir / "Maps");
  EXPECT_TRUE(NameEdit(picker)->isHidden());

  // A root not made yet starts at its nearest existing ancestor.
  request.root = dir / "maps/not/yet";
  FolderPickerDialog pending(request);
  EXPECT_EQ(QDir(pending.directory()).absolutePath().toStdString(), dir / "Maps");

  picker.selectFile(QString::fromStdString(dir.path()));
  EXPECT_EQ(picker.ChosenFolder(), "");
  ASSERT_TRUE(platform::CreateDir(dir / "Maps2"));  // a sibling that merely begins alike
  picker.selectFile(QString::fromStdString(dir / "Maps2"));
  EXPECT_EQ(picker.ChosenFolder(), "");
  picker.selectFile(QString::fromStdString(dir / "Maps/Desert"));
  EXPECT_EQ(picker.ChosenFolder(), dir / "Maps/Desert");
}

TEST_F(QtFolderDialogTest, ExecuteRunsTheModalDialogAndReadsTheChoice) {
  TBrowseForFolder browse;
  browse.SetFolderName(dir / "Maps");
  QTimer::singleShot(0, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) static_cast<QDialog*>(modal)->accept();
  });
  ASSERT_TRUE(browse.Execute());
  EXPECT_EQ(browse.FolderName(), dir / "Maps");
  EXPECT_EQ(browse.DisplayName(), "Maps");

  QTimer::singleShot(0, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) static_cast<QDialog*>(modal)->reject();
  });
  EXPECT_FALSE(browse.Execute());
  EXPECT_EQ(browse.FolderName(), dir / "Maps");
}

}  // namespace
