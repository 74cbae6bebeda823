#pragma once
// Shared by the RAR tests: the stand-in library's entry points bound by name, a header walk
// through them, and small file helpers.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "TestSupport.h"
#include "archives/RAR_DLL.h"
#include "platform/Library.h"

namespace rartest {

inline std::string StandinPath() {
  return vvtest::ProgramDir() + "/libunrar-standin.so";
}

// The real library, when the system has one (Debian's non-free libunrar5).
inline std::string SystemUnrarPath() {
  for (const char* path : {"/usr/lib/x86_64-linux-gnu/libunrar.so.5",
                           "/usr/lib/x86_64-linux-gnu/libunrar.so", "/usr/lib/libunrar.so"}) {
    struct stat st {};
    if (stat(path, &st) == 0) return path;
  }
  return {};
}

struct UnrarApi {
  explicit UnrarApi(const std::string& path) : handle(platform::LoadLibrary(path)) {
    if (!handle) return;
    Bind(openEx, "RAROpenArchiveEx");
    Bind(open, "RAROpenArchive");
    Bind(close, "RARCloseArchive");
    Bind(readEx, "RARReadHeaderEx");
    Bind(read, "RARReadHeader");
    Bind(process, "RARProcessFile");
    Bind(setCallback, "RARSetCallback");
    Bind(setPassword, "RARSetPassword");
    Bind(setChangeVolProc, "RARSetChangeVolProc");
    Bind(setProcessDataProc, "RARSetProcessDataProc");
    Bind(version, "RARGetDllVersion");
  }
  ~UnrarApi() { platform::FreeLibrary(handle); }
  template <typename F>
  void Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(platform::GetProcAddress(handle, name));
  }
  bool complete() const {
    return handle && openEx && open && close && readEx && read && process && setCallback &&
           setPassword && setChangeVolProc && setProcessDataProc && version;
  }

  platform::LibraryHandle handle;
  TRAROpenArchiveEx openEx = nullptr;
  TRAROpenArchive open = nullptr;
  TRARCloseArchive close = nullptr;
  TRARReadHeaderEx readEx = nullptr;
  TRARReadHeader read = nullptr;
  TRARProcessFile process = nullptr;
  TRARSetCallback setCallback = nullptr;
  TRARSetPassword setPassword = nullptr;
  TRARSetChangeVolProc setChangeVolProc = nullptr;
  TRARSetProcessDataProc setProcessDataProc = nullptr;
  TRARGetDllVersion version = nullptr;
};

// One header as the tests look at it.
struct Header {
  std::string name;
  std::wstring nameW;
  unsigned flags, packSize, unpSize, hostOS, crc, fileTime, unpVer, method, attributes;
};

inline Header ToHeader(const RARHeaderDataEx& h) {
  return {h.FileName, h.FileNameW, h.Flags,  h.PackSize, h.UnpSize, h.HostOS,
          h.FileCRC,  h.FileTime,  h.UnpVer, h.Method,   h.FileAttr};
}

inline std::string ReadOrEmpty(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return vvtest::ReadFile(path);
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

inline constexpr const char* kFolderMark = "<folder>";
inline constexpr const char* kSpecialMark = "<link or special file>";

// Everything under folder by relative path, links never followed: a file's bytes, kFolderMark
// for a folder, kSpecialMark for anything else. The relative path skip is left out.
inline void CollectContents(const std::string& folder, const std::string& prefix,
                            const std::string& skip, std::map<std::string, std::string>& out) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || prefix + name == skip) continue;
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      out[prefix + name] = kFolderMark;
      CollectContents(path, prefix + name + "/", skip, out);
    } else {
      out[prefix + name] = S_ISREG(st.st_mode) ? vvtest::ReadFile(path) : kSpecialMark;
    }
  }
  closedir(dir);
}

inline std::map<std::string, std::string> FolderContents(const std::string& folder,
                                                         const std::string& skip = {}) {
  std::map<std::string, std::string> out;
  CollectContents(folder, "", skip, out);
  return out;
}

inline std::string WriteArchive(const std::string& folder, const std::string& base, bool rar5,
                                const std::vector<Item>& items, const Options& options = {}) {
  const auto volumes = rar5 ? WriteRar5(items, options) : WriteRar4(items, options);
  return SaveVolumes(volumes, folder, base, options.oldNumbering).front();
}

}  // namespace rartest
