// The stand-in UnRAR library through its C entry points, on archives the test writer makes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "RarTestSupport.h"
#include "platform/Files.h"

namespace rartest {
namespace {

struct CallbackLog {
  std::vector<unsigned> messages;
  std::vector<std::string> volumesAsked;
  std::vector<std::string> volumesOpened;
  std::string volumeAnswer;  // copied into the buffer when a volume is needed
  bool refuseVolume = false;
  std::string password;
  bool cancelPassword = false;
  bool stopData = false;
  uint64_t dataBytes = 0;
};

int VV_RAR_CALL Callback(unsigned msg, RAR_LPARAM user, RAR_LPARAM p1, RAR_LPARAM p2) {
  auto& log = *reinterpret_cast<CallbackLog*>(user);
  log.messages.push_back(msg);
  switch (msg) {
    case UCM_CHANGEVOLUME: {
      char* name = reinterpret_cast<char*>(p1);
      if (p2 == RAR_VOL_NOTIFY) {
        log.volumesOpened.push_back(name);
        return 0;
      }
      log.volumesAsked.push_back(name);
      if (log.refuseVolume) return -1;
      std::strcpy(name, log.volumeAnswer.c_str());
      return 0;
    }
    case UCM_PROCESSDATA:
      log.dataBytes += static_cast<uint64_t>(p2);
      return log.stopData ? -1 : 0;
    case UCM_NEEDPASSWORD:
      std::strncpy(reinterpret_cast<char*>(p1), log.password.c_str(), static_cast<size_t>(p2));
      return log.cancelPassword ? -1 : 0;
    default:
      return 0;
  }
}

class StandinTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { ASSERT_TRUE(api.complete()) << StandinPath(); }

  bool rar5() const { return GetParam(); }

  std::string Write(const std::vector<Item>& items, const Options& options = {},
                    const std::string& base = "t") {
    return WriteArchive(dir.path(), base, rar5(), items, options);
  }

  RAR_HANDLE Open(const std::string& path, unsigned mode, RAROpenArchiveDataEx* out = nullptr) {
    RAROpenArchiveDataEx data{};
    std::string name = path;
    data.ArcName = name.data();
    data.OpenMode = mode;
    data.CmtBuf = comment;
    data.CmtBufSize = commentSize;
    RAR_HANDLE handle = api.openEx(&data);
    if (out) *out = data;
    if (handle) api.setCallback(handle, &Callback, reinterpret_cast<RAR_LPARAM>(&log));
    return handle;
  }

  // Every header in archive order; the code that ended the walk goes to *end.
  std::vector<Header> List(const std::string& path, unsigned mode = RAR_OM_LIST,
                           int* end = nullptr) {
    std::vector<Header> headers;
    RAR_HANDLE handle = Open(path, mode);
    if (!handle) return headers;
    auto record = std::make_unique<RARHeaderDataEx>();
    int code;
    while ((code = api.readEx(handle, record.get())) == 0) {
      headers.push_back(ToHeader(*record));
      if (api.process(handle, RAR_SKIP, nullptr, nullptr) != 0) break;
    }
    if (end) *end = code;
    EXPECT_EQ(api.close(handle), 0);
    return headers;
  }

  // Extracts every entry into folder (or under exact names there); the codes in order.
  std::vector<int> ExtractAll(const std::string& path, const std::string& folder,
                              bool exactNames = false) {
    std::vector<int> codes;
    RAR_HANDLE handle = Open(path, RAR_OM_EXTRACT);
    if (!handle) return codes;
    auto record = std::make_unique<RARHeaderDataEx>();
    int code;
    while ((code = api.readEx(handle, record.get())) == 0) {
      std::string dest = folder;
      std::string exact = folder + "/" + record->FileName;
      code = exactNames ? api.process(handle, RAR_EXTRACT, nullptr, exact.data())
                        : api.process(handle, RAR_EXTRACT, dest.data(), nullptr);
      codes.push_back(code);
      if (code != 0) break;
    }
    if (code != ERAR_END_ARCHIVE && (codes.empty() || codes.back() == 0)) codes.push_back(code);
    api.close(handle);
    return codes;
  }

  UnrarApi api{StandinPath()};
  vvtest::TempDir dir;
  CallbackLog log;
  char comment[64] = {};
  unsigned commentSize = sizeof comment;
};

TEST_P(StandinTest, HeadersCarryEveryFieldInArchiveOrder) {
  Item file{"maps\\Alpine Pass.vkb", "scenario data"};
  file.dictionary = 3;
  Item folder{"maps", ""};
  folder.folder = true;
  Item unix{"readme.txt", "hello"};
  unix.hostOS = 3;
  unix.attributes = 0100644;
  unix.dosTime = 0x4A5B1C2D;
  Item wide{"carte\xC3\xA9.tga", "pixels"};  // é
  wide.encodedUnicodeName = true;
  const std::string path = Write({file, folder, unix, wide});

  int end = 0;
  const auto headers = List(path, RAR_OM_LIST, &end);
  EXPECT_EQ(end, ERAR_END_ARCHIVE);
  ASSERT_EQ(headers.size(), 4u);
  EXPECT_EQ(headers[0].name, "maps/Alpine Pass.vkb");
  EXPECT_EQ(headers[0].nameW, L"maps/Alpine Pass.vkb");
  EXPECT_EQ(headers[0].unpSize, 13u);
  EXPECT_EQ(headers[0].packSize, 13u);
  EXPECT_EQ(headers[0].crc, Crc32("scenario data"));
  EXPECT_EQ(headers[0].method, 0x30u);
  EXPECT_EQ(headers[0].hostOS, 2u);
  EXPECT_EQ(headers[0].attributes, 0x20u);
  EXPECT_EQ(headers[0].flags & RHDF_WINDOWMASK, (rar5() ? 4u : 3u) << 5);
  EXPECT_EQ(headers[0].unpVer, rar5() ? 50u : 29u);
  EXPECT_EQ(headers[1].flags & RHDF_WINDOWMASK, RHDF_WINDOWMASK);
  EXPECT_EQ(headers[1].attributes, 0x10u);
  EXPECT_EQ(headers[2].hostOS, 3u);
  EXPECT_EQ(headers[2].attributes, 0100644u);
  if (!rar5()) {
    EXPECT_EQ(headers[2].fileTime, 0x4A5B1C2Du);
  }
  EXPECT_EQ(headers[3].name, "carte\xC3\xA9.tga");
  EXPECT_EQ(headers[3].nameW, L"carte\u00e9.tga");
}

TEST_P(StandinTest, ArchiveFlagsAndStoredComment) {
  Options options;
  options.locked = true;
  options.solid = true;
  options.recovery = true;
  options.comment = "Map pack v2";
  RAROpenArchiveDataEx data{};
  RAR_HANDLE handle = Open(Write({{"a.txt", "a"}}, options), RAR_OM_LIST, &data);
  ASSERT_NE(handle, nullptr);
  api.close(handle);
  EXPECT_EQ(data.Flags & (ROADF_COMMENT | ROADF_LOCK | ROADF_SOLID | ROADF_RECOVERY),
            ROADF_COMMENT | ROADF_LOCK | ROADF_SOLID | ROADF_RECOVERY);
  EXPECT_EQ(data.CmtState, 1u);
  EXPECT_EQ(data.CmtSize, 12u);
  EXPECT_STREQ(comment, "Map pack v2");

  commentSize = 5;
  handle = Open(Write({{"a.txt", "a"}}, options, "u"), RAR_OM_LIST, &data);
  ASSERT_NE(handle, nullptr);
  api.close(handle);
  EXPECT_EQ(data.CmtState, static_cast<unsigned>(ERAR_SMALL_BUF));
  EXPECT_STREQ(comment, "Map ");
}

TEST(StandinComments, CommentInsideAnOldMainHeader) {
  UnrarApi api(StandinPath());
  vvtest::TempDir dir;
  Options options;
  options.oldComment = "made by an old archiver";
  std::string path = WriteArchive(dir.path(), "old", false, {{"a.txt", "a"}}, options);
  char comment[64] = {};
  RAROpenArchiveDataEx data{};
  data.ArcName = path.data();
  data.CmtBuf = comment;
  data.CmtBufSize = sizeof comment;
  RAR_HANDLE handle = api.openEx(&data);
  ASSERT_NE(handle, nullptr);
  auto record = std::make_unique<RARHeaderDataEx>();
  EXPECT_EQ(api.readEx(handle, record.get()), 0);
  EXPECT_STREQ(record->FileName, "a.txt");
  api.close(handle);
  EXPECT_EQ(data.Flags & ROADF_COMMENT, ROADF_COMMENT);
  EXPECT_EQ(data.CmtState, 1u);
  EXPECT_STREQ(comment, "made by an old archiver");
}

TEST_P(StandinTest, OpenFailuresGiveTheirCodes) {
  RAROpenArchiveDataEx data{};
  EXPECT_EQ(Open(dir / "missing.rar", RAR_OM_LIST, &data), nullptr);
  EXPECT_EQ(data.OpenResult, static_cast<unsigned>(ERAR_EOPEN));
  vvtest::WriteFile(dir / "text.rar", "this is no archive at all");
  EXPECT_EQ(Open(dir / "text.rar", RAR_OM_LIST, &data), nullptr);
  EXPECT_EQ(data.OpenResult, static_cast<unsigned>(ERAR_BAD_ARCHIVE));
}

TEST_P(StandinTest, ExtractsToFolderOrExactNameAndReportsData) {
  Item deep{"a/b/deep.txt", "deep content"};
  Item folder{"a/empty", ""};
  folder.folder = true;
  const std::string path = Write({deep, folder});
  const std::string out = dir / "out";
  EXPECT_EQ(ExtractAll(path, out), (std::vector<int>{0, 0}));
  EXPECT_EQ(ReadOrEmpty(out + "/a/b/deep.txt"), "deep content");
  struct stat st {};
  ASSERT_EQ(stat((out + "/a/empty").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(log.dataBytes, 12u);

  const std::string flat = dir / "flat";
  ExtractAll(path, flat, true);
  EXPECT_EQ(ReadOrEmpty(flat + "/a/b/deep.txt"), "deep content");
  ASSERT_EQ(stat((flat + "/a/b/deep.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, rar5() ? 1700000000 : platform::LocalDosToUnixTime(deep.dosTime));
}

TEST_P(StandinTest, NamesNeverEscapeTheDestination) {
  const std::string path = Write({{"../escape1.txt", "1"},
                                  {"/abs/escape2.txt", "2"},
                                  {"a/../../escape3.txt", "3"},
                                  {"C:\\escape4.txt", "4"},
                                  {"link/escape5.txt", "5"}});
  const std::string out = dir / "dest";
  ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
  ASSERT_EQ(mkdir((dir / "outside").c_str(), 0777), 0);
  ASSERT_EQ(symlink((dir / "outside").c_str(), (out + "/link").c_str()), 0);

  RAR_HANDLE handle = Open(path, RAR_OM_EXTRACT);
  ASSERT_NE(handle, nullptr);
  auto record = std::make_unique<RARHeaderDataEx>();
  std::vector<int> codes;
  while (api.readEx(handle, record.get()) == 0)
    codes.push_back(api.process(handle, RAR_EXTRACT, const_cast<char*>(out.c_str()), nullptr));
  api.close(handle);

  EXPECT_EQ(codes, (std::vector<int>{0, 0, 0, 0, ERAR_ECREATE}));
  EXPECT_EQ(ReadOrEmpty(out + "/escape1.txt"), "1");
  EXPECT_EQ(ReadOrEmpty(out + "/abs/escape2.txt"), "2");
  EXPECT_EQ(ReadOrEmpty(out + "/a/escape3.txt"), "3");
  EXPECT_EQ(ReadOrEmpty(out + "/escape4.txt"), "4");
  EXPECT_FALSE(Exists(dir / "escape1.txt"));
  EXPECT_FALSE(Exists(dir / "escape3.txt"));
  EXPECT_FALSE(Exists(dir / "outside/escape5.txt"));

  // An exact name that names a folder is refused.
  handle = Open(path, RAR_OM_EXTRACT);
  ASSERT_EQ(api.readEx(handle, record.get()), 0);
  std::string dots = out + "/..";
  EXPECT_EQ(api.process(handle, RAR_EXTRACT, nullptr, dots.data()), ERAR_ECREATE);
  api.close(handle);
}

TEST_P(StandinTest, DamagedStoredDataIsBadDataAndLeavesNoFile) {
  Item good{"good.txt", "good bytes"};
  Item bad{"bad.txt", "these bytes will be damaged"};
  bad.damageData = true;
  const std::string path = Write({good, bad});
  const std::string out = dir / "out";
  ASSERT_EQ(mkdir(out.c_str(), 0777), 0);
  vvtest::WriteFile(out + "/bad.txt", "user's own file");

  EXPECT_EQ(ExtractAll(path, out), (std::vector<int>{0, ERAR_BAD_DATA}));
  EXPECT_EQ(ReadOrEmpty(out + "/good.txt"), "good bytes");
  EXPECT_EQ(ReadOrEmpty(out + "/bad.txt"), "user's own file");

  RAR_HANDLE handle = Open(path, RAR_OM_EXTRACT);
  auto record = std::make_unique<RARHeaderDataEx>();
  ASSERT_EQ(api.readEx(handle, record.get()), 0);
  EXPECT_EQ(api.process(handle, RAR_TEST, nullptr, nullptr), 0);
  ASSERT_EQ(api.readEx(handle, record.get()), 0);
  EXPECT_EQ(api.process(handle, RAR_TEST, nullptr, nullptr), ERAR_BAD_DATA);
  api.close(handle);
}

TEST_P(StandinTest, BrokenHeadersAndTruncationAreBadDataMissingEndIsNot) {
  Item second{"second.txt", "2"};
  second.damageHeader = true;
  int end = 0;
  auto headers = List(Write({{"first.txt", "1"}, second}, {}, "crc"), RAR_OM_LIST, &end);
  EXPECT_EQ(headers.size(), 1u);
  EXPECT_EQ(end, ERAR_BAD_DATA);

  Options noEnd;
  noEnd.withEndBlock = false;
  headers = List(Write({{"only.txt", "x"}}, noEnd, "noend"), RAR_OM_LIST, &end);
  EXPECT_EQ(headers.size(), 1u);
  EXPECT_EQ(end, ERAR_END_ARCHIVE);

  const std::string path = Write({{"one.txt", "1"}, {"big.txt", std::string(500, 'b')}}, {}, "cut");
  std::string bytes = vvtest::ReadFile(path);
  vvtest::WriteFile(path, bytes.substr(0, bytes.size() - 300));
  headers = List(path, RAR_OM_LIST, &end);
  EXPECT_EQ(headers.size(), 1u);
  EXPECT_EQ(end, ERAR_BAD_DATA);
}

TEST_P(StandinTest, EncryptedEntriesAskForAPasswordThenFail) {
  Item secret{"secret.txt", "ciphertext"};
  secret.encrypted = true;
  const std::string path = Write({{"plain.txt", "plain"}, secret, {"after.txt", "after"}});
  auto headers = List(path);
  ASSERT_EQ(headers.size(), 3u);
  EXPECT_EQ(headers[1].flags & RHDF_ENCRYPTED, RHDF_ENCRYPTED);
  EXPECT_TRUE(log.messages.empty());  // listing never needs the password

  const std::string out = dir / "out";
  EXPECT_EQ(ExtractAll(path, out), (std::vector<int>{0, ERAR_MISSING_PASSWORD}));
  EXPECT_EQ(log.messages,
            (std::vector<unsigned>{UCM_PROCESSDATA, UCM_NEEDPASSWORDW, UCM_NEEDPASSWORD}));
  EXPECT_FALSE(Exists(out + "/secret.txt"));

  log = CallbackLog();
  log.password = "guess";
  EXPECT_EQ(ExtractAll(path, dir / "out2"), (std::vector<int>{0, ERAR_BAD_PASSWORD}));

  Options hidden;
  hidden.encryptedHeaders = true;
  log = CallbackLog();
  int end = 0;
  headers = List(Write({secret}, hidden, "hidden"), RAR_OM_LIST, &end);
  EXPECT_TRUE(headers.empty());
  EXPECT_EQ(end, ERAR_MISSING_PASSWORD);
  EXPECT_EQ(log.messages.back(), static_cast<unsigned>(UCM_NEEDPASSWORD));
}

TEST_P(StandinTest, CallbackAnsweringMinusOneStopsExtraction) {
  const std::string path = Write({{"a.txt", "abc"}, {"b.txt", "def"}});
  log.stopData = true;
  EXPECT_EQ(ExtractAll(path, dir / "out"), (std::vector<int>{ERAR_UNKNOWN}));
  EXPECT_FALSE(Exists(dir / "out/a.txt"));
}

TEST_P(StandinTest, LinksAreListedButNeverCreatedNorReportedMade) {
  Item link{"link", ""};
  link.linkTarget = "../../outside.txt";
  link.hostOS = 3;
  link.attributes = 0120777;
  const std::string out = dir / "out";
  EXPECT_EQ(ExtractAll(Write({{"target.txt", "t"}, link}), out),
            (std::vector<int>{0, ERAR_ECREATE}));
  EXPECT_FALSE(Exists(out + "/link"));
  EXPECT_EQ(ReadOrEmpty(out + "/target.txt"), "t");
}

TEST_P(StandinTest, VolumesAreJoinedAndAskedForWhenMissing) {
  Options options;
  options.volumeSize = 40;
  const std::string big(100, 'B');
  const std::vector<Item> items{{"big.bin", big}, {"small.txt", "s"}};
  const auto parts = SaveVolumes(rar5() ? WriteRar5(items, options) : WriteRar4(items, options),
                                 dir.path(), "set");
  ASSERT_EQ(parts.size(), 3u);

  auto headers = List(parts[0]);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0].flags & (RHDF_SPLITBEFORE | RHDF_SPLITAFTER), RHDF_SPLITAFTER);
  EXPECT_EQ(headers[0].unpSize, 100u);
  EXPECT_EQ(log.volumesOpened, (std::vector<std::string>{parts[1], parts[2]}));
  EXPECT_EQ(List(parts[0], RAR_OM_LIST_INCSPLIT).size(), 4u);

  const std::string out = dir / "out";
  EXPECT_EQ(ExtractAll(parts[0], out), (std::vector<int>{0, 0}));
  EXPECT_EQ(ReadOrEmpty(out + "/big.bin"), big);
  EXPECT_EQ(ReadOrEmpty(out + "/small.txt"), "s");

  // A renamed volume is asked for by its expected name, and the answer is used.
  ASSERT_EQ(rename(parts[1].c_str(), (dir / "moved.rar").c_str()), 0);
  log = CallbackLog();
  log.volumeAnswer = dir / "moved.rar";
  EXPECT_EQ(ExtractAll(parts[0], dir / "out2"), (std::vector<int>{0, 0}));
  EXPECT_EQ(log.volumesAsked, std::vector<std::string>{parts[1]});
  EXPECT_EQ(ReadOrEmpty(dir / "out2/big.bin"), big);

  log = CallbackLog();
  log.refuseVolume = true;
  EXPECT_EQ(ExtractAll(parts[0], dir / "out3"), (std::vector<int>{ERAR_EOPEN}));
  EXPECT_FALSE(Exists(dir / "out3/big.bin"));
}

// Every truncation and a run of byte flips: the library always ends, with a code, and writes
// nothing outside the destination.
TEST_P(StandinTest, DamagedArchivesAlwaysEnd) {
  Item folder{"d", ""};
  folder.folder = true;
  const std::string original =
      vvtest::ReadFile(Write({folder, {"d/a.txt", "alpha"}, {"../b.txt", "bravo"}}));
  const std::string path = dir / "damaged.rar";
  const std::string out = dir / "inside/out";
  auto attempt = [&](const std::string& bytes) {
    vvtest::WriteFile(path, bytes);
    for (unsigned mode : {RAR_OM_LIST, RAR_OM_LIST_INCSPLIT}) List(path, mode);
    ExtractAll(path, out);
  };
  for (size_t length = 0; length < original.size(); ++length) attempt(original.substr(0, length));
  uint32_t seed = 12345;
  for (int round = 0; round < 300; ++round) {
    std::string bytes = original;
    for (int flips = 0; flips < 3; ++flips) {
      seed = seed * 1103515245 + 12345;
      bytes[(seed >> 8) % bytes.size()] ^= static_cast<char>(1 + (seed >> 20) % 255);
    }
    attempt(bytes);
  }
  EXPECT_FALSE(Exists(dir / "inside/b.txt"));
  EXPECT_FALSE(Exists(dir / "b.txt"));
}

INSTANTIATE_TEST_SUITE_P(Formats, StandinTest, ::testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "Rar5" : "Rar4"; });

// Where the real library is the reference: the same answers from the stand-in and, when the
// system has it, from the real library itself.
class BothLibraries : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    const std::string path = GetParam() ? SystemUnrarPath() : StandinPath();
    if (path.empty()) GTEST_SKIP() << "the real UnRAR library is not installed";
    api = std::make_unique<UnrarApi>(path);
    ASSERT_TRUE(api->complete()) << path;
  }

  struct Listing {
    bool opened = false;
    unsigned flags = 0, commentState = 0;
    std::string comment;
    std::vector<std::string> names;
    std::vector<unsigned> hosts, unpSizeHigh;
    int end = 0;
  };

  // Writes the bytes to a file of their own and opens it.
  RAR_HANDLE Open(const std::string& bytes, unsigned mode, RAROpenArchiveDataEx& data) {
    std::string path = dir / ("a" + std::to_string(++serial) + ".rar");
    vvtest::WriteFile(path, bytes);
    data = RAROpenArchiveDataEx{};
    data.ArcName = path.data();
    data.OpenMode = mode;
    data.CmtBuf = comment;
    data.CmtBufSize = sizeof comment;
    return api->openEx(&data);
  }

  Listing List(const std::string& bytes) {
    Listing listing;
    RAROpenArchiveDataEx data;
    RAR_HANDLE handle = Open(bytes, RAR_OM_LIST, data);
    listing.opened = handle != nullptr;
    if (!handle) return listing;
    listing.flags = data.Flags;
    listing.commentState = data.CmtState;
    listing.comment = comment;
    auto record = std::make_unique<RARHeaderDataEx>();
    while ((listing.end = api->readEx(handle, record.get())) == 0) {
      listing.names.push_back(record->FileName);
      listing.hosts.push_back(record->HostOS);
      listing.unpSizeHigh.push_back(record->UnpSizeHigh);
      if (api->process(handle, RAR_SKIP, nullptr, nullptr) != 0) break;
    }
    api->close(handle);
    return listing;
  }

  std::unique_ptr<UnrarApi> api;
  vvtest::TempDir dir;
  int serial = 0;
  char comment[64] = {};
};

// The high halves of the packed and the unpacked size follow the fixed fields; mixing them up
// puts the next header 4 GiB away.
TEST_P(BothLibraries, LargeFileHeaderKeepsTheWalkInStep) {
  Item big{"big.bin", "abc"};
  big.highUnpSize = 1;
  const Listing listing = List(WriteRar4({big, {"next.txt", "n"}})[0]);
  EXPECT_TRUE(listing.opened);
  EXPECT_EQ(listing.names, (std::vector<std::string>{"big.bin", "next.txt"}));
  EXPECT_EQ(listing.unpSizeHigh, (std::vector<unsigned>{1, 0}));
  EXPECT_EQ(listing.end, ERAR_END_ARCHIVE);
}

TEST_P(BothLibraries, HostSystemsAreWindowsOrUnix) {
  // RAR 4: DOS, OS/2, Windows, Unix, Mac OS, BeOS and an unknown host.
  std::vector<Item> items;
  for (unsigned host = 0; host <= 6; ++host) {
    items.push_back({"h" + std::to_string(host), "x"});
    items.back().hostOS = host;
  }
  EXPECT_EQ(List(WriteRar4(items)[0]).hosts, (std::vector<unsigned>{2, 2, 2, 3, 2, 3, 3}));
  Item windows{"w", "x"}, unix{"u", "x"};
  unix.hostOS = 3;
  EXPECT_EQ(List(WriteRar5({windows, unix})[0]).hosts, (std::vector<unsigned>{2, 3}));
}

TEST_P(BothLibraries, Rar5EndBlockCutShortEndsTheListingNormally) {
  const std::string whole = WriteRar5({{"a.txt", "a"}, {"b.txt", "b"}})[0];
  for (size_t cut = 1; cut <= 7; ++cut) {
    SCOPED_TRACE(cut);
    const Listing listing = List(whole.substr(0, whole.size() - cut));
    EXPECT_TRUE(listing.opened);
    EXPECT_EQ(listing.names.size(), 2u);
    EXPECT_EQ(listing.end, ERAR_END_ARCHIVE);
  }
}

TEST_P(BothLibraries, DamagedMainHeaderOpensAndFailsAtTheFirstRead) {
  std::string rar4 = WriteRar4({{"a.txt", "a"}})[0];
  rar4[7 + 2] ^= 0x10;  // the block type
  std::string rar5 = WriteRar5({{"a.txt", "a"}})[0];
  rar5[8 + 4 + 1] = '\x09';
  for (const std::string& bytes : {rar4, rar5}) {
    const Listing listing = List(bytes);
    EXPECT_TRUE(listing.opened);
    EXPECT_TRUE(listing.names.empty());
    EXPECT_EQ(listing.end, ERAR_BAD_DATA);
  }
}

TEST_P(BothLibraries, ArchiveCommentFromItsServiceBlock) {
  Options options;
  options.comment = "Map pack v2";
  for (bool rar5 : {false, true}) {
    SCOPED_TRACE(rar5);
    const Listing listing = List(rar5 ? WriteRar5({{"a.txt", "a"}}, options)[0]
                                      : WriteRar4({{"a.txt", "a"}}, options)[0]);
    EXPECT_EQ(listing.flags & ROADF_COMMENT, ROADF_COMMENT);
    EXPECT_EQ(listing.commentState, 1u);
    EXPECT_EQ(listing.comment, "Map pack v2");
  }
}

std::vector<std::pair<unsigned, RAR_LPARAM>> passwordQuestions;

int VV_RAR_CALL RecordPasswordQuestion(unsigned msg, RAR_LPARAM, RAR_LPARAM, RAR_LPARAM size) {
  if (msg == UCM_NEEDPASSWORD || msg == UCM_NEEDPASSWORDW)
    passwordQuestions.emplace_back(msg, size);
  return 0;
}

TEST_P(BothLibraries, PasswordBufferHolds512Characters) {
  Item secret{"secret.txt", std::string(64, 's')};
  secret.encrypted = true;
  RAROpenArchiveDataEx data;
  RAR_HANDLE handle = Open(WriteRar5({secret})[0], RAR_OM_EXTRACT, data);
  ASSERT_NE(handle, nullptr);
  passwordQuestions.clear();
  api->setCallback(handle, &RecordPasswordQuestion, 0);
  auto record = std::make_unique<RARHeaderDataEx>();
  ASSERT_EQ(api->readEx(handle, record.get()), 0);
  std::string out = dir / "out";
  EXPECT_NE(api->process(handle, RAR_EXTRACT, out.data(), nullptr), 0);
  api->close(handle);
  EXPECT_EQ(passwordQuestions, (std::vector<std::pair<unsigned, RAR_LPARAM>>{
                                   {UCM_NEEDPASSWORDW, 512}, {UCM_NEEDPASSWORD, 512}}));
}

int VV_RAR_CALL CancelData(unsigned char*, int) {
  return 0;
}

// The old-style data callback cancels with 0 (and -1), unlike the newer callback.
TEST_P(BothLibraries, OldDataCallbackAnsweringZeroCancels) {
  RAROpenArchiveDataEx data;
  RAR_HANDLE handle = Open(WriteRar4({{"a.txt", "abc"}})[0], RAR_OM_EXTRACT, data);
  ASSERT_NE(handle, nullptr);
  api->setProcessDataProc(handle, &CancelData);
  auto record = std::make_unique<RARHeaderDataEx>();
  ASSERT_EQ(api->readEx(handle, record.get()), 0);
  std::string out = dir / "out";
  EXPECT_EQ(api->process(handle, RAR_EXTRACT, out.data(), nullptr), ERAR_UNKNOWN);
  api->close(handle);
  EXPECT_EQ(ReadOrEmpty(out + "/a.txt"), "");
}

INSTANTIATE_TEST_SUITE_P(Libraries, BothLibraries, ::testing::Values(false, true),
                         [](const auto& instance) { return instance.param ? "Real" : "Standin"; });

TEST(StandinVolumes, OldNumberingAndTheDllVersion) {
  UnrarApi api(StandinPath());
  ASSERT_TRUE(api.complete());
  EXPECT_EQ(api.version(), 8);
  vvtest::TempDir dir;
  Options options;
  options.volumeSize = 10;
  options.oldNumbering = true;
  const auto parts =
      SaveVolumes(WriteRar4({{"f.txt", std::string(25, 'f')}}, options), dir.path(), "old", true);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[2], dir / "old.r01");
  RAROpenArchiveDataEx data{};
  std::string name = parts[0];
  data.ArcName = name.data();
  data.OpenMode = RAR_OM_EXTRACT;
  RAR_HANDLE handle = api.openEx(&data);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(data.Flags & (ROADF_VOLUME | ROADF_NEWNUMBERING), ROADF_VOLUME);
  auto record = std::make_unique<RARHeaderDataEx>();
  ASSERT_EQ(api.readEx(handle, record.get()), 0);
  std::string target = dir / "f.txt";
  EXPECT_EQ(api.process(handle, RAR_EXTRACT, nullptr, target.data()), 0);
  EXPECT_EQ(api.readEx(handle, record.get()), ERAR_END_ARCHIVE);
  api.close(handle);
  EXPECT_EQ(ReadOrEmpty(target), std::string(25, 'f'));
}

}  // namespace
}  // namespace rartest
