#pragma once
// TRAR: opens RAR archives, lists them and extracts them through the UnRAR library, loaded at
// run time from DllName. The archive format is the library's business; the component drives it,
// keeps a summary of the opened archive and turns the library's callbacks into events.
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archives/ExtractReport.h"
#include "archives/RAR_DLL.h"
#include "archives/RarEntries.h"
#include "platform/Library.h"
#include "platform/Paths.h"

// Days since 1899-12-30, the fraction being the time of day.
using TDateTime = double;

enum TRAROperation { roInitArchive = 0, roListFiles = 1, roExtract = 2, roTest = 3 };
enum TRARReplace { rrCancel = 0, rrOverwrite = 1, rrSkip = 2 };

struct TRARProgressInfo {
  uint32_t FileBytesDone = 0;
  uint32_t FileBytesTotal = 0;
  std::wstring FileName;
  uint32_t ArchiveBytesDone = 0;
};

// Summary of the archive of the last OpenArchiveFile.
class TRARArchiveInformation {
 public:
  bool Opened() const { return opened_; }

  const std::string& FileName() const { return fileName_; }
  uint32_t ArchiverMajorVersion() const { return archiverMajorVersion_; }
  uint32_t ArchiverMinorVersion() const { return archiverMinorVersion_; }
  int64_t DictionarySize() const { return dictionarySize_; }
  bool Encryption() const { return encryption_; }
  bool Solid() const { return solid_; }
  const std::string& HostOS() const { return hostOS_; }
  int32_t TotalFiles() const { return totalFiles_; }
  int64_t CompressedSize() const { return compressedSize_; }
  int64_t UnCompressedSize() const { return unCompressedSize_; }
  bool HeaderEncrypted() const { return headerEncrypted_; }
  bool MultiVolume() const { return multiVolume_; }
  bool ArchiveComment() const { return archiveComment_; }
  bool FileComment() const { return fileComment_; }
  const std::string& Comment() const { return comment_; }
  bool Signed() const { return signed_; }
  bool Locked() const { return locked_; }
  bool Recovery() const { return recovery_; }
  bool SFX() const { return sfx_; }
  // A volume of a multi-volume archive other than its first: its files start elsewhere.
  bool LaterVolume() const { return volume_ && !firstVolume_; }

 private:
  friend class TRAR;
  void Reset() { *this = TRARArchiveInformation(); }

  bool opened_ = false;
  std::string fileName_;
  uint32_t archiverMajorVersion_ = 0;
  uint32_t archiverMinorVersion_ = 0;
  int64_t dictionarySize_ = 0;
  bool encryption_ = false;
  bool solid_ = false;
  std::string hostOS_;
  int32_t totalFiles_ = 0;
  int64_t compressedSize_ = 0;
  int64_t unCompressedSize_ = 0;
  bool headerEncrypted_ = false;
  bool multiVolume_ = false;
  bool archiveComment_ = false;
  bool fileComment_ = false;
  std::string comment_;
  bool signed_ = false;
  bool locked_ = false;
  bool recovery_ = false;
  bool sfx_ = false;
  bool volume_ = false;
  bool firstVolume_ = false;
};

// One listed entry, as OnListFile gets it.
struct TRARFileItem {
  std::string FileName;
  std::wstring FileNameW;
  uint32_t CompressedSize = 0;
  uint32_t UnCompressedSize = 0;
  std::string HostOS;
  std::string CRC32;
  uint32_t Attributes = 0;
  std::string Comment;
  TDateTime Time = 0;
  uint32_t PackingMethod = 0;
  uint32_t UnpVer = 0;
  bool Encrypted = false;
};

// The file on disk and the entry that would replace it, as OnReplace gets them.
struct TRARReplaceData {
  std::string FileName;
  int64_t Size = 0;
  TDateTime Time = 0;
};

class TRAR;

using TOnRARErrorNotifyEvent =
    std::function<void(TRAR* Sender, int32_t ErrorCode, TRAROperation Operation)>;
using TOnRARListFile = std::function<void(TRAR* Sender, const TRARFileItem& FileInformation)>;
using TOnRARPasswordRequired =
    std::function<void(TRAR* Sender, bool HeaderPassword, const std::string& FileName,
                       std::string& NewPassword, bool& Cancel)>;
using TOnRARNextVolumeRequired = std::function<void(
    TRAR* Sender, const std::string& requiredFileName, std::string& newFileName, bool& Cancel)>;
using TOnRARProcess =
    std::function<void(TRAR* Sender, const std::wstring& FileName, uint32_t ArchiveBytesTotal,
                       uint32_t ArchiveBytesDone, uint32_t FileBytesTotal, uint32_t FileBytesDone)>;
using TOnRARReplace = std::function<void(TRAR* Sender, const TRARReplaceData& ExistingData,
                                         const TRARReplaceData& NewData, TRARReplace& Action)>;

class TRAR {
 public:
  TRAR();
  ~TRAR();
  TRAR(const TRAR&) = delete;
  TRAR& operator=(const TRAR&) = delete;

  // Loads the library if needed, lists the archive and fills ArchiveInformation. Raises
  // EAssertionFailed when no file exists at path (and a library is loaded).
  bool OpenArchiveFile(const std::string& path);
  // Extracts the entries of the last opened archive whose names are in selection (every entry
  // when selection is null) into destination; with fullPaths off each file lands directly in
  // destination under its bare name. Only regular files and folders are written, never through
  // a link: a symbolic link, hard link or file copy whose target is a regular file of the
  // package becomes a copy of that file, written after every entry is out; other links, special
  // files and names with ".." are left out, each named in SkippedEntries with its reason. A name
  // already taken by a link or special file ends the extraction with ERAR_ECREATE. An empty
  // destination is refused the same way (reported with roExtract). Raises EAssertionFailed when
  // the archive file is gone.
  bool Extract(const std::string& destination, bool fullPaths,
               const std::vector<std::string>* selection);

  const TRARArchiveInformation& ArchiveInformation() const { return archiveInformation_; }
  // The file entries the last OpenArchiveFile listed, in archive order.
  const std::vector<TPackageEntry>& ListedFiles() const { return listedFiles_; }
  // The entries the last Extract did not write as regular files, with the reason for each.
  const std::vector<TSkippedEntry>& SkippedEntries() const { return skippedEntries_; }
  // Why the last OpenArchiveFile or Extract failed, as a short phrase for the log ("password
  // protected", "damaged (maps/desert.tga)", "missing volume map.part3.rar", ...).
  std::string FailureReason() const;
  bool ReadMultiVolumeToEnd() const { return readMultiVolumeToEnd_; }
  void SetReadMultiVolumeToEnd(bool value) { readMultiVolumeToEnd_ = value; }
  const std::string& DllName() const { return dllName_; }
  void SetDllName(const std::string& name) { dllName_ = name; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  std::string Version() const { return "1.2"; }
  bool Abort() const { return abort_; }
  uint32_t SplitPackSize() const { return splitPackSize_; }
  bool LibraryLoaded() const { return library_ != nullptr; }

  TOnRARErrorNotifyEvent OnError;
  TOnRARListFile OnListFile;
  TOnRARPasswordRequired OnPasswordRequired;
  TOnRARNextVolumeRequired OnNextVolumeRequired;
  TOnRARProcess OnProgress;
  TOnRARReplace OnReplace;

 private:
  class ArchiveCloser;
  // A link entry to be written as a copy of its target once every file is out.
  struct PendingLink {
    std::string name, clean, target, path;
  };
  static constexpr unsigned kRedirNameSize = 1024;

  void PrepareHeaderRecord();
  // Names the listed files an extraction that stopped early did not come to.
  void NameUnreached(const std::set<std::string>& reached);
  void CopyLinkedFiles(const std::vector<PendingLink>& links,
                       const rar_entries::WrittenFiles& written, const std::string& folder,
                       platform::FolderListingCache& listing);

  bool ListArchive();
  bool OpenArchive(bool extract);
  void ProcessHeader();
  bool CloseArchive();
  void ReportError(int32_t code, TRAROperation operation);
  void ResetFailure();
  void RegisterCallbackAndPassword();
  void RethrowPendingException();
  void LoadUnrarLibrary();
  void UnloadUnrarLibrary();
  int HandleCallback(unsigned msg, RAR_LPARAM P1, RAR_LPARAM P2);
  int VolumeChange(char* buffer);
  int PasswordNeeded(char* buffer, RAR_LPARAM size);
  static int VV_RAR_CALL UnrarCallback(unsigned msg, RAR_LPARAM UserData, RAR_LPARAM P1,
                                       RAR_LPARAM P2);

  platform::LibraryHandle library_ = nullptr;
  bool abort_ = false;
  TRARProgressInfo progress_;
  bool readMultiVolumeToEnd_ = false;
  uint32_t splitPackSize_ = 0;
  std::string password_;
  std::vector<char> commentBuffer_;
  TRARArchiveInformation archiveInformation_;
  std::vector<TPackageEntry> listedFiles_;
  std::vector<TSkippedEntry> skippedEntries_;
  // Listed links that become copies (index in listedFiles_, target) and the sizes of the
  // regular files they may name.
  std::vector<std::pair<size_t, std::string>> listedLinks_;
  std::map<std::string, int64_t> listedSizes_;
  RAROpenArchiveDataEx openRecord_{};
  RAR_HANDLE archiveHandle_ = nullptr;
  RARHeaderDataEx headerRecord_{};
  wchar_t redirName_[kRedirNameSize] = {};
  std::string dllName_ = "unrar.dll";
  std::exception_ptr pendingException_;  // raised by a handler inside a library call
  // What the last operation ran into, for FailureReason.
  int32_t firstError_ = 0;
  std::string missingVolume_;
  bool passwordAsked_ = false;
};

// Size of the first file matching path; 0 when none.
int64_t FileSizeOf(const std::string& path);
// Last-write time of the file; 0 when it cannot be opened.
TDateTime FileDateOf(const std::string& path);
// Whether the file is a DOS/Windows executable (a self-extracting archive).
bool IsExecutableFile(const std::string& path);
// DOS date (high 16 bits) and time (low 16 bits) as a date-time value; 0 for an invalid stamp.
TDateTime DosDateTimeToDateTime(uint32_t dosDateTime);
