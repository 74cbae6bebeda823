// TRAR driving the stand-in library (and fakes of it) on archives the test writer makes.
#include <cmath>
#include <map>
#include <stdexcept>

#include "RarTestSupport.h"
#include "archives/RAR.h"
#include "platform/Exceptions.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"

namespace rartest {
namespace {

struct Recorder {
  void Attach(TRAR& rar) {
    rar.OnError = [this](TRAR*, int32_t code, TRAROperation operation) {
      errors.emplace_back(code, operation);
    };
    rar.OnListFile = [this](TRAR*, const TRARFileItem& item) { items.push_back(item); };
  }
  std::vector<std::pair<int32_t, TRAROperation>> errors;
  std::vector<TRARFileItem> items;
};

class TRARTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    platform::SetProgramFolder(vvtest::ProgramDir());
    rar.SetDllName(StandinPath());
    recorder.Attach(rar);
  }
  void TearDown() override { platform::SetProgramFolder(""); }

  std::string Write(const std::vector<Item>& items, const Options& options = {},
                    const std::string& base = "pkg") {
    return WriteArchive(dir.path(), base, GetParam(), items, options);
  }

  std::vector<Item> Package() {
    Item folder{"Alpine", ""};
    folder.folder = true;
    Item vkb{"Alpine\\alpine.vkb", "scenario"};
    vkb.dictionary = 2;
    Item image{"Alpine/images/alpine_mm.tga", std::string(300, 'i')};
    Item readme{"readme.txt", "read me"};
    readme.unpVer = 20;
    return {folder, vkb, image, readme};
  }

  vvtest::TempDir dir;
  TRAR rar;
  Recorder recorder;
};

TEST_P(TRARTest, OpenArchiveFileSummarisesAndListsEveryEntry) {
  const std::string path = Write(Package());
  ASSERT_TRUE(rar.OpenArchiveFile(path));
  const TRARArchiveInformation& info = rar.ArchiveInformation();
  EXPECT_TRUE(info.Opened());
  EXPECT_EQ(info.FileName(), path);
  EXPECT_EQ(info.TotalFiles(), 3);
  EXPECT_EQ(info.UnCompressedSize(), 8 + 300 + 7);
  EXPECT_EQ(info.CompressedSize(), 8 + 300 + 7);
  EXPECT_FALSE(info.Solid());
  EXPECT_FALSE(info.MultiVolume());
  EXPECT_FALSE(info.Encryption());
  EXPECT_FALSE(info.SFX());
  EXPECT_EQ(info.HostOS(), "Windows");
  EXPECT_EQ(info.ArchiverMajorVersion(), GetParam() ? 5u : 2u);
  EXPECT_EQ(info.ArchiverMinorVersion(), GetParam() ? 0u : 9u);
  // Of the last file entry: code 0, which RAR 5 counts from 128 KiB.
  EXPECT_EQ(info.DictionarySize(), GetParam() ? 131072 : 65536);
  ASSERT_EQ(recorder.items.size(), 4u);
  EXPECT_EQ(recorder.items[1].FileName, "Alpine/alpine.vkb");
  EXPECT_EQ(recorder.items[1].FileNameW, L"Alpine/alpine.vkb");
  EXPECT_EQ(recorder.items[1].CRC32, ([] {
              char hex[16];
              std::snprintf(hex, sizeof hex, "%x", Crc32("scenario"));
              return std::string(hex);
            })());
  EXPECT_EQ(recorder.items[1].PackingMethod, 0x30u);
  EXPECT_EQ(recorder.items[1].UnCompressedSize, 8u);
  EXPECT_GT(recorder.items[1].Time, 0);
  // OnError sees 0 after every header read and every skip.
  EXPECT_EQ(recorder.errors.size(), 8u);
  for (const auto& [code, operation] : recorder.errors) {
    EXPECT_EQ(code, 0);
    EXPECT_EQ(operation, roListFiles);
  }
  EXPECT_EQ(rar.Version(), "1.2");
}

TEST_P(TRARTest, ExtractWithoutFullPathsWritesBareNamesFlat) {
  std::vector<Item> items = Package();
  items.push_back({"Other/readme.txt", "second readme"});
  ASSERT_TRUE(rar.OpenArchiveFile(Write(items)));
  const std::string work = dir / "$$$";
  ASSERT_TRUE(platform::CreateDir(work));
  ASSERT_TRUE(rar.Extract(work, false, nullptr));
  EXPECT_EQ(ReadOrEmpty(work + "/alpine.vkb"), "scenario");
  EXPECT_EQ(ReadOrEmpty(work + "/alpine_mm.tga"), std::string(300, 'i'));
  // Both readmes went to the same target; the later one stays.
  EXPECT_EQ(ReadOrEmpty(work + "/readme.txt"), "second readme");
  EXPECT_FALSE(Exists(work + "/Alpine"));
  EXPECT_FALSE(Exists(work + "/Other"));
}

TEST_P(TRARTest, ExtractWithFullPathsAndSelection) {
  ASSERT_TRUE(rar.OpenArchiveFile(Write(Package())));
  const std::string out = dir / "full";
  const std::vector<std::string> selection{"Alpine/images/alpine_mm.tga", "readme.txt"};
  ASSERT_TRUE(rar.Extract(out, true, &selection));
  EXPECT_EQ(ReadOrEmpty(out + "/Alpine/images/alpine_mm.tga"), std::string(300, 'i'));
  EXPECT_EQ(ReadOrEmpty(out + "/readme.txt"), "read me");
  EXPECT_FALSE(Exists(out + "/Alpine/alpine.vkb"));
}

TEST_P(TRARTest, ReplaceQuestionGetsBothSidesAndItsAnswerIsFollowed) {
  const std::string path = Write({{"a.txt", "new a"}, {"b.txt", "new b"}});
  const std::string out = dir / "out";
  ASSERT_TRUE(platform::CreateDir(out));
  vvtest::WriteFile(out + "/a.txt", "old");
  ASSERT_TRUE(rar.OpenArchiveFile(path));

  std::vector<std::pair<TRARReplaceData, TRARReplaceData>> asked;
  TRARReplace answer = rrSkip;
  rar.OnReplace = [&](TRAR*, const TRARReplaceData& existing, const TRARReplaceData& incoming,
                      TRARReplace& action) {
    EXPECT_EQ(action, rrOverwrite);
    asked.emplace_back(existing, incoming);
    action = answer;
  };
  EXPECT_TRUE(rar.Extract(out, false, nullptr));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].first.FileName, out + "/a.txt");
  EXPECT_EQ(asked[0].first.Size, 3);
  EXPECT_GT(asked[0].first.Time, 0);
  EXPECT_EQ(asked[0].second.FileName, "a.txt");
  EXPECT_EQ(asked[0].second.Size, 5);
  EXPECT_EQ(ReadOrEmpty(out + "/a.txt"), "old");
  EXPECT_EQ(ReadOrEmpty(out + "/b.txt"), "new b");

  answer = rrOverwrite;
  EXPECT_TRUE(rar.Extract(out, false, nullptr));
  EXPECT_EQ(ReadOrEmpty(out + "/a.txt"), "new a");

  answer = rrCancel;
  EXPECT_FALSE(rar.Extract(out, false, nullptr));
  EXPECT_TRUE(rar.Abort());
}

TEST_P(TRARTest, DamagedDataFailsTheExtraction) {
  Item bad{"bad.tga", "image bytes"};
  bad.damageData = true;
  ASSERT_TRUE(rar.OpenArchiveFile(Write({{"ok.txt", "ok"}, bad, {"later.txt", "later"}})));
  recorder.errors.clear();
  EXPECT_FALSE(rar.Extract(dir / "out", false, nullptr));
  EXPECT_TRUE(rar.Abort());
  EXPECT_EQ(recorder.errors,
            (std::vector<std::pair<int32_t, TRAROperation>>{{ERAR_BAD_DATA, roListFiles}}));
  EXPECT_FALSE(Exists(dir / "out/bad.tga"));
  EXPECT_FALSE(Exists(dir / "out/later.txt"));
}

TEST_P(TRARTest, MissingArchiveRaisesTheAssertionFailure) {
  try {
    rar.OpenArchiveFile(dir / "gone.rar");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure (RAR, line 479)");
  }
  EXPECT_FALSE(rar.ArchiveInformation().Opened());

  const std::string path = Write({{"a.txt", "a"}});
  ASSERT_TRUE(rar.OpenArchiveFile(path));
  ASSERT_EQ(std::remove(path.c_str()), 0);
  try {
    rar.Extract(dir / "out", false, nullptr);
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure (RAR, line 536)");
  }
}

TEST_P(TRARTest, SplitFileIsCountedOnceAndVolumesAreAskedFor) {
  Options options;
  options.volumeSize = 50;
  const std::vector<Item> items{{"big.bin", std::string(120, 'x')}};
  const auto parts = SaveVolumes(GetParam() ? WriteRar5(items, options) : WriteRar4(items, options),
                                 dir.path(), "vol");
  ASSERT_EQ(parts.size(), 3u);
  for (size_t i = parts.size(); i-- > 0;) {
    rar.OpenArchiveFile(parts[i]);
    EXPECT_EQ(rar.ArchiveInformation().LaterVolume(), i > 0) << parts[i];
  }
  ASSERT_EQ(rar.ListedFiles().size(), 1u);
  EXPECT_EQ(rar.ListedFiles()[0].Size, 120);
  recorder.items.clear();
  rar.SetReadMultiVolumeToEnd(true);
  ASSERT_TRUE(rar.OpenArchiveFile(parts[0]));
  ASSERT_EQ(recorder.items.size(), 1u);
  EXPECT_EQ(recorder.items[0].CompressedSize, 120u);
  EXPECT_EQ(recorder.items[0].UnCompressedSize, 120u);
  EXPECT_EQ(rar.ArchiveInformation().TotalFiles(), 1);
  EXPECT_TRUE(rar.ArchiveInformation().MultiVolume());

  ASSERT_EQ(rename(parts[2].c_str(), (dir / "last.rar").c_str()), 0);
  std::vector<std::string> required;
  rar.OnNextVolumeRequired = [&](TRAR*, const std::string& name, std::string& newName,
                                 bool& cancel) {
    EXPECT_TRUE(newName.empty());
    EXPECT_FALSE(cancel);
    required.push_back(name);
    newName = dir / "last.rar";
  };
  EXPECT_TRUE(rar.Extract(dir / "out", false, nullptr));
  EXPECT_EQ(required, std::vector<std::string>{parts[2]});
  EXPECT_EQ(ReadOrEmpty(dir / "out/big.bin"), std::string(120, 'x'));

  // Listing without ReadMultiVolumeToEnd refuses a missing volume without asking.
  rar.SetReadMultiVolumeToEnd(false);
  required.clear();
  EXPECT_FALSE(rar.OpenArchiveFile(parts[0]));
  EXPECT_TRUE(required.empty());
  EXPECT_EQ(recorder.errors.back().first, ERAR_EOPEN);
  EXPECT_EQ(rar.FailureReason(), "missing volume vol.part3.rar");
}

TEST_P(TRARTest, HeaderPasswordIsAskedDuringTheListing) {
  Options options;
  options.encryptedHeaders = true;
  const std::string path = Write({{"a.txt", "a"}}, options);
  std::vector<std::pair<bool, std::string>> asked;
  rar.OnPasswordRequired = [&](TRAR*, bool header, const std::string& name, std::string& password,
                               bool& cancel) {
    EXPECT_TRUE(password.empty());
    EXPECT_FALSE(cancel);
    asked.emplace_back(header, name);
    password = "secret";
  };
  EXPECT_FALSE(rar.OpenArchiveFile(path));
  EXPECT_EQ(asked, (std::vector<std::pair<bool, std::string>>{{true, path}}));
  EXPECT_TRUE(rar.ArchiveInformation().HeaderEncrypted());
  EXPECT_EQ(recorder.errors.back().first, ERAR_BAD_PASSWORD);

  // Without a handler an empty password goes to the library and the pass goes on.
  rar.OnPasswordRequired = nullptr;
  EXPECT_FALSE(rar.OpenArchiveFile(path));
  EXPECT_EQ(recorder.errors.back().first, ERAR_MISSING_PASSWORD);
}

TEST_P(TRARTest, EncryptedEntryIsFlaggedAndAskedForByItsName) {
  Item secret{"maps/secret.vkb", "cipher"};
  secret.encrypted = true;
  ASSERT_TRUE(rar.OpenArchiveFile(Write({secret})));
  EXPECT_TRUE(rar.ArchiveInformation().Encryption());
  EXPECT_TRUE(recorder.items.at(0).Encrypted);
  std::vector<std::pair<bool, std::string>> asked;
  rar.OnPasswordRequired = [&](TRAR*, bool header, const std::string& name, std::string&,
                               bool& cancel) {
    asked.emplace_back(header, name);
    cancel = true;
  };
  EXPECT_FALSE(rar.Extract(dir / "out", false, nullptr));
  EXPECT_EQ(asked, (std::vector<std::pair<bool, std::string>>{{false, "maps/secret.vkb"}}));
  EXPECT_EQ(recorder.errors.back().first, ERAR_MISSING_PASSWORD);
}

TEST_P(TRARTest, HandlerExceptionLeavesTheOperationAndClosesTheArchive) {
  const std::string path = Write(Package());
  rar.OnListFile = [](TRAR*, const TRARFileItem&) { throw std::runtime_error("handler"); };
  EXPECT_THROW(rar.OpenArchiveFile(path), std::runtime_error);
  recorder.Attach(rar);
  EXPECT_TRUE(rar.OpenArchiveFile(path));
  rar.OnProgress = [](TRAR*, const std::wstring&, uint32_t, uint32_t, uint32_t, uint32_t) {
    throw std::runtime_error("progress");
  };
  EXPECT_THROW(rar.Extract(dir / "out", false, nullptr), std::runtime_error);
  rar.OnProgress = nullptr;
  EXPECT_TRUE(rar.Extract(dir / "out", false, nullptr));
}

TEST_P(TRARTest, EmptyDestinationIsRefused) {
  ASSERT_TRUE(rar.OpenArchiveFile(Write({{"a.txt", "a"}})));
  recorder.errors.clear();
  EXPECT_FALSE(rar.Extract("", false, nullptr));
  EXPECT_TRUE(rar.Abort());
  EXPECT_EQ(recorder.errors,
            (std::vector<std::pair<int32_t, TRAROperation>>{{ERAR_ECREATE, roExtract}}));
}

TEST_P(TRARTest, SelfExtractingArchiveIsReadAfterItsStub) {
  const std::string path = Write({{"a.txt", "from the sfx"}});
  const std::string sfx = dir / "setup.exe";
  vvtest::WriteFile(sfx, "MZ" + std::string(3000, '\x90') + vvtest::ReadFile(path));
  ASSERT_TRUE(rar.OpenArchiveFile(sfx));
  EXPECT_TRUE(rar.ArchiveInformation().SFX());
  EXPECT_EQ(rar.ArchiveInformation().TotalFiles(), 1);
  ASSERT_TRUE(rar.Extract(dir / "out", false, nullptr));
  EXPECT_EQ(ReadOrEmpty(dir / "out/a.txt"), "from the sfx");
}

// Dictionary code 6 is the largest the flags carry: 4 MiB (RAR 5 counts its codes from 128 KiB).
TEST_P(TRARTest, LargestDictionaryIsFourMegabytes) {
  Item vkb{"map.vkb", "scenario"};
  vkb.dictionary = GetParam() ? 5 : 6;
  ASSERT_TRUE(rar.OpenArchiveFile(Write({vkb})));
  EXPECT_EQ(rar.ArchiveInformation().DictionarySize(), 4194304);
}

TEST_P(TRARTest, EntryWithoutABareNameIsSkippedAndExtractionGoesOn) {
  ASSERT_TRUE(rar.OpenArchiveFile(Write({{"maps/..", "dots"}, {"after.txt", "after"}})));
  const std::string work = dir / "$$$";
  ASSERT_TRUE(platform::CreateDir(work));
  EXPECT_TRUE(rar.Extract(work, false, nullptr));
  EXPECT_EQ(ReadOrEmpty(work + "/after.txt"), "after");
  EXPECT_FALSE(Exists(work + "/maps"));
}

// Every entry left out is named with its reason, and a failed extraction says what stopped it.
TEST_P(TRARTest, EntriesLeftOutAreNamedAndTheFailureSaysWhy) {
  Item damaged{"bad.tga", "image bytes"};
  damaged.damageData = true;
  Item encrypted{"locked.tga", "image bytes"};
  encrypted.encrypted = true;
  struct Case {
    std::vector<Item> items;
    std::map<std::string, std::string> files, skipped;
    std::string failure;  // empty when the extraction succeeds
  } cases[] = {
      {{{"maps/..", "x"}, {"../up.tga", "up"}, {"./a/./b.tga", "b"}},
       {{"b.tga", "b"}},
       {{"maps/..", "unsafe name"}, {"../up.tga", "unsafe name"}},
       ""},
      {{{"ok.txt", "ok"}, damaged, {"later.txt", "later"}},
       {{"ok.txt", "ok"}},
       {{"bad.tga", "damaged data (CRC)"},
        {"later.txt", "not reached (the extraction stopped at bad.tga)"}},
       "damaged (bad.tga)"},
      {{encrypted}, {}, {{"locked.tga", "password needed"}}, "password protected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.items.front().name);
    vvtest::TempDir out;
    ASSERT_TRUE(rar.OpenArchiveFile(Write(c.items)));
    EXPECT_EQ(rar.Extract(out.path(), false, nullptr), c.failure.empty());
    EXPECT_EQ(FolderContents(out.path()), c.files);
    std::map<std::string, std::string> skipped;
    for (const TSkippedEntry& entry : rar.SkippedEntries()) skipped[entry.Name] = entry.Reason;
    EXPECT_EQ(skipped, c.skipped);
    if (!c.failure.empty()) {
      EXPECT_EQ(rar.FailureReason(), c.failure);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, TRARTest, ::testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "Rar5" : "Rar4"; });

// The program folder's rules alone, also where the system has the real library.
class TRARLibrary : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetSystemLibrarySearch(false); }
  void TearDown() override {
    platform::SetSystemLibrarySearch(true);
    platform::SetProgramFolder("");
  }
};

TEST_F(TRARLibrary, DefaultNameFindsTheStandinInTheProgramFolder) {
  platform::SetProgramFolder(vvtest::ProgramDir());
  vvtest::TempDir dir;
  TRAR rar;
  EXPECT_EQ(rar.DllName(), "unrar.dll");
  EXPECT_TRUE(rar.OpenArchiveFile(WriteArchive(dir.path(), "a", false, {{"a.txt", "a"}})));
  EXPECT_TRUE(rar.LibraryLoaded());
}

TEST_F(TRARLibrary, WithoutALibraryOpenFailsWith99) {
  vvtest::TempDir empty;
  platform::SetProgramFolder(empty.path());
  TRAR rar;
  Recorder recorder;
  recorder.Attach(rar);
  EXPECT_FALSE(rar.OpenArchiveFile(empty / "whatever.rar"));  // no assertion without a library
  EXPECT_EQ(recorder.errors, (std::vector<std::pair<int32_t, TRAROperation>>{{99, roInitArchive}}));
  EXPECT_FALSE(rar.LibraryLoaded());
  // Nothing was opened, so there is nothing to extract.
  EXPECT_THROW(rar.Extract(empty / "out", false, nullptr), EAssertionFailed);
}

TEST_F(TRARLibrary, OldInterfaceVersionWarnsOncePerLoadAndStillWorks) {
  platform::RecordingPrompter prompter;
  platform::ScopedPrompter scoped(prompter);
  platform::SetProgramFolder(VV_FAKE_UNRAR_DIR);
  vvtest::TempDir dir;
  const std::string path = WriteArchive(dir.path(), "a", true, {{"a.txt", "a"}});
  {
    TRAR rar;
    EXPECT_TRUE(rar.OpenArchiveFile(path));
    EXPECT_TRUE(rar.OpenArchiveFile(path));
    EXPECT_TRUE(rar.Extract(dir / "out", false, nullptr));
  }
  ASSERT_EQ(prompter.messages.size(), 1u);
  EXPECT_EQ(prompter.messages[0].caption, "error");
  EXPECT_EQ(
      prompter.messages[0].text.rfind("please download the newest \"unrar.dll\" file. See ", 0),
      0u);
  EXPECT_EQ(prompter.messages[0].flags, platform::MB_OK);
  EXPECT_EQ(ReadOrEmpty(dir / "out/a.txt"), "a");
  platform::SetProgramFolder("");
}

TEST(TRARDates, DosStampsConvertWithoutTimeZone) {
  // 2024-03-22 14:30:10: date (44 << 9 | 3 << 5 | 22), time (14 << 11 | 30 << 5 | 5).
  const uint32_t dos = ((44u << 9 | 3u << 5 | 22u) << 16) | (14u << 11 | 30u << 5 | 5u);
  EXPECT_NEAR(DosDateTimeToDateTime(dos), 45373.0 + (14 * 3600 + 30 * 60 + 10) / 86400.0, 1e-9);
  EXPECT_EQ(DosDateTimeToDateTime(0), 0);
  EXPECT_EQ(DosDateTimeToDateTime((44u << 9 | 2u << 5 | 30u) << 16), 0);  // 30 February
  // 29 February only in leap years: 2000 and 2024, not 2023 or 2100.
  for (const auto& [year, leap] :
       {std::pair{2000u, true}, {2024u, true}, {2023u, false}, {2100u, false}})
    EXPECT_EQ(DosDateTimeToDateTime(((year - 1980) << 9 | 2u << 5 | 29u) << 16) != 0, leap) << year;
}

}  // namespace
}  // namespace rartest
