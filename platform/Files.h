#pragma once
// File and folder operations with the behaviour the workflow relies on. Every path argument is
// resolved case-insensitively (see Paths.h); none of these raise.
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/UniqueFd.h"

namespace platform {

bool FileExists(const std::string& path);       // a regular file (after following links)
bool DirectoryExists(const std::string& path);  // a folder
bool CreateDir(const std::string& path);        // one level; false when it exists or fails
bool RemoveDir(const std::string& path);        // an empty folder
bool DeleteFile(const std::string& path);       // a file (or a link itself)
// Moves a file or folder. Never overwrites: fails when the destination exists. Across file
// systems a file is copied, then the source deleted. The destination's last component keeps the
// spelling given, so a move can change a name's case.
bool MoveFile(const std::string& source, const std::string& destination);
// Deletes a folder and everything under it. Symbolic links are removed, never followed.
bool DeleteTree(const std::string& path);
// Removes whatever stands under the name, in every spelling that matches it ignoring case: a
// file, a symbolic link (the link itself) or a whole folder tree. True when nothing of that
// name is left.
bool RemoveAnyEntry(const std::string& path);
// Moves the regular files and folders under source into destination (created when missing),
// replacing files of the same name there and keeping the others. Symbolic links and special
// files under source are not moved, and no link under source is followed. No link at or under
// destination is followed either: when a folder there is a link or no folder, nothing is moved
// and blocked (when given) names it. False when anything could not be moved.
bool MergeTree(const std::string& source, const std::string& destination,
               std::string* blocked = nullptr);

int64_t FileSize(const std::string& path);  // -1 when missing
// Last-write time as a local DOS date/time (date in the high 16 bits); -1 when missing.
int32_t FileAgeDos(const std::string& path);
uint32_t UnixTimeToLocalDos(std::time_t t);
std::time_t LocalDosToUnixTime(uint32_t dos);

// Whether the file starts with the "MZ" header of a DOS/Windows executable.
bool IsDosExecutable(const std::string& path);

// Creates a file that must not exist yet with the given contents; false when something stands
// under the name already (nothing is overwritten) or it cannot be written.
bool WriteNewFile(const std::string& path, const std::string& contents);

// What stands under exactly this name: no case-insensitive lookup, and a symbolic link is not
// followed (it counts as Other). None when nothing is there or it cannot be looked at.
enum class EntryType { None, File, Folder, Other };
EntryType EntryTypeOf(const std::string& exactPath);

// A file opened for reading, with random access; closed when it goes.
class ReadOnlyFile {
 public:
  // Opens path (closing what was open); false with errno set when it cannot be opened.
  bool Open(const std::string& path);
  void Close() { fd_.reset(); }
  int64_t Size() const;  // -1 when not open or unknown
  bool Seek(int64_t position);
  // Reads up to count bytes from the current position; the number read, short only at the end
  // of the file or on an error.
  size_t Read(void* buffer, size_t count);

 private:
  UniqueFd fd_;
};

}  // namespace platform
