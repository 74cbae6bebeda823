// Whole Convert runs through the window: a ZIP package through the stand-ins to a VKA file,
// with the map image window shown on the way, and the window kept painted but deaf meanwhile.
#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <filesystem>
#include <sstream>

#include "MainWindowFixture.h"
#include "SampleMaps.h"
#include "platform/Files.h"
#include "tga/TargaImageControl.h"

namespace {

using guitest::MainWindowTest;
using guitest::Settle;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Whether want appears in lines in this order (other lines may come between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& want) {
  size_t next = 0;
  for (const std::string& line : lines)
    if (next < want.size() && line == want[next]) ++next;
  return next == want.size();
}

std::map<std::string, std::string> DesertPackage(const std::string& info) {
  return {{"desert.vkb", "scenario"},
          {"desert.info", info},
          {"desert.scar", "-- script"},
          {"Desert.tga", tgatest::SolidTga(8, 8)},
          {"desert_mm.tga", tgatest::SolidTga(300, 200)},
          {"desert_map_base.tga", tgatest::SolidTga(4, 4)}};
}

// Records what the map image window looked like when its image was first painted.
class FirstPaint : public QObject {
 public:
  FirstPaint(TForm1& main, TForm2& map, std::string program)
      : main_(main), map_(map), program_(std::move(program)) {
    map.TargaImage1->installEventFilter(this);
  }
  bool seen = false;
  bool stillShown = false;
  QRect mainFrame, mapFrame;
  QString mapName;
  QSize imageSize;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen) {
      seen = true;
      mainFrame = main_.frameGeometry();
      mapFrame = map_.frameGeometry();
      mapName = map_.Label1->text();
      imageSize = map_.TargaImage1->size();
      // The map window took the focus; its handing back within the run must neither reset the
      // run nor, should archive.exe be missing just then, close the window under it.
      const std::string archiver = program_ + "/archive.exe";
      platform::MoveFile(archiver, archiver + ".away");
      main_.FormActivate();
      platform::MoveFile(archiver + ".away", archiver);
      stillShown = main_.isVisible();
    }
    return false;
  }

 private:
  TForm1& main_;
  TForm2& map_;
  std::string program_;
};

TEST_F(MainWindowTest, ConvertsAZipPackageShowingItsMinimap) {
  if (!platform::FileExists(folder / "libUnzDll-standin.so")) GTEST_SKIP() << "no unzip stand-in";
  Start();
  const std::string package = work / "desert.zip";
  const std::string target = work / "maps";
  ASSERT_TRUE(platform::CreateDir(target));
  guitest::WriteZip(package, DesertPackage("HeaderInfo\r\nMaxPlayers = 4,\r\n"));
  ChooseFolder(form->SelectVKAFolder, target);
  ChooseFile(package);
  ASSERT_TRUE(form->Convert->isEnabled());
  form->Button2->click();

  FirstPaint paint(*form, *form2, folder.path());
  form->Convert->click();

  ASSERT_TRUE(paint.seen) << form->Memo1->Lines();
  EXPECT_EQ(paint.mainFrame.topLeft(), QPoint(10, 10));
  EXPECT_EQ(paint.mapFrame.topLeft(), QPoint(10 + paint.mainFrame.width(), 10));
  EXPECT_EQ(paint.mapFrame.height(), paint.mainFrame.height());
  EXPECT_EQ(paint.mapName, "desert");
  EXPECT_EQ(paint.imageSize, QSize(300, 200));
  EXPECT_TRUE(paint.stillShown);
  EXPECT_TRUE(prompter.messages.empty());

  EXPECT_TRUE(platform::FileExists(target + "/desert (4p).vka"));
  EXPECT_FALSE(platform::DirectoryExists(folder / "$$$"));
  EXPECT_EQ(
      form->Memo2->Lines(),
      "\n[ desert.zip ]\n   -> desert (4p).vka\n\n---------------------------------------\n\n");
  const std::vector<std::string> log = SplitLines(form->Memo1->Lines());
  std::vector<std::string> want = {
      "Extracting zip file. Please wait...",
      "Done!",
      "files move to folder ok",
      "$tmp$.txt file created ok",
      "$$$.bat file created ok",
      "Creating desert (4p).vka file. Please wait...",
      "desert (4p).vka file created successfully",
      "",
      "========================= Process Completed ! =========================",
      ""};
  for (const std::string& line : workflow::ConvertWorkflow::HelpText()) want.push_back(line);
  EXPECT_TRUE(InOrder(log, want)) << form->Memo1->Lines();
  for (const std::string& line : log) EXPECT_FALSE(line.ends_with(" !")) << line;

  // The run hands the window back: map window closed, main window centred, browse buttons and
  // cursor back, Convert off until the next choice.
  Settle();
  EXPECT_FALSE(form2->isVisible());
  const QRect screen = form->screen()->availableGeometry();
  EXPECT_LE(std::abs(form->frameGeometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(form->frameGeometry().center().y() - screen.center().y()), 1);
  EXPECT_TRUE(form->BrowseMapFile->isEnabled());
  EXPECT_TRUE(form->BrowseFolderToProcess->isEnabled());
  EXPECT_FALSE(form->Convert->isEnabled());
  EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(form->Label7->text().toStdString(), target);
  // Nothing stays chosen: choosing the target again does not offer the package once more.
  ChooseFolder(form->SelectVKAFolder, target);
  EXPECT_EQ(State().SelectMode, 0);
  EXPECT_FALSE(form->Convert->isEnabled());
}

TEST_F(MainWindowTest, AFailedRunStillHandsTheWindowBack) {
  Start();
  const std::string package = work / "broken.zip";
  vvtest::WriteFile(package, "PK\x03\x04 not really a zip");
  ChooseFolder(form->SelectVKAFolder, work.path());
  ChooseFile(package);
  form->Convert->click();
  Settle();
  EXPECT_TRUE(form->BrowseMapFile->isEnabled());
  EXPECT_TRUE(form->BrowseFolderToProcess->isEnabled());
  EXPECT_FALSE(form->Convert->isEnabled());
  EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
  EXPECT_FALSE(platform::DirectoryExists(folder / "$$$"));
  EXPECT_TRUE(InOrder(SplitLines(form->Memo1->Lines()),
                      {"========================= Process Completed ! ========================="}));
}

// A folder run past the progress log's 500 lines with two broken packages ends with one summary
// line, from the window and from the command line alike; in the window it is in view, in amber,
// and the failures' lines are still there.
TEST_F(MainWindowTest, FolderRunEndsWithItsSummaryInTheWindowAndOnTheCommandLine) {
  if (!platform::FileExists(folder / "libUnzDll-standin.so")) GTEST_SKIP() << "no unzip stand-in";
  const std::string input = work / "input";
  ASSERT_TRUE(platform::CreateDir(input));
  constexpr int kGood = 20;  // about 36 lines each
  for (int i = 0; i < kGood; ++i)
    ziptest::WriteZip(input + "/map" + std::to_string(i) + ".zip",
                      maptest::DesertFiles("map" + std::to_string(i)));
  vvtest::WriteFile(input + "/broken-a.rar", "Rar! no rar at all");
  // A name with a line feed is escaped alike in every line that names it.
  vvtest::WriteFile(input + "/broken\nb.zip", "PK\x03\x04 no zip at all");
  const std::string cli = folder / "varevudov-cli";  // beside archive.exe
  std::filesystem::copy_file(VV_CLI_PATH, cli);
  const std::string inWindow = work / "window", onCommandLine = work / "cli";
  ASSERT_TRUE(platform::CreateDir(inWindow) && platform::CreateDir(onCommandLine));
  Start();
  ChooseFolder(form->SelectVKAFolder, inWindow);
  ChooseFolder(form->BrowseFolderToProcess, input);
  form->showmapimage->setChecked(false);  // so no closing map window hands the focus back
  form->Convert->click();
  Settle();
  EXPECT_LE(form->Memo1->LineCount(), 501);
  EXPECT_EQ(vvtest::RunProgram({cli, "--target", onCommandLine, input}, work.path(), work / "out"),
            1);

  const std::string counts = std::to_string(kGood) + " maps converted, 2 packages failed: ";
  for (const auto& [target, text] : {std::pair(inWindow, form->Memo1->Lines()),
                                     std::pair(onCommandLine, vvtest::ReadFile(work / "out"))}) {
    SCOPED_TRACE(target);
    const std::vector<std::string> log = SplitLines(text);
    EXPECT_EQ(vvtest::Tree(target).size(), static_cast<size_t>(kGood));
    const auto summary = std::find_if(
        log.begin(), log.end(), [&](const std::string& line) { return line.starts_with(counts); });
    ASSERT_NE(summary, log.end());
    const std::string names = summary->substr(counts.size());
    EXPECT_TRUE(names == "broken-a.rar, broken\\nb.zip" || names == "broken\\nb.zip, broken-a.rar")
        << names;
    EXPECT_TRUE(
        InOrder(std::vector<std::string>(summary, log.end()),
                {"", "========================= Process Completed ! ========================="}));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
      return line.starts_with("error - broken-a.rar : ") && line.ends_with(" !");
    }));
    EXPECT_TRUE(InOrder(log, {"error - broken\\nb.zip : \"" + input +
                              "/broken\\nb.zip\" is not a valid Zip file. !"}));
  }

  // Where the window left its log: the summary line in view, in amber.
  const QTextBlock block = form->Memo1->document()->find(QString::fromStdString(counts)).block();
  ASSERT_TRUE(block.isValid());
  QPlainTextEdit& memo = *form->Memo1;
  EXPECT_LE(memo.cursorForPosition(QPoint(0, 0)).blockNumber(), block.blockNumber());
  EXPECT_GE(memo.cursorForPosition(QPoint(0, memo.viewport()->height() - 1)).blockNumber(),
            block.blockNumber());
  EXPECT_EQ(block.begin().fragment().charFormat().foreground().color(), QColor(255, 170, 0));
  // Nothing stays chosen: choosing the target again does not offer the folder once more.
  ChooseFolder(form->SelectVKAFolder, inWindow);
  EXPECT_EQ(State().SelectMode, 0);
  EXPECT_FALSE(form->Convert->isEnabled());
}

TEST_F(MainWindowTest, WaitingForTheArchiverKeepsTheWindowPainted) {
  Start();
  int paints = 0;
  struct Counter : QObject {
    int& n;
    explicit Counter(int& count) : n(count) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++n;
      return false;
    }
  } counter(paints);
  form->Label7->installEventFilter(&counter);
  form->SetTargetCaption("changed while waiting");
  form->WhileWaiting();
  EXPECT_GT(paints, 0);
}

}  // namespace
