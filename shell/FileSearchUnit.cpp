#include "shell/FileSearchUnit.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace {

// Hidden, system, volume label and directory: the attributes a caller has to ask for.
constexpr int32_t kSelectableAttributes = 0x1E;

void CloseHandle(TSearchRec& rec) {
  if (rec.FindHandle != platform::kInvalidFindHandle) {
    platform::FindClose(rec.FindHandle);
    rec.FindHandle = platform::kInvalidFindHandle;
  }
}

// Skips entries with an excluded attribute; fills the record from the first one that qualifies.
int MatchEntry(TSearchRec& rec) {
  while ((static_cast<int32_t>(rec.FindData.attributes) & rec.ExcludeAttr) != 0) {
    if (!platform::FindNextFile(rec.FindHandle, rec.FindData)) return platform::LastFindError();
  }
  rec.Time = static_cast<int32_t>(platform::UnixTimeToLocalDos(rec.FindData.lastWrite));
  rec.Size = static_cast<int32_t>(static_cast<uint32_t>(rec.FindData.size));
  rec.Attr = static_cast<int32_t>(rec.FindData.attributes);
  rec.Name = rec.FindData.name;
  return 0;
}

int FindFirst(const std::string& pattern, int32_t attr, TSearchRec& rec) {
  // A handle left open by a search started after CloseSearch would otherwise leak here.
  CloseHandle(rec);
  rec.ExcludeAttr = ~attr & kSelectableAttributes;
  rec.FindHandle = platform::FindFirstFile(pattern, rec.FindData);
  if (rec.FindHandle == platform::kInvalidFindHandle) return platform::LastFindError();
  const int error = MatchEntry(rec);
  if (error != 0) CloseHandle(rec);
  return error;
}

int FindNext(TSearchRec& rec) {
  if (rec.FindHandle == platform::kInvalidFindHandle) return platform::kErrorNoMoreFiles;
  if (!platform::FindNextFile(rec.FindHandle, rec.FindData)) return platform::LastFindError();
  return MatchEntry(rec);
}

// The folder with its trailing separator. An empty folder would become the file system's root;
// it means the current folder.
std::string SearchFolder(std::string folder) {
  if (folder.empty()) folder = platform::CurrentFolder();
  if (folder.empty()) folder.push_back('.');
  if (folder.back() != platform::kPathDelim) folder.push_back(platform::kPathDelim);
  return folder;
}

}  // namespace

TFileSearch::~TFileSearch() {
  CloseHandle(searchRec_);
}

void TFileSearch::OpenSearch(std::string Path, const std::string& Mask, int32_t Attr) {
  if (searching_)
    throw Exception(
        "TFileSearch: Already searching. Use CloseSearch to terminate previous search.");
  searchMask_ = Mask;
  searchPath_ = SearchFolder(std::move(Path));
  searchAttr_ = Attr;
  searching_ = true;
  firstCall_ = true;
}

bool TFileSearch::GetNextFile(TSearchRec& Rec) {
  bool found;
  if (firstCall_) {
    found = FindFirst(searchPath_ + searchMask_, searchAttr_, searchRec_) == 0;
    firstCall_ = false;
  } else {
    found = FindNext(searchRec_) == 0;
  }
  Rec = searchRec_;
  return found;
}

void TFileSearch::CloseSearch() {
  if (!searching_)
    throw Exception("TFileSearch: Not searching. Use CloseSearch only after OpenSearch.");
  CloseHandle(searchRec_);
  searching_ = false;
  firstCall_ = true;
}
