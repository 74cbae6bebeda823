#pragma once
// First/next/close enumeration of one folder with Windows wildcard rules: '*' any run, '?' one
// character, "*.*" every name, case-insensitive. Every entry is returned, "." and ".." included;
// filtering by attribute is the caller's job. On POSIX a name beginning with '.' (other than
// "." and "..") is hidden; nothing is system or volume label.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace platform {

inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

// Error codes as the Windows find functions report them.
inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorPathNotFound = 3;
inline constexpr int kErrorNoMoreFiles = 18;

struct FindData {
  uint32_t attributes = 0;
  uint64_t size = 0;
  std::time_t lastWrite = 0;
  std::string name;  // without folder part
};

using FindHandle = intptr_t;
inline constexpr FindHandle kInvalidFindHandle = -1;

// pattern is folder + separator + mask. Returns kInvalidFindHandle when nothing matches or the
// folder does not exist (LastFindError() tells which).
FindHandle FindFirstFile(const std::string& pattern, FindData& data);
bool FindNextFile(FindHandle handle, FindData& data);  // false at the end (kErrorNoMoreFiles)
void FindClose(FindHandle handle);
int LastFindError();

bool MatchesMask(std::string_view name, std::string_view mask);

}  // namespace platform
