#pragma once
// What TRAR decides about one entry on its own, whichever library reads the archive: the name it
// may be written under, where a link of the package points, and why an entry was left out.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archives/RAR_DLL.h"

namespace rar_entries {

// What a header record says of its entry, whichever library filled it.
bool IsFolderEntry(const RARHeaderDataEx& header);
// Links of every kind (symbolic, hard, junctions, file copies) and special files.
bool IsLinkOrSpecial(const RARHeaderDataEx& header);
bool IsLink(const RARHeaderDataEx& header);
std::string NarrowName(const RARHeaderDataEx& header);
std::wstring WideName(const RARHeaderDataEx& header);
std::wstring RedirName(const RARHeaderDataEx& header);

// The program's 8-bit names are UTF-8.
std::string WideToUtf8(const std::wstring& wide);
// The part after the last separator or drive colon.
std::string BareName(const std::string& name);
bool NameSelected(const std::string& name, const std::vector<std::string>* selection);
// Whether writing name below folder would go through what is not ours to write through: an
// existing link or special file in its place, or something other than a real folder where a
// folder of its path must be.
bool WritesThroughForeignEntry(const std::string& folder, const std::string& name,
                               bool folderEntry);
// The spelling of the file that name (a bare name) already names in folder, ignoring case;
// name itself when there is none.
std::string ExistingSpelling(const std::string& folder, const std::string& name);

// The stored name with '/' separators, without empty, "." and drive components; empty when a
// ".." component (or nothing but separators) leaves no safe name.
std::string CleanName(const std::string& stored);

// The package name a link entry stands for: a hard link or file copy names its target from the
// archive's root, a symbolic link from its own folder. Empty when the target is absolute or
// leaves the package.
std::string LinkTarget(const std::string& cleanLinkName, const std::string& target,
                       unsigned redirType);

// Whether TRAR writes this redirection as a copy of its target's bytes (symbolic links, hard
// links and file copies; never junctions).
bool CopiedLink(unsigned redirType);

// The reason an entry the library failed on was left out; errnoValue is the error seen while
// it was written.
std::string FailureReason(int32_t code, bool encrypted, int errnoValue);

// Copies the regular file source to destination (replaced when it is a regular file) without
// following a link at either end. False when it could not be done.
bool CopyRegularFile(const std::string& source, const std::string& destination);

// Which entry's bytes each file written holds: a later entry of the same name replaces an
// earlier one, and a link is copied only while its place is still its own.
class WrittenFiles {
 public:
  void Wrote(const std::string& name, const std::string& path, bool regular) {
    owner_[path] = name;
    if (regular) fileOf_[name] = path;
  }
  bool Holds(const std::string& path, const std::string& name) const {
    const auto it = owner_.find(path);
    return it != owner_.end() && it->second == name;
  }
  // The file holding the bytes of the regular entry name; empty when none does.
  std::string FileOf(const std::string& name) const {
    const auto it = fileOf_.find(name);
    return it != fileOf_.end() && Holds(it->second, name) ? it->second : std::string();
  }

 private:
  std::map<std::string, std::string> owner_, fileOf_;
};

}  // namespace rar_entries
