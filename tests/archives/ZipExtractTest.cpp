// Extraction through the bundled unzip library: flat and with folders, events, the questions
// asked through the prompter, Cancel, and archives that try to write outside the folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "archives/Zip.h"
#include "archives/ZipDlls.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

using ziptest::BuildZip;
using ziptest::ZipEntry;

namespace {

namespace fs = std::filesystem;

ZipEntry Entry(const std::string& name, const std::string& data, bool deflate = false) {
  ZipEntry e;
  e.name = name;
  e.data = data;
  e.deflate = deflate;
  return e;
}

// Every entry below folder, relative, with "@" marking a symbolic link.
std::vector<std::string> Tree(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(item.path(), folder).string();
    if (item.is_symlink()) name += "@";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ZipExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetProgramFolder(vvtest::ProgramDir());
    previousFolder = platform::CurrentFolder();
    ASSERT_TRUE(platform::CreateDir(work));
    zip.SetShowProgressDialog(false);
    zip.SetExtractDir(work);
  }
  void TearDown() override {
    platform::SetCurrentFolder(previousFolder);
    platform::SetProgramFolder("");
  }
  std::string Archive(const std::vector<ZipEntry>& entries) {
    const std::string path = dir / "package.zip";
    vvtest::WriteFile(path, BuildZip(entries));
    zip.SetZipFileName(path);
    return path;
  }

  vvtest::TempDir dir;
  const std::string work = dir / "$$$";
  std::string previousFolder;
  platform::RecordingPrompter prompter;
  TZip zip;
};

TEST_F(ZipExtract, WritesEveryFileFlatAndRaisesTheEvents) {
  const std::string big(200000, 'q');
  Archive({Entry("Maps/Big Map/big.vkb", big, true), Entry("big_mm.tga", "tga data"),
           Entry("Maps/", ""), Entry("readme.info", "Players: 4\r\n", true)});
  std::vector<std::string> begun;
  int64_t progressed = 0;
  int ends = 0;
  zip.OnZEDBeginFileEvent = [&](TZip* sender, const std::string& name, int32_t size, int32_t count,
                                int32_t total) {
    EXPECT_EQ(sender, &zip);
    begun.push_back(name + ":" + std::to_string(size));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(total, static_cast<int32_t>(big.size() + 8 + 12));
  };
  zip.OnZEDProgressEvent = [&](TZip*, const std::string&, int32_t done, int32_t total) {
    progressed += done;
    EXPECT_EQ(total, static_cast<int32_t>(big.size() + 20));
  };
  zip.OnZEDEndBatchEvent = [&](TZip*, int32_t skipped, int32_t count, int32_t) {
    ++ends;
    EXPECT_EQ(skipped, 0);
    EXPECT_EQ(count, 3);
  };
  platform::ScopedPrompter scope(prompter);
  EXPECT_EQ(zip.Extract(), 3);
  EXPECT_EQ(Tree(work), (std::vector<std::string>{"big.vkb", "big_mm.tga", "readme.info"}));
  EXPECT_EQ(vvtest::ReadFile(work + "/big.vkb"), big);
  EXPECT_EQ(vvtest::ReadFile(work + "/readme.info"), "Players: 4\r\n");
  EXPECT_EQ(begun, (std::vector<std::string>{"Maps/Big Map/big.vkb:200000", "big_mm.tga:8",
                                             "readme.info:12"}));
  EXPECT_EQ(progressed, static_cast<int64_t>(big.size() + 20));
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_TRUE(fs::equivalent(platform::CurrentFolder(), work));
}

TEST_F(ZipExtract, KeepsFoldersWithOptionFourAndHonoursFileSpecs) {
  Archive({Entry("a/b/one.txt", "1"), Entry("two.txt", "2"), Entry("a/three.dat", "3")});
  zip.SetExtractOptions(TZip::TExtractOptions(0b10001));
  EXPECT_EQ(zip.Extract(), 3);
  EXPECT_EQ(Tree(work),
            (std::vector<std::string>{"a", "a/b", "a/b/one.txt", "a/three.dat", "two.txt"}));

  vvtest::TempDir other;
  zip.SetExtractDir(other.path());
  zip.SetExtractOptions(TZip::TExtractOptions(1));
  zip.FileSpecs() = {"*.TXT"};
  EXPECT_EQ(zip.Extract(), 2);
  EXPECT_TRUE(zip.FileSpecs().empty());
  EXPECT_EQ(Tree(other.path()), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST_F(ZipExtract, EarlyReturnsLeaveTheLibraryAlone) {
  platform::ScopedPrompter scope(prompter);
  Archive({Entry("a.txt", "a")});
  zip.SetExtractDir(dir / "missing");
  zip.FileSpecs() = {"a.txt"};
  EXPECT_EQ(zip.Extract(), 0);
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text, "Unable to extract files to:\n\"" + (dir / "missing") +
                                           "\"\nThis folder does not exist.");
  EXPECT_EQ(zip.FileSpecs().size(), 1u);

  ZipDlls::UnloadUnzipLibrary();
  zip.SetExtractDir(work);
  zip.SetDllDirectory(dir.path());
  try {
    zip.Extract();
    FAIL() << "no exception";
  } catch (const ZipException& e) {
    EXPECT_STREQ(e.what(), "Unable to load \"UnzDll.dll\".");
  }
  EXPECT_FALSE(ZipDlls::UnzipLibraryLoaded());
  EXPECT_EQ(zip.FileSpecs().size(), 1u);
}

TEST_F(ZipExtract, EmptyExtractDirMeansTheArchivesFolder) {
  const std::string path = Archive({Entry("x/inner.txt", "inner")});
  zip.SetExtractDir("");
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(vvtest::ReadFile(dir / "inner.txt"), "inner");

  // A relative archive name still finds the archive after the folder changes.
  ASSERT_TRUE(platform::SetCurrentFolder(dir.path()));
  zip.SetZipFileName("package.zip");
  zip.SetExtractDir(work);
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(vvtest::ReadFile(work + "/inner.txt"), "inner");
  (void)path;
}

TEST_F(ZipExtract, AsksForThePasswordOfAnEncryptedEntry) {
  ZipEntry secret = Entry("secret.vkb", std::string(5000, 's'), true);
  secret.password = "opensesame";
  Archive({Entry("plain.txt", "plain"), secret});
  platform::ScopedPrompter scope(prompter);
  prompter.inputAnswers = {"wrong", "opensesame"};
  EXPECT_EQ(zip.Extract(), 2);
  ASSERT_EQ(prompter.inputs.size(), 2u);
  EXPECT_EQ(prompter.inputs[0].prompt, "A new password is required for \"secret.vkb\"");
  EXPECT_EQ(prompter.inputs[1].prompt, "Password is invalid, please retry ...");
  EXPECT_EQ(prompter.inputs[0].caption, platform::ApplicationTitle());
  EXPECT_EQ(vvtest::ReadFile(work + "/secret.vkb"), secret.data);

  // The password given in advance needs no question.
  vvtest::TempDir other;
  zip.SetExtractDir(other.path());
  zip.SetPassword("opensesame");
  EXPECT_EQ(zip.Extract(), 2);
  EXPECT_EQ(prompter.inputs.size(), 2u);
}

// The library counts the attempts itself: a caller that answers wrongly and never lowers the
// counter is asked three times, not forever (cancelled here after ten).
TEST_F(ZipExtract, LibraryAsksForAPasswordThreeTimesWhateverTheCallerCounts) {
  ZipEntry secret = Entry("secret.vkb", "classified");
  secret.password = "pw";
  const std::string archive = Archive({secret}), folder = work + "/";
  ASSERT_TRUE(ZipDlls::LoadUnzipLibrary(""));
  static int asked;
  asked = 0;
  UnzipParams p{};
  p.version = kUnzipParamsVersion;
  p.callback = [](UnzipCallbackInfo* info) -> int32_t {
    if (info->action != kUnzActionPassword) return 0;
    info->answerFlag = 1;
    std::strcpy(info->text, "wrong");
    return ++asked < 10 ? 0 : -1;
  };
  p.archiveName = archive.c_str();
  p.extractFolder = folder.c_str();
  EXPECT_EQ(ZipDlls::UnzDllExec(&p), 0);
  EXPECT_EQ(asked, 3);
}

TEST_F(ZipExtract, NoPasswordSkipsTheFileOrCancels) {
  ZipEntry secret = Entry("secret.vkb", "classified");
  secret.password = "pw";
  Archive({secret, Entry("after.txt", "after")});
  platform::ScopedPrompter scope(prompter);
  int32_t skippedReported = -1;
  zip.OnZEDEndBatchEvent = [&](TZip*, int32_t skipped, int32_t, int32_t) {
    skippedReported = skipped;
  };
  prompter.messageAnswers = {platform::IDYES};
  EXPECT_EQ(zip.Extract(), 1);
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            "No password was entered so the file will not be extracted...\nDo you wish to "
            "continue extracting other files?");
  EXPECT_EQ(prompter.messages[0].flags, platform::MB_YESNO | platform::MB_ICONQUESTION);
  EXPECT_EQ(Tree(work), (std::vector<std::string>{"after.txt"}));
  EXPECT_EQ(skippedReported, 1);

  // "No" cancels: nothing after it is written and no further event arrives.
  vvtest::TempDir other;
  zip.SetExtractDir(other.path());
  skippedReported = -1;
  prompter.messageAnswers = {platform::IDNO};
  EXPECT_EQ(zip.Extract(), 0);
  EXPECT_TRUE(zip.Cancel());
  EXPECT_TRUE(Tree(other.path()).empty());
  EXPECT_EQ(skippedReported, -1);
}

TEST_F(ZipExtract, CorruptedEntryRaisesTheCrcQuestion) {
  ZipEntry broken = Entry("broken.tga", "these bytes do not match the CRC");
  broken.badCrc = true;
  Archive({broken, Entry("fine.txt", "fine")});
  platform::ScopedPrompter scope(prompter);
  prompter.messageAnswers = {platform::IDNO};
  EXPECT_EQ(zip.Extract(), 1);
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            "\"broken.tga\" may be corrupted (CRC error).\nExtract this file anyway? ...");
  EXPECT_EQ(prompter.messages[0].flags,
            platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION | platform::MB_DEFBUTTON2);
  EXPECT_EQ(Tree(work), (std::vector<std::string>{"fine.txt"}));

  prompter.messageAnswers = {platform::IDYES};
  EXPECT_EQ(zip.Extract(), 1);  // fine.txt is already there
  EXPECT_EQ(vvtest::ReadFile(work + "/broken.tga"), broken.data);

  vvtest::TempDir other;
  zip.SetExtractDir(other.path());
  prompter.messageAnswers = {platform::IDCANCEL};
  EXPECT_EQ(zip.Extract(), 0);
  EXPECT_TRUE(Tree(other.path()).empty());
}

TEST_F(ZipExtract, CancelStopsTheRunAndTheNextRunStartsAfresh) {
  Archive({Entry("1.txt", "1"), Entry("2.txt", "2"), Entry("3.txt", "3")});
  int begins = 0, progress = 0, ends = 0;
  zip.OnZEDBeginFileEvent = [&](TZip* sender, const std::string&, int32_t, int32_t, int32_t) {
    if (++begins == 2) sender->SetCancel(true);
  };
  zip.OnZEDProgressEvent = [&](TZip*, const std::string&, int32_t, int32_t) { ++progress; };
  zip.OnZEDEndBatchEvent = [&](TZip*, int32_t, int32_t, int32_t) { ++ends; };
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(begins, 2);
  EXPECT_EQ(progress, 1);
  EXPECT_EQ(ends, 0);
  EXPECT_EQ(Tree(work), (std::vector<std::string>{"1.txt"}));

  zip.OnZEDBeginFileEvent = nullptr;
  EXPECT_EQ(zip.Extract(), 2);  // 1.txt exists and is not older, so it is kept
  EXPECT_FALSE(zip.Cancel());
  EXPECT_EQ(ends, 1);
}

TEST_F(ZipExtract, ExceptionsFromHandlersLeaveExtract) {
  Archive({Entry("1.txt", "1"), Entry("2.txt", "2")});
  int begins = 0;
  zip.OnZEDBeginFileEvent = [&](TZip*, const std::string&, int32_t, int32_t, int32_t) {
    ++begins;
    throw EInOutError("handler failed");
  };
  EXPECT_THROW(zip.Extract(), EInOutError);
  EXPECT_EQ(begins, 1);
  EXPECT_TRUE(Tree(work).empty());
}

TEST_F(ZipExtract, OverwriteQuestionFollowsTheOptions) {
  Archive({Entry("map.vkb", "new")});
  vvtest::WriteFile(work + "/map.vkb", "old");
  platform::ScopedPrompter scope(prompter);

  // Default options: only an older file is replaced, without asking.
  struct stat st {};
  ASSERT_EQ(stat((work + "/map.vkb").c_str(), &st), 0);  // written now: newer than 2020
  EXPECT_EQ(zip.Extract(), 0);
  EXPECT_EQ(vvtest::ReadFile(work + "/map.vkb"), "old");
  const timespec old[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (work + "/map.vkb").c_str(), old, 0), 0);
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(vvtest::ReadFile(work + "/map.vkb"), "new");
  EXPECT_TRUE(prompter.messages.empty());

  // Option 3 alone: the user is asked.
  zip.SetExtractOptions(TZip::TExtractOptions(0b01000));
  prompter.messageAnswers = {platform::IDNO, platform::IDYES};
  vvtest::WriteFile(work + "/map.vkb", "mine");
  EXPECT_EQ(zip.Extract(), 0);
  EXPECT_EQ(vvtest::ReadFile(work + "/map.vkb"), "mine");
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(vvtest::ReadFile(work + "/map.vkb"), "new");
  ASSERT_EQ(prompter.messages.size(), 2u);
  EXPECT_EQ(prompter.messages[0].text,
            "\"map.vkb\" is the same age or newer than the zipped file.\nDo you really want to "
            "overwrite this file? ...");
  EXPECT_EQ(prompter.messages[0].flags,
            platform::MB_YESNOCANCEL | platform::MB_ICONERROR | platform::MB_DEFBUTTON2);

  // No option about overwriting: always overwrite.
  zip.SetExtractOptions(TZip::TExtractOptions(0));
  vvtest::WriteFile(work + "/map.vkb", "mine");
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(vvtest::ReadFile(work + "/map.vkb"), "new");
}

TEST_F(ZipExtract, HostileArchiveWritesNothingOutsideTheFolder) {
  ZipEntry link = ziptest::SymlinkEntry("link", "/tmp");
  ZipEntry dotdot = ziptest::SymlinkEntry("up", "..");
  Archive({Entry("../evil1.txt", "x"), Entry("/tmp/evil2.txt", "x"),
           Entry("a/../../evil3.txt", "x"), Entry("..\\evil4.txt", "x"), Entry("..", "x"),
           Entry(".", "x"), Entry("", "x"), link, dotdot, Entry("up/evil5.txt", "x"),
           Entry("link/evil6.txt", "x"), Entry("dup.txt", "first"), Entry("dup.txt", "second"),
           Entry("C:\\evil7.txt", "x")});
  int32_t skipped = 0;
  zip.OnZEDEndBatchEvent = [&](TZip*, int32_t s, int32_t, int32_t) { skipped = s; };
  for (const auto options : {TZip::TExtractOptions(1), TZip::TExtractOptions(0b10001)}) {
    zip.SetExtractOptions(options);
    const int32_t written = zip.Extract();
    const std::vector<std::string> flat = {"$$$", "$$$/dup.txt", "$$$/evil5.txt", "$$$/evil6.txt",
                                           "package.zip"};
    const std::vector<std::string> folders = {
        "$$$",           "$$$/dup.txt",      "$$$/evil5.txt",
        "$$$/evil6.txt", "$$$/link",         "$$$/link/evil6.txt",
        "$$$/up",        "$$$/up/evil5.txt", "package.zip"};
    EXPECT_EQ(Tree(dir.path()), options[4] ? folders : flat) << "options " << options;
    EXPECT_EQ(written, options[4] ? 2 : 3);  // dup.txt is kept from the first run
    EXPECT_EQ(vvtest::ReadFile(work + "/dup.txt"), "first");
    EXPECT_GE(skipped, 9);
  }
  EXPECT_FALSE(fs::exists("/tmp/evil2.txt"));
  EXPECT_FALSE(fs::exists("/tmp/evil6.txt"));
}

TEST_F(ZipExtract, TraceFileGetsTheLibrarysMessages) {
  Archive({Entry("a.txt", "a")});
  ASSERT_EQ(zip.Extract(), 1);  // loads the library from the program folder
  vvtest::TempDir programFolder;
  platform::SetProgramFolder(programFolder.path());
  zip.SetExtractDir(programFolder.path());
  zip.SetTrace(true);
  ASSERT_EQ(zip.Extract(), 1);
  std::string traced;
  for (const auto& item : fs::directory_iterator(programFolder.path()))
    if (item.path().extension() == ".trace") traced = vvtest::ReadFile(item.path().string());
  EXPECT_NE(traced.find("extracted: a.txt\r\n"), std::string::npos) << traced;
}

}  // namespace

namespace {

// Files land under the names Directory lists: OEM names converted, UTF-8 names as they are.
TEST_F(ZipExtract, NamesLandAsTheDirectoryListsThem) {
  ZipEntry dos = Entry("DOS\x81.TXT", "dos");
  dos.madeBy = 0x0014;
  ZipEntry utf8 = Entry("dir/caf\xC3\xA9.txt", "utf8");
  utf8.flags = 0x0800;
  utf8.madeBy = 0x0014;
  Archive({dos, utf8});
  EXPECT_EQ(zip.Directory()[0].FileName, "DOS\xC3\xBC.TXT");
  EXPECT_EQ(zip.Extract(), 2);
  EXPECT_EQ(Tree(work), (std::vector<std::string>{"DOS\xC3\xBC.TXT", "caf\xC3\xA9.txt"}));
}

TEST_F(ZipExtract, ArchiveWithAZip64EndRecordExtracts) {
  ziptest::ZipLayout layout;
  layout.zip64End = true;
  layout.zip64Only = true;
  vvtest::WriteFile(dir / "z64.zip", BuildZip({Entry("maps/a.vkb", "scenario", true)}, layout));
  zip.SetZipFileName(dir / "z64.zip");
  EXPECT_EQ(zip.Extract(), 1);
  EXPECT_EQ(vvtest::ReadFile(work + "/a.vkb"), "scenario");
}

// The attempts counter goes back to the library one lower after every answer.
TEST_F(ZipExtract, PasswordAnswerCountsAnAttempt) {
  platform::ScopedPrompter scope(prompter);
  prompter.inputAnswers = {"pw"};
  UnzipCallbackInfo info{};
  info.caller = &zip;
  info.action = kUnzActionPassword;
  info.number = 3;
  std::strcpy(info.text, "secret.vkb");
  TZip::UnzipCallback(&info);
  EXPECT_EQ(info.number, 2);
  EXPECT_EQ(info.answerFlag, 1);
  EXPECT_STREQ(info.text, "pw");
}

}  // namespace
