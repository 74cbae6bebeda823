#pragma once
// The little the archiver needs from the file system, for POSIX (IoPosix.cpp) and for Windows
// (IoWindows.cpp). Paths and names are UTF-8 on both; the Windows side converts at its calls.
// Nothing here follows a link where a link could lead out of a folder.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vka::io {

struct Handle;  // an open file or folder of the platform

// A file read from start to end or at given offsets.
class Input {
 public:
  Input();
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;
  // A regular file; with noLink, not a link itself.
  bool Open(const std::string& path, bool noLink);
  // Bytes read (0 at the end), -1 on error.
  long long Read(void* data, size_t size);
  bool ReadAt(void* data, size_t size, uint64_t offset);
  uint64_t Size() const;

 private:
  std::unique_ptr<Handle> handle_;
};

class Folder;

// A file being written: a temporary beside its final name, or a new file in a folder.
class Output {
 public:
  Output();
  ~Output();  // an unfinished temporary is removed
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  // The temporary is finalPath + kPartSuffix, made exclusively and held (locked) by this run
  // until it is published or removed; it starts with unfinished, the bytes no finished file
  // begins with. What a killed run left under that name is removed first, but only when it is
  // recognisably such a leftover: a regular file of ours (no link, one name), that no other run
  // holds, starting with unfinished. Anything else there is kept and the call fails, with the
  // reason in why.
  bool CreateTemporaryFor(const std::string& finalPath, const std::string& unfinished,
                          std::string& why);
  // A new file in folder; false with exists set when the name is taken (a link included).
  bool CreateIn(const Folder& folder, const std::string& name, bool& exists);
  bool Write(const void* data, size_t size);
  bool WriteAt(const void* data, size_t size, uint64_t offset);
  bool Close();
  // Gives the closed temporary its final name, never replacing a file that is there.
  bool Publish();
  // Removes the file written (after Close).
  void Discard();

 private:
  std::unique_ptr<Handle> handle_;
  std::unique_ptr<Handle> hold_;  // keeps the temporary locked after Close, until Publish
  std::string path_, final_;
  bool temporary_ = false;
};

inline constexpr char kPartSuffix[] = ".part";

// An open folder that files and folders are made in without following links.
class Folder {
 public:
  Folder();
  ~Folder();
  Folder(Folder&&) noexcept;
  Folder& operator=(Folder&&) noexcept;
  // Opens path as the base folder, creating it (one level) when missing.
  bool OpenOrCreate(const std::string& path);
  // Opens (creating as needed) the folders of a '/'-separated relative path below this one, none
  // through a link; leaves the last component in name.
  bool OpenParent(const std::string& relative, Folder& parent, std::string& name) const;

 private:
  friend class Output;
  std::unique_ptr<Handle> handle_;
  std::string path_;
};

// Bytes an unprivileged writer may still put on the drive that holds folder; UINT64_MAX when it
// cannot be told.
uint64_t FreeBytes(const std::string& folder);
// Whether anything (a link included) has that name.
bool Exists(const std::string& path);
// The folder's full path with links resolved; empty when it is no folder.
std::string FolderPath(const std::string& path);
// The path of a listed file relative to a folder from FolderPath, '/'-separated, its folders'
// links resolved; empty when it lies outside or its name is empty, "." or "..".
std::string RelativeTo(const std::string& folder, const std::string& file);
// A line of the TOC script as UTF-8 (the Windows build reads it in the ANSI code page).
std::string ScriptText(const std::string& line);

}  // namespace vka::io
