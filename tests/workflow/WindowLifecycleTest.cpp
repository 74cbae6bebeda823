// Panes, settings file, help text, activation and the selections.
#include "WorkflowFixture.h"
#include "platform/Exceptions.h"

namespace wftest {
namespace {

using workflow::Control;
using workflow::ConvertWorkflow;
using workflow::Pane;

TEST_F(WorkflowTest, PaneDropsItsOldestLinesPastFiveHundred) {
  ConvertWorkflow wf(view);
  for (int i = 1; i <= 501; ++i) wf.mm("line " + std::to_string(i));
  EXPECT_EQ(view.progress.size(), 501u);
  wf.mm("line 502");
  ASSERT_EQ(view.progress.size(), 401u);
  EXPECT_EQ(view.progress.front(), "line 102");
  EXPECT_EQ(view.progress.back(), "line 502");
  for (int i = 0; i < 501; ++i) wf.rr("x");
  EXPECT_EQ(view.created.size(), 501u) << "rr keeps its own count";
  EXPECT_EQ(view.progress.size(), 401u);
}

TEST(SummaryLineTest, SaysWhatTheRunDidWithinOneLine) {
  using workflow::RunOutcome;
  const std::string longName = "first-long-package-name.zip";
  const std::pair<RunOutcome, std::string> rows[] = {
      {{3, 2, 1, {"a.zip"}, ""},
       "3 maps converted, 2 carried vkas placed, 1 vka unpacked, 1 package failed: a.zip"},
      {{1, 0, 0, {}, "run ended by an error"}, "1 map converted, run ended by an error"},
      {{2, 0, 0, {"a.zip", "b\nc.rar", "d.zip"}, ""},
       "2 maps converted, 3 packages failed: a.zip, b\\nc.rar, d.zip"},
      {{2, 0, 0, {longName, "second-long-package-name.rar", "c.zip", "d.zip"}, ""},
       "2 maps converted, 4 packages failed: " + longName + " and 3 more"},
      {{0, 0, 0, {std::string(80, 'x') + ".zip", "b.zip"}, ""},
       "0 maps converted, 2 packages failed: " + std::string(80, 'x') + ".zip and 1 more"},
  };
  for (const auto& [outcome, line] : rows) EXPECT_EQ(workflow::SummaryLine(outcome), line);
}

TEST_F(WorkflowTest, SettingsFileIsOneTrimmedLineWithCrLf) {
  ConvertWorkflow wf(view);
  wf.State().VKAFolder = maps;
  EXPECT_TRUE(wf.WriteIni());
  EXPECT_EQ(vvtest::ReadFile(prog + "/rararudazudada.ini"), maps + "\r\n");

  vvtest::WriteFile(prog + "/rararudazudada.ini", "  \t" + maps + "  \r\nsecond line\r\n");
  wf.State().VKAFolder = "stale";
  EXPECT_TRUE(wf.ReadIni());
  EXPECT_EQ(wf.State().VKAFolder, maps);

  vvtest::WriteFile(prog + "/rararudazudada.ini", "");
  wf.ReadIni();
  EXPECT_EQ(wf.State().VKAFolder, "");
}

TEST_F(WorkflowTest, FormShowWritesHelpAndTargetLabel) {
  ConvertWorkflow wf(view);
  wf.FormShow();
  const auto& help = ConvertWorkflow::HelpText();
  ASSERT_EQ(help.size(), 26u);
  EXPECT_EQ(view.progress, help);
  for (size_t i = 0; i <= 10; ++i) EXPECT_EQ(help[i].size(), 66u) << i;
  EXPECT_EQ(help[14], "automatically to an vka map file if it is ");
  EXPECT_EQ(help[18], " ");
  EXPECT_EQ(help[25], std::string(72, '-'));
  // No settings file: the label keeps the sentinel, so nothing can be converted.
  EXPECT_EQ(view.target, workflow::kNothingSelected);
  EXPECT_EQ(view.focus, Control::BrowseMapFile);

  vvtest::WriteFile(prog + "/rararudazudada.ini", maps + "\r\n");
  wf.FormShow();
  EXPECT_EQ(view.target, maps);
  vvtest::WriteFile(prog + "/rararudazudada.ini", "   \r\n");
  wf.FormShow();
  EXPECT_EQ(view.target, workflow::kNothingSelected);
}

TEST_F(WorkflowTest, ActivationResetsStateAndChecksForArchiver) {
  ConvertWorkflow wf(view);
  auto& s = wf.State();
  s.SelectMode = 2;
  s.MapName = "m";
  s.MaxPlayers = 3;
  s.HasFlags.HasTtyFile = true;
  s.MapFilePath = "kept";
  s.InfoFileName = "kept.info";
  EXPECT_TRUE(wf.FormActivate());
  EXPECT_EQ(s.SelectMode, 0);
  EXPECT_EQ(s.MapName, "");
  EXPECT_EQ(s.MaxPlayers, 0);
  EXPECT_FALSE(s.HasFlags.HasTtyFile);
  EXPECT_EQ(s.MapFilePath, "kept");
  EXPECT_EQ(s.InfoFileName, "kept.info");
  EXPECT_EQ(s.AppFolder, prog);
  EXPECT_TRUE(prompter.messages.empty());

  // Found whatever its case.
  platform::DeleteFile(prog + "/archive.exe");
  vvtest::WriteFile(prog + "/Archive.EXE", "MZ");
  EXPECT_TRUE(wf.FormActivate());
  platform::DeleteFile(prog + "/Archive.EXE");
  EXPECT_FALSE(wf.FormActivate());
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            "Archive.exe - File not found error!\n\n"
            "The file Archive.exe was not found in the same folder as this program\n"
            "This file is required for this program to work\n"
            "You can locate this file in your ironvale folder\n"
            "Copy Archive.exe to the same folder as this program and run the program again.\n\n"
            "Click OK to terminate this program");
}

TEST_F(WorkflowTest, ArchiveExeOfTheInstallationServesAUsersOwnFolder) {
  // input stands for the installed stand-ins.
  platform::SetProgramFolders({prog, input, true});
  platform::DeleteFile(prog + "/archive.exe");
  ConvertWorkflow wf(view);
  EXPECT_FALSE(wf.FormActivate());
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            "Archive.exe - File not found error!\n\n"
            "The file Archive.exe was not found in the folder " +
                prog +
                "\n"
                "This file is required for this program to work\n"
                "You can locate this file in your ironvale folder\n"
                "Copy Archive.exe to the folder " +
                prog +
                " and run the program again.\n\n"
                "Click OK to terminate this program");
  vvtest::WriteFile(input + "/archive.exe", "MZ");
  EXPECT_TRUE(wf.FormActivate());
  EXPECT_EQ(wf.State().AppFolder, prog);
}

TEST_F(WorkflowTest, ChoosingPackageWithoutTargetKeepsConvertDisabled) {
  ConvertWorkflow wf(view);
  const std::string pkg = input + "/desert.zip";
  vvtest::WriteFile(pkg, "x");
  wf.SelectPackageFile("  " + pkg + " ");
  EXPECT_EQ(wf.State().SelectMode, 1);
  EXPECT_EQ(view.selection, "Process File > " + pkg);
  EXPECT_EQ(view.progress.back(), "< " + pkg + " > file selected for processing");
  EXPECT_FALSE(view.enabled[Control::Convert]);
  EXPECT_EQ(view.focus, Control::SelectVKAFolder);

  // The target chosen after the package completes the choice, as the package after the target.
  wf.SelectTargetFolder(maps);
  EXPECT_EQ(view.target, maps);
  EXPECT_EQ(vvtest::ReadFile(prog + "/rararudazudada.ini"), maps + "\r\n");
  EXPECT_TRUE(view.enabled[Control::Convert]);
  EXPECT_EQ(view.focus, Control::Convert);
  view.enabled[Control::Convert] = false;
  wf.SelectPackageFile(pkg);
  EXPECT_TRUE(view.enabled[Control::Convert]);
  EXPECT_EQ(view.focus, Control::Convert);
  EXPECT_EQ(wf.State().VKAFolder, maps);

  // A typed name that does not exist is shown but does not change the mode.
  wf.State().SelectMode = 0;
  wf.SelectPackageFile(input + "/nothing.zip");
  EXPECT_EQ(wf.State().SelectMode, 0);
  EXPECT_EQ(view.selection, "Process File > " + input + "/nothing.zip");

  wf.SelectSourceFolder(input);
  EXPECT_EQ(wf.State().SelectMode, 2);
  EXPECT_EQ(view.selection, "Process all zip & rar files > " + input);
  wf.SelectionCancelled();
  EXPECT_EQ(view.selection, workflow::kNothingSelected);
  EXPECT_EQ(wf.State().SelectMode, 2);
}

TEST_F(WorkflowTest, RunWithoutSelectionStillClosesTheRun) {
  ConvertWorkflow wf(view);
  wf.FormActivate();
  wf.RunConversion();
  EXPECT_EQ(view.progress,
            (std::vector<std::string>{
                "0 maps converted, 0 packages failed", "",
                "========================= Process Completed ! =========================", ""}));
  EXPECT_EQ(view.created, (std::vector<std::string>{"", std::string(39, '-'), ""}));
  EXPECT_TRUE(view.enabled[Control::BrowseMapFile]);
  EXPECT_TRUE(view.enabled[Control::BrowseFolderToProcess]);
  EXPECT_FALSE(view.enabled[Control::Convert]);
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(view.closed, 1);
  EXPECT_EQ(view.recentred, 1);
  EXPECT_EQ(wf.Failures(), 0);
}

TEST_F(WorkflowTest, NoTargetFolderConvertsNothing) {
  ConvertWorkflow wf(view);
  const std::string pkg = input + "/desert.zip";
  WriteZip(pkg, DesertFiles());
  wf.FormActivate();
  wf.SelectPackageFile(pkg);
  wf.RunConversion();
  EXPECT_EQ(view.progress[1], "error - no target vka maps folder selected, nothing converted !");
  EXPECT_EQ(wf.Failures(), 1);
  EXPECT_TRUE(Tree(maps).empty());
  EXPECT_FALSE(platform::DirectoryExists(prog + "/$$$"));
}

}  // namespace
}  // namespace wftest
