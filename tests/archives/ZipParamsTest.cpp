// The parameter block TZip hands the unzip library, seen by a fake library that records it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "FakeUnzDll.h"
#include "TestSupport.h"
#include "ZipWriter.h"
#include "archives/Zip.h"
#include "archives/ZipDlls.h"
#include "platform/Paths.h"

namespace {

class ZipParams : public ::testing::Test {
 protected:
  void SetUp() override {
    ZipDlls::UnloadUnzipLibrary();
    previous = platform::CurrentFolder();
    // Held open by the test as well, so the recording outlives TZip's unloading.
    fake = dlopen((std::string(VV_FAKE_UNZDLL_DIR) + "/UnzDll.dll").c_str(), RTLD_NOW);
    ASSERT_NE(fake, nullptr) << dlerror();
    setVersion = reinterpret_cast<void (*)(uint32_t)>(dlsym(fake, "FakeSetVersion"));
    lastCall = reinterpret_cast<const FakeRecord* (*)()>(dlsym(fake, "FakeLastCall"));
    setVersion(kUnzipParamsVersion);
    vvtest::WriteFile(dir / "a.zip", ziptest::BuildZip({ziptest::FileEntry("x.txt", "x")}));
    zip.SetDllDirectory(VV_FAKE_UNZDLL_DIR);
    zip.SetShowProgressDialog(false);
    zip.SetExtractDir(dir.path());
    zip.SetZipFileName(dir / "a.zip");
  }
  void TearDown() override {
    ZipDlls::UnloadUnzipLibrary();
    if (fake) dlclose(fake);
    platform::SetCurrentFolder(previous);
  }
  const UnzipParams& Run(TZip::TExtractOptions options) {
    zip.SetExtractOptions(options);
    EXPECT_EQ(zip.Extract(), 42);
    return lastCall()->params;
  }

  vvtest::TempDir dir;
  std::string previous;
  void* fake = nullptr;
  void (*setVersion)(uint32_t) = nullptr;
  const FakeRecord* (*lastCall)() = nullptr;
  TZip zip;
};

TEST_F(ZipParams, DefaultBlock) {
  zip.FileSpecs() = {"*.vkb", "x.txt"};
  const UnzipParams& p = Run(TZip::TExtractOptions(1));
  EXPECT_EQ(p.value0, 0);
  EXPECT_EQ(p.caller, &zip);
  EXPECT_EQ(p.version, 160);
  EXPECT_EQ(p.callback, &TZip::UnzipCallback);
  EXPECT_EQ(p.password, nullptr);
  for (int32_t flag :
       {p.flag16, p.flag20, p.flag28, p.flag32, p.flag36, p.flag44, p.flag52, p.flag56, p.flag60})
    EXPECT_EQ(flag, 0);
  EXPECT_EQ(p.flag40, -1);
  EXPECT_EQ(p.flag48, -1);
  EXPECT_EQ(p.fileSpecCount, 2);
  EXPECT_EQ(lastCall()->specs, (std::vector<std::string>{"*.vkb", "x.txt"}));
  EXPECT_EQ(lastCall()->archive, dir / "a.zip");
  EXPECT_EQ(lastCall()->folder, dir.path() + "/");
  EXPECT_EQ(p.value104, 3);
  EXPECT_EQ(p.value144, 7);
  for (uint8_t byte : p.reserved76) EXPECT_EQ(byte, 0);
  for (uint8_t byte : p.reserved112) EXPECT_EQ(byte, 0);
  EXPECT_TRUE(zip.FileSpecs().empty());

  EXPECT_EQ(Run(TZip::TExtractOptions(1)).fileSpecs, nullptr);
  zip.SetPassword("secret");
  Run(TZip::TExtractOptions(1));
  EXPECT_EQ(lastCall()->password, "secret");
}

TEST_F(ZipParams, OptionFlags) {
  struct Case {
    unsigned bits;
    int32_t f28, f48, f52, f56, f60;
  };
  for (const Case& c :
       {Case{0b00000, 0, 0, 0, 0, -1}, Case{0b00011, 0, -1, 0, 0, 0}, Case{0b00010, 0, 0, -1, 0, 0},
        Case{0b00100, -1, 0, 0, 0, 0}, Case{0b00101, 0, -1, 0, 0, 0},
        Case{0b10000, 0, 0, 0, -1, -1}, Case{0b01000, 0, 0, 0, 0, -1}}) {
    const UnzipParams& p = Run(TZip::TExtractOptions(c.bits));
    EXPECT_EQ(p.flag28, c.f28) << c.bits;
    EXPECT_EQ(p.flag48, c.f48) << c.bits;
    EXPECT_EQ(p.flag52, c.f52) << c.bits;
    EXPECT_EQ(p.flag56, c.f56) << c.bits;
    EXPECT_EQ(p.flag60, c.f60) << c.bits;
    EXPECT_EQ(p.flag40, -1);
  }
}

TEST_F(ZipParams, OldLibraryIsRefused) {
  setVersion(159);
  try {
    zip.Extract();
    FAIL() << "no exception";
  } catch (const ZipException& e) {
    EXPECT_STREQ(e.what(), "Error - invalid version of ZipDll.dll or UnzDll.dll");
  }
  EXPECT_FALSE(ZipDlls::UnzipLibraryLoaded());
  EXPECT_EQ(lastCall()->calls, 0);
}

}  // namespace
