#pragma once
// TFileSearch: lists the entries of one folder that match a wildcard mask and an attribute set,
// one entry per call, over the platform's first/next/close search. The search is flat.
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Find.h"

// What GetNextFile hands out: the current match and the platform search state.
struct TSearchRec {
  int32_t Time = 0;  // last-write time, local, DOS-packed (date in the high 16 bits)
  int32_t Size = 0;  // low 32 bits of the size
  int32_t Attr = 0;
  std::string Name;  // without any folder part
  int32_t ExcludeAttr = 0;
  platform::FindHandle FindHandle = platform::kInvalidFindHandle;
  platform::FindData FindData;
};

class TFileSearch;
using TOnActionEvent =
    std::function<void(TFileSearch* Sender, std::string Path, std::string FileName)>;

class TFileSearch {
 public:
  TFileSearch() = default;
  ~TFileSearch();
  TFileSearch(const TFileSearch&) = delete;
  TFileSearch& operator=(const TFileSearch&) = delete;

  // Arms a new search; the file system is not touched until GetNextFile. An empty Path means
  // the current folder. Raises Exception while a search is open.
  void OpenSearch(std::string Path, const std::string& Mask, int32_t Attr);
  // True with the next matching entry in Rec. Rec always receives a copy of the internal record.
  bool GetNextFile(TSearchRec& Rec);
  // Ends the search and releases the platform handle. Raises Exception when not searching.
  void CloseSearch();

  bool Searching() const { return searching_; }
  bool FirstCall() const { return firstCall_; }
  const std::string& SearchPath() const { return searchPath_; }
  const std::string& SearchMask() const { return searchMask_; }
  int32_t SearchAttr() const { return searchAttr_; }

  // Kept for the owner's use; the component itself never raises it.
  TOnActionEvent OnPerformeAction;

 private:
  bool searching_ = false;
  bool firstCall_ = false;
  std::string searchPath_;
  std::string searchMask_;
  int32_t searchAttr_ = 0;
  TSearchRec searchRec_;
};
