#pragma once
// The non-visual components the workflow owns, kept out of Workflow.h so that its users need
// none of their headers.
#include <string>
#include <unordered_map>
#include <vector>

#include "app/workflow/Workflow.h"
#include "archives/RAR.h"
#include "archives/Zip.h"
#include "platform/Strings.h"
#include "shell/FileSearchUnit.h"

namespace workflow {

class WorkListing;

struct ConvertWorkflow::Components {
  TZip Zip1;
  TRAR RAR1;
  TFileSearch FileSearch1;
  WorkListing* Listing = nullptr;  // the work folder's, while a package's maps are worked on
};

// The work folder listed once for all the maps of a package, so a package of n maps costs O(n)
// searches rather than n listings of the whole folder. While one lives, searches of the work
// folder are answered from it, in the file search's order and with its filter. Nothing is added
// to the work folder meanwhile (each map's pass only takes its files away): entries found gone
// are dropped, and each wildcard mask is searched on from its last first match.
class WorkListing {
 public:
  WorkListing(WorkListing*& slot, const std::string& folder);
  ~WorkListing();
  WorkListing(const WorkListing&) = delete;
  WorkListing& operator=(const WorkListing&) = delete;
  // The entries that match mask and that the file search would hand out, in its order.
  std::vector<std::string> Matches(const std::string& mask, bool firstOnly);

 private:
  bool Handed(size_t i);

  WorkListing*& slot_;
  WorkListing* previous_;
  std::string folder_;
  std::vector<std::string> names_;
  std::vector<bool> gone_;
  std::unordered_map<std::u32string, std::vector<size_t>> byName_;
  std::unordered_map<std::string, size_t> cursors_;
};

// Opens a search in the constructor and always closes it, also when a step raises, so the one
// TFileSearch never stays "already searching" for the next package.
class SearchScope {
 public:
  SearchScope(TFileSearch& search, const std::string& folder, const std::string& mask)
      : search_(search) {
    search_.OpenSearch(folder, mask, 16);
  }
  ~SearchScope() { search_.CloseSearch(); }
  SearchScope(const SearchScope&) = delete;
  SearchScope& operator=(const SearchScope&) = delete;
  // The next entry that is no folder; false when there is none.
  bool NextFile(std::string& name);

 private:
  TFileSearch& search_;
};

// Whether a name from a package may become a file name and a batch-file argument: no character
// that Windows forbids in file names and no control character.
bool NameAllowed(const std::string& name);
// The staged map's folder, with a trailing separator.
std::string MapStagingFolder(const ConvertState& s);

// The files the TOC script lists, relative to the staged map's folder, in script order.
std::vector<std::string> TocFileNames(const ConvertState& s);

// Whether a path may stand between double quotes in a batch line without adding an argument.
bool QuotableInBatch(const std::string& path);
// A path as a batch-file argument: in double quotes, each "%" doubled.
std::string BatchArgument(const std::string& path);

// What one map's pass leaves in the program folder: the scripts and the staging tree.
inline constexpr const char* kMapWorkNames[] = {kTocFile, kPackBatchFile, kUnpackBatchFile,
                                                "$$$$.bat", kStagingFolder};
// Removes everything under those names (links as links, any spelling of the name).
void RemoveMapWorkFiles(const std::string& programFolder);
// Writes a work file afresh: whatever stands under its name goes first, then the file is
// created exclusively, so a link planted in between makes the write fail instead of follow.
void WriteWorkFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace workflow
