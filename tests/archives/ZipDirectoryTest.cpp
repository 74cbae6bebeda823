// The directory reader: end record search, central directory, code pages, spanned disks.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "archives/Zip.h"
#include "archives/ZipDlls.h"
#include "platform/Files.h"
#include "platform/Prompter.h"
#include "platform/Volume.h"

using ziptest::BuildZip;
using ziptest::ZipEntry;
using ziptest::ZipLayout;

namespace {

std::string ZipErrorOf(TZip& zip, const std::string& path) {
  try {
    zip.SetZipFileName(path);
  } catch (const ZipException& e) {
    return e.Message();
  }
  return "(no exception)";
}

std::vector<ZipEntry> TwoEntries() {
  ZipEntry a;
  a.name = "maps/one.vkb";
  a.data = "first";
  ZipEntry b;
  b.name = "two.tga";
  b.data = std::string(300, 'b');
  b.deflate = true;
  return {a, b};
}

class ZipDirectory : public ::testing::Test {
 protected:
  void TearDown() override { platform::ClearSimulatedVolumes(); }
  vvtest::TempDir dir;
  TZip zip;
};

TEST_F(ZipDirectory, ReadsEntriesFoundAtTheEnd) {
  const std::string path = dir / "plain.zip";
  const std::string bytes = BuildZip(TwoEntries());
  vvtest::WriteFile(path, bytes);
  int changed = 0;
  zip.OnContentsChanged = [&](TZip* sender) {
    EXPECT_EQ(sender, &zip);
    ++changed;
  };
  zip.SetPassword("old");
  zip.SetZipFileName(path);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(zip.Password(), "");
  EXPECT_EQ(zip.EndOfCentralDir().Position, static_cast<int32_t>(bytes.size() - 22));
  ASSERT_EQ(zip.Directory().size(), 2u);
  EXPECT_EQ(zip.Directory()[0].FileName, "maps\\one.vkb");
  EXPECT_EQ(zip.Directory()[0].UnComprSize, 5u);
  EXPECT_EQ(zip.Directory()[1].FileName, "two.tga");
  EXPECT_EQ(zip.Directory()[1].ComprMethod, 8);
  EXPECT_FALSE(zip.Directory()[1].Encrypted);
  EXPECT_FALSE(zip.OemNames());
}

TEST_F(ZipDirectory, FindsTheEndRecordBehindACommentOfUpTo65535Bytes) {
  ZipLayout layout;
  layout.comment = std::string(1000, 'c');
  vvtest::WriteFile(dir / "comment.zip", BuildZip(TwoEntries(), layout));
  zip.SetZipFileName(dir / "comment.zip");
  EXPECT_EQ(zip.EndOfCentralDir().ZipComment, layout.comment);
  EXPECT_EQ(zip.Directory().size(), 2u);

  // The record is found behind the longest comment there can be, and no farther back.
  std::string farthest;
  for (const size_t length : {65535 - 22, 65530, 65535}) {
    layout.comment = std::string(length, 'x');
    farthest = BuildZip(TwoEntries(), layout);
    vvtest::WriteFile(dir / "far.zip", farthest);
    zip.SetZipFileName(dir / "far.zip");
    EXPECT_EQ(zip.EndOfCentralDir().Position, static_cast<int32_t>(farthest.size() - 22 - length));
    EXPECT_EQ(zip.Directory().size(), 2u) << length;
  }
  vvtest::WriteFile(dir / "toofar.zip", farthest + "x");
  EXPECT_EQ(ZipErrorOf(zip, dir / "toofar.zip"),
            "\"" + (dir / "toofar.zip") + "\"\nis not a valid Zip file.");
  EXPECT_TRUE(zip.Directory().empty());
  EXPECT_EQ(zip.ZipFileName(), dir / "toofar.zip");
}

TEST_F(ZipDirectory, CommentShorterThanRecordedIsDropped) {
  ZipLayout layout;
  layout.comment = "short";
  layout.commentLength = 40;
  vvtest::WriteFile(dir / "c.zip", BuildZip(TwoEntries(), layout));
  zip.SetZipFileName(dir / "c.zip");
  EXPECT_EQ(zip.EndOfCentralDir().ZipComment, "");
  EXPECT_EQ(zip.Directory().size(), 2u);
}

TEST_F(ZipDirectory, DataBeforeTheArchiveDoesNotDisturbTheRead) {
  ZipLayout layout;
  layout.prefix = "MZ" + std::string(2046, '\x90');
  layout.comment = "self-extracting";
  vvtest::WriteFile(dir / "sfx.zip", BuildZip(TwoEntries(), layout));
  zip.SetZipFileName(dir / "sfx.zip");
  ASSERT_EQ(zip.Directory().size(), 2u);
  EXPECT_EQ(zip.Directory()[1].FileName, "two.tga");
}

TEST_F(ZipDirectory, RejectsWhatIsNoArchive) {
  vvtest::WriteFile(dir / "tiny.zip", std::string("PK\x05\x06", 4) + std::string(10, '\0'));
  const std::string notValid = "\"" + (dir / "tiny.zip") + "\"\nis not a valid Zip file.";
  EXPECT_EQ(ZipErrorOf(zip, dir / "tiny.zip"), notValid);

  vvtest::WriteFile(dir / "text.zip", std::string(5000, 't'));
  EXPECT_EQ(ZipErrorOf(zip, dir / "text.zip"),
            "\"" + (dir / "text.zip") + "\"\nis not a valid Zip file.");

  int changed = 0;
  zip.OnContentsChanged = [&](TZip*) { ++changed; };
  ZipLayout layout;
  layout.thisDisk = 1001;
  vvtest::WriteFile(dir / "disks.zip", BuildZip(TwoEntries(), layout));
  EXPECT_EQ(ZipErrorOf(zip, dir / "disks.zip"),
            "\"" + (dir / "disks.zip") + "\"\nis not a valid Zip file.");
  layout.thisDisk = 0;
  layout.centralDisk = 1001;
  vvtest::WriteFile(dir / "disks2.zip", BuildZip(TwoEntries(), layout));
  EXPECT_NE(ZipErrorOf(zip, dir / "disks2.zip"), "(no exception)");
  EXPECT_EQ(changed, 0);
}

TEST_F(ZipDirectory, DamagedCentralDirectoriesAreRejected) {
  const std::string message = "Error reading CentralFileHeader.";
  const auto parts = ziptest::BuildZipParts(TwoEntries());

  // More entries claimed than written: the end record is read as the third header.
  ZipLayout more;
  more.totalEntries = 3;
  vvtest::WriteFile(dir / "more.zip", BuildZip(TwoEntries(), more));
  EXPECT_EQ(ZipErrorOf(zip, dir / "more.zip"), message);
  EXPECT_TRUE(zip.Directory().empty());

  // A directory larger than everything before the end record.
  ZipLayout huge;
  huge.centralSizeDelta = 100000;
  vvtest::WriteFile(dir / "huge.zip", BuildZip(TwoEntries(), huge));
  EXPECT_EQ(ZipErrorOf(zip, dir / "huge.zip"), message);

  // Cut in the middle of the second header's name.
  std::string cut = parts.central.substr(0, parts.central.size() - 3);
  std::string end = parts.end;
  vvtest::WriteFile(dir / "cut.zip", parts.local + cut + end);
  EXPECT_EQ(ZipErrorOf(zip, dir / "cut.zip"), message);

  // A damaged header signature.
  std::string bad = parts.central;
  bad[0] = 'X';
  vvtest::WriteFile(dir / "sig.zip", parts.local + bad + parts.end);
  EXPECT_EQ(ZipErrorOf(zip, dir / "sig.zip"), message);

  // A recorded offset beyond where the directory is found cannot be genuine.
  ZipLayout beyond;
  beyond.centralOffsetDelta = 1 << 21;
  vvtest::WriteFile(dir / "beyond.zip", BuildZip(TwoEntries(), beyond));
  EXPECT_EQ(ZipErrorOf(zip, dir / "beyond.zip"), message);
}

TEST_F(ZipDirectory, EmptyArchivesAndMissingFiles) {
  ziptest::ZipParts none = ziptest::BuildZipParts({});
  vvtest::WriteFile(dir / "empty.zip", none.Bytes());
  zip.SetZipFileName(dir / "empty.zip");
  EXPECT_TRUE(zip.Directory().empty());

  ZipDlls::UnloadUnzipLibrary();
  int changed = 0;
  zip.OnContentsChanged = [&](TZip*) { ++changed; };
  const std::string missing = dir / "new.zip";
  zip.SetZipFileName(missing);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(vvtest::ReadFile(missing), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  EXPECT_TRUE(zip.Directory().empty());
  EXPECT_EQ(zip.Extract(), 0);
  EXPECT_FALSE(ZipDlls::UnzipLibraryLoaded());

  zip.SetZipFileName("");
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(zip.ZipFileName(), "");
  EXPECT_EQ(zip.EndOfCentralDir().Position, -1);

  const std::string noFolder = dir / "nosuch/x.zip";
  EXPECT_EQ(ZipErrorOf(zip, noFolder), "Unable to create \n\"" + noFolder + "\"");
}

TEST_F(ZipDirectory, OemNamesAreConvertedOnlyWithoutTheUtf8Flag) {
  ZipEntry dos;
  dos.madeBy = 0x0014;  // MS-DOS host
  dos.name =
      "caf\x82/\x81"
      "ber";
  dos.comment = "\x9c";
  ZipEntry utf8 = dos;
  utf8.flags = 0x0800;
  utf8.name = "caf\xC3\xA9.txt";
  utf8.comment = "";
  vvtest::WriteFile(dir / "dos.zip", BuildZip({dos, utf8}));
  zip.SetZipFileName(dir / "dos.zip");
  EXPECT_TRUE(zip.OemNames());
  ASSERT_EQ(zip.Directory().size(), 2u);
  EXPECT_EQ(zip.Directory()[0].FileName,
            "caf\xC3\xA9\\\xC3\xBC"
            "ber");
  EXPECT_EQ(zip.Directory()[0].FileComment, "\xC2\xA3");
  EXPECT_EQ(zip.Directory()[1].FileName, "caf\xC3\xA9.txt");

  for (uint16_t madeBy : {(11 << 8) | 50, 6 << 8}) {  // NTFS of version 5.0, OS/2 HPFS
    ZipEntry other = dos;
    other.madeBy = madeBy;
    vvtest::WriteFile(dir / "other.zip", BuildZip({other}));
    zip.SetZipFileName(dir / "other.zip");
    EXPECT_TRUE(zip.OemNames()) << madeBy;
  }

  ZipEntry unix = dos;
  unix.madeBy = 0x031E;
  vvtest::WriteFile(dir / "unix.zip", BuildZip({unix}));
  zip.SetZipFileName(dir / "unix.zip");
  EXPECT_FALSE(zip.OemNames());
  EXPECT_EQ(zip.Directory()[0].FileName,
            "caf\x82\\\x81"
            "ber");
}

// Streaming writers add a ZIP64 end record between the directory and the end record, and may
// leave the numbers to it alone.
TEST_F(ZipDirectory, Zip64EndRecordLocatesTheDirectory) {
  for (bool only64 : {false, true}) {
    SCOPED_TRACE(only64);
    ZipLayout layout;
    layout.prefix = "stub";
    layout.zip64End = true;
    layout.zip64Only = only64;
    vvtest::WriteFile(dir / "z64.zip", BuildZip(TwoEntries(), layout));
    zip.SetZipFileName(dir / "z64.zip");
    ASSERT_EQ(zip.Directory().size(), 2u);
    EXPECT_EQ(zip.Directory()[1].FileName, "two.tga");
    EXPECT_EQ(zip.EndOfCentralDir().TotalEntries, 2);
  }
}

TEST_F(ZipDirectory, FileThatCannotBeOpenedRaisesTheSystemsError) {
  const std::string path = dir / "locked.zip";
  vvtest::WriteFile(path, BuildZip(TwoEntries()));
  // No descriptor left to open it with, which stops any user, root included.
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &previous), 0);
  const int lowest = dup(0);
  ASSERT_GE(lowest, 0);
  close(lowest);
  rlimit tight = previous;
  tight.rlim_cur = static_cast<rlim_t>(lowest);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::exception_ptr raised;
  try {
    zip.SetZipFileName(path);
  } catch (...) {
    raised = std::current_exception();
  }
  // Looked at only with descriptors back: the sanitizer's checks need some.
  setrlimit(RLIMIT_NOFILE, &previous);
  ASSERT_TRUE(raised);
  try {
    std::rethrow_exception(raised);
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + path + "\". " + std::strerror(EMFILE));
  } catch (const std::exception& e) {
    ADD_FAILURE() << "other exception: " << e.what();
  }
}

TEST_F(ZipDirectory, EncryptedFlagFollowsBitZero) {
  ZipEntry secret;
  secret.name = "secret.txt";
  secret.data = "hidden";
  secret.password = "pw";
  vvtest::WriteFile(dir / "enc.zip", BuildZip({secret}));
  zip.SetZipFileName(dir / "enc.zip");
  ASSERT_EQ(zip.Directory().size(), 1u);
  EXPECT_TRUE(zip.Directory()[0].Encrypted);
}

TEST_F(ZipDirectory, UnreadableDriveIsReported) {
  const std::string drive = dir / "drive";
  ASSERT_TRUE(platform::CreateDir(drive));
  vvtest::WriteFile(drive + "/a.zip", BuildZip(TwoEntries()));
  platform::SimulateVolume(drive, {platform::DRIVE_REMOVABLE, "", false});
  EXPECT_EQ(ZipErrorOf(zip, drive + "/a.zip"), "Unable to access the selected drive!");
  EXPECT_TRUE(zip.Directory().empty());
}

TEST_F(ZipDirectory, DiskNumbersComeFromPkbackLabels) {
  const std::string drive = dir / "floppy";
  ASSERT_TRUE(platform::CreateDir(drive));
  const std::string path = drive + "/a.zip";
  vvtest::WriteFile(path, "x");
  EXPECT_EQ(ZipUnit::GetDiskNumber(path), 0);  // a fixed drive
  platform::SimulateVolume(drive, {platform::DRIVE_REMOVABLE, "PKBACK# 002", true});
  EXPECT_EQ(ZipUnit::DriveTypeOf(path), platform::DRIVE_REMOVABLE);
  EXPECT_EQ(ZipUnit::DriveTypeOf(""), platform::DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(ZipUnit::GetDiskNumber(path), 2);
  EXPECT_EQ(ZipUnit::GetDiskNumber(drive + "/missing.zip"), 0);
  for (const char* label : {"PKBACK#002", "PKBACK# abc", "BACKUP 002", "PKBACK# "}) {
    platform::SimulateVolume(drive, {platform::DRIVE_REMOVABLE, label, true});
    EXPECT_EQ(ZipUnit::GetDiskNumber(path), 0) << label;
  }
  platform::SimulateVolume(drive, {platform::DRIVE_FIXED, "PKBACK# 002", true});
  EXPECT_EQ(ZipUnit::GetDiskNumber(path), 0);
}

TEST_F(ZipDirectory, SpannedArchiveOnAFixedDriveAsksForNoDisk) {
  platform::RecordingPrompter prompter;  // would answer OK for ever
  platform::ScopedPrompter scope(prompter);
  ZipLayout layout;
  layout.thisDisk = 1;
  vvtest::WriteFile(dir / "span.zip", BuildZip(TwoEntries(), layout));
  zip.SetZipFileName(dir / "span.zip");
  EXPECT_TRUE(prompter.messages.empty());
  EXPECT_EQ(zip.Directory().size(), 2u);
  EXPECT_EQ(zip.Extract(), 0);
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].flags, platform::MB_OK | platform::MB_ICONINFORMATION);
}

// A spanned archive on a simulated removable drive: the prompts swap the "disk" in the drive.
class SpannedDisks : public ZipDirectory {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CreateDir(drive));
    InsertDisk(2, "no end record here");
  }
  void InsertDisk(int number, const std::string& bytes) {
    vvtest::WriteFile(path, bytes);
    platform::SimulateVolume(
        drive, {platform::DRIVE_REMOVABLE, "PKBACK# 00" + std::to_string(number), true});
  }
  const std::string drive = dir / "floppy";
  const std::string path = drive + "/maps.zip";
  platform::RecordingPrompter prompter;
};

TEST_F(SpannedDisks, LastDiskPromptCancelledLeavesAnEmptyDirectory) {
  platform::ScopedPrompter scope(prompter);
  prompter.messageAnswers = {platform::IDCANCEL};
  int changed = 0;
  zip.OnContentsChanged = [&](TZip*) { ++changed; };
  zip.SetZipFileName(path);
  EXPECT_EQ(changed, 1);
  EXPECT_TRUE(zip.Directory().empty());
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].text,
            "This is [ Disk 2 ] of a multiple disk Zip file.\nInsert the last disk of the Zip "
            "file before pressing [ OK ] to continue ...");
  EXPECT_EQ(prompter.messages[0].flags, platform::MB_OKCANCEL | platform::MB_ICONINFORMATION);
  EXPECT_EQ(prompter.messages[0].caption, platform::ApplicationTitle());
}

TEST_F(SpannedDisks, DirectoryReadAcrossTwoDisks) {
  // Disk 1 holds the data and the first header, disk 2 the second header and the end record.
  const auto whole = ziptest::BuildZipParts(TwoEntries());
  const size_t firstHeader = 46 + std::string("maps/one.vkb").size();
  const std::string disk1 = whole.local + whole.central.substr(0, firstHeader);
  ZipLayout layout;
  layout.thisDisk = 1;
  layout.centralDisk = 0;
  auto last = ziptest::BuildZipParts(TwoEntries(), layout);
  const std::string disk2 = whole.central.substr(firstHeader) + last.end;

  InsertDisk(2, disk2);
  platform::ScopedPrompter scope(prompter);
  prompter.messageRule = [&](const platform::MessageRequest& request) {
    if (request.text.find("[ Disk 1 ]") != std::string::npos) InsertDisk(1, disk1);
    if (request.text.find("[ Disk 2 ]") != std::string::npos) InsertDisk(2, disk2);
    return platform::IDOK;
  };
  zip.SetZipFileName(path);
  ASSERT_EQ(prompter.messages.size(), 2u);
  EXPECT_EQ(prompter.messages[0].text,
            "Insert [ Disk 1 ] of the Zip file into the floppy drive\nbefore pressing [ OK ] to "
            "continue ...");
  ASSERT_EQ(zip.Directory().size(), 2u);
  EXPECT_EQ(zip.Directory()[0].FileName, "maps\\one.vkb");
  EXPECT_EQ(zip.Directory()[1].FileName, "two.tga");

  // A spanned archive is never extracted.
  EXPECT_EQ(zip.Extract(), 0);
  ASSERT_EQ(prompter.messages.size(), 3u);
  EXPECT_EQ(prompter.messages[2].text,
            "Cannot Add, Delete or Extract from a multiple disk Zip file...\nMerge this Zip file "
            "onto the hard disk before retrying.");

  // Cancelled in the middle of the directory: the read fails.
  InsertDisk(2, disk2);
  prompter.messageRule = [&](const platform::MessageRequest& request) {
    if (request.text.find("[ Disk 1 ]") != std::string::npos) {
      InsertDisk(1, disk1);
      return platform::IDOK;
    }
    return platform::IDCANCEL;
  };
  EXPECT_EQ(ZipErrorOf(zip, path), "Error reading CentralFileHeader.");
  EXPECT_TRUE(zip.Directory().empty());

  // Cancelled when asked for the disk holding the directory's start: quietly empty.
  InsertDisk(2, disk2);
  prompter.messageRule = [](const platform::MessageRequest&) { return platform::IDCANCEL; };
  zip.SetZipFileName(path);
  EXPECT_TRUE(zip.Directory().empty());
}

TEST_F(SpannedDisks, LastDiskInsertedAfterThePrompt) {
  platform::ScopedPrompter scope(prompter);
  prompter.messageRule = [&](const platform::MessageRequest&) {
    InsertDisk(3, BuildZip(TwoEntries()));
    return platform::IDOK;
  };
  zip.SetZipFileName(path);
  EXPECT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(zip.Directory().size(), 2u);
}

}  // namespace
