// The public ZIP corpus: every archive is listed as its manifest says or rejected with our
// message. Skipped when the corpus is absent.
#include <gtest/gtest.h>

#include <map>

#include "TestSupport.h"
#include "archives/Zip.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

namespace {

const std::string kNotValid = "\nis not a valid Zip file.";
const std::string kBadDirectory = "Error reading CentralFileHeader.";

std::string Corpus(const std::string& name) {
  return vvtest::TestDataDir() + "/zip/" + name;
}

// Names as the directory lists them, or the exception message (with the path for the
// not-a-ZIP message written as "").
std::vector<std::string> Listing(const std::string& name) {
  TZip zip;
  try {
    zip.SetZipFileName(Corpus(name));
  } catch (const ZipException& e) {
    std::string message = e.Message();
    const std::string quoted = "\"" + Corpus(name) + "\"";
    if (message.compare(0, quoted.size(), quoted) == 0)
      message = "\"\"" + message.substr(quoted.size());
    return {"!" + message};
  }
  std::vector<std::string> names;
  for (const TFileInfo& info : zip.Directory()) names.push_back(info.FileName);
  return names;
}

TEST(ZipCorpus, EveryArchiveListsOrIsRejectedAsTheManifestSays) {
  VV_SKIP_WITHOUT_TESTDATA("zip");
  const std::map<std::string, std::vector<std::string>> expected = {
      {"comment-truncated.zip", {"FILE"}},
      {"readme.notzip", {"!\"\"" + kNotValid}},
      {"subdir.zip", {"a\\", "a\\b\\", "a\\b\\c"}},
      {"test-baddirsz.zip", {"!" + kBadDirectory}},
      {"test-prefix.zip", {"test.txt", "gophercolor16x16.png"}},
      {"test.zip", {"test.txt", "gophercolor16x16.png"}},
      {"winxp.zip", {"hello", "dir\\bar", "dir\\empty\\", "readonly"}},
      {"incons-cdoffset.zip", {"!" + kBadDirectory}},
      {"incons-central-magic-bad.zip", {"!" + kBadDirectory}},
      {"incons-eocd-magic-bad.zip", {"!\"\"" + kNotValid}},
      {"junk-at-start.zip", {"test", "testdir\\", "testdir\\test2"}},
      {"testempty.zip", {}},
      {"testfile-long-comment.zip", {"testfile.txt"}},
      {"zip-in-archive-comment.zip", {"testfile.txt"}},
      {"test_read_format_zip_filename_cp866.zip",
       {"\x8F\x90\x88\x82\x85\x92", "\xAF\xE0\xA8\xA2\xA5\xE2"}},
      {"test_read_format_zip_filename_cp932.zip",
       {"\x95\\\x82\xBE\x82\xE6\\\x88\xEA\x97\x97\x95\\.txt",
        "\x95\\\x82\xBE\x82\xE6\\\x8A\xBF\x8E\x9A.txt"}},
      {"test_read_format_zip_msdos.zip", {"abc", "def", "def\\foo", "ghi\\", "jkl", "mno\\"}},
      {"test_read_format_zip_sfx.zip", {"file0", "build.sh"}},
      {"test_read_format_zip_traditional_encryption_data.zip", {"bar.txt", "foo.txt"}},
  };
  for (const auto& [name, names] : expected) EXPECT_EQ(Listing(name), names) << name;

  std::vector<std::string> cp437 = Listing("test-cp437.zip");
  ASSERT_EQ(cp437.size(), 16u);
  EXPECT_EQ(cp437[2], "!\"#$%&'()*+,-.\\0");  // the "/" is listed as a separator
  EXPECT_EQ(cp437[4], "ABCDEFGHIJKLMNOP");
}

TEST(ZipCorpus, DetailsOfSelectedArchives) {
  VV_SKIP_WITHOUT_TESTDATA("zip");
  TZip zip;
  zip.SetZipFileName(Corpus("test.zip"));
  EXPECT_EQ(zip.EndOfCentralDir().ZipComment, "This is a zipfile comment.");
  EXPECT_EQ(zip.Directory()[0].UnComprSize, 26u);
  EXPECT_EQ(zip.Directory()[1].UnComprSize, 785u);

  zip.SetZipFileName(Corpus("testfile-long-comment.zip"));
  EXPECT_EQ(zip.EndOfCentralDir().ZipComment, std::string(22781, 'X'));

  zip.SetZipFileName(Corpus("test_read_format_zip_sfx.zip"));
  EXPECT_EQ(zip.EndOfCentralDir().ZipComment, "This is a sample file for issue 257.");

  zip.SetZipFileName(Corpus("test_read_format_zip_traditional_encryption_data.zip"));
  ASSERT_EQ(zip.Directory().size(), 2u);
  EXPECT_TRUE(zip.Directory()[0].Encrypted);

  zip.SetZipFileName(Corpus("test_read_format_zip_msdos.zip"));
  EXPECT_TRUE(zip.OemNames());
}

TEST(ZipCorpus, ExtractsThroughTheLibrary) {
  VV_SKIP_WITHOUT_TESTDATA("zip");
  platform::SetProgramFolder(vvtest::ProgramDir());
  const std::string previous = platform::CurrentFolder();
  vvtest::TempDir work;
  platform::RecordingPrompter prompter;
  platform::ScopedPrompter scope(prompter);
  prompter.inputAnswers = {"12345678"};
  {
    TZip zip;
    zip.SetShowProgressDialog(false);
    zip.SetExtractDir(work.path());
    zip.SetZipFileName(Corpus("test-prefix.zip"));
    EXPECT_EQ(zip.Extract(), 2);
    EXPECT_EQ(vvtest::ReadFile(work / "test.txt"), "This is a test text file.\n");
    EXPECT_EQ(platform::FileSize(work / "gophercolor16x16.png"), 785);

    zip.SetZipFileName(Corpus("test_read_format_zip_traditional_encryption_data.zip"));
    EXPECT_EQ(zip.Extract(), 2);
    EXPECT_EQ(platform::FileSize(work / "foo.txt"), 495);
    EXPECT_EQ(prompter.inputs.size(), 1u);  // the password given once serves both entries
  }
  platform::SetCurrentFolder(previous);
  platform::SetProgramFolder("");
}

}  // namespace
