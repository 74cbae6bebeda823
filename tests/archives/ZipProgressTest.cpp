// TProgressForm: layout, placement, Cancel, and its life during Extract.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "archives/ProgressForm.h"
#include "archives/ZipDlls.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

namespace {

// One application object for the run, made when the first test starts (not while the tests
// are only being listed).
class ProgressForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "zip_progress_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }
};

TProgressForm* OpenForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* form = dynamic_cast<TProgressForm*>(widget)) return form;
  return nullptr;
}

TEST_F(ProgressForm, LayoutAndCancel) {
  TZip zip;
  TProgressForm form(zip);
  EXPECT_EQ(form.windowTitle().toStdString(), platform::ApplicationTitle());
  EXPECT_EQ(form.size(), QSize(300, 100));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form.Label()->text(), "wait ...");
  EXPECT_EQ(form.Label()->geometry().topLeft(), QPoint(10, 15));
  EXPECT_EQ(form.Label()->width(), 280);
  EXPECT_EQ(form.ProgressBar()->geometry().topLeft(), QPoint(10, 35));
  EXPECT_EQ(form.ProgressBar()->width(), 280);
  EXPECT_EQ(form.CancelButton()->text(), "&Cancel");
  EXPECT_TRUE(form.CancelButton()->isDefault());
  EXPECT_EQ(form.CancelButton()->y(), 60);
  EXPECT_EQ(form.CancelButton()->x(), (300 - form.CancelButton()->width()) / 2);

  form.ShowFileName("maps/a.vkb");
  EXPECT_EQ(form.Label()->text(), "maps/a.vkb");
  EXPECT_EQ(form.Label()->x(), 10);
  form.SetProgressMax(65535);
  form.SetProgressPosition(70000);
  EXPECT_EQ(form.ProgressBar()->value(), 65535);

  form.Show();
  EXPECT_TRUE(form.isVisible());
  form.CancelButton()->click();
  EXPECT_TRUE(zip.Cancel());
  EXPECT_FALSE(form.isVisible());
}

TEST_F(ProgressForm, CentredOverTheMainWindow) {
  QMainWindow main;
  main.setGeometry(200, 150, 800, 600);
  main.show();
  TZip zip;
  TProgressForm form(zip);
  const QRect frame = main.frameGeometry();
  EXPECT_EQ(form.pos(), QPoint(frame.left() + (frame.width() - 300) / 2,
                               frame.top() + (frame.height() - 100) / 2));
}

TEST_F(ProgressForm, LivesOnlyWhileExtractRuns) {
  platform::SetProgramFolder(vvtest::ProgramDir());
  const std::string previous = platform::CurrentFolder();
  vvtest::TempDir dir;
  vvtest::WriteFile(dir / "p.zip", ziptest::BuildZip({ziptest::FileEntry("1.txt", "one"),
                                                      ziptest::FileEntry("2.txt", "two"),
                                                      ziptest::FileEntry("3.txt", "three")}));
  TProgressForm::Install();
  {
    TZip zip;
    zip.SetExtractDir(dir.path());
    zip.SetZipFileName(dir / "p.zip");
    std::vector<std::string> labels;
    int lastPosition = -1;
    zip.OnZEDProgressEvent = [&](TZip*, const std::string&, int32_t, int32_t) {
      TProgressForm* form = OpenForm();
      ASSERT_NE(form, nullptr);
      EXPECT_TRUE(form->isVisible());
      EXPECT_EQ(form->ProgressBar()->maximum(), 65535);
      labels.push_back(form->Label()->text().toStdString());
      lastPosition = form->ProgressBar()->value();
    };
    EXPECT_EQ(zip.Extract(), 3);
    EXPECT_EQ(labels, (std::vector<std::string>{"1.txt", "2.txt", "3.txt"}));
    EXPECT_EQ(lastPosition, 35746);  // 6 of 11 bytes: the bar moves after the event
    EXPECT_EQ(OpenForm(), nullptr);

    // Cancel pressed during the second file: nothing more is written.
    vvtest::TempDir other;
    zip.SetExtractDir(other.path());
    int begins = 0;
    zip.OnZEDProgressEvent = nullptr;
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
      if (++begins == 2) OpenForm()->CancelButton()->click();
    };
    EXPECT_EQ(zip.Extract(), 1);
    EXPECT_EQ(begins, 2);
    EXPECT_EQ(OpenForm(), nullptr);

    // Without ShowProgressDialog no window appears.
    zip.SetShowProgressDialog(false);
    zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
      EXPECT_EQ(OpenForm(), nullptr);
    };
    vvtest::TempDir third;
    zip.SetExtractDir(third.path());
    EXPECT_EQ(zip.Extract(), 3);
  }
  TZip::SetProgressWindowFactory(nullptr);
  platform::SetCurrentFolder(previous);
  platform::SetProgramFolder("");
}

}  // namespace
