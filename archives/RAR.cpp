#include "archives/RAR.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <map>
#include <set>
#include <type_traits>

#include "archives/RarEntries.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/Strings.h"
#include "platform/Utf8.h"

using namespace rar_entries;

namespace {

constexpr size_t kCommentBufferSize = 65536;
// The longest volume name handed back to the library; the library's buffer is at least this.
constexpr size_t kVolumeNameBufferSize = 1024;
constexpr int32_t kNotLoaded = 99;

const char* const kAssertionFormat = "%s (%s, line %d)";
constexpr int kListAssertLine = 479;
constexpr int kExtractAssertLine = 536;

void AssertArchiveExists(const std::string& path, int line) {
  if (platform::FileExists(path)) return;
  char message[128];
  std::snprintf(message, sizeof message, kAssertionFormat, "Assertion failure", "RAR", line);
  throw EAssertionFailed(message);
}

bool IsFatal(int32_t code) {
  switch (code) {
    case ERAR_NO_MEMORY:
    case ERAR_BAD_DATA:
    case ERAR_UNKNOWN_FORMAT:
    case ERAR_EOPEN:
    case ERAR_ECREATE:
    case ERAR_ECLOSE:
    case ERAR_EREAD:
    case ERAR_EWRITE:
    case ERAR_SMALL_BUF:
    case ERAR_UNKNOWN:
    case kNotLoaded:
      return true;
    default:
      return false;
  }
}

std::string HostOSName(unsigned hostOS) {
  switch (hostOS) {
    case 0:
      return "DOS";
    case 1:
      return "IBM OS/2";
    case 2:
      return "Windows";
    case 3:
      return "Unix";
    default:
      return "unknown";
  }
}

void CopyToBuffer(const std::string& text, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

int64_t DaysFromCivil(int year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

void TRAR::PrepareHeaderRecord() {
  headerRecord_.RedirName = redirName_;
  headerRecord_.RedirNameSize = kRedirNameSize;
  redirName_[0] = L'\0';
}

TDateTime DosDateTimeToDateTime(uint32_t dos) {
  const unsigned date = dos >> 16, time = dos & 0xFFFF;
  const int year = static_cast<int>(date >> 9) + 1980;
  const unsigned month = (date >> 5) & 15, day = date & 31;
  const unsigned hour = time >> 11, minute = (time >> 5) & 63, second = (time & 31) * 2;
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  // A stamp that names no real moment (zero, as libraries give for a missing time) is no date.
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] + (month == 2 && leap) ||
      hour > 23 || minute > 59 || second > 59)
    return 0;
  const int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
  return static_cast<double>(days) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

int64_t FileSizeOf(const std::string& path) {
  const int64_t size = platform::FileSize(path);
  return size < 0 ? 0 : size;
}

TDateTime FileDateOf(const std::string& path) {
  const int32_t dos = platform::FileAgeDos(path);
  return dos == -1 ? 0 : DosDateTimeToDateTime(static_cast<uint32_t>(dos));
}

bool IsExecutableFile(const std::string& path) {
  return platform::IsDosExecutable(path);
}

// Closes the open archive however the scope is left. The normal way out calls Close, which
// reports a close error; left by an exception, the archive is closed without a report, since a
// handler raising there could not leave a destructor.
class TRAR::ArchiveCloser {
 public:
  explicit ArchiveCloser(TRAR& owner) : owner_(owner) {}
  ~ArchiveCloser() {
    if (!owner_.archiveHandle_) return;
    RAR_DLL::RARCloseArchive(owner_.archiveHandle_);
    owner_.archiveHandle_ = nullptr;
  }
  void Close() {
    if (owner_.archiveHandle_) owner_.CloseArchive();
  }
  ArchiveCloser(const ArchiveCloser&) = delete;
  ArchiveCloser& operator=(const ArchiveCloser&) = delete;

 private:
  TRAR& owner_;
};

TRAR::TRAR() = default;

TRAR::~TRAR() {
  UnloadUnrarLibrary();
}

bool TRAR::OpenArchiveFile(const std::string& path) {
  archiveInformation_.Reset();
  listedFiles_.clear();
  listedLinks_.clear();
  listedSizes_.clear();
  ResetFailure();
  if (!library_) LoadUnrarLibrary();
  if (!library_) {
    ReportError(kNotLoaded, roInitArchive);
    return false;
  }
  archiveInformation_.fileName_ = path;
  const bool result = ListArchive();
  // A link that comes out as a copy of its target is listed with the target's size.
  for (const auto& [index, target] : listedLinks_)
    if (const auto it = listedSizes_.find(target); it != listedSizes_.end())
      listedFiles_[index].Size = it->second;
  archiveInformation_.opened_ = true;
  return result;
}

bool TRAR::ListArchive() {
  AssertArchiveExists(archiveInformation_.fileName_, kListAssertLine);
  abort_ = false;
  bool result = OpenArchive(false);
  if (abort_ || !result) return result;

  ArchiveCloser closer(*this);
  RegisterCallbackAndPassword();
  int32_t processed = 0;
  while (processed == 0 && result) {
    PrepareHeaderRecord();
    const int32_t read = RAR_DLL::RARReadHeaderEx(archiveHandle_, &headerRecord_);
    RethrowPendingException();
    if (read == ERAR_END_ARCHIVE) break;
    ReportError(read, roListFiles);
    // A header that could not be read leaves a stale record behind: never list it again.
    if (read != 0) {
      result = false;
      break;
    }
    ProcessHeader();
    processed = RAR_DLL::RARProcessFile(archiveHandle_, RAR_SKIP, nullptr, nullptr);
    RethrowPendingException();
    if (processed != 0) result = false;
    ReportError(processed, roListFiles);
  }
  closer.Close();
  return result;
}

bool TRAR::OpenArchive(bool extract) {
  openRecord_ = RAROpenArchiveDataEx{};
  openRecord_.CmtState = 0;
  openRecord_.OpenResult = 0;
  openRecord_.OpenMode =
      extract ? RAR_OM_EXTRACT : (readMultiVolumeToEnd_ ? RAR_OM_LIST_INCSPLIT : RAR_OM_LIST);
  openRecord_.ArcName = archiveInformation_.fileName_.data();
  if (commentBuffer_.empty()) commentBuffer_.resize(kCommentBufferSize);
  openRecord_.CmtBuf = commentBuffer_.data();
  openRecord_.CmtBufSize = kCommentBufferSize;

  archiveHandle_ = RAR_DLL::RAROpenArchiveEx(&openRecord_);
  if (!archiveHandle_) {
    if (firstError_ == 0) firstError_ = static_cast<int32_t>(openRecord_.OpenResult);
    ReportError(kNotLoaded, roInitArchive);
    return false;
  }

  TRARArchiveInformation& info = archiveInformation_;
  const unsigned flags = openRecord_.Flags;
  if (flags & ROADF_COMMENT) info.archiveComment_ = true;
  if (flags & ROADF_LOCK) info.locked_ = true;
  if (flags & ROADF_SOLID) info.solid_ = true;
  if (flags & ROADF_SIGNED) info.signed_ = true;
  if (flags & ROADF_RECOVERY) info.recovery_ = true;
  if (flags & ROADF_ENCHEADERS) info.headerEncrypted_ = true;
  if (flags & ROADF_VOLUME) info.volume_ = true;
  if (flags & ROADF_FIRSTVOLUME) info.firstVolume_ = true;
  info.sfx_ = IsExecutableFile(info.fileName_);

  const unsigned state = openRecord_.CmtState;
  if (state == 0) {
    info.comment_.clear();
    info.archiveComment_ = false;
    return true;
  }
  if (state == 1) {
    info.comment_.assign(commentBuffer_.data(), strnlen(commentBuffer_.data(), kCommentBufferSize));
    info.archiveComment_ = true;
    return true;
  }
  // A handler raising for the comment state must not leave the archive open.
  ArchiveCloser closer(*this);
  if (state == ERAR_NO_MEMORY || state == ERAR_BAD_DATA || state == ERAR_UNKNOWN_FORMAT ||
      state == ERAR_SMALL_BUF)
    ReportError(static_cast<int32_t>(state), roInitArchive);
  closer.Close();
  return false;
}

void TRAR::RegisterCallbackAndPassword() {
  RAR_DLL::RARSetCallback(archiveHandle_, &TRAR::UnrarCallback, reinterpret_cast<RAR_LPARAM>(this));
  if (!password_.empty()) RAR_DLL::RARSetPassword(archiveHandle_, password_.data());
}

void TRAR::ProcessHeader() {
  const RARHeaderDataEx& header = headerRecord_;
  TRARArchiveInformation& info = archiveInformation_;
  uint32_t packSize = header.PackSize;

  if (readMultiVolumeToEnd_) {
    const bool before = header.Flags & RHDF_SPLITBEFORE, after = header.Flags & RHDF_SPLITAFTER;
    if (after && !before) {
      splitPackSize_ = packSize;
      return;
    }
    if (after && before) {
      splitPackSize_ += packSize;
      return;
    }
    if (before) packSize += splitPackSize_;
  }

  const uint32_t version = header.UnpVer;
  if (info.archiverMajorVersion_ * 10 + info.archiverMinorVersion_ < version) {
    info.archiverMinorVersion_ = version % 10;
    info.archiverMajorVersion_ = (version - version % 10) / 10;
  }
  if (header.Flags & RHDF_ENCRYPTED) info.encryption_ = true;
  if (header.Flags & RHDF_SOLID) info.solid_ = true;
  info.hostOS_ = HostOSName(header.HostOS);

  if (!IsFolderEntry(header)) {
    ++info.totalFiles_;
    listedFiles_.push_back(
        {NarrowName(header),
         static_cast<int64_t>(uint64_t{header.UnpSizeHigh} << 32 | header.UnpSize)});
    if (IsLinkOrSpecial(header) && rar_entries::CopiedLink(header.RedirType)) {
      const std::string target =
          rar_entries::LinkTarget(rar_entries::CleanName(NarrowName(header)),
                                  WideToUtf8(RedirName(header)), header.RedirType);
      if (!target.empty()) listedLinks_.push_back({listedFiles_.size() - 1, target});
    } else if (!IsLinkOrSpecial(header)) {
      listedSizes_[rar_entries::CleanName(NarrowName(header))] = listedFiles_.back().Size;
    }
    const unsigned dictionary = (header.Flags & RHDF_WINDOWMASK) >> 5;
    if (dictionary <= 6) info.dictionarySize_ = int64_t{65536} << dictionary;
  }
  info.compressedSize_ += packSize;
  info.unCompressedSize_ += header.UnpSize;
  if (header.Flags & (RHDF_SPLITBEFORE | RHDF_SPLITAFTER)) info.multiVolume_ = true;
  if (header.CmtSize > 0) info.fileComment_ = true;

  TRARFileItem item;
  item.FileName = NarrowName(header);
  item.FileNameW = WideName(header);
  item.CompressedSize = packSize;
  item.UnCompressedSize = header.UnpSize;
  item.HostOS = info.hostOS_;
  char crc[16];
  std::snprintf(crc, sizeof crc, "%x", header.FileCRC);
  item.CRC32 = crc;
  item.Attributes = header.FileAttr;
  if (header.CmtBuf && header.CmtBufSize > 0)
    item.Comment.assign(header.CmtBuf, strnlen(header.CmtBuf, header.CmtBufSize));
  item.Time = DosDateTimeToDateTime(header.FileTime);
  item.PackingMethod = header.Method;
  item.UnpVer = header.UnpVer;
  item.Encrypted = header.Flags & RHDF_ENCRYPTED;
  if (OnListFile) OnListFile(this, item);
}

bool TRAR::Extract(const std::string& destination, bool fullPaths,
                   const std::vector<std::string>* selection) {
  AssertArchiveExists(archiveInformation_.fileName_, kExtractAssertLine);
  abort_ = false;
  ResetFailure();
  skippedEntries_.clear();
  if (destination.empty()) {
    // Nothing to write into: never let an empty folder turn into the root of the file system.
    ReportError(ERAR_ECREATE, roExtract);
    return false;
  }
  if (!OpenArchive(true) || abort_) return false;

  ArchiveCloser closer(*this);
  std::string folder = platform::ResolvePath(destination);
  if (folder.back() != platform::kPathDelim) folder += platform::kPathDelim;
  // Every entry's target is looked up case-insensitively: list the destination once, not once
  // an entry.
  platform::FolderListingCache listing(folder);
  RegisterCallbackAndPassword();
  progress_.ArchiveBytesDone = 0;

  WrittenFiles written;
  std::vector<PendingLink> links;
  std::set<std::string> reached;
  bool result = true;
  int32_t last = 0;
  while (last == 0 && result) {
    PrepareHeaderRecord();
    last = RAR_DLL::RARReadHeaderEx(archiveHandle_, &headerRecord_);
    RethrowPendingException();
    if (last == ERAR_END_ARCHIVE) {
      last = 0;
      break;
    }
    if (last != 0) {
      // The record still holds the previous entry: processing it again could overwrite a file
      // that was just written, so the pass ends here.
      result = false;
      ReportError(last, roListFiles);
      break;
    }
    const RARHeaderDataEx& header = headerRecord_;
    progress_.FileBytesDone = 0;
    progress_.FileBytesTotal = header.UnpSize;
    progress_.FileName = WideName(header);

    TRARReplace action = rrOverwrite;
    const std::string name = NarrowName(header);
    const bool folderEntry = IsFolderEntry(header);
    const std::string clean = rar_entries::CleanName(name);
    const std::string newName = fullPaths ? name : BareName(clean);
    if (!folderEntry) reached.insert(name);
    const auto skip = [&](const std::string& reason) {
      if (!folderEntry) skippedEntries_.push_back({name, reason});
      last = RAR_DLL::RARProcessFile(archiveHandle_, RAR_SKIP, nullptr, nullptr);
    };
    if (!NameSelected(name, selection)) {
      last = RAR_DLL::RARProcessFile(archiveHandle_, RAR_SKIP, nullptr, nullptr);
    } else if (IsLinkOrSpecial(header)) {
      // Links are never made: one to a file of the package becomes a copy of it, once every
      // file has been written.
      const std::string target =
          rar_entries::CopiedLink(header.RedirType)
              ? rar_entries::LinkTarget(clean, WideToUtf8(RedirName(header)), header.RedirType)
              : std::string();
      if (!folderEntry && !target.empty() && !newName.empty()) {
        const std::string path =
            fullPaths ? folder + clean : folder + ExistingSpelling(folder, newName);
        links.push_back({name, clean, target, path});
        written.Wrote(clean, path, false);
        last = RAR_DLL::RARProcessFile(archiveHandle_, RAR_SKIP, nullptr, nullptr);
      } else {
        skip(IsLink(header) ? "link not followed" : "special file");
      }
    } else if (!folderEntry &&
               (clean.empty() || newName.empty() || newName == "." || newName == "..")) {
      // No safe name to write under (never hand the library a path that names a folder).
      skip("unsafe name");
    } else {
      // Without full paths an existing file whose name differs only in case is the same file.
      const std::string target =
          fullPaths ? folder + newName : folder + ExistingSpelling(folder, newName);
      const TRARReplaceData existing{target, FileSizeOf(target), FileDateOf(target)};
      const TRARReplaceData incoming{newName, header.UnpSize,
                                     DosDateTimeToDateTime(header.FileTime)};
      if (platform::FileExists(target) && OnReplace) OnReplace(this, existing, incoming, action);
      const bool writes = action == rrOverwrite && (fullPaths || !folderEntry);
      if (writes && WritesThroughForeignEntry(folder, target.substr(folder.size()), folderEntry)) {
        // Something other than our own file or folder took the name: refuse to write through it.
        skip("unsafe name");
        if (last == 0) last = ERAR_ECREATE;
      } else {
        switch (action) {
          case rrCancel:
            abort_ = true;
            break;
          case rrOverwrite:
            errno = 0;
            if (fullPaths)
              last = RAR_DLL::RARProcessFile(archiveHandle_, RAR_EXTRACT, folder.data(), nullptr);
            else if (!folderEntry)
              last = RAR_DLL::RARProcessFile(archiveHandle_, RAR_EXTRACT, nullptr,
                                             const_cast<char*>(target.c_str()));
            if (writes && last == 0) {
              listing.Created(target);
              if (!folderEntry) written.Wrote(clean, fullPaths ? folder + clean : target, true);
            } else if (!folderEntry && last != 0) {
              skippedEntries_.push_back(
                  {name, rar_entries::FailureReason(last, header.Flags & RHDF_ENCRYPTED, errno)});
            }
            break;
          case rrSkip:
            last = RAR_DLL::RARProcessFile(archiveHandle_, RAR_SKIP, folder.data(), nullptr);
            progress_.FileBytesDone += header.UnpSize;
            break;
        }
      }
    }
    RethrowPendingException();
    if (last != 0) {
      result = false;
      ReportError(last, roListFiles);
    }
    if (abort_) result = false;
  }
  closer.Close();
  CopyLinkedFiles(links, written, folder, listing);
  if (abort_ || !result) NameUnreached(reached);
  return abort_ ? false : result;
}

bool TRAR::CloseArchive() {
  const int32_t result = RAR_DLL::RARCloseArchive(archiveHandle_);
  archiveHandle_ = nullptr;
  if (result == ERAR_ECLOSE) ReportError(result, roInitArchive);
  return result == 0;
}

void TRAR::ReportError(int32_t code, TRAROperation operation) {
  if (code != 0 && firstError_ == 0) firstError_ = code;
  if (IsFatal(code)) abort_ = true;
  if (OnError) OnError(this, code, operation);
}

int VV_RAR_CALL TRAR::UnrarCallback(unsigned msg, RAR_LPARAM UserData, RAR_LPARAM P1,
                                    RAR_LPARAM P2) {
  auto* self = reinterpret_cast<TRAR*>(UserData);
  if (!self || self->pendingException_) return -1;
  int answer = 0;
  // A handler's exception must not travel through the library's frames: keep it, stop the
  // library, and raise it again once the library call has returned.
  try {
    answer = self->HandleCallback(msg, P1, P2);
  } catch (...) {
    self->pendingException_ = std::current_exception();
    return -1;
  }
  return self->abort_ ? -1 : answer;
}

int TRAR::HandleCallback(unsigned msg, RAR_LPARAM P1, RAR_LPARAM P2) {
  switch (msg) {
    case UCM_CHANGEVOLUME:
      if (P2 == RAR_VOL_ASK) return VolumeChange(reinterpret_cast<char*>(P1));
      missingVolume_.clear();  // the volume asked for was found after all
      return 0;
    case UCM_PROCESSDATA: {
      const auto bytes = static_cast<uint32_t>(P2);
      progress_.FileBytesDone += bytes;
      progress_.ArchiveBytesDone += bytes;
      if (OnProgress)
        OnProgress(this, progress_.FileName,
                   static_cast<uint32_t>(archiveInformation_.unCompressedSize_),
                   progress_.ArchiveBytesDone, progress_.FileBytesTotal, progress_.FileBytesDone);
      return 0;
    }
    case UCM_NEEDPASSWORD:
      return PasswordNeeded(reinterpret_cast<char*>(P1), P2);
    default:
      return 0;
  }
}

int TRAR::VolumeChange(char* buffer) {
  if (!buffer) return -1;
  const std::string required(buffer, strnlen(buffer, kVolumeNameBufferSize));
  missingVolume_ = required;
  if (!archiveInformation_.opened_ && !readMultiVolumeToEnd_) return -1;
  // With nobody to name another file, going on only makes the library look for the same
  // missing one again, for ever.
  if (!OnNextVolumeRequired) return platform::FileExists(required) ? 0 : -1;
  bool cancel = false;
  std::string newName;
  OnNextVolumeRequired(this, required, newName, cancel);
  CopyToBuffer(newName, buffer, kVolumeNameBufferSize);
  return cancel || abort_ ? -1 : 0;
}

int TRAR::PasswordNeeded(char* buffer, RAR_LPARAM size) {
  std::string name;
  if (!archiveInformation_.opened_) {
    archiveInformation_.headerEncrypted_ = true;
    name = archiveInformation_.fileName_;
  } else {
    // The current entry's wide name: the library's own 8-bit name depends on its locale and
    // may be cut at the first letter it cannot convert.
    name = WideToUtf8(WideName(headerRecord_));
  }
  std::string password;
  bool cancel = false;
  if (OnPasswordRequired)
    OnPasswordRequired(this, !archiveInformation_.opened_, name, password, cancel);
  if (password.empty()) passwordAsked_ = true;  // and nobody had one to give
  if (size > 0) CopyToBuffer(password, buffer, static_cast<size_t>(size));
  return cancel || abort_ ? -1 : 0;
}

void TRAR::RethrowPendingException() {
  if (!pendingException_) return;
  std::exception_ptr pending = pendingException_;
  pendingException_ = nullptr;
  std::rethrow_exception(pending);
}

void TRAR::LoadUnrarLibrary() {
  platform::LibraryHandle library = platform::LoadLibrary(dllName_);
  if (!library) return;
  RAR_DLL::IsRARDLLLoaded = true;

  // Bound into locals first: an incomplete library must not replace the entry points that
  // another instance may still be using.
  auto bind = [library](auto& target, const char* name) {
    target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(
        platform::GetProcAddress(library, name));
    return target != nullptr;
  };
  TRAROpenArchive openArchive;
  TRAROpenArchiveEx openArchiveEx;
  TRARCloseArchive closeArchive;
  TRARReadHeader readHeader;
  TRARReadHeaderEx readHeaderEx;
  TRARProcessFile processFile;
  TRARSetCallback setCallback;
  TRARSetChangeVolProc setChangeVolProc;
  TRARSetProcessDataProc setProcessDataProc;
  TRARSetPassword setPassword;
  TRARGetDllVersion getDllVersion;
  const bool complete =
      bind(openArchive, "RAROpenArchive") && bind(openArchiveEx, "RAROpenArchiveEx") &&
      bind(closeArchive, "RARCloseArchive") && bind(readHeader, "RARReadHeader") &&
      bind(readHeaderEx, "RARReadHeaderEx") && bind(processFile, "RARProcessFile") &&
      bind(setCallback, "RARSetCallback") && bind(setChangeVolProc, "RARSetChangeVolProc") &&
      bind(setProcessDataProc, "RARSetProcessDataProc") && bind(setPassword, "RARSetPassword") &&
      bind(getDllVersion, "RARGetDllVersion");
  if (!complete) {
    platform::FreeLibrary(library);
    return;
  }
  library_ = library;
  RAR_DLL::RAROpenArchive = openArchive;
  RAR_DLL::RAROpenArchiveEx = openArchiveEx;
  RAR_DLL::RARCloseArchive = closeArchive;
  RAR_DLL::RARReadHeader = readHeader;
  RAR_DLL::RARReadHeaderEx = readHeaderEx;
  RAR_DLL::RARProcessFile = processFile;
  RAR_DLL::RARSetCallback = setCallback;
  RAR_DLL::RARSetChangeVolProc = setChangeVolProc;
  RAR_DLL::RARSetProcessDataProc = setProcessDataProc;
  RAR_DLL::RARSetPassword = setPassword;
  RAR_DLL::RARGetDllVersion = getDllVersion;

  if (RAR_DLL::RARGetDllVersion() < 4) {
    platform::MessageRequest request;
    request.caption = "error";
    request.text =
        "please download the newest \"unrar.dll\" file. See the UnRAR library maker's web site";
    request.flags = platform::MB_OK;
    platform::CurrentPrompter().MessageBox(request);
  }
}

void TRAR::UnloadUnrarLibrary() {
  if (!RAR_DLL::IsRARDLLLoaded || !library_) return;
  platform::FreeLibrary(library_);
  library_ = nullptr;
}
