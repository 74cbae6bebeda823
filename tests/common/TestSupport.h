#pragma once
// Helpers shared by the test executables: private temporary folders, byte-exact file access, the
// locations of the program folder and the public test corpora, a private program folder with the
// stand-ins, and programs run as a user runs them.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace vvtest {

// A fresh folder under the system's temporary folder, deleted with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vvtest-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() { platform::DeleteTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The build's program folder: executables, archive.exe and the stand-in libraries.
inline std::string ProgramDir() {
  return VV_PROGRAM_DIR;
}

// The public test corpora (TGA, ZIP, RAR files we did not write); may be absent.
inline std::string TestDataDir() {
  return VV_TESTDATA_DIR;
}

enum class Install { Copy, Link };

// Puts archive.exe (unless withArchiver is false) and the two stand-in libraries from the build's
// program folder into folder, as copies or as links; what the build lacks is left out.
void InstallStandins(const std::string& folder, Install how, bool withArchiver = true);

// A folder with the stand-ins made the program's folder for one scope; the current folder is
// restored afterwards too.
class ScopedProgramFolder {
 public:
  ScopedProgramFolder(const std::string& folder, Install how, bool withArchiver = true);
  ~ScopedProgramFolder();
  ScopedProgramFolder(const ScopedProgramFolder&) = delete;
  ScopedProgramFolder& operator=(const ScopedProgramFolder&) = delete;

 private:
  std::string previousCurrent_;
};

// Runs a program with arguments in folder and returns its exit code (-1 when it could not start
// or did not exit); standard output goes to outputFile when one is given.
int RunProgram(const std::vector<std::string>& argv, const std::string& folder,
               const std::string& outputFile = "");

// Every regular file and link under folder (sub: below that part of it), as sorted relative
// paths; links are not followed.
std::vector<std::string> Tree(const std::string& folder, const std::string& sub = "");

// Sets an environment variable, or removes it (nullptr), for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

#define VV_SKIP_WITHOUT_TESTDATA(sub)                                                              \
  do {                                                                                             \
    if (!platform::DirectoryExists(vvtest::TestDataDir() + "/" + (sub)))                           \
      GTEST_SKIP() << "public test corpus not present: " << vvtest::TestDataDir() << "/" << (sub); \
  } while (0)

}  // namespace vvtest
