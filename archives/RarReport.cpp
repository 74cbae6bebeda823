// What TRAR tells of an extraction besides its result: links of the package written as
// copies, the entries left out with their reasons, and why a failed operation failed.
#include <cerrno>
#include <map>

#include "archives/RAR.h"
#include "archives/RarEntries.h"

using namespace rar_entries;

namespace {

// The reason of the entries an extraction that stopped early never came to.
const std::string kNotReached = "not reached (the extraction stopped";

}  // namespace

void TRAR::CopyLinkedFiles(const std::vector<PendingLink>& links, const WrittenFiles& written,
                           const std::string& folder, platform::FolderListingCache& listing) {
  for (const PendingLink& link : links) {
    if (!written.Holds(link.path, link.clean)) continue;  // a later entry took its place
    const std::string source = written.FileOf(link.target);
    if (source.empty()) {
      skippedEntries_.push_back({link.name, "link not followed"});
    } else if (WritesThroughForeignEntry(folder, link.path.substr(folder.size()), false) ||
               !rar_entries::CopyRegularFile(source, link.path)) {
      skippedEntries_.push_back(
          {link.name, rar_entries::FailureReason(ERAR_ECREATE, false, errno)});
    } else {
      listing.Created(link.path);
    }
  }
}

void TRAR::NameUnreached(const std::set<std::string>& reached) {
  const std::string stop = skippedEntries_.empty() ? std::string() : skippedEntries_.back().Name;
  for (const TPackageEntry& entry : listedFiles_)
    if (!reached.count(entry.Name))
      skippedEntries_.push_back(
          {entry.Name, stop.empty() ? "not extracted" : kNotReached + (" at " + stop + ")")});
}

void TRAR::ResetFailure() {
  firstError_ = 0;
  missingVolume_.clear();
  passwordAsked_ = false;
}

std::string TRAR::FailureReason() const {
  if (!library_) return "the UnRAR library could not be loaded";
  if (!missingVolume_.empty()) return "missing volume " + BareName(missingVolume_);
  for (const TSkippedEntry& entry : skippedEntries_) {
    const std::string& reason = entry.Reason;
    if (reason == "link not followed" || reason == "special file" || reason == "unsafe name" ||
        reason.rfind(kNotReached, 0) == 0)
      continue;
    if (reason == "password needed") return "password protected";
    if (reason == "no space") return "no room left on the drive of the work folder";
    if (reason == "damaged data (CRC)") return "damaged (" + entry.Name + ")";
    return reason + " (" + entry.Name + ")";
  }
  if (passwordAsked_ || firstError_ == ERAR_MISSING_PASSWORD || firstError_ == ERAR_BAD_PASSWORD)
    return "password protected";
  switch (firstError_) {
    case ERAR_BAD_ARCHIVE:
    case ERAR_UNKNOWN_FORMAT:
      return "not a RAR archive";
    case ERAR_BAD_DATA:
      return "damaged";
    case ERAR_EOPEN:
      return "the package cannot be opened";
    case ERAR_NO_MEMORY:
      return "out of memory";
    default:
      return "the package could not be extracted (error " + std::to_string(firstError_) + ")";
  }
}
