// A folder run as the user lives it: input during the run is dropped, the run can be stopped
// from the close button, Exit or Escape, the title shows the progress, and the outcome is in view
// afterwards.
#include <QCheckBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <sstream>

#include <csignal>

#include "MainWindowFixture.h"
#include "app/StopSignals.h"
#include "platform/Files.h"

namespace {

using guitest::Settle;

constexpr char kStopLine[] = "conversion stopped by the user !";
constexpr char kBanner[] =
    "========================= Process Completed ! =========================";

class RunControlTest : public guitest::MainWindowTest {
 protected:
  // A folder of three one-map packages and a target, chosen; the map window stays off so the
  // first event pump is the one while archive.exe packs the first map.
  void ChooseFolderOfThree() {
    if (!platform::FileExists(folder / "libUnzDll-standin.so")) GTEST_SKIP() << "no unzip stand-in";
    Start();
    form->showmapimage->setChecked(false);
    ASSERT_TRUE(platform::CreateDir(work / "in"));
    ASSERT_TRUE(platform::CreateDir(work / "maps"));
    for (const char* name : {"alpha", "beta", "gamma"}) {
      const std::string base = name;
      guitest::WriteZip(work / ("in/" + base + ".zip"),
                        {{base + ".vkb", std::string(4 << 20, 's')},
                         {base + ".info", "HeaderInfo\r\nMaxPlayers = 2,\r\n"}});
    }
    ChooseFolder(form->SelectVKAFolder, work / "maps");
    ChooseFolder(form->BrowseFolderToProcess, work / "in");
    ASSERT_TRUE(form->Convert->isEnabled());
  }

  // Runs Convert with during() called from the run's first event pump.
  void RunWith(const std::function<void()>& during) {
    bool called = false;
    QTimer::singleShot(0, form.get(), [&] {
      called = true;
      titleDuring = form->windowTitle();
      during();
    });
    form->Convert->click();
    ASSERT_TRUE(called);
    Settle();
  }

  int Count(const std::string& line) const {
    std::istringstream in(form->Memo1->Lines());
    int n = 0;
    for (std::string l; std::getline(in, l);) n += l == line;
    return n;
  }
  size_t Made() const {
    size_t n = 0;
    for (const char* name : {"alpha", "beta", "gamma"})
      n += platform::FileExists(work / ("maps/" + std::string(name) + " (2p).vka"));
    return n;  // NOLINT
  }

  QString titleDuring;
  bool droppedDuring = false;
};

TEST_F(RunControlTest, InputDuringARunIsDroppedAndTheTitleShowsProgress) {
  ChooseFolderOfThree();
  RunWith([this] {
    QTest::mouseClick(form->Button3, Qt::LeftButton);  // would empty the created-files list
    QTest::mouseClick(form->showmapimage, Qt::LeftButton);
    QTest::keyClick(form->Memo2, Qt::Key_X);
    QTest::mouseClick(form->SelectVKAFolder, Qt::LeftButton);  // would open the picker
    // A drop is refused, so that its source keeps the data.
    QMimeData package;
    package.setUrls({QUrl::fromLocalFile(QString::fromStdString(work / "in/alpha.zip"))});
    droppedDuring = guitest::DropOn(*form, form->Memo1, package);
  });
  EXPECT_FALSE(droppedDuring);
  EXPECT_TRUE(titleDuring.endsWith(" of 3 - Ironvale Veve Varevudov by Tolsen"))
      << titleDuring.toStdString();
  EXPECT_EQ(form->windowTitle(), "Ironvale Veve Varevudov by Tolsen");
  EXPECT_FALSE(form->showmapimage->isChecked());
  EXPECT_EQ(folders.requests.size(), 2u);  // the two choices before the run only
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(Made(), 3u);
  const std::string created = form->Memo2->Lines();
  EXPECT_NE(created.find("[ alpha.zip ]"), std::string::npos) << created;
  EXPECT_EQ(created.find('x'), std::string::npos) << created;
  EXPECT_EQ(Count(kStopLine), 0);

  // After the run the window takes input again.
  QTest::mouseClick(form->Button3, Qt::LeftButton);
  EXPECT_EQ(form->Memo2->LineCount(), 0);
}

TEST_F(RunControlTest, StopQuestionFromCloseExitAndEscape) {
  struct Case {
    const char* name;
    int answer;
    std::function<void(TForm1&)> ask;
    bool stops, ends;
  };
  const Case cases[] = {
      {"close button, no", platform::IDNO, [](TForm1& f) { f.close(); }, false, false},
      {"close button, yes", platform::IDYES, [](TForm1& f) { f.close(); }, true, true},
      {"exit, yes", platform::IDYES,
       [](TForm1& f) { QTest::mouseClick(f.Button1, Qt::LeftButton); }, true, true},
      {"escape, yes", platform::IDYES, [](TForm1& f) { QTest::keyClick(f.Memo1, Qt::Key_Escape); },
       true, false},
      {"exit, yes, then escape", platform::IDYES,
       [](TForm1& f) {
         QTest::mouseClick(f.Button1, Qt::LeftButton);
         QTest::keyClick(f.Memo1, Qt::Key_Escape);  // asks nothing and keeps the quit
       },
       true, true},
      // A logout or a closed terminal: no question, the answer is Yes.
      {"SIGTERM", 0, [](TForm1&) { raise(SIGTERM); }, true, true},
      {"SIGHUP", 0, [](TForm1&) { raise(SIGHUP); }, true, true},
  };
  StopSignals stopSignals([this] { form->StopAndEnd(); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChooseFolderOfThree();
    prompter.messages.clear();
    prompter.messageAnswers = {c.answer};
    RunWith([&] {
      c.ask(*form);
      Settle();  // a signal is heard from the event loop
    });
    ASSERT_EQ(prompter.messages.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(prompter.messages[0].flags & platform::kButtonsMask, platform::MB_YESNO);
    }
    EXPECT_EQ(Count(kStopLine), c.stops ? 1 : 0) << form->Memo1->Lines();
    EXPECT_EQ(Count(kBanner), 1);
    // Stopped after the package being packed, whose archive is whole.
    if (c.stops) {
      EXPECT_GE(Made(), 1u);
    } else {
      EXPECT_EQ(Made(), 3u);
    }
    EXPECT_FALSE(platform::DirectoryExists(folder / "$$$"));
    EXPECT_FALSE(platform::DirectoryExists(folder / "$map$"));
    EXPECT_EQ(form->isVisible(), !c.ends);
    EXPECT_TRUE(form->BrowseMapFile->isEnabled());
    EXPECT_FALSE(form->Workflow().StopRequested());
    platform::DeleteTree(work / "in");
    platform::DeleteTree(work / "maps");
  }
}

// After a run the closing banner and the lines before it are in view, the help text below;
// failure lines stand out in their own colour with their text unchanged.
TEST_F(RunControlTest, OutcomeInViewWithFailuresMarked) {
  ChooseFolderOfThree();
  vvtest::WriteFile(work / "in/broken.zip", "PK\x03\x04 not really a zip");
  RunWith([] {});
  int banner = -1, failure = -1;
  for (QTextBlock b = form->Memo1->document()->firstBlock(); b.isValid(); b = b.next()) {
    if (b.text() == kBanner) banner = b.blockNumber();
    if (b.text().endsWith(" !") && failure < 0) failure = b.blockNumber();
  }
  ASSERT_GE(banner, 0);
  ASSERT_GE(failure, 0) << form->Memo1->Lines();
  auto colour = [&](int line) {
    return form->Memo1->document()
        ->findBlockByNumber(line)
        .begin()
        .fragment()
        .charFormat()
        .foreground()
        .color();
  };
  EXPECT_NE(colour(failure), colour(banner));
  EXPECT_NE(colour(failure), form->Memo1->palette().color(QPalette::Text));
  EXPECT_TRUE(
      form->Memo1->document()->findBlockByNumber(failure).text().startsWith("error - broken.zip"));

  TMemo& memo = *form->Memo1;
  const int first = memo.cursorForPosition(QPoint(0, 0)).blockNumber();
  const int last = memo.cursorForPosition(QPoint(0, memo.viewport()->height() - 1)).blockNumber();
  EXPECT_LE(first, banner - 5);
  EXPECT_GE(last, banner + 1);
  EXPECT_LT(last, memo.LineCount() - 1);  // the help text goes on below
}

}  // namespace
