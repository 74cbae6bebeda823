#pragma once
// What the window tests share: one QApplication for the whole test run, a program folder with
// archive.exe and the stand-in libraries beside it, and the package and image writers.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <map>
#include <string>

#include "TestSupport.h"
#include "TgaTestWriter.h"
#include "ZipWriter.h"
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
  explicit ProgramFolder(bool withArchiver = true)
      : use_(dir_.path(), vvtest::Install::Copy, withArchiver) {}
  const std::string& path() const { return dir_.path(); }
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  vvtest::TempDir dir_;
  vvtest::ScopedProgramFolder use_;
};

// A ZIP package holding the given files in the order of their names.
inline void WriteZip(const std::string& path, const std::map<std::string, std::string>& files) {
  ziptest::WriteZip(path, ziptest::Files(files.begin(), files.end()));
}

}  // namespace guitest
