#pragma once
// What TRAR decides about one entry on its own, whichever library reads the archive: the name it
// may be written under, where a link of the package points, and why an entry was left out.
#include <cstdint>
#include <string>

namespace rar_entries {

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

}  // namespace rar_entries
