// The UnRAR library's eleven entry points over our own header reader and libarchive. Regular
// files only: links and devices are listed but never created, and nothing is written outside
// the destination. What the stand-in cannot do (decrypt, unpack solid RAR 4) it answers with the
// library's error codes instead of a partial success.
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>

#include "Comment.h"
#include "Conversions.h"
#include "DataReader.h"
#include "Output.h"
#include "RarBlocks.h"
#include "archives/RAR_DLL.h"

#ifndef UNRAR_STANDIN_DLL_VERSION
#define UNRAR_STANDIN_DLL_VERSION 8
#endif

namespace unrar_standin {
namespace {

constexpr size_t kNameBuffer = 2048;
constexpr size_t kPasswordBuffer = 512;  // characters, as the real library offers
// A handler that keeps naming volumes that do not exist is not asked for ever.
constexpr int kMaxVolumeQuestions = 16;

template <size_t N>
void CopyNarrow(char (&target)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

template <size_t N>
void CopyWide(wchar_t (&target)[N], const std::wstring& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::wmemcpy(target, text.data(), n);
  target[n] = L'\0';
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class Archive : public VolumeSource {
 public:
  explicit Archive(unsigned openMode) : openMode_(openMode) {}

  int Open(const std::string& path) {
    volumes_.emplace_back();
    return ScanVolume(path, volumes_.back());
  }

  const VolumeInfo& Volume(size_t index) const override { return volumes_[index]; }
  int ResolveVolume(size_t index) override;

  int ReadHeader(RARHeaderDataEx& header);
  int ProcessFile(int operation, const char* destPath, const char* destName);

  UNRARCALLBACK callback = nullptr;
  RAR_LPARAM userData = 0;
  CHANGEVOLPROC changeVolProc = nullptr;
  PROCESSDATAPROC processDataProc = nullptr;
  std::string password;
  bool passwordKnown = false;

 private:
  bool IsKnownVolume(const VolumeInfo& volume) const;
  bool AskVolume(std::string& name);
  bool NotifyVolume(const std::string& name);
  int PasswordCode();
  int ReportData(const void* data, size_t size);
  int Extract(const FileEntry& entry, const char* destPath, const char* destName, bool test);
  void Fill(const FileEntry& entry, const VolumeInfo& volume, RARHeaderDataEx& header) const;

  unsigned openMode_;
  std::deque<VolumeInfo> volumes_;  // references stay valid as volumes are added
  size_t firstParts_ = 0;           // entries numbered so far (their ordinals)
  size_t numbered_ = 0;             // volumes whose entries carry ordinals
  size_t volume_ = 0;               // header cursor
  size_t entry_ = 0;
  bool haveCurrent_ = false;
  size_t currentVolume_ = 0;
  size_t currentEntry_ = 0;
  int stickyError_ = 0;
  std::unique_ptr<LibarchiveReader> libarchive_;
};

int Archive::ResolveVolume(size_t index) {
  while (numbered_ < volumes_.size()) {
    VolumeInfo& volume = volumes_[numbered_];
    for (FileEntry& e : volume.entries) {
      // Opened in the middle of a set, libarchive's RAR 4 reader still counts the part it starts
      // with as an entry.
      const bool leading =
          numbered_ == 0 && &e == &volume.entries.front() && volume.format == RarFormat::Rar4;
      if (!e.splitBefore || leading) e.ordinal = firstParts_++;
    }
    ++numbered_;
  }
  if (index < volumes_.size()) return 0;
  if (index != volumes_.size()) return ERAR_EOPEN;
  const VolumeInfo& previous = volumes_.back();
  const bool newNumbering = (previous.archiveFlags & ROADF_NEWNUMBERING) != 0;
  // After a volume the user named, the set may still go on under the names it was meant to have.
  std::string name = NextVolumeName(previous.path, newNumbering);
  const std::string expected = NextVolumeName(
      previous.expectedPath.empty() ? previous.path : previous.expectedPath, newNumbering);
  if (!FileExists(name) && FileExists(expected)) name = expected;
  VolumeInfo next;
  std::string answer;
  for (int question = 0;; ++question) {
    // A file that already is a volume of this set would make the set endless.
    if (FileExists(name) && ScanVolume(name, next) == 0 && !IsKnownVolume(next)) break;
    if (question > 0 && name == answer) return ERAR_EOPEN;  // the same unusable answer again
    if (question >= kMaxVolumeQuestions || !AskVolume(name)) return ERAR_EOPEN;
    answer = name;
  }
  next.expectedPath = expected;
  if (!NotifyVolume(name)) return ERAR_EOPEN;
  volumes_.push_back(std::move(next));
  return ResolveVolume(index);
}

bool Archive::IsKnownVolume(const VolumeInfo& volume) const {
  for (const VolumeInfo& known : volumes_)
    if (known.device == volume.device && known.inode == volume.inode) return true;
  return false;
}

bool Archive::AskVolume(std::string& name) {
  if (callback) {
    std::wstring wide = Utf8ToWide(name);
    wchar_t wideBuffer[kNameBuffer];
    CopyWide(wideBuffer, wide);
    if (callback(UCM_CHANGEVOLUMEW, userData, reinterpret_cast<RAR_LPARAM>(wideBuffer),
                 RAR_VOL_ASK) == -1)
      return false;
    wideBuffer[kNameBuffer - 1] = L'\0';
    if (wide != wideBuffer) {
      name = WideToUtf8(wideBuffer);
      return true;
    }
    char buffer[kNameBuffer];
    CopyNarrow(buffer, name);
    if (callback(UCM_CHANGEVOLUME, userData, reinterpret_cast<RAR_LPARAM>(buffer), RAR_VOL_ASK) ==
        -1)
      return false;
    buffer[kNameBuffer - 1] = '\0';
    name = buffer;
    return true;
  }
  if (changeVolProc) {
    char buffer[kNameBuffer];
    CopyNarrow(buffer, name);
    const int answer = changeVolProc(buffer, static_cast<int>(RAR_VOL_ASK));
    buffer[kNameBuffer - 1] = '\0';
    name = buffer;
    return answer != 0 && answer != -1;
  }
  return false;
}

bool Archive::NotifyVolume(const std::string& name) {
  if (callback) {
    wchar_t wideBuffer[kNameBuffer];
    CopyWide(wideBuffer, Utf8ToWide(name));
    char buffer[kNameBuffer];
    CopyNarrow(buffer, name);
    return callback(UCM_CHANGEVOLUMEW, userData, reinterpret_cast<RAR_LPARAM>(wideBuffer),
                    RAR_VOL_NOTIFY) != -1 &&
           callback(UCM_CHANGEVOLUME, userData, reinterpret_cast<RAR_LPARAM>(buffer),
                    RAR_VOL_NOTIFY) != -1;
  }
  if (changeVolProc) {
    char buffer[kNameBuffer];
    CopyNarrow(buffer, name);
    const int answer = changeVolProc(buffer, static_cast<int>(RAR_VOL_NOTIFY));
    return answer != 0 && answer != -1;
  }
  return true;
}

// Asks once per archive; the stand-in cannot decrypt, so any answer ends in an error code.
int Archive::PasswordCode() {
  if (!passwordKnown && callback) {
    wchar_t wideBuffer[kPasswordBuffer] = {};
    bool cancelled = callback(UCM_NEEDPASSWORDW, userData, reinterpret_cast<RAR_LPARAM>(wideBuffer),
                              kPasswordBuffer) == -1;
    wideBuffer[kPasswordBuffer - 1] = L'\0';
    if (!cancelled && wideBuffer[0]) {
      password = WideToUtf8(wideBuffer);
    } else if (!cancelled) {
      char buffer[kPasswordBuffer] = {};
      cancelled = callback(UCM_NEEDPASSWORD, userData, reinterpret_cast<RAR_LPARAM>(buffer),
                           kPasswordBuffer) == -1;
      buffer[kPasswordBuffer - 1] = '\0';
      if (!cancelled) password = buffer;
    }
    passwordKnown = !cancelled;
  }
  return password.empty() ? ERAR_MISSING_PASSWORD : ERAR_BAD_PASSWORD;
}

int Archive::ReadHeader(RARHeaderDataEx& header) {
  haveCurrent_ = false;
  if (stickyError_) return stickyError_;
  if (const int code = ResolveVolume(0)) return stickyError_ = code;
  while (true) {
    const VolumeInfo& volume = volumes_[volume_];
    if (entry_ < volume.entries.size()) {
      const FileEntry& entry = volume.entries[entry_++];
      // A continued part belongs to the entry before it, except when listing every part.
      if (entry.splitBefore && openMode_ != RAR_OM_LIST_INCSPLIT) continue;
      haveCurrent_ = true;
      currentVolume_ = volume_;
      currentEntry_ = entry_ - 1;
      Fill(entry, volume, header);
      return 0;
    }
    switch (volume.end) {
      case VolumeEnd::Broken:
      case VolumeEnd::Truncated:
        return stickyError_ = ERAR_BAD_DATA;
      case VolumeEnd::EncryptedHeaders:
        return stickyError_ = PasswordCode();
      case VolumeEnd::EndBlock:
      case VolumeEnd::EndOfFile:
        break;
    }
    if (!HasNextVolume(volume)) return ERAR_END_ARCHIVE;
    if (const int code = ResolveVolume(volume_ + 1)) return stickyError_ = code;
    ++volume_;
    entry_ = 0;
  }
}

void Archive::Fill(const FileEntry& e, const VolumeInfo& volume, RARHeaderDataEx& h) const {
  CopyNarrow(h.ArcName, volume.path);
  CopyWide(h.ArcNameW, Utf8ToWide(volume.path));
  CopyNarrow(h.FileName, e.name);
  CopyWide(h.FileNameW, e.nameW);
  h.Flags = (e.splitBefore ? RHDF_SPLITBEFORE : 0) | (e.splitAfter ? RHDF_SPLITAFTER : 0) |
            (e.encrypted ? RHDF_ENCRYPTED : 0) | (e.solid ? RHDF_SOLID : 0) |
            ((e.folder ? 7u : e.dictCode) << 5);
  h.PackSize = static_cast<unsigned>(e.packSize);
  h.PackSizeHigh = static_cast<unsigned>(e.packSize >> 32);
  h.UnpSize = static_cast<unsigned>(e.unpSize);
  h.UnpSizeHigh = static_cast<unsigned>(e.unpSize >> 32);
  h.HostOS = e.hostOS;
  // As the real library fills it: a BLAKE2 hash gives its first four bytes, an entry without a
  // hash (a link) leaves the field as it was.
  if (e.hasCrc)
    h.FileCRC = e.crc;
  else if (e.blake2)
    h.FileCRC =
        e.hash[0] | e.hash[1] << 8 | e.hash[2] << 16 | static_cast<uint32_t>(e.hash[3]) << 24;
  h.FileTime = e.unixTime >= 0 ? UnixToLocalDos(e.unixTime) : e.dosTime;
  h.UnpVer = e.unpVer;
  h.Method = e.method;
  h.FileAttr = e.attributes;
  h.CmtSize = 0;
  h.CmtState = 0;
  h.DictSize = e.dictKiB;
  h.HashType = e.hasCrc ? RAR_HASH_CRC32 : e.blake2 ? RAR_HASH_BLAKE2 : RAR_HASH_NONE;
  std::memcpy(h.Hash, e.hash, sizeof h.Hash);
  h.RedirType = e.redirType;
  if (h.RedirName && h.RedirNameSize > 0) {
    const std::wstring target = Utf8ToWide(e.redirTarget);
    const size_t n = std::min<size_t>(target.size(), h.RedirNameSize - 1);
    std::copy_n(target.begin(), n, h.RedirName);
    h.RedirName[n] = L'\0';
  }
  h.DirTarget = 0;
  const int64_t when = ModificationTime(e);
  const uint64_t filetime = when >= 0 ? static_cast<uint64_t>(when + 11644473600LL) * 10000000u : 0;
  h.MtimeLow = static_cast<unsigned>(filetime);
  h.MtimeHigh = static_cast<unsigned>(filetime >> 32);
  h.CtimeLow = h.CtimeHigh = h.AtimeLow = h.AtimeHigh = 0;
}

int Archive::ProcessFile(int operation, const char* destPath, const char* destName) {
  if (!haveCurrent_) return stickyError_ ? stickyError_ : ERAR_UNKNOWN;
  haveCurrent_ = false;
  if (openMode_ != RAR_OM_EXTRACT || (operation != RAR_TEST && operation != RAR_EXTRACT)) return 0;
  const FileEntry& entry = volumes_[currentVolume_].entries[currentEntry_];
  const bool test = operation == RAR_TEST;
  if (entry.folder) {
    if (test) return 0;
    if (destName && *destName) return CreateFolderExact(destName);
    return CreateFolderBeneath(destPath ? destPath : "", entry.name);
  }
  if (entry.encrypted) return PasswordCode();
  // Links and devices are never made: say so rather than report a file that is not there.
  if (entry.notRegular) return test ? 0 : ERAR_ECREATE;
  return Extract(entry, destPath, destName, test);
}

int Archive::ReportData(const void* data, size_t size) {
  if (callback) {
    if (callback(UCM_PROCESSDATA, userData, reinterpret_cast<RAR_LPARAM>(const_cast<void*>(data)),
                 static_cast<RAR_LPARAM>(size)) == -1)
      return ERAR_UNKNOWN;
  } else if (processDataProc) {
    const int answer = processDataProc(static_cast<unsigned char*>(const_cast<void*>(data)),
                                       static_cast<int>(size));
    if (answer == 0 || answer == -1) return ERAR_UNKNOWN;
  }
  return 0;
}

int Archive::Extract(const FileEntry& entry, const char* destPath, const char* destName,
                     bool test) {
  // Every part of a split entry, so the data can be read and the last part's CRC checked.
  std::vector<EntryPart> parts{{currentVolume_, &entry}};
  while (parts.back().header->splitAfter) {
    const size_t next = parts.back().volume + 1;
    if (const int code = ResolveVolume(next)) return code;
    const VolumeInfo& volume = volumes_[next];
    if (volume.entries.empty() || !volume.entries.front().splitBefore) return ERAR_BAD_DATA;
    parts.push_back({next, &volume.entries.front()});
  }
  const FileEntry& last = *parts.back().header;

  OutputFile output;
  if (!test) {
    const int code = destName && *destName
                         ? output.OpenExact(destName)
                         : output.OpenBeneath(destPath ? destPath : "", entry.name);
    if (code) return code;
  }
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0;
  const DataSink sink = [&](const void* data, size_t size) {
    crc = crc32_z(crc, static_cast<const Bytef*>(data), size);
    total += size;
    if (!test)
      if (const int code = output.Write(data, size)) return code;
    return ReportData(data, size);
  };
  int code = 0;
  if (entry.method == 0x30) {
    code = CopyStored(*this, parts, sink);
  } else {
    if (!libarchive_) libarchive_ = std::make_unique<LibarchiveReader>(*this);
    code = libarchive_->Extract(entry, sink);
  }
  // libarchive does not check stored data, and a damaged package must never pass as good.
  if (code == 0 && !entry.unknownSize && total != entry.unpSize) code = ERAR_BAD_DATA;
  if (code == 0 && last.hasCrc && static_cast<uint32_t>(crc) != last.crc) code = ERAR_BAD_DATA;
  if (code != 0 || test) return code;
  return output.Commit(entry);
}

Archive* FromHandle(RAR_HANDLE handle) {
  return static_cast<Archive*>(handle);
}

RAR_HANDLE Open(RAROpenArchiveDataEx* data) {
  if (!data) return nullptr;
  data->OpenResult = 0;
  data->Flags = 0;
  data->CmtSize = 0;
  data->CmtState = 0;
  std::string path;
  if (data->ArcNameW && data->ArcNameW[0])
    path = WideToUtf8(data->ArcNameW);
  else if (data->ArcName)
    path = data->ArcName;
  std::unique_ptr<Archive> archive(new (std::nothrow) Archive(data->OpenMode));
  if (!archive) {
    data->OpenResult = ERAR_NO_MEMORY;
    return nullptr;
  }
  if (const int code = archive->Open(path)) {
    data->OpenResult = static_cast<unsigned>(code);
    return nullptr;
  }
  const VolumeInfo& first = archive->Volume(0);
  data->Flags = first.archiveFlags;
  std::string comment = first.comment;
  // A comment that cannot be unpacked counts as not read rather than failing the whole open.
  if (data->CmtBuf && data->CmtBufSize > 0 &&
      (first.commentReadable || UnpackComment(first, comment))) {
    const size_t n = std::min<size_t>(comment.size(), data->CmtBufSize - 1);
    std::memcpy(data->CmtBuf, comment.data(), n);
    data->CmtBuf[n] = '\0';
    data->CmtSize = static_cast<unsigned>(n + 1);
    data->CmtState = n < comment.size() ? ERAR_SMALL_BUF : 1;
  }
  archive->callback = data->Callback;
  archive->userData = data->UserData;
  return archive.release();
}

}  // namespace
}  // namespace unrar_standin

using unrar_standin::FromHandle;

VV_UNRAR_EXPORT RAR_HANDLE VV_RAR_CALL RAROpenArchiveEx(RAROpenArchiveDataEx* ArchiveData) {
  return unrar_standin::Open(ArchiveData);
}

VV_UNRAR_EXPORT RAR_HANDLE VV_RAR_CALL RAROpenArchive(RAROpenArchiveData* ArchiveData) {
  if (!ArchiveData) return nullptr;
  RAROpenArchiveDataEx data{};
  data.ArcName = ArchiveData->ArcName;
  data.OpenMode = ArchiveData->OpenMode;
  data.CmtBuf = ArchiveData->CmtBuf;
  data.CmtBufSize = ArchiveData->CmtBufSize;
  RAR_HANDLE handle = unrar_standin::Open(&data);
  ArchiveData->OpenResult = data.OpenResult;
  ArchiveData->CmtSize = data.CmtSize;
  ArchiveData->CmtState = data.CmtState;
  return handle;
}

VV_UNRAR_EXPORT int VV_RAR_CALL RARCloseArchive(RAR_HANDLE hArcData) {
  if (!hArcData) return ERAR_ECLOSE;
  delete FromHandle(hArcData);
  return ERAR_SUCCESS;
}

VV_UNRAR_EXPORT int VV_RAR_CALL RARReadHeaderEx(RAR_HANDLE hArcData, RARHeaderDataEx* HeaderData) {
  if (!hArcData || !HeaderData) return ERAR_UNKNOWN;
  return FromHandle(hArcData)->ReadHeader(*HeaderData);
}

VV_UNRAR_EXPORT int VV_RAR_CALL RARReadHeader(RAR_HANDLE hArcData, RARHeaderData* HeaderData) {
  if (!hArcData || !HeaderData) return ERAR_UNKNOWN;
  auto full = std::make_unique<RARHeaderDataEx>();
  const int code = FromHandle(hArcData)->ReadHeader(*full);
  if (code != 0) return code;
  unrar_standin::CopyNarrow(HeaderData->ArcName, full->ArcName);
  unrar_standin::CopyNarrow(HeaderData->FileName, full->FileName);
  HeaderData->Flags = full->Flags;
  HeaderData->PackSize = full->PackSize;
  HeaderData->UnpSize = full->UnpSize;
  HeaderData->HostOS = full->HostOS;
  HeaderData->FileCRC = full->FileCRC;
  HeaderData->FileTime = full->FileTime;
  HeaderData->UnpVer = full->UnpVer;
  HeaderData->Method = full->Method;
  HeaderData->FileAttr = full->FileAttr;
  HeaderData->CmtSize = 0;
  HeaderData->CmtState = 0;
  return 0;
}

VV_UNRAR_EXPORT int VV_RAR_CALL RARProcessFile(RAR_HANDLE hArcData, int Operation, char* DestPath,
                                               char* DestName) {
  if (!hArcData) return ERAR_UNKNOWN;
  return FromHandle(hArcData)->ProcessFile(Operation, DestPath, DestName);
}

VV_UNRAR_EXPORT void VV_RAR_CALL RARSetCallback(RAR_HANDLE hArcData, UNRARCALLBACK Callback,
                                                RAR_LPARAM UserData) {
  if (!hArcData) return;
  FromHandle(hArcData)->callback = Callback;
  FromHandle(hArcData)->userData = UserData;
}

VV_UNRAR_EXPORT void VV_RAR_CALL RARSetChangeVolProc(RAR_HANDLE hArcData,
                                                     CHANGEVOLPROC ChangeVolProc) {
  if (hArcData) FromHandle(hArcData)->changeVolProc = ChangeVolProc;
}

VV_UNRAR_EXPORT void VV_RAR_CALL RARSetProcessDataProc(RAR_HANDLE hArcData,
                                                       PROCESSDATAPROC ProcessDataProc) {
  if (hArcData) FromHandle(hArcData)->processDataProc = ProcessDataProc;
}

VV_UNRAR_EXPORT void VV_RAR_CALL RARSetPassword(RAR_HANDLE hArcData, char* Password) {
  if (!hArcData) return;
  FromHandle(hArcData)->password = Password ? Password : "";
  FromHandle(hArcData)->passwordKnown = true;
}

VV_UNRAR_EXPORT int VV_RAR_CALL RARGetDllVersion() {
  return UNRAR_STANDIN_DLL_VERSION;
}
