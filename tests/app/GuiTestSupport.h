#pragma once
// What the window tests share: one QApplication for the whole test run, a program folder with
// archive.exe and the stand-in libraries beside it, and small package and image writers.
#include <archive.h>
#include <archive_entry.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <map>
#include <string>

#include "TestSupport.h"
#include "platform/Paths.h"

namespace guitest {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "gui-tests";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }
  void TearDown() override { delete app_; }

 private:
  QApplication* app_ = nullptr;
};

// Lets the window system deliver what it queued (show, activation, paint) for a moment.
inline void Settle(int ms = 50) {
  QElapsedTimer timer;
  timer.start();
  do QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  while (timer.elapsed() < ms);
}

// A private program folder: archive.exe and the two stand-in libraries copied from the build's
// program folder (archive.exe left out on request), made the program's folder for the test.
class ProgramFolder {
 public:
  explicit ProgramFolder(bool withArchiver = true) {
    namespace fs = std::filesystem;
    for (const char* name : {"archive.exe", "libUnzDll-standin.so", "libunrar-standin.so"}) {
      if (!withArchiver && std::string(name) == "archive.exe") continue;
      const fs::path from = fs::path(vvtest::ProgramDir()) / name;
      if (fs::exists(from)) fs::copy_file(from, fs::path(dir_.path()) / name);
    }
    previousCurrent_ = platform::CurrentFolder();
    platform::SetProgramFolder(dir_.path());
  }
  ~ProgramFolder() {
    platform::SetProgramFolder("");
    platform::SetCurrentFolder(previousCurrent_);
  }
  const std::string& path() const { return dir_.path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  vvtest::TempDir dir_;
  std::string previousCurrent_;
};

// A ZIP package holding the given files (name -> bytes), written with libarchive.
inline void WriteZip(const std::string& path, const std::map<std::string, std::string>& files) {
  struct archive* a = archive_write_new();
  archive_write_set_format_zip(a);
  if (archive_write_open_filename(a, path.c_str()) != ARCHIVE_OK)
    throw std::runtime_error("cannot write " + path);
  for (const auto& [name, bytes] : files) {
    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_write_header(a, entry);
    archive_write_data(a, bytes.data(), bytes.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

// An uncompressed 24-bit TGA of the given size, bottom-up rows, one colour.
inline std::string Tga(int width, int height, unsigned char r = 200, unsigned char g = 120,
                       unsigned char b = 40) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = static_cast<char>(width & 0xFF);
  bytes[13] = static_cast<char>(width >> 8);
  bytes[14] = static_cast<char>(height & 0xFF);
  bytes[15] = static_cast<char>(height >> 8);
  bytes[16] = 24;
  for (int i = 0; i < width * height; ++i) {
    bytes += static_cast<char>(b);
    bytes += static_cast<char>(g);
    bytes += static_cast<char>(r);
  }
  return bytes;
}

}  // namespace guitest
