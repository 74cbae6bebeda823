#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "platform/TextFile.h"
#include "platform/Volume.h"

namespace {

using Lines = std::vector<std::string>;

TEST(TextFile, WritesCrLfLinesByteExactAndTruncates) {
  vvtest::TempDir dir;
  ASSERT_TRUE(platform::CreateDir(dir / "Work"));
  const std::string file = dir / "work/$tmp$.txt";  // a new file in a folder named in other case
  vvtest::WriteFile(dir / "Work/$tmp$.txt", std::string(100, 'x'));
  platform::WriteTextLines(file, {"@echo off", "", "archive.exe -a \"x\xe9.vka\""});
  EXPECT_EQ(vvtest::ReadFile(dir / "Work/$tmp$.txt"),
            "@echo off\r\n\r\narchive.exe -a \"x\xe9.vka\"\r\n");
  platform::WriteTextLines(file, {});
  EXPECT_EQ(vvtest::ReadFile(dir / "Work/$tmp$.txt"), "");
  EXPECT_THROW(platform::WriteTextLines(dir / "missing/x.txt", {"a"}), EInOutError);
}

TEST(TextFile, NewFileNeverReplacesAFileOrGoesThroughALink) {
  vvtest::TempDir dir;
  vvtest::WriteFile(dir / "$$$.bat", "user's");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "$tmp$.txt").c_str()), 0);
  for (const char* name : {"$$$.bat", "$tmp$.txt"})
    EXPECT_THROW(platform::WriteNewTextFile(dir / name, {"@echo off"}), EInOutError) << name;
  EXPECT_EQ(vvtest::ReadFile(dir / "$$$.bat"), "user's");
  EXPECT_FALSE(platform::FileExists(dir / "victim"));
  platform::WriteNewTextFile(dir / "new.bat", {"@echo off"});
  EXPECT_EQ(vvtest::ReadFile(dir / "new.bat"), "@echo off\r\n");
}

TEST(TextFile, ReadsAnyLineEnd) {
  vvtest::TempDir dir;
  vvtest::WriteFile(dir / "t.ini", "C:\\maps\r\nunix\nmac\r\r\nlast");
  EXPECT_EQ(platform::ReadTextLines(dir / "T.INI"), (Lines{"C:\\maps", "unix", "mac", "", "last"}));
  vvtest::WriteFile(dir / "empty.ini", "");
  EXPECT_EQ(platform::ReadTextLines(dir / "empty.ini"), Lines{});
  EXPECT_THROW(platform::ReadTextLines(dir / "missing.ini"), EInOutError);
}

TEST(Prompter, AnswersFromTheScriptThenByRuleThenWithTheDefaultButton) {
  platform::RecordingPrompter prompter;
  prompter.messageAnswers = {platform::IDNO};
  EXPECT_EQ(prompter.MessageBox({"c", "first", platform::MB_YESNO}), platform::IDNO);
  EXPECT_EQ(prompter.MessageBox({"c", "second", platform::MB_YESNO | platform::MB_DEFBUTTON2}),
            platform::IDNO);
  EXPECT_EQ(
      prompter.MessageBox({"c", "third", platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION}),
      platform::IDYES);
  prompter.messageRule = [](const platform::MessageRequest& r) {
    return r.text == "retry?" ? platform::IDRETRY : platform::IDCANCEL;
  };
  EXPECT_EQ(prompter.MessageBox({"c", "retry?", platform::MB_RETRYCANCEL}), platform::IDRETRY);
  ASSERT_EQ(prompter.messages.size(), 4u);
  EXPECT_EQ(prompter.messages[2].text, "third");
  EXPECT_EQ(prompter.messages[2].flags, platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);

  prompter.inputAnswers = {"secret"};
  std::string value = "untouched";
  EXPECT_TRUE(prompter.InputBox({"Password", "Enter password", ""}, value));
  EXPECT_EQ(value, "secret");
  value = "untouched";
  EXPECT_FALSE(prompter.InputBox({"Password", "Enter password", "def"}, value));
  EXPECT_EQ(value, "untouched");
  ASSERT_EQ(prompter.inputs.size(), 2u);
  EXPECT_EQ(prompter.inputs[1].defaultValue, "def");
}

TEST(Prompter, DefaultButtonFollowsTheSetAndItsDefaultFlag) {
  using namespace platform;
  EXPECT_EQ(DefaultAnswer(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(DefaultAnswer(MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
  EXPECT_EQ(DefaultAnswer(MB_RETRYCANCEL | MB_ICONWARNING), IDRETRY);
}

TEST(Prompter, ScopedPrompterInstallsAndRestores) {
  platform::Prompter& builtIn = platform::CurrentPrompter();
  platform::RecordingPrompter mine;
  {
    platform::ScopedPrompter scoped(mine);
    EXPECT_EQ(&platform::CurrentPrompter(), &mine);
    platform::CurrentPrompter().MessageBox({"c", "t", platform::MB_OK});
  }
  EXPECT_EQ(&platform::CurrentPrompter(), &builtIn);
  EXPECT_EQ(mine.messages.size(), 1u);
}

TEST(Volume, EveryPathIsOnAFixedUnlabelledDriveUnlessSimulated) {
  vvtest::TempDir dir;
  EXPECT_EQ(platform::DriveRootOf(dir / "x.zip"), "/");
  EXPECT_EQ(platform::DriveRootOf(""), "");
  EXPECT_EQ(platform::GetDriveType("/"), platform::DRIVE_FIXED);
  std::string label = "stale";
  EXPECT_TRUE(platform::GetVolumeLabel("/", label));
  EXPECT_EQ(label, "");

  platform::SimulateVolume(dir / "disk", {platform::DRIVE_REMOVABLE, "MAPS_2", true});
  platform::SimulateVolume(dir / "disk/inner", {platform::DRIVE_CDROM, "CD", false});
  EXPECT_EQ(platform::DriveRootOf(dir / "disk/part.zip"), dir / "disk");
  EXPECT_EQ(platform::DriveRootOf(dir / "disk/inner/a"), dir / "disk/inner");
  EXPECT_EQ(platform::DriveRootOf(dir / "disk2/part.zip"), "/");  // a name, not a prefix
  EXPECT_EQ(platform::GetDriveType(dir / "disk/"), platform::DRIVE_REMOVABLE);
  EXPECT_TRUE(platform::GetVolumeLabel(dir / "disk", label));
  EXPECT_EQ(label, "MAPS_2");
  EXPECT_FALSE(platform::GetVolumeLabel(dir / "disk/inner", label));
  platform::ClearSimulatedVolumes();
  EXPECT_EQ(platform::DriveRootOf(dir / "disk/part.zip"), "/");
}

TEST(Strings, IntegerConversionAcceptsTheRangeAndRaisesWithTheText) {
  EXPECT_EQ(platform::StrToInt(" -2147483648 "), -2147483647 - 1);
  EXPECT_EQ(platform::StrToInt("+2147483647"), 2147483647);
  int value = 7;
  EXPECT_FALSE(platform::TryStrToInt("2147483648", value));
  EXPECT_FALSE(platform::TryStrToInt("-", value));
  EXPECT_FALSE(platform::TryStrToInt("4 players", value));
  EXPECT_EQ(value, 7);
  try {
    platform::StrToInt("four");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'four' is not a valid integer value");
  }
}

}  // namespace
