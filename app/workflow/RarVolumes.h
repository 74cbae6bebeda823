#pragma once
// Multi-volume RAR packages as the workflow meets them: only a set's first part is a package;
// a later part gets one line that names it and the part to convert instead.
#include <string>

#include "platform/Exceptions.h"

namespace workflow {

// A file that is no package of its own. Logged like a failed package; it counts as a failure
// only when nothing else converts what it holds.
class NotAPackage : public Exception {
 public:
  NotAPackage(std::string message, bool counts) : Exception(std::move(message)), counts_(counts) {}
  bool Counts() const { return counts_; }

 private:
  bool counts_;
};

// The path of the first part of the set whose later part path is ("x.part3.rar" gives
// "x.part1.rar", digits as wide); empty when the name does not say.
std::string FirstVolumeOf(const std::string& path);

// "is part 3 of a multi-volume archive; convert its first part" for a later part.
std::string LaterVolumeReason(const std::string& path);

}  // namespace workflow
