#pragma once
// Writing extracted entries. Files are written under a temporary name and renamed into place
// only when complete and verified, so a damaged entry never leaves a half-written file or
// replaces a good one. Below a destination folder every component of an entry's name is opened
// without following symbolic links, and '..', empty and drive components are dropped: nothing
// is ever created outside the destination.
#include <cstddef>
#include <string>
#include <vector>

#include "RarBlocks.h"

namespace unrar_standin {

// The entry name's components that are safe to create below a folder.
std::vector<std::string> SafeComponents(const std::string& name);

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // 0 or ERAR_ECREATE.
  int OpenBeneath(const std::string& folder, const std::string& entryName);
  int OpenExact(const std::string& path);
  // 0 or ERAR_EWRITE.
  int Write(const void* data, size_t size);
  // Moves the finished file into place with the entry's time; 0 or ERAR_ECREATE.
  int Commit(const FileEntry& entry);
  void Discard();

 private:
  int OpenTemporary(int dirFd, const std::string& finalName);

  int dirFd_ = -1;
  int fd_ = -1;
  std::string tempName_;
  std::string finalName_;
};

// 0 or ERAR_ECREATE.
int CreateFolderBeneath(const std::string& folder, const std::string& entryName);
int CreateFolderExact(const std::string& path);

}  // namespace unrar_standin
