#pragma once
// TZip: reads a ZIP archive's directory itself and hands the extraction to the unzip library
// (UnzDll.dll), loaded at run time. GUI-free: the progress window is installed by the GUI through
// SetProgressWindowFactory (see ProgressForm.h).
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archives/ExtractReport.h"
#include "archives/UnzipParams.h"
#include "platform/Exceptions.h"

namespace platform {
class ReadOnlyFile;
}

class ZipException : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr uint32_t kEndOfCentralDirSig = 0x06054B50;
inline constexpr uint32_t kCentralFileHeaderSig = 0x02014B50;
inline constexpr int kEndOfCentralDirSize = 22;
inline constexpr int kCentralFileHeaderSize = 46;

// The archive's end-of-central-directory record, field by field as the ZIP format lays it out,
// then its comment and the file position where it was found (-1 when none).
struct TEOCHInfo {
  uint32_t HeaderSig = kEndOfCentralDirSig;
  uint16_t ThisDiskNo = 0;
  uint16_t CentralDiskNo = 0;
  uint16_t CentralEntries = 0;
  uint16_t TotalEntries = 0;
  uint32_t CentralSize = 0;
  uint32_t CentralOffset = 0;
  uint16_t ZipCommentLen = 0;
  std::string ZipComment;
  int32_t Position = -1;
};

// One central directory entry: the fixed header fields in format order, then what follows them.
struct TFileInfo {
  uint32_t HeaderSig = 0;
  uint16_t MadeByVersion = 0;
  uint16_t NeededVersion = 0;
  uint16_t Flag = 0;
  uint16_t ComprMethod = 0;
  uint16_t ModifTime = 0;
  uint16_t ModifDate = 0;
  uint32_t CRC32 = 0;
  uint32_t ComprSize = 0;
  uint32_t UnComprSize = 0;
  uint16_t FileNameLen = 0;
  uint16_t ExtraLen = 0;
  uint16_t FileComLen = 0;
  uint16_t DiskStart = 0;
  uint16_t IntFileAtt = 0;
  uint32_t ExtFileAtt = 0;
  uint32_t RelOffLocal = 0;
  bool Encrypted = false;
  std::string FileName;  // '\' separated
  std::string ExtraField;
  std::string FileComment;
};

class TZip;

// The small window Extract shows while the library runs. The GUI supplies the widget one.
class ZipProgressWindow {
 public:
  virtual ~ZipProgressWindow() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void ShowFileName(const std::string& name) = 0;  // label text, label re-centred
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressPosition(int position) = 0;
};

class TZip {
 public:
  using TNotifyEvent = std::function<void(TZip* Sender)>;
  using TZEDBeginFileEvent =
      std::function<void(TZip* Sender, const std::string& Filename, int32_t FileSize,
                         int32_t BatchCount, int32_t TotalBytesInBatch)>;
  using TProgressEvent = std::function<void(TZip* Sender, const std::string& Filename,
                                            int32_t BytesDone, int32_t TotalBytes)>;
  using TZEDEndBatchEvent = std::function<void(TZip* Sender, int32_t SkippedCount,
                                               int32_t BatchCount, int32_t TotalBytesInBatch)>;
  // Bit n of the set is option n; bit 0 alone by default.
  using TExtractOptions = std::bitset<5>;
  using ProgressWindowFactory = std::function<std::unique_ptr<ZipProgressWindow>(TZip& owner)>;

  TZip();
  ~TZip();
  TZip(const TZip&) = delete;
  TZip& operator=(const TZip&) = delete;

  // Assigning resets the archive state and reads the directory; raises ZipException.
  const std::string& ZipFileName() const { return zipFileName_; }
  void SetZipFileName(const std::string& path);

  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  const std::string& DllDirectory() const { return dllDirectory_; }
  void SetDllDirectory(const std::string& folder) { dllDirectory_ = folder; }
  bool OemNames() const { return oemNames_; }
  const std::vector<TFileInfo>& Directory() const { return directory_; }
  std::vector<std::string>& FileSpecs() { return fileSpecs_; }
  const TEOCHInfo& EndOfCentralDir() const { return endOfCentralDir_; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool cancel) { cancel_ = cancel; }
  bool ShowProgressDialog() const { return showProgressDialog_; }
  void SetShowProgressDialog(bool show) { showProgressDialog_ = show; }
  bool Trace() const { return trace_; }
  void SetTrace(bool trace) { trace_ = trace; }
  const std::string& ExtractDir() const { return extractDir_; }
  void SetExtractDir(const std::string& folder) { extractDir_ = folder; }
  TExtractOptions ExtractOptions() const { return extractOptions_; }
  void SetExtractOptions(TExtractOptions options) { extractOptions_ = options; }

  // Runs the unzip library over the archive into ExtractDir; the number of files it extracted,
  // 0 when the library was not called.
  int32_t Extract();

  // The file entries of the directory (folders left out), '/' separated as stored, with their
  // sizes; a link that the last Extract wrote as a copy of its target lists the target's size.
  std::vector<TPackageEntry> ListedFiles() const;
  // The entries the last Extract did not write as regular files, and why.
  const std::vector<TSkippedEntry>& SkippedEntries() const { return skippedEntries_; }

  TNotifyEvent OnContentsChanged;
  TZEDBeginFileEvent OnZEDBeginFileEvent;
  TProgressEvent OnZEDProgressEvent;
  TZEDEndBatchEvent OnZEDEndBatchEvent;
  TProgressEvent OnMergeProgress;  // kept for handlers that bind it; nothing here raises it
  TProgressEvent OnSpanProgress;   // likewise

  // Process-wide: how Extract makes its progress window. Without a factory no window is shown.
  static void SetProgressWindowFactory(ProgressWindowFactory factory);

  // The library's callback; public only so the binding can hand its address to the library.
  static int32_t VV_STDCALL UnzipCallback(UnzipCallbackInfo* info);

 private:
  // Where the central directory ends and what it holds; size and offset -1 when the 32-bit end
  // record gives them.
  struct CentralDirectoryPlace {
    int64_t end;
    int64_t entries;
    int64_t size = -1;
    int64_t offset = -1;
  };

  void ReadDirectory();
  void OpenOrRaise(platform::ReadOnlyFile& file);
  int64_t FindEndOfCentralDir(platform::ReadOnlyFile& file);
  void ReadZip64End(platform::ReadOnlyFile& file, CentralDirectoryPlace& place);
  bool ReadCentralDirectory(platform::ReadOnlyFile& file, const CentralDirectoryPlace& place);
  void HandleCallback(UnzipCallbackInfo& info);
  void HandlePasswordRequest(UnzipCallbackInfo& info);
  void HandleCrcError(UnzipCallbackInfo& info);
  void HandleOverwrite(UnzipCallbackInfo& info);
  void HideWindow();
  void ShowWindowAgain();
  int32_t RunLibrary(UnzipParams& params);
  const TFileInfo* FindEntry(const std::string& name) const;
  void RecordSkip(const std::string& libraryName, int32_t code);
  bool ReadSmallEntry(const std::string& archive, const TFileInfo& entry, std::string& data) const;
  int32_t CopyLinks(const std::string& archive, const std::string& destination);

  std::string zipFileName_;
  std::string password_;
  std::string dllDirectory_;
  bool oemNames_ = false;
  std::vector<TFileInfo> directory_;
  std::vector<std::string> fileSpecs_;
  TEOCHInfo endOfCentralDir_;
  bool cancel_ = false;
  bool showProgressDialog_ = true;
  float progressScale_ = 1.0f;
  std::unique_ptr<ZipProgressWindow> progressWindow_;
  bool trace_ = false;
  std::FILE* traceStream_ = nullptr;
  std::string currentFileName_;
  int32_t batchCount_ = 0;
  int32_t batchTotalBytes_ = 0;
  int64_t bytesDone_ = 0;  // wider than the library's numbers: a sum must not overflow
  int32_t skippedCount_ = 0;
  std::string extractDir_;
  TExtractOptions extractOptions_{1};
  std::vector<TSkippedEntry> skippedEntries_;
  std::map<std::string, size_t> skippedIndex_;  // name, its place in skippedEntries_
  std::map<std::string, int64_t> copiedLinks_;  // link name, size of the copy
  // Normalised name to entry, built on first use after each directory read.
  mutable std::optional<std::map<std::string, const TFileInfo*>> entryIndex_;
  bool passwordRefused_ = false;  // asked once per Extract, then not again
  // An exception from an event handler or a prompt, held while the library unwinds its run.
  std::exception_ptr pendingException_;
};

// Disk and path helpers of the unit.
namespace ZipUnit {

// 1 (no root folder) for an empty path, otherwise the drive type of the path's drive.
unsigned DriveTypeOf(const std::string& path);
// The volume label of a drive root; false when the volume cannot be read.
bool GetVolumeLabel(const std::string& drive, std::string& label);
// The disk number of a spanned archive on a removable disk labelled "PKBACK# nnn", else 0.
int GetDiskNumber(const std::string& path);
// Asks for disk n until it is in the drive (true) or the user cancels (false).
bool AskForDisk(const std::string& path, int n);
// Appends the path separator to a non-empty text that does not end in one.
std::string AddBackslash(const std::string& text);

}  // namespace ZipUnit
