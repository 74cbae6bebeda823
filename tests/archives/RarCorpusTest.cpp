// TRAR with the stand-in over the public RAR corpus (skipped when it is absent), and, when the
// system carries the real UnRAR library, the same archives through both libraries side by side.
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <clocale>
#include <ctime>
#include <filesystem>
#include <map>
#include <vector>

#include "RarTestSupport.h"
#include "archives/RAR.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace rartest {
namespace {

std::string CorpusPath(const std::string& name) {
  return vvtest::TestDataDir() + "/rar/" + name;
}

uint32_t FileCrc(const std::string& path) {
  return Crc32(vvtest::ReadFile(path));
}

struct CorpusCase {
  const char* file;
  bool lists;                                // OpenArchiveFile answers true
  int32_t totalFiles;                        // when it lists
  bool extracts;                             // Extract answers true
  int32_t extractCode;                       // the code reported when it does not
  std::map<std::string, uint32_t> expected;  // bare name -> CRC-32 of what lands in the folder
};

// Test listings name a case by its file, not by its bytes.
void PrintTo(const CorpusCase& c, std::ostream* os) {
  *os << c.file;
}

const CorpusCase kCases[] = {
    {"test_read_format_rar.rar", true, 3, true, 0, {{"test.txt", 0xbec8a242}}},
    {"test_read_format_rar_compress_normal.rar",
     true,
     4,
     true,
     0,
     {{"LibarchiveAddingTest.html", 0x5e05a663}, {"test.txt", 0xbec8a242}}},
    {"rar3-solid.rar", true, 2, false, ERAR_UNKNOWN_FORMAT, {{"stest1.txt", 0xc5b7e6a2}}},
    {"test_read_format_rar4_encrypted.rar",
     true,
     4,
     false,
     ERAR_MISSING_PASSWORD,
     {{"a.txt", 0xee5a6e55}}},
    {"test_read_format_rar4_encrypted_filenames.rar", false, 0, false, 0, {}},
    {"rar5-subdirs.rar",
     true,
     4,
     true,
     0,
     {{"file2.txt", 0xc904a4c7},
      {"long fn.txt", 0x71b7247d},
      {"file.txt", 0x2fec89c1},
      {"file1.txt", 0xe229f704}}},
    {"rar5-evil-symlink-traversal.rar", true, 2, true, 0, {{"pwned.txt", 0xc0327d47}}},
    {"test_read_format_rar5_compressed.rar", true, 1, true, 0, {{"test.bin", 0x7cca70cd}}},
    {"test_read_format_rar5_dirdata.rar", false, 0, false, 0, {}},
    {"test_read_format_rar5_encrypted.rar",
     true,
     4,
     false,
     ERAR_MISSING_PASSWORD,
     {{"a.txt", 0xee5a6e55}}},
    {"test_read_format_rar5_encrypted_filenames.rar", false, 0, false, 0, {}},
    {"test_read_format_rar5_solid.rar",
     true,
     7,
     true,
     0,
     {{"test.bin", 0x7cca70cd},
      {"test1.bin", 0x7e13b2c6},
      {"test2.bin", 0xf166afcb},
      {"test3.bin", 0x9fb123d9},
      {"test4.bin", 0x10c43ed4},
      {"test5.bin", 0xb9d155f2},
      {"test6.bin", 0x36a448ff}}},
    {"test_read_format_rar5_stored.rar", true, 1, true, 0, {{"helloworld.txt", 0x95a043b4}}},
    // Its link to file.txt comes out as a copy; the one to a folder is left out.
    {"test_read_format_rar5_symlink.rar",
     true,
     3,
     true,
     0,
     {{"file.txt", 0x7d931721}, {"symlink.txt", 0x7d931721}}},
    {"test_read_format_rar5_truncated_huff.rar", false, 0, false, 0, {}},
    {"rar3-vols.part1.rar",
     true,
     2,
     true,
     0,
     {{"bigfile.txt", 0x509ad74c}, {"smallfile.txt", 0xd08a1f86}}},
    {"rar5-vols.part1.rar",
     true,
     2,
     true,
     0,
     {{"bigfile.txt", 0x509ad74c}, {"smallfile.txt", 0xd08a1f86}}},
};

class RarCorpus : public ::testing::TestWithParam<CorpusCase> {
 protected:
  void SetUp() override { platform::SetProgramFolder(vvtest::ProgramDir()); }
  void TearDown() override { platform::SetProgramFolder(""); }
};

TEST_P(RarCorpus, ListsAndExtractsAsDocumented) {
  VV_SKIP_WITHOUT_TESTDATA("rar");
  const CorpusCase& c = GetParam();
  TRAR rar;
  rar.SetDllName(StandinPath());
  std::vector<int32_t> codes;
  rar.OnError = [&](TRAR*, int32_t code, TRAROperation) {
    if (code != 0) codes.push_back(code);
  };
  const bool listed = rar.OpenArchiveFile(CorpusPath(c.file));
  ASSERT_EQ(listed, c.lists);
  if (!listed) return;
  EXPECT_EQ(rar.ArchiveInformation().TotalFiles(), c.totalFiles);

  vvtest::TempDir out;
  const std::string work = out / "$$$";
  EXPECT_EQ(rar.Extract(work, false, nullptr), c.extracts);
  if (!c.extracts) {
    EXPECT_EQ(codes, std::vector<int32_t>{c.extractCode});
  }
  for (const auto& [name, crc] : c.expected) {
    ASSERT_TRUE(Exists(work + "/" + name)) << name;
    EXPECT_EQ(FileCrc(work + "/" + name), crc) << name;
  }
  // Nothing beside the files named: no folders, no links.
  size_t entries = 0;
  if (platform::DirectoryExists(work))
    for (const auto& entry : std::filesystem::directory_iterator(work)) {
      ++entries;
      EXPECT_TRUE(entry.is_regular_file() && !entry.is_symlink()) << entry.path();
      EXPECT_EQ(c.expected.count(entry.path().filename().string()), 1u) << entry.path();
    }
  EXPECT_EQ(entries, c.expected.size());
  EXPECT_FALSE(Exists(out / "pwned.txt"));
}

INSTANTIATE_TEST_SUITE_P(Files, RarCorpus, ::testing::ValuesIn(kCases), [](const auto& instance) {
  std::string name = instance.param.file;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(RarCorpusVolumes, SplitFileListsOnceAndNextVolumeIsAskedFor) {
  VV_SKIP_WITHOUT_TESTDATA("rar");
  for (const char* set : {"rar3-vols", "rar5-vols"}) {
    SCOPED_TRACE(set);
    vvtest::TempDir dir;
    // Copies, so one volume can go missing under its expected name.
    for (int part = 1; part <= 3; ++part) {
      const std::string name = std::string(set) + ".part" + std::to_string(part) + ".rar";
      vvtest::WriteFile(dir / (part == 2 ? "renamed.rar" : name),
                        vvtest::ReadFile(CorpusPath(name)));
    }
    TRAR rar;
    rar.SetDllName(StandinPath());
    rar.SetReadMultiVolumeToEnd(true);
    std::vector<TRARFileItem> items;
    rar.OnListFile = [&](TRAR*, const TRARFileItem& item) { items.push_back(item); };
    std::vector<std::string> required;
    rar.OnNextVolumeRequired = [&](TRAR*, const std::string& name, std::string& newName, bool&) {
      required.push_back(name);
      newName = dir / "renamed.rar";
    };
    ASSERT_TRUE(rar.OpenArchiveFile(dir / (std::string(set) + ".part1.rar")));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].FileName, "vols/bigfile.txt");
    EXPECT_EQ(items[0].UnCompressedSize, 205000u);
    EXPECT_GT(items[0].CompressedSize, 102400u);  // the parts of all three volumes
    EXPECT_TRUE(rar.ArchiveInformation().MultiVolume());
    EXPECT_EQ(required, std::vector<std::string>{dir / (std::string(set) + ".part2.rar")});

    required.clear();
    ASSERT_TRUE(rar.Extract(dir / "out", false, nullptr));
    EXPECT_EQ(required.size(), 1u);
    EXPECT_EQ(FileCrc(dir / "out/bigfile.txt"), 0x509ad74cu);
    EXPECT_EQ(FileCrc(dir / "out/smallfile.txt"), 0xd08a1f86u);
  }
}

// A compressed entry behind others goes through libarchive, which must be walked in step with
// the headers, also when the archive opens with the last part of a split file.
TEST(RarCorpusVolumes, CompressedEntryAfterAContinuedPartIsFound) {
  VV_SKIP_WITHOUT_TESTDATA("rar");
  const std::string corpus =
      vvtest::ReadFile(CorpusPath("test_read_format_rar_compress_normal.rar"));
  // Its first file header follows the 7-byte marker and the main header.
  const auto le16 = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(corpus[at]) |
                               static_cast<unsigned char>(corpus[at + 1]) << 8);
  };
  const size_t header = 7 + le16(7 + 5);
  ASSERT_EQ(corpus[header + 2], '\x74');
  const size_t packed = le16(header + 7) | le16(header + 9) << 16;
  const std::string compressed = corpus.substr(header, le16(header + 5) + packed);

  vvtest::TempDir dir;
  Options options;
  options.volumeSize = 40;
  auto volumes = WriteRar4({{"big.bin", std::string(60, 'b')}, {"small.txt", "s"}}, options);
  ASSERT_EQ(volumes.size(), 2u);
  std::string& last = volumes[1];
  last.insert(last.size() - 7, compressed);  // before the end block
  const std::string path = dir / "tail.rar";
  vvtest::WriteFile(path, last);

  TRAR rar;
  rar.SetDllName(StandinPath());
  ASSERT_TRUE(rar.OpenArchiveFile(path));
  ASSERT_TRUE(rar.Extract(dir / "out", false, nullptr));
  EXPECT_EQ(FileCrc(dir / "out/LibarchiveAddingTest.html"), 0x5e05a663u);
  EXPECT_EQ(ReadOrEmpty(dir / "out/small.txt"), "s");
}

// Compressed comments: the packed bytes of corpus entries, stored as archive comments.
TEST(RarCorpusComments, CompressedCommentsAreUnpacked) {
  VV_SKIP_WITHOUT_TESTDATA("rar");
  vvtest::TempDir dir;
  const auto unpacked = [&](const std::string& corpus, const std::string& name) {
    TRAR rar;
    rar.SetDllName(StandinPath());
    EXPECT_TRUE(rar.OpenArchiveFile(CorpusPath(corpus)));
    EXPECT_TRUE(rar.Extract(dir / "plain", false, nullptr));
    return vvtest::ReadFile(dir / ("plain/" + name));
  };

  // RAR 5: test.bin's 361 packed bytes sit just before the 8-byte end block.
  const std::string rar5 = vvtest::ReadFile(CorpusPath("test_read_format_rar5_compressed.rar"));
  Options options5;
  options5.packedComment.data = unpacked("test_read_format_rar5_compressed.rar", "test.bin");
  options5.packedComment.packed = rar5.substr(rar5.size() - 8 - 361, 361);
  options5.packedComment.compression = 0x280;  // method 5, version 0
  UnrarApi api(StandinPath());
  std::string path = WriteArchive(dir.path(), "c5", true, {{"a.txt", "a"}}, options5);
  std::vector<char> buffer(4096);
  RAROpenArchiveDataEx data{};
  data.ArcName = path.data();
  data.CmtBuf = buffer.data();
  data.CmtBufSize = static_cast<unsigned>(buffer.size());
  RAR_HANDLE handle = api.openEx(&data);
  ASSERT_NE(handle, nullptr);
  api.close(handle);
  EXPECT_EQ(data.CmtState, 1u);
  ASSERT_EQ(data.CmtSize, 1201u);
  EXPECT_EQ(Crc32(std::string(buffer.data(), 1200)), 0x7cca70cdu);

  // RAR 4: the first file of the normal-compression archive, method and dictionary as stored.
  const std::string rar4 = vvtest::ReadFile(CorpusPath("test_read_format_rar_compress_normal.rar"));
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(rar4[at]); };
  const size_t header = 7 + (byte(12) | byte(13) << 8);
  const size_t headerSize = byte(header + 5) | byte(header + 6) << 8;
  const size_t packed = byte(header + 7) | byte(header + 8) << 8 | byte(header + 9) << 16;
  Options options4;
  options4.packedComment.data =
      unpacked("test_read_format_rar_compress_normal.rar", "LibarchiveAddingTest.html");
  options4.packedComment.packed = rar4.substr(header + headerSize, packed);
  options4.packedComment.method = byte(header + 25);
  options4.packedComment.unpVer = byte(header + 24);
  options4.packedComment.dictionary = (byte(header + 3) >> 5) & 7;
  TRAR rar;
  rar.SetDllName(StandinPath());
  ASSERT_TRUE(
      rar.OpenArchiveFile(WriteArchive(dir.path(), "c4", false, {{"a.txt", "a"}}, options4)));
  EXPECT_TRUE(rar.ArchiveInformation().ArchiveComment());
  EXPECT_EQ(rar.ArchiveInformation().Comment(), options4.packedComment.data);
}

// The real library as an oracle: the same records, summary and bytes wherever the stand-in
// supports the archive. Runs only where the system has the real library installed.
struct OracleRun {
  bool opened = false, extracted = false;
  std::vector<TRARFileItem> items;
  std::map<std::string, std::string> files;
  TRARArchiveInformation info;
  std::vector<TPackageEntry> listed;
  std::map<std::string, std::string> skipped;  // name -> reason
};

OracleRun RunWith(const std::string& library, const std::string& archive) {
  OracleRun result;
  TRAR rar;
  rar.SetDllName(library);
  rar.OnListFile = [&](TRAR*, const TRARFileItem& item) { result.items.push_back(item); };
  result.opened = rar.OpenArchiveFile(archive);
  result.info = rar.ArchiveInformation();
  vvtest::TempDir out;
  result.extracted = rar.Extract(out.path(), false, nullptr);
  result.files = FolderContents(out.path());
  result.listed = rar.ListedFiles();
  for (const TSkippedEntry& entry : rar.SkippedEntries()) result.skipped[entry.Name] = entry.Reason;
  return result;
}

// The whole extracted folder is compared, and holds regular files only. Returns the stand-in's
// run, so a test can also say what both should have done.
OracleRun ExpectSameAsRealLibrary(const std::string& real, const std::string& archive) {
  const OracleRun mine = RunWith(StandinPath(), archive);
  const OracleRun theirs = RunWith(real, archive);
  EXPECT_EQ(mine.opened, theirs.opened);
  EXPECT_EQ(mine.extracted, theirs.extracted);
  EXPECT_EQ(mine.items.size(), theirs.items.size());
  for (size_t i = 0; i < std::min(mine.items.size(), theirs.items.size()); ++i) {
    const TRARFileItem &a = mine.items[i], &b = theirs.items[i];
    EXPECT_EQ(a.FileName, b.FileName);
    EXPECT_EQ(a.FileNameW, b.FileNameW);
    EXPECT_EQ(a.CompressedSize, b.CompressedSize);
    EXPECT_EQ(a.UnCompressedSize, b.UnCompressedSize);
    EXPECT_EQ(a.HostOS, b.HostOS);
    EXPECT_EQ(a.CRC32, b.CRC32);
    EXPECT_EQ(a.Attributes, b.Attributes);
    EXPECT_EQ(a.Time, b.Time);
    EXPECT_EQ(a.PackingMethod, b.PackingMethod);
    EXPECT_EQ(a.UnpVer, b.UnpVer);
    EXPECT_EQ(a.Encrypted, b.Encrypted);
  }
  // TotalFiles and DictionarySize are left out: the stand-in marks folders and dictionary
  // sizes in flag bits 5 to 7 as TRAR reads them, where a newer library may only set 0x20.
  EXPECT_EQ(mine.info.CompressedSize(), theirs.info.CompressedSize());
  EXPECT_EQ(mine.info.UnCompressedSize(), theirs.info.UnCompressedSize());
  EXPECT_EQ(mine.info.Solid(), theirs.info.Solid());
  EXPECT_EQ(mine.info.MultiVolume(), theirs.info.MultiVolume());
  EXPECT_EQ(mine.info.Encryption(), theirs.info.Encryption());
  EXPECT_EQ(mine.info.HostOS(), theirs.info.HostOS());
  EXPECT_EQ(mine.info.ArchiverMajorVersion(), theirs.info.ArchiverMajorVersion());
  EXPECT_EQ(mine.info.ArchiverMinorVersion(), theirs.info.ArchiverMinorVersion());
  EXPECT_EQ(mine.files, theirs.files);
  EXPECT_EQ(mine.skipped, theirs.skipped);
  for (const auto& [name, bytes] : theirs.files) {
    EXPECT_NE(bytes, kSpecialMark) << name;
    EXPECT_NE(bytes, kFolderMark) << name << ": extraction without full paths makes no folder";
  }
  return mine;
}

// The real library makes its 8-bit names through the process's locale, as the program has it
// from its environment; under the bare "C" locale it cuts them at the first non-ASCII letter.
class RarOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    real_ = SystemUnrarPath();
    if (real_.empty()) GTEST_SKIP() << "the real UnRAR library is not installed";
    previousLocale_ = setlocale(LC_ALL, nullptr);
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
  }
  void TearDown() override {
    if (!previousLocale_.empty()) setlocale(LC_ALL, previousLocale_.c_str());
  }
  std::string real_;
  std::string previousLocale_;
};

TEST_F(RarOracle, StandinMatchesTheRealLibraryOnTheCorpus) {
  VV_SKIP_WITHOUT_TESTDATA("rar");
  for (const CorpusCase& c : kCases) {
    if (!c.lists || !c.extracts) continue;
    SCOPED_TRACE(c.file);
    ExpectSameAsRealLibrary(real_, CorpusPath(c.file));
  }
}

// Packages as players make them, in both formats: files in folders, a folder entry, Windows or
// Unix hosts, either separator, a link that no library is asked to create, and a damaged byte
// that both libraries must refuse.
TEST_F(RarOracle, StandinMatchesTheRealLibraryOnWrittenArchives) {
  vvtest::TempDir dir;
  for (bool rar5 : {false, true}) {
    SCOPED_TRACE(rar5 ? "RAR 5" : "RAR 4");
    Item folder{"Desert", "", true};
    folder.attributes = 0x10;
    Item vkb{"Desert/desert.vkb", std::string(70000, 'v')};
    Item info{rar5 ? "Desert/desert.info" : "Desert\\desert.info", "MaxPlayers = 4,\r\n"};
    Item minimap{"desert_mm.tga", std::string(300, '\x7f')};
    minimap.hostOS = 3;
    minimap.attributes = 0100644;
    Item link{"Desert/shortcut", ""};
    link.linkTarget = "desert.vkb";
    link.hostOS = 3;
    link.attributes = 0120777;
    const OracleRun good = ExpectSameAsRealLibrary(
        real_,
        WriteArchive(dir.path(), rar5 ? "p5" : "p4", rar5, {folder, vkb, info, minimap, link}));
    EXPECT_TRUE(good.extracted);
    EXPECT_EQ(good.items.size(), 5u);
    std::map<std::string, std::string> files{
        {"desert.vkb", vkb.data}, {"desert.info", info.data}, {"desert_mm.tga", minimap.data}};
    // A RAR 5 link names its target in its header, so it becomes a copy; RAR 4 keeps the target
    // in the data and the link is left out.
    if (rar5) files["shortcut"] = vkb.data;
    EXPECT_EQ(good.files, files);

    Item damaged{"desert.scar", "import(\"map\")"};
    damaged.damageData = true;
    const OracleRun bad = ExpectSameAsRealLibrary(
        real_, WriteArchive(dir.path(), rar5 ? "d5" : "d4", rar5, {vkb, damaged}));
    EXPECT_FALSE(bad.extracted);
    EXPECT_EQ(bad.files.count("desert.scar"), 0u) << "a damaged entry leaves no file";
  }
}

// Packages as Debian's rar makes them, each through both libraries (the command-line package
// table has the plainer links): links of the package come out as copies of their targets, every
// other link is named with its reason, and header records of rar 7 (nanosecond and access times,
// BLAKE2, locks, recovery records) change nothing.
TEST_F(RarOracle, PackagesOfTheRarToolComeOutAlikeWithBothLibraries) {
  const std::string image(5000, 'i');
  const std::string no = "link not followed";
  const struct {
    const char *name, *links, *options;  // links: made by a shell in the source folder
    std::map<std::string, std::string> skipped;
  } cases[] = {
      {"symbolic link from a folder", "ln -s ../a.tga sub/b.tga", "-ol -r", {}},
      {"symbolic link to a link",
       "ln -s c.tga b.tga && ln -s /etc/hostname c.tga",
       "-ol",
       {{"b.tga", no}, {"c.tga", no}}},
      {"access time in nanoseconds, solid", "true", "-s -tsa4", {}},
      {"creation time in nanoseconds, solid", "true", "-s -tsc4 -tsm4", {}},
      {"BLAKE2, locked, recovery record, comment", "true", "-htb -k -rr5 -z../comment.txt", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vvtest::TempDir dir;
    const std::filesystem::path src = std::filesystem::path(dir.path()) / "src";
    std::filesystem::create_directories(src / "sub");
    vvtest::WriteFile(src / "a.tga", image);
    vvtest::WriteFile(src / "m.vkb", "scenario");
    vvtest::WriteFile(dir.path() + "/comment.txt", "a map by somebody");
    // These nanoseconds of an access time once lost libarchive its place in a solid archive. A
    // future access time is not moved by reading the file.
    const timespec times[2] = {{std::time(nullptr) + 7200, 30839023}, {1700000000, 500000000}};
    for (const char* file : {"a.tga", "m.vkb"})
      ASSERT_EQ(utimensat(AT_FDCWD, (src / file).c_str(), times, 0), 0);
    const std::string archive = dir.path() + "/pkg.rar";
    const std::string command = "cd '" + src.string() + "' && " + c.links + " && rar a -idq " +
                                c.options + " '" + archive + "' * > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::string> expected;
    for (const std::string& rel : vvtest::Tree(src))
      if (!c.skipped.count(rel))
        expected[std::filesystem::path(rel).filename()] = vvtest::ReadFile(src / rel);
    const OracleRun run = ExpectSameAsRealLibrary(real_, archive);
    EXPECT_TRUE(run.extracted);
    EXPECT_EQ(run.files, expected);
    EXPECT_EQ(run.skipped, c.skipped);
    EXPECT_EQ(run.listed.size(), vvtest::Tree(src).size());
  }
}

// A volume that goes missing between the listing and the extraction is named, whichever library
// asks for it, and nothing waits for it.
TEST_F(RarOracle, VolumeMissingAtExtractionIsNamed) {
  vvtest::TempDir dir;
  vvtest::WriteFile(dir.path() + "/a.bin", std::string(60000, 'a'));
  const std::string command =
      "cd '" + dir.path() + "' && rar a -idq -m0 -v25k set.rar a.bin > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const std::string& library : {StandinPath(), real_}) {
    SCOPED_TRACE(library);
    TRAR rar;
    rar.SetDllName(library);
    ASSERT_TRUE(rar.OpenArchiveFile(dir.path() + "/set.part1.rar"));
    ASSERT_EQ(std::rename((dir.path() + "/set.part3.rar").c_str(), (dir.path() + "/gone").c_str()),
              0);
    vvtest::TempDir out;
    EXPECT_FALSE(rar.Extract(out.path(), false, nullptr));
    EXPECT_EQ(rar.FailureReason(), "missing volume set.part3.rar");
    std::rename((dir.path() + "/gone").c_str(), (dir.path() + "/set.part3.rar").c_str());
  }
}

}  // namespace
}  // namespace rartest
